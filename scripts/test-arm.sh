#!/usr/bin/env bash
# Builds the reader, the page renderer and the unit tests for the console's
# 32-bit ARM (Debian's armel cross compiler) in build-arm and runs the unit
# tests under qemu-arm. The armel libraries are Debian's own packages, fetched
# with a private apt state (the machine's package database is left as it is,
# since armel builds of its security updates may be missing) and unpacked into
# build-arm/sysroot. Called by scripts/test.sh after the native tests.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${QUILLO_ARM_BUILD:-$root/build-arm}"
sysroot="$build/sysroot"
"$root/scripts/deps.sh" g++-arm-linux-gnueabi qemu-user cmake make pkg-config

# Runtime libraries with everything they need, resolved by apt from an empty
# package state; the -dev packages alone, without their dependencies, for
# headers, link names, pkg-config and CMake files.
runtime=(libsdl1.2debian zlib1g libexpat1 libnettle8 libstdc++6)
devel=(libsdl1.2-dev zlib1g-dev libexpat1-dev nettle-dev libgtest-dev)
stamp="$sysroot/.packages"
want="${runtime[*]} ${devel[*]}"
# A sysroot made before a package was added to the lists is fetched again: the
# stamp names the lists it was made from, and Nettle's header is looked for
# too, since a stamp may outlive the files it describes.
if [ ! -f "$stamp" ] || [ "$(cat "$stamp")" != "$want" ] || [ ! -f "$sysroot/usr/include/nettle/aes.h" ]; then
  apt="$build/apt"
  rm -rf "$apt" "$sysroot"
  mkdir -p "$apt/lists/partial" "$apt/cache/archives/partial" "$apt/devel" "$sysroot"
  : > "$apt/status"
  opts=(-o APT::Architecture=armel -o APT::Architectures::=armel
        -o Dir::State::Lists="$apt/lists" -o Dir::State::status="$apt/status"
        -o Dir::Cache="$apt/cache" -o Debug::NoLocking=1 -o APT::Sandbox::User=root)
  echo "Fetching armel packages into $sysroot"
  apt-get "${opts[@]}" -qq update
  apt-get "${opts[@]}" -qq -y -d --no-install-recommends install "${runtime[@]}" >/dev/null
  (cd "$apt/devel" && apt-get "${opts[@]}" -qq download "${devel[@]}")
  for deb in "$apt"/cache/archives/*.deb "$apt"/devel/*.deb; do
    dpkg -x "$deb" "$sysroot"
  done
  # Links inside the packages that point at absolute paths (libz.so, the
  # dynamic loader) are made to point into the sysroot.
  find "$sysroot" -type l | while read -r link; do
    target="$(readlink "$link")"
    case "$target" in /*) ln -sfn "$sysroot$target" "$link" ;; esac
  done
  rm -rf "$apt"
  echo "$want" > "$stamp"
fi

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/arm-linux-gnueabi.cmake" \
  -DQUILLO_ARM_SYSROOT="$sysroot" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLO_BENCH=OFF \
  "${launcher[@]}" >/dev/null
jobs="$(nproc)"
cmake --build "$build" -j"$jobs"
# The tests run where the native ones do, so they find the same golden files.
(cd "$build" && ctest --output-on-failure -j"$jobs")
