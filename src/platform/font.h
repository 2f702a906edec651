// The three anti-aliased bitmap fonts (four faces each, code page 1252 bytes
// 0x21..0xFF), character measuring, the document glyph renderer and the
// word-wrapping text block. Layout measures with CharWidth, page rendering
// draws with DrawTextChar, message boxes use DrawTextBlock/MeasureTextBlock.
#pragma once

#include <cstdint>

constexpr int FONT_FACES = 4;
constexpr int FONT_FIRST_CHAR = 0x21;
constexpr int FONT_GLYPHS_PER_FACE = 223;  // 0x21..0xFF
constexpr int FONT_GLYPHS = FONT_FACES * FONT_GLYPHS_PER_FACE;  // 892

// Faces, as in bits 0-1 of an attribute word.
enum : int { FACE_REGULAR = 0, FACE_BOLD = 1, FACE_ITALIC = 2, FACE_BOLD_ITALIC = 3 };

// Attribute word: bits 0-1 face, bits 3-4 double height (document text only),
// bits 16-31 RGB565 colour (0: the text colour setting in document text, black
// in interface text).
constexpr uint32_t ATTR_FACE_MASK = 0x03;
constexpr uint32_t ATTR_DOUBLE_HEIGHT = 0x18;
constexpr uint32_t AttrColour(uint16_t colour) { return uint32_t(colour) << 16; }

// A font: pointers to constant tables compiled into the program. Per-face
// tables have 4 entries, per-glyph tables 892 (index GlyphIndex(face, c)).
// Glyph rows follow each other top row first; each row is signed bytes ended
// by 0: -n skips n pixels, 1..127 is one pixel of that coverage.
struct BitmapFont {
  const int16_t* ascent;         // top of line to baseline
  const int16_t* descent;        // baseline down, negative
  const int16_t* spaceWidth;     // advance of the space
  const int16_t* faceExtent;     // informative only
  const int16_t* inkWidth;       // informative only
  const int16_t* rows;           // pixel rows of the glyph
  const int16_t* advanceAdjust;  // subtracted from advance for document text
  const int16_t* top;            // first row lies `top` rows above the baseline
  const int16_t* advance;        // interface text advance
  const int32_t* rowDataOffset;  // byte offset of the glyph's rows in rowData
  const int8_t* rowData;
};

extern BitmapFont FontSmall;   // standard font; document zoom 0
extern BitmapFont FontMedium;  // document zoom 1
extern BitmapFont FontLarge;   // document zoom 2
// The standard font (FontSmall once start-up has set it); null before.
extern const BitmapFont* g_standardFont;

// Fills the three font records from the embedded glyph data. Safe to call again.
void InitFonts();

// Glyph index of byte c (0x21..0xFF) in a face; callers check the range.
constexpr int GlyphIndex(int face, uint8_t c) {
  return (face & 3) * FONT_GLYPHS_PER_FACE + (c - FONT_FIRST_CHAR);
}

// Advance of byte c for document text at pen x: the face's space width for a
// space, the distance to the next multiple of 32 for a tab, 0 for other bytes
// below 0x21, else advance minus advanceAdjust. 0 for a null font.
int CharWidth(const BitmapFont* font, int16_t x, uint8_t c, int face);

// Draws byte c of document text with its top line at (x, y) into target (a
// 76,800-pixel frame buffer) and returns CharWidth's advance. The user's weight
// setting biases the coverage; double height doubles every row upwards. No
// pixel outside [lower, upper) is written (null: the buffer's start or end),
// nor outside the buffer, and rows below the screen are skipped.
int DrawTextChar(const BitmapFont* font, int16_t x, int16_t y, uint8_t c, uint32_t attribute,
                 uint16_t* target, const uint16_t* lower, const uint16_t* upper);

// Text block alignments.
enum : int { ALIGN_LEFT = 0, ALIGN_CENTRE = 1, ALIGN_RIGHT = 2, ALIGN_JUSTIFY = 3 };

// Draws NUL-terminated text word-wrapped into the box at (x, y) of the given
// width and height: lines that do not fit the height are not drawn. A word
// wider than the box is broken inside it. Returns x.
int DrawTextBlock(const BitmapFont* font, int16_t x, int16_t y, int16_t width, int16_t height,
                  int16_t alignment, const char* text, uint32_t attribute, uint16_t* target);

// Height in pixels of the lines DrawTextBlock would draw with these arguments.
int MeasureTextBlock(const BitmapFont* font, int16_t x, int16_t width, int16_t height,
                     int16_t reserved, const char* text, uint32_t attribute);
