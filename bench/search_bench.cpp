// FindText over a 10 MB laid-out book that does not hold the text, so every
// line is scanned. Instructions per byte under callgrind (the count divided
// by the bytes that --once prints; scripts/bench-search.sh does both):
//   valgrind --tool=callgrind --toggle-collect=FindText* search_bench --once
//   search_bench [benchmark flags]        the same search timed in a loop
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "document/layout.h"
#include "document/search.h"
#include "document/text.h"
#include "platform/font.h"

namespace {

constexpr size_t BOOK_BYTES = 10u * 1024 * 1024;
// Not in the book, and its first letter is common in it, which is the harder
// case for the scan: many starts get past the first comparison.
constexpr const char* ABSENT = "tidewater";

// Made-up prose from a fixed word list with paragraph breaks, as plain-text
// books are, laid out with the small font.
Text* MakeBook() {
  static const char* const words[] = {
      "the",   "river", "slowly", "turned", "towards", "an",     "old",    "mill",  "where",
      "seven", "small", "boats",  "waited", "quietly", "under",  "grey",   "skies", "and",
      "nobody", "knew", "why",    "lanterns", "were",  "burning", "at",   "noon",  "while",
      "a",     "keeper", "counted", "stones", "Morning", "came",  "early", "with", "cold",
      "tides", "water", "Tide"};
  const int count = int(sizeof words / sizeof words[0]);
  std::string book;
  book.reserve(BOOK_BYTES + 64);
  uint32_t seed = 2024;
  while (book.size() < BOOK_BYTES) {
    seed = seed * 1103515245u + 12345u;
    const int length = 40 + int((seed >> 16) % 120);
    for (int w = 0; w < length; ++w) {
      seed = seed * 1103515245u + 12345u;
      book += words[(seed >> 16) % count];
      book += w + 1 == length ? ".\r\n\r\n" : " ";
    }
  }
  InitFonts();
  Text* text = CreateText(TEXT_LAYOUT_WIDTH);
  text->font = &FontSmall;
  text->text = static_cast<char*>(std::malloc(book.size() + 1));
  std::memcpy(text->text, book.c_str(), book.size() + 1);
  LayoutLines(text, text->font, text->text, START_STYLE);
  return text;
}

void BM_FindTextAbsent(benchmark::State& state) {
  static Text* book = MakeBook();
  const size_t bytes = std::strlen(book->text);
  for (auto _ : state) {
    benchmark::DoNotOptimize(FindText(book, 0, ABSENT));
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
}
BENCHMARK(BM_FindTextAbsent)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "--once") == 0) {
    Text* book = MakeBook();
    const int32_t found = FindText(book, 0, ABSENT);
    std::printf("bytes %zu lines %d result %d\n", std::strlen(book->text), int(book->lineCount),
                int(found));
    ReleaseText(book);
    return found == -1 ? 0 : 1;
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  return 0;
}
