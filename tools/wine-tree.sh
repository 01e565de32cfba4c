#!/bin/sh
# Makes, once, a Debian 13 tree with Wine 10 in it, for the Windows stage of the tests: Debian 12's
# Wine 8 never hands a serial port's received bytes to a program that waits for them through a
# completion port, as QSerialPort does; Wine 10 does. Later runs reuse the tree. Needs root
# (debootstrap and chroot). Prints the tree's folder. Usage: tools/wine-tree.sh [FOLDER]
set -eu
tree=${1:-${FREKUENSI_WINE_TREE:-/var/cache/frekuensi/trixie-wine}}
# xdotool clicks, x11-apps (xwd) and netpbm take the screenshot.
packages="wine wine64 xvfb xauth xdotool procps locales fonts-liberation x11-apps netpbm"
if [ -f "$tree/.complete" ]; then
  missing=""
  for package in $packages; do
    chroot "$tree" dpkg-query -W -f='${Status}' "$package" 2> /dev/null |
      grep -q "install ok installed" || missing="$missing $package"
  done
  if [ -n "$missing" ]; then
    [ "$(id -u)" -eq 0 ] || { echo "wine-tree: adding$missing to $tree needs root" >&2; exit 1; }
    chroot "$tree" apt-get update >&2
    # shellcheck disable=SC2086 # one word a package
    chroot "$tree" env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends \
      $missing >&2
    chroot "$tree" apt-get clean
  fi
  echo "$tree"
  exit 0
fi
if [ "$(id -u)" -ne 0 ]; then
  echo "wine-tree: making $tree needs root (debootstrap, chroot): run this as root" >&2
  exit 1
fi
# The mirror this machine's apt already uses.
mirror=$(sed -n 's/^URIs: *\([^ ]*\).*/\1/p' /etc/apt/sources.list.d/debian.sources 2> /dev/null |
  head -1)
[ -n "$mirror" ] || mirror=$(awk '$1 == "deb" {print $2; exit}' /etc/apt/sources.list 2> /dev/null)
[ -n "$mirror" ] || mirror=http://deb.debian.org/debian
partial="$tree.partial"
# Never delete through a mount the Windows stage left behind (its /dev/pts, /proc, the repository).
if findmnt -rn -o TARGET | grep -q "^$tree"; then
  echo "wine-tree: something is mounted under $tree; run tests/windows/wine10.sh --release" >&2
  exit 1
fi
rm -rf "$partial"
mkdir -p "$partial"
debootstrap --variant=minbase trixie "$partial" "$mirror" >&2
mount -t proc proc "$partial/proc"
trap 'umount "$partial/proc" 2> /dev/null || true' EXIT
chroot "$partial" apt-get update >&2
# shellcheck disable=SC2086 # one word a package
chroot "$partial" env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends \
  $packages >&2
# Both notations of the reading are checked: English and Indonesian.
printf 'C.UTF-8 UTF-8\nid_ID.UTF-8 UTF-8\nen_US.UTF-8 UTF-8\n' > "$partial/etc/locale.gen"
chroot "$partial" locale-gen >&2
chroot "$partial" apt-get clean
umount "$partial/proc"
trap - EXIT
touch "$partial/.complete"
rm -rf "$tree"
mv "$partial" "$tree"
echo "$tree"
