// Throughput of reading a whole archive entry with one ArchiveReadEntry, as the
// file dialog does: a 20 MB deflated entry and the same stored. Run through
// scripts/bench-zip.sh, which makes the archives with Info-ZIP zip and compares
// with `unzip -p` and `cat` in the same run (wall time and callgrind counts).
//   zip_bench --once ARCHIVE INDEX   reads one entry once (for callgrind)
//   zip_bench [benchmark flags]      archives from $QUILLO_ZIP_BENCH_DIR
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "zip/archive.h"

namespace {

// Reads entry index of the archive whole into a fresh buffer of its size + 1.
// Returns the bytes delivered, or a negative code; *closeResult gets the CRC
// check's result.
long ReadWholeEntry(const char* path, int index, int* closeResult) {
  ZipArchive* archive = ArchiveOpen(path);
  if (!archive) return ZIP_ERRNO;
  int result = ArchiveFirstEntry(archive);
  for (int i = 0; i < index && result == ZIP_OK; i++) result = ArchiveNextEntry(archive);
  if (result == ZIP_OK) result = ArchiveOpenEntry(archive);
  ZipEntryInfo info;
  if (result == ZIP_OK) result = ArchiveEntryInfo(archive, &info, nullptr, 0);
  long delivered = result;
  if (result == ZIP_OK) {
    char* buffer = static_cast<char*>(malloc(size_t(info.uncompressedSize) + 1));
    delivered = buffer ? ArchiveReadEntry(archive, buffer, info.uncompressedSize) : ZIP_INTERNAL_ERROR;
    if (buffer && delivered >= 0) buffer[delivered] = '\0';
    benchmark::DoNotOptimize(buffer);
    free(buffer);
    *closeResult = ArchiveCloseEntry(archive);
  }
  ArchiveClose(archive);
  return delivered;
}

// The scratch folder: $TMPDIR, or /tmp without it.
std::string TempDir() {
  const char* tmp = getenv("TMPDIR");
  return tmp && *tmp ? tmp : "/tmp";
}

std::string BenchArchive(const char* name) {
  const char* dir = getenv("QUILLO_ZIP_BENCH_DIR");
  return (dir ? std::string(dir) : TempDir() + "/quillo-zip-bench") + "/" + name;
}

void ReadEntry(benchmark::State& state, const char* name) {
  const std::string path = BenchArchive(name);
  long bytes = 0;
  for (auto _ : state) {
    int closeResult = ZIP_OK;
    bytes = ReadWholeEntry(path.c_str(), 0, &closeResult);
    if (bytes < 0 || closeResult != ZIP_OK) {
      state.SkipWithError("cannot read the entry (run scripts/bench-zip.sh)");
      break;
    }
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * bytes);
}

void BM_ReadDeflatedEntry(benchmark::State& state) { ReadEntry(state, "deflated.zip"); }
void BM_ReadStoredEntry(benchmark::State& state) { ReadEntry(state, "stored.zip"); }
BENCHMARK(BM_ReadDeflatedEntry)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadStoredEntry)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && strcmp(argv[1], "--once") == 0) {
    int closeResult = ZIP_OK;
    const long bytes = ReadWholeEntry(argv[2], atoi(argv[3]), &closeResult);
    printf("%ld bytes, close %d\n", bytes, closeResult);
    return bytes >= 0 && closeResult == ZIP_OK ? 0 : 1;
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
