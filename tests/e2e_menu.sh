#!/usr/bin/env bash
# End-to-end test of the menu: the real reader under Xvfb in a fresh working
# folder. Tab opens the menu (the bar and the File list are compared with the
# expected picture), Zoom + and a paper colour are chosen, and "Exit|Salir"
# ends the reader with status 0 and quillo.cfg holding the zoom and colour.
# Usage: e2e_menu.sh path/to/quillo
set -uo pipefail
quillo="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
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

# Displays of this test's own (120-139), apart from those of the other
# end-to-end tests.
start_xvfb() {
  local n
  for n in $(seq 120 139); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
    Xvfb ":$n" -screen 0 320x240x16 -nolisten tcp >"$work/xvfb.log" 2>&1 &
    xpid=$!
    export DISPLAY=":$n"
    local _
    for _ in $(seq 100); do
      xwd -root -silent >/dev/null 2>&1 && return 0
      kill -0 "$xpid" 2>/dev/null || break
      sleep 0.1
    done
    kill "$xpid" 2>/dev/null
    wait "$xpid" 2>/dev/null
    xpid=""
  done
  return 1
}
start_xvfb || fail "Xvfb did not start"

cd "$work"
mkdir books
printf 'A short book for the menu test.\nIt has two lines.\n' >books/book.txt
for attempt in 1 2 3; do
  "$quillo" >"$work/out.log" 2>&1 &
  qpid=$!
  for _ in $(seq 200); do
    grep -q -- "-while loop" "$work/out.log" && break
    kill -0 "$qpid" 2>/dev/null || break
    sleep 0.1
  done
  grep -q -- "-while loop" "$work/out.log" && break
  wait "$qpid" 2>/dev/null
  qpid=""
  grep -q "Couldn't open X11 display" "$work/out.log" || fail "the reader ended before its main loop"
  sleep 1
done
grep -q -- "-while loop" "$work/out.log" || fail "no '-while loop' trace"
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
shoot() { xwd -root -silent >"$work/$1.xwd" || fail "xwd failed"; }
crop_sum() { convert "$work/$1.xwd" -crop "$2" -depth 8 rgb:- 2>/dev/null | md5sum | cut -d' ' -f1; }

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

# Font, Zoom +; Options, Background, up to the last colour (Light Yellow),
# chosen; out of the colour list and out of the menu.
press Right Right Return Right Return Up Return Escape Escape
sleep 0.8
kill -0 "$qpid" 2>/dev/null || fail "the reader ended in the menu"
shoot paper
# RGB565 0xFFD8 on the 16-bit screen: red 31, green 62, blue 24.
p="$(convert "$work/paper.xwd" -format '%[fx:int(255*p{316,230}.r)],%[fx:int(255*p{316,230}.g)],%[fx:int(255*p{316,230}.b)]' info: 2>/dev/null)"
IFS=, read -r r g b <<<"$p"
if [ "${r:-0}" -lt 250 ] || [ "${g:-0}" -lt 244 ] || [ "${g:-0}" -gt 253 ] || [ "${b:-0}" -lt 190 ] ||
   [ "${b:-0}" -gt 202 ]; then
  convert "$work/paper.xwd" "$work/paper.png"
  fail "paper pixel (316, 230) is $p, expected light yellow (see $work/paper.png)"
fi

# The menu opens again on Options; right twice wraps to File; down to Exit.
press Tab Right Right Down Down Down Return
for _ in $(seq 50); do kill -0 "$qpid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$qpid" 2>/dev/null && fail "the reader is still running after Exit"
wait "$qpid"
rc=$?
qpid=""
[ "$rc" -eq 0 ] || fail "exit status $rc after Exit"
grep -q "^GpAppExit" "$work/out.log" || fail "Exit did not go through GpAppExit"
size="$(stat -c %s "$work/quillo.cfg" 2>/dev/null || echo 0)"
[ "$size" -eq 606 ] || fail "quillo.cfg is $size bytes, expected 606"
paper="$(od -An -tx1 -j0 -N2 "$work/quillo.cfg" | tr -d ' ')"
zoom="$(od -An -tx1 -j8 -N2 "$work/quillo.cfg" | tr -d ' ')"
[ "$paper" = "d8ff" ] || fail "quillo.cfg paper colour bytes $paper, expected d8ff"
[ "$zoom" = "0100" ] || fail "quillo.cfg zoom level bytes $zoom, expected 0100"
cleanup
rm -rf "$work"
echo "e2e_menu: passed"
