// PDF text extraction: finds and decodes the streams of a PDF file and keeps
// the text their text operators show. Called by the document loader.
#pragma once

#include <cstdint>

struct Text;

enum PdfImportResult {
  PDF_IMPORT_OK,         // *buffer holds the text (it may be empty)
  PDF_IMPORT_FAILED,     // memory ran out: *buffer is null
  PDF_IMPORT_PROTECTED,  // encrypted in a way that cannot be read: *buffer is null
  PDF_IMPORT_PICTURES,   // the pages hold no text, only pictures: *buffer is null
  PDF_IMPORT_PASSWORD,   // encrypted with a user password: *buffer is null
};

// buffer: in/out. On entry the malloc'd file of length bytes, which is always
// freed; on return a new malloc'd NUL-terminated text, or null on failure.
// A file whose structure can be read (cross-reference, catalog and page tree,
// rebuilt by a scan when damaged) is read page by page through its fonts and
// glyph positions, with a page-break code between pages (an encrypted one
// too, when its user password is empty); any other file goes
// through the stream scan of pdf_to_text. Sets text->incomplete when the text
// reached the whole-document limit. Returns a PdfImportResult.
int ImportPdf(Text* text, char** buffer, int32_t length);

// Extracts the text of the PDF held in input[0..length). Writes a zero byte
// where each examined stream dictionary ends (inside the input, never past
// it). *output receives a new malloc'd NUL-terminated text that the caller
// frees: empty when input is null, length <= 0 or the bytes do not begin with
// "%PDF". Returns 0, or -1 when memory ran out (then *output is null and
// "Error in pdf_to_text" has been traced). When the text reaches the whole-
// document limit the rest is dropped and *full (if given) is set.
int pdf_to_text(char* input, int32_t length, char** output, bool* full = nullptr);
