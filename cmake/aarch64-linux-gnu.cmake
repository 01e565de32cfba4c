# Cross-builds the Linux arm64 program (a small board beside the meter) on Debian with its cross
# compilers against Debian's own arm64 Qt, installed beside the build machine's (multiarch:
# dpkg --add-architecture arm64; sh tools/setup.sh --arm64 does it). The compilers know the
# multiarch folders, /usr/include/aarch64-linux-gnu and /usr/lib/aarch64-linux-gnu, so no sysroot.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)

# Libraries, headers and packages of the target only: the build machine's amd64 ones sit under the
# same /usr. Programs (moc, rcc, lrelease, cmark-gfm) are the build machine's own.
set(CMAKE_FIND_ROOT_PATH /usr/aarch64-linux-gnu /)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# pkg-config, too, reads the target's .pc files alone: a library that only the build machine has
# (libfuse3 for the power-cut check's disk) counts as missing.
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/aarch64-linux-gnu/pkgconfig:/usr/share/pkgconfig)
unset(ENV{PKG_CONFIG_PATH})

# The tests run on the build machine under user-mode emulation, the board's libraries from the
# multiarch folders.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64-static -L /)
