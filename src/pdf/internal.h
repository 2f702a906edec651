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
  bool cut = false;   // a page passed one of its bounds and lost some text
  uint64_t decoded = 0;  // bytes the stream scan decoded, against PDF_MAX_DECODED_BYTES
};
// Appends count bytes; false (and `failed` set) when memory ran out.
bool PdfTextAppend(PdfTextBuffer* buffer, const char* bytes, size_t count);
// Makes room for extra more bytes; false (and `failed` set) when it cannot.
bool PdfTextReserve(PdfTextBuffer* buffer, size_t extra);
// Makes room for the NUL after the bytes (even when the text limit was met);
// false (and `failed` set) when memory ran out.
bool PdfTextReserveTerminator(PdfTextBuffer* buffer);
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
// FLATE_MAX_OUTPUT bytes are the result, traced). 8 MB keeps one stream, the
// page it is joined into and the file beside a whole document's text within
// what the console leaves the reader; a real page's content is some kilobytes.
constexpr size_t FLATE_MAX_OUTPUT = size_t(8) << 20;
constexpr size_t FLATE_MAX_RATIO = 1000;
// All the streams of one document together decode to at most this many bytes
// (counted as they come out, whatever the filters): a small file of many
// streams that each expand to the limit above would otherwise keep the reader
// busy for minutes. Real books decode to a few tens of megabytes at most.
constexpr uint64_t PDF_MAX_DECODED_BYTES = uint64_t(128) << 20;
int FlateDecodeBuffer(const uint8_t* input, int32_t count, uint8_t** out, int32_t* out_length);
// Hexadecimal digit pairs; control bytes between digits are skipped. Never
// fails on its content.
int AsciiHexDecodeBuffer(const uint8_t* input, int32_t count, uint8_t** out, int32_t* out_length);
// Base-85 groups ended by "~>"; traces and fails on a misplaced "z", a "~"
// without ">", a byte outside "!".."u", or a missing "~>".
int Ascii85DecodeBuffer(const uint8_t* input, int32_t count, uint8_t** out, int32_t* out_length);
// Like FlateDecodeBuffer, but what inflated before a data error or the end
// of the input is kept (returns 1 when it is not empty, traced): damaged or
// cut streams of real files still give their first pages. The output limits
// are FlateDecodeBuffer's.
int FlateDecodeBufferPartial(const uint8_t* input, int32_t count, uint8_t** out, int32_t* out_length);
// LZW codes of 9 to 12 bits, most significant bit first, 256 clearing the
// table and 257 ending the data (input that ends without it ends the data
// too). earlyChange 1 (the default of /DecodeParms) widens the codes one code
// before the table needs it, 0 when it does. A code that is not in the table
// yet is bad data (traced). The output limits are FlateDecodeBuffer's.
int LzwDecodeBuffer(const uint8_t* input, int32_t count, int earlyChange, uint8_t** out, int32_t* out_length);
// Length bytes 0-127 copy that many plus one bytes, 129-255 repeat the next
// byte 257 minus that many times, 128 ends the data. A run cut by the input's
// end keeps what is there; never fails on its content.
int RunLengthDecodeBuffer(const uint8_t* input, int32_t count, uint8_t** out, int32_t* out_length);

// The predictor entries of a stream's /DecodeParms, with their defaults.
struct PdfPredictor {
  int predictor = 1;
  int colors = 1;
  int bitsPerComponent = 8;
  int columns = 1;
};
// Rows wider than this many bytes are refused: 1 MB covers any page image.
constexpr uint64_t PREDICTOR_MAX_ROW = uint64_t(1) << 20;
// Undoes a /DecodeParms predictor after the filter it belongs to: 1 copies,
// 2 is TIFF's (1, 2, 4, 8 or 16 bits per component), 10 to 15 are PNG's, each
// row opening with its own filter-type byte (None, Sub, Up, Average, Paeth).
// Bad parameters (another predictor, colors outside 1..32, bits not 1, 2, 4,
// 8 or 16, columns < 1, rows wider than PREDICTOR_MAX_ROW) and a PNG row type
// past 4 return 0 (traced); a short last row is kept as far as it goes. The
// output is cut at FLATE_MAX_OUTPUT bytes, as Flate's is.
int PredictorDecodeBuffer(const uint8_t* input, int32_t count, const PdfPredictor& predictor, uint8_t** out,
                          int32_t* out_length);

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
