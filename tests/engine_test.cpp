// The main loop's reading controls and autoscroll, driven pass by pass by a
// scripted key source on the virtual clock.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "app/engine.h"
#include "document/render.h"
#include "document/text.h"
#include "harness.h"
#include "importers/load.h"
#include "platform/files.h"
#include "platform/keys.h"
#include "platform/settings.h"
#include "platform/video.h"
#include "ui/menu.h"
#include "whole_page.h"

namespace {

// The page at the current position drawn whole, as a frame of the main loop
// must look.
std::vector<uint16_t> CurrentPageWhole() {
  const int32_t limit = std::max(ScrollLimit(g_text, g_settings.titleBarShown != 0), 0);
  return WholePage(std::clamp(g_currentEntry.position, 0, limit));
}

class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    StartTestPlatform();
    dir_ = MakeScratchDir("engine");
    ASSERT_EQ(chdir(dir_.c_str()), 0);
    ResetSettings();
    if (!g_text) g_text = CreateText(TEXT_LAYOUT_WIDTH);
    EngineStart();
    // A document long enough that none of the moves below reaches its end.
    std::string book;
    for (int i = 0; i < 2000; ++i) book += "A line of the test document.\n";
    LoadFromMemory(g_text, strdup(book.c_str()));
    g_currentEntry.position = 0;
  }
  void TearDown() override { GpClearKeyScript(); }

  // Runs one pass per scripted poll.
  void Run(const std::vector<std::pair<int, int>>& steps) {
    int passes = 0;
    for (const auto& s : steps) passes += s.second;
    GpSetKeyScript(steps);
    for (int i = 0; i < passes; ++i) MainLoopPass();
  }
  std::string dir_;
};

TEST_F(EngineTest, LineAndPageKeysMoveTheReadingPosition) {
  struct Step {
    int key;
    int32_t position;
    uint32_t pause;
  } steps[] = {{KEY_DOWN, 1, 0},    {KEY_UP, 0, 0},  {KEY_RIGHT, 210, 300},
               {KEY_L, 420, 300},   {KEY_LEFT, 210, 300}, {KEY_R, 0, 300}};
  for (const Step& s : steps) {
    // A second apart, so frame pacing adds nothing to the pause measured.
    GpAdvanceVirtualClock(1000);
    const uint32_t before = GetTicks();
    const uint32_t shows = GpShowCount();
    Run({{s.key, 1}});
    EXPECT_EQ(g_currentEntry.position, s.position) << s.key;
    EXPECT_EQ(GetTicks() - before, s.pause) << s.key;
    EXPECT_EQ(GpShowCount(), shows + 1) << s.key;
  }
  EXPECT_FALSE(AutoscrollOn());
}

TEST_F(EngineTest, IdleAndOtherKeysDrawNothing) {
  const uint32_t shows = GpShowCount();
  Run({{0, 5}, {KEY_CANCEL, 3}, {KEY_SELECT, 3}});
  EXPECT_EQ(GpShowCount(), shows);
  EXPECT_EQ(g_currentEntry.position, 0);
}

TEST_F(EngineTest, HeldLineKeyScrollsAboutSixtyPixelsASecond) {
  const uint32_t before = GetTicks();
  Run({{KEY_DOWN, 120}});
  EXPECT_EQ(g_currentEntry.position, 120);
  const uint32_t elapsed = GetTicks() - before;
  EXPECT_GE(elapsed, 1900u);
  EXPECT_LE(elapsed, 2100u);
}

TEST_F(EngineTest, AcceptSwitchesAutoscrollWithItsPause) {
  GpAdvanceVirtualClock(1000);
  uint32_t before = GetTicks();
  Run({{KEY_ACCEPT, 1}});
  EXPECT_TRUE(AutoscrollOn());
  // Switching on moves the text in the same pass: 400 ms pause, then one step.
  EXPECT_EQ(g_currentEntry.position, 1);
  EXPECT_EQ(GetTicks() - before, 400u + 25u);

  before = GetTicks();
  Run({{0, 4}});
  EXPECT_EQ(g_currentEntry.position, 5);
  EXPECT_EQ(GetTicks() - before, 4u * 25u);

  // DOWN and RIGHT speed it up, UP and LEFT slow it down; page keys do nothing more.
  Run({{KEY_DOWN, 3}, {KEY_RIGHT, 2}});
  EXPECT_EQ(g_settings.autoscrollDelay, 20);
  Run({{KEY_UP, 4}, {KEY_LEFT, 1}, {KEY_L, 2}, {KEY_R, 2}});
  EXPECT_EQ(g_settings.autoscrollDelay, 25);
  EXPECT_EQ(g_currentEntry.position, 5 + 5 + 9);

  // Switching off draws nothing in that pass.
  const int32_t position = g_currentEntry.position;
  const uint32_t shows = GpShowCount();
  Run({{KEY_ACCEPT, 1}});
  EXPECT_FALSE(AutoscrollOn());
  EXPECT_EQ(GpShowCount(), shows);
  EXPECT_EQ(g_currentEntry.position, position);
}

TEST_F(EngineTest, AutoscrollDelayBounds) {
  // "Faster" stops at 4 ms a pixel, where the speed reaches its cap.
  g_settings.autoscrollDelay = 7;
  Run({{KEY_ACCEPT, 1}, {KEY_DOWN, 5}});
  EXPECT_EQ(g_settings.autoscrollDelay, 4);
  // Below the frame time the frame pacing sets the time of a pass.
  g_settings.autoscrollDelay = 0;  // as older settings files may hold
  GpAdvanceVirtualClock(1000);
  const uint32_t before = GetTicks();
  Run({{0, 10}});
  EXPECT_EQ(GetTicks() - before, 9u * 17u);  // the first frame shows at once
  // Slowing down has no upper limit.
  g_settings.autoscrollDelay = 100000;
  Run({{KEY_UP, 3}});
  EXPECT_EQ(g_settings.autoscrollDelay, 100003);
  Run({{KEY_ACCEPT, 1}});
}

TEST_F(EngineTest, EveryAutoscrollDelayGivesItsOwnSpeed) {
  // Pixels a second on the virtual clock: 1000 / delay, up to 4 pixels a
  // frame (235 a second), so that each step of the delay is seen.
  const int32_t delays[] = {0, 4, 5, 10, 16, 17, 25, 40};
  double speeds[8];
  for (int i = 0; i < 8; ++i) {
    g_currentEntry.position = 0;
    g_settings.autoscrollDelay = delays[i];
    Run({{KEY_ACCEPT, 1}, {0, 20}});  // settle the carried remainder
    const int32_t from = g_currentEntry.position;
    const uint32_t before = GetTicks();
    Run({{0, 200}});
    speeds[i] = 1000.0 * (g_currentEntry.position - from) / double(GetTicks() - before);
    Run({{KEY_ACCEPT, 1}});
  }
  EXPECT_NEAR(speeds[0], 4000.0 / 17, 0.5);
  EXPECT_NEAR(speeds[1], 4000.0 / 17, 0.5);  // the cap
  EXPECT_NEAR(speeds[2], 200.0, 1.5);
  EXPECT_NEAR(speeds[3], 100.0, 1.0);
  EXPECT_NEAR(speeds[4], 62.5, 1.0);
  EXPECT_NEAR(speeds[5], 1000.0 / 17, 0.5);
  EXPECT_NEAR(speeds[6], 40.0, 0.5);
  EXPECT_NEAR(speeds[7], 25.0, 0.5);
  for (int i = 2; i < 8; ++i) EXPECT_LT(speeds[i], speeds[i - 1]) << delays[i];
  // Each step of "faster" from 17 down to 4 gives a faster speed.
  double last = 0;
  for (int32_t d = 17; d >= 4; --d) {
    g_settings.autoscrollDelay = d;
    Run({{KEY_ACCEPT, 1}, {0, 20}});
    const int32_t from = g_currentEntry.position;
    const uint32_t before = GetTicks();
    Run({{0, 170}});
    const double speed = 1000.0 * (g_currentEntry.position - from) / double(GetTicks() - before);
    EXPECT_GT(speed, last + 3) << d;
    last = speed;
    Run({{KEY_ACCEPT, 1}});
  }
}

TEST_F(EngineTest, StartRunsTheMenuThenPausesAndRedraws) {
  GpAdvanceVirtualClock(1000);
  const uint32_t before = GetTicks();
  const uint32_t shows = GpShowCount();
  // START opens the menu; it reads the CANCEL in the same pass.
  GpSetKeyScript({{KEY_START, 1}, {KEY_CANCEL, 1}});
  MainLoopPass();
  EXPECT_EQ(GpKeyScriptPolls(), 2u);
  // The list's 200 ms pause, one shown frame, then the 500 ms pause.
  EXPECT_EQ(GetTicks() - before, 200u + 500u);
  // The menu shown once, then the page redrawn and shown.
  EXPECT_EQ(GpShowCount(), shows + 2);
  EXPECT_EQ(GpLastShown(), g_video->FrontBuffer());
  EXPECT_EQ(g_currentEntry.position, 0);
}

// Line keys, autoscroll, page keys, both ends and menus that zoom and change
// the paper colour, pass by pass: every page the loop shows is the page drawn
// whole at the position it reached.
TEST_F(EngineTest, EveryFrameShownIsThePageDrawnWhole) {
  std::string book;
  for (int i = 0; i < 300; ++i) {
    book += i % 7 == 0 ? "\1F5Large \1BBold\1b\1F0 and \1Iitalic\1i words of line "
                       : "A line of the \1Utest\1u document, long enough to wrap: ";
    book += std::to_string(i) + (i % 5 == 0 ? "\n\n" : "\n");
  }
  LoadFromMemory(g_text, strdup(book.c_str()));
  g_currentEntry.position = 0;
  g_settings.autoscrollDelay = 5;  // three to four pixels a frame
  GpAdvanceVirtualClock(1000);
  MainLoopPass();  // nothing scripted: draws nothing
  g_currentEntry.position = 300;
  refresh_text(true);
  struct Step {
    int menuEntry;  // the menu entry START opens on, or -1
    std::vector<std::pair<int, int>> keys;
  } steps[] = {
      {-1, {{KEY_DOWN, 40}, {KEY_UP, 25}, {KEY_RIGHT, 1}, {KEY_DOWN, 6}, {KEY_LEFT, 2}}},
      {-1, {{KEY_ACCEPT, 1}, {0, 40}, {KEY_DOWN, 2}, {0, 20}, {KEY_ACCEPT, 1}}},
      {2, {{KEY_START, 1}, {KEY_ACCEPT, 1}, {KEY_CANCEL, 1}}},  // Zoom +
      {-1, {{KEY_DOWN, 30}, {KEY_UP, 10}, {KEY_ACCEPT, 1}, {0, 30}, {KEY_ACCEPT, 1}}},
      // Background: the next colour down, then out.
      {3, {{KEY_START, 1}, {KEY_ACCEPT, 1}, {KEY_DOWN, 1}, {KEY_ACCEPT, 1}, {KEY_CANCEL, 2}}},
      {-1, {{KEY_UP, 20}, {KEY_L, 1}, {KEY_DOWN, 12}}},
      {2, {{KEY_START, 1}, {KEY_ACCEPT, 1}, {KEY_CANCEL, 1}}},
      {-1, {{KEY_R, 200}, {KEY_UP, 5}, {KEY_DOWN, 30}}},  // to the start and on
      {1, {{KEY_START, 1}, {KEY_DOWN, 1}, {KEY_ACCEPT, 1}, {KEY_CANCEL, 1}}},  // End
      {-1, {{KEY_DOWN, 5}, {KEY_UP, 30}, {KEY_ACCEPT, 1}, {0, 10}, {KEY_ACCEPT, 1}}},
  };
  int frames = 0;
  for (size_t s = 0; s < sizeof steps / sizeof steps[0]; ++s) {
    if (steps[s].menuEntry >= 0) SetMenuRememberedEntry(steps[s].menuEntry);
    uint32_t polls = 0;
    for (const auto& k : steps[s].keys) polls += uint32_t(k.second);
    GpSetKeyScript(steps[s].keys);
    while (GpKeyScriptPolls() < polls) {
      const uint32_t shows = GpShowCount();
      MainLoopPass();
      if (GpShowCount() == shows) continue;
      ++frames;
      const uint16_t* shown = GpLastShown();
      ASSERT_TRUE(std::equal(shown, shown + FRAME_PIXELS, CurrentPageWhole().begin()))
          << "step " << s << ", poll " << GpKeyScriptPolls() << ", position "
          << g_currentEntry.position;
    }
  }
  EXPECT_EQ(g_settings.zoomLevel, 2);
  EXPECT_NE(g_settings.paperColour, 0xFFFF);
  EXPECT_GT(frames, 300);
}

}  // namespace
