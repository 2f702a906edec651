// Text assembly of one page (see assemble.h), in three passes: the glyphs
// are grouped into lines in content order (fake-bold copies dropped, word gaps
// marked), the lines give the page's measures (body size, line pitch, the
// margins of each run of lines), and the lines are written out, joined into
// paragraphs where those measures allow. Called by the content interpreter.
#include "pdf/assemble.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "document/encoding.h"
#include "document/text.h"

namespace {

// Positions are taken once per glyph into integers of 1/64 point, and all
// the work after that is integer: the console's ARM has no floating-point
// unit, so each float operation would be a library call. Values are clamped
// far off any page, so that the sum or difference of two stays in 32 bits.
constexpr int ASSEMBLE_UNIT_SHIFT = 6;
constexpr int32_t ASSEMBLE_UNIT_LIMIT = int32_t(1) << 28;

// Thresholds, in hundredths of an em of the font size concerned.
//
// A word gap: wider than 0.15 em. Kerning and tracking stay below 0.1 em,
// while the narrowest word spaces of justified text (a 0.25 em space shrunk)
// stay above 0.2 em.
constexpr int32_t ASSEMBLE_WORD_GAP = 15;
// The pen going back more than 1.5 em also separates words (a later run drawn
// to the left); an accent struck over its letter goes back less than the
// widest letter, about 1 em.
constexpr int32_t ASSEMBLE_BACKWARD_GAP = 150;
// A baseline moving more than half an em (of the larger font) starts a line.
// Superscripts and subscripts sit about a third of an em off the baseline;
// lines, even set solid, are a whole em apart.
constexpr int32_t ASSEMBLE_BASELINE_SHIFT = 50;
// A glyph within 0.1 em of an earlier one with the same text is a copy drawn
// for fake bold (offsets of a fraction of a point); no two glyphs of real text
// stand that close, as even an "i" advances about 0.25 em.
constexpr int32_t ASSEMBLE_DUPLICATE_DISTANCE = 10;
// The step between two glyphs set vertically: their advance, give or take a
// quarter em of kerning.
constexpr int32_t ASSEMBLE_VERTICAL_STEP = 25;
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
// A glyph 20% larger than the one the line's baseline came from (a footnote
// after its raised marker) gives the line its baseline.
constexpr int32_t ASSEMBLE_BASELINE_OWNER = 120;
// Sizes within 5% are one size (a font scaled with rounding).
constexpr int32_t ASSEMBLE_SAME_SIZE = 105;
// A line 15% larger than the page's body text is a heading: 12 points over 10.
constexpr int32_t ASSEMBLE_HEADING = 115;
// A drop of 1.3 line pitches starts a paragraph: half a line of space between
// paragraphs is found, while the pitch of running text does not vary.
constexpr int32_t ASSEMBLE_PARAGRAPH_DROP = 130;

// Glyphs looked at for a copy when the line's glyphs are not in order.
constexpr uint32_t ASSEMBLE_DUPLICATE_SCAN = 32;
// Distinct sizes counted for a line's size and for the page's body size.
constexpr int ASSEMBLE_LINE_SIZES = 4;
constexpr int ASSEMBLE_PAGE_SIZES = 16;
constexpr size_t ASSEMBLE_WRITE_CHUNK = 512;

// value > percent hundredths of em, in 64 bits so that no product overflows.
inline bool Over(int64_t value, int32_t em, int32_t percent) { return value * 100 > int64_t(em) * percent; }

// v in units, clamped to +-ASSEMBLE_UNIT_LIMIT; false for infinity and NaN.
// Read from the float's bits, with no floating-point operation.
inline bool ToUnits(float v, int32_t* out) {
  uint32_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  const int exponent = int(bits >> 23) & 0xFF;
  if (exponent == 0xFF) return false;
  int32_t magnitude = 0;
  if (exponent != 0) {  // zero and subnormals are far below a unit
    // v = mantissa * 2^(exponent - 150), and a unit is 2^-6.
    const uint32_t mantissa = (bits & 0x7FFFFF) | 0x800000;
    const int shift = exponent - 150 + ASSEMBLE_UNIT_SHIFT;
    if (shift >= 0) {
      magnitude = int32_t(std::min<uint32_t>(mantissa << std::min(shift, 6), ASSEMBLE_UNIT_LIMIT));
    } else if (shift > -24) {
      magnitude = int32_t(mantissa >> -shift);
    }
  }
  *out = (bits >> 31) ? -magnitude : magnitude;
  return true;
}

enum GlyphKind { KIND_SKIP, KIND_SPACE, KIND_TEXT };

// Flags of an entry.
constexpr uint8_t ENTRY_SPACE = 1;       // a space glyph: shows nothing but the gap
constexpr uint8_t ENTRY_GAP_BEFORE = 2;  // a word gap between it and the glyph before

// One glyph kept on a line, its place in units.
struct Entry {
  int32_t x, y, advance, size;
  uint32_t glyph;  // index in the page's glyphs
  uint8_t flags;
  // The glyph's one printable ASCII byte, as most are, else 0: written out
  // without a look at the glyph.
  char ascii;
};

// The glyph's position, advance and size in units; false when one is not finite.
inline bool UnitsOf(const PdfGlyph& g, Entry* e) {
#if !defined(__SOFTFP__)
  // With a floating-point unit, reading the bits costs more than scaling:
  // by a power of two it is exact, and the conversion truncates as ToUnits
  // does. One comparison serves the four when their sum is inside the clamp,
  // as each is then; infinity and NaN fail it and take the long way.
  const float bound = float(ASSEMBLE_UNIT_LIMIT >> ASSEMBLE_UNIT_SHIFT);
  if (std::fabs(g.x) + std::fabs(g.y) + std::fabs(g.advance) + std::fabs(g.size) < bound) {
    const float scale = float(1 << ASSEMBLE_UNIT_SHIFT);
    e->x = int32_t(g.x * scale);
    e->y = int32_t(g.y * scale);
    e->advance = int32_t(g.advance * scale);
    e->size = int32_t(g.size * scale);
    return true;
  }
#endif
  return ToUnits(g.x, &e->x) && ToUnits(g.y, &e->y) && ToUnits(g.advance, &e->advance) && ToUnits(g.size, &e->size);
}

struct Line {
  uint32_t first = 0, end = 0;           // its entries
  uint32_t firstText = 0, lastText = 0;  // entries of its first and last visible glyph
  int32_t baseline = 0;
  int32_t baselineSize = 0;  // size of the glyph the baseline was taken from
  int32_t size = 0;          // the size most of its glyphs have
  int32_t left = 0, right = 0;
  int32_t textLeft = 0;  // where its text starts, after a bullet
  int32_t firstWordRight = 0;
  bool firstWordDone = false;
  bool bullet = false;
  bool textStarted = false;  // textLeft was taken from the text after the bullet
  // Text set vertically runs along y (upwards for direction 1) on the
  // baseline x = axis; it stands as a paragraph of its own.
  bool vertical = false;
  int32_t direction = 1;
  int32_t axis = 0;
  // Of its block, the run of lines each lower than the one before (a column):
  uint32_t block = 0;
  uint32_t blockLines = 0;
  int32_t margin = 0;       // the left edge most of them share
  int32_t columnRight = 0;  // the right edge a second line comes near
};

bool IsSpaceCode(uint32_t cp) {
  return cp == 0x20 || cp == 0xA0 || cp == 0x09 || cp == 0x0A || cp == 0x0D || (cp >= 0x2000 && cp <= 0x200A) ||
         cp == 0x2028 || cp == 0x2029 || cp == 0x202F || cp == 0x205F || cp == 0x3000;
}

// Control characters, direction marks and zero-width characters show nothing.
bool IsIgnored(uint32_t cp) {
  return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F) || (cp >= 0x200B && cp <= 0x200F) ||
         (cp >= 0x202A && cp <= 0x202E) || cp == 0x2060 || cp == 0xFEFF;
}

GlyphKind KindOf(const PdfGlyph& g) {
  if (g.count == 1 && g.unicode[0] > 0x20 && g.unicode[0] < 0x7F) return KIND_TEXT;
  const int n = std::min<int>(g.count, 4);
  bool space = false;
  bool text = false;
  for (int k = 0; k < n; ++k) {
    if (IsSpaceCode(g.unicode[k])) {
      space = true;
    } else if (!IsIgnored(g.unicode[k])) {
      text = true;
    }
  }
  if (text) return KIND_TEXT;
  return space ? KIND_SPACE : KIND_SKIP;
}

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

// Bullets that open a list item, among them the private-use codes that
// symbol fonts give their bullets.
bool IsBullet(uint32_t cp) {
  return cp == 0x2022 || cp == 0x2023 || cp == 0x2043 || cp == 0x2219 || cp == 0x25AA || cp == 0x25A0 ||
         cp == 0x25A1 || cp == 0x25CF || cp == 0x25E6 || cp == 0x25C6 || cp == 0xF0A7 || cp == 0xF0B7;
}

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

bool SameText(const PdfGlyph& a, const PdfGlyph& b) {
  if (a.count != b.count) return false;
  for (int k = 0; k < a.count && k < 4; ++k) {
    if (a.unicode[k] != b.unicode[k]) return false;
  }
  return true;
}

bool SameSize(int32_t a, int32_t b) {
  return int64_t(std::max(a, b)) * 100 <= int64_t(std::min(a, b)) * ASSEMBLE_SAME_SIZE;
}

int32_t RightOf(const Entry& e) { return std::max(e.x, e.x + e.advance); }

// Where e stands along the line's direction of writing.
int32_t Along(const Line& line, const Entry& e) { return line.vertical ? e.y * line.direction : e.x; }

// The page's working tables, allocated once per page.
struct Page {
  const PdfGlyph* glyphs = nullptr;
  Entry* entries = nullptr;
  uint32_t entryCount = 0;
  Line* lines = nullptr;
  uint32_t lineCount = 0;
  uint32_t lineCapacity = 0;
  int32_t* scratch = nullptr;  // one value per line, for the measures
  int32_t bodySize = 0;
  int32_t pitch = 0;
};

void FreePage(Page* page) {
  std::free(page->entries);
  std::free(page->lines);
  std::free(page->scratch);
}

// Finds an entry of the open line [first, end) that e repeats; *hint is where
// the previous copy matched, so that a repeated run is followed one glyph at
// a time. While the line's glyphs run in order (sorted), the copy is found by
// its x anywhere on the line; otherwise only the last few glyphs are looked at.
bool FindCopy(const Page& page, uint32_t first, uint32_t end, bool sorted, const Entry& e, uint32_t* hint) {
  const int32_t tolerance = int32_t(int64_t(e.size) * ASSEMBLE_DUPLICATE_DISTANCE / 100);
  const PdfGlyph& g = page.glyphs[e.glyph];
  auto matches = [&](uint32_t k) {
    const Entry& q = page.entries[k];
    return std::abs(q.x - e.x) <= tolerance && std::abs(q.y - e.y) <= tolerance &&
           SameText(page.glyphs[q.glyph], g);
  };
  if (*hint >= first && *hint < end && matches(*hint)) {
    ++*hint;
    return true;
  }
  uint32_t from;
  if (sorted) {
    uint32_t lo = first, hi = end;
    while (lo < hi) {
      const uint32_t mid = lo + (hi - lo) / 2;
      if (page.entries[mid].x < e.x - tolerance) {
        lo = mid + 1;
      } else {
        hi = mid;
      }
    }
    from = lo;
  } else {
    from = end - first > ASSEMBLE_DUPLICATE_SCAN ? end - ASSEMBLE_DUPLICATE_SCAN : first;
  }
  for (uint32_t k = from; k < end; ++k) {
    if (sorted && page.entries[k].x > e.x + tolerance) break;
    if (matches(k)) {
      *hint = k + 1;
      return true;
    }
  }
  return false;
}

// A line's visible glyphs counted by size as they come, for the size most of
// them have: each size goes to the first one it is the same as, in the order
// they came, and sizes past the first few are not counted.
struct SizeTally {
  int32_t sizes[ASSEMBLE_LINE_SIZES];
  uint32_t counts[ASSEMBLE_LINE_SIZES];
  int distinct = 0;
  // Glyphs mostly have the size of the one before: a run of one size is
  // counted where it ends, in one look.
  int32_t runSize = 0;
  uint32_t run = 0;
};

void CountRun(SizeTally* t) {
  if (t->run == 0) return;
  int s = 0;
  while (s < t->distinct && t->sizes[s] != t->runSize && !SameSize(t->sizes[s], t->runSize)) ++s;
  if (s == t->distinct) {
    if (t->distinct == ASSEMBLE_LINE_SIZES) {
      t->run = 0;
      return;
    }
    t->sizes[s] = t->runSize;
    t->counts[s] = 0;
    ++t->distinct;
  }
  t->counts[s] += t->run;
  t->run = 0;
}

inline void CountSize(SizeTally* t, int32_t size) {
  if (size != t->runSize) {
    CountRun(t);
    t->runSize = size;
  }
  ++t->run;
}

int32_t DominantSize(SizeTally* t, int32_t otherwise) {
  CountRun(t);
  int best = 0;
  for (int s = 1; s < t->distinct; ++s) {
    if (t->counts[s] > t->counts[best]) best = s;
  }
  return t->distinct ? t->sizes[best] : otherwise;
}

bool AddLine(Page* page) {
  if (page->lineCount == page->lineCapacity) {
    const uint32_t capacity = page->lineCapacity ? page->lineCapacity * 2 : 64;
    void* grown = std::realloc(page->lines, size_t(capacity) * sizeof(Line));
    if (!grown) return false;
    page->lines = static_cast<Line*>(grown);
    page->lineCapacity = capacity;
  }
  page->lines[page->lineCount++] = Line();
  return true;
}

// The distances one size allows, in units. As distances are whole units, one
// is over p hundredths of an em exactly when it is over em * p / 100 rounded
// down, so that each glyph is compared with these without a multiplication;
// and the limits of the larger of two sizes are the larger limits.
struct SizeLimits {
  int32_t size = 0;  // no glyph has size 0
  int32_t duplicate = 0;
  int32_t wordGap = 0;
  int32_t backwardGap = 0;
};

int32_t LimitOf(int32_t em, int32_t percent) { return int32_t(int64_t(em) * percent / 100); }

// The limits of size, worked out again only when it differs from the glyph
// before, as runs of glyphs share their size.
inline const SizeLimits& LimitsOf(SizeLimits* cache, int32_t size) {
  if (cache->size != size) {
    cache->size = size;
    cache->duplicate = LimitOf(size, ASSEMBLE_DUPLICATE_DISTANCE);
    cache->wordGap = LimitOf(size, ASSEMBLE_WORD_GAP);
    cache->backwardGap = LimitOf(size, ASSEMBLE_BACKWARD_GAP);
  }
  return *cache;
}

// True when e, off the open line's baseline, continues it as text set
// vertically (a rotated stamp or table heading): the same x as the glyph
// before, one advance above or below it.
bool TurnsVertical(const Line& line, const Entry& previous, const Entry& e) {
  if (line.vertical || previous.advance <= 0) return false;
  const int32_t em = std::max(previous.size, e.size);
  return !Over(std::abs(e.x - previous.x), em, ASSEMBLE_DUPLICATE_DISTANCE) &&
         !Over(std::abs(std::abs(e.y - previous.y) - previous.advance), em, ASSEMBLE_VERTICAL_STEP);
}

// The kind of most glyphs, a printable ASCII letter or space, without the
// full look; the letter goes in e.
inline GlyphKind QuickKindOf(const PdfGlyph& g, Entry* e) {
  if (g.count == 1) {
    if (g.unicode[0] - 0x21u < 0x7Fu - 0x21u) {
      e->ascii = char(g.unicode[0]);
      return KIND_TEXT;
    }
    if (g.unicode[0] == ' ') return KIND_SPACE;
  }
  return KindOf(g);
}

// The open line as FollowRun sees and changes it.
struct PlainRun {
  int32_t size;               // of the entry before, and of every glyph taken
  int32_t baseLow, baseHigh;  // the y a glyph stays on the line within
  int32_t duplicate, wordGap;  // the limits of that size
  int32_t lastAt, lastEnd;    // where the line's last entry stands and ends
  int32_t left, right;        // the line's edges
  uint32_t entryCount;
  uint32_t letters;   // visible glyphs taken
  uint32_t lastText;  // the entry of the last of them
};

// Most glyphs are plain: a printable ASCII letter or a space, of the size
// of the entry before, on the baseline, a little further along. Of such a
// glyph BuildLines would look for no copy (it stands past the last entry by
// more than a copy could, and not behind where that one ended), take no new
// baseline (same size), find the order kept, and mark a word gap only where
// the pen jumped ahead (going back is ruled out). So, while the open line
// runs horizontally, past its first word and any bullet, and the entry
// before moved the pen, plain glyphs from `from` on are taken here, with
// only those looks. Returns the index of the first glyph not taken, which
// goes the long way.
uint32_t FollowRun(const PdfGlyph* glyphs, uint32_t from, uint32_t count, Entry* entries, PlainRun* run) {
  const int32_t size = run->size;
  const int32_t baseLow = run->baseLow, baseHigh = run->baseHigh;
  const int32_t duplicate = run->duplicate, wordGap = run->wordGap;
  int32_t lastAt = run->lastAt, lastEnd = run->lastEnd;
  int32_t left = run->left, right = run->right;
  uint32_t n = run->entryCount;
  uint32_t letters = 0, lastText = 0;
  uint32_t i = from;
  for (; i < count; ++i) {
    const PdfGlyph& g = glyphs[i];
    if (g.count != 1) break;
    const uint32_t cp = g.unicode[0];
    const bool letter = cp - 0x21u < 0x7Fu - 0x21u;
    if (!letter && cp != ' ') break;
    Entry e{0, 0, 0, 0, i, 0, 0};
    if (!UnitsOf(g, &e) || e.size != size || e.y < baseLow || e.y > baseHigh) break;
    // All are within the clamp, so that the differences fit in 32 bits.
    if (e.x - lastAt <= duplicate || lastEnd - e.x > duplicate) break;
    if (letter) {
      e.ascii = char(cp);
      if (e.x - lastEnd > wordGap) e.flags = ENTRY_GAP_BEFORE;
      left = std::min(left, e.x);
      right = std::max(right, RightOf(e));
      lastText = n;
      ++letters;
    } else {
      e.flags = ENTRY_SPACE;
    }
    entries[n++] = e;
    lastAt = e.x;
    lastEnd = e.x + e.advance;
  }
  run->lastAt = lastAt;
  run->lastEnd = lastEnd;
  run->left = left;
  run->right = right;
  run->entryCount = n;
  run->letters = letters;
  run->lastText = lastText;
  return i;
}

// First pass: the glyphs in content order become entries grouped in lines.
// False when memory ran out.
bool BuildLines(Page* page, uint32_t count) {
  // The open line and its last entry are worked on in locals, apart from the
  // page's tables that each entry is written to, and the line is stored when
  // it closes.
  const PdfGlyph* const glyphs = page->glyphs;
  Entry* const entries = page->entries;
  uint32_t entryCount = 0;
  bool open = false;
  Line line;
  SizeTally tally;
  SizeLimits limits;
  // Across the open line (y, or x once it runs vertically), where its
  // baseline is and the half em of the line's size either side of it: a
  // glyph inside stays on the line whatever its size.
  int32_t base = 0, baseLow = 0, baseHigh = 0;
  auto setBase = [&](int32_t at) {
    base = at;
    baseLow = at - (line.baselineSize >> 1);
    baseHigh = at + (line.baselineSize >> 1);
  };
  // A glyph larger than this takes the line's baseline; none once the line
  // runs vertically.
  int32_t ownerLimit = 0;
  // Where the line's last entry stands along it, and where its advance ends.
  int32_t lastAt = 0, lastEnd = 0;
  bool sorted = true;  // the open line's entries advance along it
  // Where the last copy matched, while no entry has been added since.
  uint32_t hint = UINT32_MAX;
  uint32_t hintCount = UINT32_MAX;
  // Where the pen stands along the open line, after the last glyph kept or
  // skipped: a glyph that shows nothing still takes its place in a word. A
  // glyph between low and high is within the word gaps of the glyph that
  // moved the pen, and so in its word whatever its size.
  int32_t pen = 0, penLow = 0, penHigh = 0;
  auto movePen = [&](int32_t to, const SizeLimits& l) {
    pen = to;
    penLow = to - l.backwardGap;
    penHigh = to + l.wordGap;
  };
  auto isWordGap = [&](int32_t at, const SizeLimits& l) {
    // All are within the clamp, so that the differences fit in 32 bits.
    return (at > penHigh && at - pen > l.wordGap) || (at < penLow && pen - at > l.backwardGap);
  };
  bool gapPending = false;  // a word gap came before a glyph that was skipped
  auto close = [&]() {
    line.end = entryCount;
    line.size = DominantSize(&tally, line.baselineSize);
    page->lines[page->lineCount - 1] = line;
  };
  for (uint32_t i = 0; i < count; ++i) {
    const PdfGlyph& g = glyphs[i];
    Entry e{0, 0, 0, 0, i, 0, 0};
    if (!UnitsOf(g, &e) || e.size <= 0) continue;
    const GlyphKind kind = QuickKindOf(g, &e);
    bool moved = false;
    if (open) {
      // Off by over half an em of the larger size, which in whole units is
      // past the line's half em (rounded down) and past the glyph's.
      const int32_t across = line.vertical ? e.x : e.y;
      moved = (across < baseLow || across > baseHigh) && std::abs(across - base) > (e.size >> 1);
      if (moved && kind == KIND_TEXT) {
        const Entry& last = entries[entryCount - 1];
        if (TurnsVertical(line, last, e)) {
          moved = false;
          line.vertical = true;
          line.direction = e.y > last.y ? 1 : -1;
          line.axis = last.x;
          setBase(line.axis);
          ownerLimit = INT32_MAX;
          lastAt = Along(line, last);
          lastEnd = lastAt + last.advance;
          // The pen keeps the word gaps of the glyph that moved it.
          penLow += lastEnd - pen;
          penHigh += lastEnd - pen;
          pen = lastEnd;
          sorted = false;
        }
      }
    }
    // A line starts with a visible glyph: a space or a glyph without text
    // off the line or before its first glyph says nothing.
    if (kind != KIND_TEXT && (moved || !open)) continue;
    const SizeLimits& l = LimitsOf(&limits, e.size);
    if (kind == KIND_SKIP) {
      const int32_t at = Along(line, e);
      gapPending = gapPending || isWordGap(at, l);
      movePen(at + e.advance, l);
      continue;
    }
    if (moved) {
      close();
      open = false;
    }
    if (!open) {
      if (!AddLine(page)) return false;
      open = true;
      line = Line();
      tally = SizeTally();
      line.first = line.firstText = line.lastText = entryCount;
      line.baseline = e.y;
      line.baselineSize = e.size;
      setBase(e.y);
      ownerLimit = LimitOf(e.size, ASSEMBLE_BASELINE_OWNER);
      line.left = line.textLeft = e.x;
      line.right = line.firstWordRight = RightOf(e);
      line.bullet = IsBullet(g.unicode[0]);
      CountSize(&tally, e.size);
      entries[entryCount++] = e;
      lastAt = e.x;
      lastEnd = e.x + e.advance;
      sorted = true;
      movePen(lastEnd, l);
      gapPending = false;
      continue;
    }
    // A copy starts where the pen went back, or sits just past the glyph
    // before when that glyph advanced nothing. All are within the clamp, so
    // that the differences fit in 32 bits.
    const int32_t at = Along(line, e);
    if (lastEnd - at > l.duplicate || std::abs(at - lastAt) <= l.duplicate) {
      if (hintCount != entryCount) hint = UINT32_MAX;
      if (FindCopy(*page, line.first, entryCount, sorted, e, &hint)) {
        hintCount = entryCount;
        continue;
      }
    }
    if (at < lastAt) sorted = false;
    if (e.size > ownerLimit) {
      line.baseline = e.y;
      line.baselineSize = e.size;
      setBase(e.y);
      ownerLimit = LimitOf(e.size, ASSEMBLE_BASELINE_OWNER);
    }
    if (kind == KIND_SPACE) {
      e.flags = ENTRY_SPACE;
      line.firstWordDone = true;
    } else {
      if (gapPending || isWordGap(at, l)) {
        e.flags = ENTRY_GAP_BEFORE;
        line.firstWordDone = true;
      }
      if (line.bullet && !line.textStarted && (e.flags || (entries[entryCount - 1].flags & ENTRY_SPACE))) {
        line.textLeft = e.x;
        line.textStarted = true;
      }
      const int32_t right = RightOf(e);
      line.left = std::min(line.left, e.x);
      line.right = std::max(line.right, right);
      if (!line.firstWordDone) line.firstWordRight = std::max(line.firstWordRight, right);
      line.lastText = entryCount;
      CountSize(&tally, e.size);
    }
    entries[entryCount++] = e;
    lastAt = at;
    lastEnd = at + e.advance;
    movePen(lastEnd, l);
    gapPending = false;
    // The pen now stands where this entry ends, as FollowRun needs.
    if (line.vertical || !line.firstWordDone || (line.bullet && !line.textStarted)) continue;
    PlainRun run{e.size, baseLow, baseHigh, l.duplicate, l.wordGap, lastAt, lastEnd, line.left, line.right,
                 entryCount, 0, 0};
    const uint32_t next = FollowRun(glyphs, i + 1, count, entries, &run);
    if (run.entryCount == entryCount) continue;
    if (run.letters) {
      if (tally.runSize != run.size) {
        CountRun(&tally);
        tally.runSize = run.size;
      }
      tally.run += run.letters;
      line.lastText = run.lastText;
    }
    line.left = run.left;
    line.right = run.right;
    entryCount = run.entryCount;
    lastAt = run.lastAt;
    lastEnd = run.lastEnd;
    movePen(lastEnd, l);
    i = next - 1;
  }
  if (open) close();
  page->entryCount = entryCount;
  return true;
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
    while (s < distinct && !SameSize(sizes[s], line.size)) ++s;
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
    if (a.block == b.block && SameSize(a.size, body) && SameSize(b.size, body) && drop > 0 &&
        !Over(drop, body, ASSEMBLE_MAX_PITCH)) {
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
  if (heading != IsHeading(page, b) || (heading && !SameSize(a.size, b.size))) return JOINT_PARAGRAPH;
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
  if (Over(int64_t(b.left) - start, b.size, ASSEMBLE_INDENT)) return JOINT_PARAGRAPH;

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
    return JOINT_PARAGRAPH;
  }
  return JOINT_SPACE;
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

// Third pass: the lines, joined as JointOf decides.
void WritePage(const Page& page, Writer* w) {
  for (uint32_t i = 0; i < page.lineCount; ++i) {
    const Line& line = page.lines[i];
    const Joint joint = i + 1 < page.lineCount ? JointOf(page, line, page.lines[i + 1]) : JOINT_PARAGRAPH;
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
    w->pending = joint == JOINT_SPACE ? PENDING_SPACE : joint == JOINT_PARAGRAPH ? PENDING_PARAGRAPH : 0;
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
