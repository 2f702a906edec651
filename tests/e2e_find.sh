#!/usr/bin/env bash
# End-to-end Find: the real reader under Xvfb in a fresh folder with a book
# and a quillo.mrf naming it. The start-up chooser opens the book at its top;
# Tab opens the menu, Right and Down reach "Find|Buscar", Return opens
# the dialog, a word is typed on the keyboard with xdotool and Return on "Ok"
# searches. Escape closes the dialog that opens again for the next hit. The
# screen must then be the page renderer's frame with the line holding the word
# at the top of the view (its top - 5); SIGTERM ends the reader, quillo.cfg
# must hold the word as its find text (offset 270) and quillo.mrf the book at
# that place.
# Usage: e2e_find.sh path/to/quillo path/to/quillo-render
set -uo pipefail
. "$(dirname "$0")/e2e_common.sh"
quillo="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
render="$(cd "$(dirname "$2")" && pwd)/$(basename "$2")"
word="pictures"
work="$(mktemp -d /tmp/quillo-e2e-find-XXXXXX)"
run="$work/run"
fail() {
  echo "e2e_find: FAIL: $* (DISPLAY=${DISPLAY:-none}, files in $work)"
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
start_xvfb $(seq 240 259) || fail "Xvfb did not start"

# The book: 200 short lines, the word on line 90 alone.
mkdir -p "$run"
book="$run/book.txt"
for i in $(seq 1 200); do
  if [ "$i" -eq 90 ]; then
    printf 'Line %d holds the word %s in the middle.\n' "$i" "$word"
  else
    printf 'Line %d of the book for the Find test.\n' "$i"
  fi
done >"$book"

# quillo.mrf: a count of 1, then one 336-byte record naming the book (entry
# index -1, position 0), written byte by byte.
zeros() { head -c "$1" /dev/zero; }
{
  printf '\001\000\000\000'
  printf '%s' "$book"; zeros $((256 - ${#book}))
  zeros 44
  printf '\377\377\377\377'
  zeros 4
  zeros 28
} >"$run/quillo.mrf"
[ "$(stat -c %s "$run/quillo.mrf")" -eq 340 ] || fail "quillo.mrf not written"

# Where the view must go: the top of the line holding the word, less the 5
# pixels above the first line (the line table's y is the line's top).
"$render" "$book" --lines >"$work/lines.txt" 2>/dev/null || fail "quillo-render --lines failed"
line_y="$(grep -m1 -- "$word" "$work/lines.txt" | sed -n 's/.* y \(-\?[0-9]\+\) .*/\1/p')"
[ -n "$line_y" ] || fail "the word is in no line of the layout (see $work/lines.txt)"
expected=$((line_y - 5))
"$render" "$book" -o "$work/top.bmp" 2>/dev/null || fail "quillo-render failed"
"$render" "$book" -p "$expected" -o "$work/found.bmp" 2>/dev/null || fail "quillo-render failed"

cd "$run"
for attempt in 1 2 3 4 5; do
  : >"$work/out.log"
  "$quillo" >"$work/out.log" 2>&1 &
  qpid=$!
  for _ in $(seq 300); do
    grep -q -x -- "-mrf load" "$work/out.log" && break
    kill -0 "$qpid" 2>/dev/null || break
    sleep 0.1
  done
  grep -q -x -- "-mrf load" "$work/out.log" && break
  wait "$qpid" 2>/dev/null
  qpid=""
  grep -q "Couldn't open X11 display" "$work/out.log" || fail "the reader ended before its chooser"
  sleep 1
done
grep -q -x -- "-mrf load" "$work/out.log" || fail "no '-mrf load' trace"

# Keys are held briefly and spaced out: the reader polls the key state.
press() {
  local k
  for k in "$@"; do
    xdotool keydown "$k"; sleep 0.1; xdotool keyup "$k"; sleep 0.4
  done
}
step() { press "$1"; }
# Waits up to 10 s for pixel (x, y) to be within 16 of r g b (shot $1).
pixel_near() {
  local got r g b d
  got="$(convert "$work/$1.xwd" -format "%[fx:int(255*p{$2,$3}.r)] %[fx:int(255*p{$2,$3}.g)] %[fx:int(255*p{$2,$3}.b)]" info: 2>/dev/null)"
  read -r r g b <<<"$got"
  for d in $((${r:-999} - $4)) $((${g:-999} - $5)) $((${b:-999} - $6)); do
    [ "${d#-}" -le 16 ] || return 1
  done
}
wait_pixel() {
  local _
  for _ in $(seq 50); do
    shoot "$1"
    pixel_near "$@" && return 0
    kill -0 "$qpid" 2>/dev/null || fail "the reader ended (waiting for $1)"
    sleep 0.2
  done
  convert "$work/$1.xwd" "$work/$1.png"
  fail "pixel ($2, $3) is not $4 $5 $6 (see $1.png)"
}


# The chooser, its first row (the book) under the yellow selection bar;
# ACCEPT opens the book at its top.
wait_pixel chooser 280 90 255 251 0
press Return
wait_screen opened "$work/top.bmp"

# Menu, Browse, Find: the dialog's window (x 90 to 229 from y 130) in the
# interface blue over the page.
press Tab
bar_entry 72
menu_row 150 2
press Return
wait_pixel dialog 92 150 0 82 132
xdotool type --delay 80 "$word"
sleep 0.5
press Return
# After a hit the dialog opens again for the next one: Escape closes it and
# the menu, and the page stands at the line found.
sleep 1
wait_pixel again 92 150 0 82 132
press Escape
wait_screen found "$work/found.bmp"

kill -TERM "$qpid"
for _ in $(seq 100); do kill -0 "$qpid" 2>/dev/null || break; sleep 0.1; done
wait "$qpid"
rc=$?
qpid=""
[ "$rc" -eq 0 ] || fail "exit status $rc after SIGTERM"
stored="$(dd if="$run/quillo.cfg" bs=1 skip=270 count=64 2>/dev/null | tr -d '\0')"
[ "$stored" = "$word" ] || fail "quillo.cfg holds the find text '$stored', expected '$word'"
position="$(od -An -t d4 --endian=little -j 308 -N 4 "$run/quillo.mrf" | tr -d ' ')"
[ "$position" = "$expected" ] || fail "quillo.mrf position $position, expected $expected"
cleanup
rm -rf "$work"
echo "e2e_find: passed"
