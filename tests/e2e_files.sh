#!/usr/bin/env bash
# End-to-end test of opening books: the real reader under Xvfb in a fresh
# folder holding books/ (a plain text, an RTF and a ZIP archive with a folder
# inside) and a quillo.mrf naming the plain text. The start-up chooser is
# checked on the screen, "Open another file..." opens the dialog, keys walk
# into books/, into the archive and its folder and open an entry, DOWN
# scrolls, SIGTERM ends it. A second start must list that entry first and
# reopen it where it was left (the same screen as the first run's last).
# Usage: e2e_files.sh path/to/quillo
set -uo pipefail
. "$(dirname "$0")/e2e_common.sh"
quillo="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
here="$(cd "$(dirname "$0")" && pwd)"
work="$(mktemp -d /tmp/quillo-e2e-files-XXXXXX)"
run="$work/run"
fail() {
  echo "e2e_files: FAIL: $* (DISPLAY=${DISPLAY:-none}, files in $work)"
  for log in "$work"/out*.log "$work/xvfb.log"; do
    [ -f "$log" ] && sed "s|^|  $(basename "$log"): |" "$log"
  done
  cleanup
  exit 1
}
cleanup() {
  [ -n "${qpid:-}" ] && kill "$qpid" 2>/dev/null
  [ -n "${xpid:-}" ] && kill "$xpid" 2>/dev/null
  wait 2>/dev/null
}

# Xvfb on displays of its own, apart from the other end-to-end tests.
start_xvfb $(shuf -i 140-199) || fail "Xvfb did not start"

mkdir -p "$run/books"
cp "$here/data/files/books/"* "$run/books/"

# quillo.mrf: a count of 1, then one 336-byte record naming books/novel.txt
# (entry index -1, position 0), written byte by byte.
zeros() { head -c "$1" /dev/zero; }
novel="$run/books/novel.txt"
{
  printf '\001\000\000\000'
  printf '%s' "$novel"; zeros $((256 - ${#novel}))
  zeros 44
  printf '\377\377\377\377'
  zeros 4
  zeros 28
} >"$run/quillo.mrf"
[ "$(stat -c %s "$run/quillo.mrf")" -eq 340 ] || fail "quillo.mrf not written"

# Starts the reader in $run and waits for the trace $2 in log $1.
start() {
  local log="$1" trace="$2" attempt _
  cd "$run"
  for attempt in 1 2 3 4 5; do
    "$quillo" >"$log" 2>&1 &
    qpid=$!
    for _ in $(seq 200); do
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
stop() {
  kill -TERM "$qpid"
  for _ in $(seq 50); do kill -0 "$qpid" 2>/dev/null || break; sleep 0.1; done
  wait "$qpid"
  local rc=$?
  qpid=""
  [ "$rc" -eq 0 ] || fail "exit status $rc after SIGTERM"
}
# One press: held long enough for a poll to see it, released before the
# list's 150 ms pause ends.
press() {
  local key="$1" count="${2:-1}" i
  for ((i = 0; i < count; i++)); do
    xdotool keydown "$key" && sleep 0.08 && xdotool keyup "$key"
    sleep 0.3
  done
}
# Pixel (x, y) of a shot as "r g b", 0..255.
pixel() {
  convert "$work/$1.xwd" -format "%[fx:int(255*p{$2,$3}.r)] %[fx:int(255*p{$2,$3}.g)] %[fx:int(255*p{$2,$3}.b)]" info: 2>/dev/null
}
# Fails unless pixel (x, y) of a shot is within 16 of r g b.
expect_pixel() {
  local shot="$1" x="$2" y="$3" want="$4 $5 $6" got
  got="$(pixel "$shot" "$x" "$y")"
  read -r r g b <<<"$got"
  read -r wr wg wb <<<"$want"
  local d
  for d in $((r - wr)) $((g - wg)) $((b - wb)); do
    [ "${d#-}" -le 16 ] || { convert "$work/$shot.xwd" "$work/$shot.png"; fail "pixel ($x, $y) of $shot is $got, expected $want (see $work/$shot.png)"; }
  done
}
# The chooser (x 25, y 62, 270 x 115, list from y 85) in the interface blue
# 0x0290, its first row under the yellow selection bar, the page white around.
expect_chooser() {
  shoot "$1"
  expect_pixel "$1" 30 150 0 82 132
  expect_pixel "$1" 280 90 255 251 0
  expect_pixel "$1" 10 220 255 255 255
}

# First run: the chooser lists novel.txt and "Open another file...".
start "$work/out1.log" "-mrf load"
sleep 1
expect_chooser chooser1
press Down
press Return
# The dialog in the working folder; into books/ and the archive.
sleep 0.5
grep -q "^Filedialog $run/: " "$work/out1.log" || fail "no dialog trace"
find_row "$run" "<books>"
press Down "$row"
press Return
find_row "$run/books" "library.zip"
press Down "$row"
press Return
# The archive: <..>, shelf/, about.txt; into shelf/ and open chapter.txt.
press Down 1
press Return
press Down 1
press Return
for _ in $(seq 50); do grep -q -x -- "-while loop" "$work/out1.log" && break; sleep 0.1; done
grep -q -x -- "-while loop" "$work/out1.log" || fail "the main loop did not start after the dialog"
sleep 0.5
shoot opened
xdotool keydown Down; sleep 1; xdotool keyup Down
sleep 0.5
shoot scrolled
cmp -s <(convert "$work/opened.xwd" rgb:-) <(convert "$work/scrolled.xwd" rgb:-) && fail "DOWN did not scroll"
kill -0 "$qpid" 2>/dev/null || fail "the reader ended"
stop
# The archive entry is recorded first, with the place it was left.
size="$(stat -c %s "$run/quillo.mrf")"
[ "$size" -eq $((4 + 2 * 336)) ] || fail "quillo.mrf is $size bytes, expected two rows"
first_path="$(head -c 260 "$run/quillo.mrf" | tail -c 256 | tr -d '\0')"
[ "$first_path" = "$run/books/library.zip" ] || fail "first row names '$first_path'"
first_entry="$(head -c 304 "$run/quillo.mrf" | tail -c 44 | tr -d '\0')"
[ "$first_entry" = "chapter.txt" ] || fail "first row's entry is '$first_entry'"
position="$(od -An -t d4 -j 308 -N 4 "$run/quillo.mrf" | tr -d ' ')"
[ "$position" -gt 0 ] || fail "stored position $position"

# Second run: the chooser lists chapter.txt first; ACCEPT reopens it there.
start "$work/out2.log" "-mrf load"
sleep 1
expect_chooser chooser2
press Return
for _ in $(seq 50); do grep -q -x -- "-while loop" "$work/out2.log" && break; sleep 0.1; done
grep -q -x -- "-while loop" "$work/out2.log" || fail "the main loop did not start after the chooser"
sleep 0.5
shoot reopened
cmp -s <(convert "$work/scrolled.xwd" rgb:-) <(convert "$work/reopened.xwd" rgb:-) || {
  convert "$work/scrolled.xwd" "$work/scrolled.png"; convert "$work/reopened.xwd" "$work/reopened.png"
  fail "the reopened book differs from where it was left (see scrolled.png, reopened.png)"
}
stop
cleanup
rm -rf "$work"
echo "e2e_files: passed"
