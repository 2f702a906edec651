// The three font records, character measuring, the document glyph renderer
// (weight setting, double height, [lower, upper) limits) and the word-wrapping
// text block of message boxes. Layout, page rendering and dialogs call these.
#include "platform/font.h"

#include <cstdint>

#include "platform/font_data.h"
#include "platform/font_draw.h"
#include "platform/settings.h"
#include "platform/video.h"

BitmapFont FontSmall = {};
BitmapFont FontMedium = {};
BitmapFont FontLarge = {};
const BitmapFont* g_standardFont = nullptr;

using font_internal::BlendMemo;
using font_internal::DrawGlyph;
using font_internal::GlyphPlacement;
using font_internal::Ink;

namespace {

BlendMemo g_documentBlends;

// Widest row (in pixels from the pen) of every glyph of the built-in fonts,
// measured from the data itself so the unchecked path can never leave the box.
int16_t g_extent[3][FONT_GLYPHS];
bool g_measured = false;

inline const int16_t* BuiltInExtents(const BitmapFont* font) {
  if (!g_measured) return nullptr;
  if (font == &FontSmall) return g_extent[0];
  if (font == &FontMedium) return g_extent[1];
  if (font == &FontLarge) return g_extent[2];
  return nullptr;
}

void MeasureGlyphExtents() {
  const BitmapFont* fonts[3] = {&FontSmall, &FontMedium, &FontLarge};
  for (int f = 0; f < 3; ++f) {
    for (int g = 0; g < FONT_GLYPHS; ++g) {
      const int8_t* data = fonts[f]->rowData + fonts[f]->rowDataOffset[g];
      int widest = 0;
      for (int r = 0; r < fonts[f]->rows[g]; ++r) {
        int w = 0;
        for (int8_t b = *data++; b != 0; b = *data++) w += b < 0 ? -b : 1;
        if (w > widest) widest = w;
      }
      g_extent[f][g] = int16_t(widest);
    }
  }
  g_measured = true;
}

// Offset of a limit pointer from the buffer's start, held to 0..FRAME_PIXELS
// so a limit outside the buffer can never open writes past it.
long LimitIndex(const uint16_t* limit, const uint16_t* buf, long fallback) {
  if (!limit) return fallback;
  const intptr_t diff =
      (reinterpret_cast<intptr_t>(limit) - reinterpret_cast<intptr_t>(buf)) / intptr_t(sizeof *buf);
  if (diff < 0) return 0;
  if (diff > FRAME_PIXELS) return FRAME_PIXELS;
  return long(diff);
}

// One line of a text block as found by the scan.
struct BlockLine {
  int length;      // bytes drawn
  int width;       // their width (without a last byte that overflowed)
  int spaces;      // spaces met by the scan, the break space included
  bool atBreak;    // the line ends at a space that the scan recorded
};

// Scans the line starting at s. Widths come from CharWidth at the block's x.
BlockLine ScanBlockLine(const BitmapFont* font, int x, int width, int face, const uint8_t* s) {
  int run = 0, w = 0, spaces = 0;
  int breakAt = -1, breakWidth = 0;
  bool lineEnd = false;
  for (;;) {
    const uint8_t c = s[run];
    if (c == 0 || c == '\r' || c == '\n') {
      lineEnd = true;
      break;
    }
    if (c == ' ') {
      ++spaces;
      breakAt = run;
      breakWidth = w;
    }
    const int cw = CharWidth(font, int16_t(x), c, face);
    ++run;
    if (w + cw < width) {
      w += cw;
    } else {
      break;
    }
  }
  if (lineEnd || breakAt < 0) return BlockLine{run, w, spaces, false};
  return BlockLine{breakAt, breakWidth, spaces, true};
}

// Position of the next line after a line of `length` bytes from s: one space,
// then a CR LF pair or a single CR or LF, are passed over.
const uint8_t* NextLine(const uint8_t* s, int length) {
  s += length;
  if (*s == ' ') ++s;
  if (s[0] == '\r' && s[1] == '\n') return s + 2;
  if (*s == '\r' || *s == '\n') return s + 1;
  return s;
}

int BlockLineHeight(const BitmapFont* font, int face) {
  return font->ascent[face] - font->descent[face] + 5;
}

}  // namespace

void InitFonts() {
  FillFontSmall(&FontSmall);
  FillFontMedium(&FontMedium);
  FillFontLarge(&FontLarge);
  MeasureGlyphExtents();
}

namespace font_internal {
const int16_t* GlyphExtents(const BitmapFont* font) { return BuiltInExtents(font); }
}  // namespace font_internal

int CharWidth(const BitmapFont* font, int16_t x, uint8_t c, int face) {
  if (!font || !font->advance) return 0;
  face &= 3;
  if (c == ' ') return font->spaceWidth[face];
  // Two's complement keeps the tab stop right for negative x as well.
  if (c == '\t') return 32 - (x & 31);
  if (c < FONT_FIRST_CHAR) return 0;
  const int g = GlyphIndex(face, c);
  return font->advance[g] - font->advanceAdjust[g];
}

int DrawTextChar(const BitmapFont* font, int16_t x, int16_t y, uint8_t c, uint32_t attribute,
                 uint16_t* target, const uint16_t* lower, const uint16_t* upper) {
  const int face = int(attribute & ATTR_FACE_MASK);
  if (c < FONT_FIRST_CHAR || !target || !font || !font->advance) {
    return CharWidth(font, x, c, face);
  }
  const int g = GlyphIndex(face, c);
  uint16_t colour = uint16_t(attribute >> 16);
  if (colour == 0) colour = g_settings.textColour;
  const int bias = g_settings.textWeight;
  const bool doubled = (attribute & ATTR_DOUBLE_HEIGHT) != 0;
  const int d = font->ascent[face] - font->top[g];
  const int firstRow = y + (doubled ? 2 * d : d);
  const int rows = font->rows[g];
  // The page's glyphs: no limits, one height, wholly on the screen.
  const int16_t* extents = !doubled && !lower && !upper ? BuiltInExtents(font) : nullptr;
  if (extents && x >= 0 && x + extents[g] <= SCREEN_WIDTH && firstRow >= 0 &&
      firstRow + rows <= SCREEN_HEIGHT) {
    g_documentBlends.Use(colour, bias);
    font_internal::DrawUnchecked(font->rowData + font->rowDataOffset[g], rows, x, firstRow, target,
                                 g_documentBlends);
    return font->advance[g] - font->advanceAdjust[g];
  }
  GlyphPlacement at;
  at.x = x;
  at.doubled = doubled;
  at.firstRow = firstRow;
  at.bias = bias;
  at.lo = LimitIndex(lower, target, 0);
  at.hi = LimitIndex(upper, target, FRAME_PIXELS);
  if (at.lo < at.hi) DrawGlyph(font, g, at, Ink(colour), target, g_documentBlends);
  return font->advance[g] - font->advanceAdjust[g];
}

int DrawTextBlock(const BitmapFont* font, int16_t x, int16_t y, int16_t width, int16_t height,
                  int16_t alignment, const char* text, uint32_t attribute, uint16_t* target) {
  if (!font || !font->advance || !text) return x;
  const int face = int(attribute & ATTR_FACE_MASK);
  const int lineHeight = BlockLineHeight(font, face);
  const uint8_t* s = reinterpret_cast<const uint8_t*>(text);
  int lineY = y;
  while (*s) {
    const BlockLine line = ScanBlockLine(font, x, width, face, s);
    if ((lineY - y) + lineHeight > height) break;
    const int spare = width - line.width;
    int pen = x;
    int extra = 0, firstExtra = 0;
    switch (alignment) {
      case ALIGN_CENTRE: pen = x + spare / 2; break;
      case ALIGN_RIGHT: pen = x + spare; break;
      case ALIGN_JUSTIFY:
        if (line.atBreak && line.spaces >= 2) {
          extra = spare / (line.spaces - 1);
          firstExtra = spare % (line.spaces - 1);
        }
        break;
      default: break;
    }
    for (int i = 0; i < line.length; ++i) {
      const uint8_t c = s[i];
      pen += DrawTextChar(font, int16_t(pen), int16_t(lineY), c, attribute, target, nullptr, nullptr);
      if (c == ' ') {
        pen += extra + firstExtra;
        firstExtra = 0;
      }
    }
    lineY += lineHeight;
    s = NextLine(s, line.length);
  }
  return x;
}

int MeasureTextBlock(const BitmapFont* font, int16_t x, int16_t width, int16_t height, int16_t,
                     const char* text, uint32_t attribute) {
  if (!font || !font->advance || !text) return 0;
  const int face = int(attribute & ATTR_FACE_MASK);
  const int lineHeight = BlockLineHeight(font, face);
  const uint8_t* s = reinterpret_cast<const uint8_t*>(text);
  int total = 0;
  while (*s) {
    const BlockLine line = ScanBlockLine(font, x, width, face, s);
    if (total + lineHeight > height) break;
    total += lineHeight;
    s = NextLine(s, line.length);
  }
  return total;
}
