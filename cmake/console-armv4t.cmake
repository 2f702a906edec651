# Static build for the console's ARM920T (ARMv4T in ARM state, soft float) over
# musl. scripts/build-console.sh makes the prefix this file names: musl, the
# compiler wrappers arm-console-gcc / arm-console-g++ in its bin folder, and the
# static zlib, Expat, Nettle and SDL 1.2 libraries, all built from Debian's
# source packages.
#
#   cmake -S . -B build-console -DCMAKE_TOOLCHAIN_FILE=cmake/console-armv4t.cmake \
#         -DQUILLO_CONSOLE_PREFIX=$PWD/build-console/sysroot

set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)

# The prefix is named by the first configure and handed on to CMake's own
# compiler checks, which read this file again in folders of their own.
if(NOT QUILLO_CONSOLE_PREFIX AND DEFINED ENV{QUILLO_CONSOLE_PREFIX})
  set(QUILLO_CONSOLE_PREFIX "$ENV{QUILLO_CONSOLE_PREFIX}")
endif()
if(NOT QUILLO_CONSOLE_PREFIX)
  message(FATAL_ERROR "Set QUILLO_CONSOLE_PREFIX to the prefix scripts/build-console.sh makes")
endif()
set(QUILLO_CONSOLE_PREFIX "${QUILLO_CONSOLE_PREFIX}" CACHE PATH "musl and the static libraries for the console")
set(ENV{QUILLO_CONSOLE_PREFIX} "${QUILLO_CONSOLE_PREFIX}")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES QUILLO_CONSOLE_PREFIX)

# The wrappers add -march=armv4t -marm -mfloat-abi=soft and a specs file that
# puts musl's headers, start files and libc.a and an ARMv4T libgcc.a in place
# of the cross compiler's glibc ones, and link everything statically.
set(CMAKE_C_COMPILER "${QUILLO_CONSOLE_PREFIX}/bin/arm-console-gcc")
set(CMAKE_CXX_COMPILER "${QUILLO_CONSOLE_PREFIX}/bin/arm-console-g++")
set(CMAKE_AR arm-linux-gnueabi-ar)
set(CMAKE_RANLIB arm-linux-gnueabi-ranlib)

set(CMAKE_FIND_ROOT_PATH "${QUILLO_CONSOLE_PREFIX}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_FIND_LIBRARY_SUFFIXES .a)

# pkg-config (for sdl.pc and nettle.pc) reads only the prefix's files.
set(ENV{PKG_CONFIG_LIBDIR} "${QUILLO_CONSOLE_PREFIX}/lib/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")

find_program(QUILLO_QEMU_ARM qemu-arm)
if(QUILLO_QEMU_ARM)
  set(CMAKE_CROSSCOMPILING_EMULATOR "${QUILLO_QEMU_ARM};-cpu;ti925t")
endif()
