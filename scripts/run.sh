#!/usr/bin/env bash
# Installs what is missing, builds fileptt and runs it in the current directory (where
# the trigger file TX.txt is looked for). Without a display it runs on a virtual X
# server, takes a screenshot after the first tick and says where it is.
# Usage: scripts/run.sh
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${FILEPTT_BUILD_DIR:-$root/build}

"$root/scripts/setup.sh" linux || { echo "run: setup failed" >&2; exit 1; }
cmake -S "$root" -B "$build/linux" -G Ninja >/dev/null || exit 1
cmake --build "$build/linux" -j"$(nproc)" --target fileptt || exit 1
program="$build/linux/fileptt"

echo "fileptt: keys PTT while $(pwd)/TX.txt exists; ports map as described in README.md."
if [ -n "${DISPLAY:-}" ]; then
  exec "$program"
fi

. "$root/scripts/lib/xvfb.sh"
start_xvfb || exit 1
"$program" &
pid=$!
trap 'kill $pid 2>/dev/null; wait $pid 2>/dev/null; stop_xvfb' EXIT

# Wait for the window, then for the first tick's label, before the screenshot.
deadline=$((SECONDS + 30))
until window=$(xdotool search --name '^File TX\.txt$' 2>/dev/null | head -1) && [ -n "$window" ]; do
  kill -0 $pid 2>/dev/null || { echo "run: fileptt ended early" >&2; exit 1; }
  [ $SECONDS -lt $deadline ] || { echo "run: no window after 30 s" >&2; exit 1; }
  sleep 0.1
done
sleep 1  # the first tick comes 500 ms after the window is shown
mkdir -p "$build/screenshots"
shot="$build/screenshots/run.png"
import -window "$window" "$shot" 2>/dev/null || import -window root "$shot"
echo "fileptt is running on the virtual display $DISPLAY; screenshot: $shot"

if [ -t 0 ]; then
  echo "Press Ctrl+C to stop."
  wait $pid
fi
