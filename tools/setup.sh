#!/bin/sh
# Installs what building and running Frekuensi needs from Debian 12's own packages; with --ci also
# what the CI stages need (sanitizers, fuzzer, package check, the Windows build and Wine). Works as
# root without sudo and as a user with sudo, and fetches the package lists first, so it works on a
# fresh machine whose lists were never fetched. Installs nothing when all is there.
set -eu
packages="cmake g++ make qt6-base-dev qt6-serialport-dev qt6-tools-dev qt6-l10n-tools fonts-liberation"
if [ "${1:-}" = --ci ]; then
  packages="$packages xvfb xauth clang-14 libclang-rt-14-dev lintian xz-utils"
fi

missing=""
for package in $packages; do
  dpkg-query -W -f='${Status}' "$package" 2> /dev/null | grep -q "install ok installed" ||
    missing="$missing $package"
done
[ -n "$missing" ] || exit 0

if [ "$(id -u)" -eq 0 ]; then
  as_root=""
elif command -v sudo > /dev/null; then
  as_root="sudo"
else
  echo "setup: installing$missing needs root: run this as root, or install sudo" >&2
  exit 1
fi
$as_root apt-get update
# shellcheck disable=SC2086 # one word a package
$as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends $missing
