#!/usr/bin/env bash
# Installs what is missing, builds fileptt for Linux and for Windows, and runs every
# test: the Linux build's unit, integration and end-to-end tests (on a virtual X server
# when there is no display), the rig on real kernel serial drivers (a QEMU guest), then
# the Windows build's tests under Wine.
# Usage: scripts/test.sh            (build trees under ./build)
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${FILEPTT_BUILD_DIR:-$root/build}
jobs=$(nproc)

"$root/scripts/setup.sh" all || { echo "test: setup failed" >&2; exit 1; }

# One X server for the Linux window tests, unless a display is already there.
if [ -z "${DISPLAY:-}" ]; then
  # shellcheck source=scripts/lib/xvfb.sh
  . "$root/scripts/lib/xvfb.sh"
  start_xvfb || exit 1
  trap stop_xvfb EXIT
fi

echo "== Linux build"
cmake -S "$root" -B "$build/linux" -G Ninja >/dev/null || exit 1
cmake --build "$build/linux" -j"$jobs" || exit 1

echo "== Linux tests"
ctest --test-dir "$build/linux" --output-on-failure -j"$jobs" --timeout 300 -LE realdrivers |
  tee "$build/linux-ctest.log"
linux_rc=${PIPESTATUS[0]}

# The rig on real kernel serial drivers: the program in a QEMU guest (tests/realdrivers).
echo "== Real serial drivers in a QEMU guest"
ctest --test-dir "$build/linux" --output-on-failure -j"$jobs" -L realdrivers |
  tee "$build/realdrivers-ctest.log"
rig_rc=${PIPESTATUS[0]}

echo "== Windows build and tests under Wine"
FILEPTT_MODEMSIM_LIB="$build/linux/tests/modemsim/libmodemsim.so" \
  "$root/scripts/windows/test.sh" "$build/windows" | tee "$build/windows-ctest.log"
windows_rc=${PIPESTATUS[0]}

# One closing line over both runs, from ctest's own summaries.
count() { sed -n "s/.*tests passed, \([0-9]*\) tests\? failed out of \([0-9]*\).*/\1 \2/p" "$1" | tail -1; }
read -r lf lt <<<"$(count "$build/linux-ctest.log")"
read -r rf rt <<<"$(count "$build/realdrivers-ctest.log")"
read -r wf wt <<<"$(count "$build/windows-ctest.log")"
failed=$(( ${lf:-0} + ${rf:-0} + ${wf:-0} ))
total=$(( ${lt:-0} + ${rt:-0} + ${wt:-0} ))
echo
echo "Linux: ${lt:-0} tests, ${lf:-?} failed (exit $linux_rc); real drivers: ${rt:-0} tests, ${rf:-?} failed (exit $rig_rc); Windows under Wine: ${wt:-0} tests, ${wf:-?} failed (exit $windows_rc)"
echo "$((total - failed)) passed, $failed failed"
[ "$linux_rc" -eq 0 ] && [ "$rig_rc" -eq 0 ] && [ "$windows_rc" -eq 0 ] &&
  [ -n "${lt:-}" ] && [ -n "${rt:-}" ] && [ -n "${wt:-}" ]
