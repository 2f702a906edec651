// Records and measures shared by the two halves of the PDF text assembly:
// the grouping of glyphs into lines (assemble_lines.cpp) and the page
// measures and writing of the text (assemble.cpp, PdfAssemblePage). Not for
// other callers: the interface is assemble.h.
#pragma once

#include <algorithm>
#include <cstdint>

#include "pdf/assemble.h"

namespace assemble_internal {

// Positions are taken once per glyph into integers of 1/64 point, and all
// the work after that is integer: the console's ARM has no floating-point
// unit, so each float operation would be a library call. Values are clamped
// far off any page, so that the sum or difference of two stays in 32 bits.
constexpr int ASSEMBLE_UNIT_SHIFT = 6;
constexpr int32_t ASSEMBLE_UNIT_LIMIT = int32_t(1) << 28;

// Sizes within 5% are one size (a font scaled with rounding).
constexpr int32_t ASSEMBLE_SAME_SIZE = 105;

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

// The page's working tables, allocated once per page.
struct Page {
  const PdfGlyph* glyphs = nullptr;
  Entry* entries = nullptr;
  uint32_t entryCount = 0;
  Line* lines = nullptr;
  uint32_t lineCount = 0;
  uint32_t lineCapacity = 0;
  int32_t* scratch = nullptr;  // one value per line: the measures, then how each goes on
  int32_t bodySize = 0;
  int32_t pitch = 0;
};

// value > percent hundredths of em, in 64 bits so that no product overflows.
inline bool OverEmPercent(int64_t value, int32_t em, int32_t percent) {
  return value * 100 > int64_t(em) * percent;
}

inline bool SameFontSize(int32_t a, int32_t b) {
  return int64_t(std::max(a, b)) * 100 <= int64_t(std::min(a, b)) * ASSEMBLE_SAME_SIZE;
}

inline bool IsSpaceCode(uint32_t cp) {
  return cp == 0x20 || cp == 0xA0 || cp == 0x09 || cp == 0x0A || cp == 0x0D || (cp >= 0x2000 && cp <= 0x200A) ||
         cp == 0x2028 || cp == 0x2029 || cp == 0x202F || cp == 0x205F || cp == 0x3000;
}

// First pass (assemble_lines.cpp): the first count glyphs of page->glyphs,
// in content order, become page->entries (room for count, allocated by the
// caller) grouped in page->lines (grown here with realloc), with
// page->entryCount and page->lineCount set. Glyphs that are not finite or not
// above size 0 are dropped, and fake-bold copies. False when the lines could
// not grow; what was built is kept for FreePage.
bool BuildLines(Page* page, uint32_t count);

// Frees the page's entries, lines and scratch (any may be null); the record
// itself belongs to the caller.
void FreePage(Page* page);

}  // namespace assemble_internal
