#!/usr/bin/env bash
# Builds the release artefacts into build/dist/:
#   fileptt_<version>_amd64.deb            the Linux program (hardened with Debian's
#                                          flags, stripped), man pages, desktop entry,
#                                          icon, user guide, copyright, changelog
#   fileptt-<version>-windows-x64.zip      the static, stripped fileptt.exe with the
#                                          user guide and the licence
# Usage: scripts/package.sh        (the cross build needs MinGW-w64, not Wine)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${FILEPTT_BUILD_DIR:-$root/build}
dist="$build/dist"

"$root/scripts/setup.sh" package
# shellcheck source=scripts/lib/deb_release.sh
. "$root/scripts/lib/deb_release.sh"
mkdir -p "$dist"

configure_deb_release "$root" "$build/release-linux"
cmake --build "$build/release-linux" -j"$(nproc)"
(cd "$build/release-linux" && cpack -B "$dist" >/dev/null)

cmake -S "$root" -B "$build/release-windows" -G Ninja -DCMAKE_BUILD_TYPE=Release -DFILEPTT_TESTS=OFF \
      -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" >/dev/null
cmake --build "$build/release-windows" -j"$(nproc)"
(cd "$build/release-windows" && cpack -B "$dist" >/dev/null)

rm -rf "$dist/_CPack_Packages"
ls -1 "$dist"/*.deb "$dist"/*.zip
