// HUFF/CDIC decompression of Kindle book text records: a canonical Huffman
// code (the HUFF record's tables) whose symbols are phrases of the CDIC
// records' dictionary, a phrase being either literal bytes or itself
// compressed. Called by the Kindle book reader for compression 17480.
#include <cstring>
#include <new>

#include "importers/mobi_internal.h"
#include "platform/bytes.h"

namespace {

constexpr uint32_t kHuffHeaderBytes = 24;
constexpr uint32_t kCdicHeaderBytes = 16;
// Expanded phrases are kept; a dictionary that would keep more than this is refused.
constexpr size_t kCacheLimit = 16u * 1024u * 1024u;
// Real dictionaries nest phrases a few levels deep.
constexpr int kMaxDepth = 32;

struct Phrase {
  const uint8_t* data;
  uint32_t length;
  bool literal;    // the bytes stand as they are
  uint8_t state;   // for compressed phrases: 0 not expanded, 1 expanding, 2 expanded
  uint32_t cached;  // index into the cache once expanded
};

}  // namespace

class HuffCdic {
 public:
  // Per first byte of a code: its length (1 to 32), whether that length is
  // final, and the highest code of that length, left-aligned to 32 bits.
  uint8_t length1[256];
  bool final1[256];
  uint64_t max1[256];
  // Per code length: the lowest and highest codes, left-aligned to 32 bits.
  uint64_t minCode[33];
  uint64_t maxCode[33];
  std::vector<Phrase> phrases;
  std::vector<std::string> cache;
  size_t cacheBytes = 0;

  bool Decode(const uint8_t* data, uint32_t size, std::string* out, int depth);
};

void HuffCdicDeleter::operator()(HuffCdic* decoder) const { delete decoder; }

namespace {

// 32 bits of data starting at bit position bit, bits past the end read as 0.
uint32_t Peek32(const uint8_t* data, uint32_t size, uint64_t bit) {
  const uint64_t byte = bit >> 3;
  uint64_t window = 0;
  for (uint64_t i = 0; i < 5; ++i) {
    window <<= 8;
    if (byte + i < size) window |= data[byte + i];
  }
  return uint32_t(window >> (8 - (bit & 7)));
}

}  // namespace

bool HuffCdic::Decode(const uint8_t* data, uint32_t size, std::string* out, int depth) {
  if (depth > kMaxDepth) return false;
  const size_t limit = out->size() + MOBI_RECORD_MAX_OUTPUT;
  int64_t bitsLeft = int64_t(size) * 8;
  uint64_t bit = 0;
  for (;;) {
    const uint32_t code = Peek32(data, size, bit);
    const uint8_t top = uint8_t(code >> 24);
    uint32_t length = length1[top];
    uint64_t max = max1[top];
    if (!final1[top]) {
      while (length < 32 && code < minCode[length]) ++length;
      max = maxCode[length];
    }
    bit += length;
    bitsLeft -= length;
    // The last code is followed by padding shorter than a code.
    if (bitsLeft < 0) return true;
    if (max < code) return false;
    const uint64_t index = (max - code) >> (32 - length);
    if (index >= phrases.size()) return false;
    Phrase& p = phrases[size_t(index)];
    if (p.literal) {
      if (out->size() + p.length > limit) return false;
      out->append(reinterpret_cast<const char*>(p.data), p.length);
      continue;
    }
    if (p.state == 1) return false;  // a phrase that contains itself
    if (p.state == 0) {
      p.state = 1;
      std::string expanded;
      if (!Decode(p.data, p.length, &expanded, depth + 1)) return false;
      cacheBytes += expanded.size();
      if (cacheBytes > kCacheLimit) return false;
      p.cached = uint32_t(cache.size());
      cache.push_back(std::move(expanded));
      p.state = 2;
    }
    const std::string& text = cache[p.cached];
    if (out->size() + text.size() > limit) return false;
    out->append(text);
  }
}

HuffCdicPtr HuffCdicCreate(const MobiRecords& records, uint32_t first, uint32_t count) {
  if (count < 2 || first >= records.count() || count > records.count() - first) return nullptr;
  uint32_t size = 0;
  const uint8_t* huff = records.Record(first, &size);
  if (!huff || size < kHuffHeaderBytes || std::memcmp(huff, "HUFF", 4) != 0) return nullptr;
  const uint32_t table1 = GetBe32(huff + 8);
  const uint32_t table2 = GetBe32(huff + 12);
  if (!MobiFieldFits(size, table1, 256 * 4) || !MobiFieldFits(size, table2, 64 * 4)) return nullptr;
  try {
    HuffCdicPtr d(new HuffCdic);
    for (int i = 0; i < 256; ++i) {
      const uint32_t v = GetBe32(huff + table1 + 4 * i);
      const uint32_t length = v & 0x1F;
      if (length == 0) return nullptr;
      d->length1[i] = uint8_t(length);
      d->final1[i] = (v & 0x80) != 0;
      d->max1[i] = ((uint64_t(v >> 8) + 1) << (32 - length)) - 1;
    }
    d->minCode[0] = 0;
    d->maxCode[0] = 0xFFFFFFFFull;
    for (int length = 1; length <= 32; ++length) {
      const uint32_t low = GetBe32(huff + table2 + 8 * (length - 1));
      const uint32_t high = GetBe32(huff + table2 + 8 * (length - 1) + 4);
      d->minCode[length] = uint64_t(low) << (32 - length);
      d->maxCode[length] = ((uint64_t(high) + 1) << (32 - length)) - 1;
    }
    // Each CDIC record holds up to 2^bits phrases of the dictionary's total.
    for (uint32_t r = first + 1; r < first + count; ++r) {
      const uint8_t* cdic = records.Record(r, &size);
      if (!cdic || size < kCdicHeaderBytes || std::memcmp(cdic, "CDIC", 4) != 0) return nullptr;
      const uint32_t total = GetBe32(cdic + 8);
      const uint32_t bits = GetBe32(cdic + 12);
      if (bits > 16 || total < d->phrases.size()) return nullptr;
      uint32_t n = total - uint32_t(d->phrases.size());
      if (n > (1u << bits)) n = 1u << bits;
      if (!MobiFieldFits(size, kCdicHeaderBytes, 2 * n)) return nullptr;
      for (uint32_t i = 0; i < n; ++i) {
        const uint32_t at = kCdicHeaderBytes + GetBe16(cdic + kCdicHeaderBytes + 2 * i);
        if (!MobiFieldFits(size, at, 2)) return nullptr;
        const uint16_t word = GetBe16(cdic + at);
        const uint32_t length = word & 0x7FFF;
        if (!MobiFieldFits(size, at + 2, length)) return nullptr;
        d->phrases.push_back(Phrase{cdic + at + 2, length, (word & 0x8000) != 0, 0, 0});
      }
    }
    if (d->phrases.empty()) return nullptr;
    return d;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

bool HuffCdicDecode(HuffCdic* decoder, const uint8_t* data, uint32_t size, std::string* out) {
  if (!decoder) return false;
  try {
    return decoder->Decode(data, size, out, 0);
  } catch (const std::bad_alloc&) {
    return false;
  }
}
