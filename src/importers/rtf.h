// RTF import: converts an RTF document into the formatted text and fills the
// Text object's colour table. Called by the document loader.
#pragma once

#include <cstdint>

struct Text;

// buffer: in/out, a malloc'd NUL-terminated RTF document of length bytes; on
// return it holds the formatted text (malloc'd, owned by the caller). Returns a
// result code that the loader does not examine.
int ImportRtf(Text* text, char** buffer, int32_t length);
