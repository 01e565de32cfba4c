#!/usr/bin/env bash
# The real frekuensi as it starts on an operator's machine, in a private /dev and /run/lock
# (tests/support/in-private-dev.sh). Port 3: with the link /dev/frekuensi-port3 made for the
# operator's adapter, the monitor polls the device behind it, never the one at /dev/ttyS2.
# One monitor per port: while the first polls, a second start from the same folder
# and one from a copy in another folder must each end within 4 s with status 0, saying so, while
# the device goes on seeing one monitor's requests and the first keeps polling. A start by another
# user names the user whose monitor polls; the demo runs beside the monitor. After kill -9 of the
# first, a new start polls at once: nothing the first left blocks it. What others plant changes
# nothing: another user's flock on the lock name of earlier versions blocks no start, a link
# planted at the machine's lock name does not let a second user's monitor poll, and a plain
# process of the same user that holds the user's lock is never signalled.
# Usage: tests/monitor_starts.sh BUILD        Needs root (mount namespaces); exits 77 without it.
set -euo pipefail
build=$(realpath "$1")
repo=$(cd "$(dirname "$0")/.." && pwd)
[[ $(id -u) -eq 0 ]] || { echo "SKIP: needs root (a private /dev and /run/lock)"; exit 77; }
fail() { echo "FAIL: $*"; exit 1; }
now_ms() { local up; read -r up _ < /proc/uptime; echo $((${up/./} * 10)); }

if [[ ${2:-} != --inside ]]; then
  work=$(mktemp -d)
  chmod 755 "$work"
  device="" ttys2="" stick_loop="" inside=""
  cleanup() {
    local status=$?
    # Not in a child forked for a command and signalled before it ran the command.
    [[ $BASHPID == "$$" ]] || return "$status"
    set +e
    # Its trap ends what it started.
    [[ -n $inside ]] && kill "$inside" 2> /dev/null && wait "$inside"
    kill "$device" "$ttys2" 2> /dev/null
    wait "$device" "$ttys2" 2> /dev/null
    if mountpoint -q "$work/stick"; then
      for _ in $(seq 50); do umount "$work/stick" 2> /dev/null && break; sleep 0.1; done
      mountpoint -q "$work/stick" && umount -l "$work/stick"
    fi
    [[ -n $stick_loop ]] && losetup -d "$stick_loop"
    rm -rf "$work"
    return $status
  }
  trap cleanup EXIT
  # An exFAT stick through FUSE, mounted by root with umask=000 as an automounter may mount one.
  if command -v mkfs.exfat > /dev/null && command -v mount.exfat-fuse > /dev/null &&
    [[ -c /dev/fuse ]] && losetup -f > /dev/null 2>&1; then
    truncate -s 32M "$work/stick.img" # the sanitizer build's program takes 17 MB
    mkfs.exfat "$work/stick.img" > /dev/null
    stick_loop=$(losetup -f --show "$work/stick.img")
    mkdir "$work/stick"
    mount.exfat-fuse -o umask=000 "$stick_loop" "$work/stick" > /dev/null 2>&1 || true
  fi
  "$build/simdevice/frekuensi-simdevice" --delay 0 --log-requests > "$work/requests.log" &
  device=$!
  "$build/simdevice/frekuensi-simdevice" --delay 0 --log-requests > "$work/ttyS2.log" &
  ttys2=$!
  for _ in $(seq 50); do [[ -s $work/requests.log && -s $work/ttyS2.log ]] && break; sleep 0.1; done
  "$repo/tests/support/in-private-dev.sh" "$(head -1 "$work/ttyS2.log")" \
    frekuensi-port3="$(head -1 "$work/requests.log")" -- bash "$0" "$build" --inside "$work" &
  inside=$!
  status=0
  wait "$inside" || status=$?
  inside=""
  exit $status
fi

work=$3
log=$work/requests.log
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$work/runtime LANG=C.UTF-8
mkdir -m 700 "$XDG_RUNTIME_DIR"
for folder in first copy; do
  mkdir -m 755 "$work/$folder"
  cp "$build/window/frekuensi" "$work/$folder/"
done
requests() { grep -c '^request' "$log" || true; }
# Every process started here has run its command before it is signalled: a child forked for a
# command and signalled earlier would run this trap as its own and end the others.
trap '[[ $BASHPID != "$$" ]] || kill $(jobs -p) 2> /dev/null || true' EXIT
until_within() { # SECONDS COMMAND...: until the command succeeds
  local deadline=$(($(now_ms) + $1 * 1000))
  until "${@:2}"; do
    (($(now_ms) < deadline)) || return 1
    sleep 0.05
  done
}
more_requests() { (($(requests) > $1)); }
wait_for_request() { until_within "$2" more_requests "$1"; } # after COUNT, within SECONDS
# A sleep holding a flock on LOCK, which makes MARKER once it holds it; $! is the holder itself.
hold='exec 9>> "$1" && flock -n 9 && : > "$2" && exec sleep 30'
dialout=$(getent group dialout | cut -d: -f3)
# Not the machine's lock folder, which in-private-dev.sh lends where the package made it and a
# monitor of the machine may lock: one of the test's own, made as the package makes it.
! mountpoint -q /run/frekuensi || umount /run/frekuensi
chown root:dialout /run/frekuensi && chmod 3770 /run/frekuensi
setpriv --reuid=nobody --regid=nogroup --clear-groups bash -c "$hold" hold \
  /run/lock/frekuensi-port3.lock /run/lock/held > /dev/null 2>&1 &
until_within 10 test -e /run/lock/held || fail "another user's process did not take the old lock"
ln -s /dev/null /run/frekuensi/port3.lock

"$work/first/frekuensi" 2> "$work/first.err" &
first=$!
wait_for_request 0 10 || fail "the first monitor did not poll within 10 s"
sleep 4
alone=$(($(requests)))
sleep 4
alone=$(($(requests) - alone))

# The demo polls its own line, beside the monitor, from before the other starts to after them.
XDG_DATA_HOME=$work/data "$build/demo/frekuensi-demo" 2> "$work/demo.err" &
demo=$!
until_within 10 grep -q 'The demo writes its readings' "$work/demo.err" ||
  fail "the demo did not start: $(cat "$work/demo.err")"
before=$(requests)
from=$(now_ms)
for start in first copy; do
  where="from the same folder"
  [[ $start == copy ]] && where="from a copy in another folder"
  began=$(now_ms)
  status=0
  timeout 10 "$work/$start/frekuensi" 2> "$work/$start-second.err" || status=$?
  took=$(($(now_ms) - began))
  echo "a second start $where: status $status after $took ms; said: $(cat "$work/$start-second.err")"
  ((status == 0)) || fail "the second start ended with status $status"
  ((took <= 4000)) || fail "the second start took $took ms to leave"
  [[ $(grep -c 'already polls' "$work/$start-second.err") == 1 ]] ||
    fail "the second start did not say once that a monitor already polls"
done
# Another user: told whose monitor polls; the box waits for the operator, so it is ended here.
mkdir -m 700 "$work/nobody" && chown nobody "$work/nobody"
timeout 5 setpriv --reuid=nobody --regid=nogroup --groups "$dialout" env XDG_RUNTIME_DIR="$work/nobody" \
  "$work/copy/frekuensi" 2> "$work/other-user.err" || true
grep -q 'cannot poll /dev/frekuensi-port3: a process of user root holds its lock' "$work/other-user.err" ||
  fail "another user's start said: $(cat "$work/other-user.err")"
echo "another user's start: $(grep 'cannot poll' "$work/other-user.err")"
while (($(now_ms) - from < 4000)); do sleep 0.1; done
kill -0 "$demo" 2> /dev/null || fail "the demo did not run beside the monitor"
kill "$demo"
wait "$demo" 2> /dev/null || true
kill -0 "$first" 2> /dev/null || fail "the first monitor is gone"
besides=$(($(requests) - before)) took=$(($(now_ms) - from))
echo "requests in 4 s: $alone with one monitor; $besides in the $took ms of the other starts"
((besides <= alone * took / 4000 + 1)) ||
  fail "the device saw $besides requests in $took ms, not one monitor's $alone in 4 s"
count=$(requests)
wait_for_request "$count" 3 || fail "the first monitor stopped polling"

kill -9 "$first"
wait "$first" 2> /dev/null || true # says it was killed
# A plain process holding the user's lock keeps running; the start names no process it signalled.
bash -c "$hold" hold "$XDG_RUNTIME_DIR/frekuensi-port3.lock" "$work/held" > /dev/null 2>&1 &
holder=$!
until_within 10 test -e "$work/held" || fail "a process did not take the user's lock"
timeout 3 "$work/first/frekuensi" 2> "$work/beside-holder.err" || true
kill -0 "$holder" 2> /dev/null || fail "the process holding the user's lock is gone"
kill "$holder"
wait "$holder" 2> /dev/null || true
echo "beside a plain process holding the user's lock: $(grep -c 'cannot poll' "$work/beside-holder.err") refusal, the process kept"
rm /run/frekuensi/port3.lock
count=$(requests)
began=$(now_ms)
"$work/first/frekuensi" 2> "$work/after-kill.err" &
again=$!
wait_for_request "$count" 5 || fail "a start after kill -9 of the first did not poll within 5 s"
echo "after kill -9 of the first, a new start polled after $(($(now_ms) - began)) ms"
kill "$again"
wait "$again" 2> /dev/null || true
[[ $(grep -c '^request' "$work/ttyS2.log" || true) == 0 ]] ||
  fail "the device at /dev/ttyS2 was polled, with /dev/frekuensi-port3 there"
echo "port 3: the device behind /dev/frekuensi-port3 saw $(requests) requests, the one at /dev/ttyS2 none"

# Run from the exFAT stick by an operator who is not root: the file system refuses chmod, and
# freq.text is written all the same.
if mountpoint -q "$work/stick"; then
  stick=$work/stick
  cp "$work/first/frekuensi" "$stick/"
  chmod 666 "$(readlink -f /dev/frekuensi-port3)"
  setpriv --reuid=nobody --regid=nogroup --clear-groups env XDG_RUNTIME_DIR="$work/nobody" \
    "$stick/frekuensi" 2> "$work/stick.err" &
  operator=$!
  for _ in $(seq 100); do [[ $(od -An -c "$stick/freq.text" 2> /dev/null) == *'\n'* ]] && break; sleep 0.1; done
  line=$(od -An -c "$stick/freq.text" 2> /dev/null | tr -s ' ' || echo "(none)")
  echo "exFAT (umask=000), monitor run by nobody: freq.text holds$line;" \
    "$(stat -c '%A %U' "$stick/freq.text" 2> /dev/null); said: $(cat "$work/stick.err")"
  kill "$operator"
  wait "$operator" 2> /dev/null || true
  [[ $line == " 5 0 . 0 0 \r \n" ]] || fail "on exFAT freq.text holds '$line'"
else
  echo "exFAT: skipped (needs exfat-fuse, exfatprogs, FUSE and a loop device)"
fi
echo "monitor starts: passed"
