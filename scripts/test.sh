#!/usr/bin/env bash
# Builds everything and runs every test: the unit tests, the end-to-end test of
# the real reader under Xvfb, a session of the real reader under valgrind's
# memcheck, the hostile files under a 64 MB limit (scripts/check-memory.sh),
# and the unit tests again under AddressSanitizer (leaks included)
# and UndefinedBehaviorSanitizer, then the unit tests built for the console's
# 32-bit ARM under qemu-arm (scripts/test-arm.sh), and last the console's own
# static ARMv4T build: its unit tests under an emulated ARMv4T core, and its
# frames there against the x86 build's (scripts/test-console.sh). Benchmarks are built, not run
# (see README).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/deps.sh" g++ cmake make pkg-config libsdl1.2-dev zlib1g-dev libexpat1-dev nettle-dev googletest \
  libgtest-dev libbenchmark-dev xvfb xdotool x11-apps imagemagick valgrind python3 time g++-arm-linux-gnueabi qemu-user \
  dpkg-dev xz-utils debian-archive-keyring
jobs="$(nproc)"
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build" -j"$jobs"
(cd "$root/build" && ctest --output-on-failure -j"$jobs")
# Every hostile file through the page renderer under the console's 64 MB.
"$root/scripts/check-memory.sh" "$root/build"
cmake -S "$root" -B "$root/build-asan" -DCMAKE_BUILD_TYPE=Debug -DQUILLO_SANITIZE=ON >/dev/null
cmake --build "$root/build-asan" -j"$jobs"
# Leaks are faults: LeakSanitizer runs at the end of every test program.
(cd "$root/build-asan" && ASAN_OPTIONS=detect_leaks=1 ctest --output-on-failure -j"$jobs")
# The console's processor: the unit tests cross-built for ARM, under emulation.
"$root/scripts/test-arm.sh"
# The console's own processor: the static ARMv4T build against the x86 frames.
"$root/scripts/test-console.sh" "$root/build"
