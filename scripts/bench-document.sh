#!/bin/sh
# Figures of the document engine on a generated 10 MB plain-text book:
# instructions per byte for LoadFromFile (read, soft-break join, layout), and
# per ScrollText frame of 1 pixel and of a page (title bar and flip), under callgrind, with fold(1)
# wrapping the same book in the same run as the peer; peak memory of the page
# renderer with /usr/bin/time -v, beside the renderer showing the introduction.
#   scripts/bench-document.sh [BUILD_DIR]   (default build/, the tests' build)
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-$ROOT/build}
BENCH=$BUILD/bench/document_bench
RENDER=$BUILD/tools/render/quillo-render
DIR=${QUILLO_DOCUMENT_BENCH_DIR:-${TMPDIR:-/tmp}}
BOOK=$DIR/quillo-book-10mb.txt
[ -f "$BOOK" ] || "$BENCH" --make-book "$BOOK" 10485760
BYTES=$(stat -c %s "$BOOK")
# The same book hard-wrapped (no space before the line ends), which the
# loader detects and rejoins into paragraphs.
HARD=$DIR/quillo-book-10mb-hard.txt
[ -f "$HARD" ] || sed 's/ \r$/\r/' "$BOOK" > "$HARD"
HARD_BYTES=$(stat -c %s "$HARD")

count() {  # prints the instructions callgrind collected
  valgrind --tool=callgrind --callgrind-out-file=/dev/null "$@" 2>&1 >/dev/null |
    sed -n 's/.*Collected : \([0-9]*\).*/\1/p' | tail -1
}

LOAD=$(count --toggle-collect='LoadFromFile(*' "$BENCH" --once-load "$BOOK")
HARD_LOAD=$(count --toggle-collect='LoadFromFile(*' "$BENCH" --once-load "$HARD")
FOLD=$(count fold -s -w 62 "$BOOK")
FRAMES=$(count --toggle-collect='ScrollText(*' "$BENCH" --once-frame "$BOOK")
PAGES=$(count --toggle-collect='ScrollText(*' "$BENCH" --once-page "$BOOK")
echo "book: $BYTES bytes"
echo "LoadFromFile + JoinSoftBreaks + LayoutLines: $LOAD instructions," \
  "$(echo "scale=2; $LOAD / $BYTES" | bc) per byte"
echo "the book hard-wrapped ($HARD_BYTES bytes), detected and rejoined: $HARD_LOAD instructions," \
  "$(echo "scale=2; $HARD_LOAD / $HARD_BYTES" | bc) per byte"
echo "fold -s -w 62 on the same book: $FOLD instructions," \
  "$(echo "scale=2; $FOLD / $BYTES" | bc) per byte (ratio $(echo "scale=2; $LOAD / $FOLD" | bc))"
echo "ScrollText of 1 pixel with title bar and flip: $(($FRAMES / 10)) instructions per frame"
echo "ScrollText of a page (210 pixels) with title bar and flip: $(($PAGES / 10)) instructions per frame"
PEAK=$(/usr/bin/time -v "$RENDER" "$BOOK" -p 100000 -o /dev/null 2>&1 |
  sed -n 's/.*Maximum resident set size (kbytes): //p')
BASE=$(/usr/bin/time -v "$RENDER" --intro -o /dev/null 2>&1 |
  sed -n 's/.*Maximum resident set size (kbytes): //p')
echo "quillo-render peak: $PEAK KB with the book, $BASE KB with the introduction;" \
  "the book adds $(($PEAK - $BASE)) KB =" \
  "$(echo "scale=2; ($PEAK - $BASE) * 1024 / $BYTES" | bc) x its size"
