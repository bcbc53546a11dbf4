#!/usr/bin/env bash
# The demo: builds what is needed, then lets the demo host (corvane-host) start Corvane against a simulated
# iPhone and show, report by report, what the host sees: Corvane starting, the iPhone arriving (types 11 and 1),
# its basic information (300: identity, then battery and storage), a video streamed from it (702) with a
# progress line and saved on this computer, its camera roll and albums (400, 401), one of its books exported
# (701), and the iPhone leaving (type 8).
# No UDID is typed anywhere: each command waits for the iPhone and goes to it.
#
# What it saves lands in ./corvane-demo (or $CORVANE_DEMO_DIR), where it can be opened after the demo.
set -euo pipefail
saved=$(realpath -m "${CORVANE_DEMO_DIR:-$PWD/corvane-demo}")
cd "$(dirname "$0")/.."

cmake -S . -B build -G Ninja > /dev/null
cmake --build build -j2 --target Corvane corvane-host corvane-devicesim > /dev/null

# The simulator writes into a profile's files, so it gets a copy of the ready profile, with a 48 MiB video added
# so that the stream takes long enough to be watched.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r tools/devicesim/profiles/iphone-current "$work/"
head -c $((48 * 1024 * 1024)) /dev/urandom > "$work/iphone-current/afc/DCIM/100APPLE/IMG_0042.MOV"
echo '{"1":{"path":"/Books/Harbour Tales.epub"}}' > "$work/items.json"
mkdir -p "$saved"

build/bin/corvane-host --pretty --save "$saved" --simulator "$work/iphone-current" session <<COMMANDS
# Basic information: the identity object, the usage object (battery cycle count, storage by category), then 0.
send 300 {}
wait
# A video streamed in 4 MiB chunks: on a terminal a progress line stands in for the chunks; the final report
# names the saved file.
send 702 {"stage":1,"info":{"path":"/DCIM/100APPLE/IMG_0042.MOV"}}
wait
# The photo library: the camera roll (a count, then the photos newest first), then the albums with their counts.
send 400 {"info":{"refresh":1}}
wait
send 401 {"info":{"refresh":0}}
wait
# Export a book: one report naming the local copy (in the same folder), then 0.
send 701 {} --data $work/items.json
wait
sim detach iphone-current
# It leaves: the device-disconnected event (type 8).
wait-type 8
quit
COMMANDS

echo
echo "Saved on this computer, ready to open:"
ls -l "$saved"
