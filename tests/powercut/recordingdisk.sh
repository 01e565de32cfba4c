# Sourced by the disk checks: frekuensi-loggingdisk serving an image from memory, a loop device
# with direct I/O over it (so what the file system sends its block device arrives there unchanged)
# and a fresh file system on that, mounted at $work/fs. $work/fuse/delay sets how long each write
# of the disk takes. Needs root, loop devices and FUSE; skips (exit 77) without them.
#   disk_up BUILD SIZE MKFS... -- MOUNT_OPTIONS   sets work, fs_loop; the clean-up runs on exit
skip() { echo "SKIP: $*"; exit 77; }

disk_up() {
  local build=$1 size=$2
  shift 2
  local mkfs=()
  while [[ $1 != -- ]]; do mkfs+=("$1"); shift; done
  local mount_options=$2
  disk="$build/tests/powercut/frekuensi-loggingdisk"
  [[ $(id -u) -eq 0 ]] || skip "needs root (loop devices, mounts, FUSE)"
  [[ -c /dev/fuse ]] || skip "needs FUSE (/dev/fuse)"
  [[ -x $disk ]] || skip "frekuensi-loggingdisk was not built (libfuse3-dev missing)"
  losetup -f > /dev/null 2>&1 || skip "needs a free loop device"

  work=$(mktemp -d)
  fs_loop=""
  daemon=""
  trap disk_down EXIT
  mkdir "$work/ram" "$work/fuse" "$work/fs" "$work/check"
  # The image and the record of its writes are kept in memory.
  mount -t tmpfs -o size=2G tmpfs "$work/ram"
  truncate -s "$size" "$work/ram/base.img"
  "${mkfs[@]}" "$work/ram/base.img" > /dev/null

  "$disk" serve "$work/ram/base.img" "$work/ram/log" "$work/fuse" &
  daemon=$!
  for _ in $(seq 100); do [[ -e $work/fuse/disk.img ]] && break; sleep 0.05; done
  fs_loop=$(losetup -f --show --direct-io=on "$work/fuse/disk.img")
  [[ $(losetup -n -O DIO "$fs_loop" | tr -d ' ') == 1 ]] ||
    { echo "FAIL: the loop device does not use direct I/O"; exit 1; }
  mount -o "$mount_options" "$fs_loop" "$work/fs"
}

# Unmounts the file system and stops serving the disk; the image and its record stay in $work/ram.
disk_unmount() {
  mountpoint -q "$work/fs" && umount "$work/fs"
  [[ -n $fs_loop ]] && losetup -d "$fs_loop" 2> /dev/null
  fs_loop=""
  mountpoint -q "$work/fuse" && umount "$work/fuse"
  [[ -n $daemon ]] && wait "$daemon" 2> /dev/null
  daemon=""
}

disk_down() {
  local status=$?
  [[ $(type -t disk_cleanup_first) == function ]] && disk_cleanup_first
  mountpoint -q "$work/check" && umount "$work/check"
  echo 0 > "$work/fuse/delay" 2> /dev/null || true
  disk_unmount
  mountpoint -q "$work/ram" && umount "$work/ram"
  rm -rf "$work"
  return $status
}
