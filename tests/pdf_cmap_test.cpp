// Tests of the ToUnicode CMap reader: the bfchar and bfrange forms and their
// destinations, later definitions over earlier ones, damaged programs, and
// the code lengths that codespace ranges give.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "pdf/cmap.h"

namespace {

PdfCMap Parse(const std::string& program) {
  PdfCMap map;
  // An exactly sized heap copy, so that a read past it shows under the sanitizers.
  std::vector<uint8_t> copy(program.begin(), program.end());
  PdfParseCMap(copy.data(), copy.size(), &map);
  return map;
}

std::vector<uint32_t> Lookup(const PdfCMap& map, uint32_t code) {
  uint32_t out[PDF_CMAP_MAX_UNICODE];
  return std::vector<uint32_t>(out, out + PdfCMapLookup(map, code, out, PDF_CMAP_MAX_UNICODE));
}

const char HEADER[] =
    "/CIDInit /ProcSet findresource begin 12 dict begin begincmap\n"
    "/CIDSystemInfo << /Registry (Adobe) /Ordering (UCS) /Supplement 0 >> def\n"
    "/CMapName /Adobe-Identity-UCS def /CMapType 2 def\n"
    "1 begincodespacerange <0000> <FFFF> endcodespacerange\n";

TEST(PdfCMap, Destinations) {
  using Points = std::vector<uint32_t>;
  struct Case {
    const char* body;
    std::vector<std::pair<uint32_t, Points>> codes;
  } cases[] = {
      {"2 beginbfchar <0003> <0020> <0004> <0041> endbfchar", {{3, {0x20}}, {4, {0x41}}, {5, {}}}},
      {"1 beginbfchar <41> <0042> endbfchar", {{0x41, {0x42}}}},
      {"1 beginbfrange <0010> <0020> <0041> endbfrange", {{0x10, {0x41}}, {0x20, {0x51}}, {0x21, {}}}},
      // The last code point grows, past the last byte's 255 too.
      {"1 beginbfrange <0001> <0003> <00FF> endbfrange", {{3, {0x101}}}},
      {"1 beginbfrange <0001> <0003> <00660066> endbfrange", {{2, {0x66, 0x67}}}},
      {"1 beginbfrange <0030> <0032> [<0041> <0042> <0043> <0044>] endbfrange", {{0x32, {0x43}}, {0x33, {}}}},
      {"1 beginbfrange <0030> <0032> [<0041> <D835DC01>] endbfrange", {{0x31, {0x1D401}}, {0x32, {}}}},
      {"2 beginbfchar <0001> <D835DC00> <0002> <D835> endbfchar", {{1, {0x1D400}}, {2, {0xD835}}}},
      {"1 beginbfchar <0001> <00660069> endbfchar", {{1, {0x66, 0x69}}}},
      {"1 beginbfchar <0001> <0061006200630064006500660067006800690070> endbfchar",
       {{1, {0x61, 0x62, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68}}}},
      {"1 beginbfchar <0001> <41> endbfchar", {{1, {0x41}}}},
      {"2 beginbfchar <0001> /space <0002> /nosuchglyphname endbfchar", {{1, {0x20}}, {2, {}}}},
      // Source codes longer than four bytes are skipped.
      {"2 beginbfchar <0000000041> <0042> <41> <0043> endbfchar", {{0x41, {0x43}}}},
      // A range spanning every code stays one range.
      {"1 beginbfrange <00000000> <FFFFFFFF> <0041> endbfrange", {{0x1000, {0x1041}}, {0xFFFFFF00, {}}}},
      // Later definitions win, whichever form either has.
      {"1 beginbfchar <0001> <0041> endbfchar 1 beginbfrange <0000> <0005> <0061> endbfrange", {{1, {0x62}}}},
      {"1 beginbfrange <0000> <0005> <0061> endbfrange 1 beginbfchar <0001> <0041> endbfchar",
       {{1, {0x41}}, {5, {0x66}}}},
      {"2 beginbfrange <0000> <00FF> <0061> <0010> <0012> <0041> endbfrange",
       {{0x12, {0x43}}, {0x13, {0x74}}}},
      {"2 beginbfrange <0010> <0012> <0041> <0000> <00FF> <0061> endbfrange", {{0x11, {0x72}}}},
      {"2 beginbfchar <0007> <0041> <0007> <0042> endbfchar", {{7, {0x42}}}},
      // Damaged programs keep what came before the damage.
      {"2 beginbfchar <0001> <0041> endcmap <0002> <0042>", {{1, {0x41}}, {2, {}}}},
      {"3 beginbfrange <0001> <0002> [<0041> <0042> endbfrange", {{2, {0x42}}}},
  };
  for (const Case& c : cases) {
    PdfCMap map =
        Parse(std::string(HEADER) + c.body + "\nendcmap CMapName currentdict /CMap defineresource pop\n");
    for (const auto& [code, unicode] : c.codes)
      EXPECT_EQ(Lookup(map, code), unicode) << c.body << " " << code;
  }
  EXPECT_EQ(
      Parse(std::string(HEADER) + "1 beginbfrange <00000000> <FFFFFFFF> <0041> endbfrange").mappings.size(),
      1u);
}

TEST(PdfCMap, CutShortAndGarbage) {
  const std::string whole = std::string(HEADER) +
                            "3 beginbfchar <0001> <0041> <0002> <0042> <0003> <00430044> endbfchar\n"
                            "1 beginbfrange <0010> <0012> [<0061> <0062> <0063>] endbfrange endcmap";
  // Every cut keeps the entries that were whole and never one cut in half.
  for (size_t n = 1; n <= whole.size(); ++n) {
    PdfCMap map = Parse(whole.substr(0, n));
    for (uint32_t code : {1u, 2u, 3u, 0x10u, 0x11u, 0x12u}) {
      std::vector<uint32_t> got = Lookup(map, code);
      if (got.empty() || n == whole.size()) continue;
      EXPECT_EQ(got, Lookup(Parse(whole), code)) << n << " " << code;
    }
  }
  PdfCMap map;
  EXPECT_FALSE(PdfParseCMap(reinterpret_cast<const uint8_t*>("hello world"), 11, &map));
  EXPECT_FALSE(PdfParseCMap(nullptr, 0, &map));
  EXPECT_TRUE(PdfParseCMap(reinterpret_cast<const uint8_t*>(whole.data()), whole.size(), &map));
  uint32_t out[2];
  EXPECT_EQ(PdfCMapLookup(map, 3, out, 1), 1);  // a ligature cut to the room given
  EXPECT_EQ(out[0], 0x43u);
}

TEST(PdfCMap, CodeLengthsByCodespace) {
  struct Case {
    const char* codespaces;
    int defaultBytes;
    std::string bytes;
    std::vector<int> lengths;
  } cases[] = {
      {"", 2, "\x01\x02\x03", {2, 1}},
      {"", 1, "\x01\x02", {1, 1}},
      {"<00> <FF>", 2, "\x01\x02", {1, 1}},
      {"<0000> <FFFF>", 1, "\x01\x02\x03", {2, 1}},
      // Shift-JIS-like: one byte below 0x81 and for half-width kana, two from 0x81.
      {"<00> <80> <8140> <9FFC> <A0> <DF>", 2, "A\x81\x40\xA5\x90", {1, 2, 1, 1}},
      // A second byte outside every range: the length of the first byte's range.
      {"<00> <80> <8140> <9FFC>", 2, "\x81\x20Z", {2, 1}},
      {"<00> <80> <8140> <9FFC>", 2, "\xF0Z", {1, 1}},
      {"<00000000> <FFFFFFFF>", 2, "abcdef", {4, 2}},
  };
  for (const Case& c : cases) {
    PdfCMap map = Parse(std::string("1 begincodespacerange ") + c.codespaces + " endcodespacerange");
    const std::vector<uint8_t> s(c.bytes.begin(), c.bytes.end());
    std::vector<int> lengths;
    uint32_t code = 0;
    for (size_t i = 0; i < s.size() && (lengths.empty() || lengths.back() > 0); i += size_t(lengths.back())) {
      lengths.push_back(PdfCMapNextCode(map, s.data() + i, s.size() - i, c.defaultBytes, &code));
    }
    EXPECT_EQ(lengths, c.lengths) << c.codespaces;
    EXPECT_EQ(code, uint8_t(s.back()) | (c.lengths.back() == 2 ? uint32_t(s[s.size() - 2]) << 8 : 0));
  }
}

}  // namespace
