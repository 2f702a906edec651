// Decoding of run-length glyph rows into a frame buffer, with the blend, for
// the document renderer and the interface text. Glyphs wholly inside the
// screen and the limits skip the per-pixel checks: a page draws thousands.
#include <cstdint>

#include "platform/font.h"
#include "platform/font_draw.h"
#include "platform/video.h"

namespace font_internal {

namespace {

// Every pixel checked against the screen rows and [lo, hi).
void DrawChecked(const int8_t* data, int rows, const GlyphPlacement& at, const Ink& ink,
                 uint16_t* buf, BlendMemo& memo) {
  const int step = at.doubled ? 2 : 1;
  const unsigned long span = static_cast<unsigned long>(at.hi - at.lo);
  int rowY = at.firstRow;
  for (int r = 0; r < rows; ++r, rowY += step) {
    if (static_cast<unsigned>(rowY) >= unsigned(SCREEN_HEIGHT)) {
      while (*data++ != 0) {
      }
      continue;
    }
    // Pixel (x, y) is word x * 240 + 239 - y; one pixel right is +240.
    long index = long(at.x) * SCREEN_HEIGHT + (SCREEN_HEIGHT - 1 - rowY);
    const bool above = at.doubled && rowY > 0;
    for (int8_t b = *data++; b != 0; b = *data++) {
      if (b < 0) {
        index -= long(b) * SCREEN_HEIGHT;
        continue;
      }
      const int a = at.bias + 4 * b;
      if (a > 0) {
        if (static_cast<unsigned long>(index - at.lo) < span) Plot(buf, index, ink, a, b, memo);
        if (above && static_cast<unsigned long>(index + 1 - at.lo) < span) {
          Plot(buf, index + 1, ink, a, b, memo);
        }
      }
      index += SCREEN_HEIGHT;
    }
  }
}

}  // namespace

void DrawGlyph(const BitmapFont* font, int g, const GlyphPlacement& at, const Ink& ink,
               uint16_t* buf, BlendMemo& memo) {
  memo.Use(ink.colour, at.bias);
  const int8_t* data = font->rowData + font->rowDataOffset[g];
  const int rows = font->rows[g];
  const int16_t* extents = GlyphExtents(font);
  if (extents && !at.doubled && at.bias >= 0 && rows > 0) {
    const int extent = extents[g];
    const int lastRow = at.firstRow + rows - 1;
    if (at.x >= 0 && at.x + extent <= SCREEN_WIDTH && at.firstRow >= 0 && lastRow < SCREEN_HEIGHT) {
      const long first = long(at.x) * SCREEN_HEIGHT + (SCREEN_HEIGHT - 1 - lastRow);
      const long last = long(at.x + (extent > 0 ? extent - 1 : 0)) * SCREEN_HEIGHT +
                        (SCREEN_HEIGHT - 1 - at.firstRow);
      if (first >= at.lo && last < at.hi) {
        DrawUnchecked(data, rows, at.x, at.firstRow, buf, memo);
        return;
      }
    }
  }
  DrawChecked(data, rows, at, ink, buf, memo);
}

}  // namespace font_internal
