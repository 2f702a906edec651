#!/usr/bin/env bash
# Builds the reader and the page renderer for the console itself: statically
# linked, for ARMv4T in ARM state (the ARM920T), soft float, over musl. Every
# library is built here from Debian's source packages, fetched by apt with a
# private package state inside the build folder (deb-src entries for the same
# registry as the armel packages); the machine's package database only gets the
# cross compiler and qemu.
#
#   build-console/sysroot   musl, the static libraries, the compiler wrappers
#   build-console/quillo, build-console/quillo-render   the programs
#   build-console/quillo.gpe   the launcher to copy beside quillo on the card
#
#   scripts/build-console.sh [--tests]   (--tests: the unit tests as well)
#
# The cross compiler's own libgcc.a is Debian armel's, built for ARMv5TE: its
# division, count-leading-zeros and soft-float helpers use clz. The helpers come
# instead from the ARMv4T libgcc.a (the default multilib) of Debian's bare-metal
# arm-none-eabi compiler package, unpacked here and not installed, and the Linux
# __sync_* functions (kernel helpers; libstdc++ needs __sync_synchronize) are
# built from the gcc-12 source package. libstdc++ is built from that source too.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${QUILLO_CONSOLE_BUILD:-$root/build-console}"
# --tests builds the unit tests too, against the same musl and libraries.
tests=OFF
[ "${1:-}" = --tests ] && tests=ON
prefix="$build/sysroot"
src="$build/src"
obj="$build/obj"
# apt-get source unpacks with dpkg-source (dpkg-dev); the compiler source is xz.
"$root/scripts/deps.sh" gcc-arm-linux-gnueabi g++-arm-linux-gnueabi qemu-user cmake make pkg-config \
  dpkg-dev xz-utils debian-archive-keyring binutils-arm-linux-gnueabi
jobs="$(nproc)"
arch=(-march=armv4t -marm -mfloat-abi=soft)
mkdir -p "$prefix/bin" "$prefix/lib" "$prefix/include" "$src" "$obj"
export PATH="$prefix/bin:$PATH"
log() { echo "== $*"; }
# Runs a build step with its output in a log file, shown only when it fails.
quiet() {
  local logfile="$1"; shift
  if ! nice -n 10 "$@" > "$logfile" 2>&1; then
    tail -n 40 "$logfile"; echo "failed: $* (log: $logfile)"; exit 1
  fi
}

# ---- Source packages and the bare-metal compiler's libgcc.a, by apt ----------
apt="$build/apt"
# The stamp names what was fetched, so a package added to the list is fetched.
packages="musl zlib expat nettle libsdl1.2 googletest"
if [ "$(cat "$src/.fetched" 2>/dev/null)" != "$packages" ]; then
  rm -rf "$apt" "$src"
  mkdir -p "$apt/lists/partial" "$apt/cache/archives/partial" "$src"
  : > "$apt/status"
  key=/usr/share/keyrings/debian-archive-keyring.gpg
  {
    for suite in bookworm bookworm-updates; do
      echo "deb [signed-by=$key] http://deb.debian.org/debian $suite main"
      echo "deb-src [signed-by=$key] http://deb.debian.org/debian $suite main"
    done
  } > "$apt/sources.list"
  opts=(-o APT::Architecture=armel -o APT::Architectures::=armel
        -o Dir::Etc::SourceList="$apt/sources.list" -o Dir::Etc::SourceParts=/dev/null
        -o Dir::State::Lists="$apt/lists" -o Dir::State::status="$apt/status"
        -o Dir::Cache="$apt/cache" -o Debug::NoLocking=1 -o APT::Sandbox::User=root)
  log "Fetching source packages into $src"
  apt-get "${opts[@]}" -qq update
  (cd "$src" && apt-get "${opts[@]}" -qq source $packages >/dev/null \
     && apt-get "${opts[@]}" -qq --download-only source gcc-12 >/dev/null \
     && apt-get "${opts[@]}" -qq download gcc-arm-none-eabi)
  # Only the runtime libraries' part of the compiler's source is unpacked.
  (cd "$src" && tar -xzf gcc-12_*.orig.tar.gz --wildcards '*/gcc-*-dfsg.tar.xz' \
     && mkdir gcc && tar -xJf gcc-12-*/gcc-*-dfsg.tar.xz -C gcc --strip-components=1 --wildcards \
        '*/libstdc++-v3/*' '*/libgcc/*' '*/include/*' '*/config/*' '*/config-ml.in' \
        '*/config.guess' '*/config.sub' '*/install-sh' '*/ltmain.sh' '*/missing' \
        '*/mkinstalldirs' '*/move-if-change' '*/compile' '*/depcomp' '*/libiberty/*' '*/gcc/BASE-VER' \
        '*/gcc/DATESTAMP' '*/gcc/DEV-PHASE' \
     && rm -rf gcc-12-*/)
  mkdir -p "$src/none-eabi"
  dpkg-deb --fsys-tarfile "$src"/gcc-arm-none-eabi_*.deb | tar -x -C "$src/none-eabi" --wildcards --no-wildcards-match-slash './usr/lib/gcc/arm-none-eabi/*/libgcc.a'
  rm -rf "$apt"
  echo "$packages" > "$src/.fetched"
fi
srcdir() { find "$src" -maxdepth 1 -type d -name "$1-*" | head -n 1; }

# ---- musl, the compiler wrappers and the runtime helpers -------------------
if [ ! -f "$prefix/.musl" ]; then
  log "musl"
  rm -rf "$obj/musl"; mkdir -p "$obj/musl"
  (cd "$obj/musl" && quiet configure.log "$(srcdir musl)/configure" --prefix="$prefix" \
     --target=arm-linux-gnueabi --disable-shared CC=arm-linux-gnueabi-gcc CFLAGS="${arch[*]} -Os" \
   && quiet make.log make -j"$jobs" && quiet install.log make install)
  # The kernel's user-space headers (for the framebuffer, input and joystick
  # interfaces) are those the cross compiler came with.
  for d in linux asm asm-generic mtd; do
    rm -rf "${prefix:?}/include/$d"; cp -a "/usr/arm-linux-gnueabi/include/$d" "$prefix/include/"
  done
  cp "$(find "$src/none-eabi" -name libgcc.a | grep -v '/arm/\|/thumb/')" "$prefix/lib/libgcc.a"
  mkdir -p "$obj/libgcc"
  arm-linux-gnueabi-gcc "${arch[@]}" -Os -fno-builtin -w -nostdinc -isystem "$prefix/include" \
    -isystem "$(dirname "$(arm-linux-gnueabi-gcc -print-libgcc-file-name)")/include" \
    -c "$src/gcc/libgcc/config/arm/linux-atomic.c" -o "$obj/libgcc/linux-atomic.o"
  rm -f "$prefix/lib/libgcc-linux-atomic.a"
  arm-linux-gnueabi-ar rcs "$prefix/lib/libgcc-linux-atomic.a" "$obj/libgcc/linux-atomic.o"
  # musl's headers, start files and libc.a and the ARMv4T helpers in place of
  # the cross compiler's glibc and libgcc; everything is linked statically.
  cat > "$prefix/lib/console.specs" <<EOF
%rename cpp_options old_cpp_options

*cpp_options:
-nostdinc -isystem $prefix/include -isystem include%s %(old_cpp_options)

*cc1:
%(cc1_cpu) -nostdinc -isystem $prefix/include -isystem include%s

*link_libgcc:
-L$prefix/lib

*libgcc:
$prefix/lib/libgcc-linux-atomic.a $prefix/lib/libgcc.a

*startfile:
$prefix/lib/crt1.o $prefix/lib/crti.o crtbeginT.o%s

*endfile:
crtend.o%s $prefix/lib/crtn.o

*link:
-nostdlib -static -z noexecstack --no-enum-size-warning

EOF
  cat > "$prefix/bin/arm-console-gcc" <<EOF
#!/bin/sh
exec arm-linux-gnueabi-gcc ${arch[*]} -static -specs $prefix/lib/console.specs "\$@"
EOF
  cat > "$prefix/bin/arm-console-g++" <<EOF
#!/bin/sh
exec arm-linux-gnueabi-g++ ${arch[*]} -static -isystem $prefix/include/c++ \
  -isystem $prefix/include/c++/arm-linux-musleabi -specs $prefix/lib/console.specs "\$@"
EOF
  chmod +x "$prefix/bin/arm-console-gcc" "$prefix/bin/arm-console-g++"
  touch "$prefix/.musl"
fi
cross=(--host=arm-linux-gnueabi --prefix="$prefix" CC=arm-console-gcc CFLAGS=-Os)

# ---- zlib, Expat, Nettle ---------------------------------------------------
if [ ! -f "$prefix/lib/libz.a" ]; then
  log "zlib"
  rm -rf "$obj/zlib"; cp -a "$(srcdir zlib)" "$obj/zlib"
  (cd "$obj/zlib" && CC=arm-console-gcc AR=arm-linux-gnueabi-ar RANLIB=arm-linux-gnueabi-ranlib \
     CFLAGS=-Os CHOST=arm-linux-gnueabi quiet configure.log ./configure --prefix="$prefix" --static \
   && quiet make.log make -j"$jobs" libz.a && quiet install.log make install)
fi
if [ ! -f "$prefix/lib/libexpat.a" ]; then
  log "Expat"
  # Debian's package has no generated configure script; its CMake build is
  # used. That writes the feature macros of expat_config.h without a value,
  # where the sources (Debian's patches) test them for 1.
  rm -rf "$obj/expat"
  quiet "$obj/expat.configure.log" cmake -S "$(srcdir expat)/expat" -B "$obj/expat" \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/console-armv4t.cmake" -DQUILLO_CONSOLE_PREFIX="$prefix" \
    -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_BUILD_TYPE=MinSizeRel -DEXPAT_SHARED_LIBS=OFF \
    -DEXPAT_BUILD_TOOLS=OFF -DEXPAT_BUILD_EXAMPLES=OFF -DEXPAT_BUILD_TESTS=OFF -DEXPAT_BUILD_DOCS=OFF
  sed -i -e 's/^#define XML_DTD$/#define XML_DTD 1/' -e 's/^#define XML_NS$/#define XML_NS 1/' \
    "$obj/expat/expat_config.h"
  quiet "$obj/expat.make.log" cmake --build "$obj/expat" -j"$jobs"
  quiet "$obj/expat.install.log" cmake --install "$obj/expat"
fi
if [ ! -f "$prefix/lib/libnettle.a" ]; then
  log "Nettle"
  # Hashes and ciphers only (no public-key half, so no GMP), in C: the ARM
  # assembly is for ARMv6 and later.
  rm -rf "$obj/nettle"; mkdir -p "$obj/nettle"
  (cd "$obj/nettle" && quiet configure.log "$(srcdir nettle)/configure" "${cross[@]}" \
     --libdir="$prefix/lib" --disable-shared --disable-assembler --disable-public-key \
     --disable-documentation --disable-openssl --disable-fat \
   && quiet make.log make -j"$jobs" libnettle.a \
   && quiet install.log make AUTOHEADER=true install-headers install-static install-pkgconfig)
fi

# ---- SDL 1.2: framebuffer console and dummy video, Linux joystick ----------
if [ ! -f "$prefix/lib/libSDL.a" ]; then
  log "SDL 1.2"
  off=()
  for v in x11 dga directfb ps2gs ps3 svga vgl wscons opengl caca aalib ggi nanox xbios gem \
           photon cocoa carbon qtopia picogui; do off+=("--disable-video-$v"); done
  rm -rf "$obj/sdl"; mkdir -p "$obj/sdl"
  (cd "$obj/sdl" && quiet configure.log "$(srcdir libsdl1.2)/configure" "${cross[@]}" \
     --disable-shared --enable-static --disable-rpath --disable-audio --disable-cdrom \
     --disable-loadso --disable-sdl-dlopen --disable-dga "${off[@]}" --disable-input-tslib \
     --disable-pth --disable-esd --disable-arts --disable-nas --disable-pulseaudio --disable-alsa \
     --disable-oss --disable-nasm --disable-altivec \
     --enable-video-fbcon --enable-video-dummy --enable-joystick \
   && grep -q '^#define SDL_VIDEO_DRIVER_FBCON 1' include/SDL_config.h \
   && quiet make.log make -j"$jobs" && quiet install.log make install)
fi

# ---- libstdc++ from the gcc-12 source package ------------------------------
if [ ! -f "$prefix/lib/libsupc++.a" ]; then
  log "libstdc++"
  # The configure script's compiler check links with g++, which names
  # libstdc++ before it exists: an empty archive stands in for it.
  rm -f "$prefix/lib/libstdc++.a"; arm-linux-gnueabi-ar rc "$prefix/lib/libstdc++.a"
  # Headers of an earlier build would stand in front of the ones being built.
  rm -rf "$prefix/include/c++"
  # In a whole compiler build libgcc's configure names the thread model's
  # header as gthr-default.h; POSIX threads (in musl's libc.a) here. Without
  # it libstdc++ comes without std::mutex and std::thread.
  cp "$src/gcc/libgcc/gthr-posix.h" "$src/gcc/libgcc/gthr-default.h"
  rm -rf "$obj/libstdcxx"; mkdir -p "$obj/libstdcxx"
  (cd "$obj/libstdcxx" && quiet configure.log "$src/gcc/libstdc++-v3/configure" \
     --host=arm-linux-musleabi --build="$(gcc -dumpmachine)" --prefix="$prefix" \
     --with-gxx-include-dir="$prefix/include/c++" CC=arm-console-gcc CXX=arm-console-g++ \
     AR=arm-linux-gnueabi-ar RANLIB=arm-linux-gnueabi-ranlib NM=arm-linux-gnueabi-nm \
     CFLAGS=-Os CXXFLAGS=-Os --disable-shared --enable-static --disable-multilib --disable-nls \
     --disable-libstdcxx-pch --disable-libstdcxx-verbose --disable-libstdcxx-filesystem-ts \
     --enable-clocale=generic --disable-werror \
   && rm -f "$prefix/lib/libstdc++.a" \
   && grep -q '^#define _GLIBCXX_HAS_GTHREADS 1' config.h \
   && quiet make.log make -j"$jobs" && quiet install.log make install)
fi

# ---- GoogleTest, for the unit tests on this runtime (--tests) --------------
if [ "$tests" = ON ] && [ ! -f "$prefix/lib/libgtest.a" ]; then
  log "GoogleTest"
  rm -rf "$obj/googletest"
  quiet "$obj/googletest.configure.log" cmake -S "$(srcdir googletest)" -B "$obj/googletest" \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/console-armv4t.cmake" -DQUILLO_CONSOLE_PREFIX="$prefix" \
    -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_BUILD_TYPE=Release -DBUILD_GMOCK=OFF \
    -DBUILD_SHARED_LIBS=OFF -DINSTALL_GTEST=ON
  quiet "$obj/googletest.make.log" cmake --build "$obj/googletest" -j"$jobs"
  quiet "$obj/googletest.install.log" cmake --install "$obj/googletest"
fi

# ---- The reader and the page renderer (and the unit tests) -----------------
log "quillo, quillo-render"
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/console-armv4t.cmake" \
  -DQUILLO_CONSOLE_PREFIX="$prefix" -DCMAKE_BUILD_TYPE=Release -DQUILLO_CONSOLE=ON \
  -DQUILLO_TESTS="$tests" -DQUILLO_BENCH=OFF "${launcher[@]}" >/dev/null
if [ "$tests" = ON ]; then
  nice -n 10 cmake --build "$build" -j"$jobs"
else
  nice -n 10 cmake --build "$build" -j"$jobs" --target quillo quillo-render
fi
cp "$build/tools/render/quillo-render" "$build/quillo-render"
# The launcher the console's menu starts: the reader keeps quillo.cfg and
# quillo.mrf in its working folder, so that is made the reader's own folder.
printf '#!/bin/sh\ncd "$(dirname "$0")"\nexec ./quillo\n' > "$build/quillo.gpe"
chmod +x "$build/quillo.gpe"

# ---- No instruction beyond ARMv4T --------------------------------------------
# Allowed by name: musl's ARMv6/v7 atomics, chosen at run time only when the
# kernel reports the TLS register (HWCAP_TLS); the unwinder's VFP and iWMMXt
# register save/restore, run only for frames whose unwind tables say they saved
# those registers, which soft-float ARMv4T code never does.
beyond_v4t() {
  arm-linux-gnueabi-objdump -d --no-show-raw-insn "$1" | awk '
    /^[0-9a-f]+ <.*>:$/ { fn = $2; next }
    /^ *[0-9a-f]+:\t/ {
      split($0, a, "\t"); m = a[2]; sub(/[ \t].*/, "", m)
      if (fn ~ /^<(__a_(barrier|cas)_v[67]|__gnu_Unwind_(Save|Restore)_(VFP|WMMX)[A-Za-z_0-9]*)>:?$/) next
      if (m ~ /^(blx|clz|ldrd|strd|pld|pli|bkpt|ldrex|strex|clrex|qadd|qsub|qdadd|qdsub|smla[bt]|smlaw|smlal[bt]|smul[bt]|smulw|mcrr|mrrc|ldc2|stc2|mcr2|mrc2|cdp2|rev|rbit|sxt|uxt|sel|usat|ssat|pkh|dmb|dsb|isb|movw|movt|ubfx|sbfx|bfi|bfc|mls|udiv|sdiv|cps|srs|rfe|setend|wfi|wfe|sev|yield|v[a-z]|fmrx|fmxr|fld|fst|[us]add|[us]sub|[us]h|[us]q|smmul|smmla|smuad|smusd|smlad|smlsd|umaal|lda|stl)/)
        print fn, a[1], m, a[3]
    }'
}
for exe in "$build/quillo" "$build/quillo-render"; do
  found="$(beyond_v4t "$exe")"
  if [ -n "$found" ]; then
    echo "$found" | head -n 20; echo "instructions beyond ARMv4T in $exe"; exit 1
  fi
  echo "$exe: no instruction beyond ARMv4T"
done

log "quillo-render --intro under qemu-arm -cpu ti925t"
(cd "$build" && qemu-arm -cpu ti925t ./quillo-render --intro -o intro.bmp)
ls -l "$build/quillo" "$build/quillo-render" "$build/intro.bmp"
