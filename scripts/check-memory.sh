#!/bin/sh
# Every hostile file of the project's own fixtures (tests/data/limits), the fuzz
# seeds and the large hostile files that scripts/make-fixtures-limits.sh --large
# writes into a scratch folder, opened by the page renderer (quillo-render
# --info) under a 64 MB address-space limit, as on the console. Prints each
# file's peak resident memory and the largest; fails when a file crashes the
# renderer or the largest peak passes 48 MB.
#   scripts/check-memory.sh [BUILD_DIR]   (default build/, the tests' build)
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-$ROOT/build}
RENDER=$BUILD/tools/render/quillo-render
LIMIT_KB=49152
SCRATCH=${TMPDIR:-/tmp}/quillo-hostile
mkdir -p "$SCRATCH/seeds"
[ -f "$SCRATCH/many-streams.pdf" ] || sh "$ROOT/scripts/make-fixtures-limits.sh" --large "$SCRATCH" >/dev/null

# The seeds of the targets that take whole documents; the renderer picks the
# importer by the name, so each gets its target's extension. (The EPUB, layout
# and encoding targets take pieces with their own framing.)
rm -f "$SCRATCH"/seeds/*
for dir in "$ROOT"/fuzz/seeds/*/; do
  target=$(basename "$dir")
  case $target in
    pdf) ext=pdf ;; html) ext=html ;; rtf) ext=rtf ;; pdb) ext=pdb ;;
    mobi) ext=mobi ;; fb2) ext=fb2 ;; zip) ext=zip ;; *) continue ;;
  esac
  for seed in "$dir"*; do
    [ -f "$seed" ] || continue
    name=$target-$(basename "$seed")
    case $name in *.$ext) ;; *) name=$name.$ext ;; esac
    cp "$seed" "$SCRATCH/seeds/$name"
  done
done

largest=0
largest_file=
failed=0
for file in "$ROOT"/tests/data/limits/* "$SCRATCH"/*.* "$SCRATCH"/seeds/*; do
  [ -f "$file" ] || continue
  arg=$file
  case $file in *.zip) arg="$file#0" ;; esac
  out=$( (ulimit -v 65536; /usr/bin/time -v "$RENDER" "$arg" --info) 2>&1 || true)
  peak=$(printf '%s\n' "$out" | sed -n 's/.*Maximum resident set size (kbytes): //p')
  status=$(printf '%s\n' "$out" | sed -n 's/.*Exit status: //p')
  signal=$(printf '%s\n' "$out" | sed -n 's/.*Command terminated by signal \([0-9]*\).*/\1/p')
  printf '%8s KB  %s%s\n' "${peak:-?}" "${file#"$ROOT"/}" "${signal:+  (signal $signal)}"
  # The renderer exits with 1 when the file is refused and 2 when a message
  # was shown; a signal, or anything else, is a crash.
  if [ -n "$signal" ] || [ -z "$peak" ] || [ "${status:-9}" -gt 2 ]; then
    failed=1
  elif [ "$peak" -gt "$largest" ]; then
    largest=$peak
    largest_file=$file
  fi
done
echo "largest peak: $largest KB (about $((largest / 1024)) MB), ${largest_file#"$ROOT"/}"
if [ "$failed" = 1 ]; then
  echo "a file crashed the renderer" >&2
  exit 1
fi
[ "$largest" -le "$LIMIT_KB" ] || { echo "over 48 MB" >&2; exit 1; }
