// The stream filters the PDF importer undoes: FlateDecode through zlib,
// ASCIIHexDecode and ASCII85Decode. Called by the stream scan in pdf.cpp for
// each stream whose filters it supports.
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

}  // namespace

int FlateDecodeBuffer(const uint8_t* input, int32_t count, uint8_t** out, int32_t* out_length) {
  if (ArgumentsMissing(input, count, out, out_length)) return 0;
  *out = nullptr;
  *out_length = 0;
  // Content streams of tables and repeated operators compress far better than
  // 10:1, so the output grows until the stream ends; the limits keep a
  // hostile or broken stream from taking the console's memory.
  size_t limit = size_t(count) * FLATE_MAX_RATIO;
  // A stream that only reaches the size limit is real content, so what was
  // inflated up to it is kept; one that passes the ratio limit is a bomb.
  const bool cutAtSize = limit > FLATE_MAX_OUTPUT;
  if (cutAtSize) limit = FLATE_MAX_OUTPUT;
  size_t capacity = size_t(count) * 10;
  if (capacity < 4096) capacity = 4096;
  if (capacity > limit) capacity = limit;
  // One spare byte so the output is always followed by a zero.
  uint8_t* buffer = static_cast<uint8_t*>(malloc(capacity + 1));
  if (!buffer) return -1;

  z_stream zs;
  memset(&zs, 0, sizeof zs);
  if (inflateInit(&zs) != Z_OK) {
    free(buffer);
    return 0;
  }
  zs.next_in = const_cast<uint8_t*>(input);
  zs.avail_in = uInt(count);
  int result = 0;
  for (;;) {
    zs.next_out = buffer + zs.total_out;
    zs.avail_out = uInt(capacity - zs.total_out);
    int ret = inflate(&zs, Z_FINISH);
    if (ret == Z_STREAM_END || ret == Z_NEED_DICT) {
      result = 1;
      break;
    }
    if ((ret == Z_OK || ret == Z_BUF_ERROR) && zs.avail_out == 0) {
      if (capacity >= limit) {
        if (cutAtSize) {
          GpTrace("FlateDecode output over %lu bytes, stream cut\n", static_cast<unsigned long>(limit));
          result = 1;
        } else {
          GpTrace("FlateDecode output over %lu bytes, stream dropped\n", static_cast<unsigned long>(limit));
        }
        break;
      }
      size_t grown_capacity = capacity * 2 > limit ? limit : capacity * 2;
      uint8_t* grown = static_cast<uint8_t*>(realloc(buffer, grown_capacity + 1));
      if (!grown) {
        result = -1;
        break;
      }
      buffer = grown;
      capacity = grown_capacity;
      continue;
    }
    // Corrupt data, or input that ends before the stream does.
    if (ret < 0 && zs.msg) GpTrace("%s\n", zs.msg);
    break;
  }
  size_t produced = zs.total_out;
  inflateEnd(&zs);
  if (result != 1) {
    free(buffer);
    return result;
  }
  buffer[produced] = 0;
  *out = buffer;
  *out_length = int32_t(produced);
  return 1;
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
