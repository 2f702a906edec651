// Page rendering: the visible lines of the document with their styles,
// colours, underlines and page-break rules, and the title bar with the
// program name, the document name and the progress. Called by the main loop
// (every move), the menus (background renewal) and the page renderer tool.
#pragma once

#include <cstdint>

struct BitmapFont;
struct Text;

constexpr int TITLE_BAR_HEIGHT = 16;
constexpr int TEXT_LEFT_MARGIN = 5;

// Clamps position + delta to the document (0 to height + 16 T - 240, T = 1
// with the title bar shown), clears buffer to the paper colour, draws the
// lines of g_text and the title bar with its shadow, flips when present is set
// (buffer should then be the back buffer) and returns the clamped position.
// A move of less than half the text area (delta not 0) over the page of the
// last call is drawn from a kept picture of that page, shifted, with only the
// rows that a shift cannot give drawn again; the frame is the same. Any
// change of the document, its layout, font or colours draws the page whole.
int32_t ScrollText(int32_t position, int32_t delta, uint16_t* buffer, bool present);

// Draws the page whole at the current entry's position without changing it:
// with present into the back buffer and flips, without into the front buffer
// (shows nothing). Returns the clamped position.
int32_t refresh_text(bool present);

// The highest position ScrollText allows for text with the title bar shown or
// not (0 when the document fits the text area).
int32_t ScrollLimit(const Text* text, bool titleBar);

// Draws the lines of text that meet rows y to y + height - 1 of the screen at
// reading position, the first glyph of each line at x + its x offset; a null
// font means the Text object's. Returns the index after the last line drawn
// (0 without lines, the line count when none is visible).
int32_t DrawLines(const Text* text, const BitmapFont* font, int x, int y, int height,
                  int32_t position, uint16_t* buffer);

// Draws the 16-pixel title bar of g_text at reading position into buffer.
void DrawTitleBar(int32_t position, uint16_t* buffer);
