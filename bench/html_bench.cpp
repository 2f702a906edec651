// Throughput of the HTML importer on a 1 MB page, converted in place as the
// loader does. Run through scripts/bench-html.sh, which builds the page from the
// test pages and compares with html2text in the same run (wall time and
// callgrind counts).
//   html_bench --once PAGE   converts one page once (for callgrind)
//   html_bench [benchmark flags]   the page $QUILLO_HTML_BENCH_DIR/page.html
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

#include "bench_file.h"
#include "importers/html.h"

namespace {

std::string ReadFile(const char* path) {
  size_t length = 0;
  char* data = ReadBenchFile(path, &length);
  std::string page = data ? std::string(data, length) : std::string();
  free(data);
  return page;
}

// The scratch folder: $TMPDIR, or /tmp without it.
std::string TempDir() {
  const char* tmp = getenv("TMPDIR");
  return tmp && *tmp ? tmp : "/tmp";
}

std::string BenchPage() {
  const char* dir = getenv("QUILLO_HTML_BENCH_DIR");
  return (dir ? std::string(dir) : TempDir() + "/quillo-html-bench") + "/page.html";
}

void BM_ImportHtml(benchmark::State& state) {
  const std::string page = ReadFile(BenchPage().c_str());
  if (page.empty()) {
    state.SkipWithError("no page (run scripts/bench-html.sh)");
    return;
  }
  char* buffer = static_cast<char*>(malloc(page.size() + 1));
  for (auto _ : state) {
    // The conversion writes over its input: every round starts from the page.
    memcpy(buffer, page.data(), page.size() + 1);
    ImportHtml(nullptr, buffer, int32_t(page.size()));
    benchmark::DoNotOptimize(buffer);
  }
  free(buffer);
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(page.size()));
}
BENCHMARK(BM_ImportHtml)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && strcmp(argv[1], "--once") == 0) {
    size_t length = 0;
    char* buffer = ReadBenchFile(argv[2], &length);
    if (!buffer) return 1;
    ImportHtml(nullptr, buffer, int32_t(length));
    fprintf(stderr, "%zu bytes in, %zu bytes of formatted text\n", length, strlen(buffer));
    free(buffer);
    return 0;
  }
  // Numeric references trace their digits on standard output; the figures go to
  // standard error so that the trace can be thrown away.
  benchmark::Initialize(&argc, argv);
  benchmark::ConsoleReporter reporter;
  reporter.SetOutputStream(&std::cerr);
  reporter.SetErrorStream(&std::cerr);
  if (!freopen("/dev/null", "w", stdout)) return 1;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
