// Text assembly of one page (see assemble.h) for the content interpreter, in
// three passes: the glyphs are grouped into lines (assemble_lines.cpp), the
// lines give the page's measures (body size, line pitch, the margins of each
// run of lines), and the lines are written out, joined into paragraphs.
#include "pdf/assemble.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "document/encoding.h"
#include "document/text.h"
#include "pdf/assemble_internal.h"

using assemble_internal::BuildLines;
using assemble_internal::ENTRY_GAP_BEFORE;
using assemble_internal::ENTRY_SPACE;
using assemble_internal::Entry;
using assemble_internal::FreePage;
using assemble_internal::IsSpaceCode;
using assemble_internal::Line;
using assemble_internal::OverEmPercent;
using assemble_internal::Page;
using assemble_internal::SameFontSize;

namespace {

// Thresholds, in hundredths of an em of the font size concerned.
//
// A line 0.6 em right of the margin and of the line before starts a
// paragraph: indents are 1 to 3 ems, while the lines of a column start at the
// same x.
constexpr int32_t ASSEMBLE_INDENT = 60;
// Left edges within a quarter em are one margin; right edges within half an em
// one column edge (punctuation hung into the margin stays inside it).
constexpr int32_t ASSEMBLE_LEFT_TOLERANCE = 25;
constexpr int32_t ASSEMBLE_RIGHT_TOLERANCE = 50;
// A line ends its paragraph when the next line's first word and a space of
// 0.3 em would have fitted before the column's right edge.
constexpr int32_t ASSEMBLE_SPACE_WIDTH = 30;
// Line pitches counted for the page's pitch: up to three ems (larger drops
// are gaps around figures and headings).
constexpr int32_t ASSEMBLE_MAX_PITCH = 300;
// The pitch assumed on a page without two body lines in a row.
constexpr int32_t ASSEMBLE_DEFAULT_PITCH = 120;

// Ratios, in percent.
//
// A line 15% larger than the page's body text is a heading: 12 points over 10.
constexpr int32_t ASSEMBLE_HEADING = 115;
// A drop of 1.3 line pitches starts a paragraph: half a line of space between
// paragraphs is found, while the pitch of running text does not vary.
constexpr int32_t ASSEMBLE_PARAGRAPH_DROP = 130;

// Distinct sizes counted for the page's body size.
constexpr int ASSEMBLE_PAGE_SIZES = 16;
constexpr size_t ASSEMBLE_WRITE_CHUNK = 512;

bool IsLowercase(uint32_t cp) {
  if (cp >= 'a' && cp <= 'z') return true;
  if (cp >= 0xDF && cp <= 0xFF) return cp != 0xF7;
  // Latin Extended-A pairs capital and small letters: the small one is odd up
  // to U+0137 and from U+014A, even in between and from U+0179.
  if (cp >= 0x100 && cp <= 0x137) return cp & 1;
  if (cp >= 0x139 && cp <= 0x148) return !(cp & 1);
  if (cp >= 0x14A && cp <= 0x177) return cp & 1;
  if (cp >= 0x179 && cp <= 0x17E) return !(cp & 1);
  if (cp == 0x17F) return true;
  return (cp >= 0x3AC && cp <= 0x3CE) || (cp >= 0x430 && cp <= 0x45F) || (cp >= 0xFB00 && cp <= 0xFB06);
}

bool IsLetter(uint32_t cp) {
  if ((cp >= 'a' && cp <= 'z') || (cp >= 'A' && cp <= 'Z')) return true;
  if (cp >= 0xC0 && cp <= 0x24F) return cp != 0xD7 && cp != 0xF7;
  return (cp >= 0x370 && cp <= 0x52F) || (cp >= 0xFB00 && cp <= 0xFB06);
}

bool IsHyphen(uint32_t cp) { return cp == '-' || cp == 0xAD || cp == 0x2010; }
bool IsDash(uint32_t cp) { return cp == 0x2013 || cp == 0x2014; }

struct Replacement {
  uint32_t unicode;
  const char* text;
};
// What the code page conversion leaves as "?" that PDF fonts show: the two
// "st" ligatures, and square, diamond and symbol-font bullets.
constexpr Replacement ASSEMBLE_REPLACEMENTS[] = {
    {0x25A0, "\x95"}, {0x25A1, "\x95"}, {0x25C6, "\x95"}, {0xF0A7, "\x95"},
    {0xF0B7, "\x95"}, {0xFB05, "st"},   {0xFB06, "st"},
};

// The code page 1252 bytes of cp (at most 3), without control bytes.
int BytesOf(uint32_t cp, char out[3]) {
  if (cp >= 0x20 && cp < 0x7F) {
    out[0] = char(cp);
    return 1;
  }
  for (const Replacement& r : ASSEMBLE_REPLACEMENTS) {
    if (r.unicode == cp) {
      const int n = int(std::strlen(r.text));
      std::memcpy(out, r.text, size_t(n));
      return n;
    }
  }
  char converted[3];
  const int n = Cp1252TextOf(cp, converted);
  int kept = 0;
  for (int k = 0; k < n; ++k) {
    const uint8_t b = uint8_t(converted[k]);
    if (b >= 0x20 && b != 0x7F) out[kept++] = char(b);
  }
  return kept;
}

// Second pass: the page's body size and line pitch, and each block's margin
// and right edge.
void MeasurePage(Page* page) {
  int32_t sizes[ASSEMBLE_PAGE_SIZES];
  uint32_t weights[ASSEMBLE_PAGE_SIZES];
  int distinct = 0;
  for (uint32_t i = 0; i < page->lineCount; ++i) {
    const Line& line = page->lines[i];
    int s = 0;
    while (s < distinct && !SameFontSize(sizes[s], line.size)) ++s;
    if (s == distinct) {
      if (distinct == ASSEMBLE_PAGE_SIZES) continue;
      sizes[distinct] = line.size;
      weights[distinct++] = 0;
    }
    weights[s] += line.end - line.first;
  }
  int best = 0;
  for (int s = 1; s < distinct; ++s) {
    if (weights[s] > weights[best]) best = s;
  }
  const int32_t body = distinct ? sizes[best] : 1;
  page->bodySize = body;

  // A line above the one before (the next column, a box drawn out of order)
  // starts a block; text set vertically is a block of its own.
  uint32_t block = 0;
  for (uint32_t i = 0; i < page->lineCount; ++i) {
    const Line& line = page->lines[i];
    if (i > 0) {
      const Line& before = page->lines[i - 1];
      if (line.baseline > before.baseline || line.vertical || before.vertical) ++block;
    }
    page->lines[i].block = block;
  }

  // The pitch: the drop between two body lines in a row, a third of the way
  // up the drops, so that gaps between paragraphs, when as many as the lines
  // (two-line paragraphs), still count as gaps.
  uint32_t drops = 0;
  for (uint32_t i = 1; i < page->lineCount; ++i) {
    const Line& a = page->lines[i - 1];
    const Line& b = page->lines[i];
    const int32_t drop = a.baseline - b.baseline;
    if (a.block == b.block && SameFontSize(a.size, body) && SameFontSize(b.size, body) && drop > 0 &&
        !OverEmPercent(drop, body, ASSEMBLE_MAX_PITCH)) {
      page->scratch[drops++] = drop;
    }
  }
  if (drops) {
    const uint32_t third = (drops - 1) / 3;
    std::nth_element(page->scratch, page->scratch + third, page->scratch + drops);
    page->pitch = page->scratch[third];
  } else {
    page->pitch = int32_t(int64_t(body) * ASSEMBLE_DEFAULT_PITCH / 100);
  }

  const int32_t leftTolerance = int32_t(int64_t(body) * ASSEMBLE_LEFT_TOLERANCE / 100);
  const int32_t rightTolerance = int32_t(int64_t(body) * ASSEMBLE_RIGHT_TOLERANCE / 100);
  for (uint32_t first = 0; first < page->lineCount;) {
    uint32_t end = first + 1;
    while (end < page->lineCount && page->lines[end].block == page->lines[first].block) ++end;
    const uint32_t n = end - first;
    int32_t* values = page->scratch;

    // The margin: the left edge shared by the most lines, the leftmost of equals.
    for (uint32_t k = 0; k < n; ++k) values[k] = page->lines[first + k].left;
    std::sort(values, values + n);
    int32_t margin = values[0];
    uint32_t most = 0;
    for (uint32_t a = 0, b = 0; a < n; ++a) {
      while (b < n && values[b] - values[a] <= leftTolerance) ++b;
      if (b - a > most) {
        most = b - a;
        margin = values[a];
      }
    }

    // The right edge: the rightmost that a second line comes near, so that
    // one line running into the margin does not move it; else the rightmost.
    for (uint32_t k = 0; k < n; ++k) values[k] = page->lines[first + k].right;
    std::sort(values, values + n);
    int32_t right = values[n - 1];
    for (uint32_t a = n, b = n; a-- > 0;) {
      while (b > 0 && values[a] - values[b - 1] <= rightTolerance) --b;
      if (a + 1 - b >= 2) {
        right = values[a];
        break;
      }
    }
    for (uint32_t k = first; k < end; ++k) {
      page->lines[k].blockLines = n;
      page->lines[k].margin = margin;
      page->lines[k].columnRight = right;
    }
    first = end;
  }
}

enum Joint {
  JOINT_SPACE,      // one paragraph: a space between the lines
  JOINT_TIGHT,      // one paragraph, no space: the line ends in a hyphen or dash after a letter
  JOINT_HYPHEN,     // one word: the hyphen that split it is dropped
  JOINT_PARAGRAPH,  // a new paragraph
  JOINT_SHORT,      // a new paragraph, as the line left room for the next one's first word
};

uint32_t FirstCode(const Page& page, uint32_t entry) { return page.glyphs[page.entries[entry].glyph].unicode[0]; }

uint32_t LastCode(const Page& page, uint32_t entry) {
  const PdfGlyph& g = page.glyphs[page.entries[entry].glyph];
  return g.unicode[std::min<int>(g.count, 4) - 1];
}

bool IsHeading(const Page& page, const Line& line) {
  return int64_t(line.size) * 100 > int64_t(page.bodySize) * ASSEMBLE_HEADING;
}

// How line b follows line a.
Joint JointOf(const Page& page, const Line& a, const Line& b) {
  if (b.bullet || a.vertical || b.vertical) return JOINT_PARAGRAPH;
  const bool heading = IsHeading(page, a);
  if (heading != IsHeading(page, b) || (heading && !SameFontSize(a.size, b.size))) return JOINT_PARAGRAPH;
  const bool sameBlock = a.block == b.block;
  if (sameBlock) {
    // Larger lines keep a larger pitch.
    const int64_t pitch = int64_t(page.pitch) * std::max({page.bodySize, a.size, b.size}) / page.bodySize;
    if ((int64_t(a.baseline) - b.baseline) * 100 > pitch * ASSEMBLE_PARAGRAPH_DROP) return JOINT_PARAGRAPH;
  }
  // A heading broken over lines goes on whatever its alignment (centred lines
  // start and end anywhere).
  if (heading && sameBlock) return JOINT_SPACE;
  const int32_t start = sameBlock ? std::max(b.margin, a.textLeft) : b.margin;
  if (OverEmPercent(int64_t(b.left) - start, b.size, ASSEMBLE_INDENT)) return JOINT_PARAGRAPH;

  // A hyphen or dash right after a letter ends a line that had no more room.
  // It must be a glyph of its own, as joining the word drops that glyph.
  const uint32_t last = LastCode(page, a.lastText);
  bool broken = false;
  if ((IsHyphen(last) || IsDash(last)) && a.lastText > a.first &&
      page.glyphs[page.entries[a.lastText].glyph].count == 1) {
    const Entry& before = page.entries[a.lastText - 1];
    broken = !(page.entries[a.lastText].flags & ENTRY_GAP_BEFORE) && !(before.flags & ENTRY_SPACE) &&
             IsLetter(LastCode(page, a.lastText - 1));
  }
  if (broken) return IsHyphen(last) && IsLowercase(FirstCode(page, b.firstText)) ? JOINT_HYPHEN : JOINT_TIGHT;

  // A line that leaves room for the next line's first word ends its
  // paragraph; so does a line alone in its block (a heading, a page number).
  const int64_t room = int64_t(a.columnRight) - a.right;
  const int64_t firstWord = int64_t(b.firstWordRight) - b.left;
  if (a.blockLines < 2 || room * 100 > firstWord * 100 + int64_t(a.size) * ASSEMBLE_SPACE_WIDTH) {
    return JOINT_SHORT;
  }
  return JOINT_SPACE;
}

bool IsCloser(uint32_t cp) {
  return cp == ')' || cp == ']' || cp == '"' || cp == '\'' || cp == 0x2019 || cp == 0x201D || cp == 0xBB;
}

// A line whose text ends in a full stop, question or exclamation mark, inside
// a closing quote or bracket or not.
bool EndsSentence(const Page& page, const Line& line) {
  const PdfGlyph& g = page.glyphs[page.entries[line.lastText].glyph];
  int k = std::min<int>(g.count, 4) - 1;
  uint32_t cp = g.unicode[k];
  if (IsCloser(cp)) {
    if (k > 0) {
      cp = g.unicode[k - 1];
    } else if (line.lastText > line.first) {
      cp = LastCode(page, line.lastText - 1);
    }
  }
  return cp == '.' || cp == '!' || cp == '?';
}

// How each line goes on to the next, in page->scratch once the measures are
// taken. A run of lines that only the room rule parts (one block, no drop,
// indent, heading or bullet between them) where most lines end short was
// broken by hand: a list, verse, a text file printed as it is. There the
// column's edge says nothing of a long line, so one that ends a sentence ends
// its paragraph too; one that ends mid-sentence (an item that wrapped) runs on.
void JoinLines(Page* page) {
  int32_t* const joints = page->scratch;
  const uint32_t n = page->lineCount;
  for (uint32_t i = 0; i < n; ++i) {
    joints[i] = i + 1 < n ? JointOf(*page, page->lines[i], page->lines[i + 1]) : JOINT_PARAGRAPH;
  }
  for (uint32_t first = 0; first < n;) {
    uint32_t last = first;
    uint32_t shortLines = 0;
    while (last + 1 < n && joints[last] != JOINT_PARAGRAPH && page->lines[last + 1].block == page->lines[last].block) {
      if (joints[last] == JOINT_SHORT) ++shortLines;
      ++last;
    }
    // The run's last line is judged with it, even when the next block
    // continues its paragraph.
    if (shortLines * 2 > last - first) {
      for (uint32_t k = first; k <= last; ++k) {
        if (joints[k] == JOINT_SPACE && EndsSentence(*page, page->lines[k])) joints[k] = JOINT_SHORT;
      }
    }
    first = last + 1;
  }
}

// What waits before the next visible byte.
constexpr uint8_t PENDING_SPACE = 1;
constexpr uint8_t PENDING_PARAGRAPH = 2;  // wins over a space

// The third pass's output, gathered in chunks. Spaces and paragraph ends
// wait for the next visible byte, so that none is doubled, leads or trails.
struct Writer {
  PdfTextBuffer* text = nullptr;
  char bytes[ASSEMBLE_WRITE_CHUNK];
  size_t length = 0;
  bool anything = false;  // a visible byte was written on this page
  uint8_t pending = 0;
};

void Flush(Writer* w) {
  if (w->length) PdfTextAppend(w->text, w->bytes, w->length);
  w->length = 0;
}

// Puts count bytes (at most 16) in one chunk, so that a format code or a line
// end is never split by the text becoming full.
inline void Put(Writer* w, const char* bytes, size_t count) {
  if (w->length + count > sizeof w->bytes) Flush(w);
  for (size_t k = 0; k < count; ++k) w->bytes[w->length++] = bytes[k];
}

// The space or paragraph end waiting for the visible bytes about to be put;
// none before the page's first.
void PutPending(Writer* w) {
  if (w->anything && (w->pending & PENDING_PARAGRAPH)) {
    Put(w, "\r\n\r\n", 4);
  } else if (w->anything) {
    Put(w, " ", 1);
  }
  w->pending = 0;
}

inline void PutVisible(Writer* w, const char* bytes, size_t count) {
  if (count == 0) return;
  if (w->pending) PutPending(w);
  Put(w, bytes, count);
  w->anything = true;
}

void PutGlyph(Writer* w, const PdfGlyph& g, bool lineEnd) {
  char out[12];
  size_t n = 0;
  for (int k = 0; k < g.count && k < 4; ++k) {
    const uint32_t cp = g.unicode[k];
    if (IsSpaceCode(cp)) {
      PutVisible(w, out, n);
      n = 0;
      w->pending |= PENDING_SPACE;
    } else if (cp == 0xAD) {
      // A soft hyphen shows only where it broke a line.
      if (lineEnd) out[n++] = '-';
    } else {
      n += size_t(BytesOf(cp, out + n));
    }
  }
  PutVisible(w, out, n);
}

// Third pass: the lines, joined as JoinLines decided.
void WritePage(const Page& page, Writer* w) {
  for (uint32_t i = 0; i < page.lineCount; ++i) {
    const Line& line = page.lines[i];
    const int32_t joint = page.scratch[i];
    const uint32_t skipped = joint == JOINT_HYPHEN ? line.lastText : UINT32_MAX;
    // Letters with nothing before them are copied in runs, up to the hyphen
    // dropped.
    const uint32_t runEnd = std::min(line.end, skipped);
    for (uint32_t k = line.first; k < line.end;) {
      const Entry& e = page.entries[k];
      if (e.flags) {
        w->pending |= PENDING_SPACE;
        if (e.flags & ENTRY_SPACE) {
          ++k;
          continue;
        }
      }
      if (k == skipped) {
        ++k;
        continue;
      }
      if (!e.ascii) {
        PutGlyph(w, page.glyphs[e.glyph], k == line.lastText);
        ++k;
        continue;
      }
      if (w->pending) PutPending(w);
      if (w->length == sizeof w->bytes) Flush(w);
      char* out = w->bytes + w->length;
      char* const outEnd = w->bytes + sizeof w->bytes;
      *out++ = e.ascii;
      for (++k; k < runEnd && out < outEnd; ++k) {
        const Entry& next = page.entries[k];
        if (next.flags || !next.ascii) break;
        *out++ = next.ascii;
      }
      w->length = size_t(out - w->bytes);
      w->anything = true;
    }
    w->pending = joint == JOINT_SPACE ? PENDING_SPACE : joint >= JOINT_PARAGRAPH ? PENDING_PARAGRAPH : 0;
  }
}

}  // namespace

void PdfAssemblePage(PdfTextBuffer* text, const PdfGlyph* glyphs, size_t count, bool firstPage) {
  if (!text || text->failed || text->full) return;
  Writer w;
  w.text = text;
  if (!firstPage) {
    const char pageBreak[2] = {FORMAT_CODE, FMT_PAGE_BREAK};
    Put(&w, pageBreak, 2);
  }
  if (glyphs && count > 0) {
    // Glyphs are numbered in 32 bits; a page holds far fewer.
    const uint32_t n = count > UINT32_MAX - 1 ? UINT32_MAX - 1 : uint32_t(count);
    Page page;
    page.glyphs = glyphs;
    page.entries = static_cast<Entry*>(std::malloc(size_t(n) * sizeof(Entry)));
    bool ok = page.entries && BuildLines(&page, n);
    if (ok && page.lineCount) {
      page.scratch = static_cast<int32_t*>(std::malloc(size_t(page.lineCount) * sizeof(int32_t)));
      ok = page.scratch != nullptr;
      if (ok) {
        MeasurePage(&page);
        JoinLines(&page);
        WritePage(page, &w);
      }
    }
    FreePage(&page);
    if (!ok) {
      text->failed = true;
      return;
    }
  }
  if (w.anything) Put(&w, "\r\n", 2);
  Flush(&w);
}
