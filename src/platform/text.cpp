// Interface text of the Video object: the standard font, single glyphs and
// strings with a fixed opacity bias, and the outlined titles of dialog windows.
// Menus, dialogs and message boxes draw their words with these.
#include <cstdint>

#include "platform/font.h"
#include "platform/font_draw.h"
#include "platform/video.h"

using font_internal::BlendMemo;
using font_internal::DrawGlyph;
using font_internal::GlyphPlacement;
using font_internal::Ink;

namespace {

// Interface glyphs are a little heavier than coverage alone: 56 and up is opaque.
constexpr int INTERFACE_BIAS = 32;

BlendMemo g_interfaceBlends;

}  // namespace

void Video::SetStandardFont(const BitmapFont* f) { font = f; }

int Video::DrawChar(const BitmapFont* f, int x, int y, uint8_t c, uint32_t attribute,
                    uint16_t* target) {
  if (!f || !f->advance) return 0;
  const int face = int(attribute & ATTR_FACE_MASK);
  if (c == ' ') return f->spaceWidth[face];
  if (c == '\t') return 32 - (x & 31);
  if (c < FONT_FIRST_CHAR) return 0;
  const int g = GlyphIndex(face, c);
  uint16_t* buf = target ? target : BackBuffer();
  if (buf) {
    // Clipped to the buffer per pixel, whatever the coordinates.
    GlyphPlacement at;
    at.x = x;
    at.firstRow = y + f->ascent[face] - f->top[g];
    at.doubled = false;
    at.bias = INTERFACE_BIAS;
    at.lo = 0;
    at.hi = FRAME_PIXELS;
    if (x > -64 && x < SCREEN_WIDTH + 64) {
      DrawGlyph(f, g, at, Ink(uint16_t(attribute >> 16)), buf, g_interfaceBlends);
    }
  }
  return f->advance[g];
}

int Video::DrawString(int x, int y, const char* text, int, const BitmapFont* f, uint32_t attribute,
                      uint16_t* target) {
  if (!f) f = font;
  if (!f || !text) return x;
  for (const uint8_t* s = reinterpret_cast<const uint8_t*>(text); *s; ++s) {
    x += DrawChar(f, x, y, *s, attribute, target);
  }
  return x;
}

int Video::DrawStringOutlined(int x, int y, const char* text, int reserved, const BitmapFont* f,
                              uint32_t attribute, uint16_t outline, uint16_t* target) {
  const uint32_t shadow = (attribute & ATTR_FACE_MASK) | AttrColour(outline);
  DrawString(x - 1, y - 1, text, reserved, f, shadow, target);
  DrawString(x + 1, y + 1, text, reserved, f, shadow, target);
  return DrawString(x, y, text, reserved, f, attribute, target);
}
