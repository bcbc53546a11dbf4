#!/usr/bin/env bash
# The demo: builds what is needed, then lets the demo host (corvane-host) start Corvane against a simulated
# iPhone and show, report by report, what the host sees: Corvane starting, the iPhone arriving (types 11 and 1),
# its basic information (300: identity, then battery and storage), one of its files exported to this computer
# (701), and the iPhone leaving again (type 8).
set -euo pipefail
cd "$(dirname "$0")/.."

cmake -S . -B build -G Ninja > /dev/null
cmake --build build -j2 --target Corvane corvane-host corvane-devicesim > /dev/null

# The simulator writes into a profile's files, so it gets a copy of the ready profile.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r tools/devicesim/profiles/iphone-current "$work/"

udid=00008110-001A2D3C0E38801E
mkdir -p "$work/export"
echo '{"1":{"path":"/Books/Harbour Tales.epub"}}' > "$work/items.json"

build/bin/corvane-host --pretty --simulator "$work/iphone-current" session <<COMMANDS
# The device arrives: a notice (type 11), then the device-connected event (type 1) with its identity.
wait-type 1 30
# Basic information: the identity object, the usage object (battery cycle count, storage by category), then 0.
send 300 {"uuid":"$udid"}
wait-type 300 30
wait-type 300 30
wait-type 300 30
# Export a book file: one report naming the local copy, then 0.
send 701 {"uuid":"$udid","native_dir":"$work/export"} --data $work/items.json
wait-type 701 30
wait-type 701 30
sim detach iphone-current
# It leaves: the device-disconnected event (type 8).
wait-type 8 30
quit
COMMANDS

echo
echo "Exported to this computer:"
ls -l "$work/export"
