#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer + AddressSanitizer) and runs each one briefly: the packet
# reassembler and the property-list messages, and every parser of bytes from a device or a user's file (the
# package reader, the air-traffic framing, the upload journal).
#   scripts/fuzz.sh [SECONDS]   (default 20 seconds per target)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
targets=(packet_reassembler_fuzz plist_message_fuzz app_package_fuzz air_traffic_fuzz upload_journal_fuzz)

CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCORVANE_FUZZ=ON -DCORVANE_BUILD_BENCH=OFF > /dev/null
cmake --build build-fuzz -j2 --target "${targets[@]}"

# A target runs on its corpus (kept between runs in build-fuzz/corpus), its seeds and its dictionary when there are.
run() {
  local target=$1
  local corpus="build-fuzz/corpus/$target"
  local options=(-max_total_time="$seconds" -print_final_stats=1 -rss_limit_mb=2048)
  mkdir -p "$corpus"
  if [ -d "scripts/fuzz/seeds/$target" ]; then cp -n "scripts/fuzz/seeds/$target"/* "$corpus"/ 2>/dev/null || true; fi
  case $target in
    packet_reassembler_fuzz) options+=(-dict=scripts/fuzz/packet.dict) ;;
    plist_message_fuzz | air_traffic_fuzz) options+=(-dict=scripts/fuzz/plist.dict) ;;
  esac
  echo "== $target"
  "build-fuzz/bin/$target" "${options[@]}" "$corpus" 2>&1 | tail -n 3
}
for target in "${targets[@]}"; do run "$target"; done
