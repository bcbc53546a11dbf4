#!/usr/bin/env bash
# The demo: builds what is needed, then lets corvane-host start Corvane and show its start-up reports.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake -S . -B build -G Ninja > /dev/null
cmake --build build -j2 --target Corvane corvane-host > /dev/null

build/bin/corvane-host --pretty start
