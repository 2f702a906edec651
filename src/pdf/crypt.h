// The standard security handler of encrypted PDF files whose user password is
// empty (an owner password that only guards editing): the file key from the
// encryption dictionary, and the decryption of strings and stream data with
// RC4 or AES. Called by the document code (document.cpp) as it reads a file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "pdf/objects.h"

// How a file is encrypted, as far as the reader is concerned.
enum PdfEncryption : uint8_t {
  PDF_ENCRYPTION_NONE,         // no /Encrypt in the trailer
  PDF_ENCRYPTION_OPEN,         // the empty user password opens it
  PDF_ENCRYPTION_PASSWORD,     // the standard handler asks for a user password
  PDF_ENCRYPTION_UNSUPPORTED,  // another handler, revision or method, or a broken dictionary
};

enum PdfCryptMethod : uint8_t {
  PDF_CRYPT_IDENTITY,  // stored as it is
  PDF_CRYPT_RC4,       // RC4 with a key made for each object
  PDF_CRYPT_AES128,    // AES-128 CBC, a key made for each object, the IV before the data
  PDF_CRYPT_AES256,    // AES-256 CBC with the file key itself, the IV before the data
};

// A named crypt filter of /CF.
struct PdfCryptFilter {
  std::string name;
  PdfCryptMethod method = PDF_CRYPT_IDENTITY;
};

// Where an indirect object came from: the numbers its key is made of.
struct PdfCryptId {
  int32_t number = 0;
  int32_t generation = 0;
};

struct PdfCrypt {
  uint8_t key[32] = {};  // the file key
  size_t keyLength = 0;  // 5 to 16 bytes for RC4 and AES-128, 32 for AES-256
  PdfCryptMethod strings = PDF_CRYPT_IDENTITY;  // /StrF, or the method of /V 1 and 2
  PdfCryptMethod streams = PDF_CRYPT_IDENTITY;  // /StmF, or the method of /V 1 and 2
  std::vector<PdfCryptFilter> filters;  // /CF, for streams that name a filter of their own
  bool encryptMetadata = true;  // false: /Type /Metadata streams are stored as they are
  // Set by the document code: the encryption dictionary's own object, whose
  // strings are never encrypted (-1 when it is written in the trailer).
  int32_t dictionaryNumber = -1;
  // Set by the document code: the object of each stream parsed so far, by the
  // file offset of its data (a stream's dictionary does not name its object).
  std::unordered_map<size_t, PdfCryptId> streamIds;
};

// Reads the encryption dictionary `encrypt` (its values written directly, or
// resolved by the caller) and id, the first element of the trailer's /ID (null
// when there is none), and checks the empty user password against /U.
// Revisions 2 to 4 (RC4 of 40 to 128 bits, crypt filters with /V2 or /AESV2)
// and 5 and 6 (AES-256, the file key from /UE). On PDF_ENCRYPTION_OPEN *crypt
// holds the file key and the methods; on any other result it is left empty.
PdfEncryption PdfCryptOpen(PdfCrypt* crypt, const PdfObject& encrypt, const PdfObject* id);

// The method of the crypt filter called name: Identity, or one of /CF. False
// when the file has no such filter (or its /CFM is not supported).
bool PdfCryptFindFilter(const PdfCrypt& crypt, const std::string& name, PdfCryptMethod* method);

// Decrypts in place, with crypt.strings and the key of object number and
// generation, every string inside object (arrays and dictionaries included).
// An AES string too short for its IV and one block becomes empty; its padding
// is removed when it is valid.
void PdfCryptStrings(const PdfCrypt& crypt, int32_t number, int32_t generation, PdfObject* object);

// Decrypts the stream data data[0..length) of object number and generation
// with method. On success stores a new malloc'd buffer (owned by the caller,
// one spare zero byte after its *outLength bytes) in *out and returns 1; AES
// data keeps its whole blocks after the IV, without the padding when it is
// valid. Returns -1, with nothing stored, when memory ran out.
int PdfCryptStream(const PdfCrypt& crypt, PdfCryptMethod method, int32_t number, int32_t generation,
                   const uint8_t* data, size_t length, uint8_t** out, size_t* outLength);
