#!/usr/bin/env bash
# Installs, with apt-get, whatever this project needs and the machine lacks.
# Usage: scripts/setup.sh [linux|all]   (default: all; "linux" skips the Windows cross build and Wine)
set -euo pipefail

want=${1:-all}
pkgs=(g++ cmake ninja-build pkg-config libgtest-dev libgmock-dev
      libfltk1.3-dev fonts-liberation xvfb xdotool imagemagick x11-utils xauth
      fakeroot dpkg-dev zip unzip file
      clang libclang-rt-14-dev)  # the fuzzers (tests/fuzz): clang and libFuzzer
if [ "$want" = all ]; then
  pkgs+=(g++-mingw-w64-x86-64-posix wine wine64 fonts-wine util-linux)
fi

missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "setup: installing ${missing[*]}"
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
# Wine needs the libraries it only recommends (X11 extensions, fonts) to draw windows.
plain=(); withrec=()
for p in "${missing[@]}"; do
  case "$p" in wine|wine64) withrec+=("$p") ;; *) plain+=("$p") ;; esac
done
[ ${#plain[@]} -eq 0 ] || $SUDO apt-get install -y -q --no-install-recommends "${plain[@]}"
[ ${#withrec[@]} -eq 0 ] || $SUDO apt-get install -y -q "${withrec[@]}"
