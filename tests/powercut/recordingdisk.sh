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
  # The clean-up runs however the check ends: passed, failed, interrupted or timed out by ctest.
  trap disk_down EXIT
  trap 'exit 130' INT
  trap 'exit 143' TERM HUP
  mkdir "$work/ram" "$work/fuse" "$work/fs" "$work/check"
  # The image and the record of its writes are kept in memory.
  mount -t tmpfs -o size=2G tmpfs "$work/ram"
  truncate -s "$size" "$work/ram/base.img"
  "${mkfs[@]}" "$work/ram/base.img" > /dev/null

  # Its output goes to a file: a daemon that held ctest's output would keep ctest waiting.
  "$disk" serve "$work/ram/base.img" "$work/ram/log" "$work/fuse" > "$work/daemon.log" 2>&1 &
  daemon=$!
  for _ in $(seq 100); do [[ -e $work/fuse/disk.img ]] && break; sleep 0.05; done
  fs_loop=$(losetup -f --show --direct-io=on "$work/fuse/disk.img")
  [[ $(losetup -n -O DIO "$fs_loop" | tr -d ' ') == 1 ]] ||
    { echo "FAIL: the loop device does not use direct I/O"; exit 1; }
  mount -o "$mount_options" "$fs_loop" "$work/fs"
}

# Repeats a command until it succeeds, up to TRIES times 0.1 s apart.
retry() {
  local tries=$1
  shift
  for ((try = 1; try <= tries; ++try)); do
    "$@" 2> /dev/null && return 0
    sleep 0.1
  done
  return 1
}

gone() { ! kill -0 "$1"; }

# Ends a process of the check: asked first, killed after 5 s; waited for when it is this shell's.
end_process() {
  [[ -n $1 ]] || return 0
  kill "$1" 2> /dev/null || return 0
  retry 50 gone "$1" || kill -9 "$1" 2> /dev/null
  wait "$1" 2> /dev/null
  return 0
}

# Unmounts a mount point, waiting up to 10 s while it is busy, then detaching it lazily: a check
# must never leave a mount behind.
unmount() {
  mountpoint -q "$1" || return 0
  retry 100 umount "$1" && return 0
  echo "recordingdisk: $1 still busy after 10 s; detached lazily" >&2
  umount -l "$1"
}

# Unmounts the file system and stops serving the disk; the image and its record stay in $work/ram.
disk_unmount() {
  unmount "$work/fs"
  if [[ -n $fs_loop ]]; then
    losetup -d "$fs_loop" 2> /dev/null
    # The kernel lets go of a detached loop device later, and until then the disk image on the
    # FUSE mount is still open: wait (10 s at most) until the device has no backing file.
    retry 100 test ! -e "/sys/block/$(basename "$fs_loop")/loop/backing_file"
  fi
  fs_loop=""
  if mountpoint -q "$work/fuse"; then
    # fusermount's own way, then the kernel's: a busy FUSE mount is aborted rather than kept.
    if ! retry 100 umount "$work/fuse"; then
      echo "recordingdisk: the FUSE disk still busy after 10 s; its connection aborted" >&2
      local connection
      connection=$(stat -c %d "$work/fuse" 2> /dev/null)
      [[ -n $connection ]] && echo 1 > "/sys/fs/fuse/connections/$connection/abort" 2> /dev/null
      umount -l "$work/fuse"
    fi
  fi
  # It ends with its mount; if it has not within 5 s, it is ended.
  [[ -n $daemon ]] && { retry 50 gone "$daemon" || end_process "$daemon"; }
  [[ -n $daemon ]] && wait "$daemon" 2> /dev/null
  daemon=""
}

# The clean-up: what fails here is said and passed over, never left half done, and the check's
# own status is kept.
disk_down() {
  local status=$?
  set +e
  trap - INT TERM HUP
  [[ $(type -t disk_cleanup_first) == function ]] && disk_cleanup_first
  unmount "$work/check"
  echo 0 > "$work/fuse/delay" 2> /dev/null
  disk_unmount
  unmount "$work/ram"
  rm -rf "$work"
  local left
  left=$(grep -F "$work" /proc/mounts)
  [[ -z $left ]] || echo "recordingdisk: still mounted after the clean-up: $left" >&2
  return $status
}
