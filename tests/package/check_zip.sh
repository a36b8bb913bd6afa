#!/usr/bin/env bash
# Builds the Windows zip from a configured cross-build tree and checks what it holds:
# fileptt.exe, the user guide and the licence; an exe that needs only DLLs every
# Windows has, is stripped, and carries its version resource and its manifest
# (system-DPI aware).
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
for f in fileptt.exe README.txt LICENSE.txt; do
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
exe=$work/$top/fileptt.exe
grep -q 'sudo usermod -aG dialout' "$work/$top/README.txt" || { echo "FAIL: README.txt is not the user guide"; exit 1; }
grep -q 'MIT License' "$work/$top/LICENSE.txt" || { echo "FAIL: LICENSE.txt is not the MIT licence"; exit 1; }

# Stripped: no symbol table and no debugging sections.
"$objdump" -t "$exe" | grep -q '^no symbols' || { echo "FAIL: fileptt.exe has a symbol table"; exit 1; }
if "$objdump" -h "$exe" | grep -q '\.debug'; then echo "FAIL: fileptt.exe has debugging sections"; exit 1; fi

# The version resource's strings are UTF-16; the manifest is UTF-8 text.
version=$(strings -e l "$exe")
for value in "ProductName" "fileptt" "FileVersion" "1.0.0" "FileDescription" "MIT licence"; do
  grep -qF "$value" <<<"$version" || { echo "FAIL: the version resource lacks \"$value\""; exit 1; }
done
manifest=$(strings "$exe" | sed -n '/<assembly/,/<\/assembly>/p')
grep -q '<dpiAware[^>]*>true</dpiAware>' <<<"$manifest" &&
  grep -q '<dpiAwareness[^>]*>system</dpiAwareness>' <<<"$manifest" ||
  { echo "FAIL: the manifest does not declare the exe system-DPI aware"; exit 1; }
echo "PASS: the zip holds a self-contained, stripped fileptt.exe with its version and manifest, the user guide and the licence"
