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
// laid out with the Text object's font. The name of the Text object is not
// changed, except that a FictionBook's or Kindle book's title becomes it. Returns 1, or 0 when the new document gives no text: no bytes
// (EMPTY_FILE_MESSAGE), an importer that gives nothing or an empty text
// ("Error loading file"), a protected PDF or one of pictures, a Kindle book
// that is protected or cannot be read (see mobi.h); one message
// says why, with the base name, and the document on screen, its line table
// and colours stay as they were (buffer freed).
int LoadFromBuffer(Text* text, const char* name, char* buffer, int32_t size);

// The bilingual message for a file of no bytes, shown by the loader and by
// the dialogs that look at a file's size first.
extern const char* const EMPTY_FILE_MESSAGE;

// Reads the file at path whole and loads it (the Text object's name becomes
// the path). Returns 0, leaving the document and its name as they were, when
// the file cannot be sized or is empty (no message: the caller tells), when
// its bytes cannot be read ("Error loading file") or LoadFromBuffer kept the
// document; else 1.
int LoadFromFile(Text* text, const char* path);

// Loads a malloc'd NUL-terminated text (ownership passes) as a document
// without a name ("   "), so only its content selects the importer. Returns 1.
int LoadFromMemory(Text* text, char* formatted);
