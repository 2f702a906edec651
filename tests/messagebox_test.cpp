// Tests of the bilingual text choice and of the message boxes: geometry by
// body length, the box shown but left in neither frame buffer, the wait key.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "harness.h"
#include "platform/font.h"
#include "platform/keys.h"
#include "platform/settings.h"
#include "platform/video.h"
#include "boxes/messagebox.h"

namespace {

class MessageBoxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    StartTestPlatform();
    ResetSettings();
    RecomputeInterfaceColour();
  }
  void TearDown() override {
    ResetSettings();
    GpClearKeyScript();
  }
};

std::string Lang(const char* text, int language) {
  g_settings.language = int16_t(language);
  return LangText(text);
}

TEST_F(MessageBoxTest, LangTextPicksTheVariantOrFallsBackToEnglish) {
  EXPECT_EQ(Lang("File not found|Fichero no encontrado", 0), "File not found");
  EXPECT_EQ(Lang("File not found|Fichero no encontrado", 1), "Fichero no encontrado");
  EXPECT_EQ(Lang("Zoom", 0), "Zoom");
  EXPECT_EQ(Lang("Zoom", 1), "Zoom");
  EXPECT_EQ(Lang("Open..|", 1), "Open..") << "empty Spanish variant";
  EXPECT_EQ(Lang("|Abrir", 0), "") << "empty English variant";
  EXPECT_EQ(Lang("|Abrir", 1), "Abrir");
  EXPECT_EQ(Lang("", 1), "");
  EXPECT_EQ(Lang("one|two|three", 2), "three");
  EXPECT_EQ(Lang("one|two", 2), "one") << "no third variant";
  EXPECT_EQ(Lang("one|two", 5), "one");
  EXPECT_EQ(Lang("one||three", 1), "one");
  EXPECT_EQ(Lang("one|two", -1), "one");
  EXPECT_EQ(Lang(nullptr, 0), "");
}

TEST_F(MessageBoxTest, LangTextSharesOneBufferAndNeverOverrunsIt) {
  g_settings.language = 0;
  const char* first = LangText("Yes|Si");
  const char* second = LangText("No|No");
  EXPECT_EQ(first, second);
  EXPECT_STREQ(first, "No");
  const std::string longText = std::string(200, 'x') + "|" + std::string(120, 'y');
  EXPECT_EQ(Lang(longText.c_str(), 0), std::string(79, 'x'));
  EXPECT_EQ(Lang(longText.c_str(), 1), std::string(79, 'y'));
  EXPECT_EQ(Lang((std::string(79, 'z') + "|a").c_str(), 0), std::string(79, 'z'));
}

constexpr uint16_t GREY = 0x8410;

void GreyPage() {
  ClearBuffer(g_video->BackBuffer(), GREY);
  ClearBuffer(g_video->FrontBuffer(), GREY);
}

// Top row and height of the box on the screen, found in column 100: the
// window's rows differ from the page, the shadow below is darker grey.
void BoxRows(const std::vector<uint16_t>& frame, int* top, int* height) {
  *top = -1;
  *height = 0;
  for (int y = 0; y < SCREEN_HEIGHT; ++y) {
    const uint16_t p = frame[size_t(PixelIndex(100, y))];
    if (p == GREY || p == TintDarken127(GREY)) {
      if (*top >= 0) break;
      continue;
    }
    if (*top < 0) *top = y;
    ++*height;
  }
}

const char TWO_LINES[] = "The document could not be opened because it is empty.";
const char ONE_LINE[] = "Nothing found";

TEST_F(MessageBoxTest, BoxHeightFollowsTheBody) {
  ASSERT_EQ(MeasureTextBlock(&FontSmall, 65, 190, 240, 0, TWO_LINES, 0), 30);
  ASSERT_EQ(MeasureTextBlock(&FontSmall, 65, 190, 240, 0, ONE_LINE, 0), 15);
  struct Case {
    const char* body;
    int top, height;
  } cases[] = {{TWO_LINES, 93, 54}, {ONE_LINE, 100, 39}, {nullptr, 70, 100}, {"", 108, 24}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.body ? c.body : "(no body)");
    GreyPage();
    MessageBox("Error", c.body);
    const std::vector<uint16_t> frame = ScreenFrame();
    int top, height;
    BoxRows(frame, &top, &height);
    EXPECT_EQ(top, c.top);
    EXPECT_EQ(height, c.height);
    // The window spans columns 60..259 with its shadow just right of it.
    EXPECT_NE(frame[size_t(PixelIndex(60, c.top + 20))], GREY);
    EXPECT_EQ(frame[size_t(PixelIndex(59, c.top + 20))], GREY);
    EXPECT_NE(frame[size_t(PixelIndex(259, c.top + 20))], GREY);
    EXPECT_EQ(frame[size_t(PixelIndex(260, c.top + 20))], TintDarken127(GREY));
  }
}

TEST_F(MessageBoxTest, BoxIsShownButInNeitherFrameBuffer) {
  GreyPage();
  const uint32_t shows = GpShowCount();
  MessageBox(LangText("Error|Error"), TWO_LINES);
  EXPECT_EQ(GpShowCount(), shows + 1);
  for (int i = 0; i < FRAME_PIXELS; ++i) {
    ASSERT_EQ(g_video->BackBuffer()[i], GREY) << i;
    ASSERT_EQ(g_video->FrontBuffer()[i], GREY) << i;
  }
  const std::vector<uint16_t> frame = ScreenFrame();
  // Body text in white from (65, 111), the title in the standard font's yellow.
  int white = 0, yellow = 0;
  for (int y = 111; y < 141; ++y) {
    for (int x = 65; x < 255; ++x) white += frame[size_t(PixelIndex(x, y))] == 0xFFFF;
  }
  for (int y = 93; y < 109; ++y) {
    for (int x = 60; x < 260; ++x) yellow += frame[size_t(PixelIndex(x, y))] == 0xFFC0;
  }
  EXPECT_GT(white, 100);
  EXPECT_GT(yellow, 20);
  ExpectGoldenFrame("messagebox", "two-lines", frame.data());
}

TEST_F(MessageBoxTest, LongBodyKeepsTheBoxOnTheScreen) {
  std::string body;
  for (int i = 0; i < 40; ++i) body += "A line of its own.\n";
  GreyPage();
  MessageBox("Error", body.c_str());
  int top, height;
  BoxRows(ScreenFrame(), &top, &height);
  EXPECT_GE(top, 0);
  EXPECT_LE(top + height + 3, SCREEN_HEIGHT);
  EXPECT_EQ(height, 14 * 15 + 24);
}

TEST_F(MessageBoxTest, WaitReturnsTheKeyThatClosedIt) {
  for (int key : {KEY_ACCEPT, KEY_CANCEL, KEY_SELECT}) {
    GpSetKeyScript({{0, 3}, {key, 1}});
    EXPECT_EQ(MessageBoxWait("Info", ONE_LINE), key);
  }
}

}  // namespace
