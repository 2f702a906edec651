#!/bin/sh
# Builds the test files under tests/data/limits/: small files that expand to
# far more than the console's memory (PalmDoc records that all point at the
# same bytes, a PDF of Flate streams just under the ratio limit, a ZIP entry of
# 64 MB of line feeds, EPUBs whose spine repeats one chapter 100,000 times,
# whose manifest holds 25,000 items or a 3 MB path, whose container holds a
# 16 MB attribute), and a PDF whose content stream is ASCIIHexDecode over
# FlateDecode in lowercase digits broken by white space. Python 3's zlib and
# zipfile write the compressed data. Run once from anywhere; outputs are
# committed. With --large DIR it writes instead, into DIR, the hostile files
# too large to commit (a 21 MB PDF of 1,300 streams that each inflate to
# 16 MB of blanks; an EPUB of 1.4 million manifest items), for
# scripts/check-memory.sh.
#   needs: python3
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
OUT="$ROOT/tests/data/limits"
LARGE=
if [ "${1:-}" = --large ]; then
  LARGE=1
  OUT=$2
fi
mkdir -p "$OUT"
/usr/bin/python3 - "$OUT" "$LARGE" <<'PY'
import struct, sys, zlib, zipfile
out, large = sys.argv[1], sys.argv[2] == "1"

def epub(path, package, chapter=b"<html><body><p>A chapter.</p></body></html>", container=None):
    if container is None:
        container = (b'<?xml version="1.0"?><container version="1.0" '
                     b'xmlns="urn:oasis:names:tc:opendocument:xmlns:container"><rootfiles>'
                     b'<rootfile full-path="content.opf" media-type="application/oebps-package+xml"/>'
                     b'</rootfiles></container>')
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED, compresslevel=9) as z:
        z.writestr(zipfile.ZipInfo("mimetype"), b"application/epub+zip")
        z.writestr("META-INF/container.xml", container)
        z.writestr("content.opf", package)
        z.writestr("c.xhtml", chapter)

def opf(manifest, spine):
    return (b'<?xml version="1.0"?><package xmlns="http://www.idpf.org/2007/opf" version="2.0">'
            b'<metadata xmlns:dc="http://purl.org/dc/elements/1.1/"><dc:title>Hostile</dc:title></metadata>'
            b'<manifest>' + manifest + b'</manifest><spine>' + spine + b'</spine></package>')

CHAPTER_ITEM = b'<item id="c" href="c.xhtml" media-type="application/xhtml+xml"/>'

if large:
    # 1,300 streams of 16 MB of blanks, each compressed to about 16 KB.
    blanks = zlib.compress(b" " * (16 << 20), 9)
    objs = [b"<< /Type /Catalog /Pages 2 0 R >>",
            b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
            b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents [%s] >>"
            % b" ".join(b"%d 0 R" % (4 + i) for i in range(1300))]
    objs += [b"<< /Length %d /Filter /FlateDecode >>\nstream\n" % len(blanks) + blanks + b"\nendstream"] * 1300
    body, offsets = bytearray(b"%PDF-1.4\n"), []
    for i, o in enumerate(objs):
        offsets.append(len(body))
        body += b"%d 0 obj\n" % (i + 1) + o + b"\nendobj\n"
    xref = len(body)
    body += b"xref\n0 %d\n0000000000 65535 f \n" % (len(objs) + 1)
    body += b"".join(b"%010d 00000 n \n" % off for off in offsets)
    body += b"trailer\n<< /Size %d /Root 1 0 R >>\nstartxref\n%d\n%%%%EOF\n" % (len(objs) + 1, xref)
    open(out + "/many-streams.pdf", "wb").write(bytes(body))
    items = b"".join(b'<item id="i%d" href="c%d.xhtml" media-type="application/xhtml+xml"/>' % (i, i)
                     for i in range(1400000))
    epub(out + "/many-items-large.epub", opf(CHAPTER_ITEM + items, b'<itemref idref="c"/>'))
    sys.exit(0)

# One chapter of about 3 KB, 100,000 times in the spine.
chapter = b"<html><body>" + b"<p>The lighthouse stood above the bay, and the keeper counted ships.</p>" * 40 + b"</body></html>"
epub(out + "/spine-repeat.epub", opf(CHAPTER_ITEM, b'<itemref idref="c"/>' * 100000), chapter)
# 25,000 manifest items (past the bound), one of them read.
items = b"".join(b'<item id="i%d" href="c%d.xhtml" media-type="application/xhtml+xml"/>' % (i, i)
                 for i in range(25000))
epub(out + "/many-items.epub", opf(CHAPTER_ITEM + items, b'<itemref idref="c"/>'))
# A manifest path of 3 MB beside the real chapter's item.
epub(out + "/long-href.epub", opf(b'<item id="x" href="' + b"a/" * (3 << 19) + b'x.xhtml" media-type="application/xhtml+xml"/>'
                                  + CHAPTER_ITEM, b'<itemref idref="x"/><itemref idref="c"/>'))
# A container whose rootfile path is 16 MB long.
epub(out + "/huge-container.epub", opf(CHAPTER_ITEM, b'<itemref idref="c"/>'),
     container=b'<?xml version="1.0"?><container xmlns="urn:oasis:names:tc:opendocument:xmlns:container">'
               b'<rootfiles><rootfile full-path="' + b"p" * (16 << 20) +
               b'" media-type="application/oebps-package+xml"/></rootfiles></container>')

def pdb(path, data, records):
    # Stored (compression 1) records alternating between the start and the
    # end of one block of data: every other record is the whole block, the
    # ones between end before they start and hold nothing.
    header = bytearray(78)
    header[0:9] = b"Amplified"
    header[60:68] = b"TEXtREAd"
    struct.pack_into(">H", header, 76, records)
    first = 78 + 8 * records + 2
    record0 = struct.pack(">HHIHHI", 1, 0, min(len(data) * records, 0xFFFFFFFF), records - 1, 4096, 0)
    a = first + len(record0)
    b = a + len(data)
    entries = bytearray()
    entries += struct.pack(">II", first, 0)
    for i in range(1, records):
        entries += struct.pack(">II", a if i % 2 else b, 0)
    open(path, "wb").write(bytes(header) + bytes(entries) + b"\0\0" + record0 + data)

words = b"the river turned towards the old mill where seven boats waited "
pdb(out + "/same-records.pdb", (words * 4200)[:262144], 32767)
# Line feeds only: each becomes CR LF and a line, so the height would pass
# 2^31 pixels long before the text ended.
pdb(out + "/line-feeds.pdb", b"\n" * 65536, 32767)

def pdf(path, streams):
    objs = [b"<< /Type /Catalog /Pages 2 0 R >>",
            b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
            b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents [%s] "
            b"/Resources << /Font << /F1 << /Type /Font /Subtype /Type1 /BaseFont /Helvetica >> >> >> >>"
            % b" ".join(b"%d 0 R" % (4 + i) for i in range(len(streams)))]
    for filters, data in streams:
        objs.append(b"<< /Length %d /Filter %s >>\nstream\n" % (len(data), filters) + data + b"\nendstream")
    body = b"%PDF-1.4\n"
    offsets = []
    for i, o in enumerate(objs):
        offsets.append(len(body))
        body += b"%d 0 obj\n" % (i + 1) + o + b"\nendobj\n"
    xref = len(body)
    body += b"xref\n0 %d\n0000000000 65535 f \n" % (len(objs) + 1)
    body += b"".join(b"%010d 00000 n \n" % off for off in offsets)
    body += b"trailer\n<< /Size %d /Root 1 0 R >>\nstartxref\n%d\n%%%%EOF\n" % (len(objs) + 1, xref)
    open(path, "wb").write(body)

# Eight streams that each inflate to about 60 MB of shown text, at a ratio
# just under 1000:1.
block = b"a" * 4095 + b" "
content = b"BT /F1 12 Tf 72 700 Td (" + block * (60 * 256) + b") Tj ET\n"
flate = zlib.compress(content, 9)
assert len(content) < 1000 * len(flate), (len(content), len(flate))
pdf(out + "/flate-bombs.pdf", [(b"/FlateDecode", flate)] * 8)

# ASCIIHexDecode over FlateDecode, lowercase digits in lines of 64 with a
# space every 8 digits, as some writers lay them out.
text = b"BT /F1 12 Tf 72 700 Td (Hexadecimal streams decode) Tj 0 -14 Td (in lowercase too) Tj ET\n"
digits = zlib.compress(text, 9).hex().encode()
lines = []
for i in range(0, len(digits), 64):
    line = digits[i:i + 64]
    lines.append(b" ".join(line[j:j + 8] for j in range(0, len(line), 8)))
hexdata = b"\r\n".join(lines) + b">"
pdf(out + "/hex-flate.pdf", [(b"[/ASCIIHexDecode /FlateDecode]", hexdata)])

# One entry of 64 MB of line feeds.
with zipfile.ZipFile(out + "/line-feeds.zip", "w", zipfile.ZIP_DEFLATED, compresslevel=9) as z:
    z.writestr("feeds.txt", b"\n" * (64 * 1024 * 1024))
PY
ls -l "$OUT"
