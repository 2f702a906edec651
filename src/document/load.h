// Document files: reading a file whole, soft line-break joining, the
// shortening of card paths for display and the extension test. The loader
// that picks the importer and lays the text out is importers/load.h.
#pragma once

#include <cstddef>
#include <cstdint>

struct Text;

// Clears the Text object's name, then reads the file whole into a new malloc'd
// buffer with one NUL after the bytes (a short read leaves zeros) and stores
// the path as the name. size receives the file size. A file larger than
// DOCUMENT_MAX_INPUT_BYTES is read up to there (size says so) and the Text
// object is marked incomplete for the loader to tell. Null when the path is
// null or empty, the file cannot be sized or opened, is empty, or memory is
// short.
char* ReadWholeFile(Text* text, const char* path, int32_t* size);

// Joins soft line breaks in place: a byte other than a space followed by a
// space, CR and LF loses the CR LF, so hard-wrapped paragraphs flow again.
void JoinSoftBreaks(Text* text);

// The same over the length bytes before text's NUL, known to the caller, so
// the text is not measured again; returns the joined text's length.
size_t JoinSoftBreaks(char* text, size_t length);

// What follows the last "/" of path (all of it when it has none): a pointer into path.
const char* BaseName(const char* path);

// The path without a leading "/mnt/sd" or "/tmp/mnt/sd": a pointer into path.
const char* TrimSdPath(const char* path);

// True when the characters after the last "." of name's base name (a dot that
// is the base name's first character does not count) equal extension,
// ignoring case.
bool NameHasExtension(const char* name, const char* extension);
