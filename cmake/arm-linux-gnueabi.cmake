# Cross build for the console's 32-bit ARM with Debian's arm-linux-gnueabi compiler
# (armel: little-endian ARMv5TE, soft float). The SDL, zlib and GoogleTest
# libraries come from Debian's armel packages unpacked into a sysroot folder
# (scripts/test-arm.sh makes it); programs built here run under qemu-arm.
#
#   cmake -S . -B build-arm -DCMAKE_TOOLCHAIN_FILE=cmake/arm-linux-gnueabi.cmake \
#         -DQUILLO_ARM_SYSROOT=$PWD/build-arm/sysroot

set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)
set(CMAKE_LIBRARY_ARCHITECTURE arm-linux-gnueabi)
set(CMAKE_C_COMPILER arm-linux-gnueabi-gcc)
set(CMAKE_CXX_COMPILER arm-linux-gnueabi-g++)

# The sysroot is named by the first configure and handed on to CMake's own
# compiler checks, which read this file again in folders of their own.
if(NOT QUILLO_ARM_SYSROOT AND DEFINED ENV{QUILLO_ARM_SYSROOT})
  set(QUILLO_ARM_SYSROOT "$ENV{QUILLO_ARM_SYSROOT}")
endif()
if(NOT QUILLO_ARM_SYSROOT)
  message(FATAL_ERROR "Set QUILLO_ARM_SYSROOT to the folder with the unpacked armel packages")
endif()
set(QUILLO_ARM_SYSROOT "${QUILLO_ARM_SYSROOT}" CACHE PATH "Unpacked Debian armel packages")
set(ENV{QUILLO_ARM_SYSROOT} "${QUILLO_ARM_SYSROOT}")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES QUILLO_ARM_SYSROOT)

# The C library and libstdc++ are the cross compiler's own; only the packages'
# libraries and headers are looked up in the sysroot.
set(CMAKE_FIND_ROOT_PATH "${QUILLO_ARM_SYSROOT}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# SDL's shared library names the sound, X11 and terminal libraries it was built
# with (PulseAudio's own in a folder of their own); the linker finds them in the
# sysroot without linking them in.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-Wl,-rpath-link,${QUILLO_ARM_SYSROOT}/lib/arm-linux-gnueabi:\
${QUILLO_ARM_SYSROOT}/usr/lib/arm-linux-gnueabi:${QUILLO_ARM_SYSROOT}/usr/lib/arm-linux-gnueabi/pulseaudio")

# pkg-config (for sdl.pc) reads only the sysroot's files and prefixes their paths.
set(ENV{PKG_CONFIG_LIBDIR} "${QUILLO_ARM_SYSROOT}/usr/lib/arm-linux-gnueabi/pkgconfig:${QUILLO_ARM_SYSROOT}/usr/share/pkgconfig")
set(ENV{PKG_CONFIG_SYSROOT_DIR} "${QUILLO_ARM_SYSROOT}")
set(ENV{PKG_CONFIG_PATH} "")

# ctest runs every test program under user-mode emulation, with the sysroot as
# the prefix where the ARM dynamic loader and libraries are found.
find_program(QUILLO_QEMU_ARM qemu-arm)
if(QUILLO_QEMU_ARM)
  set(CMAKE_CROSSCOMPILING_EMULATOR "${QUILLO_QEMU_ARM};-L;${QUILLO_ARM_SYSROOT}")
endif()
