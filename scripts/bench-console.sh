#!/bin/sh
# Figures of the console's static ARMv4T build (scripts/build-console.sh) under
# qemu-arm as an ARMv4T core, instructions counted by bench/qemu_insn_count.c:
# opening the generated 10 MB plain-text book (the renderer on the book less the
# renderer on a one-line text), a frame of a 1-pixel scroll at the middle of
# the book (101 steps less 1, over 100), the binaries' sizes, and the
# emulator's peak resident memory with the book beside the introduction.
#   scripts/bench-console.sh [X86_BUILD_DIR]   (default build/, for the book maker)
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
HOST=${1:-$ROOT/build}
BUILD=${QUILLO_CONSOLE_BUILD:-$ROOT/build-console}
RENDER=$BUILD/quillo-render
DIR=${QUILLO_DOCUMENT_BENCH_DIR:-${TMPDIR:-/tmp}}
BOOK=$DIR/quillo-book-10mb.txt
[ -f "$BOOK" ] || "$HOST/bench/document_bench" --make-book "$BOOK" 10485760
BYTES=$(stat -c %s "$BOOK")
LINE=$DIR/quillo-one-line.txt
echo "One line." > "$LINE"
PLUGIN=$BUILD/qemu_insn_count.so
cc -O2 -shared -fPIC -fvisibility=hidden "$ROOT/bench/qemu_insn_count.c" -o "$PLUGIN"

count() {  # prints the guest instructions of the console renderer with these arguments
  qemu-arm -cpu ti925t -plugin "$PLUGIN" "$RENDER" "$@" 2>&1 >/dev/null |
    sed -n 's/^instructions //p'
}
peak() {  # prints the emulator's peak resident set in KB
  /usr/bin/time -v qemu-arm -cpu ti925t "$RENDER" "$@" 2>&1 >/dev/null |
    sed -n 's/.*Maximum resident set size (kbytes): //p'
}

OPEN=$(count "$BOOK")
BASE=$(count "$LINE")
HEIGHT=$("$HOST/tools/render/quillo-render" "$BOOK" --info 2>/dev/null | sed -n 's/.*(\([0-9]*\) pixs).*/\1/p')
AT=$((HEIGHT / 2))
ONE=$(count "$BOOK" -p "$AT" --scroll 1)
MANY=$(count "$BOOK" -p "$AT" --scroll 101)
echo "book: $BYTES bytes"
echo "opening it (read, rejoin check, soft-break join, layout): $((OPEN - BASE)) instructions," \
  "$(echo "scale=2; ($OPEN - $BASE) / $BYTES" | bc) per byte"
echo "a 1-pixel scroll with title bar and flip: $(((MANY - ONE) / 100)) instructions per frame"
for exe in "$BUILD/quillo" "$BUILD/quillo-render"; do
  echo "$(basename "$exe"): $(stat -c %s "$exe") bytes; $(arm-linux-gnueabi-size "$exe" | tail -1 |
    awk '{ print "text " $1 ", data " $2 ", bss " $3 }')"
done
WITH=$(peak "$BOOK" -p "$AT" -o /dev/null)
INTRO=$(peak --intro -o /dev/null)
echo "qemu-arm peak: $WITH KB with the book, $INTRO KB with the introduction;" \
  "the book adds $((WITH - INTRO)) KB = $(echo "scale=2; ($WITH - $INTRO) * 1024 / $BYTES" | bc) x its size"
