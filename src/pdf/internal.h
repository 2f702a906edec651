// Pieces of the PDF importer shared between its files and its tests: the
// growable text buffer, the byte search, the stream filters and the
// content-stream text scanner.
#pragma once

#include <cstddef>
#include <cstdint>

// A growable malloc'd byte string. `failed` is set, and the bytes are kept as
// they were, when it could not grow; every later append is then ignored.
struct PdfTextBuffer {
  char* data = nullptr;
  size_t length = 0;
  size_t capacity = 0;
  bool failed = false;
  bool full = false;  // the text reached TEXT_MAX_BYTES; the rest is dropped
};
// Appends count bytes; false (and `failed` set) when memory ran out.
bool PdfTextAppend(PdfTextBuffer* buffer, const char* bytes, size_t count);
// Makes room for extra more bytes; false (and `failed` set) when it cannot.
bool PdfTextReserve(PdfTextBuffer* buffer, size_t extra);
// Frees the bytes and empties the buffer.
void PdfTextFree(PdfTextBuffer* buffer);

// First position p with pattern at buffer[p..] and p + strlen(pattern) <= n,
// or -1. An empty pattern is found at 0; a null buffer or n <= 0 finds
// nothing else. Never reads buffer[n] or beyond.
int32_t FindInBuffer(const char* buffer, const char* pattern, int32_t n);

// The stream filters. Each takes count bytes of input and, on success, stores
// a new malloc'd buffer (owned by the caller, one spare zero byte after its
// *out_length bytes) in *out and returns 1. Missing input, count <= 0 or
// missing output locations return 0 at once; other failures return 0 with
// nothing stored, and -1 means memory ran out.
//
// zlib-wrapped data, inflated into a growing buffer until the stream ends.
// Output past FLATE_MAX_RATIO times the input drops the stream (returns 0 and
// traces it); output past FLATE_MAX_OUTPUT bytes is cut there (the first
// FLATE_MAX_OUTPUT bytes are the result, traced). 16 MB keeps one stream beside
// a whole document's text within the console's 64 MB.
constexpr size_t FLATE_MAX_OUTPUT = size_t(16) << 20;
constexpr size_t FLATE_MAX_RATIO = 1000;
int FlateDecodeBuffer(const uint8_t* input, int32_t count, uint8_t** out, int32_t* out_length);
// Hexadecimal digit pairs; control bytes between digits are skipped. Never
// fails on its content.
int AsciiHexDecodeBuffer(const uint8_t* input, int32_t count, uint8_t** out, int32_t* out_length);
// Base-85 groups ended by "~>"; traces and fails on a misplaced "z", a "~"
// without ">", a byte outside "!".."u", or a missing "~>".
int Ascii85DecodeBuffer(const uint8_t* input, int32_t count, uint8_t** out, int32_t* out_length);

// Size of the window of recent content-stream bytes the text scanner keeps.
constexpr int PDF_WINDOW = 15;
// True when window[12..13] holds the two letters of op and window[11] and
// window[14] are each a space, CR or LF.
bool TokenBefore(const char* op, const char* window);
// The unsigned number (digits and dots) ending at window[p], spaces before p
// skipped; -1.0 when there is none. p is 10 or 14.
double NumberBefore(const char* window, int p);
// Appends to text the characters that the literal strings inside the text
// objects of the content stream data[0..count) show, with CR LF, TAB and
// space for the line and word gaps that its positioning suggests.
void ExtractText(PdfTextBuffer* text, const uint8_t* data, int32_t count);
