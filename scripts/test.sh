#!/usr/bin/env bash
# Installs what is missing, builds fileptt for Linux and for Windows, and runs every
# test: the Linux build's unit, integration and end-to-end tests (on a virtual X server
# when there is no display), the rig on real kernel serial drivers (a QEMU guest); the
# unit and integration tests again, built with ASan and UBSan; the fuzzers of tests/fuzz,
# 30 s each; then the Windows build's tests under Wine.
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

# Any sanitizer report ends the test that made it. The modem simulator, uninstrumented,
# is preloaded ahead of the ASan runtime; the only leaks allowed are fontconfig's caches.
echo "== Linux build with ASan and UBSan"
# Unoptimised: it builds in two thirds of the time, and the tests mostly wait anyway.
cmake -S "$root" -B "$build/linux-asan" -G Ninja -DFILEPTT_SANITIZE=ON \
  -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O0 -g1" >/dev/null || exit 1
cmake --build "$build/linux-asan" -j"$jobs" || exit 1

echo "== Fuzzers' build (clang, libFuzzer)"
CC=clang CXX=clang++ cmake -S "$root" -B "$build/fuzz" -G Ninja -DFILEPTT_FUZZ=ON \
  -DFILEPTT_TESTS=OFF >/dev/null || exit 1
cmake --build "$build/fuzz" -j"$jobs" --target fuzzers || exit 1

# The fuzzers run for a fixed time each, all three at once, while the sanitized tests,
# which mostly wait on windows and ports, run beside them.
echo "== Linux unit and integration tests with ASan and UBSan (fuzzers alongside)"
ctest --test-dir "$build/fuzz" --output-on-failure -j3 >"$build/fuzz-ctest.log" 2>&1 &
fuzz_pid=$!
ASAN_OPTIONS=verify_asan_link_order=0:halt_on_error=1:detect_leaks=1:abort_on_error=0 \
UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
LSAN_OPTIONS="suppressions=$root/tests/sanitize/lsan.supp:print_suppressions=0" \
  ctest --test-dir "$build/linux-asan" --output-on-failure -j"$jobs" --timeout 300 \
  | tee "$build/linux-asan-ctest.log"
asan_rc=${PIPESTATUS[0]}
wait "$fuzz_pid"
fuzz_rc=$?
echo "== Fuzzers, 30 s each"
cat "$build/fuzz-ctest.log"

echo "== Windows build and tests under Wine"
FILEPTT_MODEMSIM_LIB="$build/linux/tests/modemsim/libmodemsim.so" \
  "$root/scripts/windows/test.sh" "$build/windows" | tee "$build/windows-ctest.log"
windows_rc=${PIPESTATUS[0]}

# One closing line over both runs, from ctest's own summaries.
count() { sed -n "s/.*tests passed, \([0-9]*\) tests\? failed out of \([0-9]*\).*/\1 \2/p" "$1" | tail -1; }
read -r lf lt <<<"$(count "$build/linux-ctest.log")"
read -r rf rt <<<"$(count "$build/realdrivers-ctest.log")"
read -r af at <<<"$(count "$build/linux-asan-ctest.log")"
read -r ff ft <<<"$(count "$build/fuzz-ctest.log")"
read -r wf wt <<<"$(count "$build/windows-ctest.log")"
failed=$(( ${lf:-0} + ${rf:-0} + ${af:-0} + ${ff:-0} + ${wf:-0} ))
total=$(( ${lt:-0} + ${rt:-0} + ${at:-0} + ${ft:-0} + ${wt:-0} ))
echo
echo "Linux: ${lt:-0} tests, ${lf:-?} failed (exit $linux_rc)"
echo "Real serial drivers: ${rt:-0} tests, ${rf:-?} failed (exit $rig_rc)"
echo "Linux with ASan and UBSan: ${at:-0} tests, ${af:-?} failed (exit $asan_rc)"
echo "Fuzzers: ${ft:-0} targets, ${ff:-?} failed (exit $fuzz_rc)"
echo "Windows under Wine: ${wt:-0} tests, ${wf:-?} failed (exit $windows_rc)"
echo "$((total - failed)) passed, $failed failed"
[ "$linux_rc" -eq 0 ] && [ "$rig_rc" -eq 0 ] && [ "$asan_rc" -eq 0 ] && [ "$fuzz_rc" -eq 0 ] &&
  [ "$windows_rc" -eq 0 ] && [ -n "${lt:-}" ] && [ -n "${rt:-}" ] && [ -n "${at:-}" ] &&
  [ -n "${ft:-}" ] && [ -n "${wt:-}" ]
