// The stream filters the PDF importer undoes: FlateDecode through zlib,
// ASCIIHexDecode, ASCII85Decode, LZWDecode, RunLengthDecode and the
// /DecodeParms predictors. Called by the stream scan in pdf.cpp and by the
// document's stream decoding for each stream whose filters it supports.
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "pdf/internal.h"
#include "platform/trace.h"

namespace {

bool ArgumentsMissing(const uint8_t* input, int32_t count, uint8_t** out, int32_t* out_length) {
  return !input || count <= 0 || !out || !out_length;
}

// The output of one filter: a malloc'd buffer that grows towards a limit set
// by the input's size, with one byte more allocated for the closing zero.
struct FilterOutput {
  uint8_t* data = nullptr;
  size_t length = 0;
  size_t capacity = 0;
  size_t limit = 0;
  bool cutAtSize = false;  // the limit is FLATE_MAX_OUTPUT, not the ratio
  bool over = false;       // the filter had more to write than the limit allows
  bool noMemory = false;
};

// Sets the limits for count bytes of input and allocates first_capacity bytes
// (kept between 4096 and the limit). False when memory ran out.
bool OutputOpen(FilterOutput* output, int32_t count, uint64_t first_capacity) {
  // In 64 bits: on the console a size_t of a few megabytes times the ratio
  // would wrap around to a small limit.
  const uint64_t by_ratio = uint64_t(count) * FLATE_MAX_RATIO;
  // A stream that only reaches the size limit is real content, so what was
  // decoded up to it is kept; one that passes the ratio limit is a bomb.
  output->cutAtSize = by_ratio > FLATE_MAX_OUTPUT;
  output->limit = output->cutAtSize ? FLATE_MAX_OUTPUT : size_t(by_ratio);
  if (first_capacity < 4096) first_capacity = 4096;
  if (first_capacity > output->limit) first_capacity = output->limit;
  output->capacity = size_t(first_capacity);
  output->data = static_cast<uint8_t*>(malloc(output->capacity + 1));
  return output->data != nullptr;
}

// Doubles the room, up to the limit. False, with `over` or `noMemory` set,
// when it cannot.
bool OutputGrow(FilterOutput* output) {
  if (output->capacity >= output->limit) {
    output->over = true;
    return false;
  }
  size_t grown_capacity = output->capacity > output->limit / 2 ? output->limit : output->capacity * 2;
  uint8_t* grown = static_cast<uint8_t*>(realloc(output->data, grown_capacity + 1));
  if (!grown) {
    output->noMemory = true;
    return false;
  }
  output->data = grown;
  output->capacity = grown_capacity;
  return true;
}

// Appends n bytes, or n copies of fill when bytes is null. At the limit the
// bytes that fit are kept and false is returned; false too when memory ran out.
bool OutputPut(FilterOutput* output, const uint8_t* bytes, size_t n, uint8_t fill = 0) {
  bool room = true;
  while (output->capacity - output->length < n) {
    if (!OutputGrow(output)) {
      room = false;
      n = output->capacity - output->length;
      break;
    }
  }
  if (bytes) {
    memcpy(output->data + output->length, bytes, n);
  } else {
    memset(output->data + output->length, fill, n);
  }
  output->length += n;
  return room;
}

// Hands the output over as the filters promise: result 1 stores it; 0 and -1
// free it. Running out of memory wins over everything; an output that passed
// its limit is cut there or dropped, and traced under the filter's name.
int OutputFinish(FilterOutput* output, const char* filter, int result, uint8_t** out, int32_t* out_length) {
  if (output->noMemory) {
    result = -1;
  } else if (output->over) {
    GpTrace("%s output over %lu bytes, stream %s\n", filter, static_cast<unsigned long>(output->limit),
            output->cutAtSize ? "cut" : "dropped");
    result = output->cutAtSize ? 1 : 0;
  }
  if (result != 1) {
    free(output->data);
    output->data = nullptr;
    return result;
  }
  output->data[output->length] = 0;
  *out = output->data;
  *out_length = int32_t(output->length);
  output->data = nullptr;
  return 1;
}

// FlateDecode, strict or keeping what inflated before damage.
int Inflate(const uint8_t* input, int32_t count, bool keep_prefix, uint8_t** out, int32_t* out_length) {
  if (ArgumentsMissing(input, count, out, out_length)) return 0;
  *out = nullptr;
  *out_length = 0;
  // Content streams of tables and repeated operators compress far better than
  // 10:1, so the output grows until the stream ends; the limits keep a
  // hostile or broken stream from taking the console's memory.
  FilterOutput output;
  if (!OutputOpen(&output, count, uint64_t(count) * 10)) return -1;
  z_stream zs;
  memset(&zs, 0, sizeof zs);
  if (inflateInit(&zs) != Z_OK) {
    free(output.data);
    return 0;
  }
  zs.next_in = const_cast<uint8_t*>(input);
  zs.avail_in = uInt(count);
  int result = 0;
  for (;;) {
    zs.next_out = output.data + output.length;
    zs.avail_out = uInt(output.capacity - output.length);
    int ret = inflate(&zs, Z_FINISH);
    output.length = output.capacity - zs.avail_out;
    if (ret == Z_STREAM_END || ret == Z_NEED_DICT) {
      result = 1;
      break;
    }
    if ((ret == Z_OK || ret == Z_BUF_ERROR) && zs.avail_out == 0) {
      if (OutputGrow(&output)) continue;
      break;
    }
    // Corrupt data, or input that ends before the stream does.
    if (ret < 0 && zs.msg) GpTrace("%s\n", zs.msg);
    if (keep_prefix && output.length > 0) {
      GpTrace("FlateDecode damaged, %lu bytes kept\n", static_cast<unsigned long>(output.length));
      result = 1;
    }
    break;
  }
  inflateEnd(&zs);
  return OutputFinish(&output, "FlateDecode", result, out, out_length);
}

// LZW codes 256 and 257, the first code the table assigns, and its size.
constexpr int LZW_CLEAR = 256;
constexpr int LZW_END = 257;
constexpr int LZW_FIRST = 258;
constexpr int LZW_TABLE_SIZE = 4096;

// One table string: an earlier code's string followed by one byte.
struct LzwEntry {
  uint16_t prefix;
  uint16_t length;
  uint8_t last;
  uint8_t first;
};

// Paeth's choice among left, up and up-left, as PNG defines it.
uint8_t Paeth(int left, int up, int up_left) {
  const int estimate = left + up - up_left;
  const int to_left = abs(estimate - left);
  const int to_up = abs(estimate - up);
  const int to_up_left = abs(estimate - up_left);
  if (to_left <= to_up && to_left <= to_up_left) return uint8_t(left);
  if (to_up <= to_up_left) return uint8_t(up);
  return uint8_t(up_left);
}

// Undoes one PNG row in place: row[0..n) with the row above (null for the
// first row), bpp bytes to the pixel on the left. False for an unknown type.
bool UndoPngRow(int type, uint8_t* row, const uint8_t* above, size_t n, size_t bpp) {
  switch (type) {
    case 0:
      return true;
    case 1:
      for (size_t x = bpp; x < n; ++x) row[x] = uint8_t(row[x] + row[x - bpp]);
      return true;
    case 2:
      if (above) {
        for (size_t x = 0; x < n; ++x) row[x] = uint8_t(row[x] + above[x]);
      }
      return true;
    case 3:
      for (size_t x = 0; x < n; ++x) {
        const int left = x >= bpp ? row[x - bpp] : 0;
        const int up = above ? above[x] : 0;
        row[x] = uint8_t(row[x] + (left + up) / 2);
      }
      return true;
    case 4:
      for (size_t x = 0; x < n; ++x) {
        const int left = x >= bpp ? row[x - bpp] : 0;
        const int up = above ? above[x] : 0;
        const int up_left = above && x >= bpp ? above[x - bpp] : 0;
        row[x] = uint8_t(row[x] + Paeth(left, up, up_left));
      }
      return true;
    default:
      return false;
  }
}

// Undoes TIFF predictor 2 in place on one row of n bytes: each sample adds
// the same colour's sample one pixel to the left, modulo its bit size. A row
// cut short keeps its whole samples.
void UndoTiffRow(uint8_t* row, size_t n, int colors, int bits, size_t samples_per_row) {
  size_t samples = n * 8 / size_t(bits);
  if (samples > samples_per_row) samples = samples_per_row;
  if (bits == 8) {
    for (size_t s = size_t(colors); s < samples; ++s) row[s] = uint8_t(row[s] + row[s - colors]);
  } else if (bits == 16) {
    for (size_t s = size_t(colors); s < samples; ++s) {
      uint8_t* p = row + 2 * s;
      const uint8_t* q = row + 2 * (s - colors);
      const unsigned v = ((unsigned(p[0]) << 8 | p[1]) + (unsigned(q[0]) << 8 | q[1])) & 0xFFFF;
      p[0] = uint8_t(v >> 8);
      p[1] = uint8_t(v);
    }
  } else {
    // 1, 2 or 4 bits, most significant first inside each byte.
    const unsigned mask = (1u << bits) - 1;
    auto shift_of = [bits](size_t s) { return unsigned(8 - bits - (s * bits) % 8); };
    for (size_t s = size_t(colors); s < samples; ++s) {
      const size_t t = s - colors;
      const unsigned left = (row[t * bits / 8] >> shift_of(t)) & mask;
      uint8_t* p = row + s * bits / 8;
      const unsigned shift = shift_of(s);
      const unsigned v = (((*p >> shift) & mask) + left) & mask;
      *p = uint8_t((*p & ~(mask << shift)) | v << shift);
    }
  }
}

}  // namespace

int FlateDecodeBuffer(const uint8_t* input, int32_t count, uint8_t** out, int32_t* out_length) {
  return Inflate(input, count, false, out, out_length);
}

int FlateDecodeBufferPartial(const uint8_t* input, int32_t count, uint8_t** out, int32_t* out_length) {
  return Inflate(input, count, true, out, out_length);
}

int LzwDecodeBuffer(const uint8_t* input, int32_t count, int earlyChange, uint8_t** out,
                    int32_t* out_length) {
  if (ArgumentsMissing(input, count, out, out_length)) return 0;
  *out = nullptr;
  *out_length = 0;
  const int early = earlyChange != 0 ? 1 : 0;
  FilterOutput output;
  if (!OutputOpen(&output, count, uint64_t(count) * 4)) return -1;
  LzwEntry* table = static_cast<LzwEntry*>(malloc(sizeof(LzwEntry) * LZW_TABLE_SIZE));
  if (!table) {
    free(output.data);
    return -1;
  }
  for (int c = 0; c < 256; ++c) table[c] = LzwEntry{0, 1, uint8_t(c), uint8_t(c)};
  // A string is at most one byte longer than the table has codes.
  uint8_t string[LZW_TABLE_SIZE + 1];
  int width = 9;
  int next = LZW_FIRST;
  int previous = -1;  // none right after the start or a clear code
  uint32_t bits = 0;
  int held = 0;
  int32_t pos = 0;
  int result = 1;
  for (;;) {
    // Input that ends without the end code ends the data: writers leave it out.
    while (held < width && pos < count) {
      bits = bits << 8 | input[pos++];
      held += 8;
    }
    if (held < width) break;
    held -= width;
    const int code = int(bits >> held) & ((1 << width) - 1);
    if (code == LZW_CLEAR) {
      width = 9;
      next = LZW_FIRST;
      previous = -1;
      continue;
    }
    if (code == LZW_END) break;
    size_t length;
    if (previous < 0) {
      if (code > 255) {
        GpTrace("LZWDecode code %d with an empty table\n", code);
        result = 0;
        break;
      }
      string[0] = uint8_t(code);
      length = 1;
    } else {
      if (code > next || (code == next && next >= LZW_TABLE_SIZE)) {
        GpTrace("LZWDecode code %d past the table's %d\n", code, next);
        result = 0;
        break;
      }
      // A code not yet in the table is the previous string and its own
      // first byte: the encoder used the entry it had just made.
      const int known = code < next ? code : previous;
      length = table[known].length;
      int c = known;
      for (size_t k = length; k-- > 0;) {
        string[k] = table[c].last;
        c = table[c].prefix;
      }
      if (code == next) string[length++] = table[previous].first;
      if (next < LZW_TABLE_SIZE) {
        table[next] = LzwEntry{uint16_t(previous), uint16_t(table[previous].length + 1), string[0],
                               table[previous].first};
        ++next;
      }
    }
    // Codes widen when the table outgrows them, one code early by default.
    if (width < 12 && next + early >= (1 << width)) ++width;
    previous = code;
    if (!OutputPut(&output, string, length)) break;
  }
  free(table);
  return OutputFinish(&output, "LZWDecode", result, out, out_length);
}

int RunLengthDecodeBuffer(const uint8_t* input, int32_t count, uint8_t** out, int32_t* out_length) {
  if (ArgumentsMissing(input, count, out, out_length)) return 0;
  *out = nullptr;
  *out_length = 0;
  FilterOutput output;
  if (!OutputOpen(&output, count, uint64_t(count) * 2)) return -1;
  int32_t i = 0;
  while (i < count) {
    const int run = input[i++];
    if (run == 128) break;
    bool room;
    if (run < 128) {
      // A literal run cut by the input's end keeps what is there.
      int32_t n = run + 1;
      if (n > count - i) n = count - i;
      room = OutputPut(&output, input + i, size_t(n));
      i += n;
    } else {
      if (i >= count) break;
      room = OutputPut(&output, nullptr, size_t(257 - run), input[i++]);
    }
    if (!room) break;
  }
  return OutputFinish(&output, "RunLengthDecode", 1, out, out_length);
}

int PredictorDecodeBuffer(const uint8_t* input, int32_t count, const PdfPredictor& predictor, uint8_t** out,
                          int32_t* out_length) {
  if (ArgumentsMissing(input, count, out, out_length)) return 0;
  *out = nullptr;
  *out_length = 0;
  const int kind = predictor.predictor;
  const bool png = kind >= 10 && kind <= 15;
  if (kind != 1 && kind != 2 && !png) {
    GpTrace("Predictor %d unknown\n", kind);
    return 0;
  }
  size_t row_bytes = 0;
  size_t samples_per_row = 0;
  if (kind != 1) {
    const int bits = predictor.bitsPerComponent;
    if (predictor.colors < 1 || predictor.colors > 32 || predictor.columns < 1 ||
        (bits != 1 && bits != 2 && bits != 4 && bits != 8 && bits != 16)) {
      GpTrace("Predictor parameters %d colors, %d bits, %d columns refused\n", predictor.colors, bits,
              predictor.columns);
      return 0;
    }
    const uint64_t samples = uint64_t(predictor.colors) * uint64_t(predictor.columns);
    const uint64_t bytes = (samples * uint64_t(bits) + 7) / 8;
    if (bytes > PREDICTOR_MAX_ROW) {
      GpTrace("Predictor row of %llu bytes refused\n", static_cast<unsigned long long>(bytes));
      return 0;
    }
    row_bytes = size_t(bytes);
    samples_per_row = size_t(samples);
  }
  // No predictor makes the output longer than its input.
  FilterOutput output;
  if (!OutputOpen(&output, count, uint64_t(count))) return -1;
  int result = 1;
  if (kind == 1) {
    OutputPut(&output, input, size_t(count));
  } else if (kind == 2) {
    OutputPut(&output, input, size_t(count));
    for (size_t row = 0; row < output.length; row += row_bytes) {
      const size_t n = output.length - row < row_bytes ? output.length - row : row_bytes;
      UndoTiffRow(output.data + row, n, predictor.colors, predictor.bitsPerComponent, samples_per_row);
    }
  } else {
    size_t bpp = size_t(predictor.colors) * size_t(predictor.bitsPerComponent) / 8;
    if (bpp < 1) bpp = 1;
    // Each row is its filter-type byte and row_bytes of data; the rows are
    // undone in place in the output, where the row above is already plain.
    size_t i = 0;
    bool first_row = true;
    while (i < size_t(count)) {
      const int type = input[i++];
      size_t n = size_t(count) - i < row_bytes ? size_t(count) - i : row_bytes;
      const size_t start = output.length;
      const bool room = OutputPut(&output, input + i, n);
      i += n;
      n = output.length - start;
      const uint8_t* above = first_row ? nullptr : output.data + start - row_bytes;
      if (!UndoPngRow(type, output.data + start, above, n, bpp)) {
        GpTrace("PNG predictor row type %d unknown\n", type);
        result = 0;
        break;
      }
      first_row = false;
      if (!room) break;
    }
  }
  return OutputFinish(&output, "Predictor", result, out, out_length);
}

int AsciiHexDecodeBuffer(const uint8_t* input, int32_t count, uint8_t** out, int32_t* out_length) {
  if (ArgumentsMissing(input, count, out, out_length)) return 0;
  // Every two digits give one byte, so half the input (rounded up) is room.
  uint8_t* buffer = static_cast<uint8_t*>(calloc(size_t(count) / 2 + 2, 1));
  if (!buffer) return -1;
  auto value = [](uint8_t c) {
    if (c >= '0' && c <= '9') return int(c - '0');
    if (c >= 'A' && c <= 'F') return int(c - 'A' + 10);
    if (c >= 'a' && c <= 'f') return int(c - 'a' + 10);
    return -1;
  };
  int32_t j = 0;
  int high = -1;
  for (int32_t i = 0; i < count; ++i) {
    const uint8_t c = input[i];
    if (c == '>') break;  // the end of the data
    const int v = value(c);
    // White space (space, tab, CR, LF, FF, NUL) and any other byte that is
    // no digit are stepped over.
    if (v < 0) continue;
    if (high < 0) {
      high = v;
    } else {
      buffer[j++] = uint8_t(high * 16 + v);
      high = -1;
    }
  }
  // A last lone digit stands for its pair with a 0.
  if (high >= 0) buffer[j++] = uint8_t(high * 16);
  *out = buffer;
  *out_length = j;
  return 1;
}

int Ascii85DecodeBuffer(const uint8_t* input, int32_t count, uint8_t** out, int32_t* out_length) {
  if (ArgumentsMissing(input, count, out, out_length)) return 0;
  static const uint32_t kPower[5] = {52200625, 614125, 7225, 85, 1};
  // Five characters give four bytes; only runs of "z" give more, so the
  // buffer starts at the input's size and grows when they need it.
  size_t capacity = size_t(count) + 8;
  uint8_t* buffer = static_cast<uint8_t*>(malloc(capacity + 1));
  if (!buffer) return -1;
  size_t length = 0;
  uint32_t group = 0;  // wraps for groups above "s8W-!", as it always has
  int k = 0;
  // Appends the top bytes of the group; false when memory ran out.
  auto put_group = [&](int bytes) {
    if (capacity - length < 4) {
      uint8_t* grown = static_cast<uint8_t*>(realloc(buffer, capacity * 2 + 1));
      if (!grown) return false;
      buffer = grown;
      capacity *= 2;
    }
    for (int b = 0; b < bytes; ++b) buffer[length++] = uint8_t(group >> (24 - 8 * b));
    return true;
  };
  int result = 0;
  for (int32_t i = 0; i < count; ++i) {
    uint8_t c = input[i];
    if (c == 8 || c == 9 || c == 10 || c == 12 || c == 13 || c == 32) continue;
    if (c == 'z') {
      if (k != 0) {
        GpTrace("z inside ascii85 5-tuple\n");
        break;
      }
      group = 0;
      if (!put_group(4)) {
        result = -1;
        break;
      }
      continue;
    }
    if (c == '~') {
      if (i + 1 >= count || input[i + 1] != '>') {
        GpTrace("~ without > in ascii85 section\n");
        break;
      }
      if (k > 0) {
        group += kPower[k - 1];
        if (!put_group(k - 1)) {
          result = -1;
          break;
        }
      }
      buffer[length] = 0;
      *out = buffer;
      *out_length = int32_t(length);
      return 1;
    }
    if (c < 33 || c - 33 > 84) {
      GpTrace("bad character in asc85: #%d\n", c);
      break;
    }
    group += uint32_t(c - 33) * kPower[k];
    if (++k == 5) {
      if (!put_group(4)) {
        result = -1;
        break;
      }
      group = 0;
      k = 0;
    }
  }
  free(buffer);
  return result;
}
