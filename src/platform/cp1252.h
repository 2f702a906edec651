// Code page 1252, the byte set of the formatted text and the fonts: the byte
// for a Unicode character. Used by the RTF and HTML importers for Unicode
// escapes and character references, and by the key input for typed text.
#pragma once

#include <cstdint>

// Returns the code page 1252 byte (0 to 255) that shows cp, or -1 when the
// code page has no such character (and for the five unassigned bytes 0x81,
// 0x8D, 0x8F, 0x90, 0x9D, which show nothing).
int UnicodeToCp1252(uint32_t cp);
