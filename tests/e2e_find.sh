#!/usr/bin/env bash
# End-to-end Find: the real reader under Xvfb with the introduction on screen;
# Tab opens the menu, Right and Down twice reach "Find|Buscar", Return opens
# the dialog, a word is typed on the keyboard with xdotool and Return on "Ok"
# searches; the view must have moved. Escape closes the dialog that opens
# again for the next hit, SIGTERM ends the reader and quillo.cfg must hold the
# word as its find text (offset 270).
# Skipped (status 77) while the reader has no menu to reach the dialog from.
# Usage: e2e_find.sh path/to/quillo
set -uo pipefail
quillo="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
word="pictures"
if ! grep -a -q 'Find|Buscar' "$quillo"; then
  echo "e2e_find: skipped: the reader has no menu with the Find command yet"
  exit 77
fi
work="$(mktemp -d /tmp/quillo-e2e-find-XXXXXX)"
fail() {
  echo "e2e_find: FAIL: $* (DISPLAY=${DISPLAY:-none}, files in $work)"
  [ -f "$work/out.log" ] && sed 's/^/  out: /' "$work/out.log"
  cleanup
  exit 1
}
cleanup() {
  [ -n "${qpid:-}" ] && kill "$qpid" 2>/dev/null
  [ -n "${xpid:-}" ] && kill "$xpid" 2>/dev/null
  wait 2>/dev/null
}

# A display of its own, in a range apart from the other end-to-end tests.
start_xvfb() {
  local n
  for n in $(shuf -i 140-199); do
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
# Keys are held briefly and spaced out: the reader polls the key state.
press() { xdotool keydown "$1"; sleep 0.08; xdotool keyup "$1"; sleep 0.4; }
xwd -root -silent >"$work/before.xwd" || fail "xwd failed"

press Tab
press Right
press Down
press Down
press Return
sleep 0.3
xdotool type --delay 80 "$word"
sleep 0.3
press Return
sleep 0.8
press Escape
sleep 0.8
xwd -root -silent >"$work/after.xwd" || fail "xwd failed"
kill -0 "$qpid" 2>/dev/null || fail "the reader ended during the search"
# Only the text area: the title bar may show the progress, which moves too.
crop() { convert "$1" -crop 320x200+0+30 +repage "$2"; }
crop "$work/before.xwd" "$work/before.png"
crop "$work/after.xwd" "$work/after.png"
diff="$(compare -metric AE "$work/before.png" "$work/after.png" null: 2>&1)"
[ "${diff%% *}" != "0" ] || fail "the view did not move after the search"

kill -TERM "$qpid"
for _ in $(seq 50); do kill -0 "$qpid" 2>/dev/null || break; sleep 0.1; done
wait "$qpid"
rc=$?
qpid=""
[ "$rc" -eq 0 ] || fail "exit status $rc after SIGTERM"
stored="$(dd if="$work/quillo.cfg" bs=1 skip=270 count=64 2>/dev/null | tr -d '\0')"
[ "$stored" = "$word" ] || fail "quillo.cfg holds the find text '$stored', expected '$word'"
cleanup
rm -rf "$work"
echo "e2e_find: passed"
