#!/bin/sh
# Instructions per frame of the menu under callgrind: opening it (bar and File
# list drawn over the page and shown, first key read) and moving the selection
# one row (the list redrawn and shown). Moves are counted as the difference
# between an opening with 100 moves and one without. Target: at most 1 million
# each, as for a scrolling frame.
#   scripts/bench-menu.sh [BUILD_DIR]   (default /work/build)
set -eu
BUILD=${1:-/work/build}
BENCH=$BUILD/bench/menu_bench

count() {  # prints the instructions callgrind collected inside RunMenu
  valgrind --tool=callgrind --callgrind-out-file=/dev/null --toggle-collect='RunMenu(*' "$@" 2>&1 >/dev/null |
    sed -n 's/.*Collected : \([0-9]*\).*/\1/p' | tail -1
}

OPEN=$(count "$BENCH" --once-open 10)
MOVE0=$(count "$BENCH" --once-move 0)
MOVE=$(count "$BENCH" --once-move 100)
echo "opening the menu: $(($OPEN / 10)) instructions per frame"
echo "moving one row: $((($MOVE - $MOVE0) / 100)) instructions per frame"
