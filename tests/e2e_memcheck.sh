#!/usr/bin/env bash
# Memcheck of a whole session of the real reader: starts it under valgrind in a
# fresh working folder on a virtual X server of its own (display :118), plays
# the key script below, ends it with SIGTERM, and fails on any memory error or
# any byte definitely lost. The only loss allowed is libX11's XCreateIC under
# SDL_Init, suppressed by name in memcheck.supp beside this script.
# Usage: e2e_memcheck.sh path/to/quillo
set -uo pipefail
. "$(dirname "$0")/e2e_common.sh"
here="$(cd "$(dirname "$0")" && pwd)"
quillo="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
work="$(mktemp -d "${TMPDIR:-/tmp}/quillo-memcheck-XXXXXX")"
run="$work/run"

# The session, one step a line: an action and its arguments, then an optional
# comment after "#". Actions:
#   tap KEY [SECONDS]   hold a key down (0.15 s unless given), then let go:
#                       the reader polls the key state, so a bare press and
#                       release between two polls would go unseen
#   type TEXT           type the text (the rest of the line) with xdotool
#   rows FOLDER NAME    the file dialog's selection moved to NAME's row in
#                       FOLDER (under the reader's folder), with DOWN and UP
#   select ROW          the file dialog's selection moved to row ROW
#   bar X               the menu bar's entry at x X selected, with RIGHT
#   menu X ROW          the selection of the menu list that reaches past x X
#                       moved to row ROW, with DOWN and UP
#   wait SECONDS        let the reader run
#   shot                remember the screen
#   changed WHAT        the screen differs from the last shot within 30 s
#   settle WHAT         the screen stays the same for over a second (within
#                       60 s)
#   same WHAT           the screen is as the last shot
#   alive WHAT          the reader is still running
# Keys are X key names (README: Controls). The reader runs in run/, which holds
# books/ with a plain text, an RTF and a ZIP archive with a folder inside.
read -r -d '' SESSION <<'EOF'
shot
tap Tab                   # the menu on File, its first row "Open.."
changed "the menu"
shot
tap Return                # the file dialog in the reader's folder
changed "the file dialog"
settle "the file dialog"
rows . <books>
shot
tap Return                # into books/
changed "the books folder"
settle "the books folder"
rows books library.zip
shot
tap Return                # the archive: <..>, shelf/, about.txt
changed "the archive list"
settle "the archive list"
select 1                  # shelf/
shot
tap Return                # into shelf/: <..>, chapter.txt
changed "the shelf folder"
settle "the shelf folder"
select 1                  # chapter.txt
shot
tap Return                # open the entry: the archive reader inflates it
changed "the chapter"
settle "the chapter"
shot
tap Tab                   # the menu again on File; Browse, down to Find
changed "the menu over the chapter"
settle "the menu over the chapter"
bar 72                    # Browse
menu 150 2                # down to Find
shot
tap Return                # the Find dialog over the keyboard
changed "the Find dialog"
settle "the Find dialog"
shot
type Paragraph 20
changed "the typed text"
settle "the typed text"
shot
tap Return                # Ok: the search; after a hit the dialog opens again
changed "the dialog after the search"
settle "the dialog after the search"
shot
tap Escape                # no further search: the dialog and the menu close
changed "the page found"
settle "the page found"
shot
tap Tab                   # the menu on Browse; Font, Zoom + (the menu stays)
changed "the menu over the page found"
settle "the menu over the page found"
bar 132                   # Font
shot
tap Return 0.05           # short: a held Return would zoom in again
changed "the page zoomed under the menu"
settle "the page zoomed under the menu"
shot
tap Escape
changed "the zoomed page"
settle "the zoomed page"
shot
tap Down 0.6              # hold: scroll down pixel by pixel
changed "the page after scrolling down"
settle "the page after scrolling down"
shot
tap Up 0.3                # scroll back up a little
changed "the page after scrolling up"
settle "the page after scrolling up"
shot
tap Next                  # next page
changed "the page after Page Down"
settle "the page after Page Down"
shot
tap Prior                 # previous page
changed "the page after Page Up"
settle "the page after Page Up"
shot
tap Return                # autoscroll on
changed "the page while autoscrolling"
tap Down                  # faster
tap Up                    # slower
tap Return                # autoscroll off
settle "the page once autoscroll is off"
shot
wait 1.5
same "the page once autoscroll is off"
alive "after the key script"
EOF

fail() {
  echo "e2e_memcheck: FAIL: $* (DISPLAY=${DISPLAY:-none}, folder $work)"
  [ -f "$work/out.log" ] && tail -n 20 "$work/out.log" | sed 's/^/  out: /'
  [ -f "$work/valgrind.log" ] && sed 's/^/  valgrind: /' "$work/valgrind.log"
  [ -f "$work/xvfb.log" ] && sed 's/^/  xvfb: /' "$work/xvfb.log"
  cleanup
  exit 1
}
cleanup() {
  [ -n "${qpid:-}" ] && kill "$qpid" 2>/dev/null
  [ -n "${xpid:-}" ] && kill "$xpid" 2>/dev/null
  wait 2>/dev/null
}


tap() {
  xdotool keydown "$1" || fail "xdotool keydown $1"
  sleep "${2:-0.15}"
  xdotool keyup "$1"
  sleep 0.2
}
# One short press for the shared helpers: a long one is repeated after
# the list's pause, and one that goes unseen is made again.
step() { tap "$1" 0.05; }
alive() { kill -0 "$qpid" 2>/dev/null || fail "the reader ended ($1)"; }
compare() {  # 0 if the screen is as the last shot
  shoot now
  cmp -s "$work/last.xwd" "$work/now.xwd"
}
keep_image() { convert "$work/now.xwd" "$work/$1.png" 2>/dev/null; }
# Waits up to 30 s for the screen to differ from the last shot.
changed() {
  local _
  for _ in $(seq 150); do
    compare || return 0
    alive "$1"
    sleep 0.2
  done
  keep_image changed
  fail "no change: $1 (see $work/changed.png)"
}
# Waits up to 60 s for four shots 0.4 s apart to be the same.
settle() {
  local _ same=0
  shoot settle
  for _ in $(seq 150); do
    sleep 0.4
    alive "$1"
    mv "$work/settle.xwd" "$work/settle-previous.xwd"
    shoot settle
    if cmp -s "$work/settle-previous.xwd" "$work/settle.xwd"; then
      same=$((same + 1))
      [ "$same" -ge 3 ] && return 0
    else
      same=0
    fi
  done
  fail "the screen did not settle: $1"
}
rows() {
  local n
  n="$(row_of "$run/$1" "$2")"
  [ "$n" -ge 0 ] || fail "$2 is not listed in $run/$1"
  select_row "$n"
}

run_session() {
  local line action args
  while IFS= read -r line; do
    line="${line%%#*}"
    read -r action args <<<"$line"
    [ -z "${action:-}" ] && continue
    alive "before: $line"
    case "$action" in
      tap) tap $args ;;
      type) xdotool type --delay 150 "$args" || fail "xdotool type $args" ;;
      rows) rows $args ;;
      select) select_row $args ;;
      menu) menu_row $args ;;
      bar) bar_entry $args ;;
      wait) sleep "$args" ;;
      shot) shoot last ;;
      changed) changed "$args" ;;
      settle) settle "$args" ;;
      same) compare || { keep_image same; fail "changed: $args (see $work/same.png)"; } ;;
      alive) alive "$args" ;;
      *) fail "unknown step '$line'" ;;
    esac
  done <<<"$SESSION"
}

command -v valgrind >/dev/null || fail "valgrind is not installed"
# Xvfb on :118, with fallbacks if a stale lock from an interrupted run holds it.
start_xvfb 118 218 318 || fail "Xvfb did not start"
mkdir -p "$run/books"
cp "$here/data/files/books/"* "$run/books/"
cd "$run"
# The reader is started again if the display refused it (a server busy starting).
for attempt in 1 2 3 4 5; do
  valgrind --leak-check=full --errors-for-leak-kinds=definite --error-exitcode=9 \
    --suppressions="$here/memcheck.supp" --log-file="$work/valgrind.log" \
    "$quillo" >"$work/out.log" 2>&1 &
  qpid=$!
  for _ in $(seq 600); do
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
settle "the introduction"

run_session

kill -TERM "$qpid"
for _ in $(seq 300); do kill -0 "$qpid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$qpid" 2>/dev/null && fail "the reader did not end after SIGTERM"
wait "$qpid"
rc=$?
qpid=""
[ "$rc" -eq 9 ] && fail "valgrind found errors or definite leaks"
[ "$rc" -eq 0 ] || fail "exit status $rc after SIGTERM"
grep -q "ERROR SUMMARY: 0 errors" "$work/valgrind.log" || fail "memory errors"
grep -Eq "definitely lost: 0 bytes|no leaks are possible" "$work/valgrind.log" ||
  fail "bytes definitely lost"
# What the session changed is saved: the zoom, the find text, and the
# archive entry as the first recent file.
[ -s "$run/quillo.cfg" ] || fail "the settings were not saved"
zoom="$(od -An -tx1 -j8 -N2 "$run/quillo.cfg" | tr -d ' ')"
# Zoom + stays in the menu: a press that valgrind's slowness saw twice zooms
# in once more, which is as good for this session.
[ "$zoom" = "0100" ] || [ "$zoom" = "0200" ] || fail "quillo.cfg zoom level bytes $zoom, expected 0100"
stored="$(dd if="$run/quillo.cfg" bs=1 skip=270 count=64 2>/dev/null | tr -d '\0')"
[ "$stored" = "Paragraph 20" ] || fail "quillo.cfg holds the find text '$stored', expected 'Paragraph 20'"
entry="$(dd if="$run/quillo.mrf" bs=1 skip=260 count=44 2>/dev/null | tr -d '\0')"
[ "$entry" = "chapter.txt" ] || fail "quillo.mrf's first entry is '$entry', expected chapter.txt"
cleanup
rm -rf "$work"
echo "e2e_memcheck: passed"
