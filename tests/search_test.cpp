// Text search: case folding, matches that run over a wrap, start lines out of
// range and the end of the text.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "document/layout.h"
#include "document/search.h"
#include "document/text.h"
#include "mono_font.h"

namespace {

struct Doc {
  Text text;
  Doc(const std::string& bytes, const BitmapFont* font) {
    text.font = font;
    text.text = static_cast<char*>(std::malloc(bytes.size() + 1));
    std::memcpy(text.text, bytes.c_str(), bytes.size() + 1);
    LayoutLines(&text, font, text.text, START_STYLE);
  }
  ~Doc() { ClearTextContents(&text); }
};

}  // namespace

TEST(Search, FoldTable) {
  EXPECT_EQ(SearchFold['A'], 'a');
  EXPECT_EQ(SearchFold['z'], 'z');
  EXPECT_EQ(SearchFold[0], '_');
  EXPECT_EQ(SearchFold[1], '_');
  EXPECT_EQ(SearchFold['\n'], '_');
  EXPECT_EQ(SearchFold[129], '?');
  EXPECT_EQ(SearchFold[0xC9], 0xE9);  // E acute
  EXPECT_EQ(SearchFold[0xD7], 0xF7);  // the multiplication sign, as the table has it
  EXPECT_EQ(SearchFold[0xDC], 0xFC);
  EXPECT_EQ(SearchFold[0xDD], 0xDD);
  EXPECT_EQ(SearchFold[0xDF], 0xDF);
  EXPECT_EQ(SearchFold[0xFF], 0xFF);
}

TEST(Search, FoldsAsciiAndAccentedCapitals) {
  MonoFont mono(10, 10);
  Doc d("first line\nTHE CAPITAL WORDS\nCanci\xD3N \xC9T\xC9\nstra\xDF" "e\n", &mono.font);
  ASSERT_EQ(d.text.lineCount, 4);
  EXPECT_EQ(FindText(&d.text, 0, "capital"), 1);
  EXPECT_EQ(FindText(&d.text, 0, "CaPiTaL wOrDs"), 1);
  EXPECT_EQ(FindText(&d.text, 0, "canci\xF3n"), 2);
  EXPECT_EQ(FindText(&d.text, 0, "\xE9t\xE9"), 2);
  EXPECT_EQ(FindText(&d.text, 0, "stra\xDF" "e"), 3);
  EXPECT_EQ(FindText(&d.text, 0, "STRA\xDF" "E"), 3);
  EXPECT_EQ(FindText(&d.text, 0, "missing"), -1);
  // Control bytes compare as "_", so a format code is "_" and its letter.
  Doc b("plain \1Bbold\1b end", &mono.font);
  EXPECT_EQ(FindText(&b.text, 0, "plain _bbold"), 0);
  EXPECT_EQ(FindText(&b.text, 0, "plain bold"), -1);
}

TEST(Search, MatchAcrossWrapIsReportedOnFirstLine) {
  MonoFont mono(10, 10);
  std::string s;
  for (int i = 0; i < 6; ++i) s += "word ";
  s += "after the wrap";
  Doc d(s, &mono.font);
  ASSERT_EQ(d.text.lineCount, 2);
  EXPECT_EQ(FindText(&d.text, 0, "word after"), 0);
  EXPECT_EQ(FindText(&d.text, 0, "after"), 1);
  // A match may run over a line end too.
  Doc e("end of one\r\nnext", &mono.font);
  EXPECT_EQ(FindText(&e.text, 0, "one__next"), 0);
  // A match never starts on the breaking space or the line end.
  EXPECT_EQ(FindText(&e.text, 1, "__next"), -1);
}

TEST(Search, StartLinesAndEmptyInput) {
  MonoFont mono(10, 10);
  Doc d("alpha\nbeta\nalpha\n\ngamma", &mono.font);
  ASSERT_EQ(d.text.lineCount, 5);
  EXPECT_EQ(FindText(&d.text, -7, "alpha"), 0);
  EXPECT_EQ(FindText(&d.text, 1, "alpha"), 2);
  EXPECT_EQ(FindText(&d.text, 3, "alpha"), -1);
  EXPECT_EQ(FindText(&d.text, 5, "gamma"), -1);
  EXPECT_EQ(FindText(&d.text, 500, "gamma"), -1);
  // An empty pattern matches on the first line from start that is not empty.
  EXPECT_EQ(FindText(&d.text, 3, ""), 4);
  Text none;
  EXPECT_EQ(FindText(&none, 0, "x"), -1);
  EXPECT_EQ(FindText(&d.text, 0, nullptr), -1);
}

TEST(Search, ComparisonStopsAtTheEndOfTheText) {
  MonoFont mono(10, 10);
  // The NUL folds like "_" but ends the text: a pattern that would go on past
  // it does not match (and nothing past it is read).
  Doc d("tail", &mono.font);
  EXPECT_EQ(FindText(&d.text, 0, "tail"), 0);
  EXPECT_EQ(FindText(&d.text, 0, "tail_"), -1);
  EXPECT_EQ(FindText(&d.text, 0, "ail\x01"), -1);
  EXPECT_EQ(FindText(&d.text, 0, "l__"), -1);
}

namespace {

// Every start of every line compared in full, byte by byte, as the search is
// defined; the fast scan must give the same line for every pattern.
int32_t PlainScan(const Text* text, int32_t start, const char* pattern) {
  if (start < 0) start = 0;
  const size_t n = std::strlen(pattern);
  for (int32_t i = start; i < text->lineCount; ++i) {
    const uint8_t* s = reinterpret_cast<const uint8_t*>(text->lines[i].start);
    for (uint32_t k = 0; k < text->lines[i].length; ++k) {
      size_t j = 0;
      while (j < n && s[k + j] != 0 &&
             SearchFold[s[k + j]] == SearchFold[uint8_t(pattern[j])]) {
        ++j;
      }
      if (j == n) return i;
      if (s[k + j] == 0) return -1;
    }
  }
  return -1;
}

}  // namespace

TEST(Search, FastScanFindsWhatThePlainScanFinds) {
  MonoFont mono(10, 10);
  // Few letters, capitals, accents, codes and line ends, so patterns often
  // match in part, across lines and at the end of the text.
  const char alphabet[] = "abAB \xE9\xC9\x01\r\n_?\x81";
  uint32_t seed = 7;
  auto next = [&]() { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7FFF; };
  for (int round = 0; round < 60; ++round) {
    std::string bytes;
    const int size = int(next() % 300);
    for (int i = 0; i < size; ++i) bytes += alphabet[next() % (sizeof alphabet - 1)];
    Doc d(bytes, &mono.font);
    for (int p = 0; p < 40; ++p) {
      std::string pattern;
      const int length = int(next() % 5);
      for (int i = 0; i < length; ++i) pattern += alphabet[next() % (sizeof alphabet - 1)];
      const int32_t start = int32_t(next() % 8) - 2;
      ASSERT_EQ(FindText(&d.text, start, pattern.c_str()), PlainScan(&d.text, start, pattern.c_str()))
          << "round " << round << " pattern " << p;
    }
  }
}
