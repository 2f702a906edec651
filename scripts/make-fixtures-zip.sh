#!/bin/sh
# Builds the ZIP test archives under tests/data/zip/ from the texts in
# tests/data/zip/src/ with real writers (Info-ZIP zip, Python's zipfile), and
# records what Info-ZIP's unzip reports for them (and for the valid archives of
# the third-party corpus): the listing of `unzip -l` and each entry's `unzip -p`
# output. Run once from anywhere; the outputs are committed.
#   needs: zip, unzip (apt-get install zip unzip), python3
set -eu

ROOT=$(cd "$(dirname "$0")/.." && pwd)
DATA="$ROOT/tests/data/zip"
CORPUS="$ROOT/tests/data/corpus/zip"
export LC_ALL=C TZ=UTC

cd "$DATA/src"
# Fixed times so that every run writes the same bytes.
find . -exec touch -d '2026-03-14 10:20:30' {} +

rm -f "$DATA"/*.zip
# Deflated files, folders and, added apart with -0, one stored file.
zip -q -X -r -9 "$DATA/infozip.zip" book.txt docs -x docs/printer.txt
zip -q -X -0 "$DATA/infozip.zip" docs/printer.txt

# The same with an archive comment.
cp "$DATA/infozip.zip" "$DATA/comment.zip"
printf 'Second edition, proof copy.\nDo not circulate.\n' | zip -q -z "$DATA/comment.zip"

# Data in front of the archive, offsets left as they were (bytes-before
# correction), and the same fixed by zip -A (offsets include the prefix).
printf 'PREFIX: a self-extractor stub would sit here.\n%0200d\n' 0 > "$DATA/prefix.bin"
cat "$DATA/prefix.bin" "$DATA/infozip.zip" > "$DATA/prefixed.zip"
cp "$DATA/prefixed.zip" "$DATA/prefixed-fixed.zip"
zip -q -A "$DATA/prefixed-fixed.zip"

# Python's zipfile writing to a pipe cannot seek back, so every entry gets
# flag bit 3, zero sizes in its local header and a data descriptor.
python3 - <<'EOF' | cat > "$DATA/streamed.zip"
import sys, zipfile
with zipfile.ZipFile(sys.stdout.buffer, "w") as z:
    for name, method in (("book.txt", zipfile.ZIP_DEFLATED),
                         ("docs/notes.txt", zipfile.ZIP_STORED),
                         ("docs/deep/inner.txt", zipfile.ZIP_DEFLATED)):
        info = zipfile.ZipInfo(name, date_time=(2026, 3, 14, 10, 20, 30))
        info.compress_type = method
        with open(name, "rb") as f:
            z.writestr(info, f.read())
EOF

# An empty archive (just the end record), and the same behind a prefix.
python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1], "w").close()' "$DATA/empty.zip"
cat "$DATA/prefix.bin" "$DATA/empty.zip" > "$DATA/empty-prefixed.zip"

# What unzip reports: the listing and, per entry (in central-directory order),
# the bytes of unzip -p. Directory entries give no file.
record() {
  archive=$1
  out=$2
  rm -rf "$out"
  mkdir -p "$out"
  # From the archive's folder, so the listing names it without a path.
  cd "$(dirname "$archive")"
  archive=$(basename "$archive")
  unzip -l "$archive" > "$out/unzip-l.txt" 2>/dev/null || true
  unzip -Z1 "$archive" > "$out/names.txt" 2>/dev/null || true
  index=0
  while IFS= read -r name; do
    case "$name" in
      */) ;;
      # Exit status 1 is a warning (such as bytes in front of the archive).
      *) unzip -p "$archive" "$name" > "$out/$index.bin" 2>/dev/null || [ $? -eq 1 ] ;;
    esac
    index=$((index + 1))
  done < "$out/names.txt"
  cd "$DATA"
}

mkdir -p "$DATA/expected"
rm -rf "$DATA/expected"/*
for a in infozip comment prefixed prefixed-fixed streamed; do
  record "$DATA/$a.zip" "$DATA/expected/$a"
done
for a in test teststored testdeflated testdeflated2 testdir testcomment testcomment13 \
         firstsecond junk-at-end streamed cm-default zipcmp_zip_dir testextrabytes \
         testfile-stored-dos testfile-ef testfile-long-comment \
         incons-gap-before-cd incons-gap-before-local; do
  record "$CORPUS/$a.zip" "$DATA/expected/corpus-$a"
done
echo "fixtures written to $DATA"
