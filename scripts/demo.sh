#!/usr/bin/env bash
# The demo: builds what is needed, then lets the demo host (corvane-host) start Corvane against a simulated
# iPhone and show, report by report, what the host sees: Corvane starting, the iPhone arriving (types 11 and 1)
# and leaving again (type 8).
set -euo pipefail
cd "$(dirname "$0")/.."

cmake -S . -B build -G Ninja > /dev/null
cmake --build build -j2 --target Corvane corvane-host corvane-devicesim > /dev/null

# The simulator writes into a profile's files, so it gets a copy of the ready profile.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r tools/devicesim/profiles/iphone-current "$work/"

build/bin/corvane-host --pretty --simulator "$work/iphone-current" session <<'COMMANDS'
# The device arrives: a notice (type 11), then the device-connected event (type 1) with its identity.
wait-type 1 30
sim detach iphone-current
# It leaves: the device-disconnected event (type 8).
wait-type 8 30
quit
COMMANDS
