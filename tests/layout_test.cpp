// Line layout: break rules, justification, heights, page breaks, position
// mapping and re-layout. Most cases use a font whose glyphs are all 10 pixels
// wide so that the widths can be counted by hand.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "document/layout.h"
#include "document/text.h"
#include "harness.h"
#include "mono_font.h"
#include "platform/font.h"
#include "platform/settings.h"

namespace {

// A Text object that owns a copy of the given bytes, laid out with font.
struct Doc {
  Text text;
  explicit Doc(const std::string& bytes, const BitmapFont* font, int32_t width = 310) {
    text.width = width;
    text.font = font;
    text.text = static_cast<char*>(std::malloc(bytes.size() + 1));
    std::memcpy(text.text, bytes.data(), bytes.size());
    text.text[bytes.size()] = 0;
    LayoutLines(&text, font, text.text, START_STYLE);
  }
  ~Doc() { ClearTextContents(&text); }
  const LineRecord& line(int i) const { return text.lines[i]; }
  std::string str(int i) const { return std::string(line(i).start, line(i).length); }
  size_t offset(int i) const { return size_t(line(i).start - text.text); }
};

std::string Repeat(char c, int n) { return std::string(size_t(n), c); }

}  // namespace

TEST(Layout, NullAndEmptyText) {
  MonoFont mono(10, 10);
  Text t;
  t.lineCount = 7;
  EXPECT_EQ(LayoutLines(&t, &mono.font, nullptr, START_STYLE), 0);
  EXPECT_EQ(t.lines, nullptr);
  EXPECT_EQ(t.lineCount, 0);
  EXPECT_EQ(LayoutLines(&t, &mono.font, "", START_STYLE), 0);
  EXPECT_NE(t.lines, nullptr);
  EXPECT_EQ(LineAtPosition(&t, 0), -1);
  EXPECT_EQ(DocumentHeight(&t), 0);
  ClearTextContents(&t);
}

TEST(Layout, WordWiderThanLineIsCutWhereItOverflows) {
  MonoFont mono(10, 10);
  // 30 glyphs fill 300 pixels; the 31st overflows and stays on the line.
  Doc d(Repeat('a', 40), &mono.font);
  ASSERT_EQ(d.text.lineCount, 2);
  EXPECT_EQ(d.line(0).length, 31);
  EXPECT_EQ(d.line(1).length, 9);
  EXPECT_EQ(d.offset(1), 31u);
  // Neither is justified: no space on the first, the second ends the text.
  EXPECT_EQ(d.line(0).spaceExtra, 0);
  EXPECT_EQ(d.line(0).xOffset, 0);
}

TEST(Layout, OverflowRightBeforeLineEndKeepsTheLineWhole) {
  MonoFont mono(10, 10);
  // The overflowing glyph is the last one before LF: no break at the space.
  Doc a("aaaa " + Repeat('a', 26) + "\nbb", &mono.font);
  ASSERT_EQ(a.text.lineCount, 2);
  EXPECT_EQ(a.line(0).length, 31);
  EXPECT_EQ(a.str(1), "bb");
  // The same at the end of the text.
  Doc b("aaaa " + Repeat('a', 26), &mono.font);
  ASSERT_EQ(b.text.lineCount, 1);
  EXPECT_EQ(b.line(0).length, 31);
  // With more text after it the line breaks at its last space.
  Doc c("aaaa " + Repeat('a', 26) + "cc", &mono.font);
  ASSERT_EQ(c.text.lineCount, 2);
  EXPECT_EQ(c.str(0), "aaaa");
  EXPECT_EQ(c.str(1), Repeat('a', 26) + "cc");
}

TEST(Layout, SpacesAtParagraphStartStayAndSpacesAfterWrapGo) {
  MonoFont mono(10, 10);
  Doc d("   indented\n" + Repeat('a', 29) + "    bbb", &mono.font);
  ASSERT_EQ(d.text.lineCount, 3);
  EXPECT_EQ(d.str(0), "   indented");
  // The space at 29 still fits, the one at 30 overflows and is the break.
  EXPECT_EQ(d.line(1).length, 30);
  EXPECT_EQ(d.str(2), "bbb");
  // A single leading space is no break point: the word is cut instead.
  Doc e(" " + Repeat('a', 40), &mono.font);
  EXPECT_EQ(e.line(0).length, 31);
}

TEST(Layout, LineEndsAndEmptyLines) {
  MonoFont mono(10, 10);
  Doc d("one\r\ntwo\rthree\n\nfour\r\n", &mono.font);
  ASSERT_EQ(d.text.lineCount, 5);
  EXPECT_EQ(d.str(0), "one");
  EXPECT_EQ(d.str(1), "two");
  EXPECT_EQ(d.str(2), "three");
  EXPECT_EQ(d.line(3).length, 0);
  EXPECT_EQ(d.line(3).height, 15);  // base height A - D + 5
  EXPECT_EQ(d.str(4), "four");
  for (int i = 1; i < 5; ++i) EXPECT_EQ(d.line(i).y, d.line(i - 1).y + d.line(i - 1).height);
  EXPECT_EQ(d.line(0).y, 5);
}

TEST(Layout, JustifiedLineGivesRemainderToFirstSpace) {
  MonoFont mono(10, 6);
  // "aaa " + 5 x "aaaa " + "aaaa" is 306 pixels; the next space overflows.
  std::string s = "aaa ";
  for (int i = 0; i < 6; ++i) s += "aaaa ";
  s += "end";
  Doc d(s, &mono.font);
  ASSERT_EQ(d.text.lineCount, 2);
  EXPECT_EQ(d.line(0).length, 33);
  EXPECT_EQ(d.line(0).spaceExtra, 0);       // free 4 over 6 gaps
  EXPECT_EQ(d.line(0).firstSpaceExtra, 4);  // the whole remainder
  EXPECT_EQ(d.str(1), "end");
  // The last line of the paragraph is not justified.
  EXPECT_EQ(d.line(1).spaceExtra + d.line(1).firstSpaceExtra, 0);

  MonoFont wide(10, 10);
  std::string t;
  for (int i = 0; i < 7; ++i) t += "aaaa ";
  Doc e(t + "x", &wide.font);
  // Six words of 50 pixels; the break is at the space at 29 (width 290),
  // free 20 over 5 gaps.
  EXPECT_EQ(e.line(0).length, 29);
  EXPECT_EQ(e.line(0).spaceExtra, 4);
  EXPECT_EQ(e.line(0).firstSpaceExtra, 0);
  // A line with a single space is not justified.
  Doc f("aa " + Repeat('b', 40), &wide.font);
  EXPECT_EQ(f.str(0), "aa");
  EXPECT_EQ(f.line(0).spaceExtra + f.line(0).firstSpaceExtra, 0);
}

TEST(Layout, WideGapIsLimitedToOneByteWithoutLosingTheWidth) {
  MonoFont mono(10, 10);
  // "a b " then a long word: free 280 pixels over one gap.
  Doc d("a b " + Repeat('c', 40), &mono.font);
  ASSERT_GE(d.text.lineCount, 2);
  EXPECT_EQ(d.str(0), "a b");
  EXPECT_EQ(d.line(0).spaceExtra, 255);
  EXPECT_EQ(d.line(0).firstSpaceExtra, 25);
}

TEST(Layout, AlignmentCodesOffsetTheirLine) {
  MonoFont mono(10, 10);
  Doc d("\1cabcd\n\1rab\n\1lx\n\1jy", &mono.font);
  ASSERT_EQ(d.text.lineCount, 4);
  EXPECT_EQ(d.line(0).xOffset, (310 - 40) / 2);
  EXPECT_EQ(d.line(1).xOffset, 310 - 20);
  EXPECT_EQ(d.line(1).startStyle >> 6, STYLE_ALIGN_CENTRE);  // the code stands in the line
  EXPECT_EQ(d.line(2).xOffset, 0);
  EXPECT_EQ(d.line(3).startStyle, (STYLE_ALIGN_LEFT << 6));
  // Codes have no width.
  Doc e("\1B\1I" + Repeat('a', 30) + "\1b" + "x", &mono.font);
  EXPECT_EQ(e.line(0).length, 4 + 30 + 2 + 1);
}

TEST(Layout, StyleCarriesOverTheWrapAndColourToo) {
  MonoFont mono(10, 10);
  std::string s = "\1C1\1B\1U";
  for (int i = 0; i < 12; ++i) s += "word ";
  Doc d(s, &mono.font);
  ASSERT_EQ(d.text.lineCount, 2);
  EXPECT_EQ(d.line(0).startStyle, START_STYLE);
  EXPECT_EQ(d.line(1).startStyle, START_STYLE | STYLE_BOLD | STYLE_UNDERLINE);
  EXPECT_EQ(d.line(0).startColour, 0);
  EXPECT_EQ(d.line(1).startColour, 1);
}

TEST(Layout, SizeCodesAndLineHeights) {
  StartTestPlatform();
  InitFonts();
  const BitmapFont* fonts[3] = {&FontSmall, &FontMedium, &FontLarge};
  const int normal[3] = {15, 17, 18};
  const int large[3] = {22, 26, 28};
  for (int z = 0; z < 3; ++z) {
    Doc d("plain\n\1F4big\1F0\nafter\n\1F4\n", fonts[z]);
    ASSERT_EQ(d.text.lineCount, 4) << z;
    EXPECT_EQ(d.line(0).height, normal[z]) << z;
    EXPECT_EQ(d.line(1).height, large[z]) << z;
    EXPECT_EQ(d.line(2).height, normal[z]) << z;
    // Only the code itself is on the last line: it still raises the height.
    EXPECT_EQ(d.line(3).height, large[z]) << z;
  }
  MonoFont mono(10, 10);
  // "F0" and "F3" end large text; "F4" then "F5" leaves both size bits set.
  Doc e("\1F4a\1F3\nb\n\1F4\1F5c\n\1F9d\1F0\ne\n\1F/f", &mono.font);
  ASSERT_EQ(e.text.lineCount, 6);
  EXPECT_EQ(e.line(1).startStyle & STYLE_SIZE_MASK, 0);
  EXPECT_EQ(e.line(3).startStyle & STYLE_SIZE_MASK, STYLE_SIZE_LEVEL4 | STYLE_SIZE_LEVEL5);
  EXPECT_EQ(e.line(4).startStyle & STYLE_SIZE_MASK, 0);
  EXPECT_EQ(e.line(5).height, 15);  // a byte below '0' is normal size
}

TEST(Layout, PageBreakLinesAndTheirSearch) {
  MonoFont mono(10, 10);
  Doc only("\1P", &mono.font);
  ASSERT_EQ(only.text.lineCount, 1);
  EXPECT_EQ(only.line(0).length, 2);

  Doc d("one\n\1Ptwo\nthree\n\1P\nfour\n\1P\nfive", &mono.font);
  ASSERT_EQ(d.text.lineCount, 8);
  EXPECT_EQ(d.str(1), "\1P");
  EXPECT_EQ(d.str(2), "two");  // the text after the code starts the next line
  EXPECT_EQ(d.str(4), "\1P");
  EXPECT_EQ(d.str(6), "\1P");
  EXPECT_EQ(NextPageBreak(&d.text, 0), 1);
  EXPECT_EQ(NextPageBreak(&d.text, 1), 4);
  EXPECT_EQ(NextPageBreak(&d.text, 6), -1);
  EXPECT_EQ(NextPageBreak(&d.text, 7), -1);
  EXPECT_EQ(NextPageBreak(&d.text, -1), 1);
  EXPECT_EQ(NextPageBreak(&d.text, -5), -1);
  EXPECT_EQ(PrevPageBreak(&d.text, 7), 4);  // never line - 1
  EXPECT_EQ(PrevPageBreak(&d.text, 8), 6);
  EXPECT_EQ(PrevPageBreak(&d.text, 3), 1);
  EXPECT_EQ(PrevPageBreak(&d.text, 2), -1);
  EXPECT_EQ(PrevPageBreak(&d.text, 1000), 6);
}

TEST(Layout, LineAtPositionEdges) {
  MonoFont mono(10, 10);
  Doc d("a\nb\nc\nd", &mono.font);  // lines at y 5, 20, 35, 50
  EXPECT_EQ(LineAtPosition(&d.text, -100), 0);
  EXPECT_EQ(LineAtPosition(&d.text, 0), 0);
  EXPECT_EQ(LineAtPosition(&d.text, 14), 0);
  EXPECT_EQ(LineAtPosition(&d.text, 15), 1);
  EXPECT_EQ(LineAtPosition(&d.text, 44), 2);
  EXPECT_EQ(LineAtPosition(&d.text, 45), -1);  // on the last line
  EXPECT_EQ(LineAtPosition(&d.text, 100000), -1);
  Doc one("a", &mono.font);
  EXPECT_EQ(LineAtPosition(&one.text, 0), 0);
  EXPECT_EQ(LineAtPosition(&one.text, 5), -1);
  Text none;
  EXPECT_EQ(LineAtPosition(&none, 0), -1);
}

TEST(Layout, RelayoutKeepsTheByteOffset) {
  StartTestPlatform();
  InitFonts();
  std::string book;
  for (int i = 0; i < 300; ++i) {
    book += "Paragraph " + std::to_string(i) +
            " holds enough words to wrap over a few lines at every zoom level of the reader.\n";
  }
  Doc d(book, &FontSmall);
  const int32_t target = 120;
  const int32_t position = d.line(target).y - 5;
  ASSERT_EQ(LineAtPosition(&d.text, position), target);
  // Each zoom change keeps the byte that began the line at the top: the new
  // top line holds it.
  size_t offset = d.offset(target);
  int32_t now = position;
  for (const BitmapFont* f : {&FontLarge, &FontMedium, &FontSmall}) {
    d.text.font = f;
    now = Relayout(&d.text, now);
    int i = 0;
    while (i < d.text.lineCount && d.line(i).y != now) ++i;
    ASSERT_LT(i, d.text.lineCount);
    EXPECT_LE(d.offset(i), offset);
    if (i + 1 < d.text.lineCount) {
      EXPECT_GT(d.offset(i + 1), offset);
    }
    ASSERT_EQ(LineAtPosition(&d.text, now), i);
    offset = d.offset(i);
  }
  // Back at the first font the first line's start is a line start again.
  EXPECT_EQ(offset, d.offset(target));

  // At the last line (where LineAtPosition gives -1) the last line's start is kept.
  d.text.font = &FontSmall;
  LayoutLines(&d.text, &FontSmall, d.text.text, START_STYLE);
  const int last = d.text.lineCount - 1;
  const size_t lastOffset = d.offset(last);
  d.text.font = &FontLarge;
  const int32_t end = Relayout(&d.text, d.line(last).y + 1000);
  int j = 0;
  while (j < d.text.lineCount && d.line(j).y != end) ++j;
  ASSERT_LT(j, d.text.lineCount);
  EXPECT_LE(d.offset(j), lastOffset);
  EXPECT_GT(j, 0);
  Text empty;
  EXPECT_EQ(Relayout(&empty, 100), 0);
}

TEST(Layout, CodesCutOffByTheEndOfTheText) {
  MonoFont mono(10, 10);
  for (const char* s : {"abc\1", "abc\1F", "abc\1C", "\1", "\1F", "x\n\1C"}) {
    Doc d(s, &mono.font);
    ASSERT_GE(d.text.lineCount, 1) << s;
    const LineRecord& last = d.line(d.text.lineCount - 1);
    // No line reaches past the NUL.
    EXPECT_LE(size_t(last.start - d.text.text) + last.length, std::strlen(s)) << s;
  }
}

TEST(Layout, VeryLongZeroWidthRunsAreCutToFitTheLength) {
  MonoFont mono(10, 10);
  const std::string run(200000, '\2');
  Doc d(run, &mono.font);
  size_t covered = 0;
  for (int i = 0; i < d.text.lineCount; ++i) {
    EXPECT_EQ(d.offset(i), covered);
    covered += d.line(i).length;
  }
  EXPECT_EQ(covered, run.size());
  EXPECT_GE(d.text.lineCount, 4);
}

TEST(Layout, TableGrowsForManyLines) {
  MonoFont mono(10, 10);
  std::string s;
  for (int i = 0; i < 20000; ++i) s += "x\n";
  Doc d(s, &mono.font);
  ASSERT_EQ(d.text.lineCount, 20000);
  EXPECT_EQ(d.line(19999).y, 5 + 19999 * 15);
  EXPECT_EQ(DocumentHeight(&d.text), 5 + 20000 * 15);
}

TEST(Layout, NullFontMeasuresNothing) {
  Doc d(Repeat('a', 1000) + "\nb", nullptr);
  ASSERT_EQ(d.text.lineCount, 2);
  EXPECT_EQ(d.line(0).length, 1000);
  EXPECT_EQ(d.line(0).height, 5);
}

TEST(Layout, SelectZoomFontFollowsTheSetting) {
  StartTestPlatform();
  InitFonts();
  Text t;
  Text* saved = g_text;
  g_text = &t;
  const uint16_t zoom = g_settings.zoomLevel;
  g_settings.zoomLevel = 2;
  SelectZoomFont();
  EXPECT_EQ(t.font, &FontLarge);
  g_settings.zoomLevel = 1;
  SelectZoomFont();
  EXPECT_EQ(t.font, &FontMedium);
  g_settings.zoomLevel = 7;
  SelectZoomFont();
  EXPECT_EQ(t.font, g_standardFont);
  g_settings.zoomLevel = zoom;
  g_text = saved;
}

TEST(Layout, WrappedLineStartsInTheStateOfItsBreak) {
  MonoFont mono(10, 10);  // box 10: normal lines 15, large ones 22
  // A bold word that straddles the margin moves whole to the next line, which
  // starts bold; the line above starts and ends regular.
  Doc bold(Repeat('a', 20) + " \x01" "Bbb ww\x01" "bxxxxxxxx", &mono.font);
  ASSERT_EQ(bold.text.lineCount, 2);
  EXPECT_EQ(bold.line(0).length, 25);
  EXPECT_EQ(bold.line(0).startStyle, START_STYLE);
  EXPECT_EQ(bold.line(1).startStyle, START_STYLE | STYLE_BOLD);
  // A colour code scanned past the break belongs to the next line: that line
  // starts in the colour of the break (0) and switches at the code.
  Doc colour(Repeat('a', 25) + " bb\x01" "C2cccccc dd", &mono.font);
  ASSERT_EQ(colour.text.lineCount, 2);
  EXPECT_EQ(colour.line(1).startColour, 0);
  EXPECT_EQ(colour.str(1), "bb\x01" "C2cccccc dd");
  // A large-size code that moves to the next line leaves the line above at
  // the normal height, and the next line starts at normal size.
  Doc size(Repeat('a', 25) + " bb\x01" "F5cccc", &mono.font);
  ASSERT_EQ(size.text.lineCount, 2);
  EXPECT_EQ(size.line(0).height, 15);
  EXPECT_EQ(size.line(1).y, size.line(0).y + 15);
  EXPECT_EQ(size.line(1).startStyle & STYLE_SIZE_MASK, 0);
  EXPECT_EQ(size.line(1).height, 22);
  // An alignment code past the break neither aligns the line above nor
  // starts the next line in it.
  Doc align(Repeat('a', 20) + " bbbb bb\x01" "rcccccc", &mono.font);
  ASSERT_EQ(align.text.lineCount, 2);
  EXPECT_EQ(align.line(0).startStyle >> 6, STYLE_ALIGN_JUSTIFIED);
  EXPECT_GT(align.line(0).spaceExtra, 0);  // still justified
  EXPECT_EQ(align.line(1).startStyle >> 6, STYLE_ALIGN_JUSTIFIED);
  // A line cut inside a word (no space to break at) carries the codes it
  // scanned: they are on that line.
  Doc cut(Repeat('a', 28) + "\x01" "Baaaaa", &mono.font);
  ASSERT_EQ(cut.text.lineCount, 2);
  EXPECT_EQ(cut.line(1).startStyle, START_STYLE | STYLE_BOLD);
}

TEST(Layout, PlainStretchBreaksAsTheFullScanDoes) {
  // A code that changes nothing at the start of the text sends its first line
  // through the scan that looks at every byte; without it the same line takes
  // the plain-stretch scan. Both must break it alike, for any width and any
  // space width (none, narrow, wide).
  std::string t;
  for (int i = 0; i < 6; ++i) t += "aa bbb  cccc d eeeee ff ";
  for (int space : {0, 1, 6, 14}) {
    MonoFont mono(10, space);
    for (int32_t width = 20; width <= 400; width += 7) {
      Doc plain(t, &mono.font, width);
      Doc coded(std::string("\x01j") + t, &mono.font, width);
      SCOPED_TRACE("space " + std::to_string(space) + " width " + std::to_string(width));
      ASSERT_EQ(plain.text.lineCount, coded.text.lineCount);
      EXPECT_EQ(plain.line(0).length + 2, coded.line(0).length);
      EXPECT_EQ(plain.line(0).spaceExtra, coded.line(0).spaceExtra);
      EXPECT_EQ(plain.line(0).firstSpaceExtra, coded.line(0).firstSpaceExtra);
      EXPECT_EQ(plain.line(0).height, coded.line(0).height);
      for (int32_t i = 1; i < plain.text.lineCount; ++i) {
        EXPECT_EQ(plain.offset(i) + 2, coded.offset(i));
        EXPECT_EQ(plain.line(i).length, coded.line(i).length);
        EXPECT_EQ(plain.line(i).spaceExtra, coded.line(i).spaceExtra);
        EXPECT_EQ(plain.line(i).firstSpaceExtra, coded.line(i).firstSpaceExtra);
      }
    }
  }
}
