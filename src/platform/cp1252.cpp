// Unicode to code page 1252 (see cp1252.h), UTF-8 names shown in the code
// page, and the key names are listed by. Below 0x80 and from 0xA0 to 0xFF the
// code page is Latin-1; only the 27 characters of the bytes 0x80 to 0x9F need
// the table.
#include "platform/cp1252.h"

#include <cstring>

namespace {

struct Cp1252Pair {
  uint16_t unicode;
  uint8_t byte;
};

// Sorted by Unicode value, searched in order (the table is small and the
// characters are rare in documents).
constexpr Cp1252Pair kCp1252High[] = {
    {0x0152, 0x8C}, {0x0153, 0x9C}, {0x0160, 0x8A}, {0x0161, 0x9A}, {0x0178, 0x9F},
    {0x017D, 0x8E}, {0x017E, 0x9E}, {0x0192, 0x83}, {0x02C6, 0x88}, {0x02DC, 0x98},
    {0x2013, 0x96}, {0x2014, 0x97}, {0x2018, 0x91}, {0x2019, 0x92}, {0x201A, 0x82},
    {0x201C, 0x93}, {0x201D, 0x94}, {0x201E, 0x84}, {0x2020, 0x86}, {0x2021, 0x87},
    {0x2022, 0x95}, {0x2026, 0x85}, {0x2030, 0x89}, {0x2039, 0x8B}, {0x203A, 0x9B},
    {0x20AC, 0x80}, {0x2122, 0x99},
};

}  // namespace

int UnicodeToCp1252(uint32_t cp) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return int(cp);
  if (cp < 0x152) return -1;  // C1 controls and the rest of Latin Extended-A start
  for (const Cp1252Pair& p : kCp1252High) {
    if (p.unicode == cp) return p.byte;
    if (p.unicode > cp) break;
  }
  return -1;
}

namespace {

// A letter with a combining accent (U+0300 to U+036F), as names written on
// some systems keep them ("e" then U+0301), and the code page byte that shows
// both.
struct Composed {
  char base;
  uint16_t mark;
  uint8_t byte;
};

constexpr Composed kComposed[] = {
    {'A', 0x300, 0xC0}, {'A', 0x301, 0xC1}, {'A', 0x302, 0xC2}, {'A', 0x303, 0xC3}, {'A', 0x308, 0xC4},
    {'A', 0x30A, 0xC5}, {'C', 0x327, 0xC7}, {'E', 0x300, 0xC8}, {'E', 0x301, 0xC9}, {'E', 0x302, 0xCA},
    {'E', 0x308, 0xCB}, {'I', 0x300, 0xCC}, {'I', 0x301, 0xCD}, {'I', 0x302, 0xCE}, {'I', 0x308, 0xCF},
    {'N', 0x303, 0xD1}, {'O', 0x300, 0xD2}, {'O', 0x301, 0xD3}, {'O', 0x302, 0xD4}, {'O', 0x303, 0xD5},
    {'O', 0x308, 0xD6}, {'U', 0x300, 0xD9}, {'U', 0x301, 0xDA}, {'U', 0x302, 0xDB}, {'U', 0x308, 0xDC},
    {'Y', 0x301, 0xDD}, {'Y', 0x308, 0x9F}, {'S', 0x30C, 0x8A}, {'Z', 0x30C, 0x8E},
};

// The code point of the UTF-8 sequence at s (at most left bytes), its length
// in n; false for a byte that starts no valid sequence (overlong forms,
// surrogates and values past U+10FFFF are invalid).
bool DecodeUtf8(const uint8_t* s, size_t left, uint32_t* cp, size_t* n) {
  const uint8_t c = s[0];
  size_t length;
  uint32_t value;
  uint32_t least;
  if (c < 0x80) {
    *cp = c;
    *n = 1;
    return true;
  } else if (c >= 0xC2 && c <= 0xDF) {
    length = 2, value = c & 0x1F, least = 0x80;
  } else if (c >= 0xE0 && c <= 0xEF) {
    length = 3, value = c & 0x0F, least = 0x800;
  } else if (c >= 0xF0 && c <= 0xF4) {
    length = 4, value = c & 0x07, least = 0x10000;
  } else {
    return false;
  }
  if (left < length) return false;
  for (size_t i = 1; i < length; ++i) {
    if ((s[i] & 0xC0) != 0x80) return false;
    value = (value << 6) | (s[i] & 0x3F);
  }
  if (value < least || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return false;
  *cp = value;
  *n = length;
  return true;
}

// The letter with the accent, or -1.
int Compose(uint8_t base, uint32_t mark) {
  const bool lower = base >= 'a' && base <= 'z';
  const char upper = char(lower ? base - 32 : base);
  for (const Composed& c : kComposed) {
    if (c.base != upper || c.mark != mark) continue;
    if (!lower) return c.byte;
    // The small letters sit 0x20 above the capitals, 0x10 for the caron
    // letters; y with diaeresis is 0xFF.
    if (c.byte == 0x9F) return 0xFF;
    return c.byte >= 0xC0 ? c.byte + 0x20 : c.byte + 0x10;
  }
  return -1;
}

// What a code page byte sorts as: up to two bytes into out, their count.
int FoldForSort(uint8_t c, char out[2]) {
  const char* folded = nullptr;
  if (c >= 'A' && c <= 'Z') {
    out[0] = char(c + 32);
    return 1;
  }
  if (c < 0x80) {
    out[0] = char(c);
    return 1;
  }
  const uint8_t u = (c >= 0xE0 && c != 0xF7) ? uint8_t(c - 0x20) : c;  // capitals of Latin-1
  if (u >= 0xC0 && u <= 0xC5) folded = "a";
  else if (u == 0xC6) folded = "ae";
  else if (u == 0xC7) folded = "c";
  else if (u >= 0xC8 && u <= 0xCB) folded = "e";
  else if (u >= 0xCC && u <= 0xCF) folded = "i";
  else if (u == 0xD0) folded = "d";
  else if (u == 0xD1) folded = "n";
  else if ((u >= 0xD2 && u <= 0xD6) || u == 0xD8) folded = "o";
  else if (u >= 0xD9 && u <= 0xDC) folded = "u";
  else if (u == 0xDD || c == 0xFF || c == 0x9F) folded = "y";
  else if (u == 0xDE) folded = "th";
  else if (c == 0xDF) folded = "ss";
  else if (c == 0x8A || c == 0x9A) folded = "s";
  else if (c == 0x8E || c == 0x9E) folded = "z";
  else if (c == 0x8C || c == 0x9C) folded = "oe";
  else if (c == 0x83) folded = "f";
  if (!folded) {
    out[0] = char(c);
    return 1;
  }
  out[0] = folded[0];
  if (!folded[1]) return 1;
  out[1] = folded[1];
  return 2;
}

}  // namespace

bool IsMultiByteUtf8(const char* s, size_t length) {
  if (!s) return false;
  const uint8_t* p = reinterpret_cast<const uint8_t*>(s);
  bool multi = false;
  for (size_t i = 0; i < length;) {
    uint32_t cp;
    size_t n;
    if (!DecodeUtf8(p + i, length - i, &cp, &n)) return false;
    multi |= n > 1;
    i += n;
  }
  return multi;
}

size_t NameToCp1252(const char* name, bool utf8, char* out, size_t outSize) {
  if (!out || outSize == 0) return 0;
  out[0] = 0;
  if (!name) return 0;
  const size_t length = std::strlen(name);
  size_t w = 0;
  if (!utf8 && !IsMultiByteUtf8(name, length)) {
    w = length < outSize - 1 ? length : outSize - 1;
    std::memcpy(out, name, w);
    out[w] = 0;
    return w;
  }
  const uint8_t* p = reinterpret_cast<const uint8_t*>(name);
  for (size_t i = 0; i < length && w + 1 < outSize;) {
    uint32_t cp = '?';
    size_t n = 1;
    if (!DecodeUtf8(p + i, length - i, &cp, &n)) cp = '?';
    i += n;
    if (cp >= 0x300 && cp <= 0x36F) {
      const int composed = w > 0 ? Compose(uint8_t(out[w - 1]), cp) : -1;
      if (composed >= 0) {
        out[w - 1] = char(composed);
        continue;
      }
    }
    const int byte = UnicodeToCp1252(cp);
    // Control characters show nothing readable either.
    out[w++] = char(byte >= 0x20 ? byte : '?');
  }
  out[w] = 0;
  return w;
}

size_t Cp1252SortKey(const char* shown, char* out, size_t outSize) {
  if (!out || outSize == 0) return 0;
  size_t w = 0;
  for (const uint8_t* s = reinterpret_cast<const uint8_t*>(shown ? shown : ""); *s; ++s) {
    char folded[2];
    const int n = FoldForSort(*s, folded);
    if (w + size_t(n) >= outSize) break;
    for (int k = 0; k < n; ++k) out[w++] = folded[k];
  }
  out[w] = 0;
  return w;
}
