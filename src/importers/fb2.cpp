// FictionBook import: one pass of expat over the book, fed in slices so that
// expat holds no copy of the whole file, writing the formatted text as the
// elements arrive. Element names are taken without a namespace prefix.
// Codes are written lazily: a block's line ends and a change of face wait for
// the next text, so empty elements leave nothing and no line ends in a space.
#include "importers/fb2.h"

#include <expat.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "document/encoding.h"
#include "importers/fb2_codepages.h"
#include "platform/cp1252.h"
#include "platform/trace.h"

namespace {

// Bytes handed to expat per call: it copies each slice into a buffer of its
// own, so a larger slice costs memory and saves nothing.
constexpr size_t PARSE_SLICE = 64 * 1024;
// The text stops this far below TEXT_MAX_BYTES: room for the codes, line
// ends and page break that the end of the book and the notes add.
constexpr size_t TEXT_ROOM = size_t(TEXT_MAX_BYTES) - 64;
constexpr size_t FIRST_CAPACITY = 64 * 1024;

enum Element {
  EL_OTHER,
  EL_BINARY,
  EL_BODY,
  EL_TITLE_INFO,
  EL_BOOK_TITLE,
  EL_SECTION,
  EL_TITLE,     // title and subtitle: lines of their own, bold, larger, centred
  EL_LINE,      // v, text-author, date: one line
  EL_PARAGRAPH, // p
  EL_BLOCK,     // stanza, poem, epigraph, cite, annotation, table: set apart by a blank line
  EL_ROW,       // tr
  EL_CELL,      // td, th
  EL_EMPTY_LINE,
  EL_EMPHASIS,
  EL_STRONG,
};

// Element of a local name; a switch on the first letter keeps the compare
// count at one or two for the names a book is made of.
Element ElementOf(const char* n) {
  auto is = [n](const char* name) { return std::strcmp(n, name) == 0; };
  switch (n[0]) {
    case 'p': return is("p") ? EL_PARAGRAPH : is("poem") ? EL_BLOCK : EL_OTHER;
    case 'e':
      return is("emphasis") ? EL_EMPHASIS : is("empty-line") ? EL_EMPTY_LINE : is("epigraph") ? EL_BLOCK : EL_OTHER;
    case 's':
      if (is("section")) return EL_SECTION;
      if (is("strong")) return EL_STRONG;
      if (is("subtitle")) return EL_TITLE;
      return is("stanza") ? EL_BLOCK : EL_OTHER;
    case 'v': return n[1] == 0 ? EL_LINE : EL_OTHER;
    case 't':
      if (is("title")) return EL_TITLE;
      if (is("text-author")) return EL_LINE;
      if (is("title-info")) return EL_TITLE_INFO;
      if (is("tr")) return EL_ROW;
      if (is("td") || is("th")) return EL_CELL;
      return is("table") ? EL_BLOCK : EL_OTHER;
    case 'b':
      return is("body") ? EL_BODY : is("binary") ? EL_BINARY : is("book-title") ? EL_BOOK_TITLE : EL_OTHER;
    case 'c': return is("cite") ? EL_BLOCK : EL_OTHER;
    case 'a': return is("annotation") ? EL_BLOCK : EL_OTHER;
    case 'd': return is("date") ? EL_LINE : EL_OTHER;
    default: return EL_OTHER;
  }
}

const char* LocalName(const char* name) {
  const char* colon = std::strrchr(name, ':');
  return colon ? colon + 1 : name;
}

// One formatted text being written (the bodies, or the notes), with the codes
// in force at its end.
struct Output {
  char* data = nullptr;
  size_t length = 0;
  size_t capacity = 0;
  bool fresh = true;  // nothing written yet, or a page break last: line ends are not wanted
  bool bold = false;
  bool italic = false;
  bool large = false;
  bool centred = false;
};

struct State {
  XML_Parser parser = nullptr;
  Output main;
  Output notes;
  Output* out = nullptr;  // the body being read; null outside the bodies
  bool inNotes = false;
  int depth = 0;
  int skipDepth = 0;  // inside a binary: the depth it opened at
  int bodyDepth = 0;
  int sectionDepth = 0;
  int titleDepth = 0;
  int boldDepth = 0;
  int italicDepth = 0;
  int titleInfoDepth = 0;
  int bookTitleDepth = 0;  // inside the book-title being read: its depth
  bool titleDone = false;
  bool titleSpace = false;
  size_t titleLength = 0;
  char* title = nullptr;  // Fb2Book::title
  // What the next text needs first.
  int pendingBreaks = 0;
  bool pendingPage = false;
  bool pendingSpace = false;
  bool lineHasText = false;
  bool styleChanged = false;  // an emphasis, strong or title opened or closed
  size_t limit = TEXT_ROOM;  // of both outputs together
  bool full = false;         // the text reached its limit: parsing stopped
  bool noMemory = false;  // an allocation failed: parsing stopped
};

void Stop(State& s) {
  // Stopping a parser that is already stopping is refused harmlessly.
  XML_StopParser(s.parser, XML_FALSE);
}

// Room for n more bytes and a NUL in the current output; false (and parsing
// stops) when memory runs out.
bool Grow(State& s, size_t n) {
  Output& o = *s.out;
  if (o.length + n + 1 <= o.capacity) return true;
  size_t capacity = std::max(o.capacity * 2, FIRST_CAPACITY);
  capacity = std::max(capacity, o.length + n + 1);
  // Large blocks are moved by remapping pages, not copied: doubling costs
  // little memory beyond what is written.
  char* grown = static_cast<char*>(std::realloc(o.data, capacity));
  if (!grown) {
    s.noMemory = true;
    Stop(s);
    return false;
  }
  o.data = grown;
  o.capacity = capacity;
  return true;
}

// Appends n bytes to the current output; false (and parsing stops) at the
// text limit or when memory runs out.
bool Put(State& s, const char* bytes, size_t n) {
  if (s.full || s.noMemory) return false;
  if (s.main.length + s.notes.length + n > s.limit) {
    s.full = true;
    Stop(s);
    return false;
  }
  if (!Grow(s, n)) return false;
  Output& o = *s.out;
  std::memcpy(o.data + o.length, bytes, n);
  o.length += n;
  return true;
}

// The faces, size and alignment codes of a text, as written so far.
struct Look {
  bool bold, italic, large, centred;
};

Look LookOf(const Output& o) { return Look{o.bold, o.italic, o.large, o.centred}; }

void SetLook(Output& o, const Look& look) {
  o.bold = look.bold;
  o.italic = look.italic;
  o.large = look.large;
  o.centred = look.centred;
}

// Writes into out (11 bytes at most) the codes that bring the output to the
// faces, size and (withAlign, only at the start of a line: a line takes the
// alignment in force at its end) alignment the open elements want, and takes
// them as written; with offOnly, only the codes that end a face or size,
// which go before the space in front of a word. Returns the count.
size_t StyleCodes(const State& s, Output& o, bool withAlign, bool offOnly, char* out) {
  bool bold = s.boldDepth > 0 || s.titleDepth > 0;
  bool italic = s.italicDepth > 0;
  bool large = s.titleDepth > 0;
  const bool centred = withAlign ? s.titleDepth > 0 : o.centred;
  if (offOnly) {
    bold = bold && o.bold;
    italic = italic && o.italic;
    large = large && o.large;
  }
  size_t n = 0;
  if (centred != o.centred) {
    out[n++] = FORMAT_CODE;
    out[n++] = centred ? FMT_ALIGN_CENTRE : FMT_ALIGN_JUSTIFY;
  }
  if (bold != o.bold) {
    out[n++] = FORMAT_CODE;
    out[n++] = bold ? FMT_BOLD_ON : FMT_BOLD_OFF;
  }
  if (italic != o.italic) {
    out[n++] = FORMAT_CODE;
    out[n++] = italic ? FMT_ITALIC_ON : FMT_ITALIC_OFF;
  }
  if (large != o.large) {
    out[n++] = FORMAT_CODE;
    out[n++] = FMT_SIZE;
    out[n++] = large ? '4' : '1';
  }
  SetLook(o, Look{bold, italic, large, centred});
  return n;
}

// Writes the codes a block's end needs (faces and size; the alignment waits
// for the next line).
void SyncStyle(State& s) {
  Output& o = *s.out;
  const Look before = LookOf(o);
  char codes[11];
  const size_t n = StyleCodes(s, o, false, false, codes);
  // Codes that could not be written are not in force.
  if (n && !Put(s, codes, n)) SetLook(o, before);
}

void RequestBreaks(State& s, int lineEnds) {
  if (!s.pendingPage) s.pendingBreaks = std::max(s.pendingBreaks, lineEnds);
  s.lineHasText = false;
  s.pendingSpace = false;
}

void RequestPage(State& s) {
  s.pendingPage = true;
  s.pendingBreaks = 0;
  s.lineHasText = false;
  s.pendingSpace = false;
}

// What a piece of text needs before it: the page break or line ends asked
// for, the codes, and the space that separates it from the text before, all
// written at once.
void BeginText(State& s) {
  Output& o = *s.out;
  const Look before = LookOf(o);
  const bool wasFresh = o.fresh;
  char bytes[40];
  size_t n = 0;
  if (s.pendingPage) {
    if (!o.fresh) {
      // The page break stands on a line of its own.
      static const char BREAK[] = {'\n', FORMAT_CODE, FMT_PAGE_BREAK, '\n'};
      std::memcpy(bytes, BREAK, sizeof BREAK);
      n = sizeof BREAK;
    }
  } else if (s.pendingBreaks && !o.fresh) {
    for (int k = 0; k < std::min(s.pendingBreaks, 8); ++k) bytes[n++] = '\n';
  }
  if (s.pendingSpace && s.lineHasText) {
    n += StyleCodes(s, o, false, true, bytes + n);
    bytes[n++] = ' ';
  }
  n += StyleCodes(s, o, true, false, bytes + n);
  if (n && !Put(s, bytes, n)) {
    SetLook(o, before);
    o.fresh = wasFresh;
    return;
  }
  s.pendingPage = false;
  s.pendingBreaks = 0;
  s.styleChanged = false;
  s.pendingSpace = false;
  s.lineHasText = true;
  o.fresh = false;
}

// The code point of the UTF-8 sequence at s (n bytes left, n >= 1) and its
// length. Expat hands over valid UTF-8 only; anything else still gives one
// byte of U+FFFD rather than a read past the end.
int DecodeUtf8(const unsigned char* s, size_t n, uint32_t* cp) {
  const unsigned char c = s[0];
  int length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
  if (length == 1 || size_t(length) > n) {
    *cp = c < 0x80 ? c : 0xFFFD;
    return 1;
  }
  uint32_t v = c & (0x7F >> length);
  for (int k = 1; k < length; ++k) {
    if ((s[k] & 0xC0) != 0x80) {
      *cp = 0xFFFD;
      return 1;
    }
    v = (v << 6) | (s[k] & 0x3F);
  }
  *cp = v;
  return length;
}

// The code page 1252 text of cp (1 to 3 bytes). C1 controls are taken as the
// code page 1252 bytes of the same value, as browsers read ISO-8859-1: books
// declared ISO-8859-1 are often written in code page 1252, with their quotes
// and dashes at 0x80 to 0x9F.
int TextOf(uint32_t cp, char out[3]) {
  // Latin-1 letters and the quotes and dashes of most books, without a search.
  if (cp >= 0xA0 && cp <= 0xFF) {
    out[0] = char(cp);
    return 1;
  }
  if (cp >= 0x2013 && cp <= 0x201D) {
    static const char QUOTES[] = "\x96\x97???\x91\x92\x82?\x93\x94";
    if (QUOTES[cp - 0x2013] != '?') {
      out[0] = QUOTES[cp - 0x2013];
      return 1;
    }
  }
  if (cp == 0x2026) {
    out[0] = '\x85';
    return 1;
  }
  if (cp >= 0x80 && cp <= 0x9F) {
    const bool unassigned = cp == 0x81 || cp == 0x8D || cp == 0x8F || cp == 0x90 || cp == 0x9D;
    out[0] = unassigned ? '?' : char(cp);
    return 1;
  }
  return Cp1252TextOf(cp, out);
}

constexpr bool IsBlank(unsigned char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

constexpr uint64_t ONES = 0x0101010101010101ull;

// What a byte of expat's UTF-8 text is to the writer.
enum : uint8_t { BYTE_PLAIN, BYTE_BLANK, BYTE_CONTROL, BYTE_HIGH };

struct ByteClasses {
  uint8_t of[256];
  constexpr ByteClasses() : of() {
    for (int c = 0; c < 256; ++c) {
      of[c] = c >= 0x80 ? BYTE_HIGH : IsBlank(uint8_t(c)) ? BYTE_BLANK : c < 0x20 ? BYTE_CONTROL : BYTE_PLAIN;
    }
  }
};
constexpr ByteClasses BYTE_CLASSES;

// One code point's text: the code page 1252 byte, a look-alike or "?".
inline int HighText(const unsigned char* t, size_t n, size_t* i, char bytes[3]) {
  uint32_t cp;
  *i += size_t(DecodeUtf8(t + *i, n - *i, &cp));
  return TextOf(cp, bytes);
}

// WriteText near the text limit: every piece checked as it is written, so
// the text stops after the last whole word that fits.
void WriteTextNearLimit(State& s, const unsigned char* t, size_t n) {
  size_t i = 0;
  while (i < n && !s.full && !s.noMemory) {
    const unsigned char c = t[i];
    if (c <= ' ') {
      if (IsBlank(c) && s.lineHasText) s.pendingSpace = true;
      ++i;
      continue;
    }
    if (s.pendingSpace || !s.lineHasText || s.pendingBreaks || s.pendingPage || s.styleChanged) BeginText(s);
    size_t j = i;
    while (j < n && t[j] > ' ' && t[j] < 0x80) ++j;
    if (j > i) {
      Put(s, reinterpret_cast<const char*>(t + i), j - i);
      i = j;
      continue;
    }
    char bytes[3];
    const int k = HighText(t, n, &i, bytes);
    if (k > 0) Put(s, bytes, size_t(k));
  }
}

// Writes a piece of text: blanks collapse into one space between words;
// other controls (which XML does not allow in text anyway) are dropped, so no
// byte of the text can start a format code. Room for the worst case is taken
// once, and the bytes are copied without a check each: this loop carries the
// whole text of the book.
void WriteText(State& s, const unsigned char* t, size_t n) {
  if (s.full || s.noMemory) return;
  // Each byte gives at most three (a look-alike of a two-byte character at
  // most); the codes, line ends and space BeginText writes fit in 32.
  const size_t worst = 3 * n + 32;
  if (s.main.length + s.notes.length + worst > s.limit) {
    WriteTextNearLimit(s, t, n);
    return;
  }
  if (!Grow(s, worst)) return;
  Output& o = *s.out;
  // The state lives in locals while bytes are stored: a store through a char
  // pointer may alias any field, which would make every test a reload.
  char* w = o.data + o.length;
  bool needBegin = !s.lineHasText || s.pendingBreaks || s.pendingPage || s.styleChanged;
  bool lineHasText = s.lineHasText;
  bool pendingSpace = s.pendingSpace;
  const uint8_t* classes = BYTE_CLASSES.of;
  for (size_t i = 0; i < n;) {
    unsigned char c = t[i];
    const uint8_t kind = classes[c];
    if (kind == BYTE_BLANK || kind == BYTE_CONTROL) {
      pendingSpace = pendingSpace || (kind == BYTE_BLANK && lineHasText);
      ++i;
      continue;
    }
    if (needBegin) {
      // At most once a piece: elements, which change what it looks at, end a piece.
      o.length = size_t(w - o.data);
      s.pendingSpace = pendingSpace;
      BeginText(s);
      if (s.full || s.noMemory) return;
      w = o.data + o.length;
      needBegin = false;
      lineHasText = true;
      pendingSpace = false;
    } else if (pendingSpace) {
      *w++ = ' ';
      pendingSpace = false;
    }
    if (kind == BYTE_PLAIN) {
      *w++ = char(c);
      ++i;
      // Eight bytes at a time while they are ASCII text with single spaces
      // (most of a book), then byte by byte to the next blank.
      while (i + 8 <= n) {
        uint64_t v;
        std::memcpy(&v, t + i, 8);
        if (((v - ONES * 0x20) | v) & ONES * 0x80) break;  // a control, blank other than space, or high byte
        const uint64_t x = v ^ (ONES * 0x20);                // spaces become zero bytes
        const uint64_t spaces = ~(((x & ONES * 0x7F) + ONES * 0x7F) | x | ONES * 0x7F);
        if (spaces & ((spaces << 8) | (w[-1] == ' ' ? 0x80 : 0))) break;  // two spaces in a row
        std::memcpy(w, &v, 8);
        w += 8;
        i += 8;
      }
      while (i < n && classes[c = t[i]] == BYTE_PLAIN) {
        *w++ = char(c);
        ++i;
      }
      continue;
    }
    char bytes[3];
    const int k = HighText(t, n, &i, bytes);
    for (int m = 0; m < k; ++m) *w++ = bytes[m];
  }
  // A space copied last waits for the next word, as any blank does: no line
  // ends in a space.
  if (w > o.data + o.length && w[-1] == ' ') {
    --w;
    pendingSpace = true;
  }
  o.length = size_t(w - o.data);
  s.lineHasText = lineHasText;
  s.pendingSpace = pendingSpace;
}

void AddTitle(State& s, const unsigned char* t, size_t n) {
  for (size_t i = 0; i < n;) {
    if (t[i] <= ' ') {
      if (IsBlank(t[i]) && s.titleLength > 0) s.titleSpace = true;
      ++i;
      continue;
    }
    uint32_t cp;
    i += size_t(DecodeUtf8(t + i, n - i, &cp));
    char bytes[4];
    int k = 0;
    if (s.titleSpace) bytes[k++] = ' ';
    s.titleSpace = false;
    k += TextOf(cp, bytes + k);
    if (s.titleLength + size_t(k) >= size_t(TEXT_NAME_SIZE)) return;
    for (int m = 0; m < k; ++m) s.title[s.titleLength++] = bytes[m] == '/' ? '-' : bytes[m];
  }
}

void StartBody(State& s, const char** attributes) {
  bool notes = false;
  for (int i = 0; attributes[i] && attributes[i + 1]; i += 2) {
    if (std::strcmp(LocalName(attributes[i]), "name") == 0) {
      notes = std::strcmp(attributes[i + 1], "notes") == 0 || std::strcmp(attributes[i + 1], "comments") == 0;
    }
  }
  s.inNotes = notes;
  s.out = notes ? &s.notes : &s.main;
  s.bodyDepth = s.depth;
  s.sectionDepth = 0;
  s.pendingBreaks = 0;
  s.pendingSpace = false;
  s.lineHasText = false;
  // Bodies of one kind follow each other on new pages.
  s.pendingPage = !s.out->fresh;
}

void XMLCALL OnStart(void* data, const char* name, const char** attributes) {
  State& s = *static_cast<State*>(data);
  ++s.depth;
  if (s.skipDepth) return;
  const Element element = ElementOf(LocalName(name));
  if (element == EL_BINARY) {
    // Pictures: base64 text that nothing shows.
    s.skipDepth = s.depth;
    return;
  }
  if (!s.out) {
    if (element == EL_BODY) {
      StartBody(s, attributes);
    } else if (element == EL_TITLE_INFO) {
      ++s.titleInfoDepth;
    } else if (element == EL_BOOK_TITLE && s.titleInfoDepth > 0 && !s.titleDone && !s.bookTitleDepth) {
      s.bookTitleDepth = s.depth;
    }
    return;
  }
  switch (element) {
    case EL_SECTION:
      // Top-level sections start pages; notes and inner sections run on.
      if (++s.sectionDepth == 1 && !s.inNotes) {
        RequestPage(s);
      } else {
        RequestBreaks(s, 2);
      }
      break;
    case EL_TITLE:
      RequestBreaks(s, 2);
      ++s.titleDepth;
      break;
    case EL_PARAGRAPH: RequestBreaks(s, s.titleDepth ? 1 : 2); break;
    case EL_LINE:
    case EL_ROW: RequestBreaks(s, 1); break;
    case EL_BLOCK: RequestBreaks(s, 2); break;
    case EL_CELL:
      if (s.lineHasText) s.pendingSpace = true;
      break;
    case EL_EMPTY_LINE:
      if (!s.pendingPage) s.pendingBreaks = std::max(s.pendingBreaks, 1) + 1;
      s.lineHasText = false;
      s.pendingSpace = false;
      break;
    case EL_EMPHASIS:
      ++s.italicDepth;
      s.styleChanged = true;
      break;
    case EL_STRONG:
      ++s.boldDepth;
      s.styleChanged = true;
      break;
    default: break;
  }
}

void XMLCALL OnEnd(void* data, const char* name) {
  State& s = *static_cast<State*>(data);
  const int depth = s.depth--;
  if (s.skipDepth) {
    if (depth == s.skipDepth) s.skipDepth = 0;
    return;
  }
  const Element element = ElementOf(LocalName(name));
  if (!s.out) {
    if (element == EL_TITLE_INFO && s.titleInfoDepth > 0) {
      --s.titleInfoDepth;
    } else if (depth == s.bookTitleDepth) {
      s.bookTitleDepth = 0;
      s.titleDone = s.titleLength > 0;
    }
    return;
  }
  switch (element) {
    case EL_BODY:
      if (depth != s.bodyDepth) break;
      SyncStyle(s);
      s.out = nullptr;
      s.bodyDepth = 0;
      break;
    case EL_SECTION:
      --s.sectionDepth;
      RequestBreaks(s, 2);
      break;
    case EL_TITLE:
      --s.titleDepth;
      SyncStyle(s);
      RequestBreaks(s, 2);
      break;
    case EL_PARAGRAPH:
      SyncStyle(s);
      RequestBreaks(s, s.titleDepth ? 1 : 2);
      break;
    case EL_LINE:
    case EL_ROW:
      SyncStyle(s);
      RequestBreaks(s, 1);
      break;
    case EL_BLOCK:
      SyncStyle(s);
      RequestBreaks(s, 2);
      break;
    case EL_EMPHASIS:
      --s.italicDepth;
      s.styleChanged = true;
      break;
    case EL_STRONG:
      --s.boldDepth;
      s.styleChanged = true;
      break;
    default: break;
  }
}

void XMLCALL OnText(void* data, const char* text, int length) {
  State& s = *static_cast<State*>(data);
  if (s.skipDepth || length <= 0) return;
  const unsigned char* t = reinterpret_cast<const unsigned char*>(text);
  if (s.out) {
    WriteText(s, t, size_t(length));
  } else if (s.bookTitleDepth) {
    AddTitle(s, t, size_t(length));
  }
}

// Folds an encoding name as the code-page table names are: lower case,
// without "-", "_" and blanks.
bool SameEncoding(const char* declared, const char* folded) {
  for (;; ++declared) {
    char c = *declared;
    if (c == '-' || c == '_' || c == ' ') continue;
    if (c >= 'A' && c <= 'Z') c = char(c + 32);
    if (c != *folded) return false;
    if (!c) return true;
    ++folded;
  }
}

int XMLCALL OnUnknownEncoding(void*, const XML_Char* name, XML_Encoding* info) {
  if (!name) return XML_STATUS_ERROR;
  for (size_t i = 0; i < FB2_CODE_PAGE_COUNT; ++i) {
    if (!SameEncoding(name, FB2_CODE_PAGES[i].name)) continue;
    for (int b = 0; b < 128; ++b) info->map[b] = b;
    for (int b = 0; b < 128; ++b) info->map[128 + b] = FB2_CODE_PAGES[i].high[b];
    info->data = nullptr;
    info->convert = nullptr;
    info->release = nullptr;
    return XML_STATUS_OK;
  }
  GpTrace("FB2: unknown encoding %.40s\n", name);
  return XML_STATUS_ERROR;
}

// Runs expat over the book; true when the whole of it parsed (or parsing was
// stopped at the text limit).
bool Parse(State& s, const char* data, size_t size) {
  size_t at = 0;
  do {
    const size_t n = std::min(PARSE_SLICE, size - at);
    const bool last = at + n == size;
    if (XML_Parse(s.parser, data + at, int(n), last) != XML_STATUS_OK) {
      if (s.full || s.noMemory) return true;
      GpTrace("FB2: XML error \"%s\" at line %lu\n", XML_ErrorString(XML_GetErrorCode(s.parser)),
              static_cast<unsigned long>(XML_GetCurrentLineNumber(s.parser)));
      return false;
    }
    at += n;
  } while (at < size);
  return true;
}

}  // namespace

int ConvertFb2(const char* data, size_t size, Fb2Book* book) {
  if (!book) return FB2_NO_MEMORY;
  *book = Fb2Book();
  if (!data) size = 0;
  State s;
  s.title = book->title;
  s.parser = XML_ParserCreate(nullptr);
  if (!s.parser) return FB2_NO_MEMORY;
  XML_SetUserData(s.parser, &s);
  XML_SetElementHandler(s.parser, OnStart, OnEnd);
  XML_SetCharacterDataHandler(s.parser, OnText);
  XML_SetUnknownEncodingHandler(s.parser, OnUnknownEncoding, nullptr);
  const bool parsed = Parse(s, data ? data : "", size);
  const bool cut = s.full;
  XML_ParserFree(s.parser);
  book->title[s.titleLength] = 0;

  int result = FB2_OK;
  if (s.noMemory) {
    result = FB2_NO_MEMORY;
  } else if (s.main.length == 0 && s.notes.length == 0) {
    result = parsed ? FB2_NO_TEXT : FB2_NOT_WELL_FORMED;
  } else if (s.notes.length > 0) {
    // The notes follow the bodies, on a page of their own, within the room
    // kept below the limit.
    Output notes = s.notes;
    s.notes = Output();
    s.limit = size_t(TEXT_MAX_BYTES) - 1;
    s.out = &s.main;
    s.full = false;
    RequestPage(s);
    BeginText(s);
    if (!Put(s, notes.data, notes.length)) result = FB2_NO_MEMORY;
    std::free(notes.data);
  }
  std::free(s.notes.data);
  if (result != FB2_OK) {
    std::free(s.main.data);
    book->title[0] = 0;
    return result;
  }
  s.main.data[s.main.length] = 0;
  // Give back what the doubling left unused.
  char* fitted = static_cast<char*>(std::realloc(s.main.data, s.main.length + 1));
  book->text = fitted ? fitted : s.main.data;
  book->length = s.main.length;
  book->incomplete = cut || !parsed;
  if (book->incomplete) GpTrace("FB2: text stops early at %lu bytes\n", static_cast<unsigned long>(book->length));
  return FB2_OK;
}

int ImportFb2(Text* text, char** buffer, int32_t size) {
  if (!buffer) return FB2_NO_MEMORY;
  Fb2Book book;
  const int result = ConvertFb2(*buffer, size > 0 ? size_t(size) : 0, &book);
  std::free(*buffer);
  *buffer = nullptr;
  if (result != FB2_OK) return result;
  *buffer = book.text;
  if (text) {
    if (book.title[0]) std::memcpy(text->name, book.title, sizeof text->name);
    if (book.incomplete) text->incomplete = true;
  }
  return FB2_OK;
}
