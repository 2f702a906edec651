// Kindle books: the Palm database of a MOBI, PRC, AZW or AZW3 file, its record
// 0 (the PalmDOC header, the MOBI header and its EXTH records), the text
// records with their trailing entries removed and decompressed, and the
// book's markup imported as HTML, chapters on new pages. A combined file shows
// its KF8 part (mobi_kf8.cpp assembles it). Called by the document loader.
#include "importers/mobi.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "document/encoding.h"
#include "document/load.h"
#include "document/text.h"
#include "importers/html.h"
#include "importers/mobi_internal.h"
#include "importers/pdb.h"
#include "platform/bytes.h"
#include "platform/trace.h"

const uint8_t* MobiRecords::Record(uint32_t i, uint32_t* size) const {
  *size = 0;
  if (i >= offsets.size()) return nullptr;
  const uint32_t start = offsets[i];
  const uint32_t end = i + 1 < offsets.size() ? offsets[i + 1] : length;
  *size = end - start;
  return file + start;
}

namespace {

constexpr uint32_t kNone = 0xFFFFFFFF;
constexpr uint32_t kPdbHeaderBytes = 78;
constexpr uint32_t kRecordEntryBytes = 8;
constexpr uint16_t kCompressionNone = 1;
constexpr uint16_t kCompressionPalmDoc = 2;
constexpr uint16_t kCompressionHuffCdic = 17480;  // "DH"
constexpr uint32_t kExthTitle = 503;
constexpr uint32_t kExthKf8Boundary = 121;
constexpr uint32_t kEncodingUtf8 = 65001;

// What a book header record (record 0, or the KF8 part's) says.
struct BookHeader {
  uint32_t base = 0;  // the record the header is in; its record numbers count from here
  uint16_t compression = 0;
  uint32_t textLength = 0;
  uint16_t textRecords = 0;
  uint16_t encryption = 0;
  bool mobi = false;  // a MOBI header follows the PalmDOC header
  uint32_t encoding = 1252;
  uint32_t version = 0;
  uint32_t huffRecord = kNone;
  uint32_t huffCount = 0;
  uint16_t extraFlags = 0;
  uint32_t kf8Boundary = kNone;
  Kf8Tables kf8;
  std::string title;  // EXTH 503, else the full name; in the book's encoding
};

// Reads the database header and the record list. False when they do not fit in
// the file, the list is empty or its offsets go backwards; offsets past the end
// of the file are cut to it and noted.
bool ReadRecordTable(const uint8_t* file, uint32_t length, MobiRecords* records, uint32_t* firstCut) {
  if (length < kPdbHeaderBytes) return false;
  const uint32_t count = GetBe16(file + 76);
  if (count == 0 || kPdbHeaderBytes + uint64_t(count) * kRecordEntryBytes > length) return false;
  records->file = file;
  records->length = length;
  records->offsets.resize(count);
  *firstCut = kNone;
  uint32_t previous = 0;
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t offset = GetBe32(file + kPdbHeaderBytes + i * kRecordEntryBytes);
    if (offset < previous) return false;
    previous = offset;
    if (offset > length) {
      // The record before this one ran past the end: it is cut, the rest empty.
      if (*firstCut == kNone) *firstCut = i ? i - 1 : 0;
      offset = length;
    }
    records->offsets[i] = offset;
  }
  return true;
}

uint32_t Field32(const uint8_t* r, uint32_t end, uint32_t offset) {
  return offset + 4 <= end ? GetBe32(r + offset) : kNone;
}

// Reads the header record at base. False when it is too short for the PalmDOC
// header.
bool ReadBookHeader(const MobiRecords& records, uint32_t base, BookHeader* h) {
  uint32_t size = 0;
  const uint8_t* r = records.Record(base, &size);
  if (!r || size < 16) return false;
  h->base = base;
  h->compression = GetBe16(r);
  h->textLength = GetBe32(r + 4);
  h->textRecords = GetBe16(r + 8);
  h->encryption = GetBe16(r + 12);
  if (size < 24 || std::memcmp(r + 16, "MOBI", 4) != 0) return true;
  h->mobi = true;
  const uint32_t headerLength = GetBe32(r + 20);
  // Fields are read only inside both the record and the header's stated length.
  const uint32_t end = uint64_t(headerLength) + 16 < size ? headerLength + 16 : size;
  const uint32_t encoding = Field32(r, end, 28);
  if (encoding == kEncodingUtf8) h->encoding = kEncodingUtf8;
  const uint32_t version = Field32(r, end, 36);
  h->version = version == kNone ? 0 : version;
  h->huffRecord = Field32(r, end, 112);
  h->huffCount = Field32(r, end, 116);
  if (h->version >= 5 && headerLength >= 0xE4 && end >= 0xF4) h->extraFlags = GetBe16(r + 0xF2);
  if (h->version >= 8) {
    h->kf8.fdst = Field32(r, end, 0xC0);
    h->kf8.fragments = Field32(r, end, 0xF8);
    h->kf8.skeletons = Field32(r, end, 0xFC);
  }
  const uint32_t nameOffset = Field32(r, end, 84);
  const uint32_t nameLength = Field32(r, end, 88);
  if (MobiFieldFits(size, nameOffset, nameLength))
    h->title.assign(reinterpret_cast<const char*>(r + nameOffset), nameLength);

  const uint32_t exthFlags = Field32(r, end, 128);
  const uint64_t exth = uint64_t(headerLength) + 16;
  if (exthFlags == kNone || !(exthFlags & 0x40) || exth > size || !MobiFieldFits(size, uint32_t(exth), 12) ||
      std::memcmp(r + exth, "EXTH", 4) != 0)
    return true;
  const uint32_t count = GetBe32(r + exth + 8);
  uint32_t at = uint32_t(exth) + 12;
  for (uint32_t i = 0; i < count && MobiFieldFits(size, at, 8); ++i) {
    const uint32_t type = GetBe32(r + at);
    const uint32_t length = GetBe32(r + at + 4);  // the 8 bytes of type and length included
    if (length < 8 || !MobiFieldFits(size, at, length)) break;
    if (type == kExthTitle && length > 8) {
      h->title.assign(reinterpret_cast<const char*>(r + at + 8), length - 8);
    } else if (type == kExthKf8Boundary && length >= 12) {
      h->kf8Boundary = GetBe32(r + at + 8);
    }
    at += length;
  }
  return true;
}

// The bytes of trailing entries at the end of a text record (size bytes), by
// the extra-data flags: each of flags bits 1 to 15 adds an entry whose size
// (itself included) ends it as a backward variable-width integer; bit 0 adds
// the overlapping bytes of a character cut at the record's end, counted by the
// low two bits of the byte before the other entries. Never more than size.
uint32_t TrailingBytes(const uint8_t* data, uint32_t size, uint16_t flags) {
  uint32_t n = size;
  for (int bit = 1; bit < 16; ++bit) {
    if (!((flags >> bit) & 1)) continue;
    // Read backwards: 7 bits a byte, least significant first; the byte with
    // the high bit set is the entry's first.
    uint32_t value = 0;
    int shift = 0;
    for (uint32_t p = n; p > 0 && shift < 28;) {
      const uint8_t b = data[--p];
      value |= uint32_t(b & 0x7F) << shift;
      shift += 7;
      if (b & 0x80) break;
    }
    n = value < n ? n - value : 0;
  }
  if ((flags & 1) && n > 0) {
    const uint32_t overlap = (data[n - 1] & 3) + 1u;
    n = overlap < n ? n - overlap : 0;
  }
  return size - n;
}

// Decompresses the header's text records into raw. A record that is cut or
// fails to decode marks the book incomplete; the rest still shows. The markup
// stops before TEXT_MAX_BYTES.
int ReadText(const MobiRecords& records, uint32_t firstCut, const BookHeader& h, std::string* raw,
             bool* incomplete) {
  HuffCdicPtr huff;
  if (h.compression == kCompressionHuffCdic) {
    if (h.huffRecord == kNone || h.huffRecord >= records.count() - h.base ||
        !(huff = HuffCdicCreate(records, h.base + h.huffRecord, h.huffCount))) {
      GpTrace("MOBI: HUFF/CDIC tables unreadable\n");
      return MOBI_IMPORT_BROKEN;
    }
  } else if (h.compression != kCompressionNone && h.compression != kCompressionPalmDoc) {
    GpTrace("MOBI: unknown compression %d\n", h.compression);
    return MOBI_IMPORT_COMPRESSION;
  }
  std::vector<uint8_t> scratch(h.compression == kCompressionPalmDoc ? PALMDOC_SCRATCH_BYTES : 0);
  // The stated text length sizes the buffer once, as far as the records can
  // really hold it: a false length costs no more than the book itself.
  uint64_t hint = h.textLength < uint32_t(TEXT_MAX_BYTES) ? h.textLength : uint32_t(TEXT_MAX_BYTES);
  if (h.compression == kCompressionPalmDoc && hint > uint64_t(h.textRecords) * PALMDOC_RECORD_BYTES)
    hint = uint64_t(h.textRecords) * PALMDOC_RECORD_BYTES;
  if (h.compression == kCompressionNone && hint > records.length) hint = records.length;
  raw->reserve(size_t(hint) + 16);
  for (uint32_t i = 1; i <= h.textRecords; ++i) {
    const uint64_t index = uint64_t(h.base) + i;
    if (index >= records.count() || (firstCut != kNone && index >= firstCut)) {
      GpTrace("MOBI: text record %lu is missing or cut\n", static_cast<unsigned long>(i));
      *incomplete = true;
      if (index >= records.count()) break;
    }
    uint32_t size = 0;
    const uint8_t* data = records.Record(uint32_t(index), &size);
    size -= TrailingBytes(data, size, h.extraFlags);
    if (raw->size() + MOBI_RECORD_MAX_OUTPUT >= size_t(TEXT_MAX_BYTES)) {
      GpTrace("MOBI: text limit reached at record %lu\n", static_cast<unsigned long>(i));
      *incomplete = true;
      break;
    }
    if (h.compression == kCompressionNone) {
      // One stored record may be as long as the file.
      const size_t room = size_t(TEXT_MAX_BYTES) - 1 - raw->size();
      if (size > room) {
        GpTrace("MOBI: text limit reached at record %lu\n", static_cast<unsigned long>(i));
        raw->append(reinterpret_cast<const char*>(data), room);
        *incomplete = true;
        break;
      }
      raw->append(reinterpret_cast<const char*>(data), size);
    } else if (h.compression == kCompressionPalmDoc) {
      const int32_t n = DecompressPalmDoc(data, int32_t(size), scratch.data());
      raw->append(reinterpret_cast<const char*>(scratch.data()), size_t(n));
    } else if (!HuffCdicDecode(huff.get(), data, size, raw)) {
      GpTrace("MOBI: text record %lu does not decode\n", static_cast<unsigned long>(i));
      *incomplete = true;
    }
  }
  return MOBI_IMPORT_OK;
}

// Takes the NULs, which would end the text early, out of s: dropped, or made
// spaces where positions in the text must stay as they are (KF8).
void RemoveNuls(std::string* s, bool keepPositions) {
  if (std::memchr(s->data(), 0, s->size()) == nullptr) return;
  size_t w = 0;
  for (size_t r = 0; r < s->size(); ++r) {
    if ((*s)[r]) {
      (*s)[w++] = (*s)[r];
    } else if (keepPositions) {
      (*s)[w++] = ' ';
    }
  }
  s->resize(w);
}

bool IsTagStart(const char* p, const char* name) {
  for (; *name; ++p, ++name) {
    char c = *p;
    if (c >= 'A' && c <= 'Z') c = char(c + 32);
    if (c != *name) return false;
  }
  return true;
}

// Splits each part of the MOBI markup at its <mbp:pagebreak/> tags: the tag's
// first byte ends the part, and the rest of it becomes a <body> tag that starts
// the next one, so that the HTML importer reads each part as a page.
void SplitAtPageBreaks(std::string* work, std::vector<uint32_t>* starts) {
  std::vector<uint32_t> split;
  char* s = &(*work)[0];
  for (uint32_t start : *starts) {
    split.push_back(start);
    const size_t end = start + std::strlen(s + start);
    for (size_t i = start; i < end;) {
      const void* open = std::memchr(s + i, '<', end - i);
      if (!open) break;
      const size_t p = size_t(static_cast<const char*>(open) - s);
      if (end - p < 14 || !IsTagStart(s + p, "<mbp:pagebreak")) {
        i = p + 1;
        continue;
      }
      const void* close = std::memchr(s + p, '>', end - p);
      const size_t last = close ? size_t(static_cast<const char*>(close) - s) : end - 1;
      s[p] = 0;
      std::memcpy(s + p + 1, "<body", 5);
      std::memset(s + p + 6, ' ', last - p - 6);
      s[last] = '>';
      split.push_back(uint32_t(p + 1));
      i = last + 1;
    }
  }
  starts->swap(split);
}

bool Blank(const char* s, size_t n) {
  for (size_t i = 0; i < n; ++i)
    if (s[i] != ' ' && s[i] != '\r' && s[i] != '\n' && s[i] != '\t') return false;
  return true;
}

// Imports each NUL-terminated part of work (UTF-8 parts are converted first)
// as HTML and joins the results, a page break on a line of its own between
// parts that show something. Null when memory runs out.
char* ImportParts(std::string* work, const std::vector<uint32_t>& starts, bool utf8, size_t* length) {
  char* s = &(*work)[0];
  std::vector<uint32_t> parts = starts;
  if (utf8) {
    EncodingGuess guess;
    guess.encoding = ENCODING_UTF8;
    for (uint32_t start : parts) {
      const size_t n = std::strlen(s + start);
      ConvertToCp1252(s + start, int32_t(n), guess);
    }
  }
  SplitAtPageBreaks(work, &parts);
  static const char BREAK[] = {'\n', FORMAT_CODE, FMT_PAGE_BREAK, '\n'};
  size_t total = 1;
  for (uint32_t start : parts) total += std::strlen(s + start) + sizeof BREAK;
  char* out = static_cast<char*>(std::malloc(total));
  if (!out) return nullptr;
  size_t at = 0;
  bool shown = false;
  for (uint32_t start : parts) {
    char* part = s + start;
    const size_t n = std::strlen(part);
    MarkHtmlStructure(part, int32_t(n));
    ImportHtml(nullptr, part, int32_t(n));
    const size_t m = std::strlen(part);
    if (Blank(part, m)) continue;
    if (shown) {
      std::memcpy(out + at, BREAK, sizeof BREAK);
      at += sizeof BREAK;
    }
    std::memcpy(out + at, part, m);
    at += m;
    shown = true;
  }
  out[at] = 0;
  *length = at;
  // Markup takes room that the text gives back.
  if (at + 1 < total - total / 8) {
    if (char* fitted = static_cast<char*>(std::realloc(out, at + 1))) out = fitted;
  }
  return out;
}

// The title in code page 1252 for the title bar, which shows what follows the
// last "/" of a name: slashes and control bytes become look-alikes.
void CopyTitle(const BookHeader& h, char* title, size_t titleSize) {
  if (!title || titleSize == 0) return;
  std::vector<char> buffer(h.title.begin(), h.title.end());
  buffer.push_back(0);
  int32_t n = int32_t(std::strlen(buffer.data()));
  if (h.encoding == kEncodingUtf8) {
    EncodingGuess guess;
    guess.encoding = ENCODING_UTF8;
    n = ConvertToCp1252(buffer.data(), n, guess);
  }
  size_t w = 0;
  for (int32_t i = 0; i < n && w + 1 < titleSize; ++i) {
    char c = buffer[size_t(i)];
    if (c == '/') c = '-';
    if (uint8_t(c) < 0x20) c = ' ';
    title[w++] = c;
  }
  title[w] = 0;
}

// Converts the book in *file (length bytes), freeing it (and setting it to
// null) as soon as its records are no longer needed: the KF8 tables are read
// first, so that the file, the text and the assembled text are never all held
// at once.
int ImportBook(char** fileBuffer, uint32_t length, char** output, char* title, size_t titleSize,
               bool* incomplete) {
  const uint8_t* file = reinterpret_cast<const uint8_t*>(*fileBuffer);
  MobiRecords records;
  uint32_t firstCut = kNone;
  if (!ReadRecordTable(file, length, &records, &firstCut)) return MOBI_IMPORT_BROKEN;
  BookHeader h;
  if (!ReadBookHeader(records, 0, &h)) return MOBI_IMPORT_BROKEN;
  if (h.encryption != 0) return MOBI_IMPORT_PROTECTED;
  // A combined file: the KF8 header follows the boundary record.
  if (h.version < 8 && h.kf8Boundary != kNone) {
    BookHeader kf8;
    if (h.kf8Boundary < records.count() && ReadBookHeader(records, h.kf8Boundary, &kf8) && kf8.mobi &&
        kf8.version >= 8) {
      if (kf8.encryption != 0) return MOBI_IMPORT_PROTECTED;
      if (kf8.title.empty()) kf8.title = h.title;
      h = kf8;
    } else {
      GpTrace("MOBI: no KF8 header at record %lu\n", static_cast<unsigned long>(h.kf8Boundary));
    }
  }
  CopyTitle(h, title, titleSize);

  Kf8Layout layout;
  if (h.version >= 8 && !ReadKf8Layout(records, h.base, h.kf8, &layout)) return MOBI_IMPORT_NO_MEMORY;
  std::string raw;
  const int read = ReadText(records, firstCut, h, &raw, incomplete);
  if (read != MOBI_IMPORT_OK) return read;
  std::free(*fileBuffer);
  *fileBuffer = nullptr;
  RemoveNuls(&raw, h.version >= 8);
  if (raw.empty()) return MOBI_IMPORT_NO_TEXT;

  std::vector<uint32_t> starts;
  std::string work;
  if (h.version >= 8) {
    if (!AssembleKf8(layout, raw.data(), uint32_t(raw.size()), &work, &starts, incomplete))
      return MOBI_IMPORT_NO_MEMORY;
    std::string().swap(raw);
  } else {
    raw.push_back('\0');
    work.swap(raw);
    starts.push_back(0);
  }
  size_t n = 0;
  *output = ImportParts(&work, starts, h.encoding == kEncodingUtf8, &n);
  if (!*output) return MOBI_IMPORT_NO_MEMORY;
  if (n == 0) {
    std::free(*output);
    *output = nullptr;
    return MOBI_IMPORT_NO_TEXT;
  }
  return MOBI_IMPORT_OK;
}

}  // namespace

bool IsPalmDocBook(const char* buffer, int32_t size) {
  const uint8_t* file = reinterpret_cast<const uint8_t*>(buffer);
  const uint32_t length = size > 0 ? uint32_t(size) : 0;
  if (!file || length < kPdbHeaderBytes + kRecordEntryBytes) return false;
  if (std::memcmp(file + 60, "TEXtREAd", 8) != 0) return false;
  // Some Kindle books are stored as PalmDoc databases with a MOBI header.
  const uint32_t record0 = GetBe32(file + kPdbHeaderBytes);
  return !(record0 <= length && length - record0 >= 20 && std::memcmp(file + record0 + 16, "MOBI", 4) == 0);
}

bool IsKindleBook(const char* name, const char* buffer, int32_t size) {
  if (!name) return false;
  if (NameHasExtension(name, "mobi") || NameHasExtension(name, "prc") || NameHasExtension(name, "azw") ||
      NameHasExtension(name, "azw3"))
    return true;
  return NameHasExtension(name, "pdb") && buffer && size >= 68 && std::memcmp(buffer + 60, "BOOKMOBI", 8) == 0;
}

int ImportMobi(char** buffer, int32_t length, char* title, size_t titleSize, bool* incomplete) {
  if (title && titleSize) title[0] = 0;
  bool cut = false;
  if (!buffer) return MOBI_IMPORT_BROKEN;
  if (!*buffer || length <= 0) {
    std::free(*buffer);
    *buffer = nullptr;
    return MOBI_IMPORT_BROKEN;
  }
  if (IsPalmDocBook(*buffer, length)) {
    Text palmDoc;
    ImportPdb(&palmDoc, buffer, length);
    if (incomplete && palmDoc.incomplete) *incomplete = true;
    return *buffer ? MOBI_IMPORT_OK : MOBI_IMPORT_BROKEN;
  }
  char* output = nullptr;
  int result = MOBI_IMPORT_NO_MEMORY;
  try {
    result = ImportBook(buffer, uint32_t(length), &output, title, titleSize, &cut);
  } catch (const std::bad_alloc&) {
    std::free(output);
    output = nullptr;
    result = MOBI_IMPORT_NO_MEMORY;
  }
  std::free(*buffer);
  *buffer = result == MOBI_IMPORT_OK ? output : nullptr;
  if (result != MOBI_IMPORT_OK) std::free(output);
  if (cut && incomplete) *incomplete = true;
  return result;
}

const char* MobiImportMessage(int result) {
  switch (result) {
    case MOBI_IMPORT_OK:
      return nullptr;
    case MOBI_IMPORT_PROTECTED:
      return "This book is protected|Este libro est\xE1 protegido";
    case MOBI_IMPORT_COMPRESSION:
      return "This book uses an unknown compression|Este libro usa una compresi\xF3n desconocida";
    case MOBI_IMPORT_BROKEN:
      return "This book's record table is broken|La tabla de registros del libro est\xE1 rota";
    case MOBI_IMPORT_NO_TEXT:
      return "This book has no readable text|Este libro no tiene texto legible";
    default:
      return "Not enough memory for this book|No hay memoria para este libro";
  }
}
