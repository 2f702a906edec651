// A PDF file's structure: the cross-reference chain (tables, streams, hybrid
// files, incremental updates), the rebuild by scanning for "N G obj" when it
// is missing or wrong, objects parsed on first use (object streams included)
// and decrypted when the file is, stream decoding through the filter chain,
// and the page tree. Called by the fonts, the content interpreter and the
// importer's entry.
#include "pdf/document.h"

#include <cstdlib>
#include <cstring>
#include <unordered_set>
#include <utility>

#include "pdf/internal.h"
#include "platform/trace.h"

namespace {

// A /Prev chain longer than this is taken for a loop.
constexpr int kMaxSections = 1000;
// References naming references: a chain longer than this is a loop.
constexpr int kMaxRefChain = 32;
// The page tree is at most this deep, and a book at most this many pages.
constexpr int kMaxTreeDepth = 64;
constexpr size_t kMaxPages = 200000;

const PdfObject kNullObject;

const uint8_t* FindBytes(const uint8_t* from, const uint8_t* end, const char* pattern, size_t length) {
  while (from + length <= end) {
    from = static_cast<const uint8_t*>(std::memchr(from, pattern[0], size_t(end - from) - length + 1));
    if (!from) return nullptr;
    if (std::memcmp(from, pattern, length) == 0) return from;
    ++from;
  }
  return nullptr;
}

// The last "startxref" of the file and the offset after it; -1 when none.
long FindStartXref(const PdfDocument* doc) {
  const char kWord[] = "startxref";
  const size_t length = sizeof(kWord) - 1;
  if (doc->size < length) return -1;
  for (size_t at = doc->size - length + 1; at-- > 0;) {
    if (doc->data[at] == 's' && std::memcmp(doc->data + at, kWord, length) == 0) {
      PdfLexer lexer{doc->data, doc->size, at + length};
      PdfToken token;
      if (PdfNextToken(&lexer, &token) && token.type == TOKEN_NUMBER && token.integer && token.number >= 0 &&
          token.number < double(doc->size)) {
        return long(token.number);
      }
      return -1;
    }
    // Writers put it in the last kilobyte; a longer tail is searched all the
    // same, but not the whole of a large file.
    if (doc->size - at > (size_t(1) << 20)) break;
  }
  return -1;
}

void SetEntry(PdfDocument* doc, long number, const PdfXrefEntry& entry, bool override) {
  if (number < 0 || number >= PDF_MAX_OBJECTS) return;
  if (size_t(number) >= doc->xref.size()) doc->xref.resize(size_t(number) + 1);
  PdfXrefEntry& slot = doc->xref[size_t(number)];
  if (override || slot.type == 0) slot = entry;
}

// Copies the keys of a newer trailer's kind that an older one adds (the
// newest value of each key wins).
void MergeTrailer(PdfObject* trailer, const PdfObject& older) {
  if (trailer->type != PDF_DICT) {
    trailer->type = PDF_DICT;
  }
  for (size_t i = 0; i < older.keys.size(); ++i) {
    const std::string& key = older.keys[i];
    if (key == "Prev" || key == "XRefStm" || key == "Filter" || key == "DecodeParms" || key == "Length" ||
        key == "W" || key == "Index" || key == "Type")
      continue;
    if (trailer->Get(key.c_str())) continue;
    trailer->keys.push_back(key);
    trailer->items.push_back(older.items[i]);
  }
}

// Reads "N G obj" at the lexer; the object's number (and *generation), or -1.
long ReadObjectHeader(PdfLexer* lexer, int32_t* generation) {
  PdfToken a, b, c;
  if (!PdfNextToken(lexer, &a) || a.type != TOKEN_NUMBER || !a.integer || a.number < 0) return -1;
  if (!PdfNextToken(lexer, &b) || b.type != TOKEN_NUMBER || !b.integer) return -1;
  if (!PdfNextToken(lexer, &c) || !c.Is("obj")) return -1;
  *generation = b.number >= 0 && b.number <= 65535 ? int32_t(b.number) : 0;
  return a.number >= double(PDF_MAX_OBJECTS) ? -1 : long(a.number);
}

bool ParseObjectAt(PdfDocument* doc, size_t offset, long expected, PdfObject* object);
void SetUpEncryption(PdfDocument* doc);

// A classic cross-reference table at lexer (just past "xref"): subsections of
// "first count" and entries "offset generation n|f". Entries already set by a
// newer section are kept. Then "trailer" and its dictionary.
bool ReadXrefTable(PdfDocument* doc, PdfLexer* lexer, PdfObject* trailer) {
  PdfToken token;
  for (;;) {
    const size_t mark = lexer->pos;
    if (!PdfNextToken(lexer, &token)) return false;
    if (token.Is("trailer")) break;
    if (token.type != TOKEN_NUMBER) {
      lexer->pos = mark;
      return false;
    }
    const double firstNumber = token.number;
    if (!PdfNextToken(lexer, &token) || token.type != TOKEN_NUMBER) return false;
    const double countNumber = token.number;
    // Checked as doubles first: a huge number has no long to become.
    if (!(firstNumber >= 0 && countNumber >= 0 && firstNumber + countNumber <= double(PDF_MAX_OBJECTS))) return false;
    long first = long(firstNumber);
    const long count = long(countNumber);
    for (long i = 0; i < count; ++i) {
      PdfToken offset, generation, kind;
      if (!PdfNextToken(lexer, &offset) || !PdfNextToken(lexer, &generation) || !PdfNextToken(lexer, &kind))
        return false;
      if (offset.type != TOKEN_NUMBER || kind.type != TOKEN_KEYWORD) return false;
      long number = first + i;
      // A table whose first subsection starts at 1 while counting object 0
      // is a common slip: entry 0 is free, so take the numbers from 0.
      if (i == 0 && first == 1 && kind.Is("f") && offset.number == 0 && generation.number == 65535) {
        first = 0;
        number = 0;
      }
      PdfXrefEntry entry;
      if (kind.Is("n") && offset.number > 0 && offset.number < double(doc->size)) {
        entry.type = 1;
        entry.offset = uint32_t(offset.number);
      }
      // A free entry still shadows older definitions of the number.
      if (number < PDF_MAX_OBJECTS && (size_t(number) >= doc->xref.size() || doc->xref[size_t(number)].type == 0)) {
        SetEntry(doc, number, entry, true);
        if (entry.type == 0) doc->xref[size_t(number)].type = 3;  // free: keep older ones out
      }
    }
  }
  PdfObject dict;
  if (!PdfParseObject(lexer, &dict) || dict.type != PDF_DICT) return false;
  *trailer = std::move(dict);
  return true;
}

uint32_t ReadField(const uint8_t* p, int width) {
  uint32_t v = 0;
  for (int i = 0; i < width; ++i) v = v << 8 | p[i];
  return v;
}

// A cross-reference stream: /W field widths, /Index ranges, decoded rows.
bool ReadXrefStream(PdfDocument* doc, const PdfObject& stream) {
  const PdfObject* w = stream.Get("W");
  if (!w || w->type != PDF_ARRAY || w->items.size() < 3) return false;
  int widths[3];
  for (int i = 0; i < 3; ++i) {
    widths[i] = w->items[size_t(i)].Int();
    if (widths[i] < 0 || widths[i] > 4) return false;
  }
  const int row = widths[0] + widths[1] + widths[2];
  if (row == 0) return false;
  PdfBytes data;
  if (!PdfDecodeStream(doc, &stream, &data)) return false;
  std::vector<std::pair<long, long>> ranges;
  const PdfObject* index = stream.Get("Index");
  if (index && index->type == PDF_ARRAY) {
    for (size_t i = 0; i + 1 < index->items.size(); i += 2) {
      ranges.emplace_back(index->items[i].Int(), index->items[i + 1].Int());
    }
  } else {
    const PdfObject* size = stream.Get("Size");
    ranges.emplace_back(0, size ? size->Int() : 0);
  }
  size_t at = 0;
  for (const auto& range : ranges) {
    if (range.first < 0 || range.second < 0 || range.first >= PDF_MAX_OBJECTS ||
        range.second > PDF_MAX_OBJECTS - range.first)
      break;
    for (long i = 0; i < range.second && at + size_t(row) <= data.length; ++i, at += size_t(row)) {
      const uint8_t* p = data.data + at;
      // A missing type field means type 1.
      const uint32_t type = widths[0] ? ReadField(p, widths[0]) : 1;
      const uint32_t a = ReadField(p + widths[0], widths[1]);
      const uint32_t b = ReadField(p + widths[0] + widths[1], widths[2]);
      const long number = range.first + i;
      if (number < long(doc->xref.size()) && doc->xref[size_t(number)].type != 0) continue;
      PdfXrefEntry entry;
      if (type == 1 && a < doc->size) {
        entry.type = 1;
        entry.offset = a;
      } else if (type == 2) {
        entry.type = 2;
        entry.offset = a;
        entry.index = b;
      } else {
        entry.type = 3;  // free
      }
      SetEntry(doc, number, entry, true);
    }
  }
  return true;
}

// Follows the chain of cross-reference sections from offset, newest first.
bool ReadXrefChain(PdfDocument* doc, long offset) {
  std::vector<long> seen;
  bool any = false;
  while (offset >= 0 && size_t(offset) < doc->size && int(seen.size()) < kMaxSections) {
    for (long s : seen) {
      if (s == offset) return any;  // a /Prev loop
    }
    seen.push_back(offset);
    PdfLexer lexer{doc->data, doc->size, size_t(offset)};
    PdfToken token;
    PdfObject trailer;
    if (PdfNextToken(&lexer, &token) && token.Is("xref")) {
      if (!ReadXrefTable(doc, &lexer, &trailer)) return any;
      // A hybrid file's stream holds the objects that the table leaves out.
      const PdfObject* stm = trailer.Get("XRefStm");
      if (stm && stm->IsNumber()) {
        PdfObject stream;
        if (ParseObjectAt(doc, size_t(stm->Int() < 0 ? 0 : stm->Int()), -1, &stream) && stream.type == PDF_STREAM)
          ReadXrefStream(doc, stream);
      }
    } else {
      if (!ParseObjectAt(doc, size_t(offset), -1, &trailer) || trailer.type != PDF_STREAM) return any;
      const PdfObject* type = trailer.Get("Type");
      if (!type || !type->IsName("XRef") || !ReadXrefStream(doc, trailer)) return any;
    }
    any = true;
    MergeTrailer(&doc->trailer, trailer);
    const PdfObject* prev = trailer.Get("Prev");
    offset = prev && prev->IsNumber() ? long(prev->Int()) : -1;
  }
  return any;
}

// The scan that rebuilds a missing or wrong cross-reference: every "N G obj"
// in the file, the later of two definitions winning as an update would, and
// the trailers (classic ones and cross-reference streams) merged newest first.
void RebuildXref(PdfDocument* doc) {
  GpTrace("PDF: rebuilding the cross-reference\n");
  doc->repaired = true;
  // Objects parsed so far stay: callers hold pointers to them, and they were
  // found where they should be.
  doc->xref.clear();
  std::vector<PdfObject> trailers;
  std::vector<long> objectStreams;
  const uint8_t* data = doc->data;
  const uint8_t* end = data + doc->size;
  for (const uint8_t* at = data; (at = FindBytes(at, end, "obj", 3)) != nullptr; at += 3) {
    const size_t pos = size_t(at - data);
    // "obj" ends a word and follows "N G ".
    if (at + 3 < end && !PdfIsWhite(at[3]) && !PdfIsDelimiter(at[3])) continue;
    size_t p = pos;
    while (p > 0 && PdfIsWhite(data[p - 1])) --p;
    size_t g = p;
    while (g > 0 && data[g - 1] >= '0' && data[g - 1] <= '9') --g;
    if (g == p || g == 0 || !PdfIsWhite(data[g - 1])) continue;
    size_t q = g;
    while (q > 0 && PdfIsWhite(data[q - 1])) --q;
    size_t n = q;
    while (n > 0 && data[n - 1] >= '0' && data[n - 1] <= '9') --n;
    if (n == q || q - n > 7) continue;
    long number = std::strtol(std::string(reinterpret_cast<const char*>(data + n), q - n).c_str(), nullptr, 10);
    if (number <= 0 || number >= PDF_MAX_OBJECTS) continue;
    PdfXrefEntry entry;
    entry.type = 1;
    entry.offset = uint32_t(n);
    SetEntry(doc, number, entry, true);
  }
  for (const uint8_t* at = data; (at = FindBytes(at, end, "trailer", 7)) != nullptr; at += 7) {
    PdfLexer lexer{data, doc->size, size_t(at - data) + 7};
    PdfObject dict;
    if (PdfParseObject(&lexer, &dict) && dict.type == PDF_DICT) trailers.push_back(std::move(dict));
  }
  // Cross-reference streams carry the trailer keys, and object streams hold
  // objects that no "obj" keyword shows.
  for (size_t number = 0; number < doc->xref.size(); ++number) {
    if (doc->xref[number].type != 1) continue;
    PdfObject object;
    if (!ParseObjectAt(doc, doc->xref[number].offset, long(number), &object) || object.type != PDF_STREAM) continue;
    const PdfObject* type = object.Get("Type");
    if (type && type->IsName("XRef")) {
      trailers.push_back(std::move(object));
    } else if (type && type->IsName("ObjStm")) {
      objectStreams.push_back(long(number));
    }
  }
  // A trailer that names the catalog is kept (the table around it was wrong,
  // not the trailer); otherwise the scanned ones are merged, newest first.
  if (!doc->trailer.Get("Root")) {
    doc->trailer = PdfObject();
    doc->trailer.type = PDF_DICT;
    for (size_t i = trailers.size(); i-- > 0;) MergeTrailer(&doc->trailer, trailers[i]);
  }
  // Object streams are encrypted like any stream: the handler comes first.
  SetUpEncryption(doc);
  for (long stream : objectStreams) {
    PdfObject object;
    if (!ParseObjectAt(doc, doc->xref[size_t(stream)].offset, stream, &object)) continue;
    PdfBytes decoded;
    const PdfObject* count = object.Get("N");
    if (!count || !PdfDecodeStream(doc, &object, &decoded)) continue;
    PdfLexer lexer{decoded.data, decoded.length, 0};
    for (int32_t i = 0; i < count->Int() && i < PDF_MAX_OBJECTS; ++i) {
      PdfToken a, b;
      if (!PdfNextToken(&lexer, &a) || !PdfNextToken(&lexer, &b) || a.type != TOKEN_NUMBER) break;
      if (!(a.number >= 0 && a.number < double(PDF_MAX_OBJECTS))) continue;
      PdfXrefEntry entry;
      entry.type = 2;
      entry.offset = uint32_t(stream);
      entry.index = uint32_t(i);
      // Objects written directly in the file stay as they are.
      SetEntry(doc, long(a.number), entry, false);
    }
  }
  if (!doc->trailer.Get("Root")) {
    // No trailer names the catalog: look for it among the objects.
    for (size_t number = 0; number < doc->xref.size(); ++number) {
      if (doc->xref[number].type == 0) continue;
      const PdfObject* object = PdfGetObject(doc, int32_t(number));
      const PdfObject* type = object->Get("Type");
      if (type && type->IsName("Catalog")) {
        PdfObject ref;
        ref.type = PDF_REF;
        ref.refNumber = int32_t(number);
        doc->trailer.keys.push_back("Root");
        doc->trailer.items.push_back(ref);
        break;
      }
    }
  }
}

// The end of a stream's data that starts at start: /Length when it is right
// (followed by "endstream"), else the byte before the next "endstream" with
// the end of line before it dropped.
size_t StreamLength(PdfDocument* doc, const PdfObject& dict, size_t start) {
  const PdfObject* length = dict.Get("Length");
  if (length && length->type == PDF_REF) length = PdfResolve(doc, length);
  if (length && length->IsNumber() && length->number >= 0 && length->number <= double(doc->size - start)) {
    size_t end = start + size_t(length->number);
    size_t p = end;
    while (p < doc->size && PdfIsWhite(doc->data[p])) ++p;
    if (doc->size - p >= 9 && std::memcmp(doc->data + p, "endstream", 9) == 0) return size_t(length->number);
  }
  const uint8_t* found = FindBytes(doc->data + start, doc->data + doc->size, "endstream", 9);
  size_t end = found ? size_t(found - doc->data) : doc->size;
  if (end > start && doc->data[end - 1] == '\n') --end;
  if (end > start && doc->data[end - 1] == '\r') --end;
  return end - start;
}

// Parses the indirect object at offset ("N G obj ..."), with its stream data
// when it has any; expected, when not -1, is the number it must carry.
bool ParseObjectAt(PdfDocument* doc, size_t offset, long expected, PdfObject* object) {
  if (offset >= doc->size) return false;
  PdfLexer lexer{doc->data, doc->size, offset};
  int32_t generation = 0;
  const long number = ReadObjectHeader(&lexer, &generation);
  if (number < 0 || (expected >= 0 && number != expected)) return false;
  if (!PdfParseObject(&lexer, object)) {
    // "N G obj endobj" and the like: an empty object.
    *object = PdfObject();
    return true;
  }
  if (doc->crypt && long(doc->crypt->dictionaryNumber) != number) {
    // Cross-reference streams are stored in the clear, /ID strings and all.
    const PdfObject* type = object->Get("Type");
    if (!type || !type->IsName("XRef")) PdfCryptStrings(*doc->crypt, int32_t(number), generation, object);
  }
  if (object->type != PDF_DICT) return true;
  const size_t mark = lexer.pos;
  PdfToken token;
  if (!PdfNextToken(&lexer, &token) || !token.Is("stream")) {
    lexer.pos = mark;
    return true;
  }
  size_t start = lexer.pos;
  if (start < doc->size && doc->data[start] == '\r') ++start;
  if (start < doc->size && doc->data[start] == '\n') ++start;
  object->type = PDF_STREAM;
  object->streamOffset = start;
  object->streamLength = StreamLength(doc, *object, start);
  if (doc->crypt) doc->crypt->streamIds[start] = PdfCryptId{int32_t(number), generation};
  return true;
}

// Reads the trailer's /Encrypt, once, into doc->encryption and, when the empty
// user password opens the file, doc->crypt. Objects parsed before (the
// encryption dictionary itself, a /Length) leave the cache, as they were read
// without decryption: called only while the document is opened, when nobody
// holds them yet.
void SetUpEncryption(PdfDocument* doc) {
  const PdfObject* entry = doc->trailer.Get("Encrypt");
  if (!entry || doc->encryption != PDF_ENCRYPTION_NONE) return;
  // Also what a rebuild started by the lookups below finds: no second setup.
  doc->encryption = PDF_ENCRYPTION_UNSUPPORTED;
  const int32_t dictionaryNumber = entry->type == PDF_REF ? entry->refNumber : -1;
  const bool repaired = doc->repaired;
  PdfObject encrypt = *PdfResolve(doc, entry);
  for (PdfObject& item : encrypt.items) {
    if (item.type == PDF_REF) item = PdfObject(*PdfResolve(doc, &item));
  }
  const PdfObject* ids = PdfGet(doc, &doc->trailer, "ID");
  PdfObject id;
  if (ids && ids->type == PDF_ARRAY && !ids->items.empty()) id = *PdfResolve(doc, &ids->items[0]);
  auto crypt = std::make_unique<PdfCrypt>();
  doc->encryption = PdfCryptOpen(crypt.get(), encrypt, &id);
  if (doc->encryption == PDF_ENCRYPTION_OPEN) {
    crypt->dictionaryNumber = dictionaryNumber;
    doc->crypt = std::move(crypt);
  }
  doc->objects.clear();
  doc->loading.clear();
  // The dictionary's lookup rebuilt the cross-reference, reading the object
  // streams without their key: again, with it.
  if (doc->crypt && !repaired && doc->repaired) RebuildXref(doc);
}

// A stream's filters in order, each with its parameters (or null).
using FilterChain = std::vector<std::pair<const PdfObject*, const PdfObject*>>;

// Decrypts the first length bytes of a stream's data into *out, which stays
// empty when they are stored as they are: a cross-reference stream, metadata
// that the file keeps in the clear, the Identity crypt filter. The stream's
// own Crypt filter (the first of chain, by the format) names its method over
// the file's default. False when that filter is unknown, the stream was not
// parsed as an object of the file, or memory ran out.
bool DecryptStream(PdfDocument* doc, const PdfObject* stream, const FilterChain& chain, size_t length,
                   PdfBytes* out) {
  const PdfCrypt& crypt = *doc->crypt;
  const PdfObject* type = PdfGet(doc, stream, "Type");
  if (type && (type->IsName("XRef") || (type->IsName("Metadata") && !crypt.encryptMetadata))) return true;
  PdfCryptMethod method = crypt.streams;
  if (!chain.empty() && chain[0].first->IsName("Crypt")) {
    const PdfObject* parms = chain[0].second;
    const PdfObject* name = parms && parms->IsDict() ? PdfGet(doc, parms, "Name") : nullptr;
    if (!PdfCryptFindFilter(crypt, name && name->type == PDF_NAME ? name->text : "Identity", &method)) {
      GpTrace("PDF: unknown crypt filter\n");
      return false;
    }
  }
  if (method == PDF_CRYPT_IDENTITY) return true;
  const auto id = crypt.streamIds.find(stream->streamOffset);
  if (id == crypt.streamIds.end()) return false;
  uint8_t* data = nullptr;
  size_t decryptedLength = 0;
  if (PdfCryptStream(crypt, method, id->second.number, id->second.generation, doc->data + stream->streamOffset,
                     length, &data, &decryptedLength) < 0) {
    doc->memoryFailed = true;
    return false;
  }
  out->data = data;
  out->length = decryptedLength;
  return true;
}

// Parses every object of object stream `stream` that the cross-reference
// places there into the object cache.
void LoadObjectStream(PdfDocument* doc, int32_t stream) {
  const PdfObject* holder = PdfGetObject(doc, stream);
  if (holder->type != PDF_STREAM) return;
  const PdfObject* count = holder->Get("N");
  const PdfObject* first = holder->Get("First");
  if (!count || !first || count->Int() <= 0 || first->Int() < 0) return;
  PdfBytes decoded;
  if (!PdfDecodeStream(doc, holder, &decoded)) return;
  PdfLexer header{decoded.data, decoded.length, 0};
  const int32_t n = count->Int() < PDF_MAX_OBJECTS ? count->Int() : PDF_MAX_OBJECTS;
  for (int32_t i = 0; i < n; ++i) {
    PdfToken a, b;
    if (!PdfNextToken(&header, &a) || !PdfNextToken(&header, &b)) break;
    if (a.type != TOKEN_NUMBER || b.type != TOKEN_NUMBER || a.number < 0 || a.number >= double(doc->xref.size()))
      continue;
    const size_t number = size_t(a.number);
    const PdfXrefEntry& entry = doc->xref[number];
    if (entry.type != 2 || entry.offset != uint32_t(stream) || doc->objects[number]) continue;
    const double at = double(first->Int()) + b.number;
    if (b.number < 0 || at >= double(decoded.length)) continue;
    PdfLexer lexer{decoded.data, decoded.length, size_t(at)};
    auto object = std::make_unique<PdfObject>();
    if (!PdfParseObject(&lexer, object.get())) *object = PdfObject();
    doc->objects[number] = std::move(object);
  }
}

}  // namespace

PdfBytes& PdfBytes::operator=(PdfBytes&& other) noexcept {
  if (this != &other) {
    std::free(data);
    data = other.data;
    length = other.length;
    other.data = nullptr;
    other.length = 0;
  }
  return *this;
}

PdfBytes::~PdfBytes() { std::free(data); }

const PdfObject* PdfGetObject(PdfDocument* doc, int32_t number) {
  if (number < 0 || size_t(number) >= doc->xref.size()) return &kNullObject;
  if (doc->objects.size() < doc->xref.size()) {
    doc->objects.resize(doc->xref.size());
    doc->loading.resize(doc->xref.size());
  }
  const size_t n = size_t(number);
  if (doc->objects[n]) return doc->objects[n].get();
  if (doc->loading[n]) return &kNullObject;  // it refers to itself on the way
  const PdfXrefEntry entry = doc->xref[n];
  doc->loading[n] = 1;
  if (entry.type == 1) {
    auto object = std::make_unique<PdfObject>();
    if (!ParseObjectAt(doc, entry.offset, number, object.get())) {
      if (n < doc->loading.size()) doc->loading[n] = 0;
      if (!doc->repaired) {
        // An offset that does not lead to its object: the table is wrong, so
        // the whole of it is rebuilt from the file and the object looked up again.
        RebuildXref(doc);
        return PdfGetObject(doc, number);
      }
      return &kNullObject;
    }
    // Parsing it may have set up decryption, which empties the cache.
    if (doc->objects.size() <= n) {
      doc->objects.resize(doc->xref.size() > n ? doc->xref.size() : n + 1);
      doc->loading.resize(doc->objects.size());
    }
    doc->objects[n] = std::move(object);
  } else if (entry.type == 2 && entry.offset != uint32_t(number) && entry.offset < doc->xref.size()) {
    LoadObjectStream(doc, int32_t(entry.offset));
    if (doc->objects.size() <= n) return &kNullObject;  // rebuilt meanwhile
  }
  if (n < doc->loading.size()) doc->loading[n] = 0;
  return doc->objects[n] ? doc->objects[n].get() : &kNullObject;
}

const PdfObject* PdfResolve(PdfDocument* doc, const PdfObject* object) {
  if (!object) return &kNullObject;
  for (int i = 0; object->type == PDF_REF && i < kMaxRefChain; ++i) {
    object = PdfGetObject(doc, object->refNumber);
  }
  return object->type == PDF_REF ? &kNullObject : object;
}

const PdfObject* PdfGet(PdfDocument* doc, const PdfObject* dictionary, const char* key) {
  if (!dictionary) return nullptr;
  dictionary = PdfResolve(doc, dictionary);
  const PdfObject* value = dictionary->Get(key);
  if (!value) return nullptr;
  value = PdfResolve(doc, value);
  return value->type == PDF_NULL ? nullptr : value;
}

bool PdfOpenDocument(PdfDocument* doc, const uint8_t* data, size_t size) {
  *doc = PdfDocument();
  doc->data = data;
  doc->size = size;
  doc->trailer.type = PDF_DICT;
  const long start = FindStartXref(doc);
  bool read = start >= 0 && ReadXrefChain(doc, start);
  // Before the catalog is looked up, so that every object kept is decrypted.
  if (read) SetUpEncryption(doc);
  if (!read || !PdfGet(doc, &doc->trailer, "Root")) {
    RebuildXref(doc);
  } else {
    // The catalog must be where the table says; if not, the table is wrong
    // and PdfGetObject has rebuilt it.
    const PdfObject* root = PdfGet(doc, &doc->trailer, "Root");
    if (!root && !doc->repaired) RebuildXref(doc);
  }
  const PdfObject* root = PdfGet(doc, &doc->trailer, "Root");
  if (!root || !root->IsDict()) {
    *doc = PdfDocument();
    return false;
  }
  return true;
}

bool PdfDecodeStream(PdfDocument* doc, const PdfObject* stream, PdfBytes* out) {
  *out = PdfBytes();
  if (doc->decoded >= PDF_MAX_DECODED_BYTES) {
    if (!doc->budgetSpent) GpTrace("PDF: decoding limit reached, later streams are skipped\n");
    doc->budgetSpent = true;
    return false;
  }
  stream = PdfResolve(doc, stream);
  if (stream->type != PDF_STREAM || stream->streamOffset > doc->size ||
      stream->streamLength > doc->size - stream->streamOffset)
    return false;
  const PdfObject* filter = PdfGet(doc, stream, "Filter");
  const PdfObject* parms = PdfGet(doc, stream, "DecodeParms");
  if (!parms) parms = PdfGet(doc, stream, "DP");
  FilterChain chain;
  if (filter && filter->type == PDF_NAME) {
    chain.emplace_back(filter, parms && parms->type == PDF_ARRAY && !parms->items.empty()
                                   ? PdfResolve(doc, &parms->items[0])
                                   : parms);
  } else if (filter && filter->type == PDF_ARRAY) {
    for (size_t i = 0; i < filter->items.size() && i < 16; ++i) {
      const PdfObject* p = parms && parms->type == PDF_ARRAY && i < parms->items.size()
                               ? PdfResolve(doc, &parms->items[i])
                               : (parms && parms->IsDict() && i == 0 ? parms : nullptr);
      chain.emplace_back(PdfResolve(doc, &filter->items[i]), p);
    }
  }
  const uint8_t* input = doc->data + stream->streamOffset;
  int32_t length = stream->streamLength > size_t(INT32_MAX) ? INT32_MAX : int32_t(stream->streamLength);
  PdfBytes decrypted;
  if (doc->crypt && !DecryptStream(doc, stream, chain, size_t(length), &decrypted)) return false;
  if (decrypted.data) {
    input = decrypted.data;
    length = int32_t(decrypted.length);
  }
  PdfBytes current;
  for (const auto& step : chain) {
    const PdfObject* name = step.first;
    const PdfObject* p = step.second && step.second->IsDict() ? step.second : nullptr;
    if (name->type != PDF_NAME) return false;
    const std::string& f = name->text;
    uint8_t* output = nullptr;
    int32_t outputLength = 0;
    int result;
    if (length <= 0) {
      result = 1;  // an empty stream stays empty whatever its filters
      output = static_cast<uint8_t*>(std::calloc(1, 1));
      if (!output) result = -1;
    } else if (f == "FlateDecode" || f == "Fl") {
      result = FlateDecodeBufferPartial(input, length, &output, &outputLength);
    } else if (f == "LZWDecode" || f == "LZW") {
      const PdfObject* early = p ? PdfGet(doc, p, "EarlyChange") : nullptr;
      result = LzwDecodeBuffer(input, length, early ? early->Int() : 1, &output, &outputLength);
    } else if (f == "ASCIIHexDecode" || f == "AHx") {
      result = AsciiHexDecodeBuffer(input, length, &output, &outputLength);
    } else if (f == "ASCII85Decode" || f == "A85") {
      result = Ascii85DecodeBuffer(input, length, &output, &outputLength);
    } else if (f == "RunLengthDecode" || f == "RL") {
      result = RunLengthDecodeBuffer(input, length, &output, &outputLength);
    } else if (f == "Crypt") {
      continue;  // undone by the decryption before the chain
    } else {
      return false;  // image filters and unknown ones
    }
    if (result == 1 && p && (f == "FlateDecode" || f == "Fl" || f == "LZWDecode" || f == "LZW")) {
      const PdfObject* predictor = PdfGet(doc, p, "Predictor");
      if (predictor && predictor->Int() > 1) {
        PdfPredictor settings;
        settings.predictor = predictor->Int();
        const PdfObject* v;
        if ((v = PdfGet(doc, p, "Colors")) != nullptr) settings.colors = v->Int();
        if ((v = PdfGet(doc, p, "BitsPerComponent")) != nullptr) settings.bitsPerComponent = v->Int();
        if ((v = PdfGet(doc, p, "Columns")) != nullptr) settings.columns = v->Int();
        uint8_t* predicted = nullptr;
        int32_t predictedLength = 0;
        result = PredictorDecodeBuffer(output, outputLength, settings, &predicted, &predictedLength);
        std::free(output);
        output = predicted;
        outputLength = predictedLength;
      }
    }
    if (result != 1) {
      std::free(output);
      if (result < 0) doc->memoryFailed = true;
      return false;
    }
    current = PdfBytes();
    current.data = output;
    current.length = size_t(outputLength);
    input = current.data;
    length = outputLength;
    decrypted = PdfBytes();  // read by the first filter only
  }
  if (!current.data && decrypted.data) {
    current = std::move(decrypted);  // no filter: the decrypted data as it is
  } else if (!current.data) {
    // No filter: a copy of the raw data, with a spare zero byte as the
    // filters leave.
    current.data = static_cast<uint8_t*>(std::malloc(size_t(length > 0 ? length : 0) + 1));
    if (!current.data) {
      doc->memoryFailed = true;
      return false;
    }
    if (length > 0) std::memcpy(current.data, input, size_t(length));
    current.data[length > 0 ? length : 0] = 0;
    current.length = size_t(length > 0 ? length : 0);
  }
  doc->decoded += current.length;
  *out = std::move(current);
  return true;
}

bool PdfCollectPages(PdfDocument* doc, std::vector<PdfPage>* pages) {
  pages->clear();
  const PdfObject* root = PdfGet(doc, &doc->trailer, "Root");
  const PdfObject* tree = root ? PdfGet(doc, root, "Pages") : nullptr;
  if (!tree || !tree->IsDict()) return false;
  struct Node {
    const PdfObject* node;
    const PdfObject* resources;
    int rotate;
    int depth;
  };
  std::unordered_set<const PdfObject*> seen;
  std::vector<Node> stack;
  stack.push_back({tree, nullptr, 0, 0});
  while (!stack.empty() && pages->size() < kMaxPages) {
    Node top = stack.back();
    stack.pop_back();
    // A node reached twice (a loop or a shared kid) ends that branch.
    if (!seen.insert(top.node).second) continue;
    const PdfObject* resources = PdfGet(doc, top.node, "Resources");
    if (resources && resources->IsDict()) top.resources = resources;
    const PdfObject* rotate = PdfGet(doc, top.node, "Rotate");
    if (rotate && rotate->IsNumber()) top.rotate = ((rotate->Int() % 360) + 360) % 360 / 90 * 90;
    const PdfObject* kids = PdfGet(doc, top.node, "Kids");
    const PdfObject* type = PdfGet(doc, top.node, "Type");
    if (kids && kids->type == PDF_ARRAY && !(type && type->IsName("Page"))) {
      if (top.depth >= kMaxTreeDepth) continue;
      // Kids pushed in reverse so that the first is taken first.
      for (size_t i = kids->items.size(); i-- > 0;) {
        const PdfObject* kid = PdfResolve(doc, &kids->items[i]);
        if (kid->IsDict()) stack.push_back({kid, top.resources, top.rotate, top.depth + 1});
      }
    } else {
      pages->push_back({top.node, top.resources, top.rotate});
    }
  }
  return true;
}
