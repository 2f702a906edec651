// First pass of the PDF text assembly: the glyphs of a page, in content
// order, are taken into units and grouped into lines, fake-bold copies
// dropped and word gaps marked. BuildLines is called by PdfAssemblePage
// (assemble.cpp), which measures and writes the lines.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "pdf/assemble.h"
#include "pdf/assemble_internal.h"

namespace assemble_internal {

namespace {

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

// Ratios, in percent.
//
// A glyph 20% larger than the one the line's baseline came from (a footnote
// after its raised marker) gives the line its baseline.
constexpr int32_t ASSEMBLE_BASELINE_OWNER = 120;

// Glyphs looked at for a copy when the line's glyphs are not in order.
constexpr uint32_t ASSEMBLE_DUPLICATE_SCAN = 32;
// Distinct sizes counted for a line's size.
constexpr int ASSEMBLE_LINE_SIZES = 4;

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

// Bullets that open a list item, among them the private-use codes that
// symbol fonts give their bullets.
bool IsBullet(uint32_t cp) {
  return cp == 0x2022 || cp == 0x2023 || cp == 0x2043 || cp == 0x2219 || cp == 0x25AA || cp == 0x25A0 ||
         cp == 0x25A1 || cp == 0x25CF || cp == 0x25E6 || cp == 0x25C6 || cp == 0xF0A7 || cp == 0xF0B7;
}

bool SameText(const PdfGlyph& a, const PdfGlyph& b) {
  if (a.count != b.count) return false;
  for (int k = 0; k < a.count && k < 4; ++k) {
    if (a.unicode[k] != b.unicode[k]) return false;
  }
  return true;
}

int32_t RightOf(const Entry& e) { return std::max(e.x, e.x + e.advance); }

// Where e stands along the line's direction of writing.
int32_t Along(const Line& line, const Entry& e) { return line.vertical ? e.y * line.direction : e.x; }

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
  while (s < t->distinct && t->sizes[s] != t->runSize && !SameFontSize(t->sizes[s], t->runSize)) ++s;
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
  return !OverEmPercent(std::abs(e.x - previous.x), em, ASSEMBLE_DUPLICATE_DISTANCE) &&
         !OverEmPercent(std::abs(std::abs(e.y - previous.y) - previous.advance), em, ASSEMBLE_VERTICAL_STEP);
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

}  // namespace

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

void FreePage(Page* page) {
  std::free(page->entries);
  std::free(page->lines);
  std::free(page->scratch);
}

}  // namespace assemble_internal
