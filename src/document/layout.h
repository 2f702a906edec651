// Line layout and pagination: cuts the formatted text into lines for the
// layout width and maps between reading positions, lines and page breaks.
// Called by the loader, the zoom commands, drawing, search and the menus.
#pragma once

#include <cstdint>

struct BitmapFont;
struct Text;

// Lays text out with font from the style byte start (callers pass START_STYLE)
// and stores the new line table (malloc'd, owned by the Text object) and the
// line count; the old table is freed first. A null text gives 0 lines and no
// table, an empty one 0 lines and an empty table. A null font measures every
// byte as 0 wide. When memory runs out the lines laid out so far are kept.
// Returns the line count.
int32_t LayoutLines(Text* text, const BitmapFont* font, const char* formatted, uint8_t start);

// Lays the document out again with its current font and returns the reading
// position that shows the line holding the byte that began the line at
// position (the last line's start when position lies on or past the last line).
int32_t Relayout(Text* text, int32_t position);

// The line i with y(i) - 5 <= position < y(i + 1) - 5; line 0 above the first
// line; -1 on or past the last line's top and for fewer than two lines.
int32_t LineAtPosition(const Text* text, int32_t position);

// The next page-break line after line, or -1.
int32_t NextPageBreak(const Text* text, int32_t line);
// A page-break line among line - 2 down to 1, or -1.
int32_t PrevPageBreak(const Text* text, int32_t line);

// Gives the Text object g_text the font of the zoom setting: 0 FontSmall,
// 1 FontMedium, 2 FontLarge, any other value the standard font. Does nothing
// without a Text object or when it already has that font. No layout is done.
void SelectZoomFont();
// The font a zoom level selects (as above).
const BitmapFont* ZoomFont(int level);
