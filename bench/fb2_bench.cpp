// Opening a FictionBook of some 2 MB of text: parsing, importing and laying
// out, through LoadFromBuffer as the reader does. Run through
// scripts/bench-fb2.sh, which builds the book and compares with calibre's
// ebook-convert in the same run (wall time and callgrind counts).
//   fb2_bench --once BOOK   opens one book once (for callgrind and the peak size)
//   fb2_bench [benchmark flags]   the book $QUILLO_FB2_BENCH_DIR/book.fb2
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

#include "bench_file.h"
#include "bench_platform.h"
#include "importers/load.h"

namespace {

std::string BenchBook() {
  const char* dir = getenv("QUILLO_FB2_BENCH_DIR");
  const char* tmp = getenv("TMPDIR");
  return (dir ? std::string(dir) : std::string(tmp && *tmp ? tmp : "/tmp") + "/quillo-fb2-bench") + "/book.fb2";
}

void BM_OpenFb2(benchmark::State& state) {
  StartBenchPlatform(true);
  size_t length = 0;
  char* book = ReadBenchFile(BenchBook().c_str(), &length);
  if (!book) {
    state.SkipWithError("no book (run scripts/bench-fb2.sh)");
    return;
  }
  size_t text = 0;
  for (auto _ : state) {
    // The loader takes the buffer: every round hands it a new copy.
    char* copy = static_cast<char*>(malloc(length + 1));
    memcpy(copy, book, length + 1);
    LoadFromBuffer(g_text, "book.fb2", copy, int32_t(length));
    text = g_text->text ? strlen(g_text->text) : 0;
    benchmark::DoNotOptimize(g_text->lines);
  }
  free(book);
  state.counters["text_bytes"] = double(text);
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text));
}
BENCHMARK(BM_OpenFb2)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && strcmp(argv[1], "--once") == 0) {
    StartBenchPlatform(true);
    size_t length = 0;
    char* book = ReadBenchFile(argv[2], &length);
    if (!book) return 1;
    LoadFromBuffer(g_text, argv[2], book, int32_t(length));
    fprintf(stderr, "%zu bytes in, %zu bytes of formatted text, %ld lines\n", length,
            g_text->text ? strlen(g_text->text) : 0, long(g_text->lineCount));
    return g_text->text ? 0 : 1;
  }
  benchmark::Initialize(&argc, argv);
  benchmark::ConsoleReporter reporter;
  reporter.SetOutputStream(&std::cerr);
  reporter.SetErrorStream(&std::cerr);
  if (!freopen("/dev/null", "w", stdout)) return 1;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
