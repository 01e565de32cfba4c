#!/usr/bin/env bash
# The .deb as an administrator and two operators meet it: lintian finds nothing but the folder in
# /opt, the programs are stripped and only root can replace them, one operator cannot replace
# another's freq.text, an upgrade keeps freq.text and a purge removes it. Installs the package for
# real, so it needs root and a machine without frekuensi installed (CI's).
set -euo pipefail
build=$(realpath "$1")
[[ $(id -u) -eq 0 ]] || { echo "needs root: it installs the package"; exit 1; }
if dpkg-query -W frekuensi > /dev/null 2>&1; then
  echo "frekuensi is installed on this machine; not touching it"; exit 1
fi
(cd "$build" && cpack -G DEB > /dev/null)
deb=$(ls "$build"/frekuensi_*_amd64.deb)
fail() { echo "FAIL: $*"; exit 1; }

tags=$(lintian --tag-display-limit 0 "$deb" 2>/dev/null | grep -v ' dir-or-file-in-opt ' || true)
[[ -z "$tags" ]] || fail "lintian: $tags"

dpkg -i "$deb" > /dev/null
trap 'dpkg --purge frekuensi > /dev/null 2>&1 || true' EXIT
bin=/opt/frekuensi/bin
[[ $(stat -c '%a %U %G' $bin) == "3775 root dialout" ]] || fail "folder mode $(stat -c '%a %U %G' $bin)"
for program in frekuensi frekuensi-demo; do
  [[ $(stat -c '%a %U' $bin/$program) == "755 root" ]] || fail "$program mode"
  ! readelf -S $bin/$program | grep -q '\.debug_' || fail "$program is not stripped"
done
[[ -L /usr/share/applications/frekuensi.desktop ]] || fail "no menu entry"
[[ $(stat -c '%a %U' $bin/frekuensi-port) == "755 root" ]] || fail "frekuensi-port mode"
[[ $(readlink /usr/sbin/frekuensi-port) == $bin/frekuensi-port ]] || fail "frekuensi-port is not on root's path"
/usr/sbin/frekuensi-port list > /dev/null || fail "frekuensi-port list failed"
for guide in operator-guide.html panduan-operator.html frekuensi.png; do
  [[ -f /usr/share/doc/frekuensi/$guide ]] || fail "the .deb does not carry the guide's $guide"
done

# Two operators, both in dialout, neither root.
dialout=$(getent group dialout | cut -d: -f3)
as() { setpriv --reuid "$1" --regid "$1" --groups "$dialout" -- "${@:2}"; }
as 4242 sh -c "printf '50,00\r\n' > $bin/freq.text" || fail "an operator cannot write freq.text"
for tried in "mv $bin/frekuensi $bin/gone" "rm -f $bin/frekuensi-demo" "rm -f $bin/freq.text" \
             "sh -c 'echo x > $bin/mine && mv -f $bin/mine $bin/frekuensi'" \
             "sh -c 'echo x > $bin/mine2 && mv -f $bin/mine2 $bin/freq.text'"; do
  if as 4243 sh -c "$tried" 2> /dev/null; then fail "another operator could: $tried"; fi
done
as 4243 rm "$bin/mine" "$bin/mine2" || fail "an operator cannot remove their own files"
[[ $(stat -c '%U' $bin/frekuensi) == root ]] || fail "frekuensi was replaced"
[[ $(cat $bin/freq.text) == $'50,00\r' ]] || fail "freq.text was replaced"

dpkg -i "$deb" > /dev/null # an upgrade to the same version runs every maintainer script
[[ $(cat $bin/freq.text) == $'50,00\r' ]] || fail "the upgrade lost freq.text"
# A rule frekuensi-port wrote is the administrator's choice: purging removes it with the rest.
rule=/etc/udev/rules.d/70-frekuensi-port3.rules
[[ -e $rule ]] || { mkdir -p "$(dirname $rule)" && printf '# test\n' > $rule; }
dpkg --purge frekuensi > /dev/null
[[ ! -e $rule ]] || fail "purge left the port 3 rule"
[[ ! -e /opt/frekuensi && ! -e /usr/share/applications/frekuensi.desktop && ! -e /usr/sbin/frekuensi-port ]] ||
  fail "purge left files"
echo "package check: passed"
