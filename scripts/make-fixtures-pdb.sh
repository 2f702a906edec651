#!/bin/sh
# Builds the PalmDoc test books under tests/data/pdb/ from the texts in
# tests/data/pdb/src/ with txt2pdbdoc, compressed and uncompressed, and records
# what `txt2pdbdoc -d` decodes from them (and from the books of the third-party
# corpus) with every lone line feed written as CR LF, as the reader shows it:
#   <book>.expected     the expected text of each book made here
#   corpus.expected     name, length and CRC-32 of each corpus book's expected
#                       text up to its first NUL (the corpus files stay where they are)
# Run once from anywhere; the outputs are committed.
#   needs: txt2pdbdoc, iconv, perl, python3 (apt-get install txt2pdbdoc)
set -eu

ROOT=$(cd "$(dirname "$0")/.." && pwd)
DATA="$ROOT/tests/data/pdb"
CORPUS="$ROOT/tests/data/corpus/palmdoc"
export LC_ALL=C TZ=UTC
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

# Books keep Latin-1 bytes, as PalmDoc readers expect.
iconv -f UTF-8 -t ISO-8859-1 "$DATA/src/story.txt" > "$WORK/story.txt"
# A longer text over several 4096-byte records, so back references and record
# joins are exercised.
: > "$WORK/long.txt"
for n in 1 2 3 4 5 6 7 8 9 10 11 12; do
  printf 'Chapter %d\n\n' "$n" >> "$WORK/long.txt"
  cat "$WORK/story.txt" >> "$WORK/long.txt"
  printf '\n' >> "$WORK/long.txt"
done
# CR LF line ends kept (-b keeps the CR bytes that txt2pdbdoc strips otherwise).
sed 's/$/\r/' "$WORK/story.txt" > "$WORK/crlf.txt"

# Zeroes the three dates of a database header so that every run writes the same bytes.
zero_dates() {
  python3 -c "import sys; p=sys.argv[1]; b=bytearray(open(p,'rb').read()); b[36:48]=bytes(12); open(p,'wb').write(b)" "$1"
}

make_book() { # name, title, text, extra options
  txt2pdbdoc $4 "$2" "$3" "$DATA/$1.pdb"
  zero_dates "$DATA/$1.pdb"
}
make_book story "The Clockmaker" "$WORK/story.txt" ""
make_book story-plain "The Clockmaker" "$WORK/story.txt" "-c"
make_book long "The Clockmaker, long" "$WORK/long.txt" ""
make_book long-plain "The Clockmaker, long" "$WORK/long.txt" "-c"
make_book crlf "The Clockmaker, CR LF" "$WORK/crlf.txt" "-b"

# A lone LF becomes CR LF; one that already follows a CR stays.
expand() { perl -0777 -pe 's/(?<!\r)\n/\r\n/g'; }

for book in story story-plain long long-plain crlf; do
  txt2pdbdoc -d "$DATA/$book.pdb" "$WORK/$book.decoded"
  expand < "$WORK/$book.decoded" > "$DATA/$book.expected"
done

# txt2pdbdoc -d cannot read past the picture record that two libmobi samples
# keep after their text; it decodes a copy cut to the text records (record 0 and
# the next `text` records), and its result is checked against libmobi's MD5.
cut_to_text() { # file, text records, out
  python3 - "$1" "$2" "$3" <<'PY'
import struct, sys
src, count, out = sys.argv[1], int(sys.argv[2]), sys.argv[3]
b = bytearray(open(src, 'rb').read())
end = struct.unpack('>I', b[78 + 8 * (count + 1):82 + 8 * (count + 1)])[0]
b[76:78] = struct.pack('>H', count + 1)
open(out, 'wb').write(bytes(b[:end]))
PY
}

: > "$DATA/corpus.expected"
for f in txt2pdbdoc-t_01.pdb txt2pdbdoc-c-t_01.pdb txt2pdbdoc-t_02.pdb txt2pdbdoc-c-t_02.pdb \
         textread_prc.mobi sample-textread-f961754.mobi sample-textread.mobi; do
  case "$f" in
    sample-textread-f961754.mobi) cut_to_text "$CORPUS/$f" 24 "$WORK/in"; md5=a644174e53c23cd0ac108b91200e0ff7 ;;
    sample-textread.mobi) cut_to_text "$CORPUS/$f" 24 "$WORK/in"; md5=1986e790ec56faf9b56f84fb01789cdc ;;
    *) cp "$CORPUS/$f" "$WORK/in"; md5= ;;
  esac
  txt2pdbdoc -d "$WORK/in" "$WORK/out"
  if [ -n "$md5" ] && [ "$(md5sum < "$WORK/out" | cut -c1-32)" != "$md5" ]; then
    echo "txt2pdbdoc -d of $f does not match libmobi's MD5" >&2
    exit 1
  fi
  expand < "$WORK/out" | python3 -c "
import sys, zlib
t = sys.stdin.buffer.read().split(b'\0')[0]
print(sys.argv[1], len(t), '%08x' % zlib.crc32(t))" "$f" >> "$DATA/corpus.expected"
done
