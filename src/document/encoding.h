// Character encodings of plain text and HTML: finds whether a document's bytes
// are UTF-8, UTF-16 or code page 1252, and converts Unicode text in place to
// the code page 1252 bytes of the formatted text and the fonts. Called by the
// document loader before it chooses the importer.
#pragma once

#include <cstdint>

enum TextEncoding {
  ENCODING_CP1252,  // the bytes are shown as they stand
  ENCODING_UTF8,
  ENCODING_UTF16LE,
  ENCODING_UTF16BE,
};

struct EncodingGuess {
  TextEncoding encoding = ENCODING_CP1252;
  int32_t markLength = 0;  // bytes of a byte order mark at the start, dropped on conversion
};

// The encoding of the size bytes at buffer (nothing at or past size is read;
// 8-bit text ends at its first NUL): a UTF-8 or UTF-16 byte order mark;
// UTF-16 without a mark when, over the first 512 bytes (whole units, 4 units at
// least), nearly all high bytes are zero and most low bytes are not; for html, a charset or XML encoding declared in the first 1024 bytes (UTF-8, or
// windows-1252 / ISO-8859-1, which stays code page 1252); otherwise UTF-8 when
// the text is valid UTF-8 holding at least one multi-byte sequence, else code
// page 1252.
EncodingGuess DetectEncoding(const char* buffer, int32_t size, bool html);

// Converts the size bytes at buffer from the guessed encoding to code page
// 1252 in place, without a byte order mark, and ends the result with a NUL.
// The result is never longer than the input, and the NUL lands at or before
// the text's own end, so nothing past the buffer is written. Characters the
// code page lacks become a look-alike ("-" for a minus sign, " " for thin
// spaces) or "?"; so does each byte of an invalid UTF-8 sequence and each
// unpaired UTF-16 surrogate. A U+0000 in UTF-16 is dropped. Returns the length
// of the result; code page 1252 text is left untouched and its length returned.
int32_t ConvertToCp1252(char* buffer, int32_t size, EncodingGuess guess);

// The loader's step: for plain text and HTML (by the name's extension), finds
// the encoding and converts Unicode text to code page 1252; *size becomes the
// length of the converted text. RTF (bytes starting "{\rtf" outside an HTML
// name), PDF and PalmDoc files are left alone. buffer may be null.
void ConvertDocumentEncoding(const char* name, char* buffer, int32_t* size);

// The code page 1252 text shown for the Unicode character cp: its byte, a
// look-alike of at most 3 bytes, nothing for invisible characters (zero-width
// spaces, a byte order mark inside the text, U+0000), or "?". Writes the bytes
// to out and returns their count (0 to 3).
int Cp1252TextOf(uint32_t cp, char out[3]);
