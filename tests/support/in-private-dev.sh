#!/usr/bin/env bash
# Runs COMMAND in a mount namespace of its own whose /dev is a small tmpfs: ttyS2 links to PTY (the
# simulated device's line), each NAME=TARGET given adds a link /dev/NAME, and /run is private: an
# empty /run/lock, and /run/frekuensi, the machine's one where the package made it, else one made
# as the package makes it. The monitor there opens its fixed port and takes its guard without
# touching the machine's /dev or another monitor's lock. Needs root.
# Usage: tests/support/in-private-dev.sh PTY [NAME=TARGET...] -- COMMAND [ARGS...]
set -euo pipefail
pty=$1
shift
links=()
while [[ $1 != -- ]]; do links+=("$1"); shift; done
shift
exec unshare -m --propagation private bash -c '
  set -e
  pty=$1 count=$2
  shift 2
  mkdir -p /tmp/frekuensi-pts.$$ && mount --bind /dev/pts /tmp/frekuensi-pts.$$
  mount -t tmpfs -o mode=755,size=1M frekuensi-dev /dev
  mkdir /dev/pts /dev/shm && mount --move /tmp/frekuensi-pts.$$ /dev/pts
  rmdir /tmp/frekuensi-pts.$$
  mount -t tmpfs -o mode=1777 frekuensi-shm /dev/shm
  [ -d /run/frekuensi ] && mkdir -p /tmp/frekuensi-run.$$ && mount --bind /run/frekuensi /tmp/frekuensi-run.$$
  mount -t tmpfs -o mode=755,size=1M frekuensi-run /run
  mkdir -m 1777 /run/lock && mkdir /run/frekuensi
  if [ -d /tmp/frekuensi-run.$$ ]; then
    mount --move /tmp/frekuensi-run.$$ /run/frekuensi && rmdir /tmp/frekuensi-run.$$
  else
    chown root:dialout /run/frekuensi && chmod 3770 /run/frekuensi
  fi
  for node in "null 1 3" "zero 1 5" "random 1 8" "urandom 1 9" "tty 5 0"; do
    read -r name major minor <<< "$node"
    mknod -m 666 /dev/$name c $major $minor
  done
  ln -s pts/ptmx /dev/ptmx
  ln -s "$pty" /dev/ttyS2
  for ((i = 0; i < count; ++i)); do
    ln -sfn "${1#*=}" "/dev/${1%%=*}"
    shift
  done
  exec "$@"' in-private-dev "$pty" "${#links[@]}" "${links[@]}" "$@"
