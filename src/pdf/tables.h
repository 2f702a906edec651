// The fixed knowledge a PDF reader needs about simple fonts: glyph names to
// Unicode, the predefined base encodings, and the standard 14 fonts' names and
// advance widths. Used by the font code to turn character codes into Unicode
// and positions. All lookups are binary searches over constant tables.
#pragma once

#include <cstddef>
#include <cstdint>

// Unicode of a glyph name: the glyph list, then the forms "uniXXXX" (one or
// more groups of four hex digits: the first is kept), "uXXXX".."uXXXXXX", and
// ligature names joined by "_" (f_f_i) giving the ligature's code point where
// one exists else the first letter; a name of one letter "a".."z"/"A".."Z"
// maps to itself. A suffix from the first "." on ("a.sc", "one.oldstyle") is
// ignored. The glyph list is kept for Latin, spacing modifiers, Greek,
// punctuation to mathematical operators and the Latin ligatures only.
// 0 when unknown (also for ".notdef", surrogates and values past U+10FFFF).
uint32_t PdfGlyphUnicode(const char* name, size_t length);

enum PdfBaseEncoding : uint8_t {
  PDF_ENCODING_STANDARD,
  PDF_ENCODING_WIN_ANSI,
  PDF_ENCODING_MAC_ROMAN,
  PDF_ENCODING_PDF_DOC,
  PDF_ENCODING_SYMBOL,
  PDF_ENCODING_ZAPF_DINGBATS,
  PDF_ENCODING_NONE
};

// The encoding named by a PDF encoding name ("WinAnsiEncoding",
// "MacRomanEncoding", "StandardEncoding", "PDFDocEncoding"; "MacExpertEncoding"
// gives NONE); PDF_ENCODING_NONE when unknown.
PdfBaseEncoding PdfBaseEncodingByName(const char* name, size_t length);

// Unicode of code in a base encoding; 0 where the code has no glyph (control
// codes, unused codes, and every code of PDF_ENCODING_NONE). WinAnsi's unused
// codes above the space give the bullet U+2022, as PDF asks of readers.
uint32_t PdfBaseEncodingUnicode(PdfBaseEncoding encoding, uint8_t code);

// The standard 14 fonts, as numbered by PdfStandardFont.
enum PdfStandardFontNumber : int {
  PDF_FONT_COURIER,
  PDF_FONT_COURIER_BOLD,
  PDF_FONT_COURIER_OBLIQUE,
  PDF_FONT_COURIER_BOLD_OBLIQUE,
  PDF_FONT_HELVETICA,
  PDF_FONT_HELVETICA_BOLD,
  PDF_FONT_HELVETICA_OBLIQUE,
  PDF_FONT_HELVETICA_BOLD_OBLIQUE,
  PDF_FONT_TIMES_ROMAN,
  PDF_FONT_TIMES_BOLD,
  PDF_FONT_TIMES_ITALIC,
  PDF_FONT_TIMES_BOLD_ITALIC,
  PDF_FONT_SYMBOL,
  PDF_FONT_ZAPF_DINGBATS,
  PDF_FONT_COUNT
};

// The standard 14 font a /BaseFont names, or -1: exact names, a subset prefix
// "ABCDEF+" ignored, and the usual aliases (Arial, Arial,Bold, Arial-BoldMT,
// ArialMT, Helvetica-Oblique..., TimesNewRoman, TimesNewRomanPS-BoldMT,
// Times New Roman,Bold..., CourierNew..., Symbol, ZapfDingbats). Spaces are
// ignored; a style other than bold, italic or oblique (Light, Narrow...) gives -1.
int PdfStandardFont(const char* baseFont, size_t length);

// True for Symbol and ZapfDingbats, whose built-in encoding is their own.
bool PdfStandardFontIsSymbolic(int font);

// The built-in encoding of a standard font: STANDARD for the text fonts,
// SYMBOL or ZAPF_DINGBATS; NONE for a number that is no standard font.
PdfBaseEncoding PdfStandardFontEncoding(int font);

// Advance width in 1/1000 em of the glyph with this Unicode in a standard font
// (for Symbol and ZapfDingbats, of the code their encoding gives it); -1 when
// unknown or font is no standard font.
int PdfStandardFontWidth(int font, uint32_t unicode);

// Advance width of code in a standard font's built-in encoding (meant for
// Symbol and ZapfDingbats; the text fonts look the code up in
// StandardEncoding); -1 when the code has no glyph or font is no standard font.
int PdfStandardFontCodeWidth(int font, uint8_t code);

// The generated tables behind these lookups, defined in tables_data.cpp (made
// by scripts/make-pdf-tables.py). Callers use the functions above.
struct PdfFontWidthRange {
  uint16_t keyStart;    // first index in PDF_FONT_WIDTH_KEYS
  uint16_t valueStart;  // first index in PDF_FONT_WIDTH_VALUES
  uint16_t count;
};
// Names concatenated without separators; name i is
// PDF_GLYPH_NAMES[PDF_GLYPH_NAME_OFFSETS[i] .. PDF_GLYPH_NAME_OFFSETS[i + 1]),
// in byte order, with Unicode PDF_GLYPH_UNICODES[i].
extern const uint16_t PDF_GLYPH_COUNT;
extern const char PDF_GLYPH_NAMES[];
extern const uint16_t PDF_GLYPH_NAME_OFFSETS[];
extern const uint16_t PDF_GLYPH_UNICODES[];
extern const uint16_t PDF_BASE_ENCODINGS[6][256];
// The twelve text fonts: sorted Unicode keys and their widths.
extern const uint16_t PDF_FONT_WIDTH_KEYS[];
extern const int16_t PDF_FONT_WIDTH_VALUES[];
extern const PdfFontWidthRange PDF_FONT_WIDTH_RANGES[12];
// Symbol and ZapfDingbats by code; -1 where the code has no glyph.
extern const int16_t PDF_FONT_CODE_WIDTHS[2][256];
