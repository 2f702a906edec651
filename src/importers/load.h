// The document loader: the dispatcher that picks the importer by extension
// and content, for files read whole, bytes already read (an archive's entry)
// and the introduction from memory. Called by the start-up code, the file
// dialog, the archive and book readers and the page renderer tool.
#pragma once

#include <cstdint>

struct Text;

// Takes ownership of buffer (malloc'd, NUL-terminated, size bytes including
// the NUL; may be null): frees the old formatted text, converts UTF-8 and
// UTF-16 plain text and HTML to code page 1252 in place (see encoding.h),
// runs the importer that name (only its extension and base name are used) and
// the first bytes select, and makes the result the formatted text, joined and
// laid out with the Text object's font. An importer that gives nothing shows
// "Error loading file" with the base name and leaves an empty document. The
// name of the Text object is not changed. Returns 1, or 0 when a PDF is
// protected or holds only pictures: a message says so and the document on
// screen stays as it was (buffer freed).
int LoadFromBuffer(Text* text, const char* name, char* buffer, int32_t size);

// Reads the file at path whole and loads it (the Text object's name becomes
// the path). Returns 0, leaving the document as it was (its name cleared),
// when the file cannot be sized, opened or is empty, and with its name when
// LoadFromBuffer kept it; else 1.
int LoadFromFile(Text* text, const char* path);

// Loads a malloc'd NUL-terminated text (ownership passes) as a document
// without a name ("   "), so only its content selects the importer. Returns 1.
int LoadFromMemory(Text* text, char* formatted);
