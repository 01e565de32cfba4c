#!/usr/bin/env bash
# frekuensi-port against a sysfs-like tree, a /dev and a rules folder of its own, run as a user
# (as root it takes the real ones, which it is checked to do): what it lists, the rule it writes
# for each adapter of the table below, each channel alone and nothing an adapter says as a rule's
# key, that it refuses a rule that two adapters present would match, that it re-triggers the
# chosen device only, that it changes nothing where it may not write, what it says port 3 is,
# and that clear removes the rule. No root and no udev needed.
set -euo pipefail
work=$(mktemp -d)
chmod 755 "$work" # another user reads the tree too
# and runs the tool: from a copy, since the clone may sit in a folder only root may enter (/root).
tool=$work/frekuensi-port
cp "$(dirname "$0")/../portchooser/frekuensi-port" "$tool"
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
mkdir -p "$work/dev" "$work/rules" "$work/sys/class/tty"
printf '#!/bin/sh\nprintf "%%s\\n" "$*" >> %s/udevadm.log\n' "$work" > "$work/udevadm"
chmod 755 "$work/udevadm" && touch "$work/udevadm.log" && chmod 666 "$work/udevadm.log"
as_user=()
[[ $(id -u) -ne 0 ]] || { as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups --); chown nobody "$work/rules"; }
port() {
  "${as_user[@]}" env FREKUENSI_SYSFS="$work/sys" FREKUENSI_DEV="$work/dev" \
    FREKUENSI_RULES_DIR="$work/rules" FREKUENSI_UDEVADM="$work/udevadm" "$tool" "$@"
}

adapter() { # TTY SOCKET CHANNEL VENDOR PRODUCT MAKER NAME [SERIAL]
  local usb=$work/sys/devices/pci0000:00/0000:00:14.0/usb1/1-1/$2 port=$2:1.$3
  mkdir -p "$usb/$port/$1/tty/$1"
  printf '%02x\n' "$3" > "$usb/$port/bInterfaceNumber"
  printf '%s\n' "$4" > "$usb/idVendor"
  printf '%s\n' "$5" > "$usb/idProduct"
  printf '%s\n' "$6" > "$usb/manufacturer"
  printf '%s\n' "$7" > "$usb/product"
  [[ -z ${8:-} ]] || printf '%s\n' "$8" > "$usb/serial"
  ln -s "$usb/$port/$1" "$usb/$port/$1/tty/$1/device"
  ln -s "$usb/$port/$1/tty/$1" "$work/sys/class/tty/$1"
  touch "$work/dev/$1"
}
adapter ttyUSB0 1-1.2 0 0403 6001 FTDI "FT232R USB UART" A10K5ABC
adapter ttyUSB1 1-1.4 0 1a86 7523 QinHeng "USB Serial"
adapter ttyUSB2 1-1.5 0 0403 6001 FTDI FT232R "A1\", RUN+=\"/bin/sh -c 'id > /tmp/owned'\", ATTRS{serial}==\"A1"
adapter ttyUSB3 1-1.6 0 0403 6001 FTDI FT232R 'A*'
# C1 controls too: CSI as a raw byte and as UTF-8 (U+009B), which some terminals obey.
adapter ttyUSB4 1-1.7 0 10c4 ea60 $'Evil\e]0;owned\a' $'CP2102\e[2J\x9b2J\xc2\x9b' B22
adapter ttyUSB5 1-1.8 0 0403 6010 FTDI "Dual RS232" DUAL1
adapter ttyUSB6 1-1.8 1 0403 6010 FTDI "Dual RS232" DUAL1
adapter ttyUSB7 1-1.9 0 0403 6001 FTDI FT232R CLONE01
adapter ttyUSB8 1-1.10 0 0403 6001 FTDI FT232R CLONE01
# The machine's own: a name the 8250 driver keeps with no UART (type 0); a board's UART, the console.
for port in serial8250/tty/ttyS0 fe201000.serial/tty/ttyAMA0; do
  mkdir -p "$work/sys/devices/$port" "$work/sys/class/tty/console" && touch "$work/dev/${port##*/}"
  ln -s ../.. "$work/sys/devices/$port/device" && ln -s "$work/sys/devices/$port" "$work/sys/class/tty"
done
echo 0 > "$work/sys/devices/serial8250/tty/ttyS0/type"
echo "tty1 ttyAMA0" > "$work/sys/class/tty/console/active" && ln -s ttyAMA0 "$work/dev/serial0"
controls=$'[\x01-\x09\x0b-\x1f\x7f-\xff]'
export LC_ALL=C # the controls' range is one of bytes

listed=$(port list)
echo "$listed"
grep -qF "$work/dev/ttyUSB0: FTDI FT232R USB UART (USB 0403:6001, serial number A10K5ABC, USB socket 1-1.2)" <<< "$listed" ||
  fail "list does not show the FTDI adapter"
grep -qF "$work/dev/ttyUSB1: QinHeng USB Serial (USB 1a86:7523, serial number none, USB socket 1-1.4)" <<< "$listed" ||
  fail "list does not show the adapter without a serial number"
grep -qF "$work/dev/ttyUSB4: Evil?]0;owned? CP2102?[2J?2J?? (USB" <<< "$listed" || fail "control characters were not shown as ?"
! grep -q "$controls" <<< "$listed" || fail "list passed control characters to the terminal"
! grep -q ttyS0 <<< "$listed" || fail "list shows a port with no UART behind it"
grep -qFx "  $work/dev/ttyAMA0: the machine's own serial port; $work/dev/serial0 leads to it" <<< "$(sed -n '/own serial ports:/,$p' <<< "$listed")" ||
  fail "list does not show the board's UART as the machine's own"

rule=$work/rules/70-frekuensi-port3.rules
cd "$work/dev" # a device named as an operator would, in /dev
# use's words | what | the rule's match (all it may hold besides SUBSYSTEM, the link and the flag)
while IFS='|' read -r words what match; do
  # shellcheck disable=SC2086 # the words are use's arguments
  said=$(port use $words) || fail "$what: use $words failed"
  rules=$(grep -v '^#' "$rule")
  [[ $rules == "SUBSYSTEM==\"tty\", $match, SYMLINK+=\"frekuensi-port3\", ENV{ID_MM_DEVICE_IGNORE}=\"1\"" ]] ||
    fail "$what: the rule is $(cat "$rule")"
  ! grep -q "$controls" <<< "$said$(cat "$rule")" || fail "$what: control characters reached the terminal or the rule"
  [[ $(tail -1 "$work/udevadm.log") == "trigger --action=change --settle $work/sys/class/tty/$(basename "$(readlink -f "${words#--socket }")")" ]] ||
    fail "$what: udev was re-triggered with: $(tail -1 "$work/udevadm.log")"
  [[ $words != *serial0 ]] || grep -qF "console is on $work/dev/ttyAMA0 too" <<< "$said" ||
    fail "$what: use did not warn of the kernel's console: $said"
done << 'EOF'
ttyUSB0|by serial number|ATTRS{idVendor}=="0403", ATTRS{idProduct}=="6001", ATTRS{serial}=="A10K5ABC", ENV{ID_USB_INTERFACE_NUM}=="00"
ttyUSB1|without a serial number, by USB socket|KERNELS=="1-1.4", ATTRS{idVendor}=="1a86", ATTRS{idProduct}=="7523", ENV{ID_USB_INTERFACE_NUM}=="00"
ttyUSB2|a serial number with quotes, by USB socket|KERNELS=="1-1.5", ATTRS{idVendor}=="0403", ATTRS{idProduct}=="6001", ENV{ID_USB_INTERFACE_NUM}=="00"
ttyUSB3|a glob serial number, by USB socket|KERNELS=="1-1.6", ATTRS{idVendor}=="0403", ATTRS{idProduct}=="6001", ENV{ID_USB_INTERFACE_NUM}=="00"
ttyUSB4|escape bytes in the maker and product|ATTRS{idVendor}=="10c4", ATTRS{idProduct}=="ea60", ATTRS{serial}=="B22", ENV{ID_USB_INTERFACE_NUM}=="00"
ttyUSB6|the second channel of a two-channel adapter|ATTRS{idVendor}=="0403", ATTRS{idProduct}=="6010", ATTRS{serial}=="DUAL1", ENV{ID_USB_INTERFACE_NUM}=="01"
--socket ttyUSB7|one of two adapters with one serial number, by socket|KERNELS=="1-1.9", ATTRS{idVendor}=="0403", ATTRS{idProduct}=="6001", ENV{ID_USB_INTERFACE_NUM}=="00"
ttyAMA0|a board's own UART, by its kernel name|KERNEL=="ttyAMA0"
serial0|the board's UART by udev's name for it|KERNEL=="ttyAMA0"
EOF
[[ $(ls "$work/rules") == 70-frekuensi-port3.rules ]] || fail "the rules folder holds $(ls "$work/rules")"
before=$(cat "$rule")
said=$(port use ttyUSB8 2>&1) && fail "a rule matching two adapters was written"
grep -qF "more than one device present: $work/dev/ttyUSB7 $work/dev/ttyUSB8" <<< "$said" &&
  grep -qF "sudo frekuensi-port use --socket ttyUSB8" <<< "$said" || fail "for two adapters with one serial number: $said"
! port use ttyS0 2> /dev/null || fail "a port with no UART behind it was taken"
! port use ttyUSB9 2> /dev/null || fail "a missing device was taken"
[[ $(cat "$rule") == "$before" ]] || fail "a refused use changed the rule"

# Where it may not write, it says so and changes nothing.
chmod 555 "$work/rules"
chmod 444 "$rule"
said=$(port use ttyUSB0 2>&1) && fail "use without the right to write succeeded"
grep -q 'needs root: run sudo frekuensi-port use ttyUSB0' <<< "$said" || fail "it said: $said"
[[ $(cat "$rule") == "$before" ]] || fail "the rule changed"
chmod 755 "$work/rules"
chmod 644 "$rule"
if [[ $(id -u) -eq 0 ]]; then
  ! FREKUENSI_SYSFS="$work/sys" FREKUENSI_DEV="$work/dev" "$tool" list | grep -qF "$work" ||
    fail "run as root, it took the stand-ins"
fi

ln -s "$work/dev/ttyUSB1" "$work/dev/frekuensi-port3"
status=$(port)
echo "$status"
grep -qF "Port 3 is $work/dev/frekuensi-port3, the adapter $work/dev/ttyUSB1: QinHeng USB Serial" <<< "$status" ||
  fail "it says port 3 is: $status"
port clear > /dev/null
[[ ! -e $rule ]] || fail "clear left the rule"
[[ $(tail -1 "$work/udevadm.log") == "trigger --action=change --settle $work/sys/class/tty/ttyUSB1" ]] ||
  fail "clear re-triggered: $(tail -1 "$work/udevadm.log")"
rm "$work/dev/frekuensi-port3"
grep -qF "Port 3 is $work/dev/ttyS2: no adapter is chosen" <<< "$(port)" || fail "after clear: $(port)"
echo "frekuensi-port: passed"
