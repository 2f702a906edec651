// PalmDoc import: decodes a PalmDoc e-book into plain text. Called by the
// document loader.
#pragma once

#include <cstdint>

struct Text;

// buffer: in/out. On entry the malloc'd file of length bytes, which is always
// freed; on return a new malloc'd NUL-terminated text, or null on failure.
void ImportPdb(Text* text, char** buffer, int32_t length);
