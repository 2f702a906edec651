// The Find dialog: the view moved to the found line's top - 5, repeated finds
// going on after the previous hit, the "not found" box in both languages
// waiting for a key, cancel, the empty text, and a golden frame of the dialog.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "document/layout.h"
#include "document/render.h"
#include "document/text.h"
#include "harness.h"
#include "platform/files.h"
#include "platform/font.h"
#include "platform/keys.h"
#include "platform/settings.h"
#include "platform/video.h"
#include "boxes/messagebox.h"
#include "ui/find.h"
#include "ui/keyboard.h"
#include "ui/menu.h"

namespace {

using Steps = std::vector<std::pair<int, int>>;

class FindTest : public ::testing::Test {
 protected:
  void SetUp() override {
    StartTestPlatform();
    ResetSettings();
    g_keyboard = KeyboardState();
    ClearBuffer(g_video->BackBuffer(), 0xFFFF);
    ClearBuffer(g_video->FrontBuffer(), 0xFFFF);
    saved_ = g_text;
    g_text = CreateText(TEXT_LAYOUT_WIDTH);
    g_text->font = &FontSmall;
    // Plain lines, one per line of the table.
    std::string doc;
    for (int i = 0; i < 40; ++i) {
      doc += "line " + std::to_string(i);
      if (i == 3 || i == 12 || i == 30) doc += " with a needle in it";
      doc += "\n";
    }
    g_text->text = static_cast<char*>(std::malloc(doc.size() + 1));
    std::memcpy(g_text->text, doc.c_str(), doc.size() + 1);
    LayoutLines(g_text, g_text->font, g_text->text, START_STYLE);
    SetCurrentDocument("", "", -1, 0);
  }
  void TearDown() override {
    GpClearKeyScript();
    ReleaseText(g_text);
    g_text = saved_;
    ResetSettings();
    g_keyboard = KeyboardState();
  }
  static int32_t Top(int line) { return g_text->lines[line].y - 5; }
  Text* saved_ = nullptr;
};

// With the find text already set the dialog opens on "Ok": one accept searches.
Steps AcceptAtOnce() { return {{0, 2}, {KEY_ACCEPT, 1}}; }

int Find(int offset, Steps steps) {
  GpSetKeyScript(steps);
  const int result = RunFindDialog(offset);
  GpClearKeyScript();
  return result;
}

TEST_F(FindTest, HitOnTheCurrentLineMovesToItsTop) {
  ASSERT_EQ(g_text->lineCount, 40);
  std::strcpy(g_settings.findText, "NEEDLE");
  // The reading position inside line 3: offset 0 finds line 3 itself.
  g_currentEntry.position = Top(3) + 4;
  ASSERT_EQ(LineAtPosition(g_text, g_currentEntry.position), 3);
  EXPECT_EQ(Find(0, AcceptAtOnce()), 1);
  EXPECT_EQ(g_currentEntry.position, Top(3));
  // From the top of the document the first hit is line 3 too.
  g_currentEntry.position = 0;
  EXPECT_EQ(Find(0, AcceptAtOnce()), 1);
  EXPECT_EQ(g_currentEntry.position, Top(3));
  EXPECT_STREQ(g_settings.findText, "NEEDLE");
}

TEST_F(FindTest, RepeatedFindGoesOnAfterThePreviousHit) {
  std::strcpy(g_settings.findText, "needle");
  int offset = 0;
  std::vector<int32_t> seen;
  // As the menu repeats it: 0 the first time, 1 afterwards, while it finds.
  for (;;) {
    Steps steps = AcceptAtOnce();
    steps.push_back({0, 3});
    steps.push_back({KEY_CANCEL, 1});  // closes the "not found" box at the end
    if (!Find(offset, steps)) break;
    seen.push_back(g_currentEntry.position);
    offset = 1;
    ASSERT_LT(seen.size(), 5u);
  }
  EXPECT_EQ(seen, (std::vector<int32_t>{Top(3), Top(12), Top(30)}));
  EXPECT_EQ(g_currentEntry.position, Top(30)) << "not found leaves the view";
}

TEST_F(FindTest, NotFoundBoxInEachLanguageWaitsForAKey) {
  std::strcpy(g_settings.findText, "missing");
  struct Case {
    int language;
    const char* title;
    const char* body;
    const char* other;
  } cases[] = {{0, "Find result", "Not found!", "No encontrado!"},
               {1, "Resultados", "No encontrado!", "Not found!"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.title);
    g_settings.language = int16_t(c.language);
    g_currentEntry.position = Top(5);
    // Idle polls, then the key that closes the box: the dialog returns only
    // when the box has had its key.
    Steps steps = AcceptAtOnce();
    steps.push_back({0, 7});
    steps.push_back({KEY_SELECT, 1});
    GpSetKeyScript(steps);
    const uint32_t before = GetTicks();
    EXPECT_EQ(RunFindDialog(0), 0);
    EXPECT_EQ(GpKeyScriptPolls(), 11u);
    EXPECT_GE(GetTicks() - before, 400u) << "the keyboard's pause and the box's";
    GpClearKeyScript();
    EXPECT_EQ(g_currentEntry.position, Top(5));
    // The box on the screen is the one of this language: drawn again over the
    // same buffers it gives the same screen, the other language's does not.
    const std::vector<uint16_t> shown = ScreenFrame();
    MessageBox(c.title, c.body);
    EXPECT_TRUE(ScreenFrame() == shown);
    MessageBox(c.title, c.other);
    EXPECT_FALSE(ScreenFrame() == shown);
  }
}

TEST_F(FindTest, CancelKeepsTheEditsAndSearchesNothing) {
  std::strcpy(g_settings.findText, "needle");
  g_currentEntry.position = 0;
  // Delete two characters, then cancel.
  EXPECT_EQ(Find(0, {{0, 1}, {KEY_SELECT, 1}, {0, 1}, {KEY_SELECT, 1}, {0, 1}, {KEY_CANCEL, 1}}), 0);
  EXPECT_STREQ(g_settings.findText, "need");
  EXPECT_EQ(g_currentEntry.position, 0);
}

TEST_F(FindTest, OkWithAnEmptyTextStillSearches) {
  // The empty text matches at the start of the current line: the view snaps
  // to that line's top.
  g_settings.findText[0] = 0;
  g_keyboard.column = 12;
  g_currentEntry.position = Top(7) + 6;
  EXPECT_EQ(Find(0, AcceptAtOnce()), 1);
  EXPECT_EQ(g_currentEntry.position, Top(7));
  EXPECT_EQ(Find(1, AcceptAtOnce()), 1);
  EXPECT_EQ(g_currentEntry.position, Top(8));
}

TEST_F(FindTest, TypedWordAndReturnSearches) {
  g_currentEntry.position = Top(13);
  Steps steps = {{0, 1}};
  for (char c : std::string("Needle")) steps.push_back({KeyScriptTyped(uint8_t(c)), 1});
  steps.push_back({0, 1});
  steps.push_back({KEY_ACCEPT, 1});
  EXPECT_EQ(Find(0, steps), 1);
  EXPECT_STREQ(g_settings.findText, "Needle");
  EXPECT_EQ(g_currentEntry.position, Top(30));
}

TEST_F(FindTest, LineWithoutAPlaceLeavesTheView) {
  // A found line whose top is -1 (no place in the document): found, the view stays.
  g_text->lines[3].y = -1;
  std::strcpy(g_settings.findText, "needle");
  g_currentEntry.position = 0;
  EXPECT_EQ(Find(0, AcceptAtOnce()), 1);
  EXPECT_EQ(g_currentEntry.position, 0);
}

TEST_F(FindTest, NextAfterAHitOnTheLastLineFindsNoMore) {
  // The last line's top lies at the end of the line table: "next" from there
  // goes on after the last line, not again from the first hit.
  std::strcpy(g_settings.findText, "line 39");
  g_currentEntry.position = 0;
  EXPECT_EQ(Find(0, AcceptAtOnce()), 1);
  EXPECT_EQ(g_currentEntry.position, Top(39));
  Steps steps = AcceptAtOnce();
  steps.push_back({0, 1});
  steps.push_back({KEY_CANCEL, 1});  // the "not found" box
  EXPECT_EQ(Find(1, steps), 0);
  EXPECT_EQ(g_currentEntry.position, Top(39));
}

TEST_F(FindTest, ChangedTextIsSearchedFromTheTopOfTheScreen) {
  // After a hit the dialog opens again to go on after it; a word typed anew
  // that is in view is found, also above a hit near the end, where the screen
  // shows the document's last page.
  struct Case {
    int hit;
    const char* word;
    int line;
  } cases[] = {{12, "line 12", 12}, {30, "line 27", 27}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.word);
    std::strcpy(g_settings.findText, "needle");
    g_currentEntry.position = Top(c.hit);
    Steps steps = {{0, 1}};
    for (int i = 0; i < 6; ++i) steps.insert(steps.end(), {{KEY_SELECT, 1}, {0, 1}});
    for (const char* w = c.word; *w; ++w) steps.push_back({KeyScriptTyped(uint8_t(*w)), 1});
    steps.insert(steps.end(), {{0, 1}, {KEY_ACCEPT, 1}, {0, 1}, {KEY_CANCEL, 1}});
    EXPECT_EQ(Find(1, steps), 1);
    EXPECT_STREQ(g_settings.findText, c.word);
    EXPECT_EQ(g_currentEntry.position, Top(c.line));
  }
}

TEST_F(FindTest, FromTheMenuTheFirstFrameShowsThePage) {
  // The menu closes under the dialog: the first frame the dialog shows has
  // the page above it, not the menu's lists.
  const std::string dir = MakeScratchDir("find-menu");  // for quillo.cfg
  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  ASSERT_EQ(chdir(dir.c_str()), 0);
  g_currentEntry.position = 0;
  refresh_text(true);
  const std::vector<uint16_t> page = ScreenFrame();
  SetMenuRememberedEntry(1);
  GpSetKeyScript({{KEY_DOWN, 1}, {KEY_DOWN, 1}, {KEY_ACCEPT, 1}, {KEY_SCRIPT_SHOT, 1}, {KEY_CANCEL, 1}});
  RunMenu();
  GpClearKeyScript();
  SetMenuRememberedEntry(0);
  const std::vector<uint16_t>& first = GpScriptShot(0);
  ASSERT_EQ(first.size(), page.size());
  int differ = 0;
  for (int x = 0; x < SCREEN_WIDTH; ++x) {
    for (int y = 0; y < 128; ++y) differ += first[size_t(PixelIndex(x, y))] != page[size_t(PixelIndex(x, y))];
  }
  EXPECT_EQ(differ, 0);
  ASSERT_EQ(chdir(cwd), 0);
}

TEST_F(FindTest, GoldenFrameOfTheDialogWithATextTyped) {
  g_currentEntry.position = 0;
  g_keyboard.row = 2;
  Steps steps = {{0, 1}};
  for (char c : std::string("Tide")) steps.push_back({KeyScriptTyped(uint8_t(c)), 1});
  steps.push_back({0, 3});
  steps.push_back({KEY_CANCEL, 1});
  EXPECT_EQ(Find(0, steps), 0);
  const std::vector<uint16_t> frame = ScreenFrame();
  // The window's fill beside the field, the field's paper, the sunken edge.
  const int top = 148;
  EXPECT_EQ(frame[size_t(PixelIndex(92, top + 10))], g_interfaceColour);
  EXPECT_EQ(frame[size_t(PixelIndex(200, top + 10))], 0xFFDF);
  EXPECT_EQ(frame[size_t(PixelIndex(150, top + 2))], TintDarken63(g_interfaceColour));
  EXPECT_EQ(frame[size_t(PixelIndex(226, top + 10))], TintStrongLighten(g_interfaceColour));
  ExpectGoldenFrame("find", "dialog-typed", frame.data());
}

}  // namespace
