#!/usr/bin/env bash
# frekuensi-port against a sysfs-like tree (an FTDI adapter with a serial number, a CH340 without
# one, a built-in ttyS0), a /dev and a rules folder of its own: what it lists, the rule it writes
# for each (by serial number, else by USB socket), that it changes nothing where it may not write,
# what it says port 3 is, and that clear removes the rule. No root and no udev needed.
set -euo pipefail
tool=$(cd "$(dirname "$0")/.." && pwd)/portchooser/frekuensi-port
work=$(mktemp -d)
chmod 755 "$work" # another user reads the tree too
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
export FREKUENSI_SYSFS=$work/sys FREKUENSI_DEV=$work/dev FREKUENSI_RULES_DIR=$work/rules \
  FREKUENSI_UDEVADM=true
mkdir -p "$work/dev" "$work/rules" "$work/sys/class/tty"

adapter() { # TTY SOCKET VENDOR PRODUCT MAKER NAME [SERIAL]
  local usb=$work/sys/devices/pci0000:00/0000:00:14.0/usb1/1-1/$2
  mkdir -p "$usb/$2:1.0/$1/tty/$1"
  printf '%s\n' "$3" > "$usb/idVendor"
  printf '%s\n' "$4" > "$usb/idProduct"
  printf '%s\n' "$5" > "$usb/manufacturer"
  printf '%s\n' "$6" > "$usb/product"
  [[ -z ${7:-} ]] || printf '%s\n' "$7" > "$usb/serial"
  ln -s "$usb/$2:1.0/$1" "$usb/$2:1.0/$1/tty/$1/device"
  ln -s "$usb/$2:1.0/$1/tty/$1" "$work/sys/class/tty/$1"
  touch "$work/dev/$1"
}
adapter ttyUSB0 1-1.2 0403 6001 FTDI "FT232R USB UART" A10K5ABC
adapter ttyUSB1 1-1.4 1a86 7523 QinHeng "USB Serial"
mkdir -p "$work/sys/devices/platform/serial8250/tty/ttyS0"
ln -s ../../serial8250 "$work/sys/devices/platform/serial8250/tty/ttyS0/device"
ln -s "$work/sys/devices/platform/serial8250/tty/ttyS0" "$work/sys/class/tty/ttyS0"

listed=$("$tool" list)
echo "$listed"
grep -qF "$work/dev/ttyUSB0: FTDI FT232R USB UART (USB 0403:6001, serial number A10K5ABC, USB socket 1-1.2)" <<< "$listed" ||
  fail "list does not show the FTDI adapter"
grep -qF "$work/dev/ttyUSB1: QinHeng USB Serial (USB 1a86:7523, serial number none, USB socket 1-1.4)" <<< "$listed" ||
  fail "list does not show the adapter without a serial number"
! grep -q ttyS0 <<< "$listed" || fail "list shows the built-in port as an adapter"

rule=$work/rules/70-frekuensi-port3.rules
expect_rule() { # WHAT MATCH
  grep -v '^#' "$rule" | grep -qxF "SUBSYSTEM==\"tty\", $2, SYMLINK+=\"frekuensi-port3\", ENV{ID_MM_DEVICE_IGNORE}=\"1\"" ||
    fail "$1: the rule is $(cat "$rule")"
}
"$tool" use "$work/dev/ttyUSB0"
expect_rule "by serial number" 'ATTRS{idVendor}=="0403", ATTRS{idProduct}=="6001", ATTRS{serial}=="A10K5ABC"'
"$tool" use ttyUSB1 > /dev/null
expect_rule "by USB socket" 'KERNELS=="1-1.4", ATTRS{idVendor}=="1a86", ATTRS{idProduct}=="7523"'
[[ $(ls "$work/rules") == 70-frekuensi-port3.rules ]] || fail "the rules folder holds $(ls "$work/rules")"
! "$tool" use ttyS0 2> /dev/null || fail "a port without USB was taken as an adapter"
! "$tool" use ttyUSB7 2> /dev/null || fail "a missing device was taken"

# Where it may not write, it says so and changes nothing.
before=$(cat "$rule")
chmod 555 "$work/rules"
chmod 444 "$rule"
as_user=()
[[ $(id -u) -ne 0 ]] || as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups --)
said=$("${as_user[@]}" env "$(env | grep '^FREKUENSI_SYSFS=')" "$(env | grep '^FREKUENSI_DEV=')" \
  "$(env | grep '^FREKUENSI_RULES_DIR=')" FREKUENSI_UDEVADM=true "$tool" use ttyUSB0 2>&1) &&
  fail "use without the right to write succeeded"
grep -q 'needs root: run sudo frekuensi-port use ttyUSB0' <<< "$said" || fail "it said: $said"
[[ $(cat "$rule") == "$before" ]] || fail "the rule changed"
chmod 755 "$work/rules"
chmod 644 "$rule"

ln -s "$work/dev/ttyUSB1" "$work/dev/frekuensi-port3"
status=$("$tool")
echo "$status"
grep -qF "Port 3 is $work/dev/frekuensi-port3, the adapter $work/dev/ttyUSB1: QinHeng USB Serial" <<< "$status" ||
  fail "it says port 3 is: $status"
"$tool" clear > /dev/null
[[ ! -e $rule ]] || fail "clear left the rule"
rm "$work/dev/frekuensi-port3"
grep -qF "Port 3 is $work/dev/ttyS2: no adapter is chosen" <<< "$("$tool")" || fail "after clear: $("$tool")"
echo "frekuensi-port: passed"
