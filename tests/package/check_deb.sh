#!/usr/bin/env bash
# Builds the Debian package as scripts/package.sh does (a release tree with Debian's
# hardening flags, in BUILD_DIR/deb-release), has lintian --pedantic judge it (an
# error or a warning fails; infos are shown), installs it with apt-get (so its
# dependencies are resolved as on a user's machine), checks what it installs (a
# stripped program, man pages that render, the user guide, copyright and changelog, the
# desktop entry), starts the installed program on the X display, closes it with Escape
# and expects exit code 0, then removes the package again.
# Usage: check_deb.sh BUILD_DIR SOURCE_DIR    (needs root and a DISPLAY; exits 77 to skip)
set -euo pipefail

build=$1
src=$2
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

for tool in lintian man; do
  command -v "$tool" >/dev/null || { echo "FAIL: $tool is missing (scripts/setup.sh)"; exit 1; }
done
# shellcheck source=scripts/lib/deb_release.sh
. "$src/scripts/lib/deb_release.sh"
release=$build/deb-release
configure_deb_release "$src" "$release" || { echo "FAIL: the release tree does not configure"; exit 1; }
cmake --build "$release" -j"$(nproc)" >"$work/build.log" 2>&1 ||
  { tail -40 "$work/build.log"; echo "FAIL: the release tree does not build"; exit 1; }
(cd "$release" && cpack -G DEB -B "$work/dist" >/dev/null)
deb=$(ls "$work"/dist/fileptt_*.deb)
echo "package: $(basename "$deb")"
dpkg-deb -f "$deb" Package Version Depends Section

# lintian as Debian's archive would run it; it only warns that it runs as root.
# With --fail-on none a non-zero status means that lintian itself failed; the tags
# are judged below.
lintian --pedantic --info --fail-on none "$deb" >"$work/lintian.log" 2>"$work/lintian.err" ||
  { cat "$work/lintian.log" "$work/lintian.err"; echo "FAIL: lintian did not run"; exit 1; }
cat "$work/lintian.log"
if grep -Eq '^[EW]: ' "$work/lintian.log"; then
  echo "FAIL: lintian reports errors or warnings"; exit 1
fi
grep -q '^Section: hamradio$' <(dpkg-deb -f "$deb") || { echo "FAIL: section is not hamradio"; exit 1; }

DEBIAN_FRONTEND=noninteractive apt-get install -y -q "$deb" >"$work/apt.log" 2>&1 ||
  { cat "$work/apt.log"; echo "FAIL: apt-get could not install the package"; exit 1; }

doc=/usr/share/doc/fileptt
for f in /usr/bin/fileptt /usr/share/applications/fileptt.desktop \
         /usr/share/icons/hicolor/scalable/apps/fileptt.svg /usr/share/man/man1/fileptt.1.gz \
         $doc/README $doc/copyright $doc/changelog.gz; do
  [ -e "$f" ] || { echo "FAIL: the package did not install $f"; exit 1; }
done
grep -q '^Exec=fileptt$' /usr/share/applications/fileptt.desktop || { echo "FAIL: desktop entry Exec"; exit 1; }
grep -q '^Categories=Network;HamRadio;$' /usr/share/applications/fileptt.desktop ||
  { echo "FAIL: desktop entry Categories"; exit 1; }
# The user guide, not the developers' README.
grep -q 'sudo usermod -aG dialout' $doc/README || { echo "FAIL: $doc/README is not the user guide"; exit 1; }
grep -q '^License: Expat$' $doc/copyright && grep -q 'Permission is hereby granted' $doc/copyright ||
  { echo "FAIL: $doc/copyright does not carry the MIT licence"; exit 1; }
zcat $doc/changelog.gz | head -1 | grep -q "^fileptt ($(dpkg-deb -f "$deb" Version)) " ||
  { echo "FAIL: the changelog's latest entry is not this version"; exit 1; }
file -L /usr/bin/fileptt | grep -q ', stripped' || { file -L /usr/bin/fileptt; echo "FAIL: not stripped"; exit 1; }
programs=(fileptt)
[ -e /usr/bin/fileptt-ports ] && programs+=(fileptt-ports)
for program in "${programs[@]}"; do
  page=/usr/share/man/man1/$program.1.gz
  [ -e "$page" ] || { echo "FAIL: no manual page for $program"; exit 1; }
  MANWIDTH=80 man --warnings -l "$page" >"$work/$program.man" 2>"$work/$program.man-err" ||
    { cat "$work/$program.man-err"; echo "FAIL: man -l $page"; exit 1; }
  [ ! -s "$work/$program.man-err" ] || { cat "$work/$program.man-err"; echo "FAIL: $page has warnings"; exit 1; }
  grep -q "^NAME" "$work/$program.man" && grep -q "^       $program - " "$work/$program.man" ||
    { head -20 "$work/$program.man"; echo "FAIL: $page does not render its NAME section"; exit 1; }
  echo "man page renders: $page ($(wc -l <"$work/$program.man") lines)"
done
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
echo "PASS: the package is lintian-clean, installs, and the installed program starts and ends with 0"
