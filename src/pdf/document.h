// A PDF file's structure: the cross-reference (tables, streams, object streams,
// incremental updates, and a rebuild by scanning when it is missing or wrong),
// objects parsed when first asked for, decoded streams and the page tree.
// Used by the fonts, the content interpreter and the importer's entry.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "pdf/crypt.h"
#include "pdf/objects.h"

// At most this many objects are addressed, whatever the file says.
constexpr int32_t PDF_MAX_OBJECTS = 1000000;

// A malloc'd byte buffer that frees itself.
struct PdfBytes {
  uint8_t* data = nullptr;
  size_t length = 0;
  PdfBytes() = default;
  PdfBytes(const PdfBytes&) = delete;
  PdfBytes& operator=(const PdfBytes&) = delete;
  PdfBytes(PdfBytes&& other) noexcept : data(other.data), length(other.length) {
    other.data = nullptr;
    other.length = 0;
  }
  PdfBytes& operator=(PdfBytes&& other) noexcept;
  ~PdfBytes();
};

struct PdfXrefEntry {
  uint8_t type = 0;  // 0 free or unknown, 1 at a file offset, 2 inside an object stream
  uint32_t offset = 0;  // type 1: file offset; type 2: number of the object stream
  uint32_t index = 0;  // type 2: index inside the object stream
};

struct PdfDocument {
  const uint8_t* data = nullptr;  // the whole file, not owned
  size_t size = 0;
  std::vector<PdfXrefEntry> xref;  // by object number
  PdfObject trailer;  // the newest trailer, with /Root (and /Encrypt, /Info)
  bool repaired = false;  // the cross-reference was rebuilt by the scan
  // Parsed objects by number, filled as they are asked for.
  std::vector<std::unique_ptr<PdfObject>> objects;
  std::vector<uint8_t> loading;  // by number: being parsed now (a reference loop)
  bool memoryFailed = false;
  // Bytes decoded from streams so far; past PDF_MAX_DECODED_BYTES no stream
  // is decoded any more and budgetSpent says the text may be missing some.
  uint64_t decoded = 0;
  bool budgetSpent = false;
  // The trailer's /Encrypt as read when the document was opened; crypt is set
  // only when it is PDF_ENCRYPTION_OPEN, and then decrypts the strings of each
  // object parsed from the file and the data of each stream.
  PdfEncryption encryption = PDF_ENCRYPTION_NONE;
  std::unique_ptr<PdfCrypt> crypt;
};

// Reads the structure of the PDF held in data[0..size): the cross-reference
// chain from the last startxref (newest definitions win), or the scan when
// that fails or does not lead to a /Root. An encrypted file's handler is set
// up (document->encryption) before any object is kept. False when no trailer
// with a /Root can be found either way; the document is then empty.
bool PdfOpenDocument(PdfDocument* document, const uint8_t* data, size_t size);

// The object that object stands for: itself, or what the reference names
// (parsed on first use; a missing or unreadable object is the null object).
// Never null; the result lives as long as the document.
const PdfObject* PdfResolve(PdfDocument* document, const PdfObject* object);
// The object with this number (the null object when there is none).
const PdfObject* PdfGetObject(PdfDocument* document, int32_t number);
// The resolved value of key in dictionary (itself resolved); null when
// dictionary is null or no dictionary, or the key is missing or null.
const PdfObject* PdfGet(PdfDocument* document, const PdfObject* dictionary, const char* key);

// The data of a stream, decrypted first when the file is encrypted, with
// every filter of its /Filter applied in order (FlateDecode, LZWDecode,
// RunLengthDecode, ASCIIHexDecode, ASCII85Decode, with their /DecodeParms
// predictors, and Crypt). False when it is no stream, a filter is unknown or
// an image filter, its crypt filter is unknown, or decoding failed; each
// decoded stream is at most FLATE_MAX_OUTPUT bytes.
bool PdfDecodeStream(PdfDocument* document, const PdfObject* stream, PdfBytes* out);

// One page: its dictionary, its resources (its own, or inherited from the
// nearest node of the page tree that has them; null when none has) and its
// /Rotate (inherited the same way): 0, 90, 180 or 270.
struct PdfPage {
  const PdfObject* dictionary = nullptr;
  const PdfObject* resources = nullptr;
  int rotate = 0;
};
// The pages in order, from the catalog's /Pages through /Kids. A node seen
// twice ends that branch. False when the catalog or the page tree is missing.
bool PdfCollectPages(PdfDocument* document, std::vector<PdfPage>* pages);
