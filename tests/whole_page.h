// The page at a position drawn whole, step by step as the renderer's full
// redraw goes: paper, the lines, the title bar and its shadow. The scrolling
// tests compare every frame drawn the fast way with it.
#pragma once

#include <cstdint>
#include <vector>

#include "document/render.h"
#include "document/text.h"
#include "platform/settings.h"
#include "platform/video.h"

inline std::vector<uint16_t> WholePage(int32_t position) {
  std::vector<uint16_t> frame(FRAME_PIXELS);
  const int top = g_settings.titleBarShown ? TITLE_BAR_HEIGHT : 0;
  ClearBuffer(frame.data(), g_settings.paperColour);
  DrawLines(g_text, nullptr, TEXT_LEFT_MARGIN, top, SCREEN_HEIGHT - top, position, frame.data());
  if (top) {
    DrawTitleBar(position, frame.data());
    uint16_t (*const shade[3])(uint16_t) = {TintDarken127, TintDarken191, TintDarken223};
    for (int row = 0; row < 3; ++row) {
      for (int x = 0; x < SCREEN_WIDTH; ++x) {
        uint16_t& p = frame[PixelIndex(x, TITLE_BAR_HEIGHT + row)];
        p = shade[row](p);
      }
    }
  }
  return frame;
}
