#!/usr/bin/env bash
# A power cut at every point of a run of freq.text rewrites. A fresh ext4 (4 KiB blocks, mounted
# with the kernel's defaults) sits on a loop device with direct I/O over frekuensi-loggingdisk,
# which records every write and cache flush the disk receives. frekuensi-filebench rewrites
# freq.text there; then, for each write after the first freq.text was committed, the image a power
# cut would have left is rebuilt twice, once with the writes as they arrived and once with a random
# half of the writes since the last flush lost (a volatile disk cache), mounted (the journal
# replays) and freq.text read: it must hold one whole line, never NUL bytes, nothing, a part of a
# line, or be missing.
#
# Usage: [FS=ext4|ext4-writeback|ext4-nojournal|xfs|btrfs] tests/powercut/powercut.sh BUILD [SECONDS] [METHOD] [MAX_IMAGES]
#   METHOD is frekuensi-filebench's: monitor (the program's own file code, which must pass) or
#   inplace (truncate and write, which must show faults, so that this check is seen to catch them).
# Needs root, loop devices and FUSE; exits 77 (skipped) without them (recordingdisk.sh).
set -euo pipefail
build=$(realpath "$1")
seconds=${2:-20}
method=${3:-monitor}
max_images=${4:-200}
interval=250 # the fastest poll choice
fs=${FS:-ext4}
case $fs in
ext4) size=64M mkfs=(mkfs.ext4 -q -F -b 4096) mount_options=defaults ;;
ext4-writeback) size=64M mkfs=(mkfs.ext4 -q -F -b 4096) mount_options=data=writeback ;;
# As on many SD cards and flash drives: no journal orders the rename after the data.
ext4-nojournal) size=64M mkfs=(mkfs.ext4 -q -F -b 4096 -O ^has_journal) mount_options=defaults ;;
xfs) size=320M mkfs=(mkfs.xfs -q -f) mount_options=defaults ;;
btrfs) size=128M mkfs=(mkfs.btrfs -q -f) mount_options=defaults ;;
*) echo "powercut: unknown FS $fs (ext4, ext4-writeback, ext4-nojournal, xfs, btrfs)" >&2; exit 2 ;;
esac
writer="$build/bench/frekuensi-filebench"
# shellcheck source=tests/powercut/recordingdisk.sh
source "$(dirname "$0")/recordingdisk.sh"
disk_up "$build" "$size" "${mkfs[@]}" -- "$mount_options"
echo "$fs on $(basename "$fs_loop"), kernel $(uname -r): $(findmnt -n -o FSTYPE,OPTIONS "$work/fs")"
if [[ -r /proc/fs/ext4/$(basename "$fs_loop")/options ]]; then
  options=$(tr '\n' ',' < "/proc/fs/ext4/$(basename "$fs_loop")/options")
  echo "ext4 options in force: ${options%,}"
fi

# A first line, committed; from here on freq.text always existed.
"$writer" "$method" "$work/fs" 1 "$interval" > /dev/null
sync -f "$work/fs"
first=$(cat "$work/fuse/writes")
"$writer" "$method" "$work/fs" "$seconds" "$interval"
last=$(cat "$work/fuse/writes")
if [[ $fs == ext4-nojournal && $method == monitor ]]; then
  # The second name that keeps the old line: never taken for another user's line, which this one
  # could neither replace (a sticky folder) nor remove later; kept while the folder's sync fails,
  # and gone once one succeeds.
  names() { find "$work/fs" -maxdepth 1 -name '.freq.text.*' | wc -l; }
  chmod 1777 "$work/fs" && chown 4242 "$work/fs/freq.text" && chmod 666 "$work/fs/freq.text"
  # That user runs a copy in $work, which it may enter: the build may sit where only root may.
  chmod 755 "$work" && cp "$writer" "$work/writer"
  said=$(setpriv --reuid 4243 --regid 4243 --clear-groups "$work/writer" monitor "$work/fs" 2 "$interval" 2>&1) || true
  # It ran, reached the folder and found the line another user's.
  grep -q 'belongs to another user' <<< "$said" || { echo "FAIL: beside another user's line: $said"; exit 1; }
  echo "beside another user's line: $(names) names beside freq.text, $(stat -c %h "$work/fs/freq.text") link to it"
  [[ $(names) == 0 && $(stat -c %h "$work/fs/freq.text") == 1 ]] || { echo "FAIL: names piled up"; exit 1; }
  chown 0 "$work/fs/freq.text"
  said=$(LD_PRELOAD="$build/tests/powercut/libfrekuensi-faildirsync.so" "$writer" monitor "$work/fs" 2 "$interval")
  echo "the folder's sync failing: $(names) names kept; said: $said"
  grep -q 'written, not yet safe on disk: Input/output error' <<< "$said" && (($(names) >= 1 && $(names) <= 4)) ||
    { echo "FAIL: with the folder's sync failing"; exit 1; }
  "$writer" monitor "$work/fs" 1 "$interval" > /dev/null
  (($(names) == 0)) || { echo "FAIL: $(names) names left once the folder's sync works"; exit 1; }
fi
disk_unmount

# What a power cut left at freq.text.
classify() {
  local file="$work/check/freq.text"
  if [[ ! -e $file ]]; then echo missing; return; fi
  local size; size=$(stat -c %s "$file")
  if ((size == 0)); then echo empty; return; fi
  if (($(tr -d '\000' < "$file" | wc -c) < size)); then echo nul; return; fi
  if ((size == 7)) && grep -qaxE $'[0-9]{2}[,.][0-9]{2}\r' "$file"; then echo whole; return; fi
  echo torn
}

declare -A counts
step=$(((last - first + max_images - 1) / max_images))
((step >= 1)) || step=1
images=0
for ((k = first + 1; k <= last; k += step)); do
  for model in arrival cache; do
    seed=()
    [[ $model == cache ]] && seed=("$k")
    "$disk" image "$work/ram/base.img" "$work/ram/log" "$k" "$work/ram/crash.img" "${seed[@]}"
    mount -o loop "$work/ram/crash.img" "$work/check"
    verdict=$(classify)
    umount "$work/check"
    counts[$model.$verdict]=$((${counts[$model.$verdict]:-0} + 1))
  done
  images=$((images + 1))
done

faults=0
for model in arrival cache; do
  line="$model:"
  for verdict in whole nul empty torn missing; do
    line+=" $verdict ${counts[$model.$verdict]:-0}"
    [[ $verdict == whole ]] || faults=$((faults + ${counts[$model.$verdict]:-0}))
  done
  echo "$line   (of $images crash images, writes $first to $last, every $step)"
done
if [[ $method == monitor ]]; then
  ((faults == 0)) || { echo "FAIL: $faults crash images left freq.text without a whole line"; exit 1; }
else
  ((faults > 0)) || { echo "FAIL: $method, known unsafe, left no fault: the check cannot fail"; exit 1; }
fi
echo "power-cut check ($method): passed"
