// Tests of the PDF font tables: glyph names to Unicode, the base encodings,
// the standard-font names and their widths, against values of the published
// glyph list, encodings and font metrics.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "pdf/tables.h"

namespace {

uint32_t Glyph(const char* name) { return PdfGlyphUnicode(name, strlen(name)); }

TEST(PdfTables, GlyphNamesGiveTheirUnicode) {
  struct Case {
    const char* name;
    uint32_t unicode;
  };
  const Case cases[] = {
      {"A", 0x41},          {"z", 0x7A},          {"space", 0x20},
      {"fi", 0xFB01},       {"quotedblleft", 0x201C}, {"Eacute", 0xC9},
      {"Euro", 0x20AC},     {"afii61352", 0x2116}, {"zcaron", 0x17E},
      {"uni201C", 0x201C},  {"uni00e9", 0xE9},     {"uni00410042", 0x41},
      {"u1F600", 0x1F600},  {"u00E9", 0xE9},       {"f_f_i", 0xFB03},
      {"f_f", 0xFB00},      {"f_l", 0xFB02},       {"T_h", 'T'},
      {"uni0066_uni0069", 0xFB01}, {"a.sc", 0x61}, {"one.oldstyle", 0x31},
      // Unknown names and malformed forms.
      {".notdef", 0},       {"g123", 0},           {"uni20", 0},
      {"uniD800", 0},       {"u110000", 0},        {"uniXYZW", 0},
      {"zzzz", 0},          {"", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(Glyph(c.name), c.unicode) << c.name;
  // The name's length bounds the lookup: "fi" inside "fifteen" is "fi".
  EXPECT_EQ(PdfGlyphUnicode("fifteen", 2), 0xFB01u);
}

// The lookups are binary searches: a table generated out of order loses entries.
TEST(PdfTables, GeneratedTablesAreSortedForTheirSearches) {
  for (uint16_t i = 0; i < PDF_GLYPH_COUNT; ++i) {
    const char* name = PDF_GLYPH_NAMES + PDF_GLYPH_NAME_OFFSETS[i];
    size_t length = PDF_GLYPH_NAME_OFFSETS[i + 1] - PDF_GLYPH_NAME_OFFSETS[i];
    ASSERT_EQ(PdfGlyphUnicode(name, length), PDF_GLYPH_UNICODES[i]) << std::string(name, length);
  }
  for (int font = 0; font < PDF_FONT_SYMBOL; ++font) {
    const PdfFontWidthRange& range = PDF_FONT_WIDTH_RANGES[font];
    for (uint16_t i = 0; i < range.count; ++i) {
      uint16_t key = PDF_FONT_WIDTH_KEYS[range.keyStart + i];
      ASSERT_EQ(PdfStandardFontWidth(font, key), PDF_FONT_WIDTH_VALUES[range.valueStart + i]) << font;
    }
  }
}

TEST(PdfTables, BaseEncodingsGiveUnicode) {
  struct Case {
    const char* encodingName;
    uint8_t code;
    uint32_t unicode;
  };
  const Case cases[] = {
      {"WinAnsiEncoding", 0x41, 0x41},     {"WinAnsiEncoding", 0x93, 0x201C},
      {"WinAnsiEncoding", 0x80, 0x20AC},   {"WinAnsiEncoding", 0x8D, 0x2022},
      {"WinAnsiEncoding", 0x7F, 0x2022},   {"WinAnsiEncoding", 0x0A, 0},
      {"WinAnsiEncoding", 0xE9, 0xE9},     {"MacRomanEncoding", 0x8E, 0xE9},
      {"MacRomanEncoding", 0xDB, 0xA4},    {"MacRomanEncoding", 0xDE, 0xFB01},
      {"StandardEncoding", 0xAE, 0xFB01},  {"StandardEncoding", 0x27, 0x2019},
      {"StandardEncoding", 0x60, 0x2018},  {"StandardEncoding", 0xE8, 0x141},
      {"StandardEncoding", 0x80, 0},       {"PDFDocEncoding", 0x93, 0xFB01},
      {"PDFDocEncoding", 0x18, 0x2D8},     {"PDFDocEncoding", 0xA0, 0x20AC},
      {"PDFDocEncoding", 0x9F, 0},         {"PDFDocEncoding", 0xE9, 0xE9},
  };
  for (const Case& c : cases) {
    PdfBaseEncoding encoding = PdfBaseEncodingByName(c.encodingName, strlen(c.encodingName));
    EXPECT_NE(encoding, PDF_ENCODING_NONE) << c.encodingName;
    EXPECT_EQ(PdfBaseEncodingUnicode(encoding, c.code), c.unicode) << c.encodingName << " " << int(c.code);
  }
  EXPECT_EQ(PdfBaseEncodingByName("MacExpertEncoding", 17), PDF_ENCODING_NONE);
  EXPECT_EQ(PdfBaseEncodingByName("WinAnsiEncodingX", 16), PDF_ENCODING_NONE);
  EXPECT_EQ(PdfBaseEncodingUnicode(PDF_ENCODING_NONE, 0x41), 0u);
  // The symbolic fonts' own encodings.
  EXPECT_EQ(PdfBaseEncodingUnicode(PDF_ENCODING_SYMBOL, 0x61), 0x3B1u);  // alpha
  EXPECT_EQ(PdfBaseEncodingUnicode(PDF_ENCODING_SYMBOL, 0xA0), 0x20ACu);
  EXPECT_EQ(PdfBaseEncodingUnicode(PDF_ENCODING_ZAPF_DINGBATS, 0x21), 0x2701u);
  EXPECT_EQ(PdfBaseEncodingUnicode(PDF_ENCODING_ZAPF_DINGBATS, 0x80), 0x2768u);
}

TEST(PdfTables, BaseFontNamesFindTheStandardFonts) {
  struct Case {
    const char* baseFont;
    int font;
  };
  const Case cases[] = {
      {"Helvetica", PDF_FONT_HELVETICA},
      {"Helvetica-BoldOblique", PDF_FONT_HELVETICA_BOLD_OBLIQUE},
      {"Arial", PDF_FONT_HELVETICA},
      {"ArialMT", PDF_FONT_HELVETICA},
      {"Arial,Bold", PDF_FONT_HELVETICA_BOLD},
      {"Arial-BoldMT", PDF_FONT_HELVETICA_BOLD},
      {"Arial-ItalicMT", PDF_FONT_HELVETICA_OBLIQUE},
      {"ABCDEF+Arial-BoldItalicMT", PDF_FONT_HELVETICA_BOLD_OBLIQUE},
      {"Times-Roman", PDF_FONT_TIMES_ROMAN},
      {"Times-BoldItalic", PDF_FONT_TIMES_BOLD_ITALIC},
      {"TimesNewRoman", PDF_FONT_TIMES_ROMAN},
      {"TimesNewRomanPS-BoldMT", PDF_FONT_TIMES_BOLD},
      {"Times New Roman,Bold", PDF_FONT_TIMES_BOLD},
      {"Times New Roman,Italic", PDF_FONT_TIMES_ITALIC},
      {"Courier", PDF_FONT_COURIER},
      {"Courier-Oblique", PDF_FONT_COURIER_OBLIQUE},
      {"CourierNewPSMT", PDF_FONT_COURIER},
      {"CourierNew,BoldItalic", PDF_FONT_COURIER_BOLD_OBLIQUE},
      {"Symbol", PDF_FONT_SYMBOL},
      {"ZapfDingbats", PDF_FONT_ZAPF_DINGBATS},
      // Not standard fonts.
      {"Helvetica-Light", -1},
      {"ArialNarrow", -1},
      {"Verdana", -1},
      {"abcdef+Arial", -1},
      {"", -1},
  };
  for (const Case& c : cases) EXPECT_EQ(PdfStandardFont(c.baseFont, strlen(c.baseFont)), c.font) << c.baseFont;

  EXPECT_TRUE(PdfStandardFontIsSymbolic(PDF_FONT_SYMBOL));
  EXPECT_FALSE(PdfStandardFontIsSymbolic(PDF_FONT_TIMES_ROMAN));
  EXPECT_EQ(PdfStandardFontEncoding(PDF_FONT_COURIER_BOLD), PDF_ENCODING_STANDARD);
  EXPECT_EQ(PdfStandardFontEncoding(PDF_FONT_ZAPF_DINGBATS), PDF_ENCODING_ZAPF_DINGBATS);
  EXPECT_EQ(PdfStandardFontEncoding(-1), PDF_ENCODING_NONE);
}

TEST(PdfTables, StandardFontsGiveTheirWidths) {
  struct Case {
    int font;
    uint32_t unicode;
    int width;
  };
  const Case cases[] = {
      {PDF_FONT_HELVETICA, 'a', 556},        {PDF_FONT_HELVETICA, ' ', 278},
      {PDF_FONT_HELVETICA_BOLD, 'W', 944},   {PDF_FONT_HELVETICA, 0xFB01, 500},
      {PDF_FONT_TIMES_ROMAN, ' ', 250},      {PDF_FONT_TIMES_ROMAN, 'a', 444},
      {PDF_FONT_TIMES_ROMAN, 0x201C, 444},   {PDF_FONT_TIMES_ROMAN, 0xA0, 250},
      {PDF_FONT_TIMES_BOLD, 'a', 500},       {PDF_FONT_TIMES_ITALIC, 'm', 722},
      {PDF_FONT_COURIER, 'i', 600},          {PDF_FONT_COURIER_BOLD_OBLIQUE, 0x20AC, 600},
      {PDF_FONT_SYMBOL, 0x3B1, 631},         {PDF_FONT_HELVETICA, 0x4E00, -1},
      {PDF_FONT_HELVETICA, 0x1F600, -1},     {-1, 'a', -1},
      {PDF_FONT_COUNT, 'a', -1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PdfStandardFontWidth(c.font, c.unicode), c.width) << c.font << " U+" << std::hex << c.unicode;
  }
  EXPECT_EQ(PdfStandardFontCodeWidth(PDF_FONT_SYMBOL, 0x61), 631);
  EXPECT_EQ(PdfStandardFontCodeWidth(PDF_FONT_ZAPF_DINGBATS, 0x21), 974);
  EXPECT_EQ(PdfStandardFontCodeWidth(PDF_FONT_ZAPF_DINGBATS, 0xF0), -1);
  EXPECT_EQ(PdfStandardFontCodeWidth(PDF_FONT_TIMES_ROMAN, 0xAE), PdfStandardFontWidth(PDF_FONT_TIMES_ROMAN, 0xFB01));
}

}  // namespace
