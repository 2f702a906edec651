// PDF text extraction: finds and decodes the streams of a PDF file and keeps
// the text their text operators show. Called by the document loader.
#pragma once

#include <cstdint>

struct Text;

// buffer: in/out. On entry the malloc'd file of length bytes, which is always
// freed; on return a new malloc'd NUL-terminated text, or null on failure.
void ImportPdf(Text* text, char** buffer, int32_t length);
