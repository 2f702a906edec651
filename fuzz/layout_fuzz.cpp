// Fuzz target for the document engine over arbitrary formatted text: soft
// break joining, layout with each font, drawing at a few positions, search and
// re-layout. The first byte picks the zoom level and the layout width.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "document/layout.h"
#include "document/load.h"
#include "document/render.h"
#include "document/search.h"
#include "document/text.h"
#include "platform/font.h"
#include "platform/video.h"

namespace {
uint16_t g_frame[FRAME_PIXELS];
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool fontsReady = false;
  if (!fontsReady) {
    InitFonts();
    g_standardFont = &FontSmall;
    fontsReady = true;
  }
  if (size < 1 || size > 1 << 20) return 0;
  const BitmapFont* fonts[3] = {&FontSmall, &FontMedium, &FontLarge};
  const uint8_t control = data[0];
  ++data;
  --size;

  Text text;
  // Mostly the real width, sometimes a narrow one that makes every rule fire.
  text.width = (control & 0x80) ? 1 + (control & 0x3F) : TEXT_LAYOUT_WIDTH;
  text.font = fonts[(control >> 6 & 1) + (control & 1)];
  for (int i = 0; i < TEXT_COLOURS; ++i) text.colours[i] = uint16_t(i * 0x1111);
  text.text = static_cast<char*>(std::malloc(size + 1));
  if (!text.text) return 0;
  std::memcpy(text.text, data, size);
  text.text[size] = 0;
  JoinSoftBreaks(&text);
  LayoutLines(&text, text.font, text.text, START_STYLE);

  // Lines cover the text in order and never reach past its end.
  const size_t length = std::strlen(text.text);
  const char* previous = text.text;
  for (int32_t i = 0; i < text.lineCount; ++i) {
    const LineRecord& r = text.lines[i];
    if (r.start < previous || size_t(r.start - text.text) + r.length > length) std::abort();
    if (i > 0 && r.y <= text.lines[i - 1].y) std::abort();
    previous = r.start + r.length;
  }

  const int32_t height = DocumentHeight(&text);
  for (int32_t p : {0, height / 2, height - 100, -50}) {
    DrawLines(&text, nullptr, 5, 16, 224, p, g_frame);
  }
  char pattern[8] = {};
  std::memcpy(pattern, text.text, length < 7 ? length : 7);
  FindText(&text, 0, pattern);
  FindText(&text, text.lineCount / 2, "a_");
  NextPageBreak(&text, 0);
  PrevPageBreak(&text, text.lineCount);
  text.font = fonts[(control >> 1) % 3];
  Relayout(&text, height / 3);
  ClearTextContents(&text);
  return 0;
}
