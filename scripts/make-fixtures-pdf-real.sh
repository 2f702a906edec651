#!/bin/sh
# Builds the PDF files under tests/data/pdf/real/ with the writers people
# actually use, from the project's own texts in tests/data/pdf/src/
# (voyage.md, English and Spanish, and the man page lockbook.1), and records
# what poppler's pdftotext extracts from each into real/expected/<name>.txt,
# so that the word-share test can run where poppler is not installed.
# Run once from anywhere; the PDFs and the expected texts are committed.
#
#   needs: pandoc libreoffice-writer (or libreoffice-writer-nogui)
#          fonts-liberation2 texlive-latex-recommended texlive-fonts-recommended
#          lmodern weasyprint groff ghostscript abiword qpdf poppler-utils
#          python3
#
# Writers and what each file exercises:
#   libreoffice.pdf     pandoc -> ODT -> soffice: TrueType subsets, WinAnsi
#   pdflatex.pdf        pandoc -> pdfTeX with Latin Modern: Type 1, ligatures
#   weasyprint.pdf      pandoc -> HTML -> WeasyPrint: CID TrueType, Identity-H
#   groff-ps2pdf.pdf    pandoc -> ms -> groff -Tps -> ghostscript: Type 1C,
#                       no ToUnicode
#   groff-pdf.pdf       the same ms through gropdf: unembedded base fonts
#   man-ps2pdf.pdf      a man page through groff -man -Tps -> ghostscript
#   cairo.pdf           the ODT through AbiWord's cairo back end
#   qpdf-*.pdf          libreoffice.pdf rewritten by qpdf (object streams on
#                       and off, linearized) and with an incremental update
#                       appended by hand
#   encrypted/*.pdf     libreoffice.pdf encrypted by qpdf, owner password
#                       "owner": with an empty user password in each method
#                       (RC4 40 and 128 bits, AES-128, AES-256 revisions 5
#                       and 6, object streams, metadata in the clear), and
#                       one with the user password "user"
# Dates and document IDs that a writer takes from the clock are overwritten
# in place (same length, so the cross-reference offsets stay right).
#
#   usage: scripts/make-fixtures-pdf-real.sh [--encrypted]
# --encrypted makes only encrypted/ again, from the committed libreoffice.pdf.
# Those files change on every run: qpdf draws their IVs and salts at random.
set -eu

ROOT=$(cd "$(dirname "$0")/.." && pwd)
SRC="$ROOT/tests/data/pdf/src"
OUT="$ROOT/tests/data/pdf/real"
export LC_ALL=C.UTF-8 TZ=UTC SOURCE_DATE_EPOCH=1773483630 FORCE_SOURCE_DATE=1
PY=/usr/bin/python3
TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT

make_encrypted() {
  enc="$OUT/encrypted"
  base="$OUT/libreoffice.pdf"
  mkdir -p "$enc"
  rm -f "$enc"/*.pdf
  # RC4, and AES-128 with its MD5 key, are what older files use: qpdf writes
  # them only when told.
  weak=--allow-weak-crypto
  qpdf $weak --encrypt "" owner 40 -- "$base" "$enc/rc4-40.pdf"
  qpdf $weak --encrypt "" owner 128 --use-aes=n -- "$base" "$enc/rc4-128.pdf"
  qpdf $weak --encrypt "" owner 128 --use-aes=y -- "$base" "$enc/aes-128.pdf"
  qpdf $weak --object-streams=generate --encrypt "" owner 128 --use-aes=y -- \
    "$base" "$enc/aes-128-objstreams.pdf"
  qpdf --encrypt "" owner 256 --force-R5 -- "$base" "$enc/aes-256-r5.pdf"
  qpdf --encrypt "" owner 256 -- "$base" "$enc/aes-256.pdf"
  qpdf --encrypt user owner 256 -- "$base" "$enc/user-password.pdf"
  # An XMP stream added to the catalog by an incremental update, then kept in
  # the clear by qpdf (crypt filters with RC4: /V 4, /R 4).
  qpdf --show-object=trailer "$base" > "$TMP/trailer.txt"
  catalog=$(sed -n 's/.*\/Root \([0-9]*\) 0 R.*/\1/p' "$TMP/trailer.txt")
  qpdf --show-object="$catalog" "$base" > "$TMP/catalog.txt"
  "$PY" - "$base" "$TMP/metadata.pdf" "$catalog" "$TMP/catalog.txt" "$TMP/trailer.txt" <<'PYTHON'
import re, sys
src, dst, catalog = sys.argv[1], sys.argv[2], int(sys.argv[3])
base = open(src, 'rb').read()
prev = int(re.findall(rb'startxref\s+(\d+)', base)[-1])
trailer = open(sys.argv[5], 'rb').read().strip()
size = int(re.search(rb'/Size (\d+)', trailer).group(1))
xmp = (b'<?xpacket begin="" id="W5M0MpCehiHzreSzNTczkc9d"?>\n'
       b'<x:xmpmeta xmlns:x="adobe:ns:meta/"><rdf:RDF'
       b' xmlns:rdf="http://www.w3.org/1999/02/22-rdf-syntax-ns#">'
       b'<rdf:Description rdf:about="" xmlns:dc="http://purl.org/dc/elements/1.1/">'
       b'<dc:title>The Slow Voyage</dc:title></rdf:Description></rdf:RDF></x:xmpmeta>\n'
       b'<?xpacket end="r"?>')
cat = open(sys.argv[4], 'rb').read().strip()
cat = cat[:cat.rindex(b'>>')] + b'/Metadata %d 0 R >>' % size
objs = {catalog: cat,
        size: b'<< /Type /Metadata /Subtype /XML /Length %d >>\nstream\n' % len(xmp) + xmp + b'\nendstream'}
out = bytearray(base)
if not out.endswith(b'\n'):
    out += b'\n'
offsets = {}
for num in sorted(objs):
    offsets[num] = len(out)
    out += b'%d 0 obj\n' % num + objs[num] + b'\nendobj\n'
xref = len(out)
out += b'xref\n0 1\n0000000000 65535 f \n'
for num in sorted(objs):
    out += b'%d 1\n%010d 00000 n \n' % (num, offsets[num])
tail = re.sub(rb'/Size \d+', b'/Size %d' % (size + 1), trailer)
out += b'trailer\n' + tail[:tail.rindex(b'>>')] + b'/Prev %d >>\n' % prev
out += b'startxref\n%d\n%%%%EOF\n' % xref
open(dst, 'wb').write(out)
PYTHON
  qpdf $weak --encrypt "" owner 128 --use-aes=n --cleartext-metadata -- \
    "$TMP/metadata.pdf" "$enc/rc4-128-clear-metadata.pdf"
}

if [ "${1:-}" = --encrypted ]; then
  make_encrypted
  exit 0
fi

mkdir -p "$OUT/expected"
rm -f "$OUT"/*.pdf "$OUT"/expected/*.txt
cp "$SRC/voyage.md" "$SRC/lockbook.1" "$TMP/"
cd "$TMP"

# Rewrites /CreationDate, /ModDate, /ID and /DocChecksum in the uncompressed parts of a PDF
# with values derived from SOURCE_DATE_EPOCH and the file name.
fix_clock() {
  "$PY" - "$1" <<'EOF'
import hashlib, os, re, sys, time
path = sys.argv[1]
data = open(path, 'rb').read()
stamp = time.strftime('%Y%m%d%H%M%S', time.gmtime(int(os.environ['SOURCE_DATE_EPOCH']))).encode()
data = re.sub(rb'(/(?:CreationDate|ModDate)\s*\(D:)\d{14}', lambda m: m.group(1) + stamp, data)
seed = hashlib.md5(os.path.basename(path).encode()).hexdigest().upper().encode()
def ident(m):
    return m.group(1) + b''.join(b'<' + (seed * 4)[:len(h)] + b'>' for h in re.findall(rb'<([0-9A-Fa-f]+)>', m.group(2))) + b']'
data = re.sub(rb'(/ID\s*\[)([^\]]*)\]', ident, data)
data = re.sub(rb'(/DocChecksum\s*/)([0-9A-Fa-f]{32})', lambda m: m.group(1) + seed[:32], data)
open(path, 'wb').write(data)
EOF
}

# LibreOffice, from the ODT that pandoc writes.
pandoc voyage.md -o voyage.odt
soffice --headless "-env:UserInstallation=file://$TMP/lo-profile" \
  --convert-to pdf --outdir "$TMP/lo" voyage.odt >/dev/null 2>&1
cp lo/voyage.pdf "$OUT/libreoffice.pdf"
fix_clock "$OUT/libreoffice.pdf"

# pdfTeX through pandoc's LaTeX template (Latin Modern).
pandoc voyage.md --pdf-engine=pdflatex -V papersize=a4 -V fontfamily=lmodern \
  -o "$OUT/pdflatex.pdf"
fix_clock "$OUT/pdflatex.pdf"

# WeasyPrint, from pandoc's standalone HTML (hyphenates by itself).
pandoc -s voyage.md -o voyage.html
weasyprint -q voyage.html "$OUT/weasyprint.pdf"
fix_clock "$OUT/weasyprint.pdf"

# groff ms, in Times: PostScript through ghostscript, and gropdf.
pandoc -s -t ms -V fontfamily=T voyage.md -o voyage.ms
groff -Kutf8 -mspdf -Tps voyage.ms > voyage.ps
ps2pdf voyage.ps "$OUT/groff-ps2pdf.pdf"
groff -Kutf8 -ms -Tpdf voyage.ms > "$OUT/groff-pdf.pdf"

# A man page, PostScript through ghostscript (no title, as man pages come).
groff -Kutf8 -man -Tps lockbook.1 > lockbook.ps
ps2pdf lockbook.ps "$OUT/man-ps2pdf.pdf"

# AbiWord's cairo PDF back end, from the same ODT.
abiword --to=pdf -o "$OUT/cairo.pdf" voyage.odt 2>/dev/null
fix_clock "$OUT/cairo.pdf"

# qpdf rewrites of the LibreOffice file.
qpdf --deterministic-id --object-streams=generate "$OUT/libreoffice.pdf" "$OUT/qpdf-objstreams.pdf"
qpdf --deterministic-id --object-streams=disable "$OUT/libreoffice.pdf" "$OUT/qpdf-no-objstreams.pdf"
qpdf --deterministic-id --linearize "$OUT/libreoffice.pdf" "$OUT/qpdf-linearized.pdf"

# An incremental update appended to the LibreOffice file: a new version of the
# document information (a new title), a new version of the first page whose
# /Contents points at a new, uncompressed copy of its content stream, and a
# cross-reference section with /Prev pointing at the original one. The text
# of the pages does not change.
qpdf --show-pages "$OUT/libreoffice.pdf" > pages.txt
first=$(sed -n 's/^page 1: \([0-9]*\) 0 R$/\1/p' pages.txt)
content=$(awk '/^page 2:/ { exit } / content:/ { c = 1; next } c && /0 R/ { print $1; exit }' pages.txt)
qpdf --show-object="$first" "$OUT/libreoffice.pdf" > page.txt
qpdf --show-object="$content" --filtered-stream-data "$OUT/libreoffice.pdf" > content.bin
qpdf --show-object=trailer "$OUT/libreoffice.pdf" > trailer.txt
"$PY" - "$OUT/libreoffice.pdf" "$OUT/qpdf-incremental.pdf" "$first" <<'EOF'
import re, sys
src, dst, page = sys.argv[1], sys.argv[2], int(sys.argv[3])
base = open(src, 'rb').read()
prev = int(re.findall(rb'startxref\s+(\d+)', base)[-1])
trailer = open('trailer.txt', 'rb').read()
size = int(re.search(rb'/Size (\d+)', trailer).group(1))
root = re.search(rb'/Root (\d+ \d+ R)', trailer).group(1)
info = int(re.search(rb'/Info (\d+) 0 R', trailer).group(1))
ident = re.search(rb'/ID (\[[^\]]*\])', trailer).group(1)
page_dict = open('page.txt', 'rb').read().strip()
content = open('content.bin', 'rb').read()
new_content = size
page_dict = re.sub(rb'/Contents (\d+ 0 R|\[[^\]]*\])', b'/Contents %d 0 R' % new_content, page_dict)
objs = {
    info: b'<< /Title (The Slow Voyage, revised edition) /Creator (Writer)'
          b' /Producer (LibreOffice 7.4; hand-made update)'
          b' /ModDate (D:20260314102030Z) >>',
    page: page_dict,
    new_content: b'<< /Length %d >>\nstream\n' % len(content) + content + b'\nendstream',
}
out = bytearray(base)
if not out.endswith(b'\n'):
    out += b'\n'
offsets = {}
for num in sorted(objs):
    offsets[num] = len(out)
    out += b'%d 0 obj\n' % num + objs[num] + b'\nendobj\n'
xref = len(out)
out += b'xref\n0 1\n0000000000 65535 f \n'
for num in sorted(objs):
    out += b'%d 1\n%010d 00000 n \n' % (num, offsets[num])
out += (b'trailer\n<< /Size %d /Root %s /Info %d 0 R /ID %s /Prev %d >>\n'
        % (new_content + 1, root, info, ident, prev))
out += b'startxref\n%d\n%%%%EOF\n' % xref
open(dst, 'wb').write(out)
EOF

for f in "$OUT"/*.pdf; do
  pdftotext -enc UTF-8 "$f" "$OUT/expected/$(basename "$f" .pdf).txt"
done

make_encrypted
