#!/usr/bin/env bash
# Memcheck of a whole session of the real reader: starts it under valgrind in a
# fresh working folder on a virtual X server of its own (display :118), plays
# the key script below, ends it with SIGTERM, and fails on any memory error or
# any byte definitely lost. The only loss allowed is libX11's XCreateIC under
# SDL_Init, suppressed by name in memcheck.supp beside this script.
# Usage: e2e_memcheck.sh path/to/quillo
set -uo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
quillo="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
work="$(mktemp -d "${TMPDIR:-/tmp}/quillo-memcheck-XXXXXX")"

# The session, one step a line: an action and its arguments, then an optional
# comment after "#". Actions:
#   tap KEY [SECONDS]   hold a key down (0.15 s unless given), then let go:
#                       the reader polls the key state, so a bare press and
#                       release between two polls would go unseen
#   wait SECONDS        let the reader run
#   shot                remember the screen
#   changed WHAT        the screen differs from the last shot (else fail)
#   same WHAT           the screen is as the last shot (else fail)
#   alive WHAT          the reader is still running
# Keys are X key names (README: Controls). Extend the script here as menus and
# dialogs land, for example: open a document from the recent-files chooser or
# with "Open..", scroll and page in it, change the zoom.
read -r -d '' SESSION <<'EOF'
shot
tap Down 0.6              # hold: scroll down pixel by pixel
changed "the page after scrolling down"
shot
tap Up 0.3                # scroll back up a little
changed "the page after scrolling up"
shot
tap Next                  # next page
wait 1
changed "the page after Page Down"
shot
tap Prior                 # previous page
wait 1
changed "the page after Page Up"
tap Return                # autoscroll on
wait 1
shot
wait 2
changed "the page while autoscrolling"
tap Down                  # faster
tap Up                    # slower
tap Return                # autoscroll off
wait 1.5
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

# Display :118 is this test's own; the others are fallbacks if a stale lock
# from an interrupted run holds it.
start_xvfb() {
  local n
  for n in 118 218 318; do
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

shoot() { xwd -root -silent >"$work/$1.xwd" || fail "xwd failed"; }
tap() {
  xdotool keydown "$1" || fail "xdotool keydown $1"
  sleep "${2:-0.15}"
  xdotool keyup "$1"
  sleep 0.2
}
alive() { kill -0 "$qpid" 2>/dev/null || fail "the reader ended ($1)"; }
compare() {  # 0 if the screen is as the last shot
  shoot now
  cmp -s "$work/last.xwd" "$work/now.xwd"
}
keep_image() { convert "$work/now.xwd" "$work/$1.png" 2>/dev/null; }

run_session() {
  local line action args
  while IFS= read -r line; do
    line="${line%%#*}"
    read -r action args <<<"$line"
    [ -z "${action:-}" ] && continue
    alive "before: $line"
    case "$action" in
      tap) tap $args ;;
      wait) sleep "$args" ;;
      shot) shoot last ;;
      changed) compare && { keep_image changed; fail "no change: $args (see $work/changed.png)"; } ;;
      same) compare || { keep_image same; fail "changed: $args (see $work/same.png)"; } ;;
      alive) alive "$args" ;;
      *) fail "unknown step '$line'" ;;
    esac
  done <<<"$SESSION"
}

command -v valgrind >/dev/null || fail "valgrind is not installed"
start_xvfb || fail "Xvfb did not start"
cd "$work"
# The reader is started again if the display refused it (a server busy starting).
for attempt in 1 2 3; do
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
sleep 1

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
[ -s "$work/quillo.cfg" ] || fail "the settings were not saved"
cleanup
rm -rf "$work"
echo "e2e_memcheck: passed"
