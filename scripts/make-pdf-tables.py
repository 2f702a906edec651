#!/usr/bin/env python3
# Regenerates src/pdf/tables_data.cpp, the glyph-name, base-encoding and
# standard-font width tables behind src/pdf/tables.cpp, from files Debian ships:
# the Adobe glyph lists (texlive-base, aglfn) and the AFM metrics of the URW
# base 35 fonts (fonts-urw-base35), which are metric-compatible with the
# standard 14 PDF fonts. Run from anywhere: python3 scripts/make-pdf-tables.py
import argparse
import os
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

GLYPHLIST_PATHS = [
    "/usr/share/texlive/texmf-dist/fonts/map/glyphlist/glyphlist.txt",
    "/usr/share/aglfn/glyphlist.txt",
]
ZAPF_PATHS = [
    "/usr/share/texlive/texmf-dist/fonts/map/glyphlist/zapfdingbats.txt",
    "/usr/share/aglfn/zapfdingbats.txt",
]
AFM_DIR = "/usr/share/fonts/type1/urw-base35"

# The standard 14 fonts in the order of their numbers in tables.h, with the
# URW font that has their metrics. The twelve text fonts come first.
STANDARD_FONTS = [
    ("Courier", "NimbusMonoPS-Regular"),
    ("Courier-Bold", "NimbusMonoPS-Bold"),
    ("Courier-Oblique", "NimbusMonoPS-Italic"),
    ("Courier-BoldOblique", "NimbusMonoPS-BoldItalic"),
    ("Helvetica", "NimbusSans-Regular"),
    ("Helvetica-Bold", "NimbusSans-Bold"),
    ("Helvetica-Oblique", "NimbusSans-Italic"),
    ("Helvetica-BoldOblique", "NimbusSans-BoldItalic"),
    ("Times-Roman", "NimbusRoman-Regular"),
    ("Times-Bold", "NimbusRoman-Bold"),
    ("Times-Italic", "NimbusRoman-Italic"),
    ("Times-BoldItalic", "NimbusRoman-BoldItalic"),
    ("Symbol", "StandardSymbolsPS"),
    ("ZapfDingbats", "D050000L"),
]
TEXT_FONT_COUNT = 12

# Codes 0x80..0x9E of PDFDocEncoding (0x9F is unused); the rest of the upper
# half is Latin-1 except 0xA0 (Euro) and 0xAD (unused).
PDFDOC_HIGH = [
    0x2022, 0x2020, 0x2021, 0x2026, 0x2014, 0x2013, 0x0192, 0x2044,
    0x2039, 0x203A, 0x2212, 0x2030, 0x201E, 0x201C, 0x201D, 0x2018,
    0x2019, 0x201A, 0x2122, 0xFB01, 0xFB02, 0x0141, 0x0152, 0x0160,
    0x0178, 0x017D, 0x0131, 0x0142, 0x0153, 0x0161, 0x017E,
]
# Codes 0x18..0x1F of PDFDocEncoding: breve caron circumflex dotaccent
# hungarumlaut ogonek ring tilde.
PDFDOC_ACCENTS = [0x02D8, 0x02C7, 0x02C6, 0x02D9, 0x02DD, 0x02DB, 0x02DA, 0x02DC]

LIGATURES = {
    (0x66, 0x66): 0xFB00, (0x66, 0x69): 0xFB01, (0x66, 0x6C): 0xFB02,
    (0x66, 0x66, 0x69): 0xFB03, (0x66, 0x66, 0x6C): 0xFB04,
    (0x17F, 0x74): 0xFB05, (0x73, 0x74): 0xFB06,
}


def KeptInNameTable(u):
    # Latin, spacing modifiers, Greek, punctuation to mathematical operators and
    # the Latin ligatures: what code page 1252 text and its neighbours use. The
    # rest of the glyph list (Arabic, Hebrew, CJK compatibility...) would more
    # than quadruple the table for glyphs the reader's fonts cannot show.
    return (u < 0x250 or 0x2B0 <= u <= 0x2FF or 0x370 <= u <= 0x3FF
            or 0x2000 <= u <= 0x22FF or 0xFB00 <= u <= 0xFB06)


def FirstExisting(paths, what):
    for path in paths:
        if os.path.exists(path):
            return path
    sys.exit("make-pdf-tables: no %s in %s" % (what, ", ".join(paths)))


def ReadGlyphList(path):
    names = {}
    with open(path, encoding="ascii") as f:
        for line in f:
            line = line.strip()
            if not line or line.startswith("#"):
                continue
            name, values = line.split(";")
            # A name for a sequence of characters keeps the first.
            names.setdefault(name, int(values.split()[0], 16))
    return names


def IsHex(text):
    return len(text) > 0 and all(c in "0123456789ABCDEFabcdef" for c in text)


def ValidScalar(u):
    return u <= 0x10FFFF and not 0xD800 <= u <= 0xDFFF


def ComponentUnicode(names, name):
    if name in names:
        return names[name]
    if name.startswith("uni") and len(name) >= 7 and (len(name) - 3) % 4 == 0 and IsHex(name[3:]):
        u = int(name[3:7], 16)
        return u if ValidScalar(u) else 0
    if name.startswith("u") and 5 <= len(name) <= 7 and IsHex(name[1:]):
        u = int(name[1:], 16)
        return u if ValidScalar(u) else 0
    return 0


def GlyphUnicode(names, name):
    # The same rules as PdfGlyphUnicode in tables.cpp.
    if name in names:
        return names[name]
    dot = name.find(".")
    if dot == 0:
        return 0
    if dot > 0:
        name = name[:dot]
    if "_" in name:
        parts = [ComponentUnicode(names, part) for part in name.split("_")]
        return LIGATURES.get(tuple(parts), parts[0])
    return ComponentUnicode(names, name)


def ReadAfm(path):
    """The (code, width, name) of each glyph, in file order; code -1 when unencoded."""
    glyphs = []
    with open(path, encoding="latin-1") as f:
        for line in f:
            if not line.startswith("C "):
                continue
            fields = {}
            for item in line.split(";"):
                words = item.split()
                if words:
                    fields[words[0]] = words[1:]
            glyphs.append((int(fields["C"][0]), int(round(float(fields["WX"][0]))), fields["N"][0]))
    return glyphs


def BuiltInEncoding(names, glyphs, skip=()):
    table = [0] * 256
    for code, _, name in glyphs:
        if 0 <= code < 256 and name not in skip:
            u = GlyphUnicode(names, name)
            if not 0 < u < 0x10000:
                sys.exit("make-pdf-tables: glyph %s has no 16-bit Unicode" % name)
            table[code] = u
    return table


def WinAnsiEncoding():
    table = [0] * 256
    for code in range(0x20, 256):
        try:
            table[code] = ord(bytes([code]).decode("cp1252"))
        except UnicodeDecodeError:
            table[code] = 0
    # Every unused code above the space shows the bullet.
    for code in range(0x21, 256):
        if table[code] == 0 or code == 0x7F:
            table[code] = 0x2022
    return table


def MacRomanEncoding():
    table = [0] * 256
    for code in range(0x20, 256):
        table[code] = ord(bytes([code]).decode("mac_roman"))
    table[0x7F] = 0
    table[0xDB] = 0x00A4  # currency: PDF never followed the Mac's change to the euro
    table[0xF0] = 0  # the Apple logo, a private-use character
    return table


def PdfDocEncoding():
    table = [0] * 256
    for code in (0x09, 0x0A, 0x0D):
        table[code] = code
    for i, u in enumerate(PDFDOC_ACCENTS):
        table[0x18 + i] = u
    for code in range(0x20, 0x7F):
        table[code] = code
    for i, u in enumerate(PDFDOC_HIGH):
        table[0x80 + i] = u
    table[0xA0] = 0x20AC
    for code in range(0xA1, 256):
        table[code] = code
    table[0xAD] = 0
    return table


def TextFontWidths(names, glyphs):
    """Sorted (unicode, width) pairs of the glyphs whose Unicode the name table keeps."""
    widths = {}
    by_name = {}
    for _, width, name in glyphs:
        by_name.setdefault(name, width)
        u = GlyphUnicode(names, name)
        if u and KeptInNameTable(u):
            widths.setdefault(u, width)
    # No-break space and soft hyphen look like space and hyphen where a font
    # lacks them.
    for u, name in ((0xA0, "space"), (0xAD, "hyphen")):
        if u not in widths and name in by_name:
            widths[u] = by_name[name]
    return sorted(widths.items())


def Rows(values, per_line, width):
    out = []
    for i in range(0, len(values), per_line):
        out.append("    " + " ".join(("%s," % v).rjust(width) for v in values[i:i + per_line]))
    return "\n".join(out)


def HexRows(values):
    return Rows(["0x%04X" % v for v in values], 8, 7)


def DecimalRows(values):
    return Rows([str(v) for v in values], 12, 5)


def AppendShared(pool, values):
    """The start of values in pool, appending them unless an earlier block is the same."""
    for start in range(0, len(pool) - len(values) + 1):
        if pool[start:start + len(values)] == values:
            return start
    pool.extend(values)
    return len(pool) - len(values)


def main():
    parser = argparse.ArgumentParser(description="Regenerates src/pdf/tables_data.cpp.")
    parser.add_argument("--glyphlist", default=None)
    parser.add_argument("--zapfdingbats", default=None)
    parser.add_argument("--afm-dir", default=AFM_DIR)
    parser.add_argument("--output", default=os.path.join(ROOT, "src", "pdf", "tables_data.cpp"))
    args = parser.parse_args()

    glyphlist = args.glyphlist or FirstExisting(GLYPHLIST_PATHS, "glyphlist.txt (texlive-base or aglfn)")
    zapf = args.zapfdingbats or FirstExisting(ZAPF_PATHS, "zapfdingbats.txt (aglfn)")
    names = ReadGlyphList(glyphlist)
    zapf_names = ReadGlyphList(zapf)
    afm = {}
    for _, urw in STANDARD_FONTS:
        path = os.path.join(args.afm_dir, urw + ".afm")
        if not os.path.exists(path):
            sys.exit("make-pdf-tables: no %s (fonts-urw-base35)" % path)
        afm[urw] = ReadAfm(path)

    # Name table: byte order, as the lookup compares with memcmp.
    kept = sorted((n.encode("ascii"), u) for n, u in names.items() if KeptInNameTable(u))
    text = b"".join(n for n, _ in kept)
    offsets = [0]
    for n, _ in kept:
        offsets.append(offsets[-1] + len(n))
    assert offsets[-1] < 0x10000, "name offsets must fit 16 bits"

    symbol_names = dict(names)
    dingbat_names = dict(names)
    dingbat_names.update(zapf_names)
    encodings = [
        ("StandardEncoding", BuiltInEncoding(names, afm["NimbusRoman-Regular"])),
        ("WinAnsiEncoding", WinAnsiEncoding()),
        ("MacRomanEncoding", MacRomanEncoding()),
        ("PDFDocEncoding", PdfDocEncoding()),
        # The URW font adds the Apple logo at 0x80, which the Symbol font of
        # PDF readers does not have.
        ("Symbol", BuiltInEncoding(symbol_names, afm["StandardSymbolsPS"], skip=("apple",))),
        ("ZapfDingbats", BuiltInEncoding(dingbat_names, afm["D050000L"])),
    ]

    key_pool = []
    width_pool = []
    ranges = []
    for font, urw in STANDARD_FONTS[:TEXT_FONT_COUNT]:
        pairs = TextFontWidths(names, afm[urw])
        key_start = AppendShared(key_pool, [u for u, _ in pairs])
        width_start = AppendShared(width_pool, [w for _, w in pairs])
        ranges.append((font, key_start, width_start, len(pairs)))
    assert len(key_pool) < 0x10000 and len(width_pool) < 0x10000

    code_widths = []
    for font, urw in STANDARD_FONTS[TEXT_FONT_COUNT:]:
        table = [-1] * 256
        for code, width, name in afm[urw]:
            if 0 <= code < 256 and name != "apple":
                table[code] = width
        code_widths.append((font, table))

    out = []
    out.append("// Generated by scripts/make-pdf-tables.py from %s and %s"
               % (os.path.basename(glyphlist), os.path.basename(zapf)))
    out.append("// (Adobe glyph lists; Debian texlive-base, aglfn) and the AFM files of")
    out.append("// fonts-urw-base35. Do not edit: regenerate with")
    out.append("// python3 scripts/make-pdf-tables.py")
    out.append('#include "pdf/tables.h"')
    out.append("")
    out.append("// %d glyph names whose Unicode lies in the kept ranges, sorted by bytes." % len(kept))
    out.append("const uint16_t PDF_GLYPH_COUNT = %d;" % len(kept))
    out.append("")
    out.append("const char PDF_GLYPH_NAMES[] =")
    line = ""
    for n, _ in kept:
        if len(line) + len(n) > 72:
            out.append('    "%s"' % line)
            line = ""
        line += n.decode("ascii")
    out.append('    "%s";' % line)
    out.append("")
    out.append("const uint16_t PDF_GLYPH_NAME_OFFSETS[%d] = {" % len(offsets))
    out.append(DecimalRows(offsets))
    out.append("};")
    out.append("")
    out.append("const uint16_t PDF_GLYPH_UNICODES[%d] = {" % len(kept))
    out.append(HexRows([u for _, u in kept]))
    out.append("};")
    out.append("")
    out.append("// Code -> Unicode, 0 for no glyph; in the order of PdfBaseEncoding.")
    out.append("const uint16_t PDF_BASE_ENCODINGS[6][256] = {")
    for name, table in encodings:
        out.append("    // %s" % name)
        out.append("    {")
        out.append("\n".join("    " + row for row in HexRows(table).split("\n")))
        out.append("    },")
    out.append("};")
    out.append("")
    out.append("// Unicode keys of the text fonts' widths; fonts with the same glyph set share them.")
    out.append("const uint16_t PDF_FONT_WIDTH_KEYS[%d] = {" % len(key_pool))
    out.append(HexRows(key_pool))
    out.append("};")
    out.append("")
    out.append("// Advance widths in 1/1000 em, parallel to the keys; equal runs are shared.")
    out.append("const int16_t PDF_FONT_WIDTH_VALUES[%d] = {" % len(width_pool))
    out.append(DecimalRows(width_pool))
    out.append("};")
    out.append("")
    out.append("const PdfFontWidthRange PDF_FONT_WIDTH_RANGES[%d] = {" % TEXT_FONT_COUNT)
    for font, key_start, width_start, count in ranges:
        out.append("    {%d, %d, %d},  // %s" % (key_start, width_start, count, font))
    out.append("};")
    out.append("")
    out.append("// Widths of Symbol and ZapfDingbats by code of their built-in encodings; -1 for none.")
    out.append("const int16_t PDF_FONT_CODE_WIDTHS[2][256] = {")
    for font, table in code_widths:
        out.append("    // %s" % font)
        out.append("    {")
        out.append("\n".join("    " + row for row in DecimalRows(table).split("\n")))
        out.append("    },")
    out.append("};")

    with open(args.output, "w", encoding="ascii") as f:
        f.write("\n".join(out) + "\n")


if __name__ == "__main__":
    main()
