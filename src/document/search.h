// Text search for the Find dialog: a case-folding substring search over the
// formatted text, organised by the line table.
#pragma once

#include <cstdint>

struct Text;

// Comparison value of each byte: ASCII and code page 1252 capitals fold to
// small letters, control bytes to "_", byte 129 to "?".
extern const uint8_t SearchFold[256];

// Index of the first line from start on (a negative start means 0) in which a
// match of the NUL-terminated pattern begins; -1 when there is none, when
// start is not below the line count, or without a pattern. A match may run on
// past its line's end but never past the end of the text.
int32_t FindText(const Text* text, int32_t start, const char* pattern);
