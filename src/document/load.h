// Document loading: the dispatcher that picks the importer by extension and
// content, reading whole files, the introduction from memory, soft line-break
// joining and the shortening of card paths for display. Called by the start-up
// code, the file dialog and the page renderer tool.
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
// name of the Text object is not changed. Returns 1.
int LoadFromBuffer(Text* text, const char* name, char* buffer, int32_t size);

// Reads the file at path whole and loads it (the Text object's name becomes
// the path). Returns 0, leaving the document as it was (its name cleared),
// when the file cannot be sized, opened or is empty; else 1.
int LoadFromFile(Text* text, const char* path);

// Loads a malloc'd NUL-terminated text (ownership passes) as a document
// without a name ("   "), so only its content selects the importer. Returns 1.
int LoadFromMemory(Text* text, char* formatted);

// Clears the Text object's name, then reads the file whole into a new malloc'd
// buffer with one NUL after the bytes (a short read leaves zeros) and stores
// the path as the name. size receives the file size. Null when the path is
// null or empty, the file cannot be sized or opened, is empty, or memory is
// short.
char* ReadWholeFile(Text* text, const char* path, int32_t* size);

// Joins soft line breaks in place: a byte other than a space followed by a
// space, CR and LF loses the CR LF, so hard-wrapped paragraphs flow again.
void JoinSoftBreaks(Text* text);

// The path without a leading "/mnt/sd" or "/tmp/mnt/sd": a pointer into path.
const char* TrimSdPath(const char* path);

// True when the characters after the last "." of name's base name (a dot that
// is the base name's first character does not count) equal extension,
// ignoring case.
bool NameHasExtension(const char* name, const char* extension);
