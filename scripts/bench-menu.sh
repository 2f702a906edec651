#!/bin/sh
# Instructions per frame of the menu under callgrind: opening it (bar and File
# list drawn over the page and shown, first key read) and moving the selection
# one row (the list redrawn and shown). Moves are counted as the difference
# between an opening with 100 moves and one without. Target: at most 1 million
# each, as for a scrolling frame.
#   scripts/bench-menu.sh [BUILD_DIR]   (default build/, the tests' build;
#   needs valgrind; the benchmark is configured and built there when missing)
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-$ROOT/build}
BENCH=$BUILD/bench/menu_bench
if [ ! -x "$BENCH" ]; then
  cmake -S "$ROOT" -B "$BUILD" -DQUILLO_BENCH=ON >/dev/null
  cmake --build "$BUILD" --target menu_bench -j2 >/dev/null
fi

count() {  # prints the instructions callgrind collected inside RunMenu
  valgrind --tool=callgrind --callgrind-out-file=/dev/null --toggle-collect='RunMenu(*' "$@" 2>&1 >/dev/null |
    sed -n 's/.*Collected : \([0-9]*\).*/\1/p' | tail -1
}

OPEN=$(count "$BENCH" --once-open 10)
MOVE0=$(count "$BENCH" --once-move 0)
MOVE=$(count "$BENCH" --once-move 100)
if [ -z "$OPEN" ] || [ -z "$MOVE0" ] || [ -z "$MOVE" ]; then
  echo "bench-menu.sh: callgrind gave no count (is valgrind installed?)" >&2
  exit 1
fi
echo "opening the menu: $(($OPEN / 10)) instructions per frame"
echo "moving one row: $((($MOVE - $MOVE0) / 100)) instructions per frame"
