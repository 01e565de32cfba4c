#!/bin/bash
# Builds Qt 6.4.2 for Windows (x86_64, MinGW-w64, shared libraries) on Debian 12 and packs it as
# qt6.4.2-mingw-w64-x86_64.tar.xz: qtbase from Debian's own qt6-base source (6.4.2+dfsg, the
# version of the Linux build), qtserialport from its 6.4.2 release, kept beside this script
# (qtserialport-6.4.2-src.tar.xz; Debian's package mirror here does not serve qt6-serialport's
# source, and the release is what Debian packs as 6.4.2). Core, Gui, Widgets, SerialPort and Test;
# no OpenGL, network or tablet events. tools/setup.sh --windows runs it once when no prebuilt
# archive is given, and keeps the result under /var/cache/frekuensi. Host tools (moc, rcc,
# uic, ...) are Debian's 6.4.2 ones, so a project using the result configures with
#   -DCMAKE_PREFIX_PATH=<unpacked>/qt6-mingw -DQT_HOST_PATH=/usr
#   -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
# and, where its toolchain file confines package searches to the MinGW root
# (CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY), with <unpacked>/qt6-mingw added to CMAKE_FIND_ROOT_PATH.
# About 20 minutes on 2 cores (17 min 52 s on 2026-12-09). Usage: build-qt.sh OUTPUT_DIR (as root; it adds the deb-src lines it needs)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
serialport="$here/qtserialport-6.4.2-src.tar.xz"
echo "d4e215e0abac982ec03ddd2ce90888606400dbbec1cf5c31f665102172292006  $serialport" | sha256sum -c --quiet
out=$(mkdir -p "$1" && cd "$1" && pwd)
work=$(mktemp -d)
apt-get install -y --no-install-recommends g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix \
  mingw-w64-tools ninja-build cmake qt6-base-dev qt6-base-dev-tools qt6-base-private-dev dpkg-dev xz-utils
if ! apt-cache showsrc qt6-base >/dev/null 2>&1 || [ -z "$(apt-cache showsrc qt6-base 2>/dev/null)" ]; then
  sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources > /etc/apt/sources.list.d/qt-src.sources
  apt-get update
fi
cd "$work"
apt-get source --download-only qt6-base=6.4.2+dfsg-10
tar xf qt6-base_6.4.2+dfsg.orig.tar.xz
tar xf "$serialport"
cat > mingw.cmake <<'TC'
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
list(APPEND CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
TC
prefix="$work/qt6-mingw"
# With OpenGL off, 6.4.2 still turns on dynamic OpenGL for Windows and the platform plugin then
# fails to compile: guard its two dynamic-GL blocks on OpenGL as well.
sed -i 's/^#if QT_CONFIG(dynamicgl)$/#if QT_CONFIG(dynamicgl) \&\& QT_CONFIG(opengl)/' \
  qtbase-everywhere-src-6.4.2/src/plugins/platforms/windows/qwindowswindow.cpp
# Debian's source drops the Wacom tablet headers (3rdparty/wintab): tablet events are turned off.
cmake -G Ninja -S qtbase-everywhere-src-6.4.2 -B build-qtbase \
  -DCMAKE_TOOLCHAIN_FILE="$work/mingw.cmake" -DQT_HOST_PATH=/usr \
  -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake -DCMAKE_INSTALL_PREFIX="$prefix" \
  -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF \
  -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_dbus=OFF -DFEATURE_opengl=OFF \
  -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF -DFEATURE_vulkan=OFF \
  -DFEATURE_zstd=OFF -DFEATURE_icu=OFF -DFEATURE_glib=OFF -DFEATURE_tabletevent=OFF \
  -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_harfbuzz=OFF \
  -DFEATURE_system_freetype=OFF -DFEATURE_system_jpeg=OFF
cmake --build build-qtbase --parallel
cmake --install build-qtbase
cmake -G Ninja -S qtserialport -B build-qtserialport -DCMAKE_TOOLCHAIN_FILE="$work/mingw.cmake" \
  -DCMAKE_FIND_ROOT_PATH="$prefix" -DCMAKE_PREFIX_PATH="$prefix" -DQT_HOST_PATH=/usr \
  -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake -DCMAKE_INSTALL_PREFIX="$prefix" \
  -DCMAKE_BUILD_TYPE=Release -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF
cmake --build build-qtserialport --parallel
cmake --install build-qtserialport
x86_64-w64-mingw32-strip --strip-unneeded "$prefix"/bin/*.dll "$prefix"/plugins/*/*.dll
tar -C "$work" -cJf "$out/qt6.4.2-mingw-w64-x86_64.tar.xz" qt6-mingw
rm -rf "$work"
echo "$out/qt6.4.2-mingw-w64-x86_64.tar.xz"
