// Opening the menu (the bar and the File list drawn over the page and shown)
// and moving the selection one row (the list redrawn and shown), with the
// scripted key source. Run through scripts/bench-menu.sh, which counts the
// instructions of RunMenu under callgrind:
//   menu_bench --once-open N   N openings, each cancelled at its first frame
//   menu_bench --once-move N   one opening with N moves of one row, then cancel
//   menu_bench [benchmark flags]
#include <benchmark/benchmark.h>

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
#include "platform/keys.h"
#include "platform/settings.h"
#include "platform/video.h"
#include "ui/menu.h"

namespace {

void StartPlatform() {
  if (!StartBenchPlatform(true)) return;
  std::string page;
  for (int i = 0; i < 200; ++i) page += "A line of the page that lies under the menu while it is open.\n";
  LoadFromMemory(g_text, strdup(page.c_str()));
  refresh_text(true);
}

void Open(int times) {
  for (int i = 0; i < times; ++i) {
    GpSetKeyScript({{KEY_CANCEL, 1}});
    RunMenu();
  }
}

void Move(int rows) {
  GpSetKeyScript({{KEY_DOWN, rows}, {KEY_CANCEL, 1}});
  RunMenu();
}

void BM_OpenMenu(benchmark::State& state) {
  StartPlatform();
  for (auto _ : state) Open(1);
}
BENCHMARK(BM_OpenMenu)->Unit(benchmark::kMicrosecond);

void BM_MoveOneRow(benchmark::State& state) {
  StartPlatform();
  // One opening per 100 moves: the moves dominate.
  for (auto _ : state) Move(100);
  state.SetItemsProcessed(int64_t(state.iterations()) * 100);
}
BENCHMARK(BM_MoveOneRow)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--once-open") == 0) {
    StartPlatform();
    Open(std::atoi(argv[2]));
    return 0;
  }
  if (argc == 3 && std::strcmp(argv[1], "--once-move") == 0) {
    StartPlatform();
    Move(std::atoi(argv[2]));
    return 0;
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
