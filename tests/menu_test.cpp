// The menu driven by the scripted key source on the virtual clock: moving in
// the bar and the lists, every command with its limits, the settings read back
// from quillo.cfg, and golden frames of the lists and boxes over a plain page.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "app/engine.h"
#include "document/layout.h"
#include "document/render.h"
#include "document/text.h"
#include "harness.h"
#include "importers/load.h"
#include "platform/bytes.h"
#include "platform/font.h"
#include "platform/keys.h"
#include "platform/settings.h"
#include "platform/video.h"
#include "boxes/messagebox.h"
#include "ui/menu.h"

namespace {

using Script = std::vector<std::pair<int, int>>;

constexpr std::pair<int, int> SHOT = {KEY_SCRIPT_SHOT, 1};
constexpr std::pair<int, int> Key(int code) { return {code, 1}; }

// A quit event means the script ran out while a loop still waited for keys:
// the script is wrong, or the menu read more keys than it should.
void FailOnQuit() {
  std::fprintf(stderr, "menu_test: the key script ran out inside a loop\n");
  std::fflush(stderr);
  _exit(3);
}

int g_exitCalls = 0;
void CountExit() { ++g_exitCalls; }

// A page of plain text without format codes, so its picture depends on the
// font and the layout of plain lines only.
std::string PlainPage() {
  std::string page;
  for (int i = 1; i <= 60; ++i) {
    page += "Line " + std::to_string(i) + " of a plain page under the menu.\n";
  }
  return page;
}

// The settings file as the test reads it: the fields at their offsets.
struct StoredConfig {
  bool present = false;
  uint16_t paper = 0, text = 0, weight = 0, titleBar = 0, zoom = 0, progress = 0;
  int16_t keySwap = 0, language = 0, interfaceIndex = 0;
  int32_t autoscroll = 0;
};

StoredConfig ReadStoredConfig() {
  StoredConfig c;
  const std::string bytes = ReadTestFile(CONFIG_FILE_NAME);
  if (bytes.size() != size_t(CONFIG_FILE_SIZE)) return c;
  const uint8_t* p = reinterpret_cast<const uint8_t*>(bytes.data());
  c.present = true;
  c.paper = GetLe16(p + 0);
  c.text = GetLe16(p + 2);
  c.weight = GetLe16(p + 4);
  c.titleBar = GetLe16(p + 6);
  c.zoom = GetLe16(p + 8);
  c.autoscroll = int32_t(GetLe32(p + 594));
  c.progress = GetLe16(p + 598);
  c.keySwap = int16_t(GetLe16(p + 600));
  c.language = int16_t(GetLe16(p + 602));
  c.interfaceIndex = int16_t(GetLe16(p + 604));
  return c;
}

uint16_t ShotPixel(size_t shot, int x, int y) {
  const std::vector<uint16_t>& frame = GpScriptShot(shot);
  return frame.empty() ? 0 : frame[size_t(PixelIndex(x, y))];
}

class MenuTest : public ::testing::Test {
 protected:
  void SetUp() override {
    StartTestPlatform();
    dir_ = MakeScratchDir("menu");
    ASSERT_EQ(chdir(dir_.c_str()), 0);
    ResetSettings();
    SetKeySwap(uint32_t(g_settings.keySwap));
    GpSetQuitHandler(FailOnQuit);
    g_exitCalls = 0;
    SetMenuExitHandler(CountExit);
    SetMenuRememberedEntry(0);
    if (!g_text) g_text = CreateText(TEXT_LAYOUT_WIDTH);
    SelectZoomFont();
    Load(PlainPage());
  }
  void TearDown() override {
    GpClearKeyScript();
    GpSetQuitHandler(nullptr);
    SetMenuExitHandler(nullptr);
    ResetSettings();
    SetKeySwap(0);
  }

  void Load(const std::string& text) {
    LoadFromMemory(g_text, strdup(text.c_str()));
    g_currentEntry.position = 0;
    // The page on screen, as the main loop leaves it before START.
    refresh_text(true);
  }

  // Runs the menu with the script over the page redrawn, as the main loop
  // leaves it; every key of the script must be used. shows_ counts the
  // pictures the menu showed.
  int Menu(const Script& script) {
    refresh_text(true);
    GpSetKeyScript(script);
    const uint32_t before = GpShowCount();
    const int result = RunMenu();
    uint32_t keys = 0;
    for (const auto& step : script) {
      if (step.first != KEY_SCRIPT_SHOT) keys += uint32_t(step.second);
    }
    EXPECT_EQ(GpKeyScriptPolls(), keys) << "keys left in the script";
    shows_ = GpShowCount() - before;
    return result;
  }

  std::string dir_;
  uint32_t shows_ = 0;
};

// ---- Moving in the bar and the lists ----

TEST_F(MenuTest, LeftAndRightWrapAroundTheBar) {
  EXPECT_EQ(Menu({Key(KEY_LEFT), Key(KEY_CANCEL)}), -1);
  EXPECT_EQ(MenuRememberedEntry(), 4) << "LEFT on File|Fichero selects ?";
  EXPECT_EQ(Menu({Key(KEY_RIGHT), Key(KEY_CANCEL)}), -1);
  EXPECT_EQ(MenuRememberedEntry(), 0) << "RIGHT on ? selects File|Fichero";
  EXPECT_EQ(Menu({Key(KEY_RIGHT), Key(KEY_RIGHT), Key(KEY_LEFT), Key(KEY_CANCEL)}), -1);
  EXPECT_EQ(MenuRememberedEntry(), 1);
}

TEST_F(MenuTest, UpOnTheFirstRowSelectsTheLast) {
  // The last row of the File list is Exit.
  EXPECT_EQ(Menu({Key(KEY_UP), Key(KEY_ACCEPT)}), CMD_EXIT);
  EXPECT_EQ(g_exitCalls, 1);
  // DOWN from the last row comes back to the first.
  SetMenuRememberedEntry(1);
  g_currentEntry.position = 300;
  Menu({Key(KEY_DOWN), Key(KEY_DOWN), Key(KEY_DOWN), Key(KEY_DOWN), Key(KEY_DOWN),
        Key(KEY_ACCEPT), Key(KEY_CANCEL)});
  EXPECT_EQ(g_currentEntry.position, 0) << "five DOWNs on five rows select Home again";
}

TEST_F(MenuTest, BarEntryIsRememberedAndEveryListStartsOnItsFirstRow) {
  g_currentEntry.position = 300;
  // Browse, then down to End without choosing it, and away.
  EXPECT_EQ(Menu({Key(KEY_RIGHT), Key(KEY_DOWN), Key(KEY_CANCEL)}), -1);
  EXPECT_EQ(MenuRememberedEntry(), 1);
  EXPECT_EQ(g_currentEntry.position, 300);
  // The next opening is on Browse with Home selected: ACCEPT goes to the start.
  Menu({Key(KEY_ACCEPT), Key(KEY_CANCEL)});
  EXPECT_EQ(g_currentEntry.position, 0);
  EXPECT_EQ(MenuRememberedEntry(), 1);
  // Leaving through a command that closes the menu stores the entry too.
  Menu({Key(KEY_RIGHT), Key(KEY_RIGHT), Key(KEY_RIGHT), Key(KEY_ACCEPT), SHOT, Key(KEY_CANCEL)});
  EXPECT_EQ(MenuRememberedEntry(), 4);
}

TEST_F(MenuTest, ListsArePlacedUnderTheirEntries) {
  // The list's shadow falls on the page right of it; its rows are opaque.
  struct Case {
    int entry, left, right;
  } cases[] = {{0, 20, 99}, {1, 70, 154}, {2, 130, 209}, {3, 175, 274}, {4, 175, 254}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.entry);
    SetMenuRememberedEntry(c.entry);
    Menu({SHOT, Key(KEY_CANCEL)});
    const uint16_t selected = 0xFFD0;
    // First row selected, just under the bar (row 38); the page is white there.
    EXPECT_EQ(ShotPixel(0, c.left, 45), selected);
    EXPECT_EQ(ShotPixel(0, c.right, 45), selected);
    EXPECT_NE(ShotPixel(0, c.left - 1, 45), selected);
    EXPECT_NE(ShotPixel(0, c.right + 1, 45), selected);
    EXPECT_EQ(ShotPixel(0, c.left + 1, 38 + 16 + 8), g_interfaceColour) << "second row";
  }
}

TEST_F(MenuTest, ColourListLeftReturnsToTheOptionsList) {
  SetMenuRememberedEntry(3);
  // Background; in the colour list DOWN to Dark Gray, then LEFT back to
  // Options; DOWN to Text: the shared colour list opens on Dark Gray.
  Menu({Key(KEY_ACCEPT), Key(KEY_DOWN), Key(KEY_LEFT), Key(KEY_DOWN), Key(KEY_ACCEPT),
        Key(KEY_ACCEPT), Key(KEY_CANCEL), Key(KEY_CANCEL)});
  EXPECT_EQ(g_settings.paperColour, 0xFFFF);
  EXPECT_EQ(g_settings.textColour, 0x4208);
  EXPECT_EQ(MenuRememberedEntry(), 3);
}

// ---- Commands ----

TEST_F(MenuTest, ZoomChangesWithinItsLimitsAndRedrawsOnlyOnAChange) {
  SetMenuRememberedEntry(2);
  g_settings.zoomLevel = 2;
  SelectZoomFont();
  Relayout(g_text, 0);
  // Two polls of the list, each one show; no redraw for a zoom at its limit.
  Menu({Key(KEY_ACCEPT), Key(KEY_CANCEL)});
  EXPECT_EQ(shows_, 2u);
  EXPECT_EQ(g_settings.zoomLevel, 2);
  EXPECT_FALSE(ReadStoredConfig().present) << "nothing changed, nothing saved";

  g_settings.zoomLevel = 0;
  SelectZoomFont();
  Relayout(g_text, 0);
  Menu({Key(KEY_DOWN), Key(KEY_ACCEPT), Key(KEY_CANCEL)});
  EXPECT_EQ(shows_, 3u);
  EXPECT_EQ(g_settings.zoomLevel, 0);
  EXPECT_FALSE(ReadStoredConfig().present);

  // Zoom + twice from a place inside the document: the font grows, the text is
  // laid out again and the same line stays at the top.
  const int32_t line = 20;
  g_currentEntry.position = g_text->lines[line].y;
  const char* start = g_text->lines[line].start;
  Menu({Key(KEY_ACCEPT), Key(KEY_ACCEPT), Key(KEY_ACCEPT), Key(KEY_CANCEL)});
  EXPECT_EQ(shows_, 4u + 2u) << "two changes redrawn, the third not";
  EXPECT_EQ(g_settings.zoomLevel, 2);
  EXPECT_EQ(g_text->font, &FontLarge);
  const int32_t at = LineAtPosition(g_text, g_currentEntry.position);
  ASSERT_GE(at, 0);
  EXPECT_EQ(g_text->lines[at].start, start);
  EXPECT_EQ(ReadStoredConfig().zoom, 2);
  Menu({Key(KEY_DOWN), Key(KEY_ACCEPT), Key(KEY_CANCEL)});
  EXPECT_EQ(g_settings.zoomLevel, 1);
  EXPECT_EQ(g_text->font, &FontMedium);
  EXPECT_EQ(ReadStoredConfig().zoom, 1);
}

TEST_F(MenuTest, WeightMovesInStepsOfFourWithinItsRange) {
  SetMenuRememberedEntry(2);
  ASSERT_EQ(g_settings.textWeight, 16);
  Script script = {Key(KEY_DOWN), Key(KEY_DOWN)};
  for (int i = 0; i < 8; ++i) script.push_back(Key(KEY_ACCEPT));
  script.push_back(Key(KEY_CANCEL));
  Menu(script);
  EXPECT_EQ(g_settings.textWeight, 48);
  EXPECT_EQ(ReadStoredConfig().weight, 48);
  Menu({Key(KEY_UP), Key(KEY_ACCEPT), Key(KEY_ACCEPT), Key(KEY_ACCEPT), Key(KEY_ACCEPT),
        Key(KEY_CANCEL)});
  EXPECT_EQ(g_settings.textWeight, 32);
  EXPECT_EQ(ReadStoredConfig().weight, 32);

  // At 128 Heavier does nothing; at 0 Lighter does nothing.
  g_settings.textWeight = 128;
  Menu({Key(KEY_DOWN), Key(KEY_DOWN), Key(KEY_ACCEPT), Key(KEY_CANCEL)});
  EXPECT_EQ(g_settings.textWeight, 128);
  g_settings.textWeight = 0;
  Menu({Key(KEY_UP), Key(KEY_ACCEPT), Key(KEY_CANCEL)});
  EXPECT_EQ(g_settings.textWeight, 0);
  // A stored weight off the steps never leaves the range: 126 goes to 128,
  // 2 to 0, never round to 65534.
  g_settings.textWeight = 126;
  Menu({Key(KEY_DOWN), Key(KEY_DOWN), Key(KEY_ACCEPT), Key(KEY_ACCEPT), Key(KEY_CANCEL)});
  EXPECT_EQ(g_settings.textWeight, 128);
  g_settings.textWeight = 2;
  Menu({Key(KEY_UP), Key(KEY_ACCEPT), Key(KEY_ACCEPT), Key(KEY_CANCEL)});
  EXPECT_EQ(g_settings.textWeight, 0);
  EXPECT_EQ(ReadStoredConfig().weight, 0);
}

TEST_F(MenuTest, TwoPaperColoursInARowBothApply) {
  SetMenuRememberedEntry(3);
  // Background, Dark Gray (shot), Gray (shot), then back and out.
  Menu({Key(KEY_ACCEPT), Key(KEY_DOWN), Key(KEY_ACCEPT), SHOT, Key(KEY_DOWN), Key(KEY_ACCEPT), SHOT,
        Key(KEY_CANCEL), Key(KEY_CANCEL)});
  ASSERT_EQ(GpScriptShotCount(), 2u);
  // A paper pixel right of the lines, below the lists.
  EXPECT_EQ(ShotPixel(0, 316, 230), 0x4208);
  EXPECT_EQ(ShotPixel(1, 316, 230), 0x8410);
  // The colour list is open again in both pictures, with the row chosen selected.
  EXPECT_EQ(ShotPixel(0, 110, 50 + 16 + 8), 0xFFD0);
  EXPECT_EQ(ShotPixel(1, 110, 50 + 32 + 8), 0xFFD0);
  EXPECT_EQ(g_settings.paperColour, 0x8410);
  EXPECT_EQ(ReadStoredConfig().paper, 0x8410);

  // The text colour list opens lower, at y 65, and sets the text colour.
  Menu({Key(KEY_DOWN), Key(KEY_ACCEPT), Key(KEY_UP), SHOT, Key(KEY_ACCEPT), Key(KEY_CANCEL),
        Key(KEY_CANCEL)});
  EXPECT_EQ(ShotPixel(0, 110, 65 + 8 * 16 + 8), 0xFFD0) << "last row, Light Yellow";
  EXPECT_EQ(g_settings.textColour, 0xFFD8);
  EXPECT_EQ(g_settings.paperColour, 0x8410);
  const StoredConfig stored = ReadStoredConfig();
  EXPECT_EQ(stored.text, 0xFFD8);
  EXPECT_EQ(stored.paper, 0x8410);
}

TEST_F(MenuTest, InterfaceListAlwaysClosesTheMenu) {
  SetMenuRememberedEntry(3);
  EXPECT_EQ(Menu({Key(KEY_DOWN), Key(KEY_DOWN), Key(KEY_ACCEPT), Key(KEY_CANCEL)}), -1);
  EXPECT_EQ(g_settings.interfaceColourIndex, 1);
  EXPECT_EQ(ReadStoredConfig().interfaceIndex, 1);
  // Carmine, the third row.
  EXPECT_EQ(Menu({Key(KEY_DOWN), Key(KEY_DOWN), Key(KEY_ACCEPT), Key(KEY_DOWN), Key(KEY_DOWN),
                  Key(KEY_ACCEPT)}),
            -1);
  EXPECT_EQ(g_settings.interfaceColourIndex, 2);
  EXPECT_EQ(g_interfaceColour, 0x6000);
  EXPECT_EQ(ReadStoredConfig().interfaceIndex, 2);
  // The next opening is built in the new colour: bar, selected entry, rows.
  Menu({SHOT, Key(KEY_CANCEL)});
  EXPECT_EQ(ShotPixel(0, 12, 25), MenuBarColour(0x6000));
  EXPECT_EQ(ShotPixel(0, 176, 22), 0x6000) << "the selected entry, Options";
  EXPECT_EQ(ShotPixel(0, 175, 38 + 16 + 8), 0x6000) << "a row of the list";
  EXPECT_EQ(MenuBarColour(0x6000), 0x4800);
}

TEST_F(MenuTest, HomeEndAndPageBreaks) {
  // Five stretches of twenty lines each separated by page breaks.
  std::string text;
  for (int part = 0; part < 5; ++part) {
    if (part > 0) text += "\x01P\n";
    for (int i = 0; i < 20; ++i) text += "Part " + std::to_string(part) + " line " + std::to_string(i) + "\n";
  }
  Load(text);
  std::vector<int32_t> breaks;
  for (int32_t i = 0; i < g_text->lineCount; ++i) {
    if (g_text->lines[i].start[0] == '\x01' && g_text->lines[i].start[1] == 'P') breaks.push_back(g_text->lines[i].y);
  }
  ASSERT_EQ(breaks.size(), 4u);
  SetMenuRememberedEntry(1);
  const auto next = Script{Key(KEY_DOWN), Key(KEY_DOWN), Key(KEY_DOWN), Key(KEY_ACCEPT), Key(KEY_CANCEL)};
  const auto prev = Script{Key(KEY_UP), Key(KEY_ACCEPT), Key(KEY_CANCEL)};
  for (int32_t y : breaks) {
    Menu(next);
    EXPECT_EQ(g_currentEntry.position, y);
  }
  // No break after the last: the position stays.
  Menu(next);
  EXPECT_EQ(g_currentEntry.position, breaks[3]);
  // Back: the break before the one at the top of the view.
  Menu(prev);
  EXPECT_EQ(g_currentEntry.position, breaks[2]);
  Menu(prev);
  EXPECT_EQ(g_currentEntry.position, breaks[1]);

  // End: the last line's bottom at the bottom of the screen; with the title
  // bar hidden the limit grows by 16.
  Menu({Key(KEY_DOWN), Key(KEY_ACCEPT), Key(KEY_CANCEL)});
  const int32_t height = DocumentHeight(g_text);
  EXPECT_EQ(g_currentEntry.position, height + 16 - 240);
  // From the end the previous break is found, and there is no next one.
  Menu(next);
  EXPECT_EQ(g_currentEntry.position, height + 16 - 240);
  Menu(prev);
  EXPECT_EQ(g_currentEntry.position, breaks[3]);
  g_settings.titleBarShown = 0;
  Menu({Key(KEY_DOWN), Key(KEY_ACCEPT), Key(KEY_CANCEL)});
  EXPECT_EQ(g_currentEntry.position, height - 240);
  Menu({Key(KEY_ACCEPT), Key(KEY_CANCEL)});
  EXPECT_EQ(g_currentEntry.position, 0);

  // A place kept past the last line's top (from another zoom level): Next
  // finds nothing after it rather than the first break of the document.
  g_currentEntry.position = height + 1000;
  Menu(next);
  EXPECT_EQ(g_currentEntry.position, height + 1000);
  Menu(prev);
  EXPECT_EQ(g_currentEntry.position, breaks[3]);
}

TEST_F(MenuTest, EndOnAShortDocumentStaysAtZero) {
  Load("Three lines.\nOnly.\nHere.\n");
  SetMenuRememberedEntry(1);
  g_currentEntry.position = 7;
  Menu({Key(KEY_DOWN), Key(KEY_ACCEPT), Key(KEY_CANCEL)});
  EXPECT_EQ(g_currentEntry.position, 0);
  ClearTextContents(g_text);  // no loaded document is empty: one without lines
  g_currentEntry.position = 7;
  Menu({Key(KEY_DOWN), Key(KEY_ACCEPT), Key(KEY_CANCEL)});
  EXPECT_EQ(g_currentEntry.position, 0) << "no lines at all";
  // The page-break jumps on a document without lines do nothing.
  Menu({Key(KEY_UP), Key(KEY_ACCEPT), Key(KEY_UP), Key(KEY_ACCEPT), Key(KEY_CANCEL)});
  EXPECT_EQ(g_currentEntry.position, 0);
}

TEST_F(MenuTest, RecentWithOneDocumentStaysWhileOpenAndFindClose) {
  // Recent with no second document redraws the page and leaves the menu open:
  // the CANCEL after it is read by the menu.
  EXPECT_EQ(Menu({Key(KEY_DOWN), Key(KEY_ACCEPT), Key(KEY_CANCEL)}), -1);
  EXPECT_EQ(shows_, 4u) << "three polls and one redraw";
  // Open and Find run their dialogs; cancelling a dialog still closes the menu.
  EXPECT_EQ(Menu({Key(KEY_ACCEPT), Key(KEY_CANCEL)}), CMD_OPEN);
  SetMenuRememberedEntry(1);
  EXPECT_EQ(Menu({Key(KEY_DOWN), Key(KEY_DOWN), Key(KEY_ACCEPT), Key(KEY_CANCEL)}), CMD_FIND);
}

TEST_F(MenuTest, TitleBarAndProgressStyleSwitch) {
  SetMenuRememberedEntry(3);
  const Script titleBar = {Key(KEY_DOWN), Key(KEY_DOWN), Key(KEY_DOWN), Key(KEY_ACCEPT), SHOT,
                           Key(KEY_CANCEL)};
  Menu(titleBar);
  EXPECT_EQ(g_settings.titleBarShown, 0);
  EXPECT_EQ(ReadStoredConfig().titleBar, 0);
  // Without the title bar the first line is drawn at the top of the screen.
  EXPECT_NE(ShotPixel(0, 300, 5), g_interfaceColour);
  Menu(titleBar);
  EXPECT_EQ(g_settings.titleBarShown, 1);
  EXPECT_EQ(ShotPixel(0, 300, 5), g_interfaceColour);
  EXPECT_EQ(ReadStoredConfig().titleBar, 1);
  // A stored value other than 0 switches to 0.
  g_settings.titleBarShown = 7;
  Menu(titleBar);
  EXPECT_EQ(g_settings.titleBarShown, 0);

  // The rows above Rejoin lines, the last, are reached by UP from the first.
  const Script progress = {Key(KEY_UP), Key(KEY_UP), Key(KEY_UP), Key(KEY_UP), Key(KEY_ACCEPT), Key(KEY_CANCEL)};
  Menu(progress);
  EXPECT_EQ(g_settings.progressStyle, 0);
  EXPECT_EQ(ReadStoredConfig().progress, 0);
  Menu(progress);
  EXPECT_EQ(g_settings.progressStyle, 1);
  EXPECT_EQ(ReadStoredConfig().progress, 1);
}

TEST_F(MenuTest, KeySwapChangesTheButtonsAndSaysSoInBothLanguages) {
  SetMenuRememberedEntry(3);
  ASSERT_EQ(g_settings.keySwap, 1);
  ASSERT_EQ(GetKeySwap(), 1);
  const Script swap = {Key(KEY_UP), Key(KEY_UP), Key(KEY_UP), Key(KEY_ACCEPT), SHOT, Key(KEY_SELECT),
                       Key(KEY_CANCEL)};
  Menu(swap);
  EXPECT_EQ(g_settings.keySwap, 0);
  EXPECT_EQ(GetKeySwap(), 0);
  EXPECT_EQ(ReadStoredConfig().keySwap, 0);
  ExpectGoldenFrame("menu", "swap-gp32-en", GpScriptShot(0).data());
  Menu(swap);
  EXPECT_EQ(GetKeySwap(), 1);
  ExpectGoldenFrame("menu", "swap-gp2x-en", GpScriptShot(0).data());
  g_settings.language = 1;
  Menu(swap);
  ExpectGoldenFrame("menu", "swap-gp32-es", GpScriptShot(0).data());
  Menu(swap);
  ExpectGoldenFrame("menu", "swap-gp2x-es", GpScriptShot(0).data());
  EXPECT_EQ(ReadStoredConfig().keySwap, 1);

  // What GetKey reports for the A (12) and B (13) buttons.
  GpClearKeyScript();
  bool buttons[14] = {};
  GpSetFakeJoystick(buttons, 14);
  buttons[12] = true;
  EXPECT_EQ(GetKey(), KEY_CANCEL) << "GP2X keys: A cancels";
  SetMenuRememberedEntry(3);
  GpSetFakeJoystick(nullptr, 0);
  Menu(swap);
  GpClearKeyScript();
  GpSetFakeJoystick(buttons, 14);
  EXPECT_EQ(GetKey(), KEY_ACCEPT) << "GP32 keys: A accepts";
  buttons[12] = false;
  buttons[13] = true;
  EXPECT_EQ(GetKey(), KEY_CANCEL);
  GpSetFakeJoystick(nullptr, 0);
}

TEST_F(MenuTest, LanguageSwitchChangesEveryLaterText) {
  SetMenuRememberedEntry(3);
  // Language, Spanish; the Options list shown again is in Spanish.
  Menu({Key(KEY_UP), Key(KEY_UP), Key(KEY_ACCEPT), Key(KEY_DOWN), Key(KEY_ACCEPT), SHOT, Key(KEY_CANCEL)});
  EXPECT_EQ(g_settings.language, 1);
  EXPECT_EQ(ReadStoredConfig().language, 1);
  EXPECT_STREQ(LangText("File|Fichero"), "Fichero");
  // The same picture as a menu opened in Spanish from the start.
  const std::vector<uint16_t> switched = GpScriptShot(0);
  Menu({Key(KEY_UP), Key(KEY_UP), SHOT, Key(KEY_CANCEL)});
  EXPECT_EQ(FrameHash(switched.data()), FrameHash(GpScriptShot(0).data()));
  ExpectGoldenFrame("menu", "options-language-es", switched.data());
  // Cancelling the language list keeps the language; English switches back.
  Menu({Key(KEY_UP), Key(KEY_UP), Key(KEY_ACCEPT), Key(KEY_CANCEL), Key(KEY_CANCEL)});
  EXPECT_EQ(g_settings.language, 1);
  Menu({Key(KEY_UP), Key(KEY_UP), Key(KEY_ACCEPT), Key(KEY_ACCEPT), Key(KEY_CANCEL)});
  EXPECT_EQ(g_settings.language, 0);
  EXPECT_EQ(ReadStoredConfig().language, 0);
}

TEST_F(MenuTest, EverySettingIsReadBackFromTheFile) {
  // One opening per change, then the file holds all of them field by field.
  SetMenuRememberedEntry(2);
  Menu({Key(KEY_ACCEPT), Key(KEY_DOWN), Key(KEY_DOWN), Key(KEY_ACCEPT), Key(KEY_CANCEL)});  // zoom 1, weight 20
  SetMenuRememberedEntry(3);
  Menu({Key(KEY_ACCEPT), Key(KEY_UP), Key(KEY_ACCEPT), Key(KEY_CANCEL), Key(KEY_CANCEL)});  // paper
  Menu({Key(KEY_DOWN), Key(KEY_ACCEPT), Key(KEY_DOWN), Key(KEY_ACCEPT), Key(KEY_CANCEL), Key(KEY_CANCEL)});  // text
  Menu({Key(KEY_DOWN), Key(KEY_DOWN), Key(KEY_ACCEPT), Key(KEY_UP), Key(KEY_ACCEPT)});  // Gray
  Menu({Key(KEY_UP), Key(KEY_UP), Key(KEY_UP), Key(KEY_UP), Key(KEY_ACCEPT), Key(KEY_UP), Key(KEY_ACCEPT),
        Key(KEY_CANCEL)});  // progress style, then the title bar
  Menu({Key(KEY_UP), Key(KEY_UP), Key(KEY_UP), Key(KEY_ACCEPT), Key(KEY_ACCEPT), Key(KEY_CANCEL)});  // swap
  Menu({Key(KEY_UP), Key(KEY_UP), Key(KEY_ACCEPT), Key(KEY_DOWN), Key(KEY_ACCEPT), Key(KEY_CANCEL)});  // Spanish
  const StoredConfig c = ReadStoredConfig();
  ASSERT_TRUE(c.present);
  EXPECT_EQ(c.zoom, 1);
  EXPECT_EQ(c.weight, 20);
  EXPECT_EQ(c.paper, 0xFFD8);
  EXPECT_EQ(c.text, 0x4208);
  EXPECT_EQ(c.interfaceIndex, 7);
  EXPECT_EQ(c.progress, 0);
  EXPECT_EQ(c.titleBar, 0);
  EXPECT_EQ(c.keySwap, 0);
  EXPECT_EQ(c.language, 1);
  EXPECT_EQ(c.autoscroll, 25) << "untouched fields keep their values";
  // And LoadConfig reads them all back.
  ResetSettings();
  ASSERT_EQ(LoadConfig(), 1);
  EXPECT_EQ(g_settings.zoomLevel, 1);
  EXPECT_EQ(g_settings.paperColour, 0xFFD8);
  EXPECT_EQ(g_interfaceColour, 0x630C);
  EXPECT_EQ(g_settings.language, 1);
}

TEST_F(MenuTest, AFailedSaveKeepsTheSettingAndTraces) {
  // A folder where the settings file itself would go: every rewrite fails,
  // with a temporary file and in place.
  ASSERT_EQ(mkdir("quillo.cfg", 0755), 0);
  SetMenuRememberedEntry(2);
  testing::internal::CaptureStdout();
  Menu({Key(KEY_ACCEPT), Key(KEY_CANCEL)});
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("Error al grabar fichero Cfg"), std::string::npos) << out;
  EXPECT_EQ(g_settings.zoomLevel, 1);
  EXPECT_EQ(g_text->font, &FontMedium);
  EXPECT_FALSE(ReadStoredConfig().present);
  // The reader goes on: the next change is applied as well.
  Menu({Key(KEY_DOWN), Key(KEY_DOWN), Key(KEY_ACCEPT), Key(KEY_CANCEL)});
  EXPECT_EQ(g_settings.textWeight, 20);
}

TEST_F(MenuTest, ExitRunsTheExitSequenceAndEndsWithStatusZero) {
  g_settings.zoomLevel = 1;
  g_settings.paperColour = 0xC618;
  SetMenuExitHandler(Shutdown);
  EXPECT_EXIT(
      {
        GpSetKeyScript({Key(KEY_DOWN), Key(KEY_DOWN), Key(KEY_DOWN), Key(KEY_ACCEPT)});
        RunMenu();
        std::fprintf(stderr, "RunMenu returned\n");
        _exit(4);
      },
      ::testing::ExitedWithCode(0), "");
  const StoredConfig c = ReadStoredConfig();
  EXPECT_TRUE(c.present);
  EXPECT_EQ(c.zoom, 1);
  EXPECT_EQ(c.paper, 0xC618);
}

// Width of an interface text in the standard font, as DrawString moves the pen.
int TextWidth(const char* text) {
  const BitmapFont* f = g_video->font;
  int x = 0;
  for (const uint8_t* s = reinterpret_cast<const uint8_t*>(text); *s; ++s) {
    x += *s == ' ' ? f->spaceWidth[0] : *s < FONT_FIRST_CHAR ? 0 : f->advance[GlyphIndex(0, *s)];
  }
  return x;
}

TEST_F(MenuTest, EveryTextFitsItsEntryOrRowInBothLanguages) {
  MenuBar bar;
  BuildMenuBar(&bar, 0);
  for (int language = 0; language < 2; ++language) {
    g_settings.language = int16_t(language);
    for (const MenuBarEntry& entry : bar.entries) {
      EXPECT_LE(2 + TextWidth(LangText(entry.text)), entry.width) << LangText(entry.text);
      for (int i = 0; i < entry.list.count; ++i) {
        const char* text = LangText(entry.list.items[i].text);
        EXPECT_LE(2 + TextWidth(text), entry.list.width) << text;
        // Every variant is code page 1252: no UTF-8 lead byte followed by a
        // continuation byte.
        for (const char* p = entry.list.items[i].text; p[0] && p[1]; ++p) {
          EXPECT_FALSE((uint8_t(p[0]) & 0xE0) == 0xC0 && (uint8_t(p[1]) & 0xC0) == 0x80) << text;
        }
      }
    }
  }
}

// ---- Golden frames over the plain page ----

TEST_F(MenuTest, GoldenFramesOfTheListsInBothLanguages) {
  static const char* const names[MENU_BAR_ENTRIES] = {"file", "browse", "font", "options", "help"};
  for (int language = 0; language < 2; ++language) {
    g_settings.language = int16_t(language);
    for (int entry = 0; entry < MENU_BAR_ENTRIES; ++entry) {
      SetMenuRememberedEntry(entry);
      // One row down, so a selected row and an ordinary first row both show.
      Menu({Key(KEY_DOWN), SHOT, Key(KEY_CANCEL)});
      const std::string name = "list-" + std::string(names[entry]) + (language ? "-es" : "-en");
      ExpectGoldenFrame("menu", name.c_str(), GpScriptShot(0).data());
    }
    SetMenuRememberedEntry(3);
    Menu({Key(KEY_ACCEPT), Key(KEY_DOWN), Key(KEY_DOWN), SHOT, Key(KEY_CANCEL), Key(KEY_CANCEL)});
    ExpectGoldenFrame("menu", language ? "list-colours-es" : "list-colours-en", GpScriptShot(0).data());
  }
}

TEST_F(MenuTest, GoldenFramesOfTheHelpAboutAndInfoBoxes) {
  for (int language = 0; language < 2; ++language) {
    g_settings.language = int16_t(language);
    const std::string suffix = language ? "-es" : "-en";
    SetMenuRememberedEntry(4);
    EXPECT_EQ(Menu({Key(KEY_ACCEPT), SHOT, Key(KEY_CANCEL)}), CMD_HELP);
    ExpectGoldenFrame("menu", ("box-help" + suffix).c_str(), GpScriptShot(0).data());
    EXPECT_EQ(Menu({Key(KEY_DOWN), Key(KEY_ACCEPT), SHOT, Key(KEY_ACCEPT)}), CMD_ABOUT);
    ExpectGoldenFrame("menu", ("box-about" + suffix).c_str(), GpScriptShot(0).data());
    SetMenuRememberedEntry(0);
    EXPECT_EQ(Menu({Key(KEY_DOWN), Key(KEY_DOWN), Key(KEY_ACCEPT), SHOT, Key(KEY_UP)}), CMD_INFO);
    ExpectGoldenFrame("menu", ("box-info" + suffix).c_str(), GpScriptShot(0).data());
    EXPECT_EQ(MenuRememberedEntry(), 0);
  }
}

}  // namespace
