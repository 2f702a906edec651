#!/usr/bin/env bash
# End-to-end test of opening books: the real reader under Xvfb in a fresh
# folder holding books/ (a plain text, an RTF and a ZIP archive with a folder
# inside) and a quillo.mrf naming the plain text. The start-up chooser is
# checked on the screen, "Open another file..." opens the dialog, keys walk
# into books/, into the archive and its folder and open an entry, DOWN
# scrolls, SIGTERM ends it. A second start must list that entry first and
# reopen it where it was left (the same screen as the first run's last); a
# broken PDF then chosen through "Open.." must say so once and leave that
# book on screen, at its place, and out of the recent-files list. A third
# start at zoom 2 must bring the same line to the top.
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
# A broken PDF whose name sorts last, after the rows the first run walks.
printf '%%PDF-1.4\n1 0 obj\n<< /Type /Catalog' >"$run/books/torn.pdf"

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
# START, "Open..", the broken PDF (RIGHT: the last row): one message (closed
# with CANCEL, which the reading view ignores), then the same screen as before.
press Tab
press Return
for _ in $(seq 50); do grep -q "^Filedialog $run/books/: " "$work/out2.log" && break; sleep 0.1; done
grep -q "^Filedialog $run/books/: " "$work/out2.log" || fail "no dialog in books/"
press Right
press Return
for _ in $(seq 50); do grep -q "^Error loading file: torn.pdf" "$work/out2.log" && break; sleep 0.1; done
[ "$(grep -c "^Error loading file: torn.pdf" "$work/out2.log")" -eq 1 ] || fail "no single message for the broken PDF"
press Escape
sleep 1
shoot kept
same_image "$work/reopened.xwd" "$work/kept.xwd" || {
  convert "$work/reopened.xwd" "$work/reopened.png"; convert "$work/kept.xwd" "$work/kept.png"; fail "the broken PDF changed the screen (see reopened.png, kept.png)"
}
stop
grep -q -a "torn.pdf" "$run/quillo.mrf" && fail "the broken PDF was recorded"

# Third run at zoom 2: the record keeps, behind its mark, the byte offset of
# the line at the top; reopened at another zoom, the same line comes to the
# top, so the quit records the same offset and a zoom-2 position.
mark="$(od -An -t x1 -j 312 -N 4 "$run/quillo.mrf" | tr -d ' ')"
[ "$mark" = "51706c01" ] || fail "no place mark in the record ($mark)"
offset="$(od -An -t d4 -j 316 -N 4 "$run/quillo.mrf" | tr -d ' ')"
printf '\002' | dd of="$run/quillo.cfg" bs=1 seek=8 conv=notrunc status=none
start "$work/out3.log" "-mrf load"
sleep 1
press Return
for _ in $(seq 50); do grep -q -x -- "-while loop" "$work/out3.log" && break; sleep 0.1; done
grep -q -x -- "-while loop" "$work/out3.log" || fail "the main loop did not start at zoom 2"
stop
[ "$(od -An -t d4 -j 316 -N 4 "$run/quillo.mrf" | tr -d ' ')" = "$offset" ] || fail "another line was on top at zoom 2"
[ "$(od -An -t u1 -j 322 -N 1 "$run/quillo.mrf" | tr -d ' ')" = 2 ] || fail "the place was not taken at zoom 2"
[ "$(od -An -t d4 -j 308 -N 4 "$run/quillo.mrf" | tr -d ' ')" != "$position" ] || fail "the zoom-0 position was used at zoom 2"

# Fourth run: eight recorded books, two of them named novel.txt in different
# folders. The start-up chooser shows seven rows; DOWN scrolls down to its
# ninth, "Open another file...", under the selection bar on the last row
# shown, and RETURN opens the file dialog.
mkdir -p "$run/books/more"
cp "$run/books/novel.txt" "$run/books/more/novel.txt"
record() {  # one 336-byte record of a plain file at position 0
  printf '%s' "$1"; zeros $((256 - ${#1})); zeros 44; printf '\377\377\377\377'; zeros 32
}
{
  printf '\010\000\000\000'
  record "$run/books/more/novel.txt"
  record "$run/books/novel.txt"
  for i in 1 2 3 4 5 6; do record "$run/books/book$i.txt"; done
} >"$run/quillo.mrf"
[ "$(stat -c %s "$run/quillo.mrf")" -eq $((4 + 8 * 336)) ] || fail "quillo.mrf of eight rows not written"
# Back to zoom 0, which the chooser's checks are made for.
printf '\000' | dd of="$run/quillo.cfg" bs=1 seek=8 conv=notrunc status=none
start "$work/out4.log" "-mrf load"
sleep 1
expect_chooser chooser4
press Down 8
sleep 0.5
shoot chooser4-last
expect_pixel chooser4-last 280 162 255 251 0
expect_pixel chooser4-last 280 90 0 82 132
press Return
for _ in $(seq 50); do grep -q "^Filedialog " "$work/out4.log" && break; sleep 0.1; done
grep -q "^Filedialog " "$work/out4.log" || fail "the chooser's last row did not open the dialog"
stop
cleanup
rm -rf "$work"
echo "e2e_files: passed"
