#!/bin/sh
# Builds the PDF test files under tests/data/pdf/ from the texts in
# tests/data/pdf/src/ with real writers (groff with ghostscript's ps2pdf,
# groff's own PDF output, enscript with ps2pdf, reportlab), and records what
# poppler's pdftotext extracts from them and from the PDFs of the third-party
# corpus, for the word-share test. Run once from anywhere; outputs are committed.
#   needs: groff ghostscript enscript python3-reportlab poppler-utils
set -eu

ROOT=$(cd "$(dirname "$0")/.." && pwd)
DATA="$ROOT/tests/data/pdf"
CORPUS="$ROOT/tests/data/corpus/pdf"
export LC_ALL=C TZ=UTC SOURCE_DATE_EPOCH=1773483630
TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT

cd "$DATA"
rm -f ./*.pdf expected/*.txt
mkdir -p expected

# ghostscript: compressed content streams, the same uncompressed, and the same
# with ASCII85 over Flate (filter array [/ASCII85Decode /FlateDecode]).
groff -ms -Tps src/harbour.ms > "$TMP/harbour.ps"
ps2pdf "$TMP/harbour.ps" groff-ps2pdf.pdf
ps2pdf -dCompressPages=false "$TMP/harbour.ps" groff-ps2pdf-plain.pdf
ps2pdf -dASCII85EncodePages=true "$TMP/harbour.ps" groff-ps2pdf-a85.pdf
# groff's own PDF writer.
groff -ms -Tpdf src/harbour.ms > gropdf.pdf
# A plain text through enscript's PostScript.
enscript -q -B -o "$TMP/lighthouse.ps" src/lighthouse.txt
ps2pdf "$TMP/lighthouse.ps" enscript-ps2pdf.pdf
# reportlab: uncompressed, and ASCII85 over Flate with a page that inflates
# to more than ten times its size.
(cd "$TMP" && /usr/bin/python3 "$DATA/src/tides.py")
cp "$TMP/reportlab-plain.pdf" "$TMP/reportlab-flate.pdf" .

for f in ./*.pdf; do
  name=$(basename "$f" .pdf)
  pdftotext -enc UTF-8 "$f" "expected/$name.txt"
done
for f in "$CORPUS"/*.pdf; do
  name=$(basename "$f" .pdf)
  pdftotext -enc UTF-8 "$f" "expected/corpus-$name.txt" 2>/dev/null || : > "expected/corpus-$name.txt"
done
