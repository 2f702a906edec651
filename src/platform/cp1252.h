// Code page 1252, the byte set of the formatted text and the fonts: the byte
// for a Unicode character, names in UTF-8 shown in the code page, and the
// order in which names are listed. Used by the RTF and HTML importers for
// Unicode escapes and character references, by the key input for typed text,
// and by the file dialog, the title bar and the Info box for file names.
#pragma once

#include <cstddef>
#include <cstdint>

// Returns the code page 1252 byte (0 to 255) that shows cp, or -1 when the
// code page has no such character (and for the five unassigned bytes 0x81,
// 0x8D, 0x8F, 0x90, 0x9D, which show nothing).
int UnicodeToCp1252(uint32_t cp);

// True when the first length bytes of s are valid UTF-8 holding at least one
// multi-byte sequence: a name written in UTF-8 that needs converting. Plain
// ASCII and Latin-1 or code page 1252 names (whose high bytes seldom form
// valid sequences) give false.
bool IsMultiByteUtf8(const char* s, size_t length);

// The name as the reader's fonts show it, into out (outSize bytes, always
// terminated when outSize > 0; a longer result is cut at a whole character).
// A name that is multi-byte UTF-8, or any name when utf8 is set (a ZIP entry
// flagged so), is converted: each character to its code page byte, a letter
// followed by a combining accent to the accented letter, and "?" for a
// character the code page lacks or a byte that is no valid UTF-8. Any other
// name is copied as it is. Returns the length written.
size_t NameToCp1252(const char* name, bool utf8, char* out, size_t outSize);

// The key by which names are listed, from a name as shown: letters without
// case and accents ("Canci\xF3n" and "cancion" have the same key; "\xC6" is "ae",
// "\xDF" is "ss"), every other byte as it is. Written into out (outSize bytes,
// always terminated when outSize > 0); returns its length.
size_t Cp1252SortKey(const char* shown, char* out, size_t outSize);
