// Cost of drawing a full screen of body text with the document glyph renderer:
// 14 lines of up to 55 characters of FontSmall at the default weight, broken
// to the page width as a page of the reader shows them. Peer in the same run:
// clearing the frame buffer. Measure with
//   valgrind --tool=callgrind --toggle-collect="*DrawBodyScreen*"
//     --toggle-collect="*ClearScreenPeer*" ./font_bench --benchmark_filter=Fixed
//   callgrind_annotate --inclusive=yes callgrind.out.<pid> | grep -E 'DrawBody|ClearScreen'
// and divide each count by its 100 iterations.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>

#include "platform/files.h"
#include "platform/font.h"
#include "platform/settings.h"
#include "platform/video.h"

namespace {

constexpr int LINES = 14;
constexpr int LINE_CHARS = 55;
constexpr int LINE_HEIGHT = 15;

uint16_t g_frame[FRAME_PIXELS];
char g_lines[LINES][LINE_CHARS + 1];
int g_chars = 0;  // bytes drawn per screen

void Setup() {
  static bool done = false;
  if (done) return;
  done = true;
  setenv("SDL_VIDEODRIVER", "dummy", 1);
  InitFonts();
  g_settings.textWeight = 16;
  g_settings.textColour = 0x0000;
  static const char prose[] =
      "It was the best of times, it was the worst of times, it was the age of wisdom, it "
      "was the age of foolishness, it was the epoch of belief, it was the epoch of "
      "incredulity, it was the season of Light, it was the season of Darkness, it was the "
      "spring of hope, it was the winter of despair, we had everything before us, we had "
      "nothing before us, we were all going direct to Heaven, we were all going direct the "
      "other way; in short, the period was so far like the present period, that some of its "
      "noisiest authorities insisted on its being received, for good or for evil, in the "
      "superlative degree of comparison only. There were a king with a large jaw and a queen "
      "with a plain face, on the throne of England; there were a king with a large jaw and a "
      "queen with a fair face, on the throne of France.";
  // Lines broken at spaces to fit the 310-pixel page width, as layout does.
  const size_t n = std::strlen(prose);
  size_t at = 0;
  for (int l = 0; l < LINES; ++l) {
    int len = 0, width = 0, lastSpace = -1;
    while (len < LINE_CHARS) {
      const uint8_t c = uint8_t(prose[(at + size_t(len)) % n]);
      const int w = CharWidth(&FontSmall, 0, c, 0);
      if (width + w > 310) break;
      if (c == ' ') lastSpace = len;
      width += w;
      ++len;
    }
    if (len < LINE_CHARS && lastSpace > 0) len = lastSpace;
    for (int i = 0; i < len; ++i) g_lines[l][i] = prose[(at + size_t(i)) % n];
    g_lines[l][len] = '\0';
    g_chars += len;
    at += size_t(len) + 1;
  }
}

__attribute__((noinline)) void DrawBodyScreen(uint16_t* buf) {
  for (int l = 0; l < LINES; ++l) {
    int pen = 5;
    const int y = 5 + l * LINE_HEIGHT;
    for (const char* p = g_lines[l]; *p; ++p) {
      pen += DrawTextChar(&FontSmall, int16_t(pen), int16_t(y), uint8_t(*p), 0, buf, nullptr,
                          nullptr);
    }
  }
}

__attribute__((noinline)) void ClearScreenPeer(uint16_t* buf) { ClearBuffer(buf, 0xFFFF); }

void BM_FontScreen(benchmark::State& state) {
  Setup();
  for (auto _ : state) {
    ClearScreenPeer(g_frame);
    DrawBodyScreen(g_frame);
    benchmark::DoNotOptimize(g_frame[PixelIndex(10, 10)]);
  }
  state.counters["chars"] = g_chars;
}
BENCHMARK(BM_FontScreen);
BENCHMARK(BM_FontScreen)->Name("FontScreenFixed")->Iterations(100);

}  // namespace

BENCHMARK_MAIN();
