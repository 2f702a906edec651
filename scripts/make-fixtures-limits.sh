#!/bin/sh
# Builds the test files under tests/data/limits/: small files that expand to
# far more than the console's memory (PalmDoc records that all point at the
# same bytes, a PDF of Flate streams just under the ratio limit, a ZIP entry of
# 64 MB of line feeds), and a PDF whose content stream is ASCIIHexDecode over
# FlateDecode in lowercase digits broken by white space. Python 3's zlib and
# zipfile write the compressed data. Run once from anywhere; outputs are
# committed.
#   needs: python3
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
OUT="$ROOT/tests/data/limits"
mkdir -p "$OUT"
/usr/bin/python3 - "$OUT" <<'PY'
import struct, sys, zlib, zipfile
out = sys.argv[1]

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
