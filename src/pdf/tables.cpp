// Lookups over the generated tables of tables_data.cpp: glyph names, base
// encodings, standard-font names and widths. Called by the PDF font code for
// every simple font and, per glyph, for its Unicode and advance; nothing here
// allocates.
#include "pdf/tables.h"

#include <cstring>

namespace {

constexpr int TABLES_TEXT_FONTS = 12;  // the fonts before Symbol
// A /BaseFont longer than this is no name of a standard font.
constexpr size_t TABLES_MAX_FONT_NAME = 64;

struct NamedValue {
  const char* name;
  int value;
};

bool Equals(const char* text, size_t length, const char* literal) {
  return strlen(literal) == length && memcmp(text, literal, length) == 0;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool AllHex(const char* text, size_t length) {
  for (size_t i = 0; i < length; ++i) {
    if (HexDigit(text[i]) < 0) return false;
  }
  return true;
}

// The value of text[0..length) (at most 7 digits, so no overflow) read as hex
// digits, or -1 when one is not.
int32_t ParseHex(const char* text, size_t length) {
  int32_t value = 0;
  for (size_t i = 0; i < length; ++i) {
    int digit = HexDigit(text[i]);
    if (digit < 0) return -1;
    value = value * 16 + digit;
  }
  return value;
}

uint32_t ValidScalar(int32_t value) {
  if (value < 0 || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
  return uint32_t(value);
}

uint32_t GlyphListUnicode(const char* name, size_t length) {
  size_t low = 0;
  size_t high = PDF_GLYPH_COUNT;
  while (low < high) {
    size_t middle = (low + high) / 2;
    const char* entry = PDF_GLYPH_NAMES + PDF_GLYPH_NAME_OFFSETS[middle];
    size_t entryLength = size_t(PDF_GLYPH_NAME_OFFSETS[middle + 1] - PDF_GLYPH_NAME_OFFSETS[middle]);
    int order = memcmp(entry, name, entryLength < length ? entryLength : length);
    if (order == 0) order = entryLength < length ? -1 : (entryLength > length ? 1 : 0);
    if (order == 0) return PDF_GLYPH_UNICODES[middle];
    if (order < 0) {
      low = middle + 1;
    } else {
      high = middle;
    }
  }
  return 0;
}

// One name without suffix or "_": the glyph list, "uniXXXX[XXXX...]", "uXXXX".."uXXXXXX".
uint32_t ComponentUnicode(const char* name, size_t length) {
  uint32_t unicode = GlyphListUnicode(name, length);
  if (unicode != 0) return unicode;
  if (length >= 7 && (length - 3) % 4 == 0 && memcmp(name, "uni", 3) == 0 &&
      AllHex(name + 3, length - 3)) {
    return ValidScalar(ParseHex(name + 3, 4));
  }
  if (length >= 5 && length <= 7 && name[0] == 'u') return ValidScalar(ParseHex(name + 1, length - 1));
  return 0;
}

uint32_t LigatureUnicode(const uint32_t* parts, int count) {
  struct Ligature {
    uint32_t parts[3];
    uint32_t unicode;
  };
  static const Ligature LIGATURES[] = {
      {{'f', 'f', 0}, 0xFB00},  {{'f', 'i', 0}, 0xFB01}, {{'f', 'l', 0}, 0xFB02},
      {{'f', 'f', 'i'}, 0xFB03}, {{'f', 'f', 'l'}, 0xFB04}, {{0x17F, 't', 0}, 0xFB05},
      {{'s', 't', 0}, 0xFB06},
  };
  if (count > 3) return 0;
  for (const Ligature& ligature : LIGATURES) {
    int length = ligature.parts[2] != 0 ? 3 : 2;
    if (length == count && memcmp(ligature.parts, parts, sizeof(uint32_t) * size_t(count)) == 0) {
      return ligature.unicode;
    }
  }
  return 0;
}

// Font family and style; FAMILY_* index the standard fonts in fours.
enum Family { FAMILY_COURIER, FAMILY_HELVETICA, FAMILY_TIMES, FAMILY_SYMBOL, FAMILY_DINGBATS };
enum Style { STYLE_REGULAR, STYLE_BOLD, STYLE_ITALIC, STYLE_BOLD_ITALIC };

bool EndsWith(const char* text, size_t length, const char* suffix) {
  size_t n = strlen(suffix);
  return length >= n && memcmp(text + length - n, suffix, n) == 0;
}

int FamilyOf(const char* name, size_t length) {
  static const NamedValue FAMILIES[] = {
      {"Courier", FAMILY_COURIER},     {"CourierNew", FAMILY_COURIER},
      {"Helvetica", FAMILY_HELVETICA}, {"Arial", FAMILY_HELVETICA},
      {"Times", FAMILY_TIMES},         {"TimesNewRoman", FAMILY_TIMES},
      {"TimesRoman", FAMILY_TIMES},    {"Symbol", FAMILY_SYMBOL},
      {"ZapfDingbats", FAMILY_DINGBATS},
  };
  // Windows names end in "MT" (ArialMT), "PS" (TimesNewRomanPS) or both
  // (CourierNewPSMT).
  if (EndsWith(name, length, "MT")) length -= 2;
  if (EndsWith(name, length, "PS")) length -= 2;
  for (const NamedValue& family : FAMILIES) {
    if (Equals(name, length, family.name)) return family.value;
  }
  return -1;
}

int StyleOf(const char* name, size_t length) {
  static const NamedValue STYLES[] = {
      {"", STYLE_REGULAR},           {"Roman", STYLE_REGULAR},
      {"Regular", STYLE_REGULAR},    {"Normal", STYLE_REGULAR},
      {"Bold", STYLE_BOLD},          {"Italic", STYLE_ITALIC},
      {"Oblique", STYLE_ITALIC},     {"BoldItalic", STYLE_BOLD_ITALIC},
      {"BoldOblique", STYLE_BOLD_ITALIC}, {"ItalicBold", STYLE_BOLD_ITALIC},
  };
  if (EndsWith(name, length, "MT")) length -= 2;  // Arial-BoldMT
  for (const NamedValue& style : STYLES) {
    if (Equals(name, length, style.name)) return style.value;
  }
  return -1;
}

}  // namespace

uint32_t PdfGlyphUnicode(const char* name, size_t length) {
  if (name == nullptr || length == 0) return 0;
  uint32_t unicode = GlyphListUnicode(name, length);
  if (unicode != 0) return unicode;
  // A variant's suffix ("a.sc", "one.oldstyle") names the same character.
  const char* dot = static_cast<const char*>(memchr(name, '.', length));
  if (dot == name) return 0;
  if (dot != nullptr) length = size_t(dot - name);
  if (memchr(name, '_', length) == nullptr) return ComponentUnicode(name, length);

  uint32_t parts[4] = {0, 0, 0, 0};
  int count = 0;
  size_t start = 0;
  for (size_t i = 0; i <= length; ++i) {
    if (i < length && name[i] != '_') continue;
    if (count < 4) parts[count] = ComponentUnicode(name + start, i - start);
    ++count;
    start = i + 1;
  }
  uint32_t ligature = LigatureUnicode(parts, count);
  return ligature != 0 ? ligature : parts[0];
}

PdfBaseEncoding PdfBaseEncodingByName(const char* name, size_t length) {
  static const NamedValue ENCODINGS[] = {
      {"WinAnsiEncoding", PDF_ENCODING_WIN_ANSI},
      {"MacRomanEncoding", PDF_ENCODING_MAC_ROMAN},
      {"StandardEncoding", PDF_ENCODING_STANDARD},
      {"PDFDocEncoding", PDF_ENCODING_PDF_DOC},
  };
  if (name == nullptr) return PDF_ENCODING_NONE;
  for (const NamedValue& encoding : ENCODINGS) {
    if (Equals(name, length, encoding.name)) return PdfBaseEncoding(encoding.value);
  }
  return PDF_ENCODING_NONE;
}

uint32_t PdfBaseEncodingUnicode(PdfBaseEncoding encoding, uint8_t code) {
  if (encoding >= PDF_ENCODING_NONE) return 0;
  return PDF_BASE_ENCODINGS[encoding][code];
}

int PdfStandardFont(const char* baseFont, size_t length) {
  if (baseFont == nullptr) return -1;
  // A subset's name starts with six capitals and "+".
  if (length > 7 && baseFont[6] == '+') {
    bool subset = true;
    for (int i = 0; i < 6; ++i) subset = subset && baseFont[i] >= 'A' && baseFont[i] <= 'Z';
    if (subset) {
      baseFont += 7;
      length -= 7;
    }
  }
  // "Times New Roman,Bold" and "TimesNewRoman,Bold" are the same font.
  char name[TABLES_MAX_FONT_NAME];
  size_t nameLength = 0;
  for (size_t i = 0; i < length; ++i) {
    if (baseFont[i] == ' ') continue;
    if (nameLength == sizeof name) return -1;
    name[nameLength++] = baseFont[i];
  }
  if (Equals(name, nameLength, "Times-Roman")) return PDF_FONT_TIMES_ROMAN;

  size_t split = 0;
  while (split < nameLength && name[split] != '-' && name[split] != ',') ++split;
  int family = FamilyOf(name, split);
  size_t styleStart = split < nameLength ? split + 1 : split;
  int style = StyleOf(name + styleStart, nameLength - styleStart);
  if (family < 0 || style < 0) return -1;
  if (family == FAMILY_SYMBOL) return PDF_FONT_SYMBOL;
  if (family == FAMILY_DINGBATS) return PDF_FONT_ZAPF_DINGBATS;
  return family * 4 + style;
}

bool PdfStandardFontIsSymbolic(int font) {
  return font == PDF_FONT_SYMBOL || font == PDF_FONT_ZAPF_DINGBATS;
}

PdfBaseEncoding PdfStandardFontEncoding(int font) {
  if (font == PDF_FONT_SYMBOL) return PDF_ENCODING_SYMBOL;
  if (font == PDF_FONT_ZAPF_DINGBATS) return PDF_ENCODING_ZAPF_DINGBATS;
  if (font >= 0 && font < TABLES_TEXT_FONTS) return PDF_ENCODING_STANDARD;
  return PDF_ENCODING_NONE;
}

int PdfStandardFontWidth(int font, uint32_t unicode) {
  if (unicode == 0) return -1;
  if (PdfStandardFontIsSymbolic(font)) {
    // The symbolic fonts are keyed by code: find the code that shows unicode.
    const uint16_t* encoding = PDF_BASE_ENCODINGS[PdfStandardFontEncoding(font)];
    for (int code = 0; code < 256; ++code) {
      if (encoding[code] == unicode) return PdfStandardFontCodeWidth(font, uint8_t(code));
    }
    return -1;
  }
  if (font < 0 || font >= TABLES_TEXT_FONTS || unicode > 0xFFFF) return -1;
  const PdfFontWidthRange& range = PDF_FONT_WIDTH_RANGES[font];
  const uint16_t* keys = PDF_FONT_WIDTH_KEYS + range.keyStart;
  size_t low = 0;
  size_t high = range.count;
  while (low < high) {
    size_t middle = (low + high) / 2;
    if (keys[middle] == unicode) return PDF_FONT_WIDTH_VALUES[range.valueStart + middle];
    if (keys[middle] < unicode) {
      low = middle + 1;
    } else {
      high = middle;
    }
  }
  return -1;
}

int PdfStandardFontCodeWidth(int font, uint8_t code) {
  if (PdfStandardFontIsSymbolic(font)) return PDF_FONT_CODE_WIDTHS[font - PDF_FONT_SYMBOL][code];
  uint32_t unicode = PDF_BASE_ENCODINGS[PDF_ENCODING_STANDARD][code];
  return unicode != 0 ? PdfStandardFontWidth(font, unicode) : -1;
}
