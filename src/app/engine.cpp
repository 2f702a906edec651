// The spine of the reader: Init creates the long-lived objects, GameEngine
// shows the introduction and runs the reading controls (pixel scroll, page
// moves, autoscroll, menu), Shutdown saves and leaves.
#include "app/engine.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/intro.h"
#include "document/layout.h"
#include "document/render.h"
#include "document/text.h"
#include "document/zoom.h"
#include "platform/files.h"
#include "platform/font.h"
#include "platform/keys.h"
#include "platform/recent.h"
#include "platform/settings.h"
#include "platform/trace.h"
#include "platform/video.h"
#include "ui/menu.h"
#include "ui/recent_menu.h"

namespace {

constexpr int LINE_STEP = 1;
constexpr int PAGE_STEP = 210;
constexpr uint32_t PAGE_PAUSE_MS = 300;
constexpr uint32_t AUTOSCROLL_SWITCH_MS = 400;
constexpr uint32_t MENU_CLOSE_MS = 500;

bool g_autoscroll = false;

void Trace(const char* line) {
  GpTrace("%s\n", line);
}

// Every move draws the page into the back buffer and shows it.
int32_t Scroll(int32_t position, int32_t delta) {
  return ScrollText(position, delta, g_video->BackBuffer(), true);
}

// Redraws at the current position; the stored position is left as it is.
void Refresh() { refresh_text(true); }

void ManualStep(int code) {
  int32_t& position = g_currentEntry.position;
  switch (code) {
    case KEY_DOWN:
      position = Scroll(position, +LINE_STEP);
      break;
    case KEY_UP:
      position = Scroll(position, -LINE_STEP);
      break;
    case KEY_RIGHT:
    case KEY_L:
      position = Scroll(position, +PAGE_STEP);
      Delay(PAGE_PAUSE_MS);
      break;
    case KEY_LEFT:
    case KEY_R:
      position = Scroll(position, -PAGE_STEP);
      Delay(PAGE_PAUSE_MS);
      break;
    default:
      break;
  }
}

// Autoscroll moves one pixel per delay (milliseconds per pixel). Frames are
// shown every 17 ms at most, so a delay below that moves the text by the
// pixels its delay owes in one frame (the remainder carried to the next), up
// to 4 a frame: every delay from 4 up then gives its own speed, 1000 / delay
// pixels a second. "Faster" stops at 4, where the cap is reached.
constexpr int32_t AUTOSCROLL_FRAME_MS = 17;
constexpr int32_t AUTOSCROLL_MAX_STEP = 4;
constexpr int32_t AUTOSCROLL_MIN_DELAY = 4;
int32_t g_autoscrollOwedMs = 0;

void AutoscrollStep(int code) {
  int32_t& delay = g_settings.autoscrollDelay;
  int32_t step = LINE_STEP;
  if (delay < AUTOSCROLL_FRAME_MS) {
    const int32_t perPixel = delay > 0 ? delay : 1;
    g_autoscrollOwedMs += AUTOSCROLL_FRAME_MS;
    step = std::min(g_autoscrollOwedMs / perPixel, AUTOSCROLL_MAX_STEP);
    g_autoscrollOwedMs = std::min(g_autoscrollOwedMs - step * perPixel, perPixel);
  }
  g_currentEntry.position = Scroll(g_currentEntry.position, step);
  // "Slower" has no limit, but the wait has: keys and the quit event are read
  // between passes.
  Delay(uint32_t(std::clamp<int32_t>(delay, 0, AUTOSCROLL_MAX_DELAY)));
  if ((code == KEY_DOWN || code == KEY_RIGHT) && delay > AUTOSCROLL_MIN_DELAY) {
    --delay;
  } else if (code == KEY_UP || code == KEY_LEFT) {
    ++delay;
  }
}

}  // namespace

bool AutoscrollOn() { return g_autoscroll; }

void SaveOnQuit() {
  SaveConfig();
  RecordCurrentDocument();
}

void Init() {
  Trace("-Init");
  GpFatInit();
  GpVideoInit();
  Trace("-new Video");
  g_video = new Video();
  InitFonts();
  RecomputeInterfaceColour();
  Trace("-SetStandardFont");
  g_standardFont = &FontSmall;
  g_video->SetStandardFont(g_standardFont);
  Trace("-new Text");
  if (!g_text) g_text = CreateText(TEXT_LAYOUT_WIDTH);
  ClearRecentEntry(&g_currentEntry);
  if (!g_recentList) g_recentList = new RecentList(RECENT_FILE_NAME, &g_currentEntry);
  Trace("-Cfg load");
  LoadConfig();
  if (!GpPathExists(g_settings.folderPath)) {
    std::snprintf(g_settings.folderPath, sizeof g_settings.folderPath, "%s", GpRootDir(nullptr));
  }
  GpSetQuitHandler(SaveOnQuit);
  SetMenuExitHandler(Shutdown);
}

void EngineStart() {
  Trace("-GameEngine");
  if (g_settings.keySwap != 0) SetKeySwap(1);
  SelectZoomFont();
  Trace("-load intromsg");
  LoadIntroduction(g_text);
  SetCurrentDocument("", "", -1, 0);
  Trace("-refresh_text");
  Refresh();
  Trace("-mrf load");
  if (g_recentList && g_recentList->Load()) ShowRecentMenu(g_recentList, true);
  Refresh();
  Trace("-while loop");
  g_autoscroll = false;
}

void MainLoopPass() {
  const int code = GetKey();
  if (code == KEY_ACCEPT) {
    Delay(AUTOSCROLL_SWITCH_MS);
    g_autoscroll = !g_autoscroll;
  }
  if (g_autoscroll) {
    AutoscrollStep(code);
  } else {
    ManualStep(code);
  }
  if (code == KEY_START) {
    RunMenu();
    Delay(MENU_CLOSE_MS);
    Refresh();
  }
}

void GameEngine() {
  EngineStart();
  for (;;) MainLoopPass();
}

void Shutdown() {
  SaveConfig();
  RecordCurrentDocument();
  delete g_recentList;
  g_recentList = nullptr;
  delete g_video;
  g_video = nullptr;
  ReleaseText(g_text);
  g_text = nullptr;
  GpAppExit();
}
