#!/usr/bin/env bash
# Runs a command (wine, wineserver, Xvfb, xdotool, ...) inside the Debian 13 tree that holds Wine
# 10, made by tools/wine-tree.sh, in the current folder. The tree gets its own small /dev (so that
# Wine does not find the host's serial ports), the host's pseudo-terminals (the simulated device
# runs on the host), /proc, /sys, and this repository at the same path. `wine10.sh --release`
# takes those mounts down again. Needs root.
set -euo pipefail
tree=${FREKUENSI_WINE_TREE:-/var/cache/frekuensi/trixie-wine}
repo=$(cd "$(dirname "$0")/../.." && pwd)
[[ -f $tree/.complete ]] || { echo "wine10: no tree at $tree: run sh tools/setup.sh --windows" >&2; exit 1; }

if [[ ${1:-} == --release ]]; then
  for mount in "$tree$repo" "$tree/dev/shm" "$tree/dev/pts" "$tree/dev" "$tree/sys" "$tree/proc"; do
    if mountpoint -q "$mount"; then umount "$mount" 2> /dev/null || umount -l "$mount"; fi
  done
  exit 0
fi

if ! mountpoint -q "$tree/dev"; then
  mount -t tmpfs -o mode=755,size=1M frekuensi-dev "$tree/dev"
  mknod -m 666 "$tree/dev/null" c 1 3
  mknod -m 666 "$tree/dev/zero" c 1 5
  mknod -m 666 "$tree/dev/random" c 1 8
  mknod -m 666 "$tree/dev/urandom" c 1 9
  mknod -m 666 "$tree/dev/tty" c 5 0
  mkdir "$tree/dev/pts" "$tree/dev/shm"
  ln -s pts/ptmx "$tree/dev/ptmx"
fi
mountpoint -q "$tree/dev/pts" || mount --bind /dev/pts "$tree/dev/pts"
mountpoint -q "$tree/dev/shm" || mount -t tmpfs -o mode=1777 frekuensi-shm "$tree/dev/shm"
mountpoint -q "$tree/proc" || mount -t proc proc "$tree/proc"
mountpoint -q "$tree/sys" || mount --bind -o ro /sys "$tree/sys"
mkdir -p "$tree$repo"
mountpoint -q "$tree$repo" || mount --bind "$repo" "$tree$repo"

exec chroot "$tree" /usr/bin/env -C "$PWD" HOME=/root PATH=/usr/local/bin:/usr/bin:/bin "$@"
