// Line layout: cuts the formatted text into lines that fit the layout width,
// with word wrap at spaces, alignment and justification, and builds the line
// table that drawing, search and the page moves use.
#include "document/layout.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "document/text.h"
#include "platform/font.h"
#include "platform/trace.h"

namespace {

// A line never holds more bytes than its 16-bit length can count; a stretch of
// zero-width bytes that long is cut as if it had overflowed. The margin leaves
// room for the three bytes of a code.
constexpr int32_t MAX_LINE_BYTES = 0xFFFF - 3;
constexpr int32_t TABLE_STEP = 256;
constexpr int32_t TABLE_RESERVE = 16;

// Widths of every byte for the four faces, measured once per layout so that
// the scan costs one table load per byte. Tabs measure as if at x 0.
// slow[face][c] marks the bytes the scan must look at more closely: NUL,
// byte 1, LF, CR, space, and every byte without width. Every other byte adds
// at least one pixel, so a stretch of them ends by overflow within the layout
// width; only the slow bytes need the check on the line's byte count.
//
// run[face][c] drives the scan of the plain stretch a line starts with: the
// byte's width in the upper 16 bits and, for a space, 1 in the lower ones;
// RUN_STOP for the bytes that end the stretch. One load, one add and one
// compare per byte then measure the byte, count the spaces and find where the
// stretch ends.
struct Metrics {
  int16_t width[4][256];
  uint8_t slow[4][256];
  uint32_t run[4][256];
  int box[4];  // ascent - descent
};

// Above this layout width the byte-count argument above no longer holds and
// every byte takes the slow path.
constexpr int32_t FAST_WIDTH_LIMIT = 30000;

// As wide as the widest layout the plain-stretch scan runs for, so that the
// sum reaches the limit at a stop byte. A sum below the limit plus any entry
// stays below 2^16 in the width half, and a stretch of fewer than
// FAST_WIDTH_LIMIT bytes never carries its space count into it.
constexpr uint32_t RUN_STOP = uint32_t(FAST_WIDTH_LIMIT) << 16;

void MeasureFont(const BitmapFont* font, int32_t layoutWidth, Metrics* m) {
  // A font record whose tables are not filled yet measures like no font.
  const bool usable = font && font->ascent && font->descent && font->advance;
  for (int face = 0; face < 4; ++face) {
    for (int c = 0; c < 256; ++c) {
      // Widths are never negative: the sum over a line only grows.
      const int w = usable ? CharWidth(font, 0, uint8_t(c), face) : 0;
      m->width[face][c] = int16_t(w > 0 ? std::min(w, 0x7FFF) : 0);
    }
    m->width[face][0] = 0;
    m->width[face][uint8_t(FORMAT_CODE)] = 0;
    for (int c = 0; c < 256; ++c) {
      m->slow[face][c] = c == 0 || c == 1 || c == '\n' || c == '\r' || c == ' ' ||
                         m->width[face][c] == 0 || layoutWidth > FAST_WIDTH_LIMIT;
      m->run[face][c] = m->slow[face][c] ? RUN_STOP : uint32_t(m->width[face][c]) << 16;
    }
    if (m->width[face][' '] > 0 && layoutWidth <= FAST_WIDTH_LIMIT) {
      m->run[face][' '] = (uint32_t(m->width[face][' ']) << 16) | 1;
    }
    m->box[face] = usable ? font->ascent[face] - font->descent[face] : 0;
  }
}

// The height a measured byte raises its line to under the given style.
inline int RaisedHeight(const Metrics& m, uint8_t style) {
  const int box = m.box[style & STYLE_FACE_MASK];
  return (style & STYLE_SIZE_MASK) ? box * 2 + 2 : box + 3;
}

inline bool IsLineEnd(uint8_t c) { return c == 0 || c == '\r' || c == '\n'; }

// Applies the size argument d: levels up to 3 (and bytes below '0') clear both
// size bits, a large level adds its bit on top of the current ones.
inline uint8_t ApplySize(uint8_t style, uint8_t d) {
  const int level = d < '0' ? 0 : d - '0';
  if (level <= 3) return uint8_t(style & ~STYLE_SIZE_MASK);
  if (level == 4) return uint8_t(style | STYLE_SIZE_LEVEL4);
  if (level == 5) return uint8_t(style | STYLE_SIZE_LEVEL5);
  return uint8_t(style | STYLE_SIZE_MASK);
}

// Adds the run entries of the bytes from q on to *sum, eight bytes a round,
// until the sum reaches limit; returns the byte that reached it (a stop byte
// or the byte that overflows), whose entry is included in *sum. Kept out of
// line so that the compiler adds each entry straight from the table instead
// of holding every byte for the caller: four instructions a byte.
__attribute__((noinline)) const uint8_t* ScanRun(const uint32_t* run, const uint8_t* q, uint32_t* sum,
                              uint32_t limit) {
  uint32_t w = *sum;
  for (;;) {
    w += run[q[0]];
    if (w >= limit) break;
    w += run[q[1]];
    if (w >= limit) { q += 1; break; }
    w += run[q[2]];
    if (w >= limit) { q += 2; break; }
    w += run[q[3]];
    if (w >= limit) { q += 3; break; }
    w += run[q[4]];
    if (w >= limit) { q += 4; break; }
    w += run[q[5]];
    if (w >= limit) { q += 5; break; }
    w += run[q[6]];
    if (w >= limit) { q += 6; break; }
    w += run[q[7]];
    if (w >= limit) { q += 7; break; }
    q += 8;
  }
  *sum = w;
  return q;
}

struct Table {
  LineRecord* lines = nullptr;
  int32_t count = 0;
  int32_t capacity = 0;
};

// Makes room for one more record. The table grows by 256 records, or by a
// quarter of its size once it is large, so that a book of many thousand lines
// is not copied over and over.
bool Reserve(Table* t) {
  if (t->capacity - (t->count + 1) >= TABLE_RESERVE) return true;
  int32_t step = std::max(TABLE_STEP, t->capacity / 4 / TABLE_STEP * TABLE_STEP);
  const int32_t capacity = t->capacity + step;
  void* grown = std::realloc(t->lines, size_t(capacity) * sizeof(LineRecord));
  if (!grown) return t->capacity > t->count;
  t->lines = static_cast<LineRecord*>(grown);
  t->capacity = capacity;
  return true;
}

}  // namespace

int32_t LayoutLines(Text* text, const BitmapFont* font, const char* formatted, uint8_t start) {
  if (!text) return 0;
  ++g_textRevision;
  std::free(text->lines);
  text->lines = nullptr;
  text->lineCount = 0;
  if (!formatted) return 0;

  Table table;
  table.lines = static_cast<LineRecord*>(std::malloc(TABLE_STEP * sizeof(LineRecord)));
  if (!table.lines) {
    GpTrace("LayoutLines: out of memory\n");
    return 0;
  }
  table.capacity = TABLE_STEP;

  static Metrics metrics;  // 2 KB, rebuilt on every call
  const int32_t layoutWidth = text->width;
  MeasureFont(font, layoutWidth, &metrics);
  const Metrics& m = metrics;

  uint8_t style = start & 0x3F;
  int align = start >> STYLE_ALIGN_SHIFT;
  uint8_t colour = 0;
  int32_t y = FIRST_LINE_Y;
  const uint8_t* p = reinterpret_cast<const uint8_t*>(formatted);

  while (*p) {
    LineRecord rec;
    rec.start = reinterpret_cast<const char*>(p);
    rec.startStyle = uint8_t((style & 0x3F) | (align << STYLE_ALIGN_SHIFT));
    rec.startColour = colour;
    rec.xOffset = 0;
    rec.spaceExtra = 0;
    rec.firstSpaceExtra = 0;

    int height = m.box[style & STYLE_FACE_MASK] + 5;
    // Every byte taken into the line raises its height to the raised height
    // of the style in force after it. That value only changes at a code, so
    // the codes raise the height themselves and the bytes before the first
    // code are accounted for once, with the style the line starts with.
    const int startRaise = RaisedHeight(m, style);
    int raise = startRaise;
    bool codeSeen = false;
    bool bytesBeforeCode = false;
    const int16_t* widths = m.width[style & STYLE_FACE_MASK];
    const uint8_t* slow = m.slow[style & STYLE_FACE_MASK];
    int32_t width = 0;
    int32_t lastSpace = -1;
    int32_t widthBeforeSpace = 0;
    int32_t spaces = 0;
    // The state at the last space: a line broken there keeps the height of
    // what stays on it, and the next line starts in the style, alignment and
    // colour in force at the break, not those of the codes scanned past it.
    uint8_t styleAtSpace = style;
    int alignAtSpace = align;
    uint8_t colourAtSpace = colour;
    int heightAtSpace = height;
    bool overflow = false;
    const uint8_t* q = p;
    const uint8_t* taken = p;  // end of the bytes taken into the width
    const uint8_t* limit = p + MAX_LINE_BYTES - std::clamp<int32_t>(layoutWidth, 0, FAST_WIDTH_LIMIT);

    // Until the first code or byte without width the style, alignment and
    // colour are those the line starts with and the height does not change, so
    // the bytes and spaces are scanned without saving any state; every byte of
    // this stretch adds a pixel, so it cannot reach the byte-count limit.
    bool scanRest = true;
    if (layoutWidth > 0 && layoutWidth <= FAST_WIDTH_LIMIT) {
      const uint32_t* run = m.run[style & STYLE_FACE_MASK];
      const int32_t spaceWidth = widths[' '];
      uint32_t sum = 0;
      q = ScanRun(run, q, &sum, uint32_t(layoutWidth) << 16);
      const uint8_t c = *q;
      sum -= run[c];
      width = int32_t(sum >> 16);
      spaces = int32_t(sum & 0xFFFF);
      if (c == ' ' && run[c] != RUN_STOP) {
        // A space overflows: the line breaks at it.
        lastSpace = int32_t(q - p);
        widthBeforeSpace = width;
        ++spaces;
      } else {
        // The last space of the stretch, found from its end: only the partial
        // word after it is measured again.
        const uint8_t* s = q;
        int32_t partial = 0;
        while (s > p && s[-1] != ' ') {
          --s;
          partial += widths[*s];
        }
        if (s > p) {
          lastSpace = int32_t(s - 1 - p);
          widthBeforeSpace = width - partial - spaceWidth;
        }
      }
      if (run[c] != RUN_STOP) {
        overflow = true;  // a measured byte overflows the width
        taken = q;
        ++q;
        scanRest = false;
      }
      // otherwise the byte at q is looked at by the full scan below.
      // What a break at the last space keeps of the line's height.
      if (lastSpace > 0) heightAtSpace = std::max(height, startRaise);
    }

    while (scanRest) {
      const uint8_t c = *q;
      if (!slow[c]) {
        const int32_t w = widths[c];
        if (width + w >= layoutWidth) {
          overflow = true;
          taken = q;
          ++q;
          break;
        }
        width += w;
        ++q;
        continue;
      }
      int32_t w;
      int len = 1;
      bool code = false;
      if (c == ' ') {
        lastSpace = int32_t(q - p);
        widthBeforeSpace = width;
        ++spaces;
        styleAtSpace = style;
        alignAtSpace = align;
        colourAtSpace = colour;
        heightAtSpace = height;
        if (codeSeen ? bytesBeforeCode : q > p) heightAtSpace = std::max(height, startRaise);
        w = widths[32];
      } else if (c == FORMAT_CODE) {
        if (!codeSeen) {
          codeSeen = true;
          bytesBeforeCode = q > p;
        }
        code = true;
        w = 0;
        const uint8_t letter = q[1];
        switch (letter) {
          case FMT_BOLD_ON: style |= STYLE_BOLD; len = 2; break;
          case FMT_BOLD_OFF: style &= uint8_t(~STYLE_BOLD); len = 2; break;
          case FMT_ITALIC_ON: style |= STYLE_ITALIC; len = 2; break;
          case FMT_ITALIC_OFF: style &= uint8_t(~STYLE_ITALIC); len = 2; break;
          case FMT_UNDERLINE_ON: style |= STYLE_UNDERLINE; len = 2; break;
          case FMT_UNDERLINE_OFF: style &= uint8_t(~STYLE_UNDERLINE); len = 2; break;
          case FMT_ALIGN_LEFT: align = STYLE_ALIGN_LEFT; len = 2; break;
          case FMT_ALIGN_CENTRE: align = STYLE_ALIGN_CENTRE; len = 2; break;
          case FMT_ALIGN_RIGHT: align = STYLE_ALIGN_RIGHT; len = 2; break;
          case FMT_ALIGN_JUSTIFY: align = STYLE_ALIGN_JUSTIFIED; len = 2; break;
          case FMT_PAGE_BREAK: w = layoutWidth; len = 2; break;
          case FMT_SIZE:
          case FMT_COLOUR:
            // A code cut off by the end of the text takes its two bytes and
            // has no effect; the NUL then ends the line.
            len = 2;
            if (q[2] != 0) {
              len = 3;
              if (letter == FMT_SIZE) {
                style = ApplySize(style, q[2]);
              } else {
                colour = uint8_t(q[2] - '0');
              }
            }
            break;
          default:
            break;  // no code: only the byte 1 is taken, the next byte is measured
        }
        widths = m.width[style & STYLE_FACE_MASK];
        slow = m.slow[style & STYLE_FACE_MASK];
        raise = RaisedHeight(m, style);
      } else if (c == 0 || c == '\r' || c == '\n') {
        taken = q;
        break;  // the line ends here
      } else {
        w = widths[c];  // a byte without width
      }
      if (width + w >= layoutWidth) {
        overflow = true;
        taken = q;
        q += len;
        break;
      }
      width += w;
      // A run of codes raises the line once, with the style after its last
      // code: the codes that end a heading's large size at the start of the
      // next paragraph (bold off, then size off) leave no large line.
      if (code && height < raise && q[len] != uint8_t(FORMAT_CODE)) height = raise;
      q += len;
      if (q >= limit) {
        // Only zero-width bytes make a line this long; cut it so that its
        // length fits 16 bits.
        overflow = true;
        taken = q;
        break;
      }
    }
    if (codeSeen ? bytesBeforeCode : taken > p) height = std::max(height, startRaise);

    // q is the byte at which the scan stopped (after an overflow, the byte
    // following the stretch).
    const int32_t scanned = int32_t(q - p);
    const bool endFollows = IsLineEnd(*q);
    int32_t length;
    int32_t lineWidth;
    if (!overflow || endFollows || lastSpace <= 0) {
      length = scanned;
      lineWidth = width;
    } else {
      length = lastSpace;
      lineWidth = widthBeforeSpace;
      style = styleAtSpace;
      align = alignAtSpace;
      colour = colourAtSpace;
      height = heightAtSpace;
    }

    const int32_t free = std::max<int32_t>(0, layoutWidth - lineWidth);
    if (align == STYLE_ALIGN_CENTRE) {
      rec.xOffset = uint16_t(std::min<int32_t>(free / 2, 0xFFFF));
    } else if (align == STYLE_ALIGN_RIGHT) {
      rec.xOffset = uint16_t(std::min<int32_t>(free, 0xFFFF));
    } else if (align == STYLE_ALIGN_JUSTIFIED && overflow && !endFollows && spaces > 1) {
      const int32_t gaps = spaces - 1;
      int32_t extra = free / gaps;
      int32_t first = free - extra * gaps;
      // One byte each: a very wide gap is limited rather than wrapped round,
      // the rest of the free width is then left at the line's end.
      if (extra > 255) {
        extra = 255;
        first = std::min<int32_t>(free - 255 * gaps, 255);
      }
      rec.spaceExtra = uint8_t(extra);
      rec.firstSpaceExtra = uint8_t(first);
    }

    rec.length = uint16_t(length);
    rec.y = y;
    rec.height = uint8_t(std::min(height, 255));
    if (table.count >= TEXT_MAX_LINES || y > TEXT_MAX_HEIGHT - rec.height) {
      // The rest of the text is not laid out: the table and the positions
      // stay within what the reader can hold and scroll.
      GpTrace("LayoutLines: document limit reached after %ld lines\n", long(table.count));
      text->incomplete = true;
      break;
    }
    if (!Reserve(&table)) {
      GpTrace("LayoutLines: out of memory after %ld lines\n", long(table.count));
      break;
    }
    table.lines[table.count++] = rec;
    y += rec.height;

    p += length;
    if (*p == ' ') {
      while (*p == ' ') ++p;
    } else if (*p == '\r') {
      ++p;
      if (*p == '\n') ++p;
    } else if (*p == '\n') {
      ++p;
    }
  }

  text->lines = table.lines;
  text->lineCount = table.count;
  return table.count;
}

int32_t LineAtPosition(const Text* text, int32_t position) {
  if (!text || text->lineCount <= 0 || !text->lines) return -1;
  const LineRecord* lines = text->lines;
  const int32_t base = lines[0].y;
  if (position < base) return 0;
  if (text->lineCount < 2) return -1;
  // Largest i with y(i) - base <= position; the last line is never returned.
  const int32_t target = position + base;
  const LineRecord* it =
      std::upper_bound(lines, lines + text->lineCount, target,
                       [](int32_t v, const LineRecord& r) { return v < r.y; });
  const int32_t i = int32_t(it - lines) - 1;
  if (i < 0) return 0;
  if (i >= text->lineCount - 1) return -1;
  return i;
}

int32_t Relayout(Text* text, int32_t position) {
  if (!text) return 0;
  size_t offset = 0;
  if (text->lineCount > 0 && text->lines && text->text) {
    int32_t i = LineAtPosition(text, position);
    // On or past the last line's top: keep the last line's start, so that a
    // zoom change near the end keeps the reading place.
    if (i < 0) i = text->lineCount - 1;
    offset = size_t(text->lines[i].start - text->text);
  }
  LayoutLines(text, text->font, text->text, START_STYLE);
  if (text->lineCount <= 0) return 0;
  const LineRecord* lines = text->lines;
  const char* target = text->text + offset;
  // The first line whose next line starts beyond the offset, or the last line.
  const LineRecord* it =
      std::upper_bound(lines, lines + text->lineCount, target,
                       [](const char* v, const LineRecord& r) { return v < r.start; });
  int32_t i = int32_t(it - lines) - 1;
  if (i < 0) i = 0;
  return lines[i].y;
}

namespace {
inline bool IsPageBreakLine(const LineRecord& r) {
  return r.length >= 2 && r.start[0] == FORMAT_CODE && r.start[1] == FMT_PAGE_BREAK;
}
}  // namespace

int32_t NextPageBreak(const Text* text, int32_t line) {
  if (!text || !text->lines) return -1;
  if (line + 1 < 0 || line + 1 >= text->lineCount) return -1;
  for (int32_t i = line + 1; i < text->lineCount; ++i) {
    if (IsPageBreakLine(text->lines[i])) return i;
  }
  return -1;
}

int32_t PrevPageBreak(const Text* text, int32_t line) {
  if (!text || !text->lines) return -1;
  int32_t k = line - 2;
  if (k < 1) return -1;
  if (k > text->lineCount - 1) k = text->lineCount - 1;
  for (int32_t i = k; i >= 1; --i) {
    if (IsPageBreakLine(text->lines[i])) return i;
  }
  return -1;
}
