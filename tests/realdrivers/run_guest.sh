#!/usr/bin/env bash
# Boots the rig's guest once under QEMU and runs one job in it, watching the serial
# devices from the host side: QEMU's trace of every write to the 16550's registers
# (serial_write) and of every control request to the emulated FTDI adapter
# (usb_serial_handle_control), with host-clock timestamps, goes to OUT/trace.log; the
# guest's console to OUT/console.log; the job's status to OUT/job.rc.
#
# The guest has exactly one 16550 (its ttyS0, on a null chardev) and, with --usb, one
# FTDI FT232 on an xHCI controller (its ttyUSB0, which the job waits for). Its console is
# virtio, so nothing but the job touches the UART. The host's root file system is the
# guest's root, read-only with a tmpfs overlay; OUT is shared writable as /rig-out.
# Usage: run_guest.sh GUEST_DIR OUT_DIR [--usb] [--memory MiB] [--timeout s] -- COMMAND...
#   COMMAND runs in the guest as root with the host's paths; exit status 0 = job passed.
set -uo pipefail

guest=${1:?}; out=${2:?}; shift 2
usb=0; memory=384; timeout=240
while [ $# -gt 0 ]; do
  case "$1" in
    --usb) usb=1 ;;
    --memory) memory=$2; shift ;;
    --timeout) timeout=$2; shift ;;
    --) shift; break ;;
    *) echo "run_guest: unknown option $1" >&2; exit 2 ;;
  esac
  shift
done
[ $# -gt 0 ] || { echo "run_guest: no command" >&2; exit 2; }
command -v qemu-system-x86_64 >/dev/null ||
  { echo "run_guest: qemu-system-x86_64 missing (scripts/setup.sh installs qemu-system-x86)" >&2; exit 1; }
[ -f "$guest/ready" ] || { echo "run_guest: no guest in $guest (build_guest.sh)" >&2; exit 1; }

mkdir -p "$out"
out=$(cd "$out" && pwd)
# A fresh directory per run: steps.log is appended to by the job.
find "$out" -mindepth 1 -delete
# The guest's /tmp is a fresh tmpfs (no host X server's sockets or locks in it); a
# checkout or build tree under the host's /tmp is carried over it, so that the job's
# programs are still there.
root=$(cd "$(dirname "$0")/../.." && pwd)
for p in "$root" "$(cd "$guest" && pwd)"; do
  case "$p" in /tmp/?*) p=${p#/tmp/}; echo "/tmp/${p%%/*}" ;; esac
done | sort -u >"$out/keep"
{
  echo "cd /rig-out || exit 1"
  # The adapter is enumerated on xHCI while the job already starts: without the wait,
  # COM1 could still be the 16550, the only port yet.
  if [ "$usb" = 1 ]; then
    echo 'n=0; until [ -c /dev/ttyUSB0 ]; do'
    echo '  n=$((n + 1)); [ "$n" -le 200 ] || { echo "job: no /dev/ttyUSB0 after 10 s"; exit 1; }'
    echo '  sleep 0.05'
    echo 'done'
  fi
  printf 'exec'; printf ' %q' "$@"; echo
} >"$out/job.sh"

# KVM only where it works: this host's /dev/kvm exists but has no vmx/svm behind it.
accel=(-accel tcg -cpu max)
if [ -w /dev/kvm ] && grep -qE '\b(vmx|svm)\b' /proc/cpuinfo; then accel=(-accel kvm -cpu host); fi

devices=()
[ "$usb" = 1 ] && devices+=(-device qemu-xhci -chardev "file,id=usbport,path=$out/usb-serial.out"
                            -device usb-serial,chardev=usbport)

timeout --kill-after=10 "$timeout" qemu-system-x86_64 "${accel[@]}" -smp 1 -m "$memory" \
  -nodefaults -no-user-config -display none -no-reboot \
  -kernel "$guest/vmlinuz" -initrd "$guest/initramfs.gz" \
  -append "console=hvc0 quiet panic=-1 8250.nr_uarts=1 cryptomgr.notests mitigations=off apparmor=0 security=none audit=0 tsc=reliable no_timer_check" \
  -device virtio-serial-pci -chardev "file,id=console,path=$out/console.log" \
  -device virtconsole,chardev=console \
  -chardev null,id=uart -serial chardev:uart \
  -virtfs local,path=/,mount_tag=host,security_model=none,readonly=on,multidevs=remap \
  -virtfs "local,path=$out,mount_tag=out,security_model=none" \
  "${devices[@]}" \
  -trace serial_write -trace usb_serial_handle_control -D "$out/trace.log" -msg timestamp=on
qemu=$?
[ "$qemu" -eq 0 ] || { echo "run_guest: qemu ended with status $qemu (timeout: $timeout s)" >&2; }
[ -f "$out/job.rc" ] || { echo "run_guest: the job did not finish; console:" >&2; tail -20 "$out/console.log" >&2; exit 1; }
exit "$(cat "$out/job.rc")"
