// Fonts of the PDF text extractor: a font dictionary read once into what the
// content interpreter needs for each glyph (code lengths, Unicode, widths),
// and the per-book cache that keeps each font loaded once. Called by the
// content interpreter.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "pdf/cmap.h"
#include "pdf/document.h"

// Code points one code may stand for (a ToUnicode "ffi" is three).
constexpr int PDF_FONT_MAX_UNICODE = 4;
// Marks an entry of PdfFont::unicode that is an index into PdfFont::sequences.
constexpr uint32_t PDF_FONT_SEQUENCE = 0x80000000u;
// Width of a glyph whose width nothing gives, in text space at size 1: half
// an em, between narrow and wide letters, so gaps stay plausible.
constexpr float PDF_FONT_DEFAULT_WIDTH = 0.5f;
// More /W entries than this are dropped (a CJK font needs a few thousand).
constexpr size_t PDF_FONT_MAX_WIDTH_RANGES = 65536;
// The cache holds at most this many fonts; PdfTrimFontCache empties it past that.
constexpr size_t PDF_FONT_CACHE_MAX = 512;

// Composite-font widths: CIDs first..last are width wide (text space, size 1).
struct PdfWidthRange {
  uint32_t first = 0;
  uint32_t last = 0;
  float width = 0;
};

struct PdfFont {
  bool composite = false;  // Type0: multi-byte codes, widths by CID
  bool vertical = false;   // a -V encoding: the pen moves down, not right
  // Simple fonts, by 1-byte code: the Unicode (0 unknown), or
  // PDF_FONT_SEQUENCE | index into sequences for several code points.
  uint32_t unicode[256] = {};
  // Simple fonts, by code: the horizontal displacement in text space for a
  // font size of 1 (/Widths over 1000, or times /FontMatrix for Type 3).
  float widths[256] = {};
  std::vector<std::array<uint32_t, PDF_FONT_MAX_UNICODE>> sequences;  // zero-padded
  // Composite fonts. codes: an embedded encoding CMap whose codespace gives
  // the code lengths; toUnicode: the /ToUnicode map; both may be null.
  std::unique_ptr<PdfCMap> codes;
  std::unique_ptr<PdfCMap> toUnicode;
  bool twoByteCodes = true;  // Identity encodings: every code is two bytes
  bool unicodeCodes = false;  // Uni...-UCS2/UTF16 encodings: the code is the Unicode
  bool cidIsCode = true;  // false: the CID of a code is unknown, so /DW serves
  float defaultWidth = 1.0f;  // /DW over 1000
  float verticalAdvance = -1.0f;  // second entry of /DW2 over 1000 (downwards)
  std::vector<PdfWidthRange> widthRanges;  // from /W, sorted by first
};

// Reads the font dictionary dictionary (resolved) into *font, which is reset
// first. Never fails: what is missing or broken falls back (no Unicode, the
// default width); a non-dictionary gives the fallback font, 1-byte codes
// through WinAnsi with the default width. May decode the /ToUnicode and
// encoding CMap streams.
void PdfLoadFont(PdfDocument* document, const PdfObject* dictionary, PdfFont* font);

// The code at s[0..n) (n > 0): its length in bytes, 1..n, with *code set.
int PdfFontNextCode(const PdfFont& font, const uint8_t* s, size_t n, uint32_t* code);
// The Unicode of code: up to PDF_FONT_MAX_UNICODE code points into out, their
// count (0 when unknown).
int PdfFontUnicode(const PdfFont& font, uint32_t code, uint32_t* out);
// The displacement of code in text space for a font size of 1: horizontal,
// or for vertical fonts the (negative, downward) vertical one.
float PdfFontWidth(const PdfFont& font, uint32_t code);

// Fonts by their resolved dictionary. The keys are objects of the document,
// which live as long as it does; the cache must not outlive the document.
struct PdfFontCache {
  std::unordered_map<const PdfObject*, std::unique_ptr<PdfFont>> fonts;
  std::unique_ptr<PdfFont> fallback;
};
// The font of dictionary (resolved), loaded on first use and owned by the
// cache; the fallback font when dictionary is null or no dictionary. Never
// null. Pointers stay valid until PdfTrimFontCache.
const PdfFont* PdfCachedFont(PdfDocument* document, PdfFontCache* cache, const PdfObject* dictionary);
// Empties the cache when it holds more than PDF_FONT_CACHE_MAX fonts, so a
// book that gives each page fonts of its own stays within memory. Call only
// between pages, when no font pointer is held.
void PdfTrimFontCache(PdfFontCache* cache);
