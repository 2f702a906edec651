# Helpers shared by the end-to-end scripts, sourced by them; each script
# defines its own fail().

# The row where the file dialog lists a name in folder, or -1: "<..>" first,
# then folders, documents and other files, each by name ("." left out).
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
  done < <(printf '%s\n' "${rows[@]}" | LC_ALL=C sort -k1,1nr -k2)
  echo -1
}

# Sets $row to the row of name $2 in folder $1, and fails the test when the
# dialog would not list it.
find_row() {
  row="$(row_of "$1" "$2")"
  [ "$row" -ge 0 ] || fail "$2 is not listed in $1"
}
