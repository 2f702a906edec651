// Cost of one frame's fixed work: presenting a full buffer (the column-major to
// row-major conversion into the SDL screen) and clearing a buffer. Measure with
//   valgrind --tool=callgrind
//     "--toggle-collect=(anonymous namespace)::PresentAndClear(unsigned short)"
//     ./platform_bench --benchmark_filter=Fixed          (on one line)
// and divide the collected count by its 100 iterations. (A pattern such as
// "*PresentAndClear*" also matches the benchmark function BM_PresentAndClear,
// and the two toggles nest: collection is on around the helper, off inside it.)
#include <benchmark/benchmark.h>
#include <cstdlib>

#include "bench_platform.h"
#include "platform/files.h"
#include "platform/video.h"

namespace {

void StartPlatform() { StartBenchPlatform(false); }

__attribute__((noinline)) void PresentAndClear(uint16_t colour) {
  ClearBuffer(g_video->BackBuffer(), colour);
  g_video->Flip();
}

void BM_PresentAndClear(benchmark::State& state) {
  StartPlatform();
  uint16_t colour = 0;
  for (auto _ : state) {
    PresentAndClear(colour++);
    GpAdvanceVirtualClock(20);
  }
}
BENCHMARK(BM_PresentAndClear);
BENCHMARK(BM_PresentAndClear)->Name("PresentAndClearFixed")->Iterations(100);

void BM_ClearBuffer(benchmark::State& state) {
  StartPlatform();
  for (auto _ : state) {
    ClearBuffer(g_video->BackBuffer(), 0xFFFF);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_ClearBuffer);

}  // namespace

BENCHMARK_MAIN();
