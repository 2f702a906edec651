// The built-in introduction shown at start: an RTF document held in the
// program. Loaded by the start-up code and by the page renderer tool.
#pragma once

#include <cstddef>

struct Text;

// The introduction, NUL-terminated RTF in code page 1252.
extern const char intromsg[];
// Its size in bytes, the NUL included.
extern const size_t INTROMSG_SIZE;

// Copies the introduction onto the heap and loads it into text from memory (it
// is recognised as RTF by its first bytes). When the copy cannot be allocated
// it traces "Error en malloc intromsg" and leaves text as it was.
void LoadIntroduction(Text* text);
