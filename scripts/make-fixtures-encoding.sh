#!/bin/sh
# Builds the encoding test documents under tests/data/encoding/ from the UTF-8
# text tests/data/encoding/src/story.txt with real converters: iconv (UTF-8
# with and without a byte order mark, UTF-16 LE and BE with marks, code page
# 1252) and pandoc (a standalone page, which declares UTF-8; the same page
# declaring and written in windows-1252; an XHTML page whose only declaration
# is its XML declaration), and an archive holding some of them (zip). The
# golden formatted texts (*.golden) are written by encoding_test with
# QUILLO_UPDATE_GOLDEN=1; review their diff.
#   needs: iconv (libc-bin), pandoc, zip (apt-get install pandoc zip)
set -eu

ROOT=$(cd "$(dirname "$0")/.." && pwd)
DATA="$ROOT/tests/data/encoding"
SRC="$DATA/src/story.txt"
export LC_ALL=C.UTF-8 TZ=UTC

cp "$SRC" "$DATA/utf8.txt"
{ printf '\357\273\277'; cat "$SRC"; } > "$DATA/utf8-bom.txt"
{ printf '\377\376'; iconv -f UTF-8 -t UTF-16LE "$SRC"; } > "$DATA/utf16le.txt"
{ printf '\376\377'; iconv -f UTF-8 -t UTF-16BE "$SRC"; } > "$DATA/utf16be.txt"
iconv -f UTF-8 -t WINDOWS-1252 "$SRC" > "$DATA/cp1252.txt"

pandoc -s -f markdown -t html5 --metadata title="Notebook" "$SRC" -o "$DATA/pandoc.html"
sed -e 's/<meta charset="utf-8" \/>/<meta charset="windows-1252" \/>/' "$DATA/pandoc.html" |
  iconv -f UTF-8 -t WINDOWS-1252 > "$DATA/pandoc-1252.html"
# pandoc's XHTML page declares its encoding in a meta element too: drop that one,
# so only the XML declaration names UTF-8.
{ printf '<?xml version="1.0" encoding="UTF-8"?>\n'
  pandoc -s -f markdown -t html4 --metadata title="Notebook" "$SRC" |
    sed -e '/<meta http-equiv="Content-Type"/d'; } > "$DATA/xhtml.htm"

# The same documents as entries of an archive (deflated, no extra fields, a
# fixed time so that every run writes the same bytes).
rm -f "$DATA/books.zip"
(cd "$DATA" && touch -d '2026-01-01 00:00:00' utf8.txt utf16le.txt utf16be.txt cp1252.txt pandoc.html &&
  zip -q -X -9 books.zip utf8.txt utf16le.txt utf16be.txt cp1252.txt pandoc.html)
