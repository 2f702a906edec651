// Kindle books (MOBI, PRC, AZW, AZW3 and the KF8 part of combined files):
// reads the Palm database and the book headers, decompresses the text records
// (PalmDoc or HUFF/CDIC), assembles KF8 text in reading order, and imports the
// book's markup as HTML with a page break between chapters. Called by the
// document loader and the fuzz target.
#pragma once

#include <cstddef>
#include <cstdint>

// Results of ImportMobi. Every failure has its own message (MobiImportMessage).
enum MobiImportResult {
  MOBI_IMPORT_OK = 0,
  MOBI_IMPORT_PROTECTED = -1,    // encryption type other than 0 (DRM)
  MOBI_IMPORT_COMPRESSION = -2,  // a compression other than 1, 2 and HUFF/CDIC
  MOBI_IMPORT_BROKEN = -3,       // the record table or record 0 cannot be read
  MOBI_IMPORT_NO_TEXT = -4,      // nothing readable in the text records
  MOBI_IMPORT_NO_MEMORY = -5,
};

// True when the document named name (only its extension is used) with these
// first size bytes goes to ImportMobi: the extensions MOBI, PRC, AZW and AZW3
// whatever the content, and PDB when the database's type and creator are
// "BOOK" and "MOBI". buffer may be null; nothing at or past size is read.
bool IsKindleBook(const char* name, const char* buffer, int32_t size);

// True when the size bytes at buffer are a Palm database of type "TEXt" and
// creator "REAd" without a book header: a PalmDoc book, which ImportMobi
// converts to plain text as the PalmDoc importer does.
bool IsPalmDocBook(const char* buffer, int32_t size);

// buffer: in/out. On entry the malloc'd file of length bytes, which is always
// freed; on MOBI_IMPORT_OK a new malloc'd NUL-terminated formatted text, else
// null. A Palm database of type "TEXt" and creator "REAd" without a book header
// is a PalmDoc book and converts as the PalmDoc importer does. The book's title
// (EXTH 503, else the full name; code page 1252, possibly empty) is written to
// title (titleSize bytes, always terminated) when title is given. *incomplete
// (may be null) is set when part of the text could not be read or the text was
// cut at the document limit. Never reads outside the file or a record.
int ImportMobi(char** buffer, int32_t length, char* title, size_t titleSize, bool* incomplete);

// The bilingual message for a failed ImportMobi result; null for MOBI_IMPORT_OK.
const char* MobiImportMessage(int result);
