#!/usr/bin/env bash
# Boots the rig's guest N times per serial device (tests/realdrivers), runs the serial
# layer's steps in each boot, and prints the line timings over all boots
# (realdrivers_bench.cpp): the open pulses and the drop delays, in microseconds.
# Usage: bench/realdrivers_bench.sh [BUILD_DIR] [N]   (defaults: build/linux, 5)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/linux}" && pwd)
n=${2:-5}
rig=$build/tests/realdrivers
cmake --build "$build" --target rig_guest realdrivers_bench >/dev/null
"$root/tests/realdrivers/guest/build_guest.sh" "$rig/guest"

for device in 8250 ftdi_sio; do
  options=()
  [ "$device" = ftdi_sio ] && options=(--usb)
  dirs=()
  for i in $(seq "$n"); do
    dir=$rig/bench/$device-$i
    "$root/tests/realdrivers/run_guest.sh" "$rig/guest" "$dir" "${options[@]}" -- \
      "$rig/rig_guest" serial COM1 >/dev/null
    dirs+=("$dir")
  done
  "$build/bench/realdrivers_bench" "$device" "${dirs[@]}"
  echo
done
