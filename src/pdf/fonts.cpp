// Fonts of the PDF text extractor: reads simple fonts (Type 1, TrueType,
// Type 3) into 256-entry Unicode and width tables and composite fonts (Type 0)
// into their code-length, ToUnicode and /W data, and caches them per book.
// Called by the content interpreter.
#include "pdf/fonts.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "pdf/tables.h"

namespace {

// Numbers from the file are kept within this, so that products stay finite.
constexpr double kMaxNumber = 1e30;

float NumberOf(const PdfObject* object, float otherwise) {
  if (!object || !object->IsNumber() || !(std::fabs(object->number) <= kMaxNumber)) return otherwise;
  return float(object->number);
}

bool NameContains(const std::string& name, const char* part) { return name.find(part) != std::string::npos; }

bool NameEndsWith(const std::string& name, const char* end) {
  const size_t n = std::strlen(end);
  return name.size() >= n && name.compare(name.size() - n, n, end) == 0;
}

// Decodes a CMap stream into a new map; null when it is no stream or does not parse.
std::unique_ptr<PdfCMap> ReadCMap(PdfDocument* document, const PdfObject* stream) {
  if (!stream || stream->type != PDF_STREAM) return nullptr;
  PdfBytes data;
  if (!PdfDecodeStream(document, stream, &data)) return nullptr;
  auto map = std::make_unique<PdfCMap>();
  if (!PdfParseCMap(data.data, data.length, map.get())) return nullptr;
  return map;
}

// Stores code points for a code of a simple font, as one value or a sequence.
void SetUnicode(PdfFont* font, int code, const uint32_t* points, int count) {
  if (count <= 0) return;
  if (count == 1) {
    font->unicode[code] = points[0] & ~PDF_FONT_SEQUENCE;
    return;
  }
  std::array<uint32_t, PDF_FONT_MAX_UNICODE> sequence{};
  for (int i = 0; i < count && i < PDF_FONT_MAX_UNICODE; ++i) sequence[size_t(i)] = points[i];
  font->unicode[code] = PDF_FONT_SEQUENCE | uint32_t(font->sequences.size());
  font->sequences.push_back(sequence);
}

// The encoding a simple font has when its dictionary names none.
PdfBaseEncoding BuiltInEncoding(const std::string& subtype, int standard) {
  // Symbol and ZapfDingbats keep their own codes even when declared TrueType.
  if (standard >= 0 && PdfStandardFontIsSymbolic(standard)) return PdfStandardFontEncoding(standard);
  if (subtype == "TrueType") return PDF_ENCODING_WIN_ANSI;
  if (standard >= 0) return PdfStandardFontEncoding(standard);
  // The encoding of a Type 3 font is only what its /Differences say.
  if (subtype == "Type3") return PDF_ENCODING_NONE;
  // The font program's own encoding is not read: Standard matches ASCII for
  // letters and digits, which is what most such fonts hold, even those
  // flagged symbolic by writers that flag every subset so.
  return PDF_ENCODING_STANDARD;
}

PdfBaseEncoding EncodingByName(const PdfObject* name) {
  if (!name || name->type != PDF_NAME) return PDF_ENCODING_NONE;
  return PdfBaseEncodingByName(name->text.data(), name->text.size());
}

// Unicode by code from /Encoding (base encoding and /Differences), or the
// built-in encoding when there is none.
void ReadEncoding(PdfDocument* document, const PdfObject* dictionary, PdfBaseEncoding builtIn, uint32_t* out) {
  PdfBaseEncoding base = builtIn;
  const PdfObject* differences = nullptr;
  const PdfObject* encoding = PdfGet(document, dictionary, "Encoding");
  if (encoding && encoding->type == PDF_NAME) {
    const PdfBaseEncoding named = EncodingByName(encoding);
    if (named != PDF_ENCODING_NONE) base = named;
  } else if (encoding && encoding->IsDict()) {
    const PdfBaseEncoding named = EncodingByName(PdfGet(document, encoding, "BaseEncoding"));
    if (named != PDF_ENCODING_NONE) base = named;
    differences = PdfGet(document, encoding, "Differences");
  }
  for (int code = 0; code < 256; ++code) {
    out[code] = base == PDF_ENCODING_NONE ? 0 : PdfBaseEncodingUnicode(base, uint8_t(code));
  }
  if (!differences || differences->type != PDF_ARRAY) return;
  int32_t code = -1;
  for (const PdfObject& item : differences->items) {
    const PdfObject* value = PdfResolve(document, &item);
    if (value->IsNumber()) {
      code = value->Int();
    } else if (value->type == PDF_NAME && code >= 0) {
      // Names no list knows ("g123", "cid45") say nothing of the character,
      // and the base encoding's guess for the code would be wrong.
      if (code < 256) out[code] = PdfGlyphUnicode(value->text.data(), value->text.size());
      if (code < 256) ++code;
    }
  }
}

// /Widths from /FirstChar, scaled by scale (1/1000, or /FontMatrix for Type
// 3); covered[code] is set for the codes it gives.
void ReadWidths(PdfDocument* document, const PdfObject* dictionary, float scale, PdfFont* font, bool* covered) {
  const PdfObject* widths = PdfGet(document, dictionary, "Widths");
  const PdfObject* first = PdfGet(document, dictionary, "FirstChar");
  if (!widths || widths->type != PDF_ARRAY) return;
  const int32_t start = first && first->IsNumber() ? first->Int() : 0;
  if (start < 0 || start > 255) return;
  for (size_t i = 0; i < widths->items.size() && start + int32_t(i) < 256; ++i) {
    const PdfObject* value = PdfResolve(document, &widths->items[i]);
    if (!value->IsNumber()) continue;
    const int code = start + int(i);
    font->widths[code] = NumberOf(value, 0) * scale;
    covered[code] = true;
  }
}

void LoadSimple(PdfDocument* document, const PdfObject* dictionary, const std::string& subtype, PdfFont* font) {
  const PdfObject* baseFont = PdfGet(document, dictionary, "BaseFont");
  const int standard =
      baseFont && baseFont->type == PDF_NAME ? PdfStandardFont(baseFont->text.data(), baseFont->text.size()) : -1;
  const PdfObject* descriptor = PdfGet(document, dictionary, "FontDescriptor");
  if (descriptor && !descriptor->IsDict()) descriptor = nullptr;

  uint32_t byEncoding[256];
  ReadEncoding(document, dictionary, BuiltInEncoding(subtype, standard), byEncoding);

  // Widths: /Widths, else /MissingWidth, else the standard metrics, else the default.
  float scale = 0.001f;
  if (subtype == "Type3") {
    const PdfObject* matrix = PdfGet(document, dictionary, "FontMatrix");
    if (matrix && matrix->type == PDF_ARRAY && !matrix->items.empty()) {
      const float a = NumberOf(PdfResolve(document, &matrix->items[0]), 0.001f);
      if (a != 0 && std::fabs(a) < 1000) scale = a;
    }
  }
  bool covered[256] = {};
  ReadWidths(document, dictionary, scale, font, covered);
  const PdfObject* missing = descriptor ? PdfGet(document, descriptor, "MissingWidth") : nullptr;
  const bool symbolicMetrics = standard >= 0 && PdfStandardFontIsSymbolic(standard);
  for (int code = 0; code < 256; ++code) {
    if (covered[code]) continue;
    float width = -1;
    if (missing && missing->IsNumber()) {
      width = NumberOf(missing, 0) * scale;
    } else if (standard >= 0) {
      const int metric = symbolicMetrics ? PdfStandardFontCodeWidth(standard, uint8_t(code))
                                         : (byEncoding[code] ? PdfStandardFontWidth(standard, byEncoding[code]) : -1);
      if (metric >= 0) width = float(metric) * 0.001f;
    }
    font->widths[code] = width >= 0 ? width : PDF_FONT_DEFAULT_WIDTH;
  }

  for (int code = 0; code < 256; ++code) font->unicode[code] = byEncoding[code];
  // /ToUnicode wins over the encoding for the codes it maps.
  std::unique_ptr<PdfCMap> toUnicode = ReadCMap(document, PdfGet(document, dictionary, "ToUnicode"));
  if (toUnicode) {
    uint32_t points[PDF_FONT_MAX_UNICODE];
    for (int code = 0; code < 256; ++code) {
      const int count = PdfCMapLookup(*toUnicode, uint32_t(code), points, PDF_FONT_MAX_UNICODE);
      SetUnicode(font, code, points, count > PDF_FONT_MAX_UNICODE ? PDF_FONT_MAX_UNICODE : count);
    }
  }
}

// /W: "c [w1 w2 ...]" gives CIDs c, c+1, ... their widths; "c1 c2 w" gives
// all of c1..c2 one width.
void ReadCidWidths(PdfDocument* document, const PdfObject* w, PdfFont* font) {
  if (!w || w->type != PDF_ARRAY) return;
  const std::vector<PdfObject>& items = w->items;
  auto valid = [](const PdfObject* o) { return o->IsNumber() && o->number >= 0 && o->number <= 4294967295.0; };
  size_t i = 0;
  while (i + 1 < items.size() && font->widthRanges.size() < PDF_FONT_MAX_WIDTH_RANGES) {
    const PdfObject* first = PdfResolve(document, &items[i]);
    const PdfObject* next = PdfResolve(document, &items[i + 1]);
    if (!valid(first)) {
      ++i;
      continue;
    }
    uint32_t cid = uint32_t(first->number);
    if (next->type == PDF_ARRAY) {
      for (const PdfObject& item : next->items) {
        if (font->widthRanges.size() >= PDF_FONT_MAX_WIDTH_RANGES) break;
        const PdfObject* value = PdfResolve(document, &item);
        if (value->IsNumber()) font->widthRanges.push_back({cid, cid, NumberOf(value, 0) * 0.001f});
        if (cid == UINT32_MAX) break;
        ++cid;
      }
      i += 2;
      continue;
    }
    if (i + 2 >= items.size()) break;
    const PdfObject* width = PdfResolve(document, &items[i + 2]);
    if (valid(next) && width->IsNumber() && next->number >= first->number) {
      font->widthRanges.push_back({cid, uint32_t(next->number), NumberOf(width, 0) * 0.001f});
    }
    i += 3;
  }
  std::stable_sort(font->widthRanges.begin(), font->widthRanges.end(),
                   [](const PdfWidthRange& a, const PdfWidthRange& b) { return a.first < b.first; });
}

void LoadComposite(PdfDocument* document, const PdfObject* dictionary, PdfFont* font) {
  font->composite = true;
  const PdfObject* encoding = PdfGet(document, dictionary, "Encoding");
  if (encoding && encoding->type == PDF_NAME) {
    const std::string& name = encoding->text;
    font->vertical = NameEndsWith(name, "-V");
    // A predefined CMap other than Identity maps codes to CIDs through data
    // this reader does not carry: codes are taken as two bytes and widths as
    // /DW. The Unicode ones (UniJIS-UCS2-H, UniGB-UTF16-V...) still give the
    // characters, since their codes are UTF-16 units.
    const bool identity = name.compare(0, 8, "Identity") == 0;
    font->cidIsCode = identity;
    font->twoByteCodes = identity;
    font->unicodeCodes = NameContains(name, "UCS2") || NameContains(name, "UTF16");
  } else if (encoding && encoding->type == PDF_STREAM) {
    font->codes = ReadCMap(document, encoding);
    font->twoByteCodes = !font->codes;
    const PdfObject* mode = PdfGet(document, encoding, "WMode");
    font->vertical = mode && mode->Int() == 1;
  }

  const PdfObject* descendants = PdfGet(document, dictionary, "DescendantFonts");
  const PdfObject* cidFont = descendants;
  if (descendants && descendants->type == PDF_ARRAY) {
    cidFont = descendants->items.empty() ? nullptr : PdfResolve(document, &descendants->items[0]);
  }
  if (cidFont && cidFont->IsDict()) {
    const PdfObject* dw = PdfGet(document, cidFont, "DW");
    if (dw && dw->IsNumber()) font->defaultWidth = NumberOf(dw, 1000) * 0.001f;
    ReadCidWidths(document, PdfGet(document, cidFont, "W"), font);
    const PdfObject* dw2 = PdfGet(document, cidFont, "DW2");
    if (dw2 && dw2->type == PDF_ARRAY && dw2->items.size() >= 2) {
      font->verticalAdvance = NumberOf(PdfResolve(document, &dw2->items[1]), -1000) * 0.001f;
    }
  }
  // Without /ToUnicode, neither Adobe-Identity nor the CJK collections give
  // characters here: their CID-to-Unicode tables are not carried.
  font->toUnicode = ReadCMap(document, PdfGet(document, dictionary, "ToUnicode"));
}

}  // namespace

void PdfLoadFont(PdfDocument* document, const PdfObject* dictionary, PdfFont* font) {
  font->composite = false;
  font->vertical = false;
  std::fill(std::begin(font->unicode), std::end(font->unicode), 0u);
  std::fill(std::begin(font->widths), std::end(font->widths), PDF_FONT_DEFAULT_WIDTH);
  font->sequences.clear();
  font->codes.reset();
  font->toUnicode.reset();
  font->twoByteCodes = true;
  font->unicodeCodes = false;
  font->cidIsCode = true;
  font->defaultWidth = 1.0f;
  font->verticalAdvance = -1.0f;
  font->widthRanges.clear();
  if (!dictionary || !dictionary->IsDict()) {
    for (int code = 0; code < 256; ++code) font->unicode[code] = PdfBaseEncodingUnicode(PDF_ENCODING_WIN_ANSI, uint8_t(code));
    return;
  }
  const PdfObject* subtype = PdfGet(document, dictionary, "Subtype");
  const std::string kind = subtype && subtype->type == PDF_NAME ? subtype->text : std::string();
  if (kind == "Type0") {
    LoadComposite(document, dictionary, font);
  } else {
    LoadSimple(document, dictionary, kind, font);
  }
}

int PdfFontNextCode(const PdfFont& font, const uint8_t* s, size_t n, uint32_t* code) {
  if (!font.composite || n < 2) {
    *code = s[0];
    return 1;
  }
  int length;
  if (font.codes) {
    length = PdfCMapNextCode(*font.codes, s, n, 2, code);
  } else if (!font.twoByteCodes && font.toUnicode) {
    // A predefined CMap's codespace is unknown; a ToUnicode map usually repeats it.
    length = PdfCMapNextCode(*font.toUnicode, s, n, 2, code);
  } else {
    *code = uint32_t(s[0]) << 8 | s[1];
    return 2;
  }
  if (length < 1 || size_t(length) > n) {
    // Never trust a length past the string: take what is there.
    length = length < 1 ? 1 : int(n);
    uint32_t value = 0;
    for (int i = 0; i < length; ++i) value = value << 8 | s[i];
    *code = value;
  }
  return length;
}

int PdfFontUnicode(const PdfFont& font, uint32_t code, uint32_t* out) {
  if (!font.composite) {
    if (code > 255) return 0;
    const uint32_t value = font.unicode[code];
    if (!(value & PDF_FONT_SEQUENCE)) {
      out[0] = value;
      return value ? 1 : 0;
    }
    const size_t index = value & ~PDF_FONT_SEQUENCE;
    if (index >= font.sequences.size()) return 0;
    int count = 0;
    for (uint32_t point : font.sequences[index]) {
      if (!point) break;
      out[count++] = point;
    }
    return count;
  }
  if (font.toUnicode) {
    const int count = PdfCMapLookup(*font.toUnicode, code, out, PDF_FONT_MAX_UNICODE);
    if (count > 0) return count > PDF_FONT_MAX_UNICODE ? PDF_FONT_MAX_UNICODE : count;
  }
  if (font.unicodeCodes && code > 0 && code <= 0xFFFF && (code < 0xD800 || code > 0xDFFF)) {
    out[0] = code;
    return 1;
  }
  return 0;
}

float PdfFontWidth(const PdfFont& font, uint32_t code) {
  if (!font.composite) return code < 256 ? font.widths[code] : PDF_FONT_DEFAULT_WIDTH;
  if (font.vertical) return font.verticalAdvance;
  if (!font.cidIsCode || font.widthRanges.empty()) return font.defaultWidth;
  const std::vector<PdfWidthRange>& ranges = font.widthRanges;
  // The last range starting at or before code.
  auto after = std::upper_bound(ranges.begin(), ranges.end(), code,
                                [](uint32_t c, const PdfWidthRange& r) { return c < r.first; });
  if (after == ranges.begin()) return font.defaultWidth;
  const PdfWidthRange& range = *(after - 1);
  return code <= range.last ? range.width : font.defaultWidth;
}

const PdfFont* PdfCachedFont(PdfDocument* document, PdfFontCache* cache, const PdfObject* dictionary) {
  if (!dictionary || !dictionary->IsDict()) {
    if (!cache->fallback) {
      cache->fallback = std::make_unique<PdfFont>();
      PdfLoadFont(document, nullptr, cache->fallback.get());
    }
    return cache->fallback.get();
  }
  auto found = cache->fonts.find(dictionary);
  if (found != cache->fonts.end()) return found->second.get();
  auto font = std::make_unique<PdfFont>();
  PdfLoadFont(document, dictionary, font.get());
  const PdfFont* result = font.get();
  cache->fonts.emplace(dictionary, std::move(font));
  return result;
}

void PdfTrimFontCache(PdfFontCache* cache) {
  if (cache->fonts.size() > PDF_FONT_CACHE_MAX) cache->fonts.clear();
}
