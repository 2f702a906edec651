// RTF import: a single-pass, table-driven converter from RTF to the formatted
// text. Groups save and restore the formatting; unwanted destinations are
// dropped; format codes are written only just before a character that shows
// them. Called by the document loader for every text that starts "{\rtf".
#include "importers/rtf.h"

#include <cstdlib>
#include <cstring>
#include <string_view>

#include "document/text.h"
#include "importers/rtf_keywords.h"
#include "platform/cp1252.h"

namespace {

// Keywords and parameters longer than this are read to their end but cut: a
// longer keyword matches no row, a longer number saturates.
constexpr int32_t kMaxKeyword = 29;
constexpr uint32_t kMaxParameter = 0x7FFFFFFF;
// Real documents nest a few dozen groups; a deeper nesting is taken as a
// document that would exhaust memory (each group costs one saved record).
constexpr int32_t kMaxGroupDepth = 4096;
// The most one output character can write: bold, italic and underline codes
// (2 bytes each), size and colour codes (3 each), an alignment code (2) and a
// page break (3) make 19; the rest keeps room for the terminating NUL.
constexpr size_t kMaxOutputPerChar = 24;
// Colour table entries 1 to 14 can be filled from the document.
constexpr int32_t kMaxDocumentColours = 15;

enum Destination : uint8_t { DEST_NORMAL, DEST_SKIP };
enum InputState : uint8_t { INPUT_NORMAL, INPUT_RAW, INPUT_HEX };

struct RtfCharProps {
  uint8_t bold;
  uint8_t underline;
  uint8_t italic;
  uint8_t colour;
  int32_t size;  // half-points
  int32_t font;
};

struct RtfParaProps {
  int32_t leftIndent;
  int32_t rightIndent;
  int32_t firstIndent;
  uint8_t alignment;  // 0 left, 1 right, 2 centred, 3 justified
};

// Section and document properties are kept and scoped like the others but
// nothing reads them.
struct RtfSectionProps {
  int32_t columns;
  uint8_t breakKind;
  int32_t pageNumberX;
  int32_t pageNumberY;
  uint8_t pageNumberFormat;
};

struct RtfDocProps {
  int32_t pageWidth;
  int32_t pageHeight;
  int32_t marginLeft;
  int32_t marginTop;
  int32_t marginRight;
  int32_t marginBottom;
  int32_t firstPageNumber;
  uint8_t facingPages;
  uint8_t landscape;
};

// Everything a group saves at "{" and restores at "}".
struct RtfSavedState {
  RtfCharProps chp;
  RtfParaProps pap;
  RtfSectionProps sep;
  RtfDocProps dop;
  uint8_t destination;
  uint8_t inputState;
  int32_t fallbackCount;  // characters that follow each \uN as its stand-in
};

struct RtfParser {
  const uint8_t* in;
  int32_t pos;
  int32_t length;

  RtfSavedState cur;
  int64_t rawCount;        // bytes left in a \bin run
  uint32_t lastParameter;  // unsigned value of the latest parameter
  bool optionalDestination;
  uint32_t hexValue;
  int32_t hexDigits;
  int32_t fallbackLeft;  // stand-in characters of the last \uN still to drop

  RtfSavedState* stack;  // open groups, oldest first
  int32_t depth;
  int32_t stackCapacity;

  // What the output shows so far; not scoped by groups.
  RtfCharProps emitted;
  uint8_t emittedAlignment;
  bool dirty;  // a property may differ from the emitted ones

  char* out;
  size_t outPos;
  size_t outCapacity;
};

// Byte classes for the runs of plain text copied or dropped at once.
enum : uint8_t { CLASS_PLAIN = 0, CLASS_SKIP_STOP = 1, CLASS_COPY_STOP = 2 };

struct ByteClasses {
  uint8_t of[256];
};

constexpr ByteClasses MakeClasses() {
  ByteClasses c = {};
  // Only these bytes end a dropped run; a copied run also ends at the bytes
  // that are ignored or written differently.
  c.of[uint8_t('{')] = CLASS_SKIP_STOP;
  c.of[uint8_t('}')] = CLASS_SKIP_STOP;
  c.of[uint8_t('\\')] = CLASS_SKIP_STOP;
  c.of[uint8_t('\n')] = CLASS_COPY_STOP;
  c.of[uint8_t('\r')] = CLASS_COPY_STOP;
  c.of[0] = CLASS_COPY_STOP;
  c.of[1] = CLASS_COPY_STOP;
  c.of[2] = CLASS_COPY_STOP;
  return c;
}

constexpr ByteClasses kClasses = MakeClasses();

bool IsLetter(uint8_t c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(uint8_t c) { return c >= '0' && c <= '9'; }

uint16_t PackColour(uint32_t red, uint32_t green, uint32_t blue) {
  return uint16_t(((red >> 3) & 31) << 11 | ((green >> 3) & 31) << 6 | ((blue >> 3) & 31));
}

// Decimal digits at s[*i]; none reads as 0. Values wrap at 32 bits; only the
// low eight bits are used.
uint32_t ReadColourValue(const uint8_t* s, size_t n, size_t* i) {
  uint32_t value = 0;
  while (*i < n && IsDigit(s[*i])) value = value * 10u + uint32_t(s[(*i)++] - '0');
  return value;
}

bool At(const uint8_t* s, size_t n, size_t i, std::string_view word) {
  return n - i >= word.size() && std::memcmp(s + i, word.data(), word.size()) == 0;
}

// Entry 0 is the user's text colour; the document's own colours follow it.
// Red and green carry over from one entry to the next, and only "\blue" adds
// an entry, as the table is read by keyword rather than by ";".
void ScanColourTable(Text* text, const uint8_t* s, int32_t length) {
  text->colours[0] = 0;
  text->colourCount = 1;
  const size_t n = strnlen(reinterpret_cast<const char*>(s), size_t(length));
  const std::string_view all(reinterpret_cast<const char*>(s), n);
  const size_t hit = all.find("{\\colortbl");
  if (hit == std::string_view::npos) return;
  uint32_t red = 0;
  uint32_t green = 0;
  for (size_t i = hit + 10; i < n && s[i] != '}';) {
    if (At(s, n, i, "\\red")) {
      i += 4;
      red = ReadColourValue(s, n, &i);
    } else if (At(s, n, i, "\\green")) {
      i += 6;
      green = ReadColourValue(s, n, &i);
    } else if (At(s, n, i, "\\blue")) {
      i += 5;
      const uint32_t blue = ReadColourValue(s, n, &i);
      if (text->colourCount < kMaxDocumentColours)
        text->colours[text->colourCount++] = PackColour(red, green, blue);
    } else {
      ++i;
    }
  }
}

bool GrowOutput(RtfParser& p, size_t need) {
  size_t capacity = p.outCapacity + p.outCapacity / 2;
  if (capacity < p.outPos + need + kMaxOutputPerChar) capacity = p.outPos + need + kMaxOutputPerChar;
  char* grown = static_cast<char*>(std::realloc(p.out, capacity));
  if (!grown) return false;
  p.out = grown;
  p.outCapacity = capacity;
  return true;
}

// Room for need more bytes and the terminating NUL.
inline bool Reserve(RtfParser& p, size_t need) {
  return p.outCapacity - p.outPos >= need + kMaxOutputPerChar || GrowOutput(p, need);
}

int32_t SizeLevel(int32_t halfPoints) { return (halfPoints / 2 + 1) / 4; }

// The codes for every difference between the current and the emitted state.
void WriteCodes(RtfParser& p) {
  char* o = p.out + p.outPos;
  const RtfCharProps& c = p.cur.chp;
  RtfCharProps& e = p.emitted;
  if (!c.bold != !e.bold) {
    *o++ = FORMAT_CODE;
    *o++ = c.bold ? FMT_BOLD_ON : FMT_BOLD_OFF;
  }
  if (!c.italic != !e.italic) {
    *o++ = FORMAT_CODE;
    *o++ = c.italic ? FMT_ITALIC_ON : FMT_ITALIC_OFF;
  }
  if (!c.underline != !e.underline) {
    *o++ = FORMAT_CODE;
    *o++ = c.underline ? FMT_UNDERLINE_ON : FMT_UNDERLINE_OFF;
  }
  if (c.size != e.size) {
    const int32_t level = SizeLevel(c.size);
    if (level != SizeLevel(e.size)) {
      // Levels up to 3 all mean normal size and 6 and above all mean both size
      // bits; written within 0 to 6, the argument never becomes a NUL that
      // would cut the document short.
      *o++ = FORMAT_CODE;
      *o++ = FMT_SIZE;
      *o++ = char('0' + (level < 0 ? 0 : level > 6 ? 6 : level));
    }
  }
  // An index past the 16-entry table names no colour and is drawn in the text
  // colour, as entry 0 is; taking it as 0 keeps the argument printable (index
  // 208 would otherwise give a NUL).
  const uint8_t colour = c.colour < TEXT_COLOURS ? c.colour : 0;
  if (colour != (e.colour < TEXT_COLOURS ? e.colour : 0)) {
    *o++ = FORMAT_CODE;
    *o++ = FMT_COLOUR;
    *o++ = char('0' + colour);
  }
  if (p.cur.pap.alignment != p.emittedAlignment) {
    static const char kAlignCodes[4] = {FMT_ALIGN_LEFT, FMT_ALIGN_RIGHT, FMT_ALIGN_CENTRE,
                                        FMT_ALIGN_JUSTIFY};
    *o++ = FORMAT_CODE;
    *o++ = kAlignCodes[p.cur.pap.alignment & 3];
    p.emittedAlignment = p.cur.pap.alignment;
  }
  e = c;
  p.dirty = false;
  p.outPos = size_t(o - p.out);
}

// Writes one character with the codes it needs first. False when the output
// cannot grow.
inline bool Output(RtfParser& p, uint8_t ch) {
  // Byte 1 would start a format code made of the document's own bytes, one
  // that the end of the text could cut short, and a NUL (from \'00 or a \bin
  // run) would end the text there: neither is a character, so both go.
  if (ch == uint8_t(FORMAT_CODE) || ch == 0) return true;
  if (!Reserve(p, 0)) return false;
  if (p.dirty) WriteCodes(p);
  if (ch == 2) {
    // The page break stands on a line of its own.
    p.out[p.outPos++] = '\n';
    p.out[p.outPos++] = FORMAT_CODE;
    p.out[p.outPos++] = FMT_PAGE_BREAK;
  } else {
    p.out[p.outPos++] = char(ch);
  }
  return true;
}

// A character of the text: a text byte, a raw byte, a finished hexadecimal
// escape or the byte of a Char row.
int TextChar(RtfParser& p, uint8_t ch) {
  if (p.cur.inputState == INPUT_RAW && --p.rawCount <= 0) p.cur.inputState = INPUT_NORMAL;
  if (p.fallbackLeft > 0) {
    --p.fallbackLeft;
    return RtfOk;
  }
  if (p.cur.destination == DEST_SKIP) return RtfOk;
  return Output(p, ch) ? RtfOk : RtfNoMemory;
}

int OpenGroup(RtfParser& p) {
  if (p.depth == p.stackCapacity) {
    if (p.depth >= kMaxGroupDepth) return RtfNoMemory;
    const int32_t capacity = p.stackCapacity ? p.stackCapacity * 2 : 32;
    void* grown = std::realloc(p.stack, size_t(capacity) * sizeof(RtfSavedState));
    if (!grown) return RtfNoMemory;
    p.stack = static_cast<RtfSavedState*>(grown);
    p.stackCapacity = capacity;
  }
  p.stack[p.depth++] = p.cur;
  p.cur.inputState = INPUT_NORMAL;
  // Stand-ins of a \uN never reach across a brace.
  p.fallbackLeft = 0;
  return RtfOk;
}

int CloseGroup(RtfParser& p) {
  if (p.depth == 0) return RtfStackUnderflow;
  p.cur = p.stack[--p.depth];
  p.fallbackLeft = 0;
  p.dirty = true;
  return RtfOk;
}

void SetProperty(RtfParser& p, RtfProperty property, int32_t value) {
  RtfSavedState& s = p.cur;
  switch (property) {
    case RtfProperty::Bold: s.chp.bold = uint8_t(value); break;
    case RtfProperty::Underline: s.chp.underline = uint8_t(value); break;
    case RtfProperty::Italic: s.chp.italic = uint8_t(value); break;
    case RtfProperty::Size: s.chp.size = value; break;
    case RtfProperty::Colour: s.chp.colour = uint8_t(value); break;
    case RtfProperty::Font: s.chp.font = value; break;
    case RtfProperty::LeftIndent: s.pap.leftIndent = value; break;
    case RtfProperty::RightIndent: s.pap.rightIndent = value; break;
    case RtfProperty::FirstIndent: s.pap.firstIndent = value; break;
    case RtfProperty::Columns: s.sep.columns = value; break;
    case RtfProperty::SectionBreak: s.sep.breakKind = uint8_t(value); break;
    case RtfProperty::PageNumberX: s.sep.pageNumberX = value; break;
    case RtfProperty::PageNumberY: s.sep.pageNumberY = value; break;
    case RtfProperty::PageNumberFormat: s.sep.pageNumberFormat = uint8_t(value); break;
    case RtfProperty::ParagraphReset:
      s.pap.alignment = 0;
      s.pap.leftIndent = s.pap.rightIndent = s.pap.firstIndent = 0;
      s.chp = RtfCharProps{};
      break;
    case RtfProperty::Alignment: s.pap.alignment = uint8_t(value); break;
    case RtfProperty::PageWidth: s.dop.pageWidth = value; break;
    case RtfProperty::PageHeight: s.dop.pageHeight = value; break;
    case RtfProperty::MarginLeft: s.dop.marginLeft = value; break;
    case RtfProperty::MarginRight: s.dop.marginRight = value; break;
    case RtfProperty::MarginTop: s.dop.marginTop = value; break;
    case RtfProperty::MarginBottom: s.dop.marginBottom = value; break;
    case RtfProperty::FirstPageNumber: s.dop.firstPageNumber = value; break;
    case RtfProperty::FacingPages: s.dop.facingPages = uint8_t(value); break;
    case RtfProperty::Landscape: s.dop.landscape = uint8_t(value); break;
    case RtfProperty::FallbackCount: s.fallbackCount = value < 0 ? 0 : value; break;
  }
  p.dirty = true;
}

// \uN: the code page 1252 byte of character N, then the stand-ins that follow
// are dropped. A character the code page lacks (or a control character, which
// would act as a code or end the text) shows its stand-ins instead.
int UnicodeChar(RtfParser& p, int32_t parameter) {
  int64_t cp = parameter;
  if (cp < 0) cp += 65536;
  int byte = cp >= 0 && cp <= 0x10FFFF ? UnicodeToCp1252(uint32_t(cp)) : -1;
  if (byte >= 0 && byte < 32 && byte != '\t') byte = -1;
  if (byte < 0) return RtfOk;
  const int result = TextChar(p, uint8_t(byte));
  p.fallbackLeft = p.cur.fallbackCount;
  return result;
}

int Dispatch(RtfParser& p, const char* word, int32_t length, bool hasParameter, int32_t parameter) {
  const bool isBin = length == 3 && std::memcmp(word, "bin", 3) == 0;
  if (p.fallbackLeft > 0 && !isBin && !(length == 1 && word[0] == '\'')) {
    // A control word or symbol standing in for a \uN counts as one character.
    --p.fallbackLeft;
    p.optionalDestination = false;
    return RtfOk;
  }
  if (hasParameter && length == 1 && word[0] == 'u') {
    p.optionalDestination = false;
    return UnicodeChar(p, parameter);
  }
  const RtfKeyword* row = FindRtfKeyword(word, length);
  if (!row) {
    if (p.optionalDestination) p.cur.destination = DEST_SKIP;
    p.optionalDestination = false;
    return RtfOk;
  }
  p.optionalDestination = false;
  switch (row->kind) {
    case RtfKeywordKind::Property:
      if (p.cur.destination == DEST_SKIP) return RtfOk;
      SetProperty(p, RtfProperty(row->index),
                  row->useDefault || !hasParameter ? row->defaultValue : parameter);
      return RtfOk;
    case RtfKeywordKind::Char:
      return TextChar(p, row->index);
    case RtfKeywordKind::Destination:
      p.cur.destination = DEST_SKIP;
      return RtfOk;
    case RtfKeywordKind::Special:
      switch (RtfSpecial(row->index)) {
        case RtfSpecial::Binary:
          p.cur.inputState = INPUT_RAW;
          p.rawCount = p.lastParameter;
          return RtfOk;
        case RtfSpecial::OptionalDestination:
          if (p.cur.destination != DEST_SKIP) p.optionalDestination = true;
          return RtfOk;
        case RtfSpecial::Hex:
          if (p.cur.destination != DEST_SKIP) p.cur.inputState = INPUT_HEX;
          return RtfOk;
      }
      return RtfBadTable;
  }
  return RtfBadTable;
}

// After the backslash: a control symbol (one byte that is not a letter) or a
// control word with an optional signed parameter and an optional space.
int ControlWord(RtfParser& p) {
  if (p.pos >= p.length) return RtfEndOfInput;
  const uint8_t first = p.in[p.pos++];
  if (!IsLetter(first)) {
    const char symbol = char(first);
    return Dispatch(p, &symbol, 1, false, 0);
  }
  char word[kMaxKeyword];
  int32_t length = 0;
  bool tooLong = false;
  word[length++] = char(first);
  while (p.pos < p.length && IsLetter(p.in[p.pos])) {
    if (length < kMaxKeyword)
      word[length++] = char(p.in[p.pos]);
    else
      tooLong = true;
    ++p.pos;
  }
  bool hasParameter = false;
  int32_t parameter = 0;
  bool negative = false;
  if (p.pos < p.length && p.in[p.pos] == '-') {
    // A "-" that no digit follows is dropped.
    ++p.pos;
    if (p.pos >= p.length) return RtfEndOfInput;
    negative = true;
  }
  if (p.pos < p.length && IsDigit(p.in[p.pos])) {
    uint32_t value = 0;
    while (p.pos < p.length && IsDigit(p.in[p.pos])) {
      const uint32_t digit = uint32_t(p.in[p.pos++] - '0');
      value = value > (kMaxParameter - digit) / 10 ? kMaxParameter : value * 10 + digit;
    }
    hasParameter = true;
    p.lastParameter = value;
    parameter = negative ? -int32_t(value) : int32_t(value);
  }
  // The delimiter is consumed when it is a space; anything else is read again.
  if (p.pos < p.length && p.in[p.pos] == ' ') ++p.pos;
  return Dispatch(p, word, tooLong ? 0 : length, hasParameter, parameter);
}

int HexDigit(RtfParser& p, uint8_t c) {
  uint32_t digit;
  if (c >= '0' && c <= '9')
    digit = uint32_t(c - '0');
  else if (c >= 'a' && c <= 'f')
    digit = uint32_t(c - 'a' + 10);
  else if (c >= 'A' && c <= 'F')
    digit = uint32_t(c - 'A' + 10);
  else
    return RtfInvalidHex;
  p.hexValue = p.hexValue * 16 + digit;
  if (++p.hexDigits < 2) return RtfOk;
  const uint8_t value = uint8_t(p.hexValue);
  p.hexValue = 0;
  p.hexDigits = 0;
  const int result = TextChar(p, value);
  p.cur.inputState = INPUT_NORMAL;
  return result;
}

// Plain text after a character just handled: copied or dropped as a run while
// nothing can change how it is written.
void TextRun(RtfParser& p) {
  if (p.fallbackLeft > 0 || p.cur.inputState != INPUT_NORMAL) return;
  const uint8_t* in = p.in;
  int32_t i = p.pos;
  if (p.cur.destination == DEST_SKIP) {
    while (i < p.length && kClasses.of[in[i]] != CLASS_SKIP_STOP) ++i;
    p.pos = i;
    return;
  }
  if (p.dirty) return;
  while (i < p.length && kClasses.of[in[i]] == CLASS_PLAIN) ++i;
  const size_t run = size_t(i - p.pos);
  if (run == 0 || !Reserve(p, run)) return;  // a failed grow shows at the next character
  std::memcpy(p.out + p.outPos, in + p.pos, run);
  p.outPos += run;
  p.pos = i;
}

int Parse(RtfParser& p) {
  while (p.pos < p.length) {
    if (p.cur.inputState == INPUT_RAW) {
      if (p.cur.destination == DEST_SKIP && p.fallbackLeft == 0) {
        // A skipped run (a picture's binary data) is stepped over whole; a run
        // of 0 still takes one byte.
        int64_t n = p.rawCount > 0 ? p.rawCount : 1;
        if (n > p.length - p.pos) n = p.length - p.pos;
        p.pos += int32_t(n);
        p.rawCount -= n;
        if (p.rawCount <= 0) p.cur.inputState = INPUT_NORMAL;
        continue;
      }
      const int result = TextChar(p, p.in[p.pos++]);
      if (result != RtfOk) return result;
      continue;
    }
    const uint8_t c = p.in[p.pos++];
    int result = RtfOk;
    switch (c) {
      case '{': result = OpenGroup(p); break;
      case '}': result = CloseGroup(p); break;
      case '\\': result = ControlWord(p); break;
      case '\n':
      case '\r': break;
      default:
        if (p.cur.inputState == INPUT_NORMAL) {
          result = TextChar(p, c);
          if (result == RtfOk) TextRun(p);
        } else if (p.cur.inputState == INPUT_HEX) {
          result = HexDigit(p, c);
        } else {
          result = RtfBadState;
        }
        break;
    }
    if (result != RtfOk) return result;
  }
  return p.depth > 0 ? RtfUnmatchedBrace : RtfOk;
}

}  // namespace

int ImportRtf(Text* text, char** buffer, int32_t length) {
  if (!buffer || !*buffer) return RtfOk;
  if (length < 0) length = 0;
  const uint8_t* in = reinterpret_cast<const uint8_t*>(*buffer);
  if (text) ScanColourTable(text, in, length);

  // The conversion goes into a second buffer: codes restored by a "}" can
  // make the output longer than the input read so far.
  RtfParser p = {};
  p.in = in;
  p.length = length;
  p.cur.fallbackCount = 1;
  p.outCapacity = size_t(length) + 64;
  p.out = static_cast<char*>(std::malloc(p.outCapacity));
  if (!p.out) {
    std::free(*buffer);
    *buffer = nullptr;
    return RtfNoMemory;
  }
  const int result = Parse(p);
  // Reserve always keeps a byte for this, so a failed parse still ends in a
  // terminated text holding what was converted.
  p.out[p.outPos] = 0;
  std::free(p.stack);
  char* fitted = static_cast<char*>(std::realloc(p.out, p.outPos + 1));
  std::free(*buffer);
  *buffer = fitted ? fitted : p.out;
  return result;
}
