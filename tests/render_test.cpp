// Page rendering: golden frames of the introduction and of a long plain text
// in every title-bar style and zoom level, the clamping of ScrollText, and
// the pixel rules for colours, underlines, page breaks and the title name.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "app/intro.h"
#include "document/layout.h"
#include "document/render.h"
#include "document/text.h"
#include "harness.h"
#include "importers/load.h"
#include "platform/font.h"
#include "platform/settings.h"
#include "platform/video.h"
#include "whole_page.h"

namespace {

// A book of made-up prose, the same on every run: paragraphs of words from a
// fixed list chosen by a small generator, hard-wrapped with soft breaks
// ("word ", CR, LF) as plain-text books often are.
std::string MakeBook(int paragraphs) {
  static const char* const words[] = {
      "the",   "river", "slowly", "turned", "towards", "an",     "old",    "mill",  "where",
      "seven", "small", "boats",  "waited", "quietly", "under",  "grey",   "skies", "and",
      "nobody", "knew", "why",    "lanterns", "were",  "burning", "at",   "noon",  "while",
      "a",     "keeper", "counted", "stones", "Morning", "came",  "early", "with", "cold"};
  const int count = int(sizeof words / sizeof words[0]);
  uint32_t seed = 12345;
  std::string book;
  for (int p = 0; p < paragraphs; ++p) {
    const int length = 30 + int(seed % 60);
    int column = 0;
    for (int w = 0; w < length; ++w) {
      seed = seed * 1103515245u + 12345u;
      const char* word = words[(seed >> 16) % count];
      book += word;
      column += int(std::strlen(word)) + 1;
      if (w + 1 == length) {
        book += ".\r\n\r\n";
      } else if (column > 60) {
        book += " \r\n";
        column = 0;
      } else {
        book += ' ';
      }
    }
  }
  return book;
}

// Prose with every format the renderer draws: bold, italic, underline,
// colours, large text (whose glyphs reach above their line), centred and
// right-aligned lines, page breaks and blank lines.
std::string MakeFormattedBook(int paragraphs) {
  static const char* const codes[] = {"\1B", "\1b", "\1I", "\1i", "\1U", "\1u", "\1C1",
                                      "\1C2", "\1C0", "\1F6", "\1F3", "\1F5", "\1F0"};
  const std::string plain = MakeBook(paragraphs);
  std::string book;
  uint32_t seed = 777;
  int words = 0;
  for (char c : plain) {
    book += c;
    if (c != ' ') continue;
    seed = seed * 1103515245u + 12345u;
    if ((seed >> 16) % 5 == 0) {
      const char* code = codes[(seed >> 8) % (sizeof codes / sizeof codes[0])];
      book += code;
    }
    if (++words % 97 == 0) book += "\r\n\1P\r\n";
    if (words % 131 == 0) book += "\r\n\1cA centred line\r\n\1rA right one\r\n\1j";
  }
  return book;
}

class RenderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    StartTestPlatform();
    InitFonts();
    g_standardFont = &FontSmall;
    g_video->SetStandardFont(&FontSmall);
    ResetSettings();
    RecomputeInterfaceColour();
    if (!g_text) g_text = CreateText(TEXT_LAYOUT_WIDTH);
    ClearTextContents(g_text);
    g_text->name[0] = 0;
    SelectZoomFont();
  }
  void TearDown() override {
    ClearTextContents(g_text);
    ResetSettings();
  }

  static void Load(const std::string& text) {
    LoadFromMemory(g_text, strdup(text.c_str()));
  }
  static void LoadBook() {
    Load(MakeBook(120));
    std::strcpy(g_text->name, "/mnt/sd/books/river.txt");
  }
  static void Zoom(int level) {
    g_settings.zoomLevel = uint16_t(level);
    SelectZoomFont();
    LayoutLines(g_text, g_text->font, g_text->text, START_STYLE);
  }
  uint16_t* Frame() { return g_video->BackBuffer(); }
  // Scrolls from the page drawn whole at position by each delta in turn, as
  // the main loop does (back buffer, flip), and checks every frame shown
  // against the same page drawn whole. Returns the last position.
  int32_t ExpectScrollsMatch(int32_t position, const std::vector<int32_t>& deltas,
                             const char* what) {
    for (size_t i = 0; i < deltas.size(); ++i) {
      position = ScrollText(position, deltas[i], g_video->BackBuffer(), true);
      const uint16_t* shown = g_video->FrontBuffer();
      const std::vector<uint16_t> whole = WholePage(position);
      if (!std::equal(shown, shown + FRAME_PIXELS, whole.begin())) {
        int differ = 0, firstRow = SCREEN_HEIGHT, lastRow = -1;
        for (int x = 0; x < SCREEN_WIDTH; ++x) {
          for (int y = 0; y < SCREEN_HEIGHT; ++y) {
            if (shown[PixelIndex(x, y)] == whole[PixelIndex(x, y)]) continue;
            ++differ;
            firstRow = std::min(firstRow, y);
            lastRow = std::max(lastRow, y);
          }
        }
        mkdir("golden-failures", 0755);
        WriteFrameBmp(std::string("golden-failures/scroll-") + what + ".bmp", shown);
        ADD_FAILURE() << what << ": frame " << i << " (delta " << deltas[i] << ", position "
                      << position << ") differs from the page drawn whole in " << differ
                      << " pixels, rows " << firstRow << " to " << lastRow;
        return position;
      }
    }
    return position;
  }
  uint16_t Pixel(int x, int y) { return Frame()[PixelIndex(x, y)]; }
  std::vector<uint16_t> Draw(int32_t position) {
    ScrollText(position, 0, Frame(), false);
    return std::vector<uint16_t>(Frame(), Frame() + FRAME_PIXELS);
  }
};

}  // namespace

TEST_F(RenderTest, IntroductionAtStart) {
  LoadIntroduction(g_text);
  ASSERT_GT(g_text->lineCount, 10);
  EXPECT_EQ(ScrollText(0, 0, Frame(), false), 0);
  ExpectGoldenFrame("render", "intro-0", Frame());
}

TEST_F(RenderTest, WrappedLinesStartInTheStyleOfTheirBreak) {
  // Each paragraph wraps inside a styled stretch whose code was scanned past
  // the break: "words" stays bold on its new line, the "b" before the colour
  // code stays black, and the line above "biggg" keeps the normal height.
  Load("Plain words fill this line: one day the \x01" "Bbold words\x01" "b..... more.\n"
       "Then we see the words in one day the old keeper b\x01" "C2text\x01" "C0 starts.\n"
       "Then more words fill the line up to one day biggg\x01" "F5BIG\x01" "F0 in the end.\n");
  g_text->colours[2] = 0x001F;  // blue
  ASSERT_EQ(g_text->lineCount, 6);
  EXPECT_EQ(g_text->lines[1].startStyle, START_STYLE | STYLE_BOLD);
  EXPECT_EQ(g_text->lines[3].startColour, 0);
  EXPECT_EQ(g_text->lines[4].height, 15);
  EXPECT_EQ(g_text->lines[5].startStyle, START_STYLE);
  ScrollText(0, 0, Frame(), false);
  ExpectGoldenFrame("render", "wrapped-styles", Frame());
}

TEST_F(RenderTest, LongPlainTextInEveryTitleStyle) {
  LoadBook();
  const int32_t middle = DocumentHeight(g_text) / 2;
  g_settings.progressStyle = 0;
  EXPECT_EQ(ScrollText(middle, 0, Frame(), false), middle);
  ExpectGoldenFrame("render", "book-middle-pages", Frame());
  g_settings.progressStyle = 1;
  ScrollText(middle, 0, Frame(), false);
  ExpectGoldenFrame("render", "book-middle-bar", Frame());
  g_settings.titleBarShown = 0;
  ScrollText(middle, 0, Frame(), false);
  ExpectGoldenFrame("render", "book-middle-no-title", Frame());
  // Without the title bar the text starts on row 0: nothing of the bar is left.
  for (int x = 0; x < SCREEN_WIDTH; x += 7) EXPECT_NE(Pixel(x, 2), g_interfaceColour) << x;
}

TEST_F(RenderTest, EveryZoomLevel) {
  LoadBook();
  const char* names[3] = {"book-zoom-0", "book-zoom-1", "book-zoom-2"};
  int32_t heights[3];
  for (int z = 0; z < 3; ++z) {
    Zoom(z);
    heights[z] = DocumentHeight(g_text);
    ScrollText(1000, 0, Frame(), false);
    ExpectGoldenFrame("render", names[z], Frame());
  }
  EXPECT_LT(heights[0], heights[1]);
  EXPECT_LT(heights[1], heights[2]);
}

// Small moves shift the last frame's text area and draw only the rows it
// uncovers; every frame must still be the one drawn whole at its position,
// whatever happened before it.
TEST_F(RenderTest, ScrolledFramesMatchThePageDrawnWhole) {
  Load(MakeFormattedBook(60));
  std::strcpy(g_text->name, "/mnt/sd/books/formatted.txt");
  ASSERT_GT(DocumentHeight(g_text), 5000);
  std::vector<int32_t> run;
  for (int i = 0; i < 40; ++i) run.push_back(+1);
  for (int i = 0; i < 25; ++i) run.push_back(-1);
  for (int i = 0; i < 6; ++i) run.insert(run.end(), {2, 3, 4, 4, 3, 2, 1});  // autoscroll steps
  run.push_back(+210);
  for (int i = 0; i < 20; ++i) run.push_back(+1);
  run.push_back(-210);
  for (int i = 0; i < 12; ++i) run.push_back(-1);
  run.push_back(-100000);  // the start, then moves that the start stops
  for (int i = 0; i < 4; ++i) run.push_back(-1);
  for (int i = 0; i < 30; ++i) run.push_back(+1);
  run.push_back(+100000);  // the end, likewise
  for (int i = 0; i < 4; ++i) run.push_back(+1);
  for (int i = 0; i < 30; ++i) run.push_back(-1);
  run.insert(run.end(), {111, -111, 112, -112, 50, -7});

  g_currentEntry.position = 1000;
  int32_t at = refresh_text(true);
  at = ExpectScrollsMatch(at, run, "zoom0");
  // Page numbers, a heavier weight and another paper colour, changed between
  // two scrolls with no full redraw in between.
  g_settings.progressStyle = 0;
  at = ExpectScrollsMatch(at, {1, 1, -1}, "pages");
  g_settings.textWeight = 64;
  at = ExpectScrollsMatch(at, {1, -1, 3}, "weight");
  g_settings.paperColour = 0xC618;
  at = ExpectScrollsMatch(at, {1, 2, -1}, "paper");
  g_text->colours[1] = 0x001F;
  at = ExpectScrollsMatch(at, {1, 1}, "colour table");
  std::strcpy(g_text->name, "another.txt");
  at = ExpectScrollsMatch(at, {-1, 1}, "name");
  // A menu drawn over both buffers, then closed with a full redraw.
  g_video->DrawWindow(40, 40, 200, 120, g_interfaceColour, "Menu", 0, g_video->FrontBuffer());
  g_video->DrawWindow(40, 40, 200, 120, g_interfaceColour, "Menu", 0, g_video->BackBuffer());
  g_currentEntry.position = at;
  at = refresh_text(true);
  at = ExpectScrollsMatch(at, run, "after a menu");
  // Zoom levels and the title bar hidden (a text area of 240 rows).
  for (int level : {1, 2}) {
    Zoom(level);
    at = ExpectScrollsMatch(at, run, level == 1 ? "zoom1" : "zoom2");
  }
  g_settings.titleBarShown = 0;
  at = ExpectScrollsMatch(at, run, "no title bar");
  g_settings.titleBarShown = 1;
  Zoom(0);
  at = ExpectScrollsMatch(at, run, "zoom0 again");
  g_currentEntry.position = 0;
}

TEST_F(RenderTest, ScrollTextClampsAtBothEnds) {
  LoadBook();
  const int32_t height = DocumentHeight(g_text);
  EXPECT_EQ(ScrollText(0, -1, Frame(), false), 0);
  EXPECT_EQ(ScrollText(5, -210, Frame(), false), 0);
  EXPECT_EQ(ScrollText(0, 1, Frame(), false), 1);
  EXPECT_EQ(ScrollText(height, 210, Frame(), false), height + 16 - 240);
  EXPECT_EQ(ScrollText(height + 16 - 241, 1, Frame(), false), height + 16 - 240);
  g_settings.titleBarShown = 0;
  EXPECT_EQ(ScrollText(0x7FFFFFF0, 210, Frame(), false), height - 240);
  g_settings.titleBarShown = 1;
  // At the end the last line sits at the bottom of the screen.
  const LineRecord& last = g_text->lines[g_text->lineCount - 1];
  const int32_t end = ScrollText(height * 2, 0, Frame(), false);
  EXPECT_EQ(16 + last.y - end + last.height, 240);

  // A document shorter than the text area never moves, and shows no progress.
  Load("short\nlines");
  EXPECT_EQ(ScrollText(0, 210, Frame(), false), 0);
  EXPECT_EQ(ScrollText(100, 1, Frame(), false), 0);
  const std::vector<uint16_t> bar = Draw(0);
  g_settings.progressStyle = 0;
  EXPECT_EQ(Draw(0), bar);
  // An empty document: the title bar on paper.
  ClearTextContents(g_text);
  EXPECT_EQ(ScrollText(50, 50, Frame(), false), 0);
}

TEST_F(RenderTest, RefreshKeepsThePositionAndDrawsWhereAsked) {
  LoadBook();
  g_currentEntry.position = 1 << 30;
  const uint32_t shows = GpShowCount();
  const int32_t clamped = refresh_text(false);
  EXPECT_EQ(clamped, DocumentHeight(g_text) + 16 - 240);
  EXPECT_EQ(g_currentEntry.position, 1 << 30);
  EXPECT_EQ(GpShowCount(), shows);
  // Drawn into the front buffer: the same picture ScrollText gives.
  const std::vector<uint16_t> front(g_video->FrontBuffer(), g_video->FrontBuffer() + FRAME_PIXELS);
  EXPECT_EQ(Draw(clamped), front);
  refresh_text(true);
  EXPECT_EQ(GpShowCount(), shows + 1);
  g_currentEntry.position = 0;
}

TEST_F(RenderTest, ColourCodesAndTheirLimits) {
  g_text->colours[1] = 0xF800;
  g_text->colours[9] = 0;
  const std::vector<uint16_t> plain = (Load("x"), Draw(0));
  // Entry 0, an entry that holds 0 and indices past the table: the text colour.
  EXPECT_EQ((Load("\1C0x"), Draw(0)), plain);
  EXPECT_EQ((Load("\1C9x"), Draw(0)), plain);
  EXPECT_EQ((Load(std::string("\1C") + char('0' + 20) + "x"), Draw(0)), plain);
  EXPECT_EQ((Load("\1C/x"), Draw(0)), plain);
  // A code cut off by the end of the text draws nothing and reads nothing past it.
  EXPECT_EQ((Load("x\1C"), Draw(0)), plain);
  EXPECT_EQ((Load("x\1"), Draw(0)), plain);
  // Colour 1 is red, also on the lines after a wrap (glyph edges are blends
  // with the white paper: full red, less green and blue).
  std::string red = "\1C1";
  for (int i = 0; i < 40; ++i) red += "mmmm ";
  Load(red);
  ASSERT_GE(g_text->lineCount, 2);
  Draw(0);
  bool redOnSecondLine = false;
  const LineRecord& second = g_text->lines[1];
  for (int y = 16 + second.y; y < 16 + second.y + second.height; ++y) {
    for (int x = 0; x < SCREEN_WIDTH; ++x) {
      const uint16_t p = Pixel(x, y);
      redOnSecondLine |= (p >> 11) >= 30 && (p & 31) < 16 && ((p >> 6) & 31) < 16;
    }
  }
  EXPECT_TRUE(redOnSecondLine);
}

TEST_F(RenderTest, UnderlineAndPageRule) {
  Load("\1Uunder\1u\n\1P\nafter");
  ScrollText(0, 0, Frame(), false);
  const LineRecord& first = g_text->lines[0];
  const int underline = 16 + first.y + first.height - 5;
  // The underline has the raw colour value: 0 draws black.
  for (int x = 5; x < 20; ++x) EXPECT_EQ(Pixel(x, underline), 0x0000) << x;
  const LineRecord& rule = g_text->lines[1];
  ASSERT_EQ(rule.length, 2);
  const int row = 16 + rule.y + rule.height - 5;
  for (int x : {10, 109, 120, 199, 210, 309}) EXPECT_EQ(Pixel(x, row), 0x0000) << x;
  for (int x : {9, 110, 119, 200, 209, 310}) EXPECT_EQ(Pixel(x, row), 0xFFFF) << x;
  // The rule takes the text colour setting.
  g_settings.textColour = 0x07E0;
  ScrollText(0, 0, Frame(), false);
  EXPECT_EQ(Pixel(50, row), 0x07E0);
  // With a black paper a black underline is invisible.
  g_settings.paperColour = 0x0000;
  ScrollText(0, 0, Frame(), false);
  EXPECT_EQ(Pixel(8, underline), 0x0000);
}

TEST_F(RenderTest, TitleNameIsCutAfterTwentyCharacters) {
  Load("text");
  std::strcpy(g_text->name, "/books/abcdefghijklmnopqrstu");  // 21 characters
  const std::vector<uint16_t> cut = Draw(0);
  std::strcpy(g_text->name, "abcdefghijklmnopq...");
  EXPECT_EQ(Draw(0), cut);
  std::strcpy(g_text->name, "/books/abcdefghijklmnopqrst");  // 20 characters
  const std::vector<uint16_t> whole = Draw(0);
  std::strcpy(g_text->name, "abcdefghijklmnopq...");
  EXPECT_NE(Draw(0), whole);
}

TEST_F(RenderTest, DrawLinesReturnsTheLineAfterTheLast) {
  Text empty;
  EXPECT_EQ(DrawLines(&empty, nullptr, 5, 16, 224, 0, Frame()), 0);
  std::string many;
  for (int i = 0; i < 100; ++i) many += "line\n";
  Load(many);  // lines 15 pixels high at y 5, 20, ...
  EXPECT_EQ(DrawLines(g_text, nullptr, 5, 16, 224, 0, Frame()), 15);
  EXPECT_EQ(DrawLines(g_text, nullptr, 5, 16, 224, 20, Frame()), 16);
  EXPECT_EQ(DrawLines(g_text, nullptr, 5, 16, 224, 100000, Frame()), 100);
}
