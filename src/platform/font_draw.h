// The glyph decoder (glyph.cpp) shared by the document renderer (font.cpp)
// and the interface text of the Video object (text.cpp).
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

// Blends already computed for one ink colour and bias, by coverage: text is
// mostly drawn on one paper colour, so the pixel under a coverage value is
// usually the one met last time and the blend is a table look-up. A key holds
// the old pixel of its entry; NO_PIXEL (never a 16-bit pixel) marks an empty
// entry, and a new colour or bias empties them all.
struct BlendMemo {
  static constexpr uint32_t NO_PIXEL = 0xFFFFFFFFu;
  bool used = false;
  uint16_t colour = 0;
  int bias = 0;
  int opaque = 1;  // coverage from which the colour is set without a blend
  uint32_t key[128];
  uint16_t result[128];

  void Use(uint16_t c, int b) {
    if (used && c == colour && b == bias) return;
    used = true;
    colour = c;
    bias = b;
    // a = bias + 4v > 254 exactly when v reaches this.
    opaque = b > 254 ? 1 : (254 - b) / 4 + 1;
    for (uint32_t& k : key) k = NO_PIXEL;
  }
};

// One covered pixel of coverage v (1..127) at opacity a.
inline void Plot(uint16_t* buf, long index, const Ink& ink, int a, int v, BlendMemo& memo) {
  if (a > 254) {
    buf[index] = ink.colour;
    return;
  }
  const uint16_t old = buf[index];
  if (memo.key[v] != old) {
    memo.key[v] = old;
    memo.result[v] = Blend(ink, old, a);
  }
  buf[index] = memo.result[v];
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

// Widest row of every glyph of a built-in font (measured from its data by
// InitFonts), or null for any other font.
const int16_t* GlyphExtents(const BitmapFont* font);

// Decodes the rows of a glyph whose box (extent x rows at x, firstRow) the
// caller has found inside the buffer and its limits, with a bias of 0 or more
// (low coverage never leaves the pixel alone) and no double height. memo.Use
// must have been called for the colour and bias.
inline void DrawUnchecked(const int8_t* data, int rows, int x, int firstRow, uint16_t* buf,
                          BlendMemo& memo) {
  const uint16_t colour = memo.colour;
  uint16_t* rowStart = buf + x * SCREEN_HEIGHT + (SCREEN_HEIGHT - 1 - firstRow);
  for (int r = 0; r < rows; ++r, --rowStart) {
    uint16_t* p = rowStart;
    for (;;) {
      const int b = *data++;
      if (b <= 0) {
        if (b == 0) break;
        p -= b * SCREEN_HEIGHT;
        continue;
      }
      // Opaque coverages go through the memo too (their result is the colour),
      // which keeps one test off the path of every pixel.
      const uint16_t old = *p;
      if (memo.key[b] != old) {
        memo.key[b] = old;
        memo.result[b] = b >= memo.opaque ? colour : Blend(Ink(colour), old, memo.bias + 4 * b);
      }
      *p = memo.result[b];
      p += SCREEN_HEIGHT;
    }
  }
}

// Draws glyph g of the font as placed. Glyphs of the three built-in fonts
// that lie wholly inside the screen and the limits take a path without
// per-pixel checks; every other glyph is clipped pixel by pixel.
void DrawGlyph(const BitmapFont* font, int g, const GlyphPlacement& at, const Ink& ink,
               uint16_t* buf, BlendMemo& memo);

}  // namespace font_internal
