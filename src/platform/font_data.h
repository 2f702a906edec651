// Set-up functions of the generated glyph tables (font_*_data.cpp), called by
// InitFonts: each points a font record at its constant tables.
#pragma once

#include "platform/font.h"

void FillFontSmall(BitmapFont* font);
void FillFontMedium(BitmapFont* font);
void FillFontLarge(BitmapFont* font);
