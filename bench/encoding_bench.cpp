// Encoding detection and conversion of a large UTF-8 book, in place as the
// loader does it. Run through scripts/bench-encoding.sh, which builds the books
// from the encoding test text and reports instructions per byte under
// callgrind and the render tool's peak memory against the same book in code
// page 1252.
//   encoding_bench --once BOOK   detects and converts one book once, for
//     valgrind --tool=callgrind --toggle-collect=ConvertDocumentEncoding* encoding_bench --once BOOK
//     (divide the count by the book's size)
//   encoding_bench [benchmark flags]   the book $QUILLO_ENCODING_BENCH_DIR/book-utf8.txt
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bench_file.h"
#include "document/encoding.h"

namespace {

std::string BenchBook() {
  const char* dir = getenv("QUILLO_ENCODING_BENCH_DIR");
  const char* tmp = getenv("TMPDIR");
  const std::string base = dir ? dir : std::string(tmp && *tmp ? tmp : "/tmp") + "/quillo-encoding-bench";
  return base + "/book-utf8.txt";
}

void BM_ConvertUtf8Book(benchmark::State& state) {
  size_t length = 0;
  char* book = ReadBenchFile(BenchBook().c_str(), &length);
  if (!book) {
    state.SkipWithError("no book (run scripts/bench-encoding.sh)");
    return;
  }
  char* buffer = static_cast<char*>(malloc(length + 1));
  for (auto _ : state) {
    // The conversion writes over its input: every round starts from the book.
    memcpy(buffer, book, length + 1);
    int32_t size = int32_t(length);
    ConvertDocumentEncoding("book.txt", buffer, &size);
    benchmark::DoNotOptimize(size);
  }
  free(buffer);
  free(book);
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(length));
}
BENCHMARK(BM_ConvertUtf8Book)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && strcmp(argv[1], "--once") == 0) {
    size_t length = 0;
    char* book = ReadBenchFile(argv[2], &length);
    if (!book) return 1;
    int32_t size = int32_t(length);
    ConvertDocumentEncoding("book.txt", book, &size);
    printf("%zu bytes in, %d out\n", length, int(size));
    free(book);
    return 0;
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  return 0;
}
