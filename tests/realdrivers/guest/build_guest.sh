#!/usr/bin/env bash
# Builds the rig's guest into DIR: Debian's generic kernel, downloaded with
# `apt-get download` and unpacked with `dpkg -x` (never installed on this machine), and
# an initramfs of the static busybox, the few modules the rig loads, and the init
# script. Both are cached: a second run with the same kernel package and the same init
# script does nothing. Prints nothing on success but what it fetched.
# Usage: build_guest.sh DIR
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
dir=${1:?usage: build_guest.sh DIR}
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)

# The modules the rig needs; their dependencies are found from the modules themselves.
wanted=(virtio_pci virtio_console 9pnet_virtio 9p overlay xhci-pci ftdi_sio fuse)

resolve() {
  apt-cache depends linux-image-amd64 2>/dev/null |
    sed -n 's/^ *Depends: \(linux-image-[0-9].*-amd64\)$/\1/p' | head -1
}
package=$(resolve)
if [ -z "$package" ] && [ ! -f "$dir/kernel.package" ]; then
  # A machine whose packages were all there may never have fetched apt's index.
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get update -q >/dev/null || true
  package=$(resolve)
fi
if [ -z "$package" ]; then
  # No package index: a kernel fetched before still serves.
  package=$(cat "$dir/kernel.package" 2>/dev/null || true)
  [ -n "$package" ] || { echo "build_guest: no linux-image-amd64 in apt's index (apt-get update?)" >&2; exit 1; }
fi
stamp="$package $(sha256sum "$here/init" "$0" /bin/busybox | sha256sum | cut -c1-16)"
if [ -f "$dir/ready" ] && [ "$(cat "$dir/ready")" = "$stamp" ]; then exit 0; fi
rm -f "$dir/ready"

if [ "$(cat "$dir/kernel.package" 2>/dev/null)" != "$package" ] || [ ! -d "$dir/kernel" ]; then
  echo "build_guest: fetching $package"
  rm -rf "$dir/download" "$dir/kernel"
  mkdir -p "$dir/download"
  (cd "$dir/download" && apt-get download -q "$package" 2>&1 | grep -v '^W: Download is performed unsandboxed' || true)
  deb=$(ls "$dir/download/${package}"_*.deb 2>/dev/null | head -1)
  [ -n "$deb" ] || { echo "build_guest: apt-get download $package failed" >&2; exit 1; }
  dpkg -x "$deb" "$dir/kernel"
  rm -rf "$dir/download"
  echo "$package" >"$dir/kernel.package"
fi
version=${package#linux-image-}
modules="$dir/kernel/lib/modules/$version"
cp "$dir/kernel/boot/vmlinuz-$version" "$dir/vmlinuz"

# The initramfs: busybox, init, and the modules in an order that loads.
stage="$dir/initramfs.d"
rm -rf "$stage"
mkdir -p "$stage"/{bin,dev,proc,sys,mnt,lib/modules}
cp /bin/busybox "$stage/bin/busybox"
cp "$here/init" "$stage/init"
chmod 755 "$stage/init"

declare -A placed=() path=()
order=()
while read -r f; do b=${f##*/}; b=${b%.ko}; path[${b//-/_}]=$f; done < <(find "$modules/kernel" -name "*.ko")
place() {  # place NAME: its dependencies first, then itself
  local name=${1//-/_} file deps dep
  [ -n "${placed[$name]:-}" ] && return 0
  placed[$name]=1
  file=${path[$name]:-}
  [ -n "$file" ] || { echo "build_guest: module $1 not in $package" >&2; exit 1; }
  # The module's own modinfo section names what it needs: "depends=a,b".
  deps=$(tr '\0' '\n' <"$file" | sed -n 's/^depends=//p' | head -1 | tr ',' ' ')
  for dep in $deps; do place "$dep"; done
  cp "$file" "$stage/lib/modules/"
  order+=("$(basename "$file")")
}
for m in "${wanted[@]}"; do place "$m"; done
printf '%s\n' "${order[@]}" >"$stage/lib/modules/load-order"

(cd "$stage" && find . | /bin/busybox cpio -o -H newc 2>/dev/null | gzip -1) >"$dir/initramfs.gz"
rm -rf "$stage"
echo "$stamp" >"$dir/ready"
