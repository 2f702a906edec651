// The glyph row decoder shared by the document renderer (font.cpp) and the
// interface text of the Video object (text.cpp).
#pragma once

#include <cstdint>

#include "platform/font.h"
#include "platform/video.h"

namespace font_internal {

// Colour split into the three 5-bit channels the blend works on.
struct Ink {
  uint16_t colour;
  int red, green, blue;
  explicit Ink(uint16_t c) : colour(c), red(c >> 11), green((c >> 6) & 31), blue(c & 31) {}
};

// Opacity a (1..254) of the ink over the old pixel; the low green bit ends up 0.
inline uint16_t Blend(const Ink& ink, uint16_t old, int a) {
  const int keep = 255 - a;
  const int r = (ink.red * a + (old >> 11) * keep) >> 8;
  const int g = (ink.green * a + ((old >> 6) & 31) * keep) >> 8;
  const int b = (ink.blue * a + (old & 31) * keep) >> 8;
  return uint16_t(r << 11 | g << 6 | b);
}

inline void Plot(uint16_t* buf, long index, const Ink& ink, int a) {
  if (a > 254) {
    buf[index] = ink.colour;
  } else {
    buf[index] = Blend(ink, buf[index], a);
  }
}

// Where and how one glyph is drawn. Pixel indices outside [lo, hi) (which lie
// within 0..FRAME_PIXELS) are never written.
struct GlyphPlacement {
  int x;
  int firstRow;    // screen row of the glyph's first row
  bool doubled;    // double height: rows step by 2 and the row above is drawn too
  int bias;        // opacity = bias + 4 * coverage
  long lo, hi;
};

// Decodes `rows` run-length rows starting at data. Rows off the screen are
// passed over byte by byte.
inline void DrawGlyphRows(const int8_t* data, int rows, const GlyphPlacement& at, const Ink& ink,
                          uint16_t* buf) {
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
        if (static_cast<unsigned long>(index - at.lo) < span) Plot(buf, index, ink, a);
        if (above && static_cast<unsigned long>(index + 1 - at.lo) < span) {
          Plot(buf, index + 1, ink, a);
        }
      }
      index += SCREEN_HEIGHT;
    }
  }
}

}  // namespace font_internal
