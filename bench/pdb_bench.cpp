// Throughput of the PalmDoc importer on a book of about 5 MB compressed, read
// into memory and decoded as the loader does. Run through scripts/bench-pdb.sh,
// which makes the book with txt2pdbdoc and compares with `txt2pdbdoc -d` in the
// same run (wall time, callgrind counts and peak heap).
//   pdb_bench --once BOOK   decodes one book once (for callgrind and massif)
//   pdb_bench [benchmark flags]   the book $QUILLO_PDB_BENCH_DIR/book.pdb
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bench_file.h"
#include "importers/pdb.h"

namespace {

// The scratch folder: $TMPDIR, or /tmp without it.
std::string TempDir() {
  const char* tmp = getenv("TMPDIR");
  return tmp && *tmp ? tmp : "/tmp";
}

std::string BenchBook() {
  const char* dir = getenv("QUILLO_PDB_BENCH_DIR");
  return (dir ? std::string(dir) : TempDir() + "/quillo-pdb-bench") + "/book.pdb";
}

void BM_ImportPdb(benchmark::State& state) {
  int32_t length = 0;
  char* book = ReadBenchFile(BenchBook().c_str(), &length);
  if (!book) {
    state.SkipWithError("no book (run scripts/bench-pdb.sh)");
    return;
  }
  size_t decoded = 0;
  for (auto _ : state) {
    // The importer frees the file it is given: each round hands it a copy.
    char* copy = static_cast<char*>(malloc(size_t(length) + 1));
    memcpy(copy, book, size_t(length) + 1);
    ImportPdb(nullptr, &copy, length);
    if (!copy) {
      state.SkipWithError("the book does not decode");
      break;
    }
    decoded = strlen(copy);
    free(copy);
  }
  free(book);
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(decoded));
}
BENCHMARK(BM_ImportPdb)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && strcmp(argv[1], "--once") == 0) {
    int32_t length = 0;
    char* book = ReadBenchFile(argv[2], &length);
    if (!book) return 1;
    ImportPdb(nullptr, &book, length);
    if (!book) return 1;
    fprintf(stderr, "%d bytes in, %zu bytes of text\n", length, strlen(book));
    free(book);
    return 0;
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
