// Throughput of the Kindle book reader on a book of about 2 MB of text (the
// test book's chapters repeated), read into memory and imported as the loader
// does: record table, PalmDoc decompression, KF8 assembly and HTML import.
// Run through scripts/bench-mobi.sh, which makes the books with ebook-convert
// and measures the whole open (layout included) under callgrind beside
// `ebook-convert BOOK out.txt`.
//   mobi_bench --once BOOK   imports one book once (for callgrind and massif)
//   mobi_bench [benchmark flags]   the books $QUILLO_MOBI_BENCH_DIR/book.{mobi,azw3}
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bench_file.h"
#include "importers/mobi.h"

namespace {

std::string BenchDir() {
  const char* dir = getenv("QUILLO_MOBI_BENCH_DIR");
  if (dir) return dir;
  const char* tmp = getenv("TMPDIR");
  return std::string(tmp && *tmp ? tmp : "/tmp") + "/quillo-mobi-bench";
}

void ImportBook(benchmark::State& state, const char* file) {
  int32_t length = 0;
  char* book = ReadBenchFile((BenchDir() + "/" + file).c_str(), &length);
  if (!book) {
    state.SkipWithError("no book (run scripts/bench-mobi.sh)");
    return;
  }
  size_t imported = 0;
  for (auto _ : state) {
    // The importer frees the file it is given: each round hands it a copy.
    char* copy = static_cast<char*>(malloc(size_t(length) + 1));
    memcpy(copy, book, size_t(length) + 1);
    char title[256];
    if (ImportMobi(&copy, length, title, sizeof title, nullptr) != MOBI_IMPORT_OK) {
      state.SkipWithError("the book does not import");
      break;
    }
    imported = strlen(copy);
    free(copy);
  }
  free(book);
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(imported));
}

void BM_ImportMobi(benchmark::State& state) { ImportBook(state, "book.mobi"); }
void BM_ImportAzw3(benchmark::State& state) { ImportBook(state, "book.azw3"); }
BENCHMARK(BM_ImportMobi)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ImportAzw3)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && strcmp(argv[1], "--once") == 0) {
    int32_t length = 0;
    char* book = ReadBenchFile(argv[2], &length);
    if (!book) return 1;
    char title[256];
    const int result = ImportMobi(&book, length, title, sizeof title, nullptr);
    if (result != MOBI_IMPORT_OK) return 1;
    fprintf(stderr, "%d bytes in, %zu bytes of formatted text\n", length, strlen(book));
    free(book);
    return 0;
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
