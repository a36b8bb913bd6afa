#!/usr/bin/env bash
# Builds the Windows zip from a configured cross-build tree and checks what it holds:
# fileptt.exe and the README, and an exe that needs only DLLs every Windows has.
# Usage: check_zip.sh BUILD_DIR OBJDUMP
set -euo pipefail

build=$1
objdump=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

(cd "$build" && cpack -G ZIP -B "$work/dist" >/dev/null)
zip=$(ls "$work"/dist/fileptt-*-windows-x64.zip)
echo "zip: $(basename "$zip")"
(cd "$work" && unzip -q "$zip")
top=$(basename "$zip" .zip)
for f in fileptt.exe README.md; do
  [ -f "$work/$top/$f" ] || { echo "FAIL: $f is not in the zip"; exit 1; }
done

dlls=$("$objdump" -p "$work/$top/fileptt.exe" | sed -n 's/.*DLL Name: //p' | tr 'a-z' 'A-Z' | sort)
echo "imports:" $dlls
for dll in $dlls; do
  case "$dll" in
    KERNEL32.DLL|USER32.DLL|GDI32.DLL|COMCTL32.DLL|MSVCRT.DLL|API-MS-WIN-CRT-*) ;;
    *) echo "FAIL: fileptt.exe needs $dll, which Windows does not ship"; exit 1 ;;
  esac
done
echo "PASS: the zip holds a self-contained fileptt.exe and the README"
