#!/usr/bin/env python3
"""Writes the hand-made Kindle books of tests/data/mobi/ from the published
description of the format (Palm database, PalmDOC and MOBI headers, EXTH,
trailing entries, PalmDoc and HUFF/CDIC compression), for the cases calibre
does not write: trailing entries of several kinds, a HUFF/CDIC-compressed text,
protected books, an unknown compression, a broken record table and a file cut
short. Usage: make-mobi-handmade.py OUTPUT-FOLDER (run by make-fixtures-mobi.sh).
"""
import heapq
import os
import struct
import sys

TITLE = "Notas del faro \u2014 \u201cHand-made\u201d"

# Two chapters with accents, curly quotes, bold, italic and a character
# outside code page 1252 (shown as "?"), split by a page break.
BOOK = (
    "<html><head><guide></guide></head><body>"
    "<h2>Cap\u00edtulo uno</h2>"
    "<p>The keeper\u2019s daughter climbed the stairs at dusk, and Se\u00f1ora Ib\u00e1\u00f1ez "
    "said: \u201cThe lamp is <b>ready</b>, the wick is <i>trimmed</i>.\u201d The caf\u00e9 "
    "below sold cr\u00e8me br\u00fbl\u00e9e to the fishermen, who paid in coins and stories. "
    "A star \U0001F31F hung over the bay.</p>"
    "<mbp:pagebreak/>"
    "<h2>Cap\u00edtulo dos</h2>"
    "<p>In the morning the na\u00efve clerk from the city counted the \u00bdpenny stamps "
    "and wrote \u201call well\u201d in the <b>logbook</b> \u2026 the <i>Esperanza</i> had passed "
    "safely at four, and the \u00e6ther smelled of salt and \u00f8il.</p>"
    "</body></html>"
)


def backward_size(content_length):
    """The entry size (content plus the size bytes themselves) as a backward
    variable-width integer: 7 bits a byte, most significant first, the high
    bit marking the first byte."""
    n = 1
    while True:
        size = content_length + n
        digits = []
        v = size
        while True:
            digits.append(v & 0x7F)
            v >>= 7
            if not v:
                break
        if len(digits) == n:
            digits.reverse()
            digits[0] |= 0x80
            return bytes(digits)
        n = len(digits)


def palmdoc_compress(data):
    """PalmDoc compression with literals, space pairs and back references."""
    out = bytearray()
    i = 0
    while i < len(data):
        # A back reference of 3 to 10 bytes within the last 2047.
        best_len, best_dist = 0, 0
        for dist in range(1, min(i, 2047) + 1):
            n = 0
            while n < 10 and i + n < len(data) and data[i + n - dist] == data[i + n]:
                n += 1
            if n > best_len:
                best_len, best_dist = n, dist
        if best_len >= 3:
            code = 0x8000 | (best_dist << 3) | (best_len - 3)
            out += struct.pack(">H", code)
            i += best_len
            continue
        c = data[i]
        if c == 0x20 and i + 1 < len(data) and 0x40 <= data[i + 1] <= 0x7F:
            out.append(data[i + 1] ^ 0x80)
            i += 2
        elif c == 0 or 0x09 <= c <= 0x7F:
            out.append(c)
            i += 1
        else:
            run = bytearray()
            while i < len(data) and len(run) < 8 and not (data[i] == 0 or 0x09 <= data[i] <= 0x7F):
                run.append(data[i])
                i += 1
            out.append(len(run))
            out += run
    return bytes(out)


def utf8_overlap(text, end):
    """Bytes after end that complete a UTF-8 character cut at end."""
    start = end
    while start > 0 and (text[start - 1] & 0xC0) == 0x80:
        start -= 1
    if start == 0:
        return b""
    lead = text[start - 1]
    need = 2 if lead >= 0xC0 and lead < 0xE0 else 3 if lead >= 0xE0 and lead < 0xF0 else 4 if lead >= 0xF0 else 1
    have = end - (start - 1)
    return text[end:end + need - have] if have < need else b""


def text_records(text, sizes, compress, flags, extra_entries):
    """Splits text into records of the given sizes (cycled); each record gets
    the multibyte overlap (flags bit 0) and one size-encoded entry per other
    flag bit, taken from extra_entries (cycled)."""
    records, at, k = [], 0, 0
    while at < len(text):
        size = sizes[k % len(sizes)]
        if flags & 1:
            # Cut inside the next multibyte character, one byte or more into it.
            lead = next((j for j in range(at + size, min(at + size + 200, len(text))) if text[j] >= 0xC0), None)
            if lead is not None:
                need = 2 if text[lead] < 0xE0 else 3 if text[lead] < 0xF0 else 4
                size = lead + 1 + k % (need - 1) - at
        chunk = text[at:at + size]
        record = compress(chunk) if compress else chunk
        if flags & 1:
            overlap = utf8_overlap(text, at + len(chunk))
            record += overlap + bytes([len(overlap)])
        for bit in range(1, 16):
            if flags >> bit & 1:
                content = extra_entries[(k + bit) % len(extra_entries)]
                record += content + backward_size(len(content))
        records.append(record)
        at += len(chunk)
        k += 1
    return records


def record0(compression, text_length, text_count, encryption=0, encoding=65001, flags=0,
            huff=(0xFFFFFFFF, 0), first_non_book=None, record_size=4096):
    header_length = 0xE8
    r = bytearray(16 + header_length)
    struct.pack_into(">HHIHHHH", r, 0, compression, 0, text_length, text_count, record_size, encryption, 0)
    r[16:20] = b"MOBI"
    struct.pack_into(">IIIII", r, 20, header_length, 2, encoding, 0x12345678, 6)
    for off in range(40, 80, 4):
        struct.pack_into(">I", r, off, 0xFFFFFFFF)
    exth_records = [(100, "Quillo Tests".encode()), (503, TITLE.encode("utf-8"))]
    exth = b"".join(struct.pack(">II", t, 8 + len(d)) + d for t, d in exth_records)
    exth = b"EXTH" + struct.pack(">II", 12 + len(exth), len(exth_records)) + exth
    exth += b"\0" * (-len(exth) % 4)
    full_name = "Hand-made fallback".encode()
    name_offset = len(r) + len(exth)
    struct.pack_into(">III", r, 80, first_non_book if first_non_book is not None else text_count + 1,
                     name_offset, len(full_name))
    struct.pack_into(">IIII", r, 92, 1033, 0, 0, 6)
    struct.pack_into(">I", r, 108, 0xFFFFFFFF)
    struct.pack_into(">II", r, 112, huff[0], huff[1])
    struct.pack_into(">I", r, 128, 0x40)
    struct.pack_into(">I", r, 164, 0xFFFFFFFF)
    struct.pack_into(">I", r, 168, 0xFFFFFFFF)
    struct.pack_into(">HHI", r, 192, 1, text_count, 1)
    struct.pack_into(">I", r, 240, flags)
    struct.pack_into(">I", r, 244, 0xFFFFFFFF)
    return bytes(r) + exth + full_name + b"\0\0"


def database(records, type_creator=b"BOOKMOBI", offsets=None):
    n = len(records)
    head = b"Hand_made".ljust(32, b"\0") + struct.pack(">HHIIIIII", 0, 0, 0, 0, 0, 0, 0, 0)
    head += type_creator + struct.pack(">IIH", 0, 0, n)
    at = len(head) + 8 * n + 2
    table = b""
    computed = []
    for i, rec in enumerate(records):
        computed.append(at)
        at += len(rec)
    for i, off in enumerate(offsets or computed):
        table += struct.pack(">II", off, 2 * i)
    return head + table + b"\0\0" + b"".join(records)


def book(compression=2, encryption=0, flags=0, sizes=(4096,), entries=(b"",), name_text=BOOK):
    text = name_text.encode("utf-8")
    compress = palmdoc_compress if compression == 2 else None
    recs = text_records(text, list(sizes), compress, flags, list(entries))
    r0 = record0(compression, len(text), len(recs), encryption=encryption, flags=flags,
                 record_size=max(sizes))
    eof = b"\xe9\x8e\r\n"
    return database([r0] + recs + [eof])


# --- HUFF/CDIC ---------------------------------------------------------------

def huffman_lengths(freq):
    heap = [(f, i, [s]) for i, (s, f) in enumerate(sorted(freq.items()))]
    heapq.heapify(heap)
    lengths = {s: 0 for s in freq}
    counter = len(heap)
    while len(heap) > 1:
        f1, _, a = heapq.heappop(heap)
        f2, _, b = heapq.heappop(heap)
        for s in a + b:
            lengths[s] += 1
        heapq.heappush(heap, (f1 + f2, counter, a + b))
        counter += 1
    return lengths


def huff_tables(lengths):
    """Codes with shorter codes numerically higher (left-aligned), phrase index
    = stored maximum of the code's length - code. Returns (codes, order,
    huff record)."""
    by_length = {}
    for s, n in lengths.items():
        by_length.setdefault(n, []).append(s)
    max_len = max(lengths.values())
    codes, order = {}, []
    mins, stored = [0] * 33, [0] * 33
    next_code = 0
    for n in range(max_len, 0, -1):
        group = sorted(by_length.get(n, []))
        lo = next_code
        base = len(order)
        for k, s in enumerate(group):
            codes[s] = (lo + k, n)
        hi = lo + len(group) - 1
        # The phrase of code c is stored[n] - c: the highest code comes first.
        for k in range(len(group) - 1, -1, -1):
            order.append(group[k])
        mins[n] = lo
        stored[n] = hi + base if group else 0
        next_code = (hi + 2) >> 1 if group else (lo + 1) >> 1
    for n in range(max_len + 1, 33):
        mins[n], stored[n] = 0, 0
    dict1 = []
    for byte in range(256):
        # The codes whose first 8 bits are this byte.
        term = None
        for s, (c, n) in codes.items():
            if n <= 8 and (c << (8 - n)) <= byte < ((c + 1) << (8 - n)):
                term = n
        if term is not None:
            dict1.append(term | 0x80 | (stored[term] << 8))
        else:
            dict1.append(9)  # longer codes: the length is found from the table below
    dict2 = []
    for n in range(1, 33):
        dict2 += [mins[n], stored[n]]
    huff = b"HUFF" + struct.pack(">IIIII", 24, 24, 24 + 1024, 0, 0)
    huff += struct.pack(">256I", *dict1) + struct.pack(">64I", *dict2)
    return codes, order, huff


def bits_of(symbols, codes):
    bits = "".join(format(codes[s][0], "0%db" % codes[s][1]) for s in symbols)
    bits += "0" * (-len(bits) % 8)
    return bytes(int(bits[i:i + 8], 2) for i in range(0, len(bits), 8))


def huffcdic_book():
    text = BOOK.encode("utf-8")
    words = [b"the ", b"keeper", b"<p>", b"</p>", b" and "]
    nested = [b"the keeper"]  # made of two word phrases: a phrase inside a phrase
    # Symbols: single bytes (literal phrases), words (compressed from bytes),
    # nested (compressed from words).
    def tokenize(data, vocab):
        out, i = [], 0
        while i < len(data):
            for w in vocab:
                if data.startswith(w, i):
                    out.append(w)
                    i += len(w)
                    break
            else:
                out.append(data[i:i + 1])
                i += 1
        return out
    records = [text[i:i + 512] for i in range(0, len(text), 512)]
    vocab = sorted(nested + words, key=len, reverse=True)
    tokens = [tokenize(r, vocab) for r in records]
    freq = {}
    for t in tokens:
        for s in t:
            freq[s] = freq.get(s, 0) + 1
    word_parts = {w: tokenize(w, []) for w in words}
    word_parts[b"the keeper"] = [b"the ", b"keeper"]
    for w in words + nested:
        freq[w] = freq.get(w, 0) + 1
        for s in word_parts[w]:
            freq[s] = freq.get(s, 0) + 1
    lengths = huffman_lengths(freq)
    assert max(lengths.values()) >= 8 and max(lengths.values()) <= 24, lengths
    codes, order, huff = huff_tables(lengths)
    # CDIC records of 2^5 phrases each.
    bits = 5
    per = 1 << bits
    cdics = []
    for start in range(0, len(order), per):
        group = order[start:start + per]
        offsets, data = [], b""
        for s in group:
            if s in word_parts:
                body, flag = bits_of(word_parts[s], codes), 0
            else:
                body, flag = s, 0x8000
            offsets.append(2 * len(group) + len(data))
            data += struct.pack(">H", flag | len(body)) + body
        cdics.append(b"CDIC" + struct.pack(">III", 16, len(order), bits) +
                     struct.pack(">%dH" % len(group), *offsets) + data)
    text_recs = [bits_of(t, codes) for t in tokens]
    huff_index = 1 + len(text_recs)
    r0 = record0(17480, len(text), len(text_recs), huff=(huff_index, 1 + len(cdics)),
                 first_non_book=huff_index, record_size=512)
    return database([r0] + text_recs + [huff] + cdics + [b"\xe9\x8e\r\n"])


def main():
    out = sys.argv[1]
    entries = [b"", b"\x01\x02", bytes(range(3, 200)), b"tbs"]
    files = {
        # Multibyte overlaps and two size-encoded entries (one needing a
        # two-byte size), records of odd sizes so characters are cut.
        "trailing.mobi": book(compression=1, flags=0b111, sizes=(61, 64, 70, 57), entries=entries),
        "trailing-palmdoc.mobi": book(compression=2, flags=0b1011, sizes=(97, 128, 75), entries=entries),
        "huffcdic.mobi": huffcdic_book(),
        "drm-old.mobi": book(encryption=1),
        "drm.mobi": book(encryption=2),
        "compression.mobi": book(compression=3),
    }
    good = book(compression=2, flags=0b11, sizes=(200,), entries=entries)
    # Cut in the middle of the third text record: the first two still show.
    n = struct.unpack_from(">H", good, 76)[0]
    third = struct.unpack_from(">I", good, 78 + 8 * 3)[0]
    files["truncated.mobi"] = good[:third + 40]
    # The second text record starts before the first: the table is broken.
    broken = bytearray(good)
    first = struct.unpack_from(">I", good, 78 + 8 * 1)[0]
    struct.pack_into(">I", broken, 78 + 8 * 2, first - 10)
    files["broken-table.mobi"] = bytes(broken)
    # The record list runs past the end of the file.
    files["short-table.mobi"] = good[:78 + 8 * (n - 2)]
    for name, data in files.items():
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
