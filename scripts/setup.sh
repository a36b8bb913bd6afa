#!/usr/bin/env bash
# Installs, with apt-get, whatever this project needs and the machine lacks; it calls
# sudo itself when it is not run as root.
# Usage: scripts/setup.sh [linux|package|all]   (default: all)
#   linux    the Linux build and its tests
#   package  also the Windows cross build, for the release artefacts (no Wine)
#   all      also Wine, for the Windows tests
set -euo pipefail

want=${1:-all}
pkgs=(g++ cmake ninja-build pkg-config libgtest-dev libgmock-dev
      libfltk1.3-dev fonts-liberation xvfb xdotool imagemagick x11-utils xauth
      fakeroot dpkg-dev zip unzip file lintian man-db
      qemu-system-x86 busybox-static)
case $want in
  linux) ;;
  package) pkgs+=(g++-mingw-w64-x86-64-posix) ;;
  all) pkgs+=(g++-mingw-w64-x86-64-posix wine wine64 fonts-wine util-linux) ;;
  *) echo "usage: scripts/setup.sh [linux|package|all]" >&2; exit 2 ;;
esac

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
