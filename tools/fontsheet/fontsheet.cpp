// fontsheet: writes the font sheet, every frame of tools/fontsheet/sheet.h
// tiled four across into one 24-bit BMP, so that a person can judge the fonts.
// Usage: fontsheet OUT.bmp (runs on SDL's dummy video driver, no window).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/files.h"
#include "platform/font.h"
#include "platform/video.h"
#include "sheet.h"

namespace {

bool WriteBmp(const char* path, int width, int height, const std::vector<uint8_t>& rgb) {
  const int rowBytes = (width * 3 + 3) & ~3;
  const uint32_t dataSize = uint32_t(rowBytes * height);
  uint8_t header[54] = {'B', 'M'};
  auto put32 = [&](int at, uint32_t v) {
    for (int i = 0; i < 4; ++i) header[at + i] = uint8_t(v >> (8 * i));
  };
  put32(2, 54 + dataSize);
  put32(10, 54);
  put32(14, 40);
  put32(18, uint32_t(width));
  put32(22, uint32_t(height));
  header[26] = 1;
  header[28] = 24;
  put32(34, dataSize);
  FILE* f = std::fopen(path, "wb");
  if (!f) return false;
  bool ok = std::fwrite(header, 1, sizeof header, f) == sizeof header;
  std::vector<uint8_t> row(size_t(rowBytes), 0);
  for (int y = height - 1; y >= 0 && ok; --y) {
    for (int x = 0; x < width; ++x) {
      const uint8_t* p = &rgb[size_t(y * width + x) * 3];
      row[size_t(x) * 3] = p[2];
      row[size_t(x) * 3 + 1] = p[1];
      row[size_t(x) * 3 + 2] = p[0];
    }
    ok = std::fwrite(row.data(), 1, row.size(), f) == row.size();
  }
  return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: fontsheet OUT.bmp\n");
    return 2;
  }
  setenv("SDL_VIDEODRIVER", "dummy", 1);
  GpUseVirtualClock(true);
  GpVideoInit();
  g_video = new Video();
  InitFonts();
  g_video->SetStandardFont(&FontSmall);
  g_standardFont = &FontSmall;

  using namespace fontsheet;
  const int rows = (FRAME_COUNT + SHEET_COLUMNS - 1) / SHEET_COLUMNS;
  const int gap = 4;
  const int width = SHEET_COLUMNS * (SCREEN_WIDTH + gap) + gap;
  const int height = rows * (SCREEN_HEIGHT + gap) + gap;
  std::vector<uint8_t> rgb(size_t(width) * size_t(height) * 3, 0x40);
  std::vector<uint16_t> frame(FRAME_PIXELS);
  for (int i = 0; i < FRAME_COUNT; ++i) {
    DrawSheetFrame(i, frame.data());
    const int ox = gap + (i % SHEET_COLUMNS) * (SCREEN_WIDTH + gap);
    const int oy = gap + (i / SHEET_COLUMNS) * (SCREEN_HEIGHT + gap);
    for (int y = 0; y < SCREEN_HEIGHT; ++y) {
      for (int x = 0; x < SCREEN_WIDTH; ++x) {
        const uint16_t c = frame[size_t(PixelIndex(x, y))];
        uint8_t* p = &rgb[(size_t(oy + y) * size_t(width) + size_t(ox + x)) * 3];
        p[0] = uint8_t((c >> 11) * 255 / 31);
        p[1] = uint8_t(((c >> 5) & 63) * 255 / 63);
        p[2] = uint8_t((c & 31) * 255 / 31);
      }
    }
  }
  if (!WriteBmp(argv[1], width, height, rgb)) {
    std::fprintf(stderr, "cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
