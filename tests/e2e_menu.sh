#!/usr/bin/env bash
# End-to-end test of the menu: the real reader under Xvfb in a fresh working
# folder holding books/ with one book. Tab opens the menu (the bar and the
# File list are compared with the expected picture), "Open..|Abrir.." and the
# file dialog open the book (its page compared with the page renderer's), DOWN
# scrolls, Zoom + and a paper colour are chosen, and "Exit|Salir" ends the
# reader with status 0, quillo.cfg holding the zoom and colour and quillo.mrf
# the book at its place. A second start offers the book in the chooser and
# reopens it there, zoomed and on the new paper (the renderer's page again).
# Usage: e2e_menu.sh path/to/quillo path/to/quillo-render
set -uo pipefail
. "$(dirname "$0")/e2e_common.sh"
quillo="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
render="$(cd "$(dirname "$2")" && pwd)/$(basename "$2")"
work="$(mktemp -d /tmp/quillo-e2e-menu-XXXXXX)"
fail() {
  echo "e2e_menu: FAIL: $* (DISPLAY=${DISPLAY:-none}; files in $work)"
  [ -f "$work/out.log" ] && sed 's/^/  out: /' "$work/out.log"
  [ -f "$work/xvfb.log" ] && sed 's/^/  xvfb: /' "$work/xvfb.log"
  cleanup
  exit 1
}
cleanup() {
  [ -n "${qpid:-}" ] && kill "$qpid" 2>/dev/null
  [ -n "${xpid:-}" ] && kill "$xpid" 2>/dev/null
  wait 2>/dev/null
}

# Xvfb on displays of its own, apart from the other end-to-end tests.
start_xvfb $(seq 120 139) || fail "Xvfb did not start"

# The reader runs in a folder of its own holding books/ with one book; the
# logs and shots stay beside it so that the file dialog lists only the books.
run="$work/run"
mkdir -p "$run/books"
book="$run/books/book.txt"
for i in $(seq 1 300); do printf 'Line %d of a book for the menu test, long enough to scroll.\n' "$i"; done >"$book"

# Starts the reader in $run with its output in log $1 and waits for the trace
# $2 (its main loop unless given); started again if the display refused it (a server busy starting).
start() {
  local log="$1" trace="${2:--while loop}" attempt _
  cd "$run"
  for attempt in 1 2 3 4 5; do
    : >"$log"
    "$quillo" >"$log" 2>&1 &
    qpid=$!
    for _ in $(seq 300); do
      grep -q -x -- "$trace" "$log" && return 0
      kill -0 "$qpid" 2>/dev/null || break
      sleep 0.1
    done
    wait "$qpid" 2>/dev/null
    qpid=""
    grep -q "Couldn't open X11 display" "$log" || fail "the reader ended before '$trace'"
    sleep 1
  done
  fail "no '$trace' trace"
}
# A trace line (a pattern) in log $1, waited for up to 10 s.
wait_trace() {
  local _
  for _ in $(seq 100); do grep -q -- "$2" "$1" && return 0; sleep 0.1; done
  fail "no trace '$2'"
}
start "$work/out.log"
sleep 0.5

# The reader reads the keys' state on each poll: a key is held long enough to
# be seen, and released before the menu's 200 ms repeat pause ends.
press() {
  local k
  for k in "$@"; do
    xdotool keydown "$k" 2>/dev/null
    sleep 0.1
    xdotool keyup "$k" 2>/dev/null
    sleep 0.4
  done
}
step() { press "$1"; }
crop_sum() { convert "$work/$1.xwd" -crop "$2" -depth 8 rgb:- 2>/dev/null | md5sum | cut -d' ' -f1; }
# Waits up to 15 s for the screen to stay the same over four shots 0.3 s
# apart, longer than the pause after the menu closes (kept as shot $1).
wait_still() {
  local _ same=0
  shoot "$1"
  for _ in $(seq 50); do
    sleep 0.3
    cp "$work/$1.xwd" "$work/$1-previous.xwd"
    shoot "$1"
    if same_image "$work/$1-previous.xwd" "$work/$1.xwd"; then
      same=$((same + 1))
      [ "$same" -ge 3 ] && return 0
    else
      same=0
    fi
  done
  fail "the screen did not settle ($1)"
}
# Waits up to 10 s for the screen to differ from shot $1, then for it to
# settle (kept as shot $2).
wait_new() {
  local _
  for _ in $(seq 50); do
    shoot "$2"
    same_image "$work/$1.xwd" "$work/$2.xwd" || { wait_still "$2"; return 0; }
    kill -0 "$qpid" 2>/dev/null || fail "the reader ended (waiting for $2)"
    sleep 0.2
  done
  fail "the screen stayed as $1"
}
# Pixel (x, y) of a shot as "r g b", 0..255.
pixel() {
  convert "$work/$1.xwd" -format "%[fx:int(255*p{$2,$3}.r)] %[fx:int(255*p{$2,$3}.g)] %[fx:int(255*p{$2,$3}.b)]" info: 2>/dev/null
}
# 0 when pixel (x, y) of a shot is within 16 of r g b.
pixel_near() {
  local got r g b d
  got="$(pixel "$1" "$2" "$3")"
  read -r r g b <<<"$got"
  for d in $((${r:-999} - $4)) $((${g:-999} - $5)) $((${b:-999} - $6)); do
    [ "${d#-}" -le 16 ] || return 1
  done
}


# The zoom level that quillo.cfg holds (each change is written at once).
saved_zoom() { od -An -t d2 --endian=little -j8 -N2 "$run/quillo.cfg" 2>/dev/null | tr -d ' '; }
# With the Font list open, Zoom + (row 0) or Zoom - (row 1) until quillo.cfg
# holds level $1: a Return held under load is repeated by the menu.
zoom_to() {
  local want="$1" z _
  for _ in $(seq 10); do
    z="$(saved_zoom)"
    [ "${z:-0}" -eq "$want" ] && return 0
    if [ "${z:-0}" -lt "$want" ]; then menu_row 205 0; else menu_row 205 1; fi
    press Return
    for _ in $(seq 50); do [ "$(saved_zoom)" != "$z" ] && break; sleep 0.1; done
    sleep 0.5
  done
  fail "quillo.cfg does not reach zoom level $want (it holds $(saved_zoom))"
}
# Tab opens the menu on "File|Fichero" with its first row selected. The bar
# (x 10 to 264, rows 20 to 37) and the File list (x 20 to 99, rows 38 to 101)
# are opaque, so they look the same over any page.
press Tab
shoot menu
bar="$(crop_sum menu 255x18+10+20)"
list="$(crop_sum menu 80x64+20+38)"
expected_bar=5c691e2f1d8aa15803a4eb348f0f8aca
expected_list=a3384114484b1c11167de47f686326f7
if [ "$bar" != "$expected_bar" ] || [ "$list" != "$expected_list" ]; then
  convert "$work/menu.xwd" "$work/menu.png"
  fail "menu bar $bar / File list $list, expected $expected_bar / $expected_list (see $work/menu.png)"
fi

# "Open..|Abrir..": the file dialog in the working folder; into books/ and
# the book opened, at its top, as the page renderer draws it.
"$render" "$book" -o "$work/top.bmp" 2>/dev/null || fail "quillo-render failed"
press Return
wait_trace "$work/out.log" "^Filedialog $run/: "
find_row "$run" "<books>"
select_row "$row"
shoot folder
press Return
wait_new folder books
find_row "$run/books" "book.txt"
select_row "$row"
press Return
wait_screen opened "$work/top.bmp"

# Down held: the page scrolls away from the top.
xdotool keydown Down; sleep 1; xdotool keyup Down
wait_still scrolled
same_image "$work/opened.xwd" "$work/scrolled.xwd" && fail "DOWN did not scroll"

# Tab opens the menu on File again; Font, Zoom +; Options, Background, up to
# the last colour (Light Yellow), chosen; out of the colour list and the menu.
press Tab
bar_entry 132
zoom_to 1
bar_entry 177
# The colour list at x 110, y 50; Up wraps from the first row to the last.
press Return Up
menu_row 185 8 50
press Return Escape Escape
# RGB565 0xFFD8 on the 16-bit screen: red 31, green 62, blue 24.
for _ in $(seq 50); do
  shoot paper
  pixel_near paper 316 230 255 251 197 && break
  kill -0 "$qpid" 2>/dev/null || fail "the reader ended in the menu"
  sleep 0.2
done
pixel_near paper 316 230 255 251 197 || {
  convert "$work/paper.xwd" "$work/paper.png"
  fail "paper pixel (316, 230) is $(pixel paper 316 230), expected light yellow (see $work/paper.png)"
}
# The colour shows while its list is still open: wait for the menu to close
# and the page to be drawn again (the same screen for a second).
wait_still paper

# The menu opens again on Options; right to File (it wraps), down to Exit.
press Tab
bar_entry 22
menu_row 95 3
press Return
for _ in $(seq 100); do kill -0 "$qpid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$qpid" 2>/dev/null && fail "the reader is still running after Exit"
wait "$qpid"
rc=$?
qpid=""
[ "$rc" -eq 0 ] || fail "exit status $rc after Exit"
grep -q "^GpAppExit" "$work/out.log" || fail "Exit did not go through GpAppExit"
size="$(stat -c %s "$run/quillo.cfg" 2>/dev/null || echo 0)"
[ "$size" -eq 606 ] || fail "quillo.cfg is $size bytes, expected 606"
paper="$(od -An -tx1 -j0 -N2 "$run/quillo.cfg" | tr -d ' ')"
zoom="$(od -An -tx1 -j8 -N2 "$run/quillo.cfg" | tr -d ' ')"
[ "$paper" = "d8ff" ] || fail "quillo.cfg paper colour bytes $paper, expected d8ff"
[ "$zoom" = "0100" ] || fail "quillo.cfg zoom level bytes $zoom, expected 0100"

# quillo.mrf, field by field: a count of 1, then one 336-byte record (path
# 256, entry name 44, entry index, position, all little-endian) naming the
# book, no archive entry, and the place it was left.
mrf="$run/quillo.mrf"
size="$(stat -c %s "$mrf" 2>/dev/null || echo 0)"
[ "$size" -eq $((4 + 336)) ] || fail "quillo.mrf is $size bytes, expected one record"
count="$(od -An -t d4 --endian=little -j 0 -N 4 "$mrf" | tr -d ' ')"
[ "$count" = "1" ] || fail "quillo.mrf count $count"
path="$(dd if="$mrf" bs=1 skip=4 count=256 2>/dev/null | tr -d '\0')"
[ "$path" = "$book" ] || fail "quillo.mrf names '$path', expected '$book'"
entry="$(dd if="$mrf" bs=1 skip=260 count=44 2>/dev/null | tr -d '\0')"
[ -z "$entry" ] || fail "quillo.mrf entry name '$entry', expected none"
index="$(od -An -t d4 --endian=little -j 304 -N 4 "$mrf" | tr -d ' ')"
[ "$index" = "-1" ] || fail "quillo.mrf entry index $index, expected -1"
position="$(od -An -t d4 --endian=little -j 308 -N 4 "$mrf" | tr -d ' ')"
[ "$position" -gt 0 ] || fail "quillo.mrf position $position, expected past the top"

# A second start offers the book in the chooser: the chooser (x 25, y 62,
# 270 x 115) in the interface blue, its first row under the yellow selection
# bar, the new paper around it. ACCEPT reopens the book at that place, with
# the zoom and the paper of the first run.
start "$work/out2.log" "-mrf load"
for _ in $(seq 50); do
  shoot chooser
  pixel_near chooser 30 150 0 82 132 && pixel_near chooser 280 90 255 251 0 &&
    pixel_near chooser 316 230 255 251 197 && break
  sleep 0.2
done
pixel_near chooser 30 150 0 82 132 && pixel_near chooser 280 90 255 251 0 &&
  pixel_near chooser 316 230 255 251 197 || {
  convert "$work/chooser.xwd" "$work/chooser.png"
  fail "no chooser with the book on the second start (see $work/chooser.png)"
}
press Return
wait_trace "$work/out2.log" "^-while loop$"
"$render" "$book" -z 1 -p "$position" --paper 0xFFD8 -o "$work/left.bmp" 2>/dev/null ||
  fail "quillo-render failed"
wait_screen reopened "$work/left.bmp"
kill -TERM "$qpid"
for _ in $(seq 100); do kill -0 "$qpid" 2>/dev/null || break; sleep 0.1; done
wait "$qpid"
rc=$?
qpid=""
[ "$rc" -eq 0 ] || fail "exit status $rc after SIGTERM on the second start"
cleanup
rm -rf "$work"
echo "e2e_menu: passed"
