# Helpers shared by the end-to-end scripts, sourced by them; each script
# defines its own fail() and $work.

# Starts Xvfb (320x240x16) on the first of the display numbers given that is
# free, setting $xpid and DISPLAY; 1 when none would start. Each script has
# numbers of its own, so tests running side by side never meet.
# -noreset: a server that resets when its last client leaves refuses the
# reader's connection now and then (SDL opens and closes one before its own).
start_xvfb() {
  local n _
  for n in "$@"; do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
    Xvfb ":$n" -screen 0 320x240x16 -nolisten tcp -noreset >"$work/xvfb.log" 2>&1 &
    xpid=$!
    export DISPLAY=":$n"
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

# The row where the file dialog lists a name in folder, or -1: "<..>" first,
# then folders, documents and other files, each by name without case ("."
# left out; ASCII names only: accented letters sort by their base letter).
row_of() {
  local folder="$1" target="$2" name shown rank
  local rows=()
  [ "$target" = "<..>" ] && { echo 0; return; }
  while IFS= read -r name; do
    [ "$name" = "." ] || [ "$name" = ".." ] && continue
    if [ -d "$folder/$name" ]; then shown="<$name>"; rank=2
    else
      shown="$name"
      case "${name,,}" in
        *.txt|*.rtf|*.pdb|*.zip|*.htm|*.html|*.pdf|*.epub) rank=1 ;;
        *) rank=0 ;;
      esac
    fi
    rows+=("$rank $shown")
  done < <(ls -f -a "$folder")
  local i=0
  while IFS= read -r line; do
    i=$((i + 1))
    [ "${line#* }" = "$target" ] && { echo "$i"; return; }
  done < <(printf '%s\n' "${rows[@]}" | LC_ALL=C sort -k1,1nr -k2f)
  echo -1
}

# Sets $row to the row of name $2 in folder $1, and fails the test when the
# dialog would not list it.
find_row() {
  row="$(row_of "$1" "$2")"
  [ "$row" -ge 0 ] || fail "$2 is not listed in $1"
}

# The screen as shot $1 in $work.
shoot() { xwd -root -silent >"$work/$1.xwd" || fail "xwd failed"; }
# True when the two images hold the same pixels.
same_image() { cmp -s <(convert "$1" -depth 8 rgb:- 2>/dev/null) <(convert "$2" -depth 8 rgb:- 2>/dev/null); }

# Waits up to 10 s for the screen to be the picture $2 (kept as shot $1);
# the reader's process is $qpid.
wait_screen() {
  local _
  for _ in $(seq 50); do
    shoot "$1"
    same_image "$work/$1.xwd" "$2" && return 0
    kill -0 "$qpid" 2>/dev/null || fail "the reader ended (waiting for $1)"
    sleep 0.2
  done
  convert "$work/$1.xwd" "$work/$1.png"; convert "$2" "$work/$1-expected.png"
  fail "the screen is not $1 (see $1.png, $1-expected.png)"
}

# The helpers below move a selection with step KEY, one short press that each
# script defines, and wait for every press to show on the screen; a press seen
# twice or not at all is made good by the next.

# Waits up to 5 s for the screen to change from shot "selection".
wait_moved() {
  local _
  for _ in $(seq 25); do
    shoot moved
    cmp -s "$work/selection.xwd" "$work/moved.xwd" || return 0
    sleep 0.2
  done
}

# The row of the file dialog's list under the yellow selection bar (rows of
# 12 pixels from y 73; the bar reaches x 289), or -1.
selected_row() {
  shoot selection
  convert "$work/selection.xwd" -crop 1x120+285+73 +repage -depth 8 txt:- 2>/dev/null |
    awk -F'[,:() ]+' 'NR > 1 && $2 % 12 == 6 && $3 > 230 && $4 > 230 && $5 < 40 { print int($2 / 12); found = 1; exit }
                      END { if (!found) print -1 }'
}

# Moves the dialog's selection to row $1.
select_row() {
  local want="$1" k _
  for _ in $(seq 30); do
    k="$(selected_row)"
    [ "$k" -eq "$want" ] && return 0
    # The list may not be drawn yet.
    [ "$k" -ge 0 ] || { sleep 0.5; continue; }
    if [ "$k" -lt "$want" ]; then step Down; else step Up; fi
    wait_moved
  done
  convert "$work/selection.xwd" "$work/selection.png"
  fail "the selection did not reach row $want (see $work/selection.png)"
}

# The open menu list's row under the light yellow selection at x $1 (rows of
# 16 pixels from y $2, 38 unless given), or -1.
menu_selected() {
  shoot selection
  convert "$work/selection.xwd" -crop "1x144+$1+${2:-38}" +repage -depth 8 txt:- 2>/dev/null |
    awk -F'[,:() ]+' 'NR > 1 && $2 % 16 == 8 && $3 > 230 && $4 > 230 && $5 > 100 && $5 < 170 { print int($2 / 16); found = 1; exit }
                      END { if (!found) print -1 }'
}

# menu_row X ROW [TOP]: moves the open menu list's selection at x X to row ROW.
menu_row() {
  local x="$1" want="$2" k _
  for _ in $(seq 30); do
    k="$(menu_selected "$x" "${3:-38}")"
    [ "$k" -eq "$want" ] && return 0
    [ "$k" -ge 0 ] || { sleep 0.5; continue; }
    if [ "$k" -lt "$want" ]; then step Down; else step Up; fi
    wait_moved
  done
  convert "$work/selection.xwd" "$work/selection.png"
  fail "the menu selection did not reach row $want (see $work/selection.png)"
}

# The menu bar's entry from x $1 selected (drawn in the interface blue, the
# rest of the bar darker), with RIGHT pressed until it is.
bar_entry() {
  local x="$1" r g b _
  for _ in $(seq 30); do
    shoot selection
    read -r r g b < <(convert "$work/selection.xwd" -format \
      "%[fx:int(255*p{$x,22}.r)] %[fx:int(255*p{$x,22}.g)] %[fx:int(255*p{$x,22}.b)]" info: 2>/dev/null)
    # No bar there yet: the menu is still being drawn.
    [ "${r:-255}" -le 40 ] && [ "${b:-0}" -ge 80 ] || { sleep 0.3; continue; }
    [ "${g:-0}" -ge 75 ] && return 0
    step Right
    wait_moved
  done
  convert "$work/selection.xwd" "$work/selection.png"
  fail "the menu bar entry at x $x is not selected (see $work/selection.png)"
}
