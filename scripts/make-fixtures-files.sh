#!/bin/sh
# Builds the archives of the file dialog tests and the books of the end-to-end
# test under tests/data/files/ with Info-ZIP zip (and Python's zipfile for
# names that no Linux file can have), from the texts in tests/data/files/src/.
# Run once from anywhere; the outputs are committed.
#   needs: zip (apt-get install zip), python3
set -eu

ROOT=$(cd "$(dirname "$0")/.." && pwd)
DATA="$ROOT/tests/data/files"
SRC="$DATA/src"
export LC_ALL=C TZ=UTC
WORK=$(mktemp -d /tmp/quillo-fixtures-XXXXXX)
trap 'rm -rf "$WORK"' EXIT

rm -f "$DATA"/*.zip
rm -rf "$DATA/books"
stamp() { find . -exec touch -d '2026-03-14 10:20:30' {} +; }

# Only a/b/c.txt: no entry for a/ or a/b/, nothing directly inside a/.
mkdir -p "$WORK/deep/a/b" && cp "$SRC/short.txt" "$WORK/deep/a/b/c.txt"
(cd "$WORK/deep" && stamp && zip -q -X -D -r "$DATA/deep.zip" a)

# The entry a/ and the file a/x.txt inside it.
mkdir -p "$WORK/folder/a" && cp "$SRC/short.txt" "$WORK/folder/a/x.txt"
(cd "$WORK/folder" && stamp && zip -q -X -r "$DATA/folder.zip" a)

# 400 files at the top level, more than one archive list holds.
mkdir -p "$WORK/many"
i=0
while [ $i -lt 400 ]; do
  printf 'Note %03d.\n' $i > "$WORK/many/$(printf 'n%03d.txt' $i)"
  i=$((i + 1))
done
(cd "$WORK/many" && stamp && zip -q -X -D "$DATA/many.zip" n*.txt)

# Folders two deep with documents and other files at each level.
mkdir -p "$WORK/nested/docs/inner"
cp "$SRC/short.txt" "$WORK/nested/readme.txt"
cp "$SRC/short.txt" "$WORK/nested/Book.HTM"
printf 'not a picture\n' > "$WORK/nested/picture.png"
cp "$SRC/short.txt" "$WORK/nested/docs/guide.txt"
printf 'neither\n' > "$WORK/nested/docs/data.bin"
cp "$SRC/long.txt" "$WORK/nested/docs/inner/deep.txt"
(cd "$WORK/nested" && stamp && zip -q -X -r "$DATA/nested.zip" readme.txt Book.HTM picture.png docs)

# Names no folder on the card can hold: 300 bytes at the top level, and one
# of 60 bytes, longer than the recent-files record keeps.
python3 - "$DATA/long.zip" "$SRC/short.txt" <<'PY'
import sys, zipfile
text = open(sys.argv[2], "rb").read()
with zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_DEFLATED) as z:
    for name in ("H" * 280 + "-tail-of-the-name.txt",
                 "a-chapter-with-a-name-longer-than-the-record-keeps-1234.txt"):
        z.writestr(zipfile.ZipInfo(name, date_time=(2026, 3, 14, 10, 20, 30)), text,
                   compress_type=zipfile.ZIP_DEFLATED)
PY

# A deflated entry whose data is damaged: its first byte names the reserved
# block type, so inflating it fails at once.
mkdir -p "$WORK/broken" && cp "$SRC/long.txt" "$WORK/broken/broken.txt"
(cd "$WORK/broken" && stamp && zip -q -X -9 "$DATA/broken.zip" broken.txt)
python3 - "$DATA/broken.zip" <<'PY'
import struct, sys
data = bytearray(open(sys.argv[1], "rb").read())
assert data[:4] == b"PK\x03\x04"
name_len, extra_len = struct.unpack_from("<HH", data, 26)
data[30 + name_len + extra_len] = 0xFF
open(sys.argv[1], "wb").write(data)
PY

# The books of the end-to-end test: a plain text, an RTF and an archive with a
# folder inside.
mkdir -p "$DATA/books" "$WORK/library/shelf"
cp "$SRC/long.txt" "$DATA/books/novel.txt"
cp "$SRC/letter.rtf" "$DATA/books/letter.rtf"
cp "$SRC/short.txt" "$WORK/library/about.txt"
cp "$SRC/long.txt" "$WORK/library/shelf/chapter.txt"
(cd "$WORK/library" && stamp && zip -q -X -r "$DATA/books/library.zip" about.txt shelf)
echo "fixtures written to $DATA"
