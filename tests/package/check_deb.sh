#!/usr/bin/env bash
# Builds the Debian package from a configured Linux build tree, installs it with
# apt-get (so its dependencies are resolved as on a user's machine), checks what it
# installs, starts the installed program on the X display, closes it with Escape and
# expects exit code 0, then removes the package again.
# Usage: check_deb.sh BUILD_DIR       (needs root and a DISPLAY; exits 77 to skip)
set -euo pipefail

build=$1
[ "$(id -u)" -eq 0 ] || { echo "skip: installing a package needs root"; exit 77; }
[ -n "${DISPLAY:-}" ] || { echo "skip: no X display"; exit 77; }
dpkg-query -W -f='${Status}' fileptt 2>/dev/null | grep -q 'install ok installed' &&
  { echo "skip: fileptt is installed on this machine already; not touching it"; exit 77; }

work=$(mktemp -d)
pid=""
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
  DEBIAN_FRONTEND=noninteractive apt-get remove -y -q fileptt >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

(cd "$build" && cpack -G DEB -B "$work/dist" >/dev/null)
deb=$(ls "$work"/dist/fileptt_*.deb)
echo "package: $(basename "$deb")"
dpkg-deb -f "$deb" Package Version Depends Section

DEBIAN_FRONTEND=noninteractive apt-get install -y -q "$deb" >"$work/apt.log" 2>&1 ||
  { cat "$work/apt.log"; echo "FAIL: apt-get could not install the package"; exit 1; }

for f in /usr/bin/fileptt /usr/share/applications/fileptt.desktop \
         /usr/share/icons/hicolor/scalable/apps/fileptt.svg /usr/share/doc/fileptt/README.md; do
  [ -e "$f" ] || { echo "FAIL: the package did not install $f"; exit 1; }
done
grep -q '^Exec=fileptt$' /usr/share/applications/fileptt.desktop || { echo "FAIL: desktop entry Exec"; exit 1; }
if ldd /usr/bin/fileptt | grep -q 'not found'; then
  ldd /usr/bin/fileptt; echo "FAIL: the installed program misses libraries"; exit 1
fi

# The installed program, started from an empty directory, as from the desktop entry.
mkdir "$work/run"
(cd "$work/run" && exec fileptt) &
pid=$!
deadline=$((SECONDS + 30))
until window=$(xdotool search --onlyvisible --name '^File TX\.txt$' 2>/dev/null | head -1) && [ -n "$window" ]; do
  kill -0 "$pid" 2>/dev/null || { echo "FAIL: the installed program ended early"; exit 1; }
  [ $SECONDS -lt $deadline ] || { echo "FAIL: no window after 30 s"; exit 1; }
  sleep 0.1
done
# Escape goes to the focused window through the X test extension, as a key press
# would; repeated until the program ends, in case the first press came too early.
deadline=$((SECONDS + 30))
while kill -0 "$pid" 2>/dev/null; do
  [ $SECONDS -lt $deadline ] || { echo "FAIL: Escape did not end the program"; exit 1; }
  window=$(xdotool search --onlyvisible --name '^File TX\.txt$' 2>/dev/null | head -1)
  [ -n "$window" ] && xdotool windowfocus --sync "$window" key Escape 2>/dev/null
  sleep 0.5
done
status=0
wait "$pid" || status=$?
pid=""
[ "$status" -eq 0 ] || { echo "FAIL: exit code $status"; exit 1; }
echo "PASS: the package installs, and the installed program starts and ends with 0"
