#!/usr/bin/env bash
# Bytes that rewriting freq.text sends to the disk, on a fresh ext4 image mounted with Debian's
# defaults (data=ordered, auto_da_alloc, a journal commit every 5 s), read from the loop device's
# sectors-written counter. Blocks of 4 KiB as on a desktop's disk, or 1 KiB as mkfs gives a small
# image. Needs root. Usage: bench/diskwear.sh BUILD [SECONDS] [BLOCK_SIZE]
set -euo pipefail
bench="$(realpath "$1")/bench/frekuensi-filebench"
seconds=${2:-30}
block_size=${3:-4096}
work=$(mktemp -d)
trap 'umount "$work/mnt" 2> /dev/null || true; rm -rf "$work"' EXIT
truncate -s 256M "$work/disk.img"
mkfs.ext4 -q -F -b "$block_size" "$work/disk.img"
mkdir "$work/mnt"

measure() { # method interval_ms
  mount -o loop "$work/disk.img" "$work/mnt"
  local device; device=$(basename "$(findmnt -n -o SOURCE "$work/mnt")")
  sync; sleep 6 # let the mount's own journal writes settle
  local before; before=$(awk '{print $7}' "/sys/block/$device/stat")
  "$bench" "$1" "$work/mnt" "$seconds" "$2" > /dev/null
  sync
  local after; after=$(awk '{print $7}' "/sys/block/$device/stat")
  umount "$work/mnt"
  awk -v s=$((after - before)) -v t="$seconds" -v m="$1" -v i="$2" 'BEGIN {
    kib = s * 512 / 1024 / t
    printf "%-9s %5.2f s  %8.1f KiB/s  %6.2f GiB/day\n", m, i / 1000, kib, kib * 86400 / 1048576 }'
}

echo "method   interval  written        per day   ($seconds s each, $block_size-byte blocks, $(uname -r))"
measure savefile 250
measure inplace 250
for interval in 250 500 750 1000; do measure monitor $interval; done
