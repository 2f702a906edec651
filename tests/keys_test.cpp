// Key polling: the button order, the A/B swap, the keyboard table, the scripted
// source and the quit event.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "harness.h"
#include "platform/files.h"
#include "platform/keys.h"
#include "platform/video.h"

namespace {

int PollWithButtons(std::initializer_list<int> down) {
  bool buttons[20] = {};
  for (int b : down) buttons[b] = true;
  GpSetFakeJoystick(buttons, 20);
  int code = GetKey();
  GpSetFakeJoystick(nullptr, 0);
  return code;
}

int PollWithKeys(std::initializer_list<int> down) {
  static uint8_t keys[GP_SDLK_LAST];
  for (uint8_t& k : keys) k = 0;
  for (int k : down) keys[k] = 1;
  bool none[20] = {};
  GpSetFakeJoystick(none, 20);
  GpSetFakeKeyboard(keys, GP_SDLK_LAST);
  int code = GetKey();
  GpSetFakeKeyboard(nullptr, 0);
  GpSetFakeJoystick(nullptr, 0);
  return code;
}

TEST(Keys, ButtonsReportInTheirFixedOrder) {
  StartTestPlatform();
  SetKeySwap(0);
  EXPECT_EQ(PollWithButtons({}), 0);
  EXPECT_EQ(PollWithButtons({2}), KEY_LEFT);
  EXPECT_EQ(PollWithButtons({6}), KEY_RIGHT);
  EXPECT_EQ(PollWithButtons({0}), KEY_UP);
  EXPECT_EQ(PollWithButtons({4}), KEY_DOWN);
  EXPECT_EQ(PollWithButtons({11}), KEY_R);
  EXPECT_EQ(PollWithButtons({10}), KEY_L);
  EXPECT_EQ(PollWithButtons({8}), KEY_START);
  EXPECT_EQ(PollWithButtons({9}), KEY_SELECT);
  EXPECT_EQ(PollWithButtons({0, 4}), KEY_UP);
  EXPECT_EQ(PollWithButtons({2, 12}), KEY_LEFT);
  EXPECT_EQ(PollWithButtons({8, 11}), KEY_R);
  // Diagonals, X, Y and the volume keys are not read.
  EXPECT_EQ(PollWithButtons({1, 3, 5, 7, 14, 15, 16, 17}), 0);
}

TEST(Keys, SwapExchangesAAndB) {
  StartTestPlatform();
  SetKeySwap(1);
  EXPECT_EQ(GetKeySwap(), 1);
  EXPECT_EQ(PollWithButtons({12}), 0x020);
  EXPECT_EQ(PollWithButtons({13}), 0x040);
  SetKeySwap(0);
  EXPECT_EQ(PollWithButtons({12}), 0x040);
  EXPECT_EQ(PollWithButtons({13}), 0x020);
  SetKeySwap(65537);
  EXPECT_EQ(GetKeySwap(), 1);
  SetKeySwap(2);
  EXPECT_EQ(GetKeySwap(), 0);
}

TEST(Keys, KeyboardReportsRolesWhateverTheSwap) {
  StartTestPlatform();
  for (int swap = 0; swap < 2; ++swap) {
    SetKeySwap(uint32_t(swap));
    EXPECT_EQ(PollWithKeys({GP_SDLK_LEFT}), KEY_LEFT);
    EXPECT_EQ(PollWithKeys({GP_SDLK_RIGHT}), KEY_RIGHT);
    EXPECT_EQ(PollWithKeys({GP_SDLK_UP}), KEY_UP);
    EXPECT_EQ(PollWithKeys({GP_SDLK_DOWN}), KEY_DOWN);
    EXPECT_EQ(PollWithKeys({GP_SDLK_PAGEUP}), KEY_R);
    EXPECT_EQ(PollWithKeys({GP_SDLK_PAGEDOWN}), KEY_L);
    EXPECT_EQ(PollWithKeys({GP_SDLK_RETURN}), KEY_ACCEPT);
    EXPECT_EQ(PollWithKeys({GP_SDLK_KP_ENTER}), KEY_ACCEPT);
    EXPECT_EQ(PollWithKeys({GP_SDLK_ESCAPE}), KEY_CANCEL);
    EXPECT_EQ(PollWithKeys({GP_SDLK_TAB}), KEY_START);
    EXPECT_EQ(PollWithKeys({GP_SDLK_BACKSPACE}), KEY_SELECT);
    EXPECT_EQ(PollWithKeys({GP_SDLK_UP, GP_SDLK_DOWN}), KEY_UP);
    EXPECT_EQ(PollWithKeys({GP_SDLK_TAB, GP_SDLK_PAGEUP}), KEY_R);
    EXPECT_EQ(PollWithKeys({'a'}), 0);
  }
  // The joystick comes first: a held button wins over a held key.
  bool buttons[20] = {};
  buttons[9] = true;
  static uint8_t keys[GP_SDLK_LAST] = {};
  keys[GP_SDLK_LEFT] = 1;
  GpSetFakeJoystick(buttons, 20);
  GpSetFakeKeyboard(keys, GP_SDLK_LAST);
  EXPECT_EQ(GetKey(), KEY_SELECT);
  GpSetFakeKeyboard(nullptr, 0);
  GpSetFakeJoystick(nullptr, 0);
}

TEST(Keys, ScriptHoldsEachCodeForItsPollsAndWaitKeyPausesFirst) {
  StartTestPlatform();
  GpSetKeyScript({{KEY_DOWN, 2}, {0, 3}, {KEY_START, 1}});
  EXPECT_EQ(GetKey(), KEY_DOWN);
  EXPECT_EQ(GetKey(), KEY_DOWN);
  const uint32_t before = GetTicks();
  EXPECT_EQ(WaitKey(), KEY_START);
  EXPECT_EQ(GetTicks() - before, 200u);
  EXPECT_EQ(GpKeyScriptPolls(), 6u);
  GpClearKeyScript();
}

// Polls with nothing held, so only the events are read.
int PollIdle() {
  static uint8_t keys[GP_SDLK_LAST] = {};
  bool none[20] = {};
  GpSetFakeJoystick(none, 20);
  GpSetFakeKeyboard(keys, GP_SDLK_LAST);
  int code = GetKey();
  GpSetFakeKeyboard(nullptr, 0);
  GpSetFakeJoystick(nullptr, 0);
  return code;
}

std::string Drain() {
  std::string typed;
  while (int c = GpTypedChar()) typed += char(c);
  return typed;
}

TEST(Keys, KeyPressesTypeCodePage1252BytesWhileTypingIsOn) {
  StartTestPlatform();
  GpSetTyping(true);
  // e acute, the euro sign (0x80), a space; alpha, the return key's 13,
  // DEL and a key without a character are not typed.
  for (uint16_t u : {uint16_t('a'), uint16_t(0xE9), uint16_t(0x20AC), uint16_t(' '), uint16_t(0x3B1),
                     uint16_t(13), uint16_t(0x7F), uint16_t(0), uint16_t('Z')}) {
    GpPushKeyEvent(u);
  }
  for (int i = 0; i < 12; ++i) EXPECT_EQ(PollIdle(), 0);
  EXPECT_EQ(Drain(), "a\xE9\x80 Z");
  EXPECT_EQ(GpTypedChar(), 0);
  // Presses while typing is off are never typed, not even once it is on again.
  GpSetTyping(false);
  GpPushKeyEvent('x');
  for (int i = 0; i < 3; ++i) PollIdle();
  GpSetTyping(true);
  EXPECT_EQ(GpTypedChar(), 0);
  // Queued but unread presses are dropped when typing is turned on again.
  GpPushKeyEvent('y');
  for (int i = 0; i < 3; ++i) PollIdle();
  GpSetTyping(true);
  EXPECT_EQ(GpTypedChar(), 0);
  // A flood of presses nobody reads keeps the queue's bound.
  for (int i = 0; i < 100; ++i) GpPushKeyEvent(uint16_t('0' + i % 10));
  for (int i = 0; i < 120; ++i) PollIdle();
  EXPECT_EQ(Drain().size(), 64u);
  GpSetTyping(false);
}

TEST(Keys, ScriptTypesBetweenItsKeyCodes) {
  StartTestPlatform();
  GpSetTyping(true);
  GpSetKeyScript({{KeyScriptTyped('h'), 1}, {KEY_DOWN, 1}, {KeyScriptTyped(0xF1), 2}});
  EXPECT_EQ(GetKey(), 0);
  EXPECT_EQ(GpTypedChar(), 'h');
  EXPECT_EQ(GpTypedChar(), 0);
  EXPECT_EQ(GetKey(), KEY_DOWN);
  EXPECT_EQ(GetKey(), 0);
  EXPECT_EQ(GetKey(), 0);
  EXPECT_EQ(Drain(), "\xF1\xF1");
  // With typing off a scripted character is a poll with no key, and nothing more.
  GpSetTyping(false);
  GpSetKeyScript({{KeyScriptTyped('q'), 1}});
  EXPECT_EQ(GetKey(), 0);
  EXPECT_EQ(GpTypedChar(), 0);
  GpClearKeyScript();
}

TEST(Keys, ScriptShotsKeepTheScreenAndTakeNoPoll) {
  StartTestPlatform();
  ClearBuffer(g_video->BackBuffer(), 0x001F);
  g_video->Flip();
  GpSetKeyScript({{KEY_SCRIPT_SHOT, 1}, {KEY_UP, 1}, {KEY_SCRIPT_SHOT, 1}, {KEY_SCRIPT_SHOT, 1},
                  {KEY_DOWN, 1}});
  EXPECT_EQ(GetKey(), KEY_UP);
  ClearBuffer(g_video->BackBuffer(), 0xF800);
  g_video->Flip();
  EXPECT_EQ(GetKey(), KEY_DOWN);
  EXPECT_EQ(GpKeyScriptPolls(), 2u);
  ASSERT_EQ(GpScriptShotCount(), 3u);
  EXPECT_EQ(GpScriptShot(0)[size_t(PixelIndex(10, 0))], 0x001F);
  EXPECT_EQ(GpScriptShot(1)[size_t(PixelIndex(319, 239))], 0xF800);
  EXPECT_EQ(GpScriptShot(2).size(), size_t(FRAME_PIXELS));
  EXPECT_TRUE(GpScriptShot(3).empty());
  // A new script starts without shots.
  GpSetKeyScript({{0, 1}});
  EXPECT_EQ(GpScriptShotCount(), 0u);
  GpClearKeyScript();
}

int g_quitCalls = 0;
void CountQuit() {
  ++g_quitCalls;
  std::printf("quit handler ran\n");
}

TEST(KeysDeathTest, QuitEventRunsTheHandlerAndExitsWithZero) {
  StartTestPlatform();
  GpSetQuitHandler(CountQuit);
  GpSetKeyScript({{0, 1}, {KEY_SCRIPT_QUIT, 1}});
  EXPECT_EXIT(
      {
        GetKey();
        GetKey();
      },
      ::testing::ExitedWithCode(0), "");
  GpClearKeyScript();
  GpSetQuitHandler(nullptr);
  // A real SDL quit event takes the same path, even with no button down.
  GpSetQuitHandler(CountQuit);
  EXPECT_EXIT(
      {
        GpPushQuitEvent();
        for (int i = 0; i < 10; ++i) GetKey();
        std::exit(3);
      },
      ::testing::ExitedWithCode(0), "");
  GpSetQuitHandler(nullptr);
  // An exhausted script also reports a quit, so a loop under test always ends.
  GpSetKeyScript({});
  EXPECT_EXIT(for (;;) GetKey(), ::testing::ExitedWithCode(0), "");
  GpClearKeyScript();
}

}  // namespace
