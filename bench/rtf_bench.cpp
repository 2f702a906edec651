// Throughput of the RTF importer on ~1 MB documents from pandoc and LibreOffice,
// converted as the loader does (into a new buffer). Run through
// scripts/bench-rtf.sh, which makes the documents and compares with
// `unrtf --text` in the same run (wall time and callgrind counts).
//   rtf_bench --once FILE          converts one document once (for callgrind)
//   rtf_bench [benchmark flags]    the documents in $QUILLO_RTF_BENCH_DIR
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "document/text.h"
#include "importers/rtf.h"

namespace {

// The whole file as a string; empty when it cannot be read.
std::string ReadDocument(const char* path) {
  std::string data;
  FILE* f = fopen(path, "rb");
  if (!f) return data;
  char chunk[65536];
  size_t got;
  while ((got = fread(chunk, 1, sizeof chunk, f)) > 0) data.append(chunk, got);
  fclose(f);
  return data;
}

// A malloc'd NUL-terminated copy, as the loader hands a file over.
char* LoaderBuffer(const std::string& document) {
  char* buffer = static_cast<char*>(malloc(document.size() + 1));
  memcpy(buffer, document.data(), document.size() + 1);
  return buffer;
}

// The scratch folder: $TMPDIR, or /tmp without it.
std::string TempDir() {
  const char* tmp = getenv("TMPDIR");
  return tmp && *tmp ? tmp : "/tmp";
}

std::string BenchFile(const char* name) {
  const char* dir = getenv("QUILLO_RTF_BENCH_DIR");
  return (dir ? std::string(dir) : TempDir() + "/quillo-rtf-bench") + "/" + name;
}

void ImportBench(benchmark::State& state, const char* name) {
  const std::string document = ReadDocument(BenchFile(name).c_str());
  if (document.empty()) {
    state.SkipWithError("no document (run scripts/bench-rtf.sh)");
    return;
  }
  Text text;
  for (auto _ : state) {
    char* buffer = LoaderBuffer(document);
    ImportRtf(&text, &buffer, int32_t(document.size()));
    benchmark::DoNotOptimize(buffer);
    free(buffer);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(document.size()));
}

void BM_ImportRtfPandoc(benchmark::State& state) { ImportBench(state, "pandoc.rtf"); }
void BM_ImportRtfLibreOffice(benchmark::State& state) { ImportBench(state, "libreoffice.rtf"); }
BENCHMARK(BM_ImportRtfPandoc)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ImportRtfLibreOffice)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && strcmp(argv[1], "--once") == 0) {
    const std::string document = ReadDocument(argv[2]);
    if (document.empty()) return 1;
    Text text;
    char* buffer = LoaderBuffer(document);
    const int result = ImportRtf(&text, &buffer, int32_t(document.size()));
    fprintf(stderr, "%zu bytes in, %zu bytes of formatted text, result %d\n", document.size(),
            buffer ? strlen(buffer) : 0, result);
    free(buffer);
    return 0;
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
