// HTML import: converts an HTML page into the formatted text in place.
// Called by the document loader.
#pragma once

#include <cstdint>

struct Text;

// Converts the NUL-terminated page in buffer in place (the result is never
// longer than the input) and terminates it. Cannot fail.
void ImportHtml(Text* text, char* buffer, int32_t length);
