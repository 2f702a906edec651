// Start-up shared by the benchmarks: the platform on SDL's dummy video driver
// with the virtual clock (frame pacing then never sleeps between iterations),
// the Video object and the fonts with the small one as the standard font;
// with a document, also the interface colour, the Text object at the layout
// width and the zoom level's font.
#pragma once

#include <cstdlib>

#include "document/text.h"
#include "document/layout.h"
#include "platform/files.h"
#include "platform/font.h"
#include "platform/settings.h"
#include "platform/video.h"

// True on the first call of the program, which does the work; later calls do nothing.
inline bool StartBenchPlatform(bool withDocument) {
  static bool started = false;
  if (started) return false;
  started = true;
  setenv("SDL_VIDEODRIVER", "dummy", 1);
  GpFatInit();
  GpUseVirtualClock(true);
  GpVideoInit();
  g_video = new Video();
  InitFonts();
  g_standardFont = &FontSmall;
  g_video->SetStandardFont(&FontSmall);
  if (withDocument) {
    RecomputeInterfaceColour();
    g_text = CreateText(TEXT_LAYOUT_WIDTH);
    SelectZoomFont();
  }
  return true;
}
