// PalmDoc import: checks a Palm database of type "TEXt" and creator "REAd",
// joins its text records in order, undoes the PalmDoc compression and expands
// line feeds to CR LF. Called by the document loader for PDB files.
#include "importers/pdb.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "document/encoding.h"
#include "document/text.h"
#include "platform/bytes.h"
#include "platform/trace.h"

namespace {

constexpr int32_t kHeaderBytes = 78;     // fixed database header before the record list
constexpr int32_t kRecordEntryBytes = 8;  // data offset, attributes, unique ID
constexpr int32_t kRecordBufferBytes = 6000;
constexpr int32_t kRecordBufferSlack = 16;  // room for the word moves of back references
static_assert(kRecordBufferBytes + kRecordBufferSlack == PALMDOC_SCRATCH_BYTES, "shared scratch size");
constexpr int64_t kOutputStep = 131072;
constexpr int64_t kOutputSlack = 128;

// A record's bytes: a view of the file for an uncompressed book, the
// decompression buffer otherwise.
struct RecordBuffer {
  const uint8_t* data;
  int32_t length;
  uint8_t* scratch;  // kRecordBufferBytes + kRecordBufferSlack bytes, owned by the conversion
};

struct OutputBuffer {
  uint8_t* data;
  int64_t length;
  int64_t size;
};

// Undoes the PalmDoc compression of the record's bytes into the record buffer's
// scratch. Each record decodes on its own. A broken record (a back reference
// before its start or of distance 0, a code cut off by the end of the record,
// or more output than the record buffer holds) keeps what decoded before the
// fault.
void DecompressRecord(RecordBuffer* record) {
  const uint8_t* in = record->data;
  const int32_t n = record->length;
  uint8_t* out = record->scratch;
  const int32_t cap = kRecordBufferBytes;
  int32_t i = 0;
  int32_t o = 0;
  // Far from both ends no code can run out of input (at most 9 bytes) or of room
  // (at most 10 bytes), so this loop checks neither; the loop after it does.
  while (i + 9 <= n && o + 10 <= cap) {
    const uint8_t c = in[i++];
    if (c < 0x80) {
      if (uint8_t(c - 1) >= 8) {
        out[o++] = c;
        continue;
      }
      uint64_t word;
      memcpy(&word, in + i, 8);
      memcpy(out + o, &word, 8);
      o += c;
      i += c;
    } else if (c < 0xC0) {
      const uint8_t d = in[i++];
      const int32_t distance = ((c << 8) | d) >> 3 & 0x7FF;
      const int32_t count = (d & 7) + 3;
      if (distance == 0 || distance > o) {
        i = n;  // broken: the record ends here
        break;
      }
      const uint8_t* from = out + o - distance;
      if (distance >= 8) {
        uint64_t word;
        memcpy(&word, from, 8);
        memcpy(out + o, &word, 8);
        memcpy(&word, from + 8, 8);
        memcpy(out + o + 8, &word, 8);
        o += count;
      } else {
        for (const int32_t end = o + count; o < end; ++o) out[o] = out[o - distance];
      }
    } else {
      out[o++] = ' ';
      out[o++] = uint8_t(c ^ 0x80);
    }
  }
  while (i < n && o < cap) {
    const uint8_t c = in[i++];
    if (c < 0x80) {
      if (uint8_t(c - 1) >= 8) {
        out[o++] = c;
        continue;
      }
      // 0x01 to 0x08: that many bytes follow unchanged.
      int32_t count = c;
      if (count > n - i) count = n - i;
      if (count > cap - o) count = cap - o;
      memcpy(out + o, in + i, size_t(count));
      o += count;
      i += count;
      if (count < c) break;
    } else if (c < 0xC0) {
      if (i >= n) break;
      const uint8_t d = in[i++];
      const int32_t distance = ((c << 8) | d) >> 3 & 0x7FF;
      const int32_t count = (d & 7) + 3;
      if (distance == 0 || distance > o) break;
      const uint8_t* from = out + o - distance;
      if (distance >= 8 && count <= cap - o) {
        // Two 8-byte moves cover the longest copy (10 bytes). The second reads
        // only bytes already final, since distance >= 8; what lands past count
        // is overwritten next, and the scratch has room for it.
        uint64_t word;
        memcpy(&word, from, 8);
        memcpy(out + o, &word, 8);
        memcpy(&word, from + 8, 8);
        memcpy(out + o + 8, &word, 8);
        o += count;
      } else {
        // Byte by byte: the copy overlaps what it writes, or reaches the end of
        // the buffer.
        const int32_t end = count < cap - o ? o + count : cap;
        for (; o < end; ++o) out[o] = out[o - distance];
      }
    } else {
      out[o++] = ' ';
      if (o == cap) break;
      out[o++] = uint8_t(c ^ 0x80);
    }
  }
  record->data = out;
  record->length = o;
}

// Makes room for extra more bytes plus the slack the text keeps before its end.
// Growth is at least half the current size, so long books do not copy their
// text over and over. False when memory runs out.
bool GrowOutput(OutputBuffer* output, int64_t extra) {
  const int64_t needed = output->length + extra;
  if (needed <= output->size - kOutputSlack) return true;
  int64_t size = needed + kOutputStep;
  if (size < output->size + output->size / 2) size = output->size + output->size / 2;
  if (size > INT32_MAX) return false;
  uint8_t* grown = static_cast<uint8_t*>(realloc(output->data, size_t(size)));
  if (!grown) return false;
  output->data = grown;
  output->size = size;
  return true;
}

// Appends the record to the text, writing each line feed as CR LF. A line feed
// that already follows a CR (a book made from CR LF text, possibly split between
// two records) is kept as it is, so those lines are not doubled.
void ExpandLineEnds(const RecordBuffer& record, OutputBuffer* output) {
  const uint8_t* in = record.data;
  const uint8_t* end = in + record.length;
  uint8_t* out = output->data + output->length;
  while (in < end) {
    const uint8_t* lf = static_cast<const uint8_t*>(memchr(in, '\n', size_t(end - in)));
    const uint8_t* stop = lf ? lf : end;
    memcpy(out, in, size_t(stop - in));
    out += stop - in;
    in = stop;
    if (!lf) break;
    const bool afterCr = out > output->data && out[-1] == '\r';
    if (!afterCr) *out++ = '\r';
    *out++ = '\n';
    ++in;
  }
  output->length = out - output->data;
}

// Removes the NULs (which would end the text) and the bytes 1 (which would
// start a format code) from n bytes of book text; returns the bytes kept.
int64_t DropCodeBytes(uint8_t* data, int64_t n) {
  uint8_t* end = data + n;
  uint8_t* w = data;
  for (uint8_t* r = data; r < end; ++r) {
    if (*r > 1) *w++ = *r;
  }
  return w - data;
}

// Converts the book in file (length bytes). On success stores a new malloc'd
// NUL-terminated text in *output (when output is given; otherwise it is freed)
// and returns its length + 1 (1 for a book without text records). Returns -1,
// storing nothing, when the type or creator does not match, the header or
// record list does not fit in the file, there is no record 0, or memory runs out.
int32_t PdbToText(const uint8_t* file, int32_t length, uint8_t** output, bool keepLineFeeds,
                  bool* incomplete) {
  if (!file || length < kHeaderBytes) return -1;
  if (memcmp(file + 64, "REAd", 4) != 0 || memcmp(file + 60, "TEXt", 4) != 0) return -1;
  const int32_t records = GetBe16(file + 76);
  if (records == 0 || kHeaderBytes + int64_t(records) * kRecordEntryBytes > length) return -1;
  const uint32_t record0 = GetBe32(file + kHeaderBytes);
  if (record0 > uint32_t(length) - 2) return -1;

  const uint16_t compression = GetBe16(file + record0);
  if (compression != 1 && compression != 2)
    GpTrace("\nWARNING: unknown file compression type:%d", compression);
  const bool compressed = compression != 1;

  // Record 0's text length only sizes the first buffer: it is often wrong, so it
  // is bounded by what the records can hold and the buffer still grows as needed.
  const int32_t textRecords = records - 1;
  int64_t hint = 0;
  if (record0 <= uint32_t(length) - 8) hint = GetBe32(file + record0 + 4);
  const int64_t bound = compressed ? int64_t(textRecords) * kRecordBufferBytes : int64_t(length);
  if (hint > bound) hint = bound;
  OutputBuffer out{nullptr, 0, kOutputStep + hint + hint / 32};
  out.data = static_cast<uint8_t*>(malloc(size_t(out.size)));
  uint8_t* scratch = static_cast<uint8_t*>(malloc(kRecordBufferBytes + kRecordBufferSlack));
  if (!out.data || !scratch) {
    free(out.data);
    free(scratch);
    return -1;
  }

  for (int32_t i = 1; i <= textRecords; ++i) {
    const uint8_t* entry = file + kHeaderBytes + i * kRecordEntryBytes;
    uint32_t start = GetBe32(entry);
    uint32_t end = i < textRecords ? GetBe32(entry + kRecordEntryBytes) : uint32_t(length);
    // Offsets beyond the file are cut to its end; a record that ends before it
    // starts holds nothing. The other records still show.
    if (start > uint32_t(length) || end > uint32_t(length)) *incomplete = true;
    if (start > uint32_t(length)) start = uint32_t(length);
    if (end > uint32_t(length)) end = uint32_t(length);
    if (end < start) end = start;
    RecordBuffer record{file + start, int32_t(end - start), scratch};
    if (compressed) DecompressRecord(&record);
    const int64_t worst = keepLineFeeds ? record.length : 2 * int64_t(record.length);
    if (out.length + worst >= TEXT_MAX_BYTES) {
      // Records that point at the same bytes can make a small file expand
      // without bound: the book stops at the whole-document limit.
      GpTrace("PdbToText: text limit reached at record %ld\n", long(i));
      *incomplete = true;
      break;
    }
    if (!GrowOutput(&out, worst)) {
      free(out.data);
      free(scratch);
      return -1;
    }
    const int64_t before = out.length;
    if (keepLineFeeds) {
      memcpy(out.data + out.length, record.data, size_t(record.length));
      out.length += record.length;
    } else {
      ExpandLineEnds(record, &out);
    }
    out.length = DropCodeBytes(out.data + before, out.length - before) + before;
  }
  free(scratch);
  out.data[out.length] = 0;

  // A text far shorter than its buffer gives the rest back.
  if (out.size - out.length > kOutputStep) {
    if (uint8_t* fitted = static_cast<uint8_t*>(realloc(out.data, size_t(out.length + 1))))
      out.data = fitted;
  }
  if (output) *output = out.data;
  else free(out.data);
  return int32_t(out.length + 1);
}

}  // namespace

int32_t DecompressPalmDoc(const uint8_t* in, int32_t length, uint8_t* out) {
  RecordBuffer record{in, length, out};
  DecompressRecord(&record);
  return record.length;
}

void ImportPdb(Text* t, char** buffer, int32_t length) {
  if (!buffer) return;
  uint8_t* text = nullptr;
  bool incomplete = false;
  const int32_t result =
      PdbToText(reinterpret_cast<const uint8_t*>(*buffer), length, &text, false, &incomplete);
  if (incomplete && t) t->incomplete = true;
  free(*buffer);
  *buffer = result > 0 ? reinterpret_cast<char*>(text) : nullptr;
  // A book made from UTF-8 text holds its bytes as they were: they are found
  // and converted as a plain text's are (a byte order mark, or valid UTF-8
  // with multi-byte sequences); anything else is code page 1252 already.
  if (*buffer && result > 1) {
    const EncodingGuess guess = DetectEncoding(*buffer, result - 1, false);
    if (guess.encoding == ENCODING_UTF8) ConvertToCp1252(*buffer, result - 1, guess);
  }
}
