#!/bin/sh
# Builds the Kindle test books under tests/data/mobi/ with calibre's
# ebook-convert from tests/data/mobi/src/book.html: an old-format MOBI, an
# AZW3 (KF8) and a combined file (a MOBI with its KF8 part), then the
# hand-made cases of scripts/make-mobi-handmade.py. calibre stamps each book
# with the time and a new identifier: a run writes new bytes with the same text.
#   needs: calibre, python3 (apt-get install calibre)
set -eu

ROOT=$(cd "$(dirname "$0")/.." && pwd)
DATA="$ROOT/tests/data/mobi"
export LC_ALL=C.UTF-8 TZ=UTC SOURCE_DATE_EPOCH=1577836800

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
cp "$DATA/src/book.html" "$WORK/book.html"

convert_book() {  # convert_book OUTPUT [OPTIONS...]
  out=$1
  shift
  ebook-convert "$WORK/book.html" "$WORK/$out" --title "Crónicas del puerto" --authors "Ana Ruiz" \
    --language en --book-producer quillo-tests "$@" >"$WORK/$out.log" 2>&1
  cp "$WORK/$out" "$DATA/$out"
}

convert_book calibre-old.mobi --mobi-file-type old
convert_book calibre-new.azw3
convert_book calibre-both.mobi --mobi-file-type both

python3 "$ROOT/scripts/make-mobi-handmade.py" "$DATA"
ls -l "$DATA"
