#!/bin/sh
# FindText over a generated 10 MB book that does not hold the text: the
# instructions callgrind counts inside FindText, per byte of the book.
#   scripts/bench-search.sh [BUILD_DIR]   (default build; needs valgrind, bc)
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-$ROOT/build}
BENCH=$BUILD/bench/search_bench
cmake --build "$BUILD" --target search_bench -j2 >/dev/null
OUT=$(valgrind --tool=callgrind --callgrind-out-file=/dev/null --toggle-collect='FindText*' \
  "$BENCH" --once 2>&1)
BYTES=$(echo "$OUT" | sed -n 's/^bytes \([0-9]*\) .*/\1/p')
COUNT=$(echo "$OUT" | sed -n 's/.*Collected : \([0-9]*\).*/\1/p' | tail -1)
echo "$OUT" | grep '^bytes'
echo "FindText, text absent: $COUNT instructions, $(echo "scale=2; $COUNT / $BYTES" | bc) per byte"
