// Rejoining hard-wrapped plain text. The loader calls RejoinLoadedText once
// the soft breaks are joined; the menu's "Rejoin lines" calls
// ApplyRejoinSetting. The lines of a paragraph are joined in place, the bytes
// saved padding the paragraph at its end, so that every paragraph keeps its
// offset and the setting can be turned off and on again at once.
//
// How a text is found hard-wrapped (MeasureWrap), over its non-blank lines
// (lines holding something besides spaces and tabs), lengths in bytes:
//  - the width W is the 95th percentile of their lengths, and lies between 50
//    and 200: shorter lines fit the screen as they stand (verse, lists), longer
//    ones are paragraphs written on one line;
//  - at most a quarter of them end in a space or tab (text written with soft
//    breaks is left to JoinSoftBreaks);
//  - at least half of them lie in the band [W - W/5, W + 2], where a wrap at W
//    leaves every line of a paragraph but its last;
//  - of the band lines followed by a non-blank line, at least a fifth are
//    followed by one that starts in lower case: prose carries its sentences
//    over the line ends, while verse, tables of contents and headings start
//    their lines in capitals or with digits, and program source with spaces;
//  - at least half of the band lines end in a letter or a comma (program
//    source ends its lines in ; { } ) and the like);
//  - there are at least 4 non-blank lines.
// A text over 1 MB is measured in 64 windows of 16 KB spread evenly over it.
// A text that fails any of this is shown exactly as before.
//
// Which lines of a hard-wrapped text are joined (JoinHardWrapped): a line and
// the next one, both non-blank, unless
//  - the first stops clearly short of the width: shorter than the band and
//    the next line's first word would have fitted after it (a paragraph end);
//  - the next one is short too and so is the one after it, at no deeper
//    indentation (verse, an address, a list of short lines);
//  - either stands as it is: centred by leading spaces, a rule ("-----",
//    "* * *"), or a row of a table or of contents (it ends in a digit and
//    holds a dot leader or a gap of three spaces);
//  - the next one starts a list item ("- ", "12. ", "IV. ", "a) ", "(b) ");
//  - their indentations differ, except a first line indented by at most 8
//    followed by one at the margin (paragraphs marked by indentation), or the
//    next one's indentation holds a tab or more than 31 spaces.

#include "document/rejoin.h"

#include <cstring>
#include <new>

#include "document/text.h"
#include "platform/settings.h"
#include "platform/trace.h"

namespace {

constexpr int32_t MIN_WIDTH = 50;
constexpr int32_t MAX_WIDTH = 200;
constexpr int HISTOGRAM_SIZE = 256;  // lengths from 255 on share the last bucket
constexpr int32_t MIN_LINES = 4;
constexpr size_t SAMPLE_COUNT = 64;
constexpr size_t SAMPLE_BYTES = 16 * 1024;
constexpr int32_t MAX_HANGING_INDENT = 8;  // deepest first-line indentation of a paragraph
constexpr size_t JOIN_MAX_LEAD = 31;       // leading spaces a joined line may lose
constexpr size_t JOIN_MAX_TEXT = size_t(1) << 25;  // offsets that a join record holds
static_assert(size_t(TEXT_MAX_BYTES) <= JOIN_MAX_TEXT, "every document can be rejoined");

// Byte classes, one table load per question.
enum : uint8_t {
  C_LOWER = 1,      // a lower-case letter
  C_LETTER = 2,     // any letter
  C_WORD_END = 4,   // a letter or a comma: prose ends its lines so
  C_BLANK = 8,      // space or tab
  C_DIGIT = 16,
  C_RULE = 32,      // may start a rule: - = * _ ~ # +
  C_MARKER = 64,    // may start a list item: - * bullet ( digit letter
  C_ROMAN = 128,    // I V X L C in either case
};

struct ClassTable {
  uint8_t v[256];
  constexpr ClassTable() : v() {
    for (int c = 'a'; c <= 'z'; ++c) v[c] = C_LOWER | C_LETTER | C_WORD_END | C_MARKER;
    for (int c = 'A'; c <= 'Z'; ++c) v[c] = C_LETTER | C_WORD_END | C_MARKER;
    for (int c = 0xC0; c <= 0xFF; ++c) v[c] = C_LETTER | C_WORD_END | (c >= 0xDF ? C_LOWER : 0);
    v[0xD7] = v[0xF7] = 0;  // multiplication and division signs
    for (int c : {0x8A, 0x8C, 0x8E, 0x9F}) v[c] = C_LETTER | C_WORD_END;
    for (int c : {0x9A, 0x9C, 0x9E}) v[c] = C_LOWER | C_LETTER | C_WORD_END;
    v[int(',')] = C_WORD_END;
    v[int(' ')] = v[int('\t')] = C_BLANK;
    for (int c = '0'; c <= '9'; ++c) v[c] = C_DIGIT | C_MARKER;
    for (int c : {'-', '*'}) v[c] = C_RULE | C_MARKER;
    for (int c : {'=', '_', '~', '#', '+'}) v[c] = C_RULE;
    for (int c : {int('('), 0x95, 0xB7}) v[c] = C_MARKER;
    for (int c : {'I', 'V', 'X', 'L', 'C', 'i', 'v', 'x', 'l', 'c'}) v[c] |= C_ROMAN;
  }
};
constexpr ClassTable CLASS_TABLE;

inline uint8_t Class(char c) { return CLASS_TABLE.v[uint8_t(c)]; }

struct Line {
  size_t start = 0;      // offset of its first byte
  size_t length = 0;     // bytes before the line end
  size_t lead = 0;       // bytes of leading spaces and tabs
  int32_t indent = 0;    // columns of them, a tab to the next multiple of 8
  uint8_t endBytes = 0;  // 0 at the end of the text, 1 for LF, 2 for CR LF
  bool blank = true;
};

// Reads the line that starts at pos (pos < n) and returns where the next one
// starts. A lone CR stays inside the line: such texts are not joined.
inline size_t ReadLine(const char* s, size_t n, size_t pos, Line* line) {
  const char* nl = static_cast<const char*>(std::memchr(s + pos, '\n', n - pos));
  size_t end = n, next = n;
  line->endBytes = 0;
  if (nl) {
    end = size_t(nl - s);
    next = end + 1;
    line->endBytes = 1;
    if (end > pos && s[end - 1] == '\r') {
      --end;
      line->endBytes = 2;
    }
  }
  line->start = pos;
  line->length = end - pos;
  size_t i = pos;
  int32_t indent = 0;
  while (i < end && (Class(s[i]) & C_BLANK)) {
    indent = s[i] == '\t' ? (indent | 7) + 1 : indent + 1;
    ++i;
  }
  line->lead = i - pos;
  line->indent = indent;
  line->blank = i == end;
  return next;
}

inline int32_t Length(const Line& l) { return l.length > size_t(MAX_WIDTH) * 4 ? MAX_WIDTH * 4 : int32_t(l.length); }

// The band of full lines starts here: a greedy wrap leaves at most a long
// word's room, a balanced one (fmt) about a tenth of the width.
inline int32_t BandLow(int32_t width) { return width - width / 5; }

// Bytes of the first word of a line (after its indentation).
int32_t FirstWordLength(const char* s, const Line& l) {
  size_t i = l.lead;
  while (i < l.length && !(Class(s[l.start + i]) & C_BLANK)) ++i;
  return int32_t(i - l.lead);
}

// Cheap tests that rule out most prose lines before the full ones below.
inline bool MayBeKept(const char* s, const Line& l) {
  return l.indent >= 3 || (Class(s[l.start + l.lead]) & C_RULE) || (Class(s[l.start + l.length - 1]) & C_DIGIT);
}
inline bool MayStartListItem(const char* s, const Line& l) {
  const uint8_t c = Class(s[l.start + l.lead]);
  if (!(c & C_MARKER)) return false;
  if (!(c & C_LETTER) || (c & C_ROMAN)) return true;
  const char next = l.length - l.lead >= 2 ? s[l.start + l.lead + 1] : 0;
  return next == ')' || next == '.';
}

// A line that stays as it stands, with its line ends: centred, a rule, or a
// row of a table or of contents (see the top of the file).
bool IsKept(const char* s, const Line& l, int32_t width) {
  const char* p = s + l.start + l.lead;
  const size_t rest = l.length - l.lead;
  const uint8_t last = Class(p[rest - 1]);
  if (l.indent < 3 && !(Class(p[0]) & C_RULE) && !(last & C_DIGIT)) return false;
  if (l.indent >= 3 && int32_t(rest) * 10 < width * 7) {
    const int32_t right = width - l.indent - int32_t(rest);
    const int32_t diff = right > l.indent ? right - l.indent : l.indent - right;
    if (diff <= 3 + width / 20) return true;
  }
  if (rest >= 3 && (Class(p[0]) & C_RULE) && (p[1] == p[0] || (p[1] == ' ' && p[2] == p[0]))) return true;
  if (last & C_DIGIT) {
    for (size_t i = 0; i + 2 < rest; ++i) {
      if (p[i] == '.' && (p[i + 1] == '.' || (p[i + 1] == ' ' && p[i + 2] == '.'))) return true;
      if (p[i] == ' ' && p[i + 1] == ' ' && p[i + 2] == ' ') return true;
    }
  }
  return false;
}

// A line that starts a list item: "- ", "* ", a bullet, "12. ", "IV. ",
// "iv) ", "a) ", "(b) ". Only digits and capital numerals may end in ".": a
// word in lower case followed by a full stop ("civil. ") is no numeral.
bool StartsListItem(const char* s, const Line& l) {
  const char* p = s + l.start + l.lead;
  const size_t rest = l.length - l.lead;
  if (!(Class(p[0]) & C_MARKER) || rest < 2) return false;
  if ((p[0] == '-' || p[0] == '*' || uint8_t(p[0]) == 0x95 || uint8_t(p[0]) == 0xB7)) return p[1] == ' ';
  const size_t from = p[0] == '(' ? 1 : 0;
  size_t i = from;
  bool stop = false;  // digits or capital numerals
  if (i < rest && (Class(p[i]) & C_DIGIT)) {
    while (i < rest && i - from < 3 && (Class(p[i]) & C_DIGIT)) ++i;
    stop = true;
  } else if (i < rest && (Class(p[i]) & C_ROMAN)) {
    const uint8_t lower = Class(p[i]) & C_LOWER;
    while (i < rest && i - from < 5 && (Class(p[i]) & C_ROMAN) && (Class(p[i]) & C_LOWER) == lower) ++i;
    stop = !lower;
  } else if (i < rest && (Class(p[i]) & C_LETTER) && p[i] < 0x7F && p[i] > 0) {
    ++i;  // a single letter, as in "a) "
  } else {
    return false;
  }
  if (i + 1 >= rest || p[i + 1] != ' ') return false;
  if (p[i] == ')') return true;
  return p[i] == '.' && stop && from == 0;
}

inline bool HasRoom(const RejoinRecord& r) {
  return r.joins.size() < r.joins.capacity() && r.paragraphEnds.size() < r.paragraphEnds.capacity();
}

// Makes room in the record for one more join and one more paragraph end:
// false when memory is short. Starts with about one join per 40 bytes of
// text, which hard-wrapped prose does not reach, and doubles from there.
bool RoomForJoin(RejoinRecord* record, size_t textBytes) {
  try {
    std::vector<uint32_t>& joins = record->joins;
    std::vector<uint32_t>& ends = record->paragraphEnds;
    if (joins.size() == joins.capacity()) joins.reserve(joins.empty() ? textBytes / 40 + 16 : joins.size() * 2);
    if (ends.size() == ends.capacity()) ends.reserve(ends.empty() ? textBytes / 160 + 16 : ends.size() * 2);
  } catch (const std::bad_alloc&) {
    GpTrace("Rejoin: out of memory, the rest of the text stays as it is\n");
    return false;
  }
  return true;
}

// The join state of the document on screen: which text it describes and what
// was joined in it, so that the setting can put it back.
struct RejoinState {
  const char* text = nullptr;
  size_t length = 0;
  uint32_t fingerprint = 0;
  bool eligible = false;
  bool joined = false;
  RejoinRecord record;
};

RejoinState g_state;

// A hash of the first bytes that joining leaves alone (line ends, spaces and
// fillers count as one kind; a joined paragraph keeps its first line in
// place only up to the join), to tell this text from another one that took
// its place at the same address with the same length.
uint32_t Fingerprint(const char* s, size_t n) {
  uint32_t h = 2166136261u;
  const size_t count = n < 32 ? n : 32;
  for (size_t i = 0; i < count; ++i) {
    uint8_t c = uint8_t(s[i]);
    if (c == '\n' || c == '\r' || c == uint8_t(REJOIN_FILLER) || c == '\t') c = ' ';
    h = (h ^ c) * 16777619u;
  }
  return h;
}

bool StateDescribes(const Text* text) {
  if (!text || !text->text || !g_state.eligible || g_state.text != text->text) return false;
  const size_t n = std::strlen(text->text);
  return n == g_state.length && Fingerprint(text->text, n) == g_state.fingerprint;
}

WrapMeasure MeasureLines(const char* text, size_t n);

// Measures and joins the state's text; false when it is not hard-wrapped or
// memory for the record of the joins is short.
bool JoinState(char* s) {
  const WrapMeasure m = MeasureLines(s, g_state.length);
  if (!m.hardWrapped) return false;
  g_state.record.joins.clear();
  g_state.record.paragraphEnds.clear();
  const int32_t count = JoinHardWrapped(s, g_state.length, m.width, &g_state.record);
  g_state.joined = count > 0;
  return g_state.joined;
}

}  // namespace

WrapMeasure MeasureWrap(const char* text, size_t length) {
  return text ? MeasureLines(text, strnlen(text, length)) : WrapMeasure();
}

namespace {

// MeasureWrap over n bytes that hold no NUL.
WrapMeasure MeasureLines(const char* text, size_t n) {
  WrapMeasure m;
  // Per length: non-blank lines; those followed by a non-blank line; those
  // followed by one starting in lower case; those ending in a letter or comma.
  int32_t all[HISTOGRAM_SIZE] = {};
  int32_t followed[HISTOGRAM_SIZE] = {};
  int32_t continued[HISTOGRAM_SIZE] = {};
  int32_t wordEnded[HISTOGRAM_SIZE] = {};
  // A long text is measured in SAMPLE_COUNT windows spread evenly over it,
  // each from the first line that starts in it, SAMPLE_BYTES long: a
  // megabyte of lines tells as much as the whole book and costs a tenth of a
  // 10 MB one.
  const size_t windows = n > SAMPLE_COUNT * SAMPLE_BYTES ? SAMPLE_COUNT : 1;
  const size_t windowBytes = windows > 1 ? SAMPLE_BYTES : n;
  int prevBucket = -1;  // the previous line's, -1 when it was blank
  size_t pos = 0;
  size_t windowEnd = 0;
  size_t window = 0;
  while (pos < n) {
    if (pos >= windowEnd) {
      if (window == windows) break;
      size_t from = n / windows * window++;
      if (from > pos) {
        // The window starts at the first line that starts in it.
        const char* nl = static_cast<const char*>(std::memchr(text + from - 1, '\n', n - from + 1));
        if (!nl) break;
        from = size_t(nl - text) + 1;
        prevBucket = -1;
      }
      pos = from < pos ? pos : from;
      windowEnd = pos + windowBytes;
      if (pos >= n) break;
    }
    Line line;
    pos = ReadLine(text, n, pos, &line);
    if (line.blank) {
      prevBucket = -1;
      continue;
    }
    const size_t len = line.length;
    const int bucket = len < size_t(HISTOGRAM_SIZE) ? int(len) : HISTOGRAM_SIZE - 1;
    ++m.lines;
    ++all[bucket];
    const uint8_t last = Class(text[line.start + len - 1]);
    m.spaceEnded += (last & C_BLANK) != 0;
    wordEnded[bucket] += (last & C_WORD_END) != 0;
    if (prevBucket >= 0) {
      ++followed[prevBucket];
      continued[prevBucket] += line.indent == 0 && (Class(text[line.start]) & C_LOWER);
    }
    prevBucket = bucket;
  }
  if (m.lines < MIN_LINES) return m;
  // The 95th percentile: the least length that at most a twentieth exceed.
  int32_t above = 0;
  int width = HISTOGRAM_SIZE - 1;
  while (width > 0 && above + all[width] <= m.lines / 20) above += all[width--];
  m.width = width;
  if (width < MIN_WIDTH || width > MAX_WIDTH) return m;
  const int high = width + 2 < HISTOGRAM_SIZE ? width + 2 : HISTOGRAM_SIZE - 1;
  for (int i = BandLow(width); i <= high; ++i) {
    m.band += all[i];
    m.followed += followed[i];
    m.continued += continued[i];
    m.wordEnded += wordEnded[i];
  }
  m.hardWrapped = m.spaceEnded * 4 <= m.lines && m.band * 2 >= m.lines && m.followed > 0 &&
                  m.continued * 5 >= m.followed && m.wordEnded * 2 >= m.band;
  return m;
}

}  // namespace

int32_t JoinHardWrapped(char* s, size_t length, int32_t width, RejoinRecord* record) {
  if (!s || width <= 0) return 0;
  const size_t n = strnlen(s, length);
  if (n == 0 || n >= JOIN_MAX_TEXT) return 0;
  const int32_t bandLow = BandLow(width);
  int32_t count = 0;
  // A paragraph's end never needs memory: its room was made with its first join.
  std::vector<uint32_t>* paragraphs = record ? &record->paragraphEnds : nullptr;
  // A window of three lines: l is joined to m or not, and k (the line after
  // m) tells whether m opens a block of short lines.
  Line ring[3];
  Line* lp = &ring[0];
  Line* mp = &ring[1];
  Line* kp = &ring[2];
  size_t pos = ReadLine(s, n, 0, lp);
  bool haveM = pos < n;
  if (haveM) pos = ReadLine(s, n, pos, mp);
  bool lJoinedIn = false;  // the line before l was joined to l
  bool lKept = !lp->blank && IsKept(s, *lp, width);
  // Bytes the current paragraph has given up so far: its text from l on
  // stands that much to the left of where it was loaded.
  size_t shift = 0;
  bool outOfMemory = false;  // joining stops, the paragraph under way is closed
  for (;;) {
    const Line& l = *lp;
    const Line& m = *mp;
    const Line& k = *kp;
    bool join = false;
    bool haveK = false;
    bool mKept = false;
    if (haveM) {
      haveK = pos < n;
      if (haveK) {
        pos = ReadLine(s, n, pos, kp);
      } else {
        *kp = Line();
      }
      mKept = !m.blank && MayBeKept(s, m) && IsKept(s, m, width);
      join = !l.blank && !m.blank && !lKept && !mKept && !(MayStartListItem(s, m) && StartsListItem(s, m));
    }
    if (join) {
      const int32_t lLen = Length(l);
      if (lLen < bandLow && lLen + 1 + FirstWordLength(s, m) <= width) join = false;
      if (join && haveK && !k.blank && Length(m) < bandLow && Length(k) < bandLow && k.indent <= m.indent) {
        join = false;
      }
      if (join && m.indent != l.indent && !(m.indent == 0 && l.indent <= MAX_HANGING_INDENT && !lJoinedIn)) {
        join = false;
      }
      if (join && m.lead > 0 &&
          (m.lead > JOIN_MAX_LEAD || std::memchr(s + m.start, '\t', m.lead) != nullptr)) {
        join = false;
      }
      // Room for this join and for the end of its paragraph is made before
      // the text changes; without memory the rest stays as it is.
      if (join && (outOfMemory || (record && !HasRoom(*record) && !RoomForJoin(record, n)))) {
        join = false;
        outOfMemory = true;
      }
    }
    const size_t end = l.start + l.length;  // l's line end as loaded
    if (join) {
      // l's words stand shift bytes to the left of where they were loaded.
      size_t at = end - shift;
      const char* tail = s + at;
      const size_t words = l.length - l.lead;
      // A hyphenated word stays whole and a line that ends in a space has its
      // space: neither gets another.
      const bool noSpace = (Class(tail[-1]) & C_BLANK) ||
                           (tail[-1] == '-' && words >= 2 &&
                            ((Class(tail[-2]) & C_LETTER) ||
                             (tail[-2] == '-' && words >= 3 && (Class(tail[-3]) & C_LETTER))));
      if (!noSpace) s[at++] = ' ';
      shift += l.endBytes + m.lead - (noSpace ? 0 : 1);
      // m's words follow at once; in a LF text without indentation they
      // are where they were.
      if (shift > 0) std::memmove(s + at, s + m.start + m.lead, m.length - m.lead);
      if (record) {
        record->joins.push_back(uint32_t(end) << 7 | uint32_t(m.lead) << 2 | (noSpace ? 0 : 2) |
                                (l.endBytes == 2 ? 1 : 0));
      }
      ++count;
    } else if (lJoinedIn) {
      // The end of a joined paragraph: the bytes it gave up pad it here.
      std::memset(s + end - shift, REJOIN_FILLER, shift);
      if (paragraphs) paragraphs->push_back(uint32_t(end));
      shift = 0;
    }
    if (!haveM) break;
    if (outOfMemory && !join) break;
    lJoinedIn = join;
    Line* const old = lp;
    lp = mp;
    mp = kp;
    kp = old;
    lKept = mKept;
    haveM = haveK;
  }
  return count;
}

bool UnjoinHardWrapped(char* s, size_t length, const RejoinRecord& record) {
  if (!s) return false;
  const std::vector<uint32_t>& joins = record.joins;
  const std::vector<uint32_t>& ends = record.paragraphEnds;
  auto endOf = [](uint32_t j) { return size_t(j >> 7); };
  auto endBytes = [](uint32_t j) { return size_t(1 + (j & 1)); };
  auto leadOf = [](uint32_t j) { return size_t((j >> 2) & JOIN_MAX_LEAD); };
  auto given = [&](uint32_t j) { return endBytes(j) + leadOf(j) - ((j & 2) ? 1 : 0); };
  // Each paragraph's joins run up to its end. First every paragraph is
  // checked (its spaces and its padding where the join put them), then each
  // is put back from its last line to its first, every line moving right
  // into room that the line after it has left.
  for (int pass = 0; pass < 2; ++pass) {
    size_t j = 0;
    for (const uint32_t paragraphEnd : ends) {
      const size_t first = j;
      size_t total = 0;
      while (j < joins.size() && endOf(joins[j]) < paragraphEnd) total += given(joins[j++]);
      if (j == first || paragraphEnd > length || total > paragraphEnd) return false;
      if (pass == 0) {
        for (size_t i = paragraphEnd - total; i < paragraphEnd; ++i) {
          if (s[i] != REJOIN_FILLER) return false;
        }
        size_t before = 0;
        for (size_t i = first; i < j; ++i) {
          if ((joins[i] & 2) && s[endOf(joins[i]) - before] != ' ') return false;
          before += given(joins[i]);
        }
        continue;
      }
      size_t shifted = total;
      for (size_t i = j; i-- > first;) {
        const uint32_t join = joins[i];
        const size_t at = endOf(join);
        const size_t from = at + endBytes(join) + leadOf(join);
        const size_t to = i + 1 < j ? endOf(joins[i + 1]) : paragraphEnd;
        std::memmove(s + from, s + from - shifted, to - from);
        shifted -= given(join);
        if (join & 1) {
          s[at] = '\r';
          s[at + 1] = '\n';
        } else {
          s[at] = '\n';
        }
        std::memset(s + at + endBytes(join), ' ', leadOf(join));
      }
    }
    if (j != joins.size()) return false;
  }
  return true;
}

void RejoinLoadedText(Text* text, bool plainText) {
  RejoinLoadedText(text, plainText, text && text->text ? std::strlen(text->text) : 0);
}

void RejoinLoadedText(Text* text, bool plainText, size_t length) {
  g_state.text = nullptr;
  g_state.eligible = false;
  g_state.joined = false;
  g_state.record.joins.clear();
  g_state.record.paragraphEnds.clear();
  if (!text || !text->text || !plainText) return;
  g_state.text = text->text;
  g_state.length = length;
  // Texts beyond what the record of a join holds are never joined (the
  // loader cuts documents at that size already).
  if (g_state.length >= JOIN_MAX_TEXT) return;
  g_state.fingerprint = Fingerprint(text->text, g_state.length);
  g_state.eligible = true;
  if (g_settings.rejoinLines) JoinState(text->text);
}

bool ApplyRejoinSetting(Text* text) {
  if (!StateDescribes(text)) return false;
  char* s = text->text;
  if (g_settings.rejoinLines) return !g_state.joined && JoinState(s);
  if (!g_state.joined || !UnjoinHardWrapped(s, g_state.length, g_state.record)) return false;
  g_state.record.joins.clear();
  g_state.record.paragraphEnds.clear();
  g_state.joined = false;
  return true;
}
