// Opening a large plain-text book (read whole, soft breaks joined, laid out)
// and drawing one page with the title bar and a flip. Run through
// scripts/bench-document.sh, which counts instructions under callgrind and
// compares with fold(1) on the same book in the same run.
//   document_bench --make-book PATH BYTES   writes the generated book
//   document_bench --once-load PATH         LoadFromFile once (for callgrind)
//   document_bench --once-frame PATH        loads, draws the page once, then ten
//                                           1-pixel ScrollText frames
//   document_bench --once-page PATH         loads, draws the page once, then ten
//                                           page moves (210 pixels) with ScrollText
//   document_bench [benchmark flags]        both, on a 10 MB book in $TMPDIR (/tmp)
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bench_platform.h"
#include "document/layout.h"
#include "document/render.h"
#include "document/text.h"
#include "importers/load.h"
#include "platform/files.h"
#include "platform/font.h"
#include "platform/settings.h"
#include "platform/video.h"

namespace {

constexpr long BOOK_BYTES = 10L * 1024 * 1024;

// Made-up prose from a fixed word list, hard-wrapped near 64 columns with
// soft breaks (space, CR, LF) and blank lines between paragraphs, as
// plain-text books from the net are.
void MakeBook(const char* path, long bytes) {
  static const char* const words[] = {
      "the",   "river", "slowly", "turned", "towards", "an",     "old",    "mill",  "where",
      "seven", "small", "boats",  "waited", "quietly", "under",  "grey",   "skies", "and",
      "nobody", "knew", "why",    "lanterns", "were",  "burning", "at",   "noon",  "while",
      "a",     "keeper", "counted", "stones", "Morning", "came",  "early", "with", "cold"};
  const int count = int(sizeof words / sizeof words[0]);
  FILE* f = std::fopen(path, "wb");
  if (!f) return;
  uint32_t seed = 2024;
  long written = 0;
  std::string para;
  while (written < bytes) {
    para.clear();
    seed = seed * 1103515245u + 12345u;
    const int length = 40 + int((seed >> 16) % 120);
    int column = 0;
    for (int w = 0; w < length; ++w) {
      seed = seed * 1103515245u + 12345u;
      const char* word = words[(seed >> 16) % count];
      para += word;
      column += int(std::strlen(word)) + 1;
      if (w + 1 == length) {
        para += ".\r\n\r\n";
      } else if (column > 64) {
        para += " \r\n";
        column = 0;
      } else {
        para += ' ';
      }
    }
    std::fwrite(para.data(), 1, para.size(), f);
    written += long(para.size());
  }
  std::fclose(f);
}

void StartPlatform() { StartBenchPlatform(true); }

// The scratch folder: $TMPDIR, or /tmp without it.
std::string TempDir() {
  const char* tmp = std::getenv("TMPDIR");
  return tmp && *tmp ? tmp : "/tmp";
}

std::string BookPath() {
  const char* dir = std::getenv("QUILLO_DOCUMENT_BENCH_DIR");
  return (dir ? std::string(dir) : TempDir()) + "/quillo-book-10mb.txt";
}

void EnsureBook(const std::string& path) {
  int32_t size = 0;
  if (GpFileGetSize(path.c_str(), &size) == FAT_OK && size >= BOOK_BYTES) return;
  MakeBook(path.c_str(), BOOK_BYTES);
}

void BM_LoadJoinLayout(benchmark::State& state) {
  StartPlatform();
  const std::string path = BookPath();
  EnsureBook(path);
  int32_t size = 0;
  GpFileGetSize(path.c_str(), &size);
  for (auto _ : state) {
    LoadFromFile(g_text, path.c_str());
    benchmark::DoNotOptimize(g_text->lineCount);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * size);
  state.counters["lines"] = double(g_text->lineCount);
}
BENCHMARK(BM_LoadJoinLayout)->Unit(benchmark::kMillisecond);

void BM_ScrollTextFrame(benchmark::State& state) {
  StartPlatform();
  const std::string path = BookPath();
  EnsureBook(path);
  if (g_text->lineCount == 0) LoadFromFile(g_text, path.c_str());
  int32_t position = DocumentHeight(g_text) / 2;
  for (auto _ : state) {
    position = ScrollText(position, 1, g_video->BackBuffer(), true);
  }
}
BENCHMARK(BM_ScrollTextFrame)->Unit(benchmark::kMicrosecond);

void BM_PageMoveFrame(benchmark::State& state) {
  StartPlatform();
  const std::string path = BookPath();
  EnsureBook(path);
  if (g_text->lineCount == 0) LoadFromFile(g_text, path.c_str());
  int32_t position = DocumentHeight(g_text) / 2;
  int32_t step = 210;
  for (auto _ : state) {
    position = ScrollText(position, step, g_video->BackBuffer(), true);
    step = -step;
  }
}
BENCHMARK(BM_PageMoveFrame)->Unit(benchmark::kMicrosecond);

// Loads the book and draws the page in its middle once (refresh_text, outside
// callgrind's ScrollText toggle), then ten ScrollText frames of delta each.
int TenFrames(const char* path, int32_t delta) {
  StartPlatform();
  if (!LoadFromFile(g_text, path)) return 1;
  g_currentEntry.position = DocumentHeight(g_text) / 2;
  g_currentEntry.position = refresh_text(true);
  int32_t position = g_currentEntry.position;
  for (int i = 0; i < 10; ++i) position = ScrollText(position, delta, g_video->BackBuffer(), true);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--make-book") == 0) {
    MakeBook(argv[2], std::atol(argv[3]));
    return 0;
  }
  if (argc == 3 && std::strcmp(argv[1], "--once-load") == 0) {
    StartPlatform();
    if (!LoadFromFile(g_text, argv[2])) return 1;
    std::printf("%ld lines, %ld pixels\n", long(g_text->lineCount), long(DocumentHeight(g_text)));
    return 0;
  }
  // Ten frames each; callgrind's count is divided by ten.
  if (argc == 3 && std::strcmp(argv[1], "--once-frame") == 0) return TenFrames(argv[2], 1);
  if (argc == 3 && std::strcmp(argv[1], "--once-page") == 0) return TenFrames(argv[2], 210);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
