// ToUnicode CMaps: reads the codespace and bfchar/bfrange sections of a CMap
// program with the PDF tokenizer into sorted mappings, and answers the font
// code's two questions per glyph: how long is this code, and what Unicode is it.
#include "pdf/cmap.h"

#include <algorithm>
#include <string>

#include "pdf/objects.h"
#include "pdf/tables.h"

namespace {

constexpr uint32_t UNICODE_LAST = 0x10FFFF;

// The big-endian value of a code's bytes; false for none or more than 4.
bool CodeValue(const std::string& bytes, uint32_t* value) {
  if (bytes.empty() || bytes.size() > 4) return false;
  uint32_t v = 0;
  for (char c : bytes) v = v << 8 | uint8_t(c);
  *value = v;
  return true;
}

// The code points of a UTF-16BE destination, at most PDF_CMAP_MAX_UNICODE.
// A lone byte is taken as the code point itself, as some writers put one-byte
// destinations; an odd last byte is dropped; a surrogate without its pair is
// kept as it is.
int Utf16CodePoints(const std::string& bytes, uint32_t* out) {
  const size_t n = bytes.size();
  if (n == 1) {
    out[0] = uint8_t(bytes[0]);
    return 1;
  }
  auto unit = [&bytes](size_t i) { return uint32_t(uint8_t(bytes[i])) << 8 | uint8_t(bytes[i + 1]); };
  int count = 0;
  size_t i = 0;
  while (i + 1 < n && count < PDF_CMAP_MAX_UNICODE) {
    uint32_t u = unit(i);
    i += 2;
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < n) {
      const uint32_t low = unit(i);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        u = 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00);
        i += 2;
      }
    }
    out[count++] = u;
  }
  return count;
}

// The code points a destination token stands for: a UTF-16BE string or a
// glyph name. 0 for anything else, an unknown name or an empty string.
int DestinationCodePoints(const PdfToken& token, uint32_t* out) {
  if (token.type == TOKEN_STRING) return Utf16CodePoints(token.text, out);
  if (token.type == TOKEN_NAME) {
    const uint32_t u = PdfGlyphUnicode(token.text.data(), token.text.size());
    if (u == 0) return 0;
    out[0] = u;
    return 1;
  }
  return 0;
}

// Maps low..high (low <= high) to the count code points; false when the map
// holds PDF_CMAP_MAX_MAPPINGS already. An empty destination maps nothing.
bool AddMapping(PdfCMap* map, uint32_t low, uint32_t high, const uint32_t* points, int count) {
  if (map->mappings.size() >= PDF_CMAP_MAX_MAPPINGS) return false;
  if (count <= 0) return true;
  PdfCMapMapping mapping;
  mapping.low = low;
  mapping.high = high;
  mapping.start = low;
  mapping.text = uint32_t(map->text.size());
  mapping.length = uint8_t(count);
  map->text.insert(map->text.end(), points, points + count);
  map->mappings.push_back(mapping);
  return true;
}

// The codespace entry lo..hi: both of the same length, 1 to 4 bytes.
void AddCodespace(PdfCMap* map, const std::string& lo, const std::string& hi) {
  uint32_t low, high;
  if (lo.size() != hi.size() || !CodeValue(lo, &low) || !CodeValue(hi, &high)) return;
  if (map->codespaces.size() >= PDF_CMAP_MAX_CODESPACES) return;
  map->codespaces.push_back(PdfCodespace{uint8_t(lo.size()), low, high});
}

// Resolves overlapping mappings, in the order they were defined, into
// sorted disjoint ones where each code keeps its latest definition. order
// lists the mappings by low. A sweep over the codes with a heap of the
// mappings that have begun, latest on top, ends a piece wherever the latest
// one ends or another begins.
std::vector<PdfCMapMapping> Resolve(const std::vector<PdfCMapMapping>& m,
                                    const std::vector<uint32_t>& order) {
  std::vector<PdfCMapMapping> out;
  out.reserve(m.size());
  std::vector<uint32_t> heap;  // indices into m: a later index is a later definition
  const size_t n = order.size();
  size_t next = 0;
  uint64_t pos = 0;  // 64 bits: one past code 0xFFFFFFFF
  uint32_t last_winner = UINT32_MAX;
  while (next < n || !heap.empty()) {
    if (heap.empty()) pos = m[order[next]].low;
    while (next < n && m[order[next]].low <= pos) {
      heap.push_back(order[next++]);
      std::push_heap(heap.begin(), heap.end());
    }
    while (!heap.empty() && m[heap.front()].high < pos) {
      std::pop_heap(heap.begin(), heap.end());
      heap.pop_back();
    }
    if (heap.empty()) continue;
    const uint32_t winner = heap.front();
    uint64_t end = uint64_t(m[winner].high) + 1;
    if (next < n && m[order[next]].low < end) end = m[order[next]].low;
    if (winner == last_winner && !out.empty() && uint64_t(out.back().high) + 1 == pos) {
      out.back().high = uint32_t(end - 1);
    } else {
      PdfCMapMapping piece = m[winner];
      piece.low = uint32_t(pos);
      piece.high = uint32_t(end - 1);
      out.push_back(piece);
    }
    last_winner = winner;
    pos = end;
  }
  return out;
}

}  // namespace

void PdfFinishCMap(PdfCMap* map) {
  std::stable_sort(map->codespaces.begin(), map->codespaces.end(),
                   [](const PdfCodespace& a, const PdfCodespace& b) { return a.bytes < b.bytes; });
  std::vector<PdfCMapMapping>& m = map->mappings;
  bool disjoint = true;
  for (size_t i = 1; i < m.size() && disjoint; ++i) disjoint = m[i].low > m[i - 1].high;
  if (disjoint) return;  // written in order, as most are, or finished before
  std::vector<uint32_t> order(m.size());
  for (size_t i = 0; i < m.size(); ++i) order[i] = uint32_t(i);
  std::stable_sort(order.begin(), order.end(), [&m](uint32_t a, uint32_t b) { return m[a].low < m[b].low; });
  uint64_t reach = 0;  // one past the highest code so far
  disjoint = true;
  for (uint32_t i : order) {
    if (m[i].low < reach) {
      disjoint = false;
      break;
    }
    reach = uint64_t(m[i].high) + 1;
  }
  if (disjoint) {
    std::vector<PdfCMapMapping> sorted;
    sorted.reserve(m.size());
    for (uint32_t i : order) sorted.push_back(m[i]);
    m.swap(sorted);
    return;
  }
  std::vector<PdfCMapMapping> resolved = Resolve(m, order);
  m.swap(resolved);
}

bool PdfParseCMap(const uint8_t* data, size_t size, PdfCMap* map) {
  if (!map) return false;
  map->codespaces.clear();
  map->mappings.clear();
  map->text.clear();
  if (!data || size == 0) return false;
  enum Section { SECTION_NONE, SECTION_CODESPACE, SECTION_BFCHAR, SECTION_BFRANGE };
  Section section = SECTION_NONE;
  PdfLexer lexer;
  lexer.data = data;
  lexer.size = size;
  PdfToken token;
  // The operands of the entry being read: have counts them.
  std::string first, second;
  int have = 0;
  uint32_t points[PDF_CMAP_MAX_UNICODE];
  bool room = true;
  bool again = false;  // the token ended an array and is read once more
  // A string or name that the buffer's end cuts short is no destination.
  auto cut_short = [&lexer, data, size]() {
    return lexer.pos >= size && data[size - 1] != '>' && data[size - 1] != ')';
  };
  while (room && (again || PdfNextToken(&lexer, &token))) {
    again = false;
    if (token.type == TOKEN_KEYWORD) {
      // Any keyword ends the section: its end, or the next operator of a
      // CMap that left the end out. The counts before "begin..." are not
      // trusted; the entries themselves are read.
      if (token.Is("begincodespacerange")) {
        section = SECTION_CODESPACE;
      } else if (token.Is("beginbfchar")) {
        section = SECTION_BFCHAR;
      } else if (token.Is("beginbfrange")) {
        section = SECTION_BFRANGE;
      } else {
        section = SECTION_NONE;
      }
      have = 0;
      continue;
    }
    if (section == SECTION_NONE) continue;
    const bool destination =
        (section == SECTION_BFCHAR && have == 1) || (section == SECTION_BFRANGE && have == 2);
    if (!destination) {
      // A source code or codespace bound; anything else starts the entry over.
      if (token.type != TOKEN_STRING || cut_short()) {
        have = 0;
        continue;
      }
      (have == 0 ? first : second) = token.text;
      ++have;
      if (section == SECTION_CODESPACE && have == 2) {
        AddCodespace(map, first, second);
        have = 0;
      }
      continue;
    }
    // The destination of a bfchar (have 1) or a bfrange (have 2).
    have = 0;
    uint32_t low, high;
    if (!CodeValue(first, &low)) continue;
    if (section == SECTION_BFCHAR) {
      if (!cut_short()) room = AddMapping(map, low, low, points, DestinationCodePoints(token, points));
      continue;
    }
    if (!CodeValue(second, &high) || high < low) continue;
    if (token.type != TOKEN_ARRAY_OPEN) {
      // Code low + k maps to the destination with its last code point plus k;
      // a range of any span stays one mapping.
      if (!cut_short()) room = AddMapping(map, low, high, points, DestinationCodePoints(token, points));
      continue;
    }
    // One destination per code from low on; extra ones are read and dropped.
    uint64_t code = low;
    while (PdfNextToken(&lexer, &token)) {
      if (token.type == TOKEN_ARRAY_CLOSE) break;
      if (token.type == TOKEN_KEYWORD) {
        again = true;  // an array the CMap did not close
        break;
      }
      if (code <= high && room && !cut_short()) {
        room = AddMapping(map, uint32_t(code), uint32_t(code), points, DestinationCodePoints(token, points));
      }
      ++code;
    }
  }
  PdfFinishCMap(map);
  return !map->codespaces.empty() || !map->mappings.empty();
}

int PdfCMapNextCode(const PdfCMap& map, const uint8_t* s, size_t n, int defaultBytes, uint32_t* code) {
  *code = 0;
  if (!s || n == 0) return 0;
  int length = 0;
  if (map.codespaces.empty()) {
    length = defaultBytes < 1 ? 1 : defaultBytes > 4 ? 4 : defaultBytes;
  } else {
    int first_byte_fits = 0;
    for (const PdfCodespace& range : map.codespaces) {
      const int bytes = range.bytes;
      if (bytes < 1 || bytes > 4) continue;
      if (length != 0 && bytes >= length) continue;
      // Byte k of the code lies between byte k of low and of high; bytes the
      // string's end cuts off cannot disagree.
      bool match = true;
      for (int k = 0; k < bytes && size_t(k) < n; ++k) {
        const int shift = 8 * (bytes - 1 - k);
        const uint32_t b = s[k];
        if (b < ((range.low >> shift) & 0xFF) || b > ((range.high >> shift) & 0xFF)) {
          match = false;
          break;
        }
        if (k == 0 && (first_byte_fits == 0 || bytes < first_byte_fits)) first_byte_fits = bytes;
      }
      if (match) length = bytes;
    }
    if (length == 0) length = first_byte_fits != 0 ? first_byte_fits : 1;
  }
  if (size_t(length) > n) length = int(n);
  uint32_t value = 0;
  for (int k = 0; k < length; ++k) value = value << 8 | s[k];
  *code = value;
  return length;
}

int PdfCMapLookup(const PdfCMap& map, uint32_t code, uint32_t* out, int max) {
  if (!out || max <= 0) return 0;
  const std::vector<PdfCMapMapping>& m = map.mappings;
  // The first mapping that starts past code; the one before it may hold it.
  size_t lo = 0;
  size_t hi = m.size();
  while (lo < hi) {
    const size_t mid = lo + (hi - lo) / 2;
    if (m[mid].low <= code) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  if (lo == 0) return 0;
  const PdfCMapMapping& mapping = m[lo - 1];
  if (code > mapping.high || code < mapping.start || mapping.length == 0) return 0;
  if (size_t(mapping.text) + mapping.length > map.text.size()) return 0;
  const uint32_t* points = map.text.data() + mapping.text;
  const uint64_t last = uint64_t(points[mapping.length - 1]) + (code - mapping.start);
  if (last > UNICODE_LAST) return 0;
  const int count = mapping.length < max ? mapping.length : max;
  for (int k = 0; k < count; ++k) out[k] = points[k];
  if (count == mapping.length) out[count - 1] = uint32_t(last);
  return count;
}
