#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer + AddressSanitizer) and runs each one briefly.
#   scripts/fuzz.sh [SECONDS]   (default 20 seconds per target)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}

CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCORVANE_FUZZ=ON -DCORVANE_BUILD_BENCH=OFF > /dev/null
cmake --build build-fuzz -j2 --target packet_reassembler_fuzz plist_message_fuzz backup_request_fuzz \
  upload_receiver_fuzz

run() {
  local target=$1 dict=$2
  local corpus="build-fuzz/corpus/$target"
  mkdir -p "$corpus"
  "build-fuzz/bin/$target" -max_total_time="$seconds" -dict="scripts/fuzz/$dict" -print_final_stats=1 "$corpus" \
    2>&1 | tail -n 3
}
run packet_reassembler_fuzz packet.dict
run plist_message_fuzz plist.dict
run backup_request_fuzz backup.dict
run upload_receiver_fuzz backup.dict
