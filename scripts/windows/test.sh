#!/usr/bin/env bash
# Builds the Windows program with MinGW-w64 and runs its tests under Wine.
#
# Usage: scripts/windows/test.sh [build-dir] [ctest arguments...]
#        (build-dir defaults to ./build/windows; it is configured if it is not yet)
#        FILEPTT_BUILD_TARGETS="unit_tests ..." builds only those targets first.
#
# Everything Wine does happens inside a private mount namespace in which every serial
# device node (/dev/ttyS*, /dev/ttyUSB*, /dev/ttyACM*) is covered by an empty file:
# Wine maps COM1 to /dev/ttyS0, the system console on our machines, and real adapters
# to further COM numbers, and no test may reach either. Inside it the harness creates a
# fresh Wine prefix in the build tree, maps the test port to a pseudo-terminal held open
# by ptyhold under two names, COM7 and COM12 (Win32 finds a port numbered 10 or more only
# in the device namespace), starts one persistent wineserver and runs ctest. The exit
# status is ctest's.
set -uo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
here=$root/scripts/windows
test_com=COM7
test_high_com=COM12

# ---------------------------------------------------------------------------------------
# Inside the namespace.
# ---------------------------------------------------------------------------------------
if [ "${1:-}" = --inside ]; then
  build=$2
  shift 2
  wine_dir=$build/wine
  export WINEPREFIX=$wine_dir/prefix
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  holder_pid=""
  keeper_pid=""
  started_xvfb=""

  cleanup() {
    [ -d "$WINEPREFIX" ] && wineserver -k >/dev/null 2>&1
    [ -n "$keeper_pid" ] && kill "$keeper_pid" 2>/dev/null
    [ -n "$holder_pid" ] && kill "$holder_pid" 2>/dev/null
    [ -n "$started_xvfb" ] && stop_xvfb
  }
  trap cleanup EXIT
  die() { echo "windows tests: $*" >&2; exit 1; }

  # 1. Cover every serial device node with the empty decoy file, then check that none
  #    is left: wine-run.sh checks the same before every test program.
  decoy=$wine_dir/serial-decoy
  : >"$decoy"
  covered=()
  for node in /dev/ttyS* /dev/ttyUSB* /dev/ttyACM*; do
    [ -e "$node" ] || continue
    mount --bind "$decoy" "$node" || die "cannot cover $node"
    covered+=("$node")
  done
  for node in /dev/ttyS* /dev/ttyUSB* /dev/ttyACM*; do
    [ -c "$node" ] && die "$node is still a character device"
  done
  echo "serial devices covered by $decoy: ${covered[*]:-none}"

  # 2. The test port: a pseudo-terminal held open for the whole run.
  pty_file=$wine_dir/test-port
  : >"$pty_file"
  "$wine_dir/ptyhold" >"$pty_file" &
  holder_pid=$!
  for _ in $(seq 100); do
    [ -s "$pty_file" ] && break
    sleep 0.1
  done
  test_pty=$(head -n1 "$pty_file")
  [ -c "$test_pty" ] || die "ptyhold gave no pseudo-terminal"

  # 3. A display for tests that open windows, unless there is one already.
  if [ -z "${DISPLAY:-}" ] && command -v Xvfb >/dev/null; then
    # shellcheck source=scripts/lib/xvfb.sh
    . "$root/scripts/lib/xvfb.sh"
    start_xvfb && started_xvfb=yes
  fi

  # 4. A fresh prefix. The registry maps the test port; Wine draws window frames itself
  #    (no window manager under Xvfb), so DestroyWindow does not wait for one; the
  #    info-tip colour is Windows' own (Wine's default is white, like an edit box).
  if [ -d "$WINEPREFIX" ]; then
    wineserver -k >/dev/null 2>&1
    rm -rf "$WINEPREFIX"
  fi
  started=$SECONDS
  wine wineboot -i >/dev/null 2>&1 </dev/null
  [ -d "$WINEPREFIX/drive_c" ] || die "wineboot did not create $WINEPREFIX"
  # Wine's own fonts (Marlett draws the caption buttons, Tahoma and the MS Sans Serif
  # bitmap fonts are the dialog fonts). This Wine loads them only from C:\windows\Fonts,
  # which Debian's wineboot leaves empty; fonts-wine puts them in /usr/share/wine/fonts.
  # Without them every caption button shows a letter ("r" for the close box).
  wine_fonts=${FILEPTT_WINE_FONTS:-/usr/share/wine/fonts}
  if [ -f "$wine_fonts/marlett.ttf" ]; then
    cp "$wine_fonts"/* "$WINEPREFIX/drive_c/windows/Fonts/" || die "cannot copy $wine_fonts"
  else
    echo "Wine's fonts are not in $wine_fonts (fonts-wine): caption buttons are drawn as letters"
  fi
  reg=$wine_dir/test-ports.reg
  cat >"$reg" <<EOF
REGEDIT4

[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]
"$test_com"="$test_pty"
"$test_high_com"="$test_pty"

[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]
"Managed"="N"

[HKEY_CURRENT_USER\\Control Panel\\Colors]
"InfoWindow"="255 255 225"
EOF
  wine regedit /S "Z:${reg//\//\\}" >/dev/null 2>&1 </dev/null \
    || die "regedit failed"
  # The port mapping is read when Wine's device manager starts.
  wineserver -k >/dev/null 2>&1
  wineserver -w
  [ -f "$WINEPREFIX/system.reg" ] || die "Wine saved no registry in $WINEPREFIX"
  # The device is opened and released by the wineserver and switched by the test
  # process, so the modem-line simulator goes into both.
  modemsim_lib=${FILEPTT_MODEMSIM_LIB:-}
  rm -rf "$wine_dir/modemsim"
  if [ -n "$modemsim_lib" ]; then
    export MODEMSIM_DIR=$wine_dir/modemsim
    mkdir -p "$MODEMSIM_DIR"
    LD_PRELOAD=$modemsim_lib wineserver -p >/dev/null 2>&1 </dev/null
  else
    echo "modem-line simulator not available: RTS and DTR are not observed"
    wineserver -p >/dev/null 2>&1 </dev/null
  fi
  wine cmd /c exit >/dev/null 2>&1 </dev/null
  # Every test program loads USER32 and joins the desktop; kept open, it spares each
  # program the restart of explorer.exe and the second Wine waits before closing it.
  wine "$wine_dir/desktop_keeper.exe" >/dev/null 2>&1 </dev/null &
  keeper_pid=$!
  echo "wine prefix ready in $((SECONDS - started)) s: $WINEPREFIX"

  # 5. Check the mapping as Wine made it: the test port on the pseudo-terminal, every
  #    other COM name on a covered node.
  for com in "$test_com" "$test_high_com"; do
    for _ in $(seq 100); do
      [ "$(readlink "$WINEPREFIX/dosdevices/${com,,}")" = "$test_pty" ] && break
      sleep 0.1
    done
    [ "$(readlink "$WINEPREFIX/dosdevices/${com,,}")" = "$test_pty" ] \
      || die "$com is not mapped to $test_pty"
  done
  decoy_com=""
  for link in "$WINEPREFIX"/dosdevices/com*; do
    [ -L "$link" ] || continue
    name=$(basename "$link")
    target=$(readlink "$link")
    echo "  ${name^^} -> $target"
    [ "$name" = "${test_com,,}" ] || [ "$name" = "${test_high_com,,}" ] && continue
    [ -c "$target" ] && die "${name^^} reaches the character device $target"
    [ -z "$decoy_com" ] && [ -e "$target" ] && decoy_com=${name^^}
  done
  unmapped_com=COM200
  while [ -e "$WINEPREFIX/dosdevices/${unmapped_com,,}" ]; do
    unmapped_com=COM$(( ${unmapped_com#COM} + 1 ))
  done

  # What the test programs learn about this run (wine-run.sh reads it).
  {
    echo "export FILEPTT_TEST_COM=$test_com"
    echo "export FILEPTT_TEST_HIGH_COM=$test_high_com"
    echo "export FILEPTT_TEST_PTY=$test_pty"
    echo "export FILEPTT_UNMAPPED_COM=$unmapped_com"
    [ -n "$decoy_com" ] && echo "export FILEPTT_DECOY_COM=$decoy_com"
    [ -x "${FILEPTT_CASELESS_FS_SERVER:-}" ] && echo "export FILEPTT_CASELESS_FS_SERVER=$FILEPTT_CASELESS_FS_SERVER"
    if [ -n "$modemsim_lib" ]; then
      echo "export FILEPTT_MODEMSIM_LIB=$modemsim_lib"
      echo "export MODEMSIM_DIR=$MODEMSIM_DIR"
    fi
  } >"$wine_dir/env"

  # 6. The tests, as many at once as there are cores: starting Wine is mostly CPU.
  jobs=${FILEPTT_TEST_JOBS:-$(nproc)}
  ctest --test-dir "$build" --output-on-failure -j"$jobs" --timeout 300 "$@"
  exit $?
fi

# ---------------------------------------------------------------------------------------
# Outside: configure, build, host tools, then the namespace.
# ---------------------------------------------------------------------------------------
build=${1:-$root/build/windows}
[ $# -gt 0 ] && shift
mkdir -p "$build"
build=$(cd "$build" && pwd)

for tool in x86_64-w64-mingw32-g++-posix wine wineserver unshare c++; do
  command -v "$tool" >/dev/null || { echo "windows tests: $tool is missing (scripts/setup.sh all)" >&2; exit 1; }
done

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" \
    >/dev/null || exit 1
fi
targets=()
for target in ${FILEPTT_BUILD_TARGETS:-}; do targets+=(--target "$target"); done
cmake --build "$build" -j"$(nproc)" "${targets[@]}" || exit 1

# The modem-line simulator is a Linux library: built by a host build beside this one,
# unless FILEPTT_MODEMSIM_LIB names one already built.
if [ -z "${FILEPTT_MODEMSIM_LIB:-}" ] && [ -f "$root/tests/modemsim/CMakeLists.txt" ]; then
  host=$build/host
  log=$build/host-build.log
  if { [ -f "$host/CMakeCache.txt" ] || cmake -S "$root" -B "$host" -G Ninja >"$log" 2>&1; } &&
     cmake --build "$host" --target modemsim caseless_fs_server -j"$(nproc)" >>"$log" 2>&1; then
    export FILEPTT_MODEMSIM_LIB=$host/tests/modemsim/libmodemsim.so
    export FILEPTT_CASELESS_FS_SERVER=${FILEPTT_CASELESS_FS_SERVER:-$host/tests/integration/linux_probe/caseless_fs_server}
  else
    echo "windows tests: could not build the modem-line simulator (see $log);" \
         "the tests that watch RTS and DTR will be skipped" >&2
  fi
fi

# The file system that a test stops answering: from the same Linux build as the simulator.
if [ -z "${FILEPTT_CASELESS_FS_SERVER:-}" ] && [ -n "${FILEPTT_MODEMSIM_LIB:-}" ]; then
  export FILEPTT_CASELESS_FS_SERVER=$(dirname "$FILEPTT_MODEMSIM_LIB")/../integration/linux_probe/caseless_fs_server
fi

mkdir -p "$build/wine"
if [ ! -x "$build/wine/ptyhold" ] || [ "$here/ptyhold.cpp" -nt "$build/wine/ptyhold" ]; then
  c++ -O2 -Wall -o "$build/wine/ptyhold" "$here/ptyhold.cpp" || exit 1
fi
keeper=$build/wine/desktop_keeper.exe
if [ ! -f "$keeper" ] || [ "$here/desktop_keeper.c" -nt "$keeper" ]; then
  x86_64-w64-mingw32-gcc-posix -O2 -Wall -o "$keeper" "$here/desktop_keeper.c" || exit 1
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "windows tests: covering the serial devices needs root (a mount namespace); use sudo" >&2
  exit 1
fi
exec unshare --mount --propagation private -- bash "$0" --inside "$build" "$@"
