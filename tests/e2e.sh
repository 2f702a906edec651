#!/usr/bin/env bash
# End-to-end: starts the real reader under Xvfb with a 320x240x16 screen in a
# fresh working folder, waits for the main loop, checks the screen, presses
# keys, ends it with SIGTERM and checks that the settings were saved.
# Usage: e2e.sh path/to/quillo
set -uo pipefail
. "$(dirname "$0")/e2e_common.sh"
quillo="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
work="$(mktemp -d /tmp/quillo-e2e-XXXXXX)"
fail() {
  echo "e2e: FAIL: $* (DISPLAY=${DISPLAY:-none})"
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

# Xvfb on a display of our own, away from :0 where a desktop or another test may live.
start_xvfb $(shuf -i 40-99) || fail "Xvfb did not start"

cd "$work"
# The reader is started again if the display refused it (a server busy starting).
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
for trace in -main -Init "-new Video" -SetStandardFont "-new Text" "-Cfg load" -GameEngine \
             "-load intromsg" -refresh_text "-mrf load"; do
  grep -q -x -- "$trace" "$work/out.log" || fail "trace '$trace' missing"
done
sleep 0.5

pixel() { convert "$work/shot.xwd" -format "%[pixel:p{$1,$2}]" info: 2>/dev/null; }
shoot() { xwd -root -silent >"$work/shot.xwd" || fail "xwd failed"; }
shoot
# The page is drawn on white paper: its margins are white, and something is on it
# or not, but the corners of the text area never carry the window's black.
for xy in "2 120" "317 120" "1 200"; do
  p="$(pixel $xy)"
  case "$p" in
    white|"srgb(255,255,255)"|"srgb(100%,100%,100%)") ;;
    *) convert "$work/shot.xwd" "$work/shot.png"; fail "pixel ($xy) is $p, expected white paper (see $work/shot.png)";;
  esac
done

# Keys reach the reader: it must still be running after them.
xdotool key Down Down Next Prior Return 2>/dev/null
sleep 0.6
xdotool key Return 2>/dev/null
sleep 0.3
kill -0 "$qpid" 2>/dev/null || fail "the reader ended after key presses"

kill -TERM "$qpid"
for _ in $(seq 50); do kill -0 "$qpid" 2>/dev/null || break; sleep 0.1; done
wait "$qpid"
rc=$?
qpid=""
[ "$rc" -eq 0 ] || fail "exit status $rc after SIGTERM"
size="$(stat -c %s "$work/quillo.cfg" 2>/dev/null || echo 0)"
[ "$size" -eq 606 ] || fail "quillo.cfg is $size bytes, expected 606"
cleanup
rm -rf "$work"
echo "e2e: passed"
