#!/usr/bin/env bash
# The console's own build under emulation: scripts/build-console.sh builds the
# static ARMv4T reader and page renderer (and fails on any instruction beyond
# ARMv4T in either) and the unit tests on the same musl, libstdc++ and
# libraries. The unit tests run under qemu-arm as an ARMv4T core (-cpu ti925t),
# then the renderer draws the introduction and a few books there, and every
# frame, text and exit status must equal the x86 build's byte for byte.
#   scripts/test-console.sh [X86_BUILD_DIR]   (default build/, the tests' build)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
host="${1:-$root/build}/tools/render/quillo-render"
build="${QUILLO_CONSOLE_BUILD:-$root/build-console}"
[ -x "$host" ] || { echo "no x86 page renderer at $host: build it first"; exit 1; }
"$root/scripts/build-console.sh" --tests
(cd "$build" && ctest --output-on-failure -j"$(nproc)")
console="$build/quillo-render"
out="$build/frames"
rm -rf "$out"; mkdir -p "$out"

# name, then the renderer's arguments (paths from the clone's top).
cases=(
  "intro|--intro --info"
  "plain-text|tests/data/rejoin/book-wrapped-lf.txt -p 3000 --info"
  "rtf|tests/data/corpus/rtf/french.rtf -z 1 --info"
  "zip-entry|tests/data/files/books/library.zip#0 -z 2 -p 400 --scroll 7 --info"
  "epub|tests/data/epub/pandoc3.epub -p 600 --info"
  "pdf|tests/data/pdf/real/libreoffice.pdf -z 1 --info"
  "pdf-aes-256|tests/data/pdf/real/encrypted/aes-256.pdf --info"
  "pdf-rc4|tests/data/pdf/real/encrypted/rc4-128.pdf --info"
)
failed=0
cd "$root"
for c in "${cases[@]}"; do
  name="${c%%|*}"
  read -r -a args <<< "${c#*|}"
  set +e
  "$host" "${args[@]}" -o "$out/$name.x86.bmp" > "$out/$name.x86.txt" 2>/dev/null
  hs=$?
  qemu-arm -cpu ti925t "$console" "${args[@]}" -o "$out/$name.arm.bmp" > "$out/$name.arm.txt" 2>/dev/null
  as=$?
  set -e
  if [ "$hs" != "$as" ] || ! cmp -s "$out/$name.x86.bmp" "$out/$name.arm.bmp" \
     || ! cmp -s "$out/$name.x86.txt" "$out/$name.arm.txt"; then
    echo "FAIL $name: ARMv4T build differs from x86 (status $as against $hs; see $out/$name.*)"
    failed=1
  else
    echo "ok   $name"
  fi
done

# The reader itself starts on the emulated core: with SDL's dummy driver and no
# key pressed it shows the introduction and waits in its loop; SIGTERM then
# saves the settings, as a console switched off would.
run="$build/run"
rm -rf "$run"; mkdir -p "$run"
set +e
(cd "$run" && SDL_VIDEODRIVER=dummy timeout 5 qemu-arm -cpu ti925t "$build/quillo" > trace.txt 2>&1)
status=$?
set -e
if [ "$status" = 124 ] && grep -q -- "-while loop" "$run/trace.txt" && [ "$(stat -c %s "$run/quillo.cfg" 2>/dev/null)" = 606 ]; then
  echo "ok   the reader starts, waits for keys and saves its settings on SIGTERM"
else
  echo "FAIL the reader under qemu-arm -cpu ti925t (status $status; see $run/trace.txt)"
  failed=1
fi
exit "$failed"
