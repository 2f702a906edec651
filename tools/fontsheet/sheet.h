// Frames of the font sheet: every glyph of the three fonts in the four faces at
// text weights 0, 16 and 128, a message box, and a page of body text per font.
// Used by the fontsheet tool (which tiles them into one image) and by the
// font tests (which keep a golden hash of each frame).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/font.h"
#include "platform/settings.h"
#include "platform/video.h"
#include "boxes/messagebox.h"

namespace fontsheet {

constexpr int FONTS = 3;
constexpr int WEIGHTS = 3;
constexpr int WEIGHT_VALUES[WEIGHTS] = {0, 16, 128};
constexpr int GLYPH_FRAMES = FONTS * WEIGHTS * FONT_FACES;  // 36
// Frames after the glyph frames: the message box, then one text page per font.
constexpr int FRAME_MESSAGE_BOX = GLYPH_FRAMES;
constexpr int FRAME_COUNT = GLYPH_FRAMES + 1 + FONTS;
constexpr int SHEET_COLUMNS = 4;  // one column per face

inline const BitmapFont* SheetFont(int i) {
  return i == 0 ? &FontSmall : i == 1 ? &FontMedium : &FontLarge;
}
inline const char* SheetFontName(int i) {
  return i == 0 ? "FontSmall" : i == 1 ? "FontMedium" : "FontLarge";
}
inline const char* FaceName(int face) {
  static const char* const names[4] = {"regular", "bold", "italic", "bold italic"};
  return names[face & 3];
}

// Short name of a frame, for golden tables and file names.
inline std::string FrameName(int frame) {
  char name[40];
  if (frame < GLYPH_FRAMES) {
    const int row = frame / SHEET_COLUMNS;
    std::snprintf(name, sizeof name, "glyphs-%d-w%d-f%d", row / WEIGHTS,
                  WEIGHT_VALUES[row % WEIGHTS], frame % SHEET_COLUMNS);
  } else if (frame == FRAME_MESSAGE_BOX) {
    std::snprintf(name, sizeof name, "messagebox");
  } else {
    std::snprintf(name, sizeof name, "page-%d", frame - FRAME_MESSAGE_BOX - 1);
  }
  return name;
}

// All 223 glyphs of one face in a grid of 20 columns by 12 rows under a label.
inline void DrawGlyphFrame(int fontIndex, int weightIndex, int face, uint16_t* buf) {
  const BitmapFont* font = SheetFont(fontIndex);
  ClearBuffer(buf, 0xFFFF);
  g_settings.textColour = 0x0000;
  g_settings.textWeight = uint16_t(WEIGHT_VALUES[weightIndex]);
  char label[64];
  std::snprintf(label, sizeof label, "%s %s, weight %d", SheetFontName(fontIndex), FaceName(face),
                WEIGHT_VALUES[weightIndex]);
  g_video->DrawString(4, 2, label, 0, &FontSmall, AttrColour(0x001F), buf);
  const int lineHeight = font->ascent[face] - font->descent[face] + 5;
  for (int c = FONT_FIRST_CHAR; c <= 0xFF; ++c) {
    const int cell = c - FONT_FIRST_CHAR;
    const int x = 2 + (cell % 20) * 16;
    const int y = 20 + (cell / 20) * lineHeight;
    DrawTextChar(font, int16_t(x), int16_t(y), uint8_t(c), uint32_t(face), buf, nullptr, nullptr);
  }
  g_settings.textWeight = 16;
}

// A message box with a two-line body over a grey page, as the user sees it.
inline void DrawMessageBoxFrame(uint16_t* out) {
  ClearBuffer(g_video->BackBuffer(), 0x8410);
  ClearBuffer(g_video->FrontBuffer(), 0x8410);
  MessageBox("Information", "The quick brown fox jumps over the lazy dog. 0123456789 \xC1\xC9\xCD\xD3\xDA \xF1 \xBF\xA1");
  // The box reached the screen but neither buffer: read it back from the screen.
  uint16_t screen[FRAME_PIXELS];
  if (GpReadScreen(screen)) {
    for (int y = 0; y < SCREEN_HEIGHT; ++y) {
      for (int x = 0; x < SCREEN_WIDTH; ++x) out[PixelIndex(x, y)] = screen[y * SCREEN_WIDTH + x];
    }
  } else {
    for (int i = 0; i < FRAME_PIXELS; ++i) out[i] = GpLastShown() ? GpLastShown()[i] : 0;
  }
}

// Body text in the four faces, justified, as a document page would show it.
inline void DrawPageFrame(int fontIndex, uint16_t* buf) {
  const BitmapFont* font = SheetFont(fontIndex);
  ClearBuffer(buf, 0xFFFF);
  g_settings.textColour = 0x0000;
  g_settings.textWeight = 16;
  static const char* const paragraphs[4] = {
      "It was a bright cold day in April, and the clocks were striking thirteen. Quick "
      "zephyrs blow, vexing daft Jim; 1,234.56 (x) [y] {z} \"quoted\" 'single' - #@%&*!?",
      "Bold: The five boxing wizards jump quickly over the lazy dog's back.",
      "Italic: El veloz murci\xE9lago hind\xFA com\xED" "a feliz cardillo y kiwi; \xBFQu\xE9? \xA1S\xED! \xD1" "and\xFA, a\xF1o.",
      "Bold italic: Zw\xF6lf Boxk\xE4mpfer jagen Viktor quer \xFC" "ber den gro\xDF" "en Sylter Deich.",
  };
  int y = 4;
  for (int face = 0; face < 4; ++face) {
    const int h = MeasureTextBlock(font, 5, 310, int16_t(240 - y), 0, paragraphs[face], uint32_t(face));
    DrawTextBlock(font, 5, int16_t(y), 310, int16_t(240 - y), ALIGN_JUSTIFY, paragraphs[face],
                  uint32_t(face), buf);
    y += h + 2;
  }
}

// Draws frame `frame` (0..FRAME_COUNT-1) into out (76,800 pixels).
inline void DrawSheetFrame(int frame, uint16_t* out) {
  if (frame < GLYPH_FRAMES) {
    const int row = frame / SHEET_COLUMNS;
    DrawGlyphFrame(row / WEIGHTS, row % WEIGHTS, frame % SHEET_COLUMNS, out);
  } else if (frame == FRAME_MESSAGE_BOX) {
    DrawMessageBoxFrame(out);
  } else {
    DrawPageFrame(frame - FRAME_MESSAGE_BOX - 1, out);
  }
}

}  // namespace fontsheet
