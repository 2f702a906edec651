// HTML import: turns an HTML page into the formatted text in one left-to-right
// pass over the NUL-terminated buffer, writing the result over the input. No
// tree, no tag stack. Called by the document loader for HTM and HTML files.
#include "importers/html.h"

#include <cstdio>
#include <cstring>

#include "platform/cp1252.h"
#include "platform/trace.h"

namespace {

// A tag whose attributes are read is looked at only in its first 511 bytes, and
// an attribute value keeps at most 255 bytes; longer ones are cut there.
constexpr int32_t kMaxTagBytes = 511;
constexpr int32_t kMaxValueBytes = 255;
constexpr int32_t kNotFound = -1;

struct HtmlEntity {
  const char* name;
  int32_t nameLength;
  const char* output;
};

// Named entities in the order they are tried; names are compared exactly.
constexpr HtmlEntity kHtmlEntities[] = {
    {"&lt;", 4, "<"},
    {"&gt;", 4, ">"},
    {"&amp;", 5, "&"},
    {"&quot;", 6, "\""},
    {"&Aacute;", 8, "\xC1"},
    {"&Agrave;", 8, "\xC0"},
    {"&Acirc;", 7, "\xC2"},
    {"&Atilde;", 8, "\xC3"},
    {"&Aring;", 7, "\xC5"},
    {"&Auml;", 6, "\xC4"},
    {"&AElig;", 7, "\xC6"},
    {"&Ccedil;", 8, "\xC7"},
    {"&Eacute;", 8, "\xC9"},
    {"&Egrave;", 8, "\xC8"},
    {"&Ecirc;", 7, "\xCA"},
    {"&Euml;", 6, "\xCB"},
    {"&Iacute;", 8, "\xCD"},
    {"&Igrave;", 8, "\xCC"},
    {"&Icirc;", 7, "\xCE"},
    {"&Iuml;", 6, "\xCF"},
    {"&ETH;", 5, "\xD0"},
    {"&Ntilde;", 8, "\xD1"},
    {"&Oacute;", 8, "\xD3"},
    {"&Ograve;", 8, "\xD2"},
    {"&Ocirc;", 7, "\xD4"},
    {"&Otilde;", 8, "\xD5"},
    {"&Ouml;", 6, "\xD6"},
    {"&Oslash;", 8, "\xD8"},
    {"&Uacute;", 8, "\xDA"},
    {"&Ugrave;", 8, "\xD9"},
    {"&Ucirc;", 7, "\xDB"},
    {"&Uuml;", 6, "\xDC"},
    {"&Yacute;", 8, "\xDD"},
    {"&THORN;", 7, "\xDE"},
    {"&szlig;", 7, "\xDF"},
    {"&aacute;", 8, "\xE1"},
    {"&agrave;", 8, "\xE0"},
    {"&acirc;", 7, "\xE2"},
    {"&atilde;", 8, "\xE3"},
    {"&aring;", 7, "\xE5"},
    {"&auml;", 6, "\xE4"},
    {"&aelig;", 7, "\xE6"},
    {"&ccedil;", 8, "\xE7"},
    {"&eacute;", 8, "\xE9"},
    {"&egrave;", 8, "\xE8"},
    {"&ecirc;", 7, "\xEA"},
    {"&euml;", 6, "\xEB"},
    {"&iacute;", 8, "\xED"},
    {"&igrave;", 8, "\xEC"},
    {"&icirc;", 7, "\xEE"},
    {"&iuml;", 6, "\xEF"},
    {"&eth;", 5, "\xF0"},
    {"&ntilde;", 8, "\xF1"},
    {"&oacute;", 8, "\xF3"},
    {"&ograve;", 8, "\xF2"},
    {"&ocirc;", 7, "\xF4"},
    {"&otilde;", 8, "\xF5"},
    {"&ouml;", 6, "\xF6"},
    {"&oslash;", 8, "\xF8"},
    {"&uacute;", 8, "\xFA"},
    {"&ugrave;", 8, "\xF9"},
    {"&ucirc;", 7, "\xFB"},
    {"&uuml;", 6, "\xFC"},
    {"&yacute;", 8, "\xFD"},
    {"&thorn;", 7, "\xFE"},
    {"&yuml;", 6, "\xFF"},
    // The rest of HTML 4's character entities that code page 1252 holds, or
    // that have a near match in it.
    {"&iexcl;", 7, "\xA1"},
    {"&cent;", 6, "\xA2"},
    {"&pound;", 7, "\xA3"},
    {"&curren;", 8, "\xA4"},
    {"&yen;", 5, "\xA5"},
    {"&brvbar;", 8, "\xA6"},
    {"&sect;", 6, "\xA7"},
    {"&uml;", 5, "\xA8"},
    {"&ordf;", 6, "\xAA"},
    {"&laquo;", 7, "\xAB"},
    {"&not;", 5, "\xAC"},
    {"&shy;", 5, "\xAD"},
    {"&macr;", 6, "\xAF"},
    {"&deg;", 5, "\xB0"},
    {"&plusmn;", 8, "\xB1"},
    {"&sup2;", 6, "\xB2"},
    {"&sup3;", 6, "\xB3"},
    {"&acute;", 7, "\xB4"},
    {"&micro;", 7, "\xB5"},
    {"&para;", 6, "\xB6"},
    {"&middot;", 8, "\xB7"},
    {"&cedil;", 7, "\xB8"},
    {"&sup1;", 6, "\xB9"},
    {"&ordm;", 6, "\xBA"},
    {"&raquo;", 7, "\xBB"},
    {"&frac14;", 8, "\xBC"},
    {"&frac12;", 8, "\xBD"},
    {"&frac34;", 8, "\xBE"},
    {"&iquest;", 8, "\xBF"},
    {"&times;", 7, "\xD7"},
    {"&divide;", 8, "\xF7"},
    {"&OElig;", 7, "\x8C"},
    {"&oelig;", 7, "\x9C"},
    {"&Scaron;", 8, "\x8A"},
    {"&scaron;", 8, "\x9A"},
    {"&Yuml;", 6, "\x9F"},
    {"&fnof;", 6, "\x83"},
    {"&circ;", 6, "\x88"},
    {"&tilde;", 7, "\x98"},
    {"&ensp;", 6, " "},
    {"&emsp;", 6, " "},
    {"&thinsp;", 8, " "},
    {"&zwnj;", 6, ""},
    {"&zwj;", 5, ""},
    {"&lrm;", 5, ""},
    {"&rlm;", 5, ""},
    {"&ndash;", 7, "\x96"},
    {"&mdash;", 7, "\x97"},
    {"&lsquo;", 7, "\x91"},
    {"&rsquo;", 7, "\x92"},
    {"&sbquo;", 7, "\x82"},
    {"&ldquo;", 7, "\x93"},
    {"&rdquo;", 7, "\x94"},
    {"&bdquo;", 7, "\x84"},
    {"&dagger;", 8, "\x86"},
    {"&Dagger;", 8, "\x87"},
    {"&bull;", 6, "\x95"},
    {"&hellip;", 8, "\x85"},
    {"&permil;", 8, "\x89"},
    {"&prime;", 7, "'"},
    {"&Prime;", 7, "\""},
    {"&lsaquo;", 8, "\x8B"},
    {"&rsaquo;", 8, "\x9B"},
    {"&oline;", 7, "\xAF"},
    {"&frasl;", 7, "/"},
    {"&euro;", 6, "\x80"},
    {"&minus;", 7, "-"},
    {"&lowast;", 8, "*"},
    {"&larr;", 6, "<-"},
    {"&rarr;", 6, "->"},
    {"&sdot;", 6, "\xB7"},
    {"&reg;", 5, "(r)"},
    {"&copy;", 6, "(c)"},
    {"&trade;", 7, "tm"},
    {"&nbsp;", 6, "\t"},
};

inline char FoldUpper(char c) { return (c >= 'a' && c <= 'z') ? char(c - 32) : c; }
inline char FoldLower(char c) { return (c >= 'A' && c <= 'Z') ? char(c + 32) : c; }
inline bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
inline bool IsHexDigit(char c) { return (c >= '0' && c <= '9') || (FoldLower(c) >= 'a' && FoldLower(c) <= 'f'); }

// Remembers the last search for one closing text (such as "</script>") so that a
// page with many scripts is not scanned to its end once per script.
struct ClosingFinder {
  const char* needle;
  int32_t needleLength;
  int32_t searchedFrom;  // kNotFound until the first search
  int32_t foundAt;       // first occurrence at or after searchedFrom, or kNotFound
};

struct HtmlState {
  char* text;
  int32_t total;  // length of the input, taken once; the bytes from r on are unread input
  int32_t r;
  int32_t w;
  bool inBody;
  bool inTag;
  int alignment;  // 0 left, 1 centre, 2 right, 3 justified: the code last written
  int size;       // the size level last written
  ClosingFinder scriptUpper, scriptLower, styleUpper, styleLower, commentEnd;
};

ClosingFinder MakeFinder(const char* needle) {
  return ClosingFinder{needle, int32_t(strlen(needle)), kNotFound, kNotFound};
}

// Position of the first occurrence of the finder's text at or after pos.
int32_t FindClosing(const HtmlState& s, ClosingFinder& f, int32_t pos) {
  if (f.searchedFrom != kNotFound && pos >= f.searchedFrom &&
      (f.foundAt == kNotFound || pos <= f.foundAt))
    return f.foundAt;
  const void* hit = memmem(s.text + pos, size_t(s.total - pos), f.needle, size_t(f.needleLength));
  f.searchedFrom = pos;
  f.foundAt = hit ? int32_t(static_cast<const char*>(hit) - s.text) : kNotFound;
  return f.foundAt;
}

// Writing stays behind reading: every rule consumes its input (advancing r)
// before it writes, and a byte that would land on unread input is dropped.
inline void Put(HtmlState& s, char c) {
  if (s.w < s.r) s.text[s.w++] = c;
}

inline char LastWritten(const HtmlState& s) { return s.w > 0 ? s.text[s.w - 1] : '\0'; }

// True when a tag with this upper-case name starts at pos: "<", the name in
// either case, then a byte that is not a letter. tagLength gets the bytes from
// the "<" to just after the next ">", or to the end of the text.
bool HtmlTagAt(const HtmlState& s, int32_t pos, const char* name, int32_t* tagLength) {
  const char* t = s.text + pos;
  if (t[0] != '<') return false;
  int32_t i = 0;
  // The NUL never equals a name byte, so the comparison stops at the end of the text.
  for (; name[i]; ++i)
    if (FoldUpper(t[1 + i]) != name[i]) return false;
  if (IsLetter(t[1 + i])) return false;
  const int32_t from = pos + 1 + i;
  const void* close = memchr(s.text + from, '>', size_t(s.total - from));
  *tagLength = close ? int32_t(static_cast<const char*>(close) - t) + 1 : s.total - pos;
  return true;
}

// Compares the text at pos with pattern, folding both to lower case unless
// exact. A difference at a ";", space or CR of the pattern still counts as a
// match, so "&lt;" also matches "&lt" followed by any byte.
bool HtmlTextAt(const HtmlState& s, int32_t pos, const char* pattern, bool exact) {
  const char* t = s.text + pos;
  for (int32_t i = 0; pattern[i]; ++i) {
    const char p = pattern[i];
    const char c = t[i];
    if (exact ? c == p : FoldLower(c) == FoldLower(p)) continue;
    // A mismatch stops the walk, so the NUL at the end of the text is never passed.
    return p == ';' || p == ' ' || p == '\r';
  }
  return true;
}

// Copies into value (upper case, at most 255 bytes, NUL-terminated) the value of
// the attribute name (upper case, ending in "=") of the tag at tag: quoted up to
// the next double quote, otherwise up to a space, ">" or the end. Only the first
// 511 bytes of the tag are searched. Empty when the attribute is absent.
void HtmlAttribute(const char* tag, int32_t tagLength, const char* name,
                   char (&value)[kMaxValueBytes + 1]) {
  value[0] = '\0';
  const int32_t limit = tagLength < kMaxTagBytes ? tagLength : kMaxTagBytes;
  const int32_t nameLength = int32_t(strlen(name));
  for (int32_t i = 0; i + nameLength <= limit; ++i) {
    int32_t k = 0;
    while (k < nameLength && FoldUpper(tag[i + k]) == name[k]) ++k;
    if (k < nameLength) continue;
    int32_t j = i + nameLength;
    const bool quoted = j < limit && tag[j] == '"';
    if (quoted) ++j;
    int32_t n = 0;
    for (; j < limit && n < kMaxValueBytes; ++j) {
      const char c = tag[j];
      if (quoted ? c == '"' : (c == ' ' || c == '>')) break;
      value[n++] = FoldUpper(c);
    }
    value[n] = '\0';
    return;
  }
}

// The SIZE value as a decimal number with an optional sign; digits past the
// range that matters saturate.
int ParseSize(const char* value) {
  int sign = 1;
  if (*value == '+' || *value == '-') sign = (*value++ == '-') ? -1 : 1;
  int n = 0;
  for (; *value >= '0' && *value <= '9'; ++value)
    if (n < 100000) n = n * 10 + (*value - '0');
  return sign * n;
}

void WriteAlignment(HtmlState& s, int alignment) {
  if (alignment == s.alignment) return;
  Put(s, '\x01');
  Put(s, "lcrj"[alignment]);
  s.alignment = alignment;
}

void WriteAlignmentOf(HtmlState& s, int32_t tagStart, int32_t tagLength) {
  char value[kMaxValueBytes + 1];
  HtmlAttribute(s.text + tagStart, tagLength, "ALIGN=", value);
  int alignment = 0;
  if (value[0] == 'C') alignment = 1;
  else if (value[0] == 'R') alignment = 2;
  else if (value[0] == 'J') alignment = 3;
  WriteAlignment(s, alignment);
}

void WriteLineEnd(HtmlState& s) {
  Put(s, '\r');
  Put(s, '\n');
}

void EndBlock(HtmlState& s) {
  if (s.alignment != 0) {
    Put(s, '\x01');
    Put(s, 'l');
    s.alignment = 0;
  }
}

enum TagAction {
  TAG_END_BODY,
  TAG_BOLD_ON,
  TAG_BOLD_OFF,
  TAG_ITALIC_ON,
  TAG_ITALIC_OFF,
  TAG_LINE_BREAK,
  TAG_DIV,
  TAG_NOTHING,
  TAG_END_DIV,
  TAG_PARAGRAPH,
  TAG_END_PARAGRAPH,
  TAG_END_FONT,
  TAG_FONT,
};

struct TagRule {
  const char* name;
  TagAction action;
};

// Tried in this order; the first that matches handles the whole tag.
constexpr TagRule kTagRules[] = {
    {"/BODY", TAG_END_BODY},      {"B", TAG_BOLD_ON},         {"STRONG", TAG_BOLD_ON},
    {"/B", TAG_BOLD_OFF},         {"/STRONG", TAG_BOLD_OFF},  {"I", TAG_ITALIC_ON},
    {"/I", TAG_ITALIC_OFF},       {"/BR", TAG_LINE_BREAK},    {"BR", TAG_LINE_BREAK},
    {"DIV", TAG_DIV},             {"TBODY", TAG_NOTHING},     {"/TBODY", TAG_NOTHING},
    {"TD", TAG_NOTHING},          {"/TD", TAG_NOTHING},       {"TR", TAG_NOTHING},
    {"/TR", TAG_NOTHING},         {"TABLE", TAG_LINE_BREAK},  {"/TABLE", TAG_LINE_BREAK},
    {"/DIV", TAG_END_DIV},        {"P", TAG_PARAGRAPH},       {"/P", TAG_END_PARAGRAPH},
    {"/FONT", TAG_END_FONT},      {"FONT", TAG_FONT},
};

void RunTagAction(HtmlState& s, TagAction action, int32_t tagStart, int32_t tagLength) {
  switch (action) {
    case TAG_END_BODY: s.inBody = false; break;
    case TAG_BOLD_ON: Put(s, '\x01'); Put(s, 'B'); break;
    case TAG_BOLD_OFF: Put(s, '\x01'); Put(s, 'b'); break;
    case TAG_ITALIC_ON: Put(s, '\x01'); Put(s, 'I'); break;
    case TAG_ITALIC_OFF: Put(s, '\x01'); Put(s, 'i'); break;
    case TAG_LINE_BREAK: WriteLineEnd(s); break;
    case TAG_DIV: WriteAlignmentOf(s, tagStart, tagLength); break;
    case TAG_NOTHING: break;
    case TAG_END_DIV:
      WriteLineEnd(s);
      EndBlock(s);
      break;
    case TAG_PARAGRAPH:
      if (s.w == 0 || LastWritten(s) == '\n') WriteLineEnd(s);
      WriteAlignmentOf(s, tagStart, tagLength);
      break;
    case TAG_END_PARAGRAPH:
      WriteLineEnd(s);
      WriteLineEnd(s);
      EndBlock(s);
      break;
    case TAG_END_FONT:
      if (s.size != 1) {
        Put(s, '\x01');
        Put(s, 'F');
        Put(s, '1');
        s.size = 1;
      }
      break;
    case TAG_FONT: {
      char value[kMaxValueBytes + 1];
      HtmlAttribute(s.text + tagStart, tagLength, "SIZE=", value);
      if (value[0] == '\0') break;
      int n = ParseSize(value);
      if (n == s.size) break;
      if (n > 5) n = 5;
      // A size below 0 means normal size; keeping "0" + n at 1 or more means it
      // never wraps round to a NUL (which would end the document) or a large size.
      if (n < 1 - '0') n = 1 - '0';
      Put(s, '\x01');
      Put(s, 'F');
      Put(s, char('0' + n));
      s.size = n;
      break;
    }
  }
}

// At a "<" in the body: runs the first tag rule that matches. False when none does.
bool TryTagRules(HtmlState& s) {
  int32_t tagLength = 0;
  // No two names can match one tag, so a rule whose first letter differs is
  // passed over without changing which rule wins.
  const char first = FoldUpper(s.text[s.r + 1]);
  // A "<" just before the NUL has no second byte to look at.
  const char second = first ? FoldUpper(s.text[s.r + 2]) : '\0';
  for (const TagRule& rule : kTagRules) {
    if (rule.name[0] != first || (rule.name[1] && rule.name[1] != second)) continue;
    if (!HtmlTagAt(s, s.r, rule.name, &tagLength)) continue;
    const int32_t tagStart = s.r;
    s.r += tagLength;
    RunTagAction(s, rule.action, tagStart, tagLength);
    return true;
  }
  return false;
}

// Skips a script, style sheet or comment when its closing text follows; false
// (nothing consumed) when it does not.
bool TrySkipBlock(HtmlState& s) {
  int32_t end = kNotFound;
  const char next = FoldLower(s.text[s.r + 1]);
  if (next != 's' && next != '!') return false;
  if (HtmlTextAt(s, s.r, "<script", false)) {
    const int32_t upper = FindClosing(s, s.scriptUpper, s.r);
    const int32_t lower = FindClosing(s, s.scriptLower, s.r);
    // The nearer closing tag ends this script; a farther one belongs to a later script.
    const int32_t at = (upper == kNotFound || (lower != kNotFound && lower < upper)) ? lower : upper;
    if (at != kNotFound) end = at + s.scriptUpper.needleLength;
  } else if (HtmlTextAt(s, s.r, "<style", false)) {
    const int32_t upper = FindClosing(s, s.styleUpper, s.r);
    const int32_t lower = FindClosing(s, s.styleLower, s.r);
    const int32_t at = (upper == kNotFound || (lower != kNotFound && lower < upper)) ? lower : upper;
    if (at != kNotFound) end = at + s.styleUpper.needleLength;
  } else if (HtmlTextAt(s, s.r, "<!--", false)) {
    const int32_t at = FindClosing(s, s.commentEnd, s.r);
    if (at != kNotFound) end = at + s.commentEnd.needleLength;
  }
  if (end == kNotFound) return false;
  s.r = end;
  return true;
}

bool TryQuotation(HtmlState& s) {
  static const char* const kQuotes[] = {"<blockquote>", "</blockquote>", "<cite>", "</cite>"};
  for (const char* q : kQuotes) {
    if (!HtmlTextAt(s, s.r, q, false)) continue;
    s.r += int32_t(strlen(q));
    Put(s, '"');
    return true;
  }
  return false;
}

// "&#" and digits: the value, with each digit and its place value traced on
// standard output. A value past any character saturates.
void WriteNumericReference(HtmlState& s, int32_t digitsEnd, uint32_t value) {
  uint8_t byte;
  if (value <= 255) {
    byte = uint8_t(value);
  } else {
    // Characters beyond Latin-1 take their code page 1252 byte where there is
    // one (curly quotes, dashes, the euro sign); anything else shows as "?".
    const int cp = UnicodeToCp1252(value);
    byte = cp >= 0 ? uint8_t(cp) : uint8_t('?');
  }
  // The byte after the digits (normally the ";") goes with the reference.
  s.r = digitsEnd < s.total ? digitsEnd + 1 : s.total;
  // Byte 1 would turn the document's own bytes into a format code.
  if (byte != 1) Put(s, char(byte));
}

bool TryNumericReference(HtmlState& s) {
  const char* t = s.text + s.r;
  if (t[1] != '#' || t[2] < '0' || t[2] > '9') return false;
  int32_t end = s.r + 2;
  while (s.text[end] >= '0' && s.text[end] <= '9') ++end;
  constexpr uint64_t kValueCap = 0x7FFFFFFF;
  constexpr uint64_t kPlaceCap = 1000000000000000000ull;
  uint64_t value = 0;
  uint64_t place = 1;
  for (int32_t i = end - 1; i >= s.r + 2; --i) {
    const int digit = s.text[i] - '0';
    GpTrace("%d\n%llu\n", digit, static_cast<unsigned long long>(place));
    value += uint64_t(digit) * place;
    if (value > kValueCap) value = kValueCap;
    if (place < kPlaceCap) place *= 10;
  }
  if (value == 0) return false;
  WriteNumericReference(s, end, uint32_t(value));
  return true;
}

// "&#x" and hexadecimal digits, taken as a decimal reference is (without the
// trace of its digits).
bool TryHexReference(HtmlState& s) {
  const char* t = s.text + s.r;
  if (t[1] != '#' || (t[2] != 'x' && t[2] != 'X') || !IsHexDigit(t[3])) return false;
  int32_t end = s.r + 3;
  uint64_t value = 0;
  for (; IsHexDigit(s.text[end]); ++end) {
    const char c = FoldLower(s.text[end]);
    value = value * 16 + uint64_t(c <= '9' ? c - '0' : c - 'a' + 10);
    if (value > 0x7FFFFFFF) value = 0x7FFFFFFF;
  }
  if (value == 0) return false;
  WriteNumericReference(s, end, uint32_t(value));
  return true;
}

// The entities by the first letter of their names, each letter's in table
// order: a reference is compared with the few that share its first two
// letters, not with the whole table, so a text of many "&" costs no more than
// its words.
constexpr size_t kEntityCount = sizeof kHtmlEntities / sizeof kHtmlEntities[0];
static_assert(kEntityCount < 256, "entity positions are bytes");
struct EntityIndex {
  uint8_t start[129];  // by first letter: where its entities begin in order
  uint8_t order[kEntityCount];
  constexpr EntityIndex() : start(), order() {
    size_t n = 0;
    for (int c = 0; c < 128; ++c) {
      start[c] = uint8_t(n);
      for (size_t i = 0; i < kEntityCount; ++i) {
        if (kHtmlEntities[i].name[1] == c) order[n++] = uint8_t(i);
      }
    }
    start[128] = uint8_t(n);
  }
};
constexpr EntityIndex kEntityIndex;

// The pairs of letters that begin an entity's name, one bit each.
struct EntityPairs {
  uint8_t bits[128][16];
  constexpr EntityPairs() : bits() {
    for (const HtmlEntity& e : kHtmlEntities) {
      const int a = e.name[1];
      const int b = e.name[2];
      bits[a][b >> 3] = uint8_t(bits[a][b >> 3] | (1 << (b & 7)));
    }
  }
};
constexpr EntityPairs kEntityPairs;

// True when the "&" at t may begin a reference: a "#", or the first two
// letters of an entity's name. Reads t[2] only when t[1] is not the text's NUL.
inline bool MayStartReference(const char* t) {
  const uint8_t a = uint8_t(t[1]);
  if (a == '#') return true;
  if (a == 0 || a >= 128) return false;
  const uint8_t b = uint8_t(t[2]);
  return b < 128 && ((kEntityPairs.bits[a][b >> 3] >> (b & 7)) & 1) != 0;
}

bool TryNamedEntity(HtmlState& s) {
  const uint8_t first = uint8_t(s.text[s.r + 1]);
  // The NUL that ends the text has no entities: nothing after it is read.
  if (first == 0 || first >= 128) return false;
  const char second = s.text[s.r + 2];
  for (int k = kEntityIndex.start[first]; k < kEntityIndex.start[first + 1]; ++k) {
    const HtmlEntity& e = kHtmlEntities[kEntityIndex.order[k]];
    // Every name has a letter in its second place: a different one there is
    // a mismatch whatever follows.
    if (e.name[2] != second || !HtmlTextAt(s, s.r, e.name, true)) continue;
    // The whole entity's length is consumed even when its ";" is missing, but
    // never past the end of the text.
    const int32_t left = s.total - s.r;
    s.r += e.nameLength < left ? e.nameLength : left;
    for (const char* o = e.output; *o; ++o) Put(s, *o);
    return true;
  }
  return false;
}

// One position inside the body that no tag rule took.
void HandleBodyByte(HtmlState& s) {
  const char c = s.text[s.r];
  if (uint8_t(c) < 0x20) {
    ++s.r;
    // A line end between words becomes one space; other control bytes go.
    if ((c == '\n' || c == '\r') && uint8_t(s.text[s.r]) > 0x20 && s.w > 0 && LastWritten(s) != ' ')
      Put(s, ' ');
    return;
  }
  if (c == ' ' && LastWritten(s) == ' ' && s.w > 0) {
    ++s.r;
    return;
  }
  if (c == '<') {
    if (TrySkipBlock(s) || TryQuotation(s)) return;
    const char next = s.text[s.r + 1];
    if (IsLetter(next) || next == '!' || next == '/') {
      s.inTag = true;
      ++s.r;
      return;
    }
  } else if (c == '>' && s.inTag) {
    s.inTag = false;
    ++s.r;
    return;
  }
  if (s.inTag) {
    ++s.r;
    return;
  }
  if (c == '&' && (TryNumericReference(s) || TryHexReference(s) || TryNamedEntity(s))) return;
  ++s.r;
  if (c == '\x01') return;  // the document's byte 1 would start a format code
  if (c == ' ' && s.w > 0 && (LastWritten(s) == ' ' || LastWritten(s) == '\t')) return;
  Put(s, c);
}

// Bytes that no rule but the last one looks at: written as they stand in the
// text, dropped inside a tag.
enum : uint8_t { TEXT_PLAIN = 1, IN_TAG_PLAIN = 2 };

constexpr uint8_t ClassOf(int c) {
  if (c == 0) return 0;  // the end of the text stops every run
  if (c < 0x20 || c == '<' || c == '>') return 0;
  if (c == ' ') return IN_TAG_PLAIN;
  if (c == '&') return IN_TAG_PLAIN;
  return TEXT_PLAIN | IN_TAG_PLAIN;
}

struct ByteClassTable {
  uint8_t v[256];
  constexpr ByteClassTable() : v() {
    for (int c = 0; c < 256; ++c) v[c] = ClassOf(c);
  }
  constexpr uint8_t operator[](int c) const { return v[c]; }
};
constexpr ByteClassTable kByteClass;

}  // namespace

void ImportHtml(Text*, char* buffer, int32_t) {
  if (!buffer) return;
  HtmlState s{};
  s.text = buffer;
  s.total = int32_t(strlen(buffer));
  s.size = 1;
  s.scriptUpper = MakeFinder("</SCRIPT>");
  s.scriptLower = MakeFinder("</script>");
  s.styleUpper = MakeFinder("</STYLE>");
  s.styleLower = MakeFinder("</style>");
  s.commentEnd = MakeFinder("-->");
  int32_t tagLength = 0;
  while (s.r < s.total) {
    if (!s.inBody) {
      const void* open = memchr(s.text + s.r, '<', size_t(s.total - s.r));
      if (!open) break;
      s.r = int32_t(static_cast<const char*>(open) - s.text);
      if (HtmlTagAt(s, s.r, "BODY", &tagLength)) {
        s.r += tagLength;
        s.inBody = true;
      } else {
        ++s.r;
      }
      continue;
    }
    const char c = s.text[s.r];
    if (c == '<' && TryTagRules(s)) continue;
    // Runs of plain characters are the bulk of a page: copied (or, inside a tag,
    // skipped) in one loop. Writing stays behind reading, as in Put.
    const int32_t runStart = s.r;
    if (s.inTag) {
      while (kByteClass[uint8_t(s.text[s.r])] & IN_TAG_PLAIN) ++s.r;
    } else {
      for (;;) {
        const char b = s.text[s.r];
        // A space is kept unless it follows a written space or tab.
        if (!(kByteClass[uint8_t(b)] & TEXT_PLAIN) &&
            (b != ' ' || (s.w > 0 && (s.text[s.w - 1] == ' ' || s.text[s.w - 1] == '\t')))) {
          // An "&" that begins no reference is a character of the text, as
          // the rules would write it: it stays in the run.
          if (b != '&' || MayStartReference(s.text + s.r)) break;
        }
        s.text[s.w++] = b;
        ++s.r;
      }
    }
    if (s.r == runStart) HandleBodyByte(s);
  }
  buffer[s.w] = '\0';
}

void MarkHtmlStructure(char* chapter, int32_t length) {
  auto lower = [](char c) { return char(c >= 'A' && c <= 'Z' ? c + 32 : c); };
  auto ends_name = [](char c) { return c == '>' || c == ' ' || c == '/' || c == '\t' || c == '\n' || c == '\r'; };
  // memchr finds each tag's "<": a chapter is mostly text between tags.
  for (int32_t i = 0; i + 3 < length; ++i) {
    const void* open = std::memchr(chapter + i, '<', size_t(length - 3 - i));
    if (!open) break;
    i = int32_t(static_cast<const char*>(open) - chapter);
    const char a = lower(chapter[i + 1]);
    const char b = lower(chapter[i + 2]);
    const char c = chapter[i + 3];
    if (a == 'h' && b >= '1' && b <= '6' && ends_name(c)) {
      chapter[i + 1] = 'b';  // <hN ...> -> <br ...>
      chapter[i + 2] = 'r';
    } else if (a == 'e' && b == 'm' && ends_name(c)) {
      chapter[i + 1] = 'i';  // <em ...> -> <i  ...>
      chapter[i + 2] = ' ';
    } else if (a == '/' && i + 4 < length && chapter[i + 4] == '>') {
      const char d = lower(chapter[i + 2]);
      const char e = chapter[i + 3];
      if (d == 'h' && e >= '1' && e <= '6') {
        chapter[i + 1] = 'b';  // </hN> -> <br >
        chapter[i + 2] = 'r';
        chapter[i + 3] = ' ';
      } else if (d == 'e' && lower(e) == 'm') {
        chapter[i + 2] = 'i';  // </em> -> </i >
        chapter[i + 3] = ' ';
      }
    }
  }
}
