// A synthetic font for the document tests: every glyph has the same advance,
// the space its own width, no ink. Layout rules can then be checked with
// widths that are easy to count.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/font.h"

struct MonoFont {
  int16_t ascent[4];
  int16_t descent[4];
  int16_t spaceWidth[4];
  int16_t faceExtent[4];
  std::vector<int16_t> zeros;
  std::vector<int16_t> advance;
  std::vector<int32_t> offsets;
  std::vector<uint8_t> data;
  BitmapFont font;

  MonoFont(int glyphAdvance, int space, int asc = 8, int desc = -2)
      : zeros(892, 0), advance(892, int16_t(glyphAdvance)), offsets(892, 0), data(1, 0) {
    for (int f = 0; f < 4; ++f) {
      ascent[f] = int16_t(asc);
      descent[f] = int16_t(desc);
      spaceWidth[f] = int16_t(space);
      faceExtent[f] = 0;
    }
    font = BitmapFont{};
    font.ascent = ascent;
    font.descent = descent;
    font.spaceWidth = spaceWidth;
    font.faceExtent = faceExtent;
    font.inkWidth = zeros.data();
    font.rows = zeros.data();
    font.advanceAdjust = zeros.data();
    font.top = zeros.data();
    font.advance = advance.data();
    font.rowDataOffset = offsets.data();
    font.rowData = reinterpret_cast<decltype(font.rowData)>(data.data());
  }
};
