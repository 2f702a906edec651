#!/bin/sh
# Builds the FictionBook test books under tests/data/fb2/: calibre's
# ebook-convert makes calibre.fb2 (with a cover picture, so a binary element)
# from tests/data/fb2/src/book.md, Info-ZIP zip packs it as calibre.fb2.zip,
# and the hand-written books of the odd cases are written here, the two
# single-byte ones converted from UTF-8 with iconv. The golden formatted texts
# (*.golden) are written by fb2_test with QUILLO_UPDATE_GOLDEN=1; review their
# diff.
#   needs: calibre, zip, iconv, python3 (apt-get install calibre zip)
set -eu

ROOT=$(cd "$(dirname "$0")/.." && pwd)
DATA="$ROOT/tests/data/fb2"
SEEDS="$ROOT/fuzz/seeds/fb2"
export LC_ALL=C.UTF-8 TZ=UTC SOURCE_DATE_EPOCH=1577836800

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

# A 4 x 4 grey PNG for the cover, so that the book carries a picture.
python3 - "$WORK/cover.png" <<'PY'
import struct, sys, zlib
def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
rows = b"".join(b"\0" + b"\x80" * 4 for _ in range(4))
png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", 4, 4, 8, 0, 0, 0, 0)) \
    + chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b"")
open(sys.argv[1], "wb").write(png)
PY

cp "$DATA/src/book.md" "$WORK/book.md"
(cd "$WORK" && ebook-convert book.md calibre.fb2 --formatting-type markdown \
  --title "Crossings — “Tales of the Estuary”" --authors "Marina Vidal" --language en \
  --cover cover.png --sectionize toc --level1-toc '//h:h1' >convert.log 2>&1) ||
  { cat "$WORK/convert.log"; exit 1; }
# calibre writes the day of the run and a random id: fixed ones, so that every
# run writes the same bytes.
sed -e 's|<date>[^<]*</date>|<date>1.1.2020</date>|' \
    -e 's|<id>[^<]*</id>|<id>00000000-0000-0000-0000-000000000000</id>|' \
    "$WORK/calibre.fb2" > "$DATA/calibre.fb2"

rm -f "$DATA/calibre.fb2.zip"
cp "$DATA/calibre.fb2" "$WORK/calibre.fb2"
touch -d 2020-01-01T00:00:00 "$WORK/calibre.fb2"
(cd "$WORK" && zip -X -q "$DATA/calibre.fb2.zip" calibre.fb2)

# Poems, an epigraph, a quotation, a table, a subtitle, nested sections, blank
# lines, a picture and a notes body, in UTF-8.
cat > "$DATA/poem.fb2" <<'XML'
<?xml version="1.0" encoding="utf-8"?>
<FictionBook xmlns="http://www.gribuser.ru/xml/fictionbook/2.0" xmlns:l="http://www.w3.org/1999/xlink">
<description><title-info><genre>poetry</genre><author><first-name>Ana</first-name></author>
<book-title>  Songs of
  the  Tide </book-title><annotation><p>Not part of the text.</p></annotation></title-info>
<document-info><book-title>Not this one</book-title></document-info></description>
<body name="notes"><title><p>Notes</p></title>
<section id="n1"><title><p>1</p></title><p>The tide of the <emphasis>first</emphasis> note.</p></section>
<section id="n2"><title><p>2</p></title><p>The second note.</p></section>
</body>
<body>
<title><p>Songs of the Tide</p><p>Ana</p></title>
<epigraph><p>The sea remembers <strong>everything</strong>.</p><text-author>Old saying</text-author></epigraph>
<section><title><p>Part One</p><p>The Shore</p></title>
<p>Before the poem<a l:href="#n1" type="note">[1]</a>.</p>
<poem><title><p>Low Water</p></title>
<stanza><v>The boats lie down</v><v>on their <emphasis>sides</emphasis> in the mud,</v></stanza>
<stanza><v>and wait.</v></stanza>
<text-author>Ana</text-author><date>1999</date></poem>
<empty-line/>
<p>After a blank line.</p>
<section><title><p>An Inner Part</p></title><subtitle>* * *</subtitle>
<cite><p>Quoted words.</p><text-author>Someone</text-author></cite>
<table><tr><th>Tide</th><th>Hour</th></tr><tr><td>High</td><td>6:10</td></tr></table>
<image l:href="#pic"/>
</section>
</section>
<section><title><p>Part Two</p></title><p>Mixed <strong>bold <emphasis>and italic</emphasis></strong> end.</p></section>
</body>
<binary id="pic" content-type="image/png">iVBORw0KGgoAAAANSUhEUgAAAAQAAAAECAAAAACMmsGiAAAADklEQVR4nGNoYIADHBwAgjgD/ZyW+okAAAAASUVORK5CYII=</binary>
</FictionBook>
XML

# Single-byte books: declared by their XML declaration, bytes from iconv.
cat > "$WORK/cp1251.xml" <<'XML'
<?xml version="1.0" encoding="windows-1251"?>
<FictionBook xmlns="http://www.gribuser.ru/xml/fictionbook/2.0">
<description><title-info><book-title>Море — Sea</book-title></title-info></description>
<body><section><title><p>Глава первая</p></title>
<p>Latin words «stay» — and Cyrillic ones become marks: море.</p>
<p>Number № 5, euro €, and <emphasis>курсив</emphasis>.</p>
</section></body>
</FictionBook>
XML
iconv -f UTF-8 -t WINDOWS-1251 "$WORK/cp1251.xml" > "$DATA/cp1251.fb2"

cat > "$WORK/cp1252.xml" <<'XML'
<?xml version="1.0" encoding="Windows-1252"?>
<FictionBook xmlns="http://www.gribuser.ru/xml/fictionbook/2.0">
<description><title-info><book-title>Canción del “Faro”</book-title></title-info></description>
<body><section><title><p>Capítulo único</p></title>
<p>Niño, corazón, façade, Übermut – “comillas” y ‘simples’… 5 €.</p>
</section></body>
</FictionBook>
XML
iconv -f UTF-8 -t WINDOWS-1252 "$WORK/cp1252.xml" > "$DATA/cp1252.fb2"

# Broken books: a tag closed by the wrong name before any body text (a book
# that breaks later shows what came before), and a well-formed book without a
# body.
cat > "$DATA/malformed.fb2" <<'XML'
<?xml version="1.0" encoding="utf-8"?>
<FictionBook xmlns="http://www.gribuser.ru/xml/fictionbook/2.0">
<description><title-info><book-title>Broken</title-info></book-title></description>
<body><section><title><p>Start</p></title><p>Never shown.</p></section></body>
</FictionBook>
XML

cat > "$DATA/nobody.fb2" <<'XML'
<?xml version="1.0" encoding="utf-8"?>
<FictionBook xmlns="http://www.gribuser.ru/xml/fictionbook/2.0">
<description><title-info><book-title>Only a Description</book-title></title-info></description>
<binary id="x" content-type="image/png">AAAA</binary>
</FictionBook>
XML

# The fuzzer's seeds: every book but the zipped one.
mkdir -p "$SEEDS"
for f in calibre poem cp1251 cp1252 malformed nobody; do
  cp "$DATA/$f.fb2" "$SEEDS/$f.fb2"
done
