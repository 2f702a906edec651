// The on-screen keyboard: its two key sets, navigation with wrapping, the
// shift states, the 63-character find text, deleting, the "Ok" selection on
// opening, typed text from a computer keyboard, the edit field's drawing and
// golden frames of both sets.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "harness.h"
#include "platform/keys.h"
#include "platform/settings.h"
#include "platform/video.h"
#include "ui/keyboard.h"

namespace {

// The edit field of the Find dialog's frame.
constexpr int FRAME_X = 90, FRAME_Y = 147, FRAME_W = 140;
constexpr uint16_t PAPER = 0xFFFF;

class KeyboardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    StartTestPlatform();
    ResetSettings();
    g_keyboard = KeyboardState();
    ClearBuffer(g_video->BackBuffer(), PAPER);
    ClearBuffer(g_video->FrontBuffer(), PAPER);
  }
  void TearDown() override {
    GpClearKeyScript();
    ResetSettings();
    g_keyboard = KeyboardState();
  }
};

using Steps = std::vector<std::pair<int, int>>;

// Runs the keyboard with one poll per key (a pause of idle polls after each),
// then the final key that ends it; returns KeyboardInput's result.
int Input(const std::vector<int>& keys, int last) {
  Steps steps;
  for (int k : keys) {
    steps.push_back({k, 1});
    steps.push_back({0, 1});
  }
  steps.push_back({0, 2});
  steps.push_back({last, 1});
  GpSetKeyScript(steps);
  const int result = KeyboardInput(FRAME_X, FRAME_Y, FRAME_W);
  GpClearKeyScript();
  return result;
}

std::vector<int> Repeat(int key, int times) { return std::vector<int>(size_t(times), key); }

std::vector<int> Join(std::initializer_list<std::vector<int>> parts) {
  std::vector<int> all;
  for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

std::string Text() { return g_settings.findText; }

TEST_F(KeyboardTest, KeySetsHoldTheirBytes) {
  const std::string normal[4] = {"1234567890'\xEC\t ", "qwertyuiop\xE8+\n ", "asdfghjkl\xF2\xE0\xF9  ",
                                 "zxcvbnm,.-[]\r "};
  const std::string shifted[4] = {"!\"\xA3$%&/()=?^\t ", "QWERTYUIOP\xE9*\n ",
                                  "ASDFGHJKL\xE7\xB0\xA7  ", "ZXCVBNM;:_{}\r "};
  for (int r = 0; r < KEYBOARD_ROWS; ++r) {
    ASSERT_EQ(normal[r].size(), 14u);
    ASSERT_EQ(shifted[r].size(), 14u);
    for (int c = 0; c < KEYBOARD_COLUMNS; ++c) {
      EXPECT_EQ(KeyboardKey(SHIFT_NONE, r, c), uint8_t(normal[r][size_t(c)])) << r << "," << c;
      EXPECT_EQ(KeyboardKey(SHIFT_ONCE, r, c), uint8_t(shifted[r][size_t(c)])) << r << "," << c;
      EXPECT_EQ(KeyboardKey(SHIFT_LOCK, r, c), uint8_t(shifted[r][size_t(c)])) << r << "," << c;
    }
  }
  EXPECT_EQ(KeyboardKey(0, 0, 11), 0xEC);
  EXPECT_EQ(KeyboardKey(1, 0, 2), 0xA3);
  EXPECT_EQ(KeyboardKey(0, 1, 12), KEY_BYTE_OK);
  EXPECT_EQ(KeyboardKey(0, -1, 0), 0);
  EXPECT_EQ(KeyboardKey(0, 4, 0), 0);
  EXPECT_EQ(KeyboardKey(0, 0, 14), 0);
}

TEST_F(KeyboardTest, SelectionWrapsAndNeverReachesColumn13) {
  // Start state: column 0, row 1 ("q").
  EXPECT_EQ(Input({KEY_ACCEPT}, KEY_CANCEL), 0);
  EXPECT_EQ(Text(), "q");
  g_settings.findText[0] = 0;
  // Twelve steps right reach column 12 ("Ok" in row 1), the thirteenth column 0.
  EXPECT_EQ(Input(Repeat(KEY_RIGHT, 12), KEY_ACCEPT), 1);
  EXPECT_EQ(g_keyboard.column, 12);
  Input({KEY_RIGHT}, KEY_CANCEL);
  EXPECT_EQ(g_keyboard.column, 0);
  // Left from column 0 is column 12.
  Input({KEY_LEFT}, KEY_CANCEL);
  EXPECT_EQ(g_keyboard.column, 12);
  // 26 steps either way come back to the same column: 13 columns in the cycle.
  g_keyboard.column = 3;
  Input(Repeat(KEY_RIGHT, 26), KEY_CANCEL);
  EXPECT_EQ(g_keyboard.column, 3);
  Input(Repeat(KEY_LEFT, 13), KEY_CANCEL);
  EXPECT_EQ(g_keyboard.column, 3);
  // Rows wrap both ways.
  g_keyboard.row = 0;
  Input({KEY_UP}, KEY_CANCEL);
  EXPECT_EQ(g_keyboard.row, 3);
  Input({KEY_DOWN}, KEY_CANCEL);
  EXPECT_EQ(g_keyboard.row, 0);
  Input(Repeat(KEY_DOWN, 5), KEY_CANCEL);
  EXPECT_EQ(g_keyboard.row, 1);
  // Typing along a row: the characters of each column, and no column 13.
  g_settings.findText[0] = 0;
  g_keyboard.column = 0;
  g_keyboard.row = 3;
  Input(Join({{KEY_ACCEPT}, Repeat(KEY_RIGHT, 11), {KEY_ACCEPT, KEY_RIGHT, KEY_RIGHT, KEY_ACCEPT}}),
      KEY_CANCEL);
  EXPECT_EQ(Text(), "z]z");
  // A state set outside the keyboard is put back on it before any key is read.
  g_settings.findText[0] = 0;
  g_keyboard.column = 13;
  g_keyboard.row = 9;
  g_keyboard.shift = 7;
  Input({KEY_ACCEPT}, KEY_CANCEL);
  EXPECT_EQ(Text(), "q");
}

TEST_F(KeyboardTest, ShiftStates) {
  // Shift 1: one capital, then the normal set again.
  g_keyboard.row = 2;  // "a" at column 0
  Input({KEY_START, KEY_ACCEPT, KEY_ACCEPT}, KEY_CANCEL);
  EXPECT_EQ(Text(), "Aa");
  EXPECT_EQ(g_keyboard.shift, SHIFT_NONE);
  // Shift 2: capitals until cycled back to 0. (With a text the keyboard opens
  // on column 12; one step right is column 0 again.)
  Input({KEY_RIGHT, KEY_START, KEY_START, KEY_ACCEPT, KEY_ACCEPT, KEY_RIGHT, KEY_ACCEPT}, KEY_CANCEL);
  EXPECT_EQ(Text(), "AaAAS");
  EXPECT_EQ(g_keyboard.shift, SHIFT_LOCK);
  // The shift state is kept when the keyboard opens again.
  Input({KEY_RIGHT, KEY_ACCEPT}, KEY_CANCEL);
  EXPECT_EQ(Text(), "AaAASA");
  Input({KEY_RIGHT, KEY_START, KEY_ACCEPT}, KEY_CANCEL);
  EXPECT_EQ(Text(), "AaAASAa");
  EXPECT_EQ(g_keyboard.shift, SHIFT_NONE);
  // "shf" (row 3, column 12) three times comes back to where it started, and
  // types nothing; from each state it advances like START.
  g_settings.findText[0] = 0;
  for (int start : {SHIFT_NONE, SHIFT_ONCE, SHIFT_LOCK}) {
    g_keyboard.shift = start;
    g_keyboard.column = 12;
    g_keyboard.row = 3;
    Input({KEY_ACCEPT}, KEY_CANCEL);
    EXPECT_EQ(g_keyboard.shift, (start + 1) % 3);
    Input({KEY_ACCEPT, KEY_ACCEPT}, KEY_CANCEL);
    EXPECT_EQ(g_keyboard.shift, start);
  }
  EXPECT_EQ(Text(), "");
  // The shifted set's own bytes: "!", the double quote and the pound sign.
  g_keyboard = KeyboardState();
  g_keyboard.row = 0;
  Input({KEY_START, KEY_START, KEY_ACCEPT, KEY_RIGHT, KEY_ACCEPT, KEY_RIGHT, KEY_ACCEPT}, KEY_CANCEL);
  EXPECT_EQ(Text(), "!\"\xA3");
}

TEST_F(KeyboardTest, TextHoldsAtMost63Characters) {
  std::memset(g_settings.findText, 'x', 62);
  g_settings.findText[62] = 0;
  g_keyboard.row = 2;  // column 12 after opening with a text: the space
  Input({KEY_LEFT, KEY_ACCEPT, KEY_ACCEPT, KEY_ACCEPT}, KEY_CANCEL);
  EXPECT_EQ(Text(), std::string(62, 'x') + "\xF9");
  EXPECT_EQ(g_settings.findText[63], 0);
  // Typed text stops at the same place.
  g_keyboard.row = 1;
  GpSetKeyScript({{KeyScriptTyped('a'), 1}, {KeyScriptTyped('b'), 1}, {0, 1}, {KEY_CANCEL, 1}});
  EXPECT_EQ(KeyboardInput(FRAME_X, FRAME_Y, FRAME_W), 0);
  EXPECT_EQ(Text().size(), 63u);
  // A find text that filled its field without a terminator (as a settings file
  // may hold it) is held inside the field and not added to.
  std::memset(g_settings.findText, 'y', FIND_TEXT_SIZE);
  g_keyboard.row = 2;
  Input({KEY_LEFT, KEY_ACCEPT}, KEY_CANCEL);
  EXPECT_EQ(Text(), std::string(63, 'y'));
}

TEST_F(KeyboardTest, DelAndSelectRemoveTheLastCharacter) {
  // On an empty text both do nothing.
  g_keyboard.row = 0;
  g_keyboard.column = 12;  // "del"
  Input({KEY_ACCEPT, KEY_SELECT, KEY_ACCEPT}, KEY_CANCEL);
  EXPECT_EQ(Text(), "");
  std::strcpy(g_settings.findText, "abcd");
  Input({KEY_ACCEPT}, KEY_CANCEL);
  EXPECT_EQ(Text(), "abc");
  Input({KEY_SELECT, KEY_SELECT}, KEY_CANCEL);
  EXPECT_EQ(Text(), "a");
  Input({KEY_SELECT, KEY_SELECT, KEY_ACCEPT}, KEY_CANCEL);
  EXPECT_EQ(Text(), "");
}

TEST_F(KeyboardTest, OpeningWithATextSelectsOkAndCancelKeepsEdits) {
  std::strcpy(g_settings.findText, "word");
  g_keyboard.column = 4;
  EXPECT_EQ(Input({}, KEY_ACCEPT), 1) << "row 1, column 12 is Ok";
  EXPECT_EQ(Text(), "word");
  EXPECT_EQ(g_keyboard.column, 12);
  // An empty text keeps the column.
  g_settings.findText[0] = 0;
  g_keyboard.column = 4;
  Input({KEY_ACCEPT}, KEY_CANCEL);
  EXPECT_EQ(Text(), "t");
  // Cancel at any time keeps what was typed and deleted.
  std::strcpy(g_settings.findText, "keep");
  EXPECT_EQ(Input({KEY_SELECT, KEY_LEFT, KEY_ACCEPT}, KEY_CANCEL), 0);
  EXPECT_EQ(Text(), "kee+");
  // Ok with an empty text ends the input as well.
  g_settings.findText[0] = 0;
  g_keyboard.column = 12;
  g_keyboard.row = 1;
  EXPECT_EQ(Input({}, KEY_ACCEPT), 1);
}

TEST_F(KeyboardTest, TypedTextGoesIntoTheFieldAndSelectsOk) {
  GpSetKeyScript({{KeyScriptTyped('C'), 1}, {KeyScriptTyped('a'), 1}, {KeyScriptTyped('\xF1'), 1},
                  {KeyScriptTyped(' '), 1}, {KeyScriptTyped('!'), 1}, {0, 1}, {KEY_SELECT, 1},
                  {0, 1}, {KeyScriptTyped('o'), 1}, {0, 2}, {KEY_ACCEPT, 1}});
  EXPECT_EQ(KeyboardInput(FRAME_X, FRAME_Y, FRAME_W), 1);
  EXPECT_EQ(Text(), "Ca\xF1 o");
  EXPECT_EQ(g_keyboard.column, 12);
  EXPECT_EQ(g_keyboard.row, 1);
  EXPECT_EQ(g_keyboard.shift, SHIFT_NONE);
  // Typed text leaves the on-screen shift state alone, and typing is off
  // once the keyboard has closed.
  g_settings.findText[0] = 0;
  g_keyboard.shift = SHIFT_ONCE;
  GpSetKeyScript({{KeyScriptTyped('x'), 1}, {0, 1}, {KEY_ACCEPT, 1}});
  EXPECT_EQ(KeyboardInput(FRAME_X, FRAME_Y, FRAME_W), 1);
  EXPECT_EQ(Text(), "x");
  EXPECT_EQ(g_keyboard.shift, SHIFT_ONCE);
  GpSetKeyScript({{KeyScriptTyped('z'), 1}});
  GetKey();
  EXPECT_EQ(GpTypedChar(), 0);
}

// True when every pixel outside the rectangle is still the paper colour.
bool OnlyInside(const uint16_t* frame, int x, int y, int w, int h) {
  for (int px = 0; px < SCREEN_WIDTH; ++px) {
    for (int py = 0; py < SCREEN_HEIGHT; ++py) {
      const bool inside = px >= x && px < x + w && py >= y && py < y + h;
      if (!inside && frame[PixelIndex(px, py)] != PAPER) return false;
    }
  }
  return true;
}

TEST_F(KeyboardTest, EditFieldKeepsTextAndCursorInside) {
  uint16_t* front = g_video->FrontBuffer();
  auto cursorColumns = [&]() {
    int n = 0, last = -1;
    for (int x = 0; x < SCREEN_WIDTH; ++x) {
      if (front[PixelIndex(x, FRAME_Y + 5)] == 0xC618 && front[PixelIndex(x, FRAME_Y + 14)] == 0xC618) {
        ++n;
        last = x;
      }
    }
    return std::make_pair(n, last);
  };
  // Empty: the cursor alone at the pen x where the text would start.
  DrawEditField(FRAME_X, FRAME_Y, FRAME_W);
  EXPECT_TRUE(OnlyInside(front, FRAME_X + 4, FRAME_Y + 4, FRAME_W - 8, 14));
  EXPECT_EQ(front[PixelIndex(FRAME_X + 4, FRAME_Y + 4)], 0xFFDF);
  EXPECT_EQ(cursorColumns(), std::make_pair(3, FRAME_X + 8));
  // The longest text of wide letters: its end and the cursor stay in the field.
  std::memset(g_settings.findText, 'W', 63);
  g_settings.findText[63] = 0;
  ClearBuffer(front, PAPER);
  DrawEditField(FRAME_X, FRAME_Y, FRAME_W);
  EXPECT_TRUE(OnlyInside(front, FRAME_X + 4, FRAME_Y + 4, FRAME_W - 8, 14));
  const auto cursor = cursorColumns();
  EXPECT_EQ(cursor.first, 3);
  EXPECT_LE(cursor.second, FRAME_X + FRAME_W - 5);
  EXPECT_GT(cursor.second, FRAME_X + FRAME_W - 30) << "the field is used to its end";
}

TEST_F(KeyboardTest, GoldenFramesOfBothSets) {
  // Normal set, "g" selected, a word typed.
  std::strcpy(g_settings.findText, "Ca\xF1\xF3n");
  g_keyboard.row = 2;
  Input(Repeat(KEY_RIGHT, 5), KEY_CANCEL);
  EXPECT_EQ(g_keyboard.column, 4);
  std::vector<uint16_t> frame = ScreenFrame();
  ExpectGoldenFrame("keyboard", "normal-set", frame.data());
  // Shifted set with "Ok" selected: the double-width key.
  ClearBuffer(g_video->BackBuffer(), PAPER);
  ClearBuffer(g_video->FrontBuffer(), PAPER);
  g_keyboard.row = 0;
  Input({KEY_START, KEY_START, KEY_DOWN}, KEY_CANCEL);
  EXPECT_EQ(g_keyboard.column, 12);
  frame = ScreenFrame();
  ExpectGoldenFrame("keyboard", "shifted-set-ok", frame.data());
}

}  // namespace
