// Encoding detection and conversion to code page 1252 (see encoding.h). The
// text is converted in place with a write position that never passes the read
// position, so a book needs no second buffer.
#include "document/encoding.h"

#include <cstring>

#include "document/load.h"
#include "platform/cp1252.h"

namespace {

// Only the first bytes of a page are searched for its declared encoding.
constexpr int32_t kDeclarationWindow = 1024;

constexpr uint64_t kHighBits = 0x8080808080808080ull;

struct Lookalike {
  uint32_t unicode;
  const char* text;  // at most 3 bytes; "" for an invisible character
};

// Characters code page 1252 lacks that have a near match in it, sorted by
// Unicode value.
constexpr Lookalike kLookalikes[] = {
    {0x02B9, "'"},     {0x02BA, "\""},    {0x02BB, "\x91"},  {0x02BC, "\x92"},
    {0x02C8, "'"},     {0x02CB, "`"},     {0x02D0, ":"},     {0x0387, "\xB7"},
    {0x2000, " "},     {0x2001, " "},     {0x2002, " "},     {0x2003, " "},
    {0x2004, " "},     {0x2005, " "},     {0x2006, " "},     {0x2007, " "},
    {0x2008, " "},     {0x2009, " "},     {0x200A, " "},     {0x200B, ""},
    {0x200C, ""},      {0x200D, ""},      {0x200E, ""},      {0x200F, ""},
    {0x2010, "-"},     {0x2011, "-"},     {0x2012, "\x96"},  {0x2015, "\x97"},
    {0x2016, "||"},    {0x2017, "_"},     {0x201B, "\x91"},  {0x201F, "\x93"},
    {0x2023, "\x95"},  {0x2024, "."},     {0x2025, ".."},    {0x2027, "\xB7"},
    {0x2028, "\n"},    {0x2029, "\n"},    {0x202F, " "},     {0x2032, "'"},
    {0x2033, "\""},    {0x2034, "'''"},   {0x2035, "`"},     {0x2036, "``"},
    {0x2043, "-"},     {0x2044, "/"},     {0x204E, "*"},     {0x205F, " "},
    {0x2060, ""},      {0x2116, "No"},    {0x2190, "<-"},    {0x2192, "->"},
    {0x2212, "-"},     {0x2215, "/"},     {0x2217, "*"},     {0x2219, "\x95"},
    {0x2223, "|"},     {0x2236, ":"},     {0x223C, "~"},     {0x2260, "!="},
    {0x2264, "<="},    {0x2265, ">="},    {0x22C5, "\xB7"},  {0x22EF, "..."},
    {0x2500, "-"},     {0x2502, "|"},     {0x25AA, "\x95"},  {0x25CF, "\x95"},
    {0x25E6, "\x95"},  {0x2713, "v"},     {0x3000, " "},     {0xFB00, "ff"},
    {0xFB01, "fi"},    {0xFB02, "fl"},    {0xFB03, "ffi"},   {0xFB04, "ffl"},
    {0xFEFF, ""},      {0xFF0C, ","},
};

const char* LookalikeOf(uint32_t cp) {
  size_t lo = 0;
  size_t hi = sizeof kLookalikes / sizeof kLookalikes[0];
  while (lo < hi) {
    const size_t mid = (lo + hi) / 2;
    if (kLookalikes[mid].unicode < cp) {
      lo = mid + 1;
    } else if (kLookalikes[mid].unicode > cp) {
      hi = mid;
    } else {
      return kLookalikes[mid].text;
    }
  }
  return nullptr;
}

inline uint64_t Load8(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}

// Decodes the UTF-8 sequence at s[i] (i < n) without reading at or past n.
// Returns its length and the character, or 0 for an invalid or cut-off
// sequence (overlong forms, surrogates and values past U+10FFFF included).
inline bool Continues(uint8_t b) { return (b & 0xC0) == 0x80; }

inline int DecodeUtf8(const uint8_t* s, size_t n, size_t i, uint32_t* cp) {
  const uint8_t c = s[i];
  if (c < 0x80) {
    *cp = c;
    return 1;
  }
  if (c < 0xC2 || c > 0xF4) return 0;  // a continuation byte, an overlong lead, or past U+10FFFF
  if (c < 0xE0) {
    if (i + 1 >= n || (s[i + 1] & 0xC0) != 0x80) return 0;
    *cp = uint32_t(c & 0x1F) << 6 | (s[i + 1] & 0x3F);
    return 2;
  }
  // The second byte's range rules out overlong forms (E0, F0), surrogates
  // (ED) and values past U+10FFFF (F4).
  uint8_t lo = 0x80, hi = 0xBF;
  if (c == 0xE0) lo = 0xA0;
  if (c == 0xED) hi = 0x9F;
  if (c == 0xF0) lo = 0x90;
  if (c == 0xF4) hi = 0x8F;
  if (i + 1 >= n || s[i + 1] < lo || s[i + 1] > hi) return 0;
  if (i + 2 >= n || (s[i + 2] & 0xC0) != 0x80) return 0;
  if (c < 0xF0) {
    *cp = uint32_t(c & 0x0F) << 12 | uint32_t(s[i + 1] & 0x3F) << 6 | (s[i + 2] & 0x3F);
    return 3;
  }
  if (i + 3 >= n || (s[i + 3] & 0xC0) != 0x80) return 0;
  *cp = uint32_t(c & 0x07) << 18 | uint32_t(s[i + 1] & 0x3F) << 12 | uint32_t(s[i + 2] & 0x3F) << 6 |
        (s[i + 3] & 0x3F);
  return 4;
}

// Bytes before the first one from 0x80 in a word of eight loaded from memory
// (h: the word's high bits, not 0).
inline size_t AsciiPrefix(uint64_t h) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  return size_t(__builtin_ctzll(h)) >> 3;
#else
  size_t k = 0;
  uint8_t b[8];
  std::memcpy(b, &h, 8);
  while (!b[k]) ++k;
  return k;
#endif
}


// True when the n bytes are valid UTF-8 with at least one multi-byte sequence.
bool IsMultiByteUtf8(const uint8_t* s, size_t n) {
  bool multi = false;
  size_t i = 0;
  // While sixteen bytes are left, a sequence that starts in the first eight
  // has all its bytes inside the text: no bound needs checking.
  while (i + 16 <= n) {
    // Runs of ASCII, the bulk of most texts, sixteen and eight bytes at a time.
    const uint64_t a = Load8(s + i);
    if (((a | Load8(s + i + 8)) & kHighBits) == 0) {
      i += 16;
      continue;
    }
    const uint64_t h = a & kHighBits;
    if (!h) {
      i += 8;
      continue;
    }
    i += AsciiPrefix(h);
    multi = true;
    // Two- and three-byte sequences whose second byte may be any continuation
    // byte (Latin letters, general punctuation) are checked here directly.
    const uint8_t c = s[i];
    if (c >= 0xE1 && c <= 0xEC) {
      if (!Continues(s[i + 1]) || !Continues(s[i + 2])) return false;
      i += 3;
      continue;
    }
    if (c >= 0xC2 && c <= 0xDF) {
      if (!Continues(s[i + 1])) return false;
      i += 2;
      continue;
    }
    uint32_t cp;
    const int length = DecodeUtf8(s, n, i, &cp);
    if (length == 0) return false;
    i += size_t(length);
  }
  while (i < n) {
    uint32_t cp;
    const int length = DecodeUtf8(s, n, i, &cp);
    if (length == 0) return false;
    if (length > 1) multi = true;
    i += size_t(length);
  }
  return multi;
}

// UTF-16 without a mark is found by where its zero bytes fall: in Latin text
// every other byte is the high byte of a character below U+0100. Only whole
// units of the first bytes are counted, and a few units at least, so a tiny
// binary file does not pass by chance.
constexpr int32_t kUtf16Window = 512;
constexpr int32_t kUtf16MinUnits = 4;

// ENCODING_UTF16LE or ENCODING_UTF16BE when nearly all (7 in 8) high bytes of
// the first units are zero and most (3 in 4) low bytes are not, else
// ENCODING_CP1252. Eight-bit text has no zero byte before its end, and a text
// padded with zeros has them at both positions, so neither is taken for it.
TextEncoding MarklessUtf16(const uint8_t* s, int32_t size) {
  const int32_t units = (size < kUtf16Window ? size : kUtf16Window) / 2;
  if (units < kUtf16MinUnits) return ENCODING_CP1252;
  int32_t zeros[2] = {0, 0};  // at even and at odd positions
  for (int32_t i = 0; i < units; ++i) {
    zeros[0] += s[2 * i] == 0;
    zeros[1] += s[2 * i + 1] == 0;
  }
  for (int high = 0; high < 2; ++high) {
    if (zeros[high] * 8 >= units * 7 && zeros[1 - high] * 4 <= units)
      return high ? ENCODING_UTF16LE : ENCODING_UTF16BE;
  }
  return ENCODING_CP1252;
}

inline char FoldLower(char c) { return (c >= 'A' && c <= 'Z') ? char(c + 32) : c; }

// Position of the first case-folded occurrence of the lower-case word in
// s[from, n), or -1.
int32_t FindFolded(const char* s, int32_t from, int32_t n, const char* word) {
  const int32_t length = int32_t(std::strlen(word));
  for (int32_t i = from; i + length <= n; ++i) {
    int32_t k = 0;
    while (k < length && FoldLower(s[i + k]) == word[k]) ++k;
    if (k == length) return i;
  }
  return -1;
}

// The encoding named after a keyword ("charset", "encoding") at s[at], with an
// "=" and optional spaces and quotes in between, read no further than n:
// 1 for UTF-8, 0 for code page 1252 or Latin-1, -1 for none or another one.
int DeclaredValue(const char* s, int32_t at, int32_t n, int32_t keywordLength) {
  int32_t i = at + keywordLength;
  while (i < n && s[i] == ' ') ++i;
  if (i >= n || s[i] != '=') return -1;
  ++i;
  while (i < n && (s[i] == ' ' || s[i] == '"' || s[i] == '\'')) ++i;
  char value[16];
  int32_t k = 0;
  while (i < n && k < int32_t(sizeof value) - 1) {
    const char c = FoldLower(s[i]);
    if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_')) break;
    value[k++] = c;
    ++i;
  }
  value[k] = 0;
  // A value cut by the window, or one too long to be any of these, names nothing.
  if (i >= n) return -1;
  if (!std::strcmp(value, "utf-8") || !std::strcmp(value, "utf8")) return 1;
  static const char* const kLatin[] = {"windows-1252", "cp1252", "iso-8859-1", "iso8859-1",
                                       "latin1", "latin-1", "us-ascii", "ascii"};
  for (const char* name : kLatin)
    if (!std::strcmp(value, name)) return 0;
  return -1;
}

// The encoding an HTML page declares in its first bytes: an XML declaration at
// its start, or a charset (in a meta element, either form).
int DeclaredEncoding(const char* s, int32_t n) {
  if (n > kDeclarationWindow) n = kDeclarationWindow;
  int32_t start = 0;
  while (start < n && (s[start] == ' ' || s[start] == '\t' || s[start] == '\r' || s[start] == '\n')) ++start;
  if (start + 5 <= n && std::strncmp(s + start, "<?xml", 5) == 0) {
    const char* close = static_cast<const char*>(std::memchr(s + start, '>', size_t(n - start)));
    const int32_t end = close ? int32_t(close - s) : n;
    const int32_t at = FindFolded(s, start, end, "encoding");
    if (at >= 0) {
      const int value = DeclaredValue(s, at, end, 8);
      if (value >= 0) return value;
    }
  }
  for (int32_t from = 0;;) {
    const int32_t at = FindFolded(s, from, n, "charset");
    if (at < 0) return -1;
    const int value = DeclaredValue(s, at, n, 7);
    if (value >= 0) return value;
    from = at + 7;
  }
}

// Writes the code page 1252 text of cp at s[*w]; a look-alike longer than the
// room left before limit (the read position less the bytes kept in reserve)
// becomes "?", which always fits.
inline void Emit(uint8_t* s, size_t* w, size_t limit, uint32_t cp) {
  const int b = cp < 0x80 ? int(cp) : UnicodeToCp1252(cp);
  if (b >= 0) {
    if (cp == 0) return;
    s[(*w)++] = uint8_t(b);
    return;
  }
  char text[3];
  const int length = Cp1252TextOf(cp, text);
  if (*w + size_t(length) > limit) {
    s[(*w)++] = '?';
    return;
  }
  for (int k = 0; k < length; ++k) s[(*w)++] = uint8_t(text[k]);
}

struct PageEntry {
  uint8_t length;
  char text[3];
};

// The code page 1252 text of U+2000 to U+20FF (general punctuation, the
// currency signs), where nearly every character of a text outside Latin-1
// lies: curly quotes, dashes, the ellipsis, the euro sign.
const PageEntry* GeneralPunctuation() {
  static const struct Page {
    PageEntry e[256];
    Page() : e() {
      for (uint32_t k = 0; k < 256; ++k) e[k].length = uint8_t(Cp1252TextOf(0x2000 + k, e[k].text));
    }
  } page;
  return page.e;
}

// One sequence at r, whatever it is: its code page 1252 text, or "?" for a
// byte that starts no valid sequence.
inline void ConvertSequence(uint8_t* s, size_t n, size_t* r, size_t* w) {
  uint32_t cp;
  const int length = DecodeUtf8(s, n, *r, &cp);
  if (length == 0) {
    ++*r;
    s[(*w)++] = '?';
    return;
  }
  *r += size_t(length);
  Emit(s, w, *r, cp);
}

size_t ConvertUtf8(uint8_t* s, size_t n, size_t r) {
  const PageEntry* page20 = GeneralPunctuation();
  // Nothing moves until the first byte that changes.
  while (r + 8 <= n && (Load8(s + r) & kHighBits) == 0) r += 8;
  while (r < n && s[r] < 0x80) ++r;
  size_t w = r;
  // While sixteen bytes are left, a sequence that starts in the first eight
  // has all its bytes inside the text.
  while (r + 16 <= n) {
    // ASCII eight bytes at a time. A whole word is stored even when only its
    // first bytes are ASCII, once writing is far enough behind reading that
    // the store cannot reach unread input.
    const uint64_t v = Load8(s + r);
    const uint64_t h = v & kHighBits;
    if (!h) {
      std::memcpy(s + w, &v, 8);
      r += 8;
      w += 8;
      continue;
    }
    const size_t prefix = AsciiPrefix(h);
    if (r - w >= 8) {
      std::memcpy(s + w, &v, 8);
    } else {
      std::memmove(s + w, s + r, prefix);
    }
    r += prefix;
    w += prefix;
    // The general punctuation page by its table, and Latin-1 letters.
    const uint8_t c = s[r];
    const uint8_t c1 = s[r + 1];
    if (c == 0xE2) {
      if ((c1 & 0xFC) == 0x80 && Continues(s[r + 2])) {
        const PageEntry& e = page20[(c1 & 0x03) << 6 | (s[r + 2] & 0x3F)];
        // The three bytes land on the three just read; the text is e.length long.
        std::memcpy(s + w, e.text, 3);
        w += e.length;
        r += 3;
        continue;
      }
    } else if ((c == 0xC2 || c == 0xC3) && Continues(c1)) {
      const uint32_t cp = uint32_t(c & 0x1F) << 6 | (c1 & 0x3F);
      s[w++] = cp >= 0xA0 ? uint8_t(cp) : uint8_t('?');  // C1 controls are no letters
      r += 2;
      continue;
    }
    ConvertSequence(s, n, &r, &w);
  }
  while (r < n) ConvertSequence(s, n, &r, &w);
  return w;
}

size_t ConvertUtf16(uint8_t* s, size_t n, size_t r, bool bigEndian, size_t reserve) {
  size_t w = 0;
  const int hi = bigEndian ? 0 : 1;
  const int lo = 1 - hi;
  while (r + 2 <= n) {
    uint32_t unit = uint32_t(s[r + hi]) << 8 | s[r + lo];
    r += 2;
    if (unit < 0x80) {
      if (unit) s[w++] = uint8_t(unit);
      continue;
    }
    if (unit >= 0xD800 && unit <= 0xDFFF) {
      const bool paired = unit < 0xDC00 && r + 2 <= n;
      const uint32_t next = paired ? (uint32_t(s[r + hi]) << 8 | s[r + lo]) : 0;
      if (!paired || next < 0xDC00 || next > 0xDFFF) {
        s[w++] = '?';  // an unpaired surrogate; the unit after it is read on its own
        continue;
      }
      r += 2;
      unit = 0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00);
    }
    Emit(s, &w, r - reserve, unit);
  }
  // An odd last byte is half a character.
  if (r < n && s[r] != 0) s[w++] = '?';
  return w;
}

}  // namespace

int Cp1252TextOf(uint32_t cp, char out[3]) {
  if (cp == 0) return 0;
  const int b = UnicodeToCp1252(cp);
  if (b >= 0) {
    out[0] = char(b);
    return 1;
  }
  const char* look = LookalikeOf(cp);
  if (!look) {
    out[0] = '?';
    return 1;
  }
  int k = 0;
  for (; look[k] && k < 3; ++k) out[k] = look[k];
  return k;
}

EncodingGuess DetectEncoding(const char* buffer, int32_t size, bool html) {
  EncodingGuess guess;
  if (!buffer || size <= 0) return guess;
  const uint8_t* s = reinterpret_cast<const uint8_t*>(buffer);
  if (size >= 3 && s[0] == 0xEF && s[1] == 0xBB && s[2] == 0xBF) {
    guess.encoding = ENCODING_UTF8;
    guess.markLength = 3;
    return guess;
  }
  if (size >= 2 && ((s[0] == 0xFF && s[1] == 0xFE) || (s[0] == 0xFE && s[1] == 0xFF))) {
    guess.encoding = s[0] == 0xFF ? ENCODING_UTF16LE : ENCODING_UTF16BE;
    guess.markLength = 2;
    return guess;
  }
  guess.encoding = MarklessUtf16(s, size);
  if (guess.encoding != ENCODING_CP1252) return guess;
  const int32_t n = int32_t(strnlen(buffer, size_t(size)));
  if (html) {
    const int declared = DeclaredEncoding(buffer, n);
    if (declared == 1) guess.encoding = ENCODING_UTF8;
    if (declared >= 0) return guess;
  }
  if (IsMultiByteUtf8(s, size_t(n))) guess.encoding = ENCODING_UTF8;
  return guess;
}

int32_t ConvertToCp1252(char* buffer, int32_t size, EncodingGuess guess) {
  if (!buffer || size <= 0) return 0;
  uint8_t* s = reinterpret_cast<uint8_t*>(buffer);
  size_t mark = size_t(guess.markLength);
  if (mark > size_t(size)) mark = size_t(size);
  size_t w = 0;
  switch (guess.encoding) {
    case ENCODING_UTF8: {
      const size_t n = strnlen(buffer, size_t(size));
      if (mark > n) mark = n;
      // Drop the mark, then convert what follows it; the result ends at or
      // before the text's own NUL.
      w = ConvertUtf8(s + mark, n - mark, 0);
      if (mark) std::memmove(s, s + mark, w);
      // At n the text's own NUL already stands.
      if (w < n) s[w] = 0;
      return int32_t(w);
    }
    case ENCODING_UTF16LE:
    case ENCODING_UTF16BE:
      // One byte kept in reserve puts the final NUL inside the input even
      // when a look-alike is longer than its character.
      w = ConvertUtf16(s, size_t(size), mark, guess.encoding == ENCODING_UTF16BE, 1);
      break;
    default:
      return int32_t(strnlen(buffer, size_t(size)));
  }
  s[w] = 0;
  return int32_t(w);
}

void ConvertDocumentEncoding(const char* name, char* buffer, int32_t* size) {
  if (!buffer || !size || *size <= 0) return;
  const bool html = NameHasExtension(name, "htm") || NameHasExtension(name, "html");
  if (!html && (std::strncmp(buffer, "{\\rtf", 5) == 0 || NameHasExtension(name, "pdf") ||
                NameHasExtension(name, "pdb")))
    return;
  const EncodingGuess guess = DetectEncoding(buffer, *size, html);
  if (guess.encoding == ENCODING_CP1252) return;
  *size = ConvertToCp1252(buffer, *size, guess);
}
