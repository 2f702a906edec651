// Tests of the PDF stream filters added for the document reader: LZW at both
// code-width rules, RunLength, the PNG and TIFF predictors, FlateDecode that
// keeps the part before damage, the output limits, and garbage input.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "pdf/internal.h"
#include "pdf_builder.h"

namespace {

struct Decoded {
  int result = 0;
  std::string bytes;
  std::string trace;
};

// Runs one filter on an exactly sized heap copy of in, so that a read past it
// shows under the sanitizers; checks the zero byte after the output.
template <typename Filter>
Decoded Decode(const std::string& in, Filter filter) {
  Decoded d;
  std::vector<uint8_t> copy(in.begin(), in.end());
  uint8_t* out = nullptr;
  int32_t length = -1;
  testing::internal::CaptureStdout();
  d.result = filter(copy.data(), int32_t(copy.size()), &out, &length);
  d.trace = testing::internal::GetCapturedStdout();
  if (d.result == 1) {
    EXPECT_EQ(out[length], 0);
    d.bytes.assign(reinterpret_cast<char*>(out), size_t(length));
    free(out);
  }
  return d;
}

Decoded Lzw(const std::string& in, int early) {
  return Decode(in, [early](const uint8_t* i, int32_t n, uint8_t** o, int32_t* l) {
    return LzwDecodeBuffer(i, n, early, o, l);
  });
}

Decoded Predict(const std::string& in, const PdfPredictor& p) {
  return Decode(in, [&p](const uint8_t* i, int32_t n, uint8_t** o, int32_t* l) {
    return PredictorDecodeBuffer(i, n, p, o, l);
  });
}

// LZW as PDF writers make it: a clear code first and whenever the table is
// full; codes widen when the next one could need it, one code early when
// early is 1.
std::string LzwEncode(const std::string& data, int early) {
  std::string out;
  uint32_t bits = 0;
  int held = 0, width = 9, next = 258, w = -1;
  auto put = [&](int code) {
    bits = bits << width | uint32_t(code);
    for (held += width; held >= 8; held -= 8) out += char(bits >> (held - 8));
  };
  std::vector<uint16_t> child(4096 * 256);
  auto clear = [&]() {
    put(256);
    width = 9;
    next = 258;
    std::fill(child.begin(), child.end(), 0);
  };
  clear();
  for (char ch : data) {
    const uint8_t c = uint8_t(ch);
    if (w >= 0 && child[w * 256 + c]) {
      w = child[w * 256 + c];
      continue;
    }
    if (w >= 0) {
      put(w);
      child[w * 256 + c] = uint16_t(next++);
      if (next + early > (1 << width) && width == 12) clear();
      if (next + early > (1 << width)) ++width;
    }
    w = c;
  }
  if (w >= 0) put(w);
  put(257);
  if (held > 0) out += char(bits << (8 - held));
  return out;
}

std::string Pseudorandom(size_t n, int alphabet, uint32_t seed) {
  std::string s(n, '\0');
  for (char& c : s) {
    seed = seed * 1103515245 + 12345;
    c = char('a' + (seed >> 16) % alphabet);
  }
  return s;
}

TEST(PdfLzw, RoundTripsAcrossWidthsAndClears) {
  // Long enough to pass 511, 1023 and 2047 codes and fill the table (a clear
  // code) several times.
  const std::string text = Pseudorandom(40000, 6, 7);
  const std::string run(3000, 'x');  // each code one byte longer: the KwKwK case
  for (int early = 0; early <= 1; ++early) {
    for (const std::string& data : {std::string("A"), run, text}) {
      Decoded d = Lzw(LzwEncode(data, early), early);
      EXPECT_EQ(d.result, 1);
      EXPECT_TRUE(d.bytes == data) << early << " " << data.size() << " " << d.bytes.size();
    }
    // The other rule reads the widened codes at the wrong place.
    Decoded wrong = Lzw(LzwEncode(text, early), 1 - early);
    EXPECT_FALSE(wrong.result == 1 && wrong.bytes == text);
  }
  // The example of the PDF format's description, written by another encoder.
  EXPECT_EQ(Lzw("\x80\x0B\x60\x50\x22\x0C\x0C\x85\x01", 1).bytes, "-----A---B");
  EXPECT_EQ(LzwEncode("-----A---B", 1), "\x80\x0B\x60\x50\x22\x0C\x0C\x85\x01");
  // Without the end code the data ends with the input; no clear code first
  // is fine too.
  std::string packed = LzwEncode("-----A---B", 1);
  EXPECT_EQ(Lzw(packed.substr(0, 8), 1).bytes, "-----A---B");
  EXPECT_EQ(Lzw("\x20\x90\x80", 1).bytes, "AB");
  // A code past the table, or a table code first, is bad data.
  EXPECT_EQ(Lzw("\x80\x10\x7F\xE0", 1).result, 0);          // 256, 'A', 511
  EXPECT_EQ(Lzw(std::string("\x81\x00", 2), 1).result, 0);  // 258 with an empty table
}

TEST(PdfRunLength, LiteralAndRepeatRuns) {
  // A cut literal run keeps what is there; a repeat with no byte is dropped.
  const std::pair<std::string, std::string> cases[] = {
      {std::string("\002abc\200zz", 6), "abc"},
      {std::string("\376x\000y", 4), "xxxy"},
      {"\201q\200", std::string(128, 'q')},
      {"\177" + std::string(128, 'L'), std::string(128, 'L')},
      {"\005ab", "ab"},
      {std::string("\000a\377", 3), "a"},
      {"\200", ""}};
  for (const auto& [in, out] : cases) EXPECT_EQ(Decode(in, RunLengthDecodeBuffer).bytes, out);
}

// Rows of row_bytes bytes with PNG filter types cycling through 0..4.
std::string PngEncode(const std::string& plain, size_t row_bytes, size_t bpp) {
  std::string out;
  auto at = [&](size_t i) { return int(uint8_t(plain[i])); };
  for (size_t i = 0; i < plain.size(); ++i) {
    const size_t r = i / row_bytes, x = i % row_bytes;
    if (x == 0) out += char(r % 5);
    const int left = x >= bpp ? at(i - bpp) : 0, up = r > 0 ? at(i - row_bytes) : 0;
    const int up_left = r > 0 && x >= bpp ? at(i - row_bytes - bpp) : 0, p = left + up - up_left;
    const int near = abs(p - up) <= abs(p - up_left) ? up : up_left;
    const int paeth = abs(p - left) <= abs(p - up) && abs(p - left) <= abs(p - up_left) ? left : near;
    const int predicted[5] = {0, left, up, (left + up) / 2, paeth};
    out += char(at(i) - predicted[r % 5]);
  }
  return out;
}

// Samples of bits each in rows of per_row, packed most significant first;
// with predicted set each is stored as its difference from the sample of the
// same colour to its left, as TIFF predictor 2 writes them.
std::string TiffPack(const std::vector<unsigned>& samples, int colors, int bits, size_t per_row,
                     bool predicted) {
  std::string out((samples.size() / per_row) * ((per_row * bits + 7) / 8), '\0');
  for (size_t i = 0; i < samples.size(); ++i) {
    const size_t s = i % per_row, bit = (i / per_row) * ((per_row * bits + 7) / 8) * 8 + s * bits;
    unsigned v = samples[i];
    if (predicted && s >= size_t(colors)) v -= samples[i - colors];
    v &= bits == 16 ? 0xFFFF : (1u << bits) - 1;
    if (bits == 16) out[bit / 8 + 1] = char(v);
    out[bit / 8] = char(bits == 16 ? v >> 8 : uint8_t(out[bit / 8]) | v << (8 - bits - bit % 8));
  }
  return out;
}

TEST(PdfPredictors, PngAndTiffRoundTrips) {
  struct Case {
    int colors, bits, columns;
    size_t row_bytes, bpp;
  } cases[] = {{3, 8, 7, 21, 3}, {1, 8, 1, 1, 1}, {2, 16, 5, 20, 4}, {1, 1, 20, 3, 1}, {2, 4, 3, 3, 1}};
  for (const Case& c : cases) {
    // Forty rows, then a short one; few values, so that Paeth often meets ties.
    const std::string plain = Pseudorandom(c.row_bytes * 40 + c.row_bytes / 2, 4, 3);
    for (int kind = 10; kind <= 15; kind += 5) {
      EXPECT_TRUE(Predict(PngEncode(plain, c.row_bytes, c.bpp), {kind, c.colors, c.bits, c.columns}).bytes ==
                  plain)
          << c.colors << " " << c.bits;
    }
    const size_t per_row = size_t(c.colors * c.columns);
    std::vector<unsigned> samples(per_row * 6);
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = unsigned(i * 2654435761u >> 7);
    const std::string packed = TiffPack(samples, c.colors, c.bits, per_row, true);
    const std::string expected = TiffPack(samples, c.colors, c.bits, per_row, false);
    EXPECT_TRUE(Predict(packed, {2, c.colors, c.bits, c.columns}).bytes == expected)
        << c.colors << " " << c.bits;
    // A short last row keeps its whole samples undone.
    const size_t cut = packed.size() - c.row_bytes / 2;
    EXPECT_TRUE(Predict(packed.substr(0, cut), {2, c.colors, c.bits, c.columns}).bytes.substr(0, cut - 1) ==
                expected.substr(0, cut - 1));
  }
  const std::string some = "abcdefgh";
  EXPECT_EQ(Predict(some, {1, 0, 3, 0}).bytes, some);  // no predictor ignores the rest
  const PdfPredictor bad[] = {{3, 1, 8, 1},  {2, 0, 8, 1},         {2, 33, 8, 1}, {12, 1, 3, 1},
                              {12, 1, 8, 0}, {2, 32, 16, 1 << 20}, {16, 1, 8, 1}};
  for (const PdfPredictor& p : bad) EXPECT_EQ(Predict(some, p).result, 0) << p.predictor;
  EXPECT_EQ(Predict("\005abc", {12, 1, 8, 3}).result, 0);  // row type 5
}


TEST(PdfFlatePartial, KeepsWhatInflatedBeforeDamage) {
  const std::string text = Pseudorandom(200000, 20, 11);
  const std::string packed = PdfDeflate(text, Z_DEFAULT_COMPRESSION);
  EXPECT_TRUE(Decode(packed, FlateDecodeBufferPartial).bytes == text);
  std::string damaged = packed;
  for (size_t i = packed.size() / 2; i < packed.size(); ++i) damaged[i] = char(0xFF);
  for (const std::string& broken : {packed.substr(0, packed.size() / 2), damaged}) {
    Decoded d = Decode(broken, FlateDecodeBufferPartial);
    EXPECT_EQ(d.result, 1);
    // Damaged codes may inflate to a little garbage before zlib sees the error.
    EXPECT_GT(d.bytes.size(), text.size() / 3);
    EXPECT_TRUE(d.bytes.substr(0, text.size() / 3) == text.substr(0, text.size() / 3));
    EXPECT_TRUE(broken.size() == packed.size() ||
                d.bytes == text.substr(0, d.bytes.size()));  // cut: all true
    EXPECT_NE(d.trace.find("kept"), std::string::npos);
    EXPECT_EQ(Decode(broken, FlateDecodeBuffer).result, 0);
  }
  EXPECT_EQ(Decode(std::string("\x78\x9c\xff\xff", 4), FlateDecodeBufferPartial).result, 0);
}

TEST(PdfFilters, OutputLimits) {
  // RunLength at 64 to 1 reaches the size limit first: cut there.
  std::string runs;
  for (size_t i = 0; i < FLATE_MAX_OUTPUT / 128 + 100; ++i) runs += "\x81z";
  Decoded d = Decode(runs, RunLengthDecodeBuffer);
  EXPECT_EQ(d.result, 1);
  EXPECT_EQ(d.bytes.size(), FLATE_MAX_OUTPUT);
  EXPECT_NE(d.trace.find("RunLengthDecode output over " + std::to_string(FLATE_MAX_OUTPUT) + " bytes, stream cut"),
            std::string::npos);
  // LZW of one repeated byte passes the ratio limit: dropped.
  const std::string zeros(8 << 20, '\0');
  const std::string bomb = LzwEncode(zeros, 1);
  ASSERT_GT(zeros.size(), bomb.size() * FLATE_MAX_RATIO);
  d = Lzw(bomb, 1);
  EXPECT_EQ(d.result, 0);
  EXPECT_NE(d.trace.find("stream dropped"), std::string::npos);
}

TEST(PdfFilters, GarbageStaysInsideItsBuffer) {
  const std::string valid[] = {PdfDeflate(Pseudorandom(5000, 30, 5), Z_DEFAULT_COMPRESSION),
                               LzwEncode(Pseudorandom(5000, 30, 5), 1)};
  uint32_t seed = 99;
  for (int round = 0; round < 300; ++round) {
    std::string in = valid[round % 2].substr(0, size_t(round) * 7 % 2000 + 1);
    for (int k = 0; k < round % 5; ++k) {
      seed = seed * 1103515245 + 12345;
      in[(seed >> 8) % in.size()] = char(seed >> 24);
    }
    for (int early = 0; early <= 1; ++early)
      EXPECT_LE(Lzw(in, early).bytes.size(), in.size() * FLATE_MAX_RATIO);
    Decode(in, FlateDecodeBufferPartial);
    Decode(in, RunLengthDecodeBuffer);
    for (int kind : {2, 10, 15}) Predict(in, {kind, 1 + round % 4, 1 << (round % 5), 1 + round % 9});
  }
}

}  // namespace
