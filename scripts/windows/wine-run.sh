#!/bin/sh
# Runs one Windows executable under Wine in the test prefix of a cross build; it is the
# build's CMAKE_CROSSCOMPILING_EMULATOR, so ctest runs every Windows test through it.
# Usage: wine-run.sh <build>/wine <program.exe> [arguments...]
# It refuses to run outside the private mount namespace that scripts/windows/test.sh
# sets up: there every serial device node is covered by an empty file, so a Wine COM
# name that falls through to a real port (COM1 is /dev/ttyS0, the system console on
# our machines) reaches nothing.
set -eu

wine_dir=$1
shift

for node in /dev/ttyS* /dev/ttyUSB* /dev/ttyACM*; do
  if [ -c "$node" ]; then
    echo "wine-run.sh: $node is a real serial device here; run the Windows tests with" \
         "scripts/windows/test.sh, which hides every serial device from Wine." >&2
    exit 125
  fi
done
if [ ! -f "$wine_dir/prefix/system.reg" ]; then
  echo "wine-run.sh: no Wine prefix in $wine_dir; scripts/windows/test.sh prepares it." >&2
  exit 125
fi

export WINEPREFIX="$wine_dir/prefix"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
if [ -f "$wine_dir/env" ]; then
  # The test ports and the modem simulator, as test.sh found them for this run.
  . "$wine_dir/env"
fi
if [ -n "${FILEPTT_MODEMSIM_LIB:-}" ]; then
  # Pseudo-terminals have no modem lines; the simulator gives them RTS and DTR and
  # records every change under $MODEMSIM_DIR.
  export LD_PRELOAD="$FILEPTT_MODEMSIM_LIB${LD_PRELOAD:+:$LD_PRELOAD}"
fi
exec wine "$@"
