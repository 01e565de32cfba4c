#!/usr/bin/env bash
# The .deb as an administrator and two operators meet it: lintian finds nothing but the folder in
# /opt, the programs are stripped, nothing in /opt/frekuensi is anyone's but root's, the installed
# monitor run by an operator writes the line /opt/frekuensi/bin/freq.text reads and a second
# operator's start is told whose monitor polls, the next shift's monitor replaces the last one's
# line and no link an operator plants makes it write elsewhere, an upgrade ends the running monitor
# and starts it again, an upgrade over an earlier version's folder keeps the line and removes what
# was planted there while an operator plants links at every name it uses, and a purge removes what
# the programs wrote and ends well beside what it must leave. Installs the
# package for real, so it needs root and a machine without frekuensi installed (CI's).
# Usage: tests/package_check.sh BUILD... : each build's package in turn; one of another
# architecture uses this machine's libraries of it (multiarch) and the emulator the table names.
set -euo pipefail
[[ $(id -u) -eq 0 ]] || { echo "needs root: it installs the package"; exit 1; }
if dpkg-query -W frekuensi > /dev/null 2>&1; then
  echo "frekuensi is installed on this machine; not touching it"; exit 1
fi
# What runs a package's programs here, by its architecture: the machine itself, or an emulator.
declare -A runs_on=(
  [amd64]=""
  [arm64]="qemu-aarch64-static -L /"
)
# Several builds: each package in turn, each checked by a run of its own.
if (($# > 1)); then
  for build in "$@"; do bash "$0" "$build" || exit 1; done
  exit 0
fi
build=$(realpath "$1")
fail() { echo "FAIL: $*"; exit 1; }
# The operators who plant links do so the moment a name appears: without inotifywait they would
# plant nothing, and the races would pass untried.
command -v inotifywait > /dev/null || fail "inotifywait is missing (Debian's inotify-tools)"
deb=$(cd "$build" && cpack -G DEB 2>&1 | sed -n 's/.*package: \(.*\.deb\) generated\./\1/p')
[[ -f $deb ]] || fail "cpack made no .deb in $build"
architecture=$(dpkg-deb -f "$deb" Architecture)
[[ -v runs_on[$architecture] ]] || fail "nothing here runs the $architecture programs of $deb"
[[ $deb == */frekuensi_*_$architecture.deb ]] || fail "$deb is not named for $architecture"
run=${runs_on[$architecture]}
echo "$(basename "$deb")${run:+, its programs run by $run}:"
repo=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
chmod 755 "$work"
devices=() planter= worker= users=()
bin=/opt/frekuensi/bin data=/var/opt/frekuensi rule=/etc/udev/rules.d/70-frekuensi-port3.rules
# The installed monitors this check started running now, by the kernel's view of what each
# process runs and by the runtime folder in the check's own folder each has (and keeps on a restart).
monitors() {
  for exe in /proc/[0-9]*/exe; do
    [[ $(readlink "$exe" 2> /dev/null) == $bin/frekuensi* ]] &&
      tr '\0' '\n' < "${exe%exe}environ" 2> /dev/null | grep -qF "XDG_RUNTIME_DIR=$work/run-" &&
      echo "${exe//[^0-9]/}"
  done
  return 0
}
cleanup() {
  set +e
  [[ -n $planter ]] && kill -- -"$planter" 2> /dev/null
  [[ -n $worker ]] && kill -- -"$worker" 2> /dev/null
  kill "${devices[@]}" $(monitors) 2> /dev/null
  wait
  dpkg --purge frekuensi > /dev/null 2>&1
  [[ -e $work/rule ]] && cp -a "$work/rule" $rule
  for user in "${users[@]}"; do userdel "$user"; done
  rm -rf "$work"
}
trap cleanup EXIT

tags=$(lintian --tag-display-limit 0 "$deb" 2>/dev/null | grep -v ' dir-or-file-in-opt ' || true)
[[ -z "$tags" ]] || fail "lintian: $tags"

dpkg -i "$deb" > /dev/null
loose=$(find /opt/frekuensi \( ! -type l -perm /022 \) -o ! -user root -o ! -group root)
[[ -z $loose ]] || fail "not root's alone: $loose"
[[ $(stat -c '%a %U %G' $data) == "775 root dialout" ]] || fail "data folder $(stat -c '%a %U %G' $data)"
[[ $(stat -c '%a %U %G' /run/frekuensi) == "3770 root dialout" ]] || fail "lock folder $(stat -c '%a %U %G' /run/frekuensi)"
[[ $(readlink $bin/freq.text) == $data/freq.text ]] || fail "$bin/freq.text is not the link to $data"
for program in frekuensi frekuensi-demo; do
  [[ $(stat -c '%a %U' $bin/$program) == "755 root" ]] || fail "$program mode"
  ! readelf -S $bin/$program | grep -q '\.debug_' || fail "$program is not stripped"
done
[[ -L /usr/share/applications/frekuensi.desktop && -L /usr/share/applications/frekuensi-demo.desktop ]] ||
  fail "no menu entry"
grep -qx 'Name=Frekuensi (demo)' /usr/share/applications/frekuensi-demo.desktop || fail "the demo's entry's name"
# The guide's way to start it at logon is a copy of the menu entry in ~/.config/autostart.
[[ $(sed -n 's/^Exec=//p' /usr/share/applications/frekuensi.desktop) == $bin/frekuensi ]] ||
  fail "the menu entry does not start the installed monitor"
[[ $(readlink /usr/sbin/frekuensi-port) == $bin/frekuensi-port ]] || fail "frekuensi-port is not on root's path"
/usr/sbin/frekuensi-port list > /dev/null || fail "frekuensi-port list failed"
for guide in operator-guide.html panduan-operator.html frekuensi.png; do
  [[ -f /usr/share/doc/frekuensi/$guide ]] || fail "the .deb does not carry the guide's $guide"
done

# Two operators, both in dialout, neither root, of uids and groups the machine does not know.
for ((op1 = 4242; op1 < 4342; op1 += 2)); do
  op2=$((op1 + 1))
  [[ -z $(getent passwd $op1 $op2; getent group $op1 $op2) ]] && break
done
((op1 < 4342)) || { echo "skipped: the machine knows every uid from 4242 to 4341"; exit 0; }
# The installed monitor, run by the first on the
# simulated device, writes the line the readers' path reads; the second's start is told whose
# monitor polls and leaves.
dialout=$(getent group dialout | cut -d: -f3)
as() { setpriv --reuid "$1" --regid "$1" --groups "$dialout" -- "${@:2}"; }
device() { # REPLY: a simulated device answering REPLY; sets pty to its line
  $run "$build/simdevice/frekuensi-simdevice" --delay 0 --reply "$1" > "$work/device-$1.log" &
  devices+=($!)
  for _ in $(seq 50); do [[ -s $work/device-$1.log ]] && break; sleep 0.1; done
  pty=$(head -1 "$work/device-$1.log")
  chmod 666 "$pty"
}
monitor() { # OPERATOR SECONDS: the installed monitor on the device at $pty, ended after SECONDS
  mkdir -p -m 700 "$work/run-$1" && chown "$1" "$work/run-$1"
  timeout "$2" "$repo/tests/support/in-private-dev.sh" "$pty" -- setpriv --reuid "$1" --regid "$1" \
    --groups "$dialout" -- env QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$work/run-$1" $run $bin/frekuensi \
    > /dev/null 2> "$work/$1.err" || true
}
line() { cat $bin/freq.text 2> /dev/null; }
reads() { # REGEX SECONDS: whether the readers' line matches within SECONDS
  for _ in $(seq $((${2} * 10))); do [[ $(line) =~ ^$1$'\r'$ ]] && return 0; sleep 0.1; done
  [[ $(line) =~ ^$1$'\r'$ ]]
}
device 10000.0
monitor $op1 8 &
first=$!
reads '50[.,]00' 6 || fail "the installed monitor did not write freq.text: $(cat "$work/$op1.err")"
monitor $op2 3
grep -q "cannot poll /dev/ttyS2: a process of user $op1 holds its lock" "$work/$op2.err" || fail "the second operator's start said: $(cat "$work/$op2.err")"
wait $first
echo "installed monitor ($(readelf -h $bin/frekuensi | sed -n 's/ *Machine: *//p')): $bin/freq.text reads $(od -An -c $bin/freq.text | tr -s ' ');" \
  "a second operator was told: $(grep 'cannot poll' "$work/$op2.err")"
for tried in "touch $bin/qt.conf" "mv $bin/frekuensi $bin/gone" "rm -f $bin/freq.text"; do
  if as $op2 sh -c "$tried" 2> /dev/null; then fail "an operator could: $tried"; fi
done
[[ $(line) =~ ^50[.,]00$'\r'$ ]] || fail "freq.text was replaced"

# The next shift: the second operator's monitor, on a device reading 50,25 (a reply of seven
# characters, as the meter's), replaces the first one's line within a poll, while the first plants
# a link to a file of the second's at freq.text and at every temporary name the monitor makes: the monitor writes only its own new files, and its rename replaces the link.
printf 'canary\n' > "$work/canary" && chown $op2 "$work/canary" && chmod 600 "$work/canary"
plant() { # OPERATOR TARGET FOLDER...: links to TARGET at each name made under the folders (and at
  # the names for freq.text in a new folder), until killed
  setsid setpriv --reuid "$1" --regid "$1" --groups "$dialout" -- bash -c '
    target=$1 && shift
    inotifywait -m -r -q -e create,moved_to --format "%w%f" "$@" 2> /dev/null | while read -r name; do
      for name in "$name" "$name/freq.text" "$name/.freq.text.upgrade"; do
        [[ $(readlink "$name") == "$target" ]] || ln -sfn "$target" "$name" 2> /dev/null || true
      done
    done' plant "${@:2}" &
  planter=$!
}
device 9950.00
monitor $op2 6 &
second=$!
reads '50[.,]25' 3 && [[ $(stat -c %u $data/freq.text) == $op2 ]] ||
  fail "the next operator's monitor did not replace freq.text: $(line) $(cat "$work/$op2.err")"
plant $op1 "$work/canary" $data
sleep 0.5 && as $op1 ln -sfn "$work/canary" $data/freq.text
sleep 1.5
kill -- -$planter && planter=
reads '50[.,]25' 2 && [[ -f $data/freq.text && ! -L $data/freq.text ]] || fail "freq.text is $(ls -l $data/freq.text)"
[[ $(cat "$work/canary") == canary ]] || fail "a planted link made the monitor write elsewhere"
wait $second
echo "next shift: $op2's monitor replaced $op1's line ($(line | tr -d '\r')); links planted by $op1 left their target untouched"

# An upgrade while the first operator's monitor runs: preinst ends it, postinst starts it again as
# that user with its session's variables and HOME from the user database, not root's it had (run in
# a private /dev whose ttyS2 is a device reading 49,75), and readers get its readings. Only where the monitor runs natively: under an emulator /proc names the emulator.
end_monitors() {
  kill $(monitors) 2> /dev/null || true
  for _ in $(seq 50); do [[ -z $(monitors) ]] && return; sleep 0.1; done
  fail "the monitors $(monitors) do not end"
}
if [[ -z $run ]]; then
# The operator is a user of the machine, in dialout: postinst starts the monitor again as its user.
useradd --no-create-home --uid $op1 --gid dialout --shell /usr/sbin/nologin frekuensi-check
users+=(frekuensi-check)
device 10000.0
monitor $op1 30 &
first=$!
reads '50[.,]00' 6 || fail "the monitor did not start: $(cat "$work/$op1.err")"
old=$(monitors)
[[ -n $old ]] || fail "no installed monitor runs"
device 10050.0
said=$("$repo/tests/support/in-private-dev.sh" "$pty" -- dpkg -i "$deb") || fail "the upgrade failed: $said"
grep -q "ended the frekuensi of user" <<< "$said" &&
  grep -q "started the frekuensi of user .* again" <<< "$said" || fail "the upgrade said: $said"
wait $first
for pid in $old; do [[ ! -e /proc/$pid ]] || fail "the old monitor $pid still runs"; done
reads '49[.,]75' 5 || fail "after the upgrade freq.text reads $(line)"
restarted=$(tr '\0' '\n' < /proc/$(monitors)/environ)
grep -qx "HOME=$(getent passwd $op1 | cut -d: -f6)" <<< "$restarted" && grep -qx USER=frekuensi-check <<< "$restarted" &&
  [[ $(stat -c %u /proc/$(monitors)) == "$op1" ]] && grep -qP "^Gid:\t$op1\t" /proc/$(monitors)/status ||
  fail "the restarted monitor's user or environment: $(grep -E '^(U|G)id' /proc/$(monitors)/status) $restarted"
end_monitors
echo "upgrade with the monitor running: $(tr '\n' ' ' <<< "$said")freq.text then read $(line | tr -d '\r')"
fi

# An upgrade over the folders as 0.4.0 left them: no data folder, dialout could write bin/,
# freq.text lay there, and an operator planted a qt.conf (with it, Qt loads plugins from where it
# says) and a folder. Meanwhile that operator links every name made in the data folder and in bin/
# to a file of root's, swaps their folder for a link to a folder of root's that holds it at the
# first removal in bin/, and works in that folder, adding files there as it goes: the upgrade keeps
# it, root's alone, and says so (or removes it, where the removal outran the work: a busy machine
# decides which; the configure succeeds either way). Root's files stay as they were.
rm -r $bin/freq.text $data
chown root:dialout $bin && chmod 3775 $bin
as $op1 sh -c "printf '49,95\r\n' > $bin/freq.text"
as $op2 sh -c "printf '[Paths]\nPlugins=/tmp\n' > $bin/qt.conf && mkdir $bin/plugins && cd $bin/plugins &&
  seq 2000 | xargs touch && touch canary"
mkdir -m 755 "$work/root" && printf 'secret\n' > "$work/root/canary" && chmod 600 "$work/root/canary"
before=$(stat -c '%s %U %a %Y' "$work/root/canary")
plant $op2 "$work/root/canary" /var/opt $bin
setsid setpriv --reuid $op2 --regid $op2 --groups "$dialout" -- bash -c '
  inotifywait -q -e delete -r "$1" && mv "$1/plugins" "$1/.plugins" && ln -s "$2" "$1/plugins"' \
  swap $bin "$work/root" > /dev/null 2>&1 &
swapper=$!
setsid setpriv --reuid $op2 --regid $op2 --groups "$dialout" -- bash -c 'cd "$1" &&
  inotifywait -m -q -e delete --format %f . | while read -r name; do
    [[ $name == [0-9]* ]] && ((n++ < 3)) && : > "new.$n"; done' work $bin/plugins > /dev/null 2>&1 &
worker=$!
sleep 0.5
said=$(dpkg -i "$deb")
kill -- -$planter -$swapper 2> /dev/null || true
planter=
[[ $(cat "$work/root/canary") == secret && $(stat -c '%s %U %a %Y' "$work/root/canary") == "$before" ]] ||
  fail "the upgrade changed root's file through a planted name: $(ls -l "$work/root")"
[[ $(cat $bin/freq.text) == $'49,95\r' && $(stat -c %u $data/freq.text) == $op1 ]] ||
  fail "the upgrade lost freq.text or its owner: $(ls -l $data) $said"
[[ ! -e $bin/qt.conf && ! -e $bin/plugins ]] && grep -qF "removed $bin/qt.conf" <<< "$said" &&
  grep -qE "(kept|removed) $bin/plugins" <<< "$said" || fail "the upgrade left qt.conf or plugins: $said"
loose() { find /opt/frekuensi "$@" \( \( ! -type l -perm /022 \) -o ! -user root -o ! -group root \) -print; }
[[ -z $(loose -name '.frekuensi-removed.*' -prune -o) ]] || fail "the upgrade left the folder open"
echo "upgrade from a 0.4.0 folder: $(tr '\n' ' ' <<< "$said")"
# Once that work ended, the same over an operator's folder at bin/freq.text: the package's link
# takes its place, and what the last upgrade kept goes without a word.
kill -- -$worker && worker=
rm $bin/freq.text && chown root:dialout $bin && chmod 3775 $bin && as $op1 mkdir $bin/freq.text
said=$(dpkg -i "$deb")
[[ $(readlink $bin/freq.text) == $data/freq.text && $(line) == $'49,95\r' ]] && ! grep -q removed <<< "$said" &&
  [[ -z $(loose -name '.frekuensi-removed.*' -print -o) ]] || fail "over a folder at freq.text: $(ls -la $bin) $said"
echo "upgrade over a folder at freq.text: $(tr '\n' ' ' <<< "$said")"

# Purge beside a folder an operator made at a temporary file's name: it ends well and says so; a
# monitor still running (natively) is ended and its user named.
[[ -n $run ]] || { device 10000.0; monitor $op1 30 & reads '50[.,]00' 6 || fail "no monitor before the purge"; }
as $op1 mkdir $data/.freq.text.x
if [[ -e $rule ]]; then cp -a $rule "$work/rule"; else mkdir -p "$(dirname $rule)" && printf '# test\n' > $rule; fi
said=$(dpkg --purge frekuensi 2>&1) || fail "purge failed: $said"
grep -qF "left $data/.freq.text.x" <<< "$said" && [[ -z $(monitors) ]] &&
  { [[ -n $run ]] || grep -q "ended the frekuensi of user frekuensi-check: Frekuensi is removed" <<< "$said"; } ||
  fail "purge said: $said"
rm -r $data
[[ ! -e $rule ]] || fail "purge left the port 3 rule"
[[ ! -e /opt/frekuensi && ! -e /run/frekuensi && ! -e /usr/share/applications/frekuensi.desktop &&
  ! -e /usr/sbin/frekuensi-port ]] || fail "purge left files"
echo "package check: passed"
