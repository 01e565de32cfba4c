#!/usr/bin/env bash
# The .deb as an administrator and two operators meet it: lintian finds nothing but the folder in
# /opt, the programs are stripped, nothing in /opt/frekuensi is anyone's but root's, one operator
# cannot replace another's freq.text, the installed monitor run by an operator writes the line
# /opt/frekuensi/bin/freq.text reads and a second operator's start is told whose monitor polls, an
# upgrade over an earlier version's folder keeps the line and removes what was planted there, and
# a purge removes what the programs wrote and ends well beside what it must leave. Installs the
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
device=
trap 'set +e; kill $device 2> /dev/null; wait $device; dpkg --purge frekuensi > /dev/null 2>&1; rm -rf "$work"' EXIT

tags=$(lintian --tag-display-limit 0 "$deb" 2>/dev/null | grep -v ' dir-or-file-in-opt ' || true)
[[ -z "$tags" ]] || fail "lintian: $tags"

dpkg -i "$deb" > /dev/null
bin=/opt/frekuensi/bin data=/var/opt/frekuensi
loose=$(find /opt/frekuensi \( ! -type l -perm /022 \) -o ! -user root -o ! -group root)
[[ -z $loose ]] || fail "not root's alone: $loose"
[[ $(stat -c '%a %U %G' $data) == "1775 root dialout" ]] || fail "data folder $(stat -c '%a %U %G' $data)"
[[ $(stat -c '%a %U %G' /run/frekuensi) == "3770 root dialout" ]] || fail "lock folder $(stat -c '%a %U %G' /run/frekuensi)"
[[ $(readlink $bin/freq.text) == $data/freq.text ]] || fail "$bin/freq.text is not the link to $data"
for program in frekuensi frekuensi-demo; do
  [[ $(stat -c '%a %U' $bin/$program) == "755 root" ]] || fail "$program mode"
  ! readelf -S $bin/$program | grep -q '\.debug_' || fail "$program is not stripped"
done
[[ -L /usr/share/applications/frekuensi.desktop ]] || fail "no menu entry"
# The guide's way to start it at logon is a copy of the menu entry in ~/.config/autostart.
[[ $(sed -n 's/^Exec=//p' /usr/share/applications/frekuensi.desktop) == $bin/frekuensi ]] ||
  fail "the menu entry does not start the installed monitor"
[[ $(readlink /usr/sbin/frekuensi-port) == $bin/frekuensi-port ]] || fail "frekuensi-port is not on root's path"
/usr/sbin/frekuensi-port list > /dev/null || fail "frekuensi-port list failed"
for guide in operator-guide.html panduan-operator.html frekuensi.png; do
  [[ -f /usr/share/doc/frekuensi/$guide ]] || fail "the .deb does not carry the guide's $guide"
done

# Two operators, both in dialout, neither root. The installed monitor, run by the first on the
# simulated device, writes the line the readers' path reads; the second's start is told whose
# monitor polls and leaves.
dialout=$(getent group dialout | cut -d: -f3)
as() { setpriv --reuid "$1" --regid "$1" --groups "$dialout" -- "${@:2}"; }
$run "$build/simdevice/frekuensi-simdevice" --delay 0 > "$work/device.log" &
device=$!
for _ in $(seq 50); do [[ -s $work/device.log ]] && break; sleep 0.1; done
pty=$(head -1 "$work/device.log")
chmod 666 "$pty"
monitor() { # OPERATOR SECONDS: the installed monitor, ended after SECONDS
  mkdir -m 700 "$work/run-$1" && chown "$1" "$work/run-$1"
  timeout "$2" "$repo/tests/support/in-private-dev.sh" "$pty" -- setpriv --reuid "$1" --regid "$1" \
    --groups "$dialout" -- env QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$work/run-$1" $run $bin/frekuensi \
    > /dev/null 2> "$work/$1.err" || true
}
monitor 4242 8 &
first=$!
line() { cat $bin/freq.text 2> /dev/null; }
for _ in $(seq 60); do [[ $(line) =~ ^50[.,]00$'\r'$ ]] && break; sleep 0.1; done
[[ $(line) =~ ^50[.,]00$'\r'$ ]] || fail "the installed monitor did not write freq.text: $(cat "$work/4242.err")"
monitor 4243 3
grep -q 'cannot poll /dev/ttyS2: a process of user 4242 holds its lock' "$work/4243.err" || fail "the second operator's start said: $(cat "$work/4243.err")"
wait $first
echo "installed monitor ($(readelf -h $bin/frekuensi | sed -n 's/ *Machine: *//p')): $bin/freq.text reads $(od -An -c $bin/freq.text | tr -s ' ');" \
  "a second operator was told: $(grep 'cannot poll' "$work/4243.err")"
for tried in "touch $bin/qt.conf" "mv $bin/frekuensi $bin/gone" "rm -f $bin/freq.text" \
             "rm -f $data/freq.text" "sh -c 'echo x > $data/mine && mv -f $data/mine $data/freq.text'"; do
  if as 4243 sh -c "$tried" 2> /dev/null; then fail "another operator could: $tried"; fi
done
as 4243 rm "$data/mine" || fail "an operator cannot remove their own files"
[[ $(line) =~ ^50[.,]00$'\r'$ ]] || fail "freq.text was replaced"

# An upgrade over the folder as 0.4.0 left it: dialout could write it, freq.text lay there, and an
# operator planted a qt.conf (with it, Qt loads plugins from where it says).
rm $bin/freq.text $data/freq.text
chown root:dialout $bin && chmod 3775 $bin
as 4242 sh -c "printf '49,95\r\n' > $bin/freq.text"
as 4243 sh -c "printf '[Paths]\nPlugins=/tmp\n' > $bin/qt.conf"
said=$(dpkg -i "$deb")
[[ $(cat $bin/freq.text) == $'49,95\r' && $(stat -c %u $data/freq.text) == 4242 ]] ||
  fail "the upgrade lost freq.text or its owner"
[[ ! -e $bin/qt.conf ]] && grep -qF "removed $bin/qt.conf" <<< "$said" || fail "the upgrade left qt.conf: $said"
[[ -z $(find /opt/frekuensi \( ! -type l -perm /022 \) -o ! -user root) ]] || fail "the upgrade left the folder open"
echo "upgrade from a 0.4.0 folder: $(tr '\n' ' ' <<< "$said")"

# Purge beside a folder an operator made at a temporary file's name: it ends well and says so.
as 4242 mkdir $data/.freq.text.x
rule=/etc/udev/rules.d/70-frekuensi-port3.rules
[[ -e $rule ]] || { mkdir -p "$(dirname $rule)" && printf '# test\n' > $rule; }
said=$(dpkg --purge frekuensi 2>&1) || fail "purge failed: $said"
grep -qF "left $data/.freq.text.x" <<< "$said" || fail "purge said: $said"
rm -r $data
[[ ! -e $rule ]] || fail "purge left the port 3 rule"
[[ ! -e /opt/frekuensi && ! -e /run/frekuensi && ! -e /usr/share/applications/frekuensi.desktop &&
  ! -e /usr/sbin/frekuensi-port ]] || fail "purge left files"
echo "package check: passed"
