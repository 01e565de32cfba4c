#!/bin/sh
# Installs what building and running Frekuensi needs from Debian 12's own packages. With --arm64
# also the cross compilers for arm64 boards, Debian's arm64 Qt beside the machine's own (arm64
# added to dpkg's architectures: multiarch) and qemu's user-mode emulator, which runs the arm64
# tests and programs here. With --windows also the MinGW-w64 cross compiler and NSIS, unpacks a Qt
# for Windows into build-windows-qt/ (the archive given with --qt-archive=FILE; without one, the
# one tools/qt-windows/build-qt.sh made and keeps in /var/cache/frekuensi, which it then builds
# first, once: about 20 minutes on 2 cores), and makes (once, as root) the Debian 13 tree with
# Wine 10 that the Windows tests run in; with --ci everything the CI stages need.
# Works as root without sudo and as a user with sudo, and fetches the package lists first, so it
# works on a fresh machine whose lists were never fetched. Installs nothing when all is there.
set -eu
cd "$(dirname "$0")/.."
# cmark-gfm: the operator's guide as HTML. libfuse3-dev and fuse3: the power-cut check's recording
# disk; exfat-fuse and exfatprogs: the monitor run from an exFAT stick.
packages="cmake g++ make qt6-base-dev qt6-serialport-dev qt6-tools-dev qt6-l10n-tools fonts-liberation
  cmark-gfm libfuse3-dev fuse3 exfat-fuse exfatprogs"
# Wine itself comes from a Debian 13 tree (tools/wine-tree.sh): Debian 12's Wine 8 cannot deliver
# a serial port's replies to QSerialPort.
windows_packages="g++-mingw-w64-x86-64-posix xz-utils debootstrap icoutils nsis"
# The arm64 Qt's development files bring its libraries; qt6-tools-dev:arm64 its translation tools'
# CMake files, which run the machine's own lrelease.
arm64_packages="crossbuild-essential-arm64 qt6-base-dev:arm64 qt6-serialport-dev:arm64
  qt6-tools-dev:arm64 qemu-user-static"
windows=false
arm64=false
qt=""
for option in "$@"; do
  case $option in
  --windows) windows=true ;;
  --arm64) arm64=true ;;
  --qt-archive=*) qt=${option#--qt-archive=} ;;
  --ci)
    windows=true
    arm64=true
    # xvfb, xdotool and x11-apps: the slow-disk check clicks the real window and pictures it;
    # inotify-tools: the package check's operator, who plants links the moment a name appears.
    packages="$packages clang-14 libclang-rt-14-dev lintian xvfb xdotool x11-apps inotify-tools"
    ;;
  *) echo "setup: unknown option $option (--windows, --arm64, --ci, --qt-archive=FILE)" >&2; exit 2 ;;
  esac
done
if $windows; then
  packages="$packages $windows_packages"
fi
if $arm64; then
  packages="$packages $arm64_packages"
fi

missing=""
for package in $packages; do
  dpkg-query -W -f='${Status}' "$package" 2> /dev/null | grep -q "install ok installed" ||
    missing="$missing $package"
done
if [ -n "$missing" ]; then
  if [ "$(id -u)" -eq 0 ]; then
    as_root=""
  elif command -v sudo > /dev/null; then
    as_root="sudo"
  else
    echo "setup: installing$missing needs root: run this as root, or install sudo" >&2
    exit 1
  fi
  if $arm64 && ! dpkg --print-foreign-architectures | grep -qx arm64; then
    $as_root dpkg --add-architecture arm64
  fi
  $as_root apt-get update
  # shellcheck disable=SC2086 # one word a package
  $as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends $missing
fi

if $windows && [ ! -d build-windows-qt/qt6-mingw ]; then
  if [ -z "$qt" ]; then
    qt=/var/cache/frekuensi/qt6.4.2-mingw-w64-x86_64.tar.xz
    if [ ! -f "$qt" ]; then
      [ "$(id -u)" -eq 0 ] ||
        { echo "setup: building Qt for Windows needs root (apt-get): run it as root" >&2; exit 1; }
      echo "setup: building Qt 6.4.2 for Windows once (about 20 minutes on 2 cores)" >&2
      bash tools/qt-windows/build-qt.sh /var/cache/frekuensi
    fi
  fi
  [ -f "$qt" ] || { echo "setup: $qt not found" >&2; exit 1; }
  mkdir -p build-windows-qt
  tar -xJf "$qt" -C build-windows-qt
fi
if $windows; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "setup: the Windows tests' Wine 10 tree is made as root (debootstrap, chroot): run" \
      "sh tools/setup.sh --windows as root" >&2
    exit 1
  fi
  sh tools/wine-tree.sh > /dev/null
fi
