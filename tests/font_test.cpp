// Tests of the bitmap fonts: the embedded glyph data, measuring, both glyph
// renderers (opacity, colour, double height, clipping) and the text block.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "../tools/fontsheet/sheet.h"
#include "harness.h"
#include "platform/font.h"
#include "platform/settings.h"
#include "platform/video.h"

namespace {

const BitmapFont* const FONTS[3] = {&FontSmall, &FontMedium, &FontLarge};

// A font whose glyphs are chosen by the test: every byte gets advance 6 and a
// single full pixel on its first row (top = ascent, so it lands on row y),
// except where a test installs its own rows.
struct TestFont {
  int16_t ascent[4] = {8, 8, 8, 8};
  int16_t descent[4] = {-2, -2, -2, -2};
  int16_t space[4] = {4, 5, 4, 5};
  int16_t extent[4] = {};
  int16_t ink[FONT_GLYPHS] = {};
  int16_t rows[FONT_GLYPHS];
  int16_t adjust[FONT_GLYPHS] = {};
  int16_t top[FONT_GLYPHS];
  int16_t advance[FONT_GLYPHS];
  int32_t offset[FONT_GLYPHS] = {};
  std::vector<int8_t> data;
  BitmapFont font;

  TestFont() {
    data = {64, 0};
    for (int i = 0; i < FONT_GLYPHS; ++i) {
      rows[i] = 1;
      top[i] = 8;
      advance[i] = 6;
    }
    Point();
  }
  // Gives glyph c of face 0 these rows (each ended by 0 in `bytes`).
  void Set(uint8_t c, int nrows, int16_t glyphTop, std::vector<int8_t> bytes) {
    const int g = GlyphIndex(0, c);
    offset[g] = int32_t(data.size());
    data.insert(data.end(), bytes.begin(), bytes.end());
    rows[g] = int16_t(nrows);
    top[g] = glyphTop;
    Point();
  }
  void Point() {
    font = BitmapFont{ascent, descent, space, extent, ink, rows, adjust, top, advance, offset,
                      data.data()};
  }
};

struct Frame {
  std::vector<uint16_t> pixels;
  explicit Frame(uint16_t paper) : pixels(FRAME_PIXELS, paper) {}
  uint16_t* buf() { return pixels.data(); }
  uint16_t at(int x, int y) const { return pixels[size_t(PixelIndex(x, y))]; }
  int Changed(uint16_t paper) const {
    int n = 0;
    for (uint16_t p : pixels) n += p != paper;
    return n;
  }
};

class FontTest : public ::testing::Test {
 protected:
  void SetUp() override {
    StartTestPlatform();
    ResetSettings();
  }
  void TearDown() override { ResetSettings(); }
};

TEST_F(FontTest, GlyphDataIsWellFormedAndWithinItsMetrics) {
  const int maxRows[3] = {13, 14, 15};
  const int16_t ascents[3] = {8, 9, 10};
  const int16_t descents[3] = {-2, -3, -3};
  const int16_t spaces[3][4] = {{5, 6, 5, 6}, {5, 6, 5, 6}, {6, 7, 6, 7}};
  for (int f = 0; f < 3; ++f) {
    const BitmapFont* font = FONTS[f];
    ASSERT_NE(font->rowData, nullptr);
    for (int face = 0; face < 4; ++face) {
      EXPECT_EQ(font->ascent[face], ascents[f]);
      EXPECT_EQ(font->descent[face], descents[f]);
      EXPECT_EQ(font->spaceWidth[face], spaces[f][face]);
    }
    for (int g = 0; g < FONT_GLYPHS; ++g) {
      SCOPED_TRACE(testing::Message() << "font " << f << " glyph " << g);
      const int32_t start = font->rowDataOffset[g];
      // The glyph's rows end exactly where the next glyph's data begins.
      const int32_t end = g + 1 < FONT_GLYPHS ? font->rowDataOffset[g + 1] : start + 4096;
      ASSERT_LE(start, end);
      EXPECT_GE(font->rows[g], 0);
      EXPECT_LE(font->rows[g], maxRows[f]);
      EXPECT_LE(font->rows[g] - font->top[g], 3) << "reaches too far below the baseline";
      EXPECT_GT(font->advance[g], 0);
      int32_t at = start;
      for (int r = 0; r < font->rows[g]; ++r) {
        int width = 0;
        for (;;) {
          ASSERT_LT(at, end) << "row " << r << " runs past the glyph's data";
          const int8_t b = font->rowData[at++];
          if (b == 0) break;
          width += b < 0 ? -b : 1;
        }
        EXPECT_LE(width, font->advance[g] - font->advanceAdjust[g] + 3) << "row " << r;
      }
      if (g + 1 < FONT_GLYPHS) {
        EXPECT_EQ(at, end);
      }
    }
  }
  // The sample glyphs of the regular face.
  EXPECT_EQ(FontSmall.rows[GlyphIndex(0, 'A')], 8);
  EXPECT_EQ(FontSmall.top[GlyphIndex(0, 'A')], 8);
  EXPECT_EQ(FontSmall.rows[GlyphIndex(0, 'g')], 8);
  EXPECT_EQ(FontSmall.top[GlyphIndex(0, 'g')], 6);
  EXPECT_EQ(FontLarge.rows[GlyphIndex(0, 'A')], 10);
  EXPECT_EQ(FontLarge.top[GlyphIndex(0, 'A')], 10);
  EXPECT_EQ(FontLarge.rows[GlyphIndex(0, '.')], 2);
  EXPECT_EQ(FontLarge.top[GlyphIndex(0, '.')], 2);
  // Unassigned code page bytes still show something.
  for (uint8_t c : {0x81, 0x8D, 0x8F, 0x90, 0x9D}) EXPECT_GT(FontSmall.rows[GlyphIndex(0, c)], 0);
}

TEST_F(FontTest, WidthsOfSpaceTabControlBytesAndGlyphs) {
  EXPECT_EQ(CharWidth(&FontSmall, 40, '\t', 0), 24);
  EXPECT_EQ(CharWidth(&FontSmall, 64, '\t', 0), 32);
  EXPECT_EQ(CharWidth(&FontSmall, 0, '\t', 0), 32);
  EXPECT_EQ(CharWidth(&FontSmall, 0, ' ', 0), 5);
  EXPECT_EQ(CharWidth(&FontSmall, 0, ' ', 1), 6);
  EXPECT_EQ(CharWidth(&FontLarge, 0, ' ', 3), 7);
  for (uint8_t c : {0, 1, 10, 13, 31}) EXPECT_EQ(CharWidth(&FontSmall, 0, c, 0), 0);
  const int g = GlyphIndex(2, 'f');
  EXPECT_EQ(CharWidth(&FontMedium, 0, 'f', 2), FontMedium.advance[g] - FontMedium.advanceAdjust[g]);
  EXPECT_EQ(CharWidth(nullptr, 0, 'a', 0), 0);

  // Nothing is drawn for them, and both renderers return the same widths.
  Frame frame(0xFFFF);
  EXPECT_EQ(DrawTextChar(&FontSmall, 40, 10, '\t', 0, frame.buf(), nullptr, nullptr), 24);
  EXPECT_EQ(DrawTextChar(&FontSmall, 40, 10, ' ', 1, frame.buf(), nullptr, nullptr), 6);
  EXPECT_EQ(g_video->DrawChar(&FontSmall, 40, 10, '\t', 0, frame.buf()), 24);
  EXPECT_EQ(g_video->DrawChar(&FontSmall, 40, 10, ' ', 0, frame.buf()), 5);
  EXPECT_EQ(g_video->DrawChar(&FontSmall, 40, 10, 7, 0, frame.buf()), 0);
  EXPECT_EQ(frame.Changed(0xFFFF), 0);
  EXPECT_EQ(g_video->DrawChar(&FontSmall, 40, 10, 'A', 0, frame.buf()),
            FontSmall.advance[GlyphIndex(0, 'A')]);
  EXPECT_GT(frame.Changed(0xFFFF), 10);
}

TEST_F(FontTest, WeightDecidesBetweenBlendAndOpaque) {
  TestFont t;
  t.Set('A', 1, 8, {63, 64, 32, 31, 0});
  const uint32_t white = AttrColour(0xFFFF);
  {
    g_settings.textWeight = 0;
    Frame frame(0x0000);
    DrawTextChar(&t.font, 10, 20, 'A', white, frame.buf(), nullptr, nullptr);
    EXPECT_EQ(frame.at(10, 20), 0xF79E) << "coverage 63 blends: 252 of 255 on every channel";
    EXPECT_EQ(frame.at(11, 20), 0xFFFF) << "coverage 64 is opaque";
    EXPECT_EQ(frame.at(10, 20) & 0x20, 0) << "the low green bit of a blend is 0";
  }
  {
    g_settings.textWeight = 128;
    Frame frame(0x0000);
    DrawTextChar(&t.font, 10, 20, 'A', white, frame.buf(), nullptr, nullptr);
    EXPECT_EQ(frame.at(12, 20), 0xFFFF) << "weight 128 makes coverage 32 opaque";
    EXPECT_EQ(frame.at(13, 20), 0xF79E) << "coverage 31 gives 252";
  }
  {
    // Interface text: bias 32, so 56 is opaque and 55 blends.
    TestFont u;
    u.Set('B', 1, 8, {56, 55, 0});
    Frame frame(0x0000);
    g_video->DrawChar(&u.font, 10, 20, 'B', white, frame.buf());
    EXPECT_EQ(frame.at(10, 20), 0xFFFF);
    EXPECT_EQ(frame.at(11, 20), 0xF79E);
  }
}

TEST_F(FontTest, ColourZeroIsTheTextColourInDocumentsAndBlackInTheInterface) {
  TestFont t;
  g_settings.textColour = 0x07E0;
  Frame frame(0xFFFF);
  DrawTextChar(&t.font, 10, 20, 'A', 0, frame.buf(), nullptr, nullptr);
  EXPECT_EQ(frame.at(10, 20), 0x07E0);
  DrawTextChar(&t.font, 20, 20, 'A', AttrColour(0xF800), frame.buf(), nullptr, nullptr);
  EXPECT_EQ(frame.at(20, 20), 0xF800);
  g_video->DrawChar(&t.font, 30, 20, 'A', 0, frame.buf());
  EXPECT_EQ(frame.at(30, 20), 0x0000);
}

TEST_F(FontTest, DoubleHeightStartsOneRowAboveAndDoublesEveryRow) {
  TestFont t;
  t.Set('A', 3, 8, {64, 0, -1, 64, 0, 64, 0});
  Frame frame(0xFFFF);
  EXPECT_EQ(DrawTextChar(&t.font, 10, 50, 'A', 0x08, frame.buf(), nullptr, nullptr), 6);
  // Rows go to 50, 52, 54, each with the row above: 49..54.
  EXPECT_EQ(frame.at(10, 48), 0xFFFF);
  EXPECT_EQ(frame.at(10, 49), 0x0000);
  EXPECT_EQ(frame.at(10, 50), 0x0000);
  EXPECT_EQ(frame.at(11, 51), 0x0000);
  EXPECT_EQ(frame.at(11, 52), 0x0000);
  EXPECT_EQ(frame.at(10, 53), 0x0000);
  EXPECT_EQ(frame.at(10, 54), 0x0000);
  EXPECT_EQ(frame.at(10, 55), 0xFFFF);
  EXPECT_EQ(frame.Changed(0xFFFF), 6);
  // A glyph starting below the line top moves down twice as far.
  Frame low(0xFFFF);
  t.top[GlyphIndex(0, 'A')] = 6;
  DrawTextChar(&t.font, 10, 50, 'A', 0x10, low.buf(), nullptr, nullptr);
  EXPECT_EQ(low.at(10, 53), 0x0000);
  EXPECT_EQ(low.at(10, 54), 0x0000);
  EXPECT_EQ(low.at(10, 52), 0xFFFF);
}

TEST_F(FontTest, NothingIsWrittenOutsideLimitsOrBuffer) {
  TestFont t;
  // A glyph 12 pixels wide and 3 rows high.
  std::vector<int8_t> row(12, 64);
  row.push_back(0);
  std::vector<int8_t> bytes;
  for (int i = 0; i < 3; ++i) bytes.insert(bytes.end(), row.begin(), row.end());
  t.Set('A', 3, 8, bytes);
  // Guard words on both sides of the frame.
  const size_t guard = 4096;
  std::vector<uint16_t> block(FRAME_PIXELS + 2 * guard, 0x1234);
  uint16_t* buf = block.data() + guard;
  for (int i = 0; i < FRAME_PIXELS; ++i) buf[i] = 0xFFFF;
  const int xs[] = {-20, -5, 0, 310, 315, 319, 320, 400, 32767, -32768};
  const int ys[] = {-20, -2, -1, 0, 237, 238, 239, 240, 300, 32767, -32768};
  for (int x : xs) {
    for (int y : ys) {
      DrawTextChar(&t.font, int16_t(x), int16_t(y), 'A', 0x08, buf, nullptr, nullptr);
      g_video->DrawChar(&t.font, x, y, 'A', 0, buf);
      g_video->DrawString(x, y, "AAA", 0, &FontLarge, 0, buf);
      g_video->DrawStringOutlined(x, y, "AA", 0, &FontLarge, 0, 0xF800, buf);
    }
  }
  g_video->DrawChar(&t.font, 1 << 30, 1 << 30, 'A', 0, buf);
  g_video->DrawChar(&t.font, -(1 << 30), 5, 'A', 0, buf);
  for (size_t i = 0; i < guard; ++i) {
    ASSERT_EQ(block[i], 0x1234) << "before the buffer at " << i;
    ASSERT_EQ(block[guard + FRAME_PIXELS + i], 0x1234) << "after the buffer at " << i;
  }
  // Clipped per pixel, not wrapped into the next column: a glyph at x 315 puts
  // nothing into column 0, one at row -1 nothing into the bottom row.
  Frame edge(0xFFFF);
  DrawTextChar(&t.font, 315, 100, 'A', 0, edge.buf(), nullptr, nullptr);
  g_video->DrawChar(&t.font, 315, 120, 'A', 0, edge.buf());
  DrawTextChar(&t.font, 50, -1, 'A', 0x08, edge.buf(), nullptr, nullptr);
  EXPECT_EQ(edge.at(319, 100), 0x0000);
  for (int y = 0; y < SCREEN_HEIGHT; ++y) EXPECT_EQ(edge.at(0, y), 0xFFFF) << y;
  for (int x = 0; x < SCREEN_WIDTH; ++x) EXPECT_EQ(edge.at(x, 239), 0xFFFF) << x;
  EXPECT_EQ(edge.at(50, 0), 0x0000);

  // Document text keeps to [lower, upper): here columns 20..21 only.
  Frame limited(0xFFFF);
  DrawTextChar(&t.font, 15, 100, 'A', 0, limited.buf(), limited.buf() + PixelIndex(20, 239),
               limited.buf() + PixelIndex(22, 239));
  EXPECT_EQ(limited.Changed(0xFFFF), 6);
  EXPECT_EQ(limited.at(20, 101), 0x0000);
  EXPECT_EQ(limited.at(21, 100), 0x0000);
  // Limits outside the buffer are held to it.
  DrawTextChar(&t.font, 0, 0, 'A', 0, buf, buf - 1000, buf + FRAME_PIXELS + 1000);
  EXPECT_EQ(block[guard - 1], 0x1234);
}

TEST_F(FontTest, UncheckedPathDrawsWhatTheCheckedPathDraws) {
  // Limits covering the whole buffer send a glyph through the per-pixel
  // checks; without limits a glyph on the screen skips them. Both must agree,
  // also after a change of colour or weight between the two (the blend memo).
  const uint16_t colours[2] = {0x0000, 0xF81F};
  for (int f = 0; f < 3; ++f) {
    for (int face = 0; face < 4; ++face) {
      for (int weight : {0, 16, 128}) {
        g_settings.textWeight = uint16_t(weight);
        Frame fast(0xFFFF), checked(0xFFFF);
        for (int c = FONT_FIRST_CHAR; c <= 0xFF; ++c) {
          const int cell = c - FONT_FIRST_CHAR;
          const int x = 2 + (cell % 20) * 16, y = 4 + (cell / 20) * 20;
          const uint32_t attr = uint32_t(face) | AttrColour(colours[c & 1]);
          DrawTextChar(FONTS[f], int16_t(x), int16_t(y), uint8_t(c), attr, fast.buf(), nullptr, nullptr);
          DrawTextChar(FONTS[f], int16_t(x), int16_t(y), uint8_t(c), attr, checked.buf(),
                       checked.buf(), checked.buf() + FRAME_PIXELS);
        }
        ASSERT_EQ(fast.pixels, checked.pixels) << "font " << f << " face " << face << " weight " << weight;
      }
    }
  }
  // Over coloured paper the blend takes the old pixel into account.
  g_settings.textWeight = 16;
  Frame grey(0x8410), white(0xFFFF);
  DrawTextChar(&FontSmall, 10, 10, 'e', 0, grey.buf(), nullptr, nullptr);
  DrawTextChar(&FontSmall, 10, 10, 'e', 0, white.buf(), nullptr, nullptr);
  int differ = 0;
  for (int y = 10; y < 20; ++y) {
    for (int x = 10; x < 18; ++x) differ += grey.at(x, y) != 0x8410 && white.at(x, y) != 0xFFFF && grey.at(x, y) != white.at(x, y);
  }
  EXPECT_GT(differ, 0);
}

TEST_F(FontTest, StringsUseTheCurrentFontAndOutlinesDrawThreeTimes) {
  Frame frame(0xFFFF);
  const BitmapFont* saved = g_video->font;
  g_video->SetStandardFont(nullptr);
  EXPECT_EQ(g_video->DrawString(7, 10, "Hello", 0, nullptr, 0, frame.buf()), 7);
  EXPECT_EQ(frame.Changed(0xFFFF), 0);
  g_video->SetStandardFont(&FontSmall);
  int expected = 7;
  for (const char* p = "Hi\tyou"; *p; ++p) expected += g_video->DrawChar(&FontSmall, expected, 100, uint8_t(*p), 0, nullptr);
  EXPECT_EQ(g_video->DrawString(7, 10, "Hi\tyou", 0, nullptr, 0, frame.buf()), expected);
  Frame outlined(0x0000);
  EXPECT_EQ(g_video->DrawStringOutlined(20, 20, "W", 0, nullptr, AttrColour(0xFFC0), 0x001F,
                                        outlined.buf()),
            20 + FontSmall.advance[GlyphIndex(0, 'W')]);
  int yellow = 0, blue = 0;
  for (uint16_t p : outlined.pixels) {
    yellow += p == 0xFFC0;
    blue += p == 0x001F;
  }
  EXPECT_GT(yellow, 5);
  EXPECT_GT(blue, 5);
  g_video->SetStandardFont(saved);
}

// Columns where the test font's one-pixel glyphs landed on row y.
std::vector<int> InkColumns(const Frame& f, int y) {
  std::vector<int> xs;
  for (int x = 0; x < SCREEN_WIDTH; ++x) {
    if (f.at(x, y) != 0xFFFF) xs.push_back(x);
  }
  return xs;
}

TEST_F(FontTest, TextBlockWrapsAtSpacesAndInsideLongWords) {
  TestFont t;
  Frame f(0xFFFF);
  // Widths: letters 6, space 4. "bbb" would end exactly at 40, which is not
  // below the width, so the line breaks before it.
  EXPECT_EQ(DrawTextBlock(&t.font, 10, 5, 40, 200, ALIGN_LEFT, "aaa bbb ccc", 0, f.buf()), 10);
  EXPECT_EQ(InkColumns(f, 5), (std::vector<int>{10, 16, 22}));
  EXPECT_EQ(InkColumns(f, 20), (std::vector<int>{10, 16, 22}));
  EXPECT_EQ(InkColumns(f, 35), (std::vector<int>{10, 16, 22}));
  EXPECT_EQ(InkColumns(f, 50), std::vector<int>{});
  EXPECT_EQ(MeasureTextBlock(&t.font, 10, 40, 200, 0, "aaa bbb ccc", 0), 45);
  // Heights that cut lines off.
  EXPECT_EQ(MeasureTextBlock(&t.font, 10, 40, 44, 0, "aaa bbb ccc", 0), 30);
  EXPECT_EQ(MeasureTextBlock(&t.font, 10, 40, 14, 0, "aaa bbb ccc", 0), 0);
  Frame none(0xFFFF);
  DrawTextBlock(&t.font, 10, 5, 40, 14, ALIGN_LEFT, "aaa bbb ccc", 0, none.buf());
  EXPECT_EQ(none.Changed(0xFFFF), 0) << "a first line that does not fit draws nothing";

  // A word wider than the block: each piece's last letter reaches past the edge.
  Frame w(0xFFFF);
  DrawTextBlock(&t.font, 0, 0, 20, 200, ALIGN_LEFT, "abcdefghij", 0, w.buf());
  EXPECT_EQ(InkColumns(w, 0), (std::vector<int>{0, 6, 12, 18}));
  EXPECT_EQ(InkColumns(w, 15), (std::vector<int>{0, 6, 12, 18}));
  EXPECT_EQ(InkColumns(w, 30), (std::vector<int>{0, 6}));
  EXPECT_EQ(MeasureTextBlock(&t.font, 0, 20, 200, 0, "abcdefghij", 0), 45);

  // Line ends: CR LF, LF, an empty line, and a CR alone.
  EXPECT_EQ(MeasureTextBlock(&t.font, 0, 100, 200, 0, "ab\r\ncd\n\nef\rg", 0), 75);
  EXPECT_EQ(MeasureTextBlock(&t.font, 0, 100, 200, 0, "", 0), 0);
  EXPECT_EQ(MeasureTextBlock(nullptr, 0, 100, 200, 0, "ab", 0), 0);
}

TEST_F(FontTest, TextBlockAlignments) {
  TestFont t;
  Frame f(0xFFFF);
  // "aa bb" is 28 wide in a block of 100 at x 10.
  DrawTextBlock(&t.font, 10, 0, 100, 15, ALIGN_CENTRE, "aa bb", 0, f.buf());
  DrawTextBlock(&t.font, 10, 20, 100, 15, ALIGN_RIGHT, "aa bb", 0, f.buf());
  DrawTextBlock(&t.font, 10, 40, 100, 15, ALIGN_JUSTIFY, "aa bb", 0, f.buf());
  EXPECT_EQ(InkColumns(f, 0), (std::vector<int>{46, 52, 62, 68}));
  EXPECT_EQ(InkColumns(f, 20), (std::vector<int>{82, 88, 98, 104}));
  EXPECT_EQ(InkColumns(f, 40), (std::vector<int>{10, 16, 26, 32})) << "a last line is left-aligned";
  // Justified: the line "aa bb cc" (44 wide) broken at its third space in a
  // block of 51 shares 7 pixels between two spaces, the first getting one more.
  Frame j(0xFFFF);
  DrawTextBlock(&t.font, 0, 0, 51, 15, ALIGN_JUSTIFY, "aa bb cc dd", 0, j.buf());
  EXPECT_EQ(InkColumns(j, 0), (std::vector<int>{0, 6, 20, 26, 39, 45}));
  // Only one space in the line: nothing to share, left-aligned.
  Frame one(0xFFFF);
  DrawTextBlock(&t.font, 0, 0, 30, 15, ALIGN_JUSTIFY, "aa bbbb", 0, one.buf());
  EXPECT_EQ(InkColumns(one, 0), (std::vector<int>{0, 6}));
}

TEST_F(FontTest, FontSheetFramesMatchTheirGoldenHashes) {
  std::vector<uint16_t> frame(FRAME_PIXELS);
  for (int i = 0; i < fontsheet::FRAME_COUNT; ++i) {
    if (i == fontsheet::FRAME_MESSAGE_BOX) continue;  // depends on the screen; messagebox_test
    fontsheet::DrawSheetFrame(i, frame.data());
    ExpectGoldenFrame("fonts", fontsheet::FrameName(i).c_str(), frame.data());
  }
}

TEST_F(FontTest, InitFontsIsIdempotent) {
  const BitmapFont before = FontSmall;
  InitFonts();
  EXPECT_EQ(std::memcmp(&before, &FontSmall, sizeof before), 0);
  EXPECT_EQ(g_standardFont, &FontSmall);
}

}  // namespace
