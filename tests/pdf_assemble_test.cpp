// Tests of the PDF text assembly: glyphs laid out by a helper (each advancing
// half an em) become words, lines, paragraphs and pages of formatted text.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pdf/assemble.h"

namespace {

struct Run {
  std::u32string text;
  float x, y;
  float size = 12;
  float tracking = 0;  // extra gap after each glyph, beyond its advance
  bool upwards = false;  // set vertically, reading from the bottom
};

using Page = std::vector<Run>;

std::vector<PdfGlyph> Lay(const Page& runs) {
  std::vector<PdfGlyph> glyphs;
  for (const Run& run : runs) {
    float x = run.x;
    for (char32_t c : run.text) {
      PdfGlyph g;
      g.x = run.upwards ? run.x : x;
      g.y = run.upwards ? run.y + (x - run.x) : run.y;
      g.size = run.size;
      g.advance = run.size / 2;
      g.count = 1;
      g.unicode[0] = c;
      glyphs.push_back(g);
      x += g.advance + run.tracking;
    }
  }
  return glyphs;
}

std::string Assemble(const std::vector<Page>& pages) {
  PdfTextBuffer text;
  for (size_t p = 0; p < pages.size(); ++p) {
    const std::vector<PdfGlyph> glyphs = Lay(pages[p]);
    PdfAssemblePage(&text, glyphs.data(), glyphs.size(), p == 0);
  }
  std::string result(text.data ? text.data : "", text.length);
  PdfTextFree(&text);
  return result;
}

struct Case {
  const char* name;
  Page page;
  const char* expected;
};

void Check(const std::vector<Case>& cases) {
  for (const Case& c : cases) EXPECT_EQ(Assemble({c.page}), c.expected) << c.name;
}

TEST(PdfAssemble, WordsFromGapsAndSpaces) {
  Check({
      {"word gap of a quarter em", {{U"ab", 0, 700}, {U"cd", 15, 700}}, "ab cd\r\n"},
      {"letter gap of a twelfth em", {{U"ab", 0, 700}, {U"cd", 13, 700}}, "abcd\r\n"},
      {"kerning and tracking below the threshold", {{U"Kerning", 0, 700, 12, 1.5f}}, "Kerning\r\n"},
      {"space glyphs, never doubled nor trailing", {{U" a  b c  ", 0, 700}}, "a b c\r\n"},
      {"space glyph and gap give one space", {{U"a ", 0, 700}, {U"b", 30, 700}}, "a b\r\n"},
      {"pen going back several ems", {{U"world", 60, 700}, {U"Hello", 0, 700}}, "world Hello\r\n"},
      {"superscript stays on its line", {{U"x", 0, 700}, {U"2", 6, 703.5f, 7}, {U" more", 9.5f, 700}},
       "x2 more\r\n"},
      {"fake bold run drawn twice", {{U"Bold", 0, 700}, {U"Bold", 0.3f, 700.3f}, {U" text", 24, 700}},
       "Bold text\r\n"},
      {"fake bold glyph by glyph",
       {{U"B", 0, 700}, {U"B", 0.3f, 700}, {U"o", 6, 700}, {U"o", 6.3f, 700}, {U"x", 12, 700}},
       "Box\r\n"},
      {"a real double letter stays", {{U"all", 0, 700}}, "all\r\n"},
      {"glyph without text keeps its place in a word", {{U"a\u0001b", 0, 700}}, "ab\r\n"},
      {"word gap before a glyph without text", {{U"ab", 0, 700}, {U"\u0001cd", 15, 700}}, "ab cd\r\n"},
  });
}

// Lines of nine glyphs (54 units wide) make a column; pitch 14 at size 12.
TEST(PdfAssemble, LinesJoinIntoParagraphs) {
  Check({
      {"lines of a column joined",
       {{U"aaaa bbbb", 0, 700}, {U"cccc dddd", 0, 686}, {U"eeee ffff", 0, 672}},
       "aaaa bbbb cccc dddd eeee ffff\r\n"},
      {"vertical gaps as many as the lines",
       {{U"aaaa bbbb", 0, 700}, {U"cccc dddd", 0, 686}, {U"eeee ffff", 0, 658}, {U"gggg hhhh", 0, 644},
        {U"iiii jjjj", 0, 616}},
       "aaaa bbbb cccc dddd\r\n\r\neeee ffff gggg hhhh\r\n\r\niiii jjjj\r\n"},
      {"indent of one em",
       {{U"aaaa bbbb", 0, 700}, {U"cccc dddd", 0, 686}, {U"ee ffff", 12, 672}, {U"gggg hhhh", 0, 658}},
       "aaaa bbbb cccc dddd\r\n\r\nee ffff gggg hhhh\r\n"},
      {"short last line",
       {{U"aaaa bbbb", 0, 700}, {U"cc", 0, 686}, {U"dddd eeee", 0, 672}, {U"ffff gggg", 0, 658}},
       "aaaa bbbb cc\r\n\r\ndddd eeee ffff gggg\r\n"},
      {"heading in a larger size",
       {{U"Big Title", 0, 718, 18}, {U"aaaa bbbb", 0, 700}, {U"cccc dddd", 0, 686}, {U"eeee ffff", 0, 672}},
       "Big Title\r\n\r\naaaa bbbb cccc dddd eeee ffff\r\n"},
      {"centred heading over two lines",
       {{U"A Long Title", 0, 740, 18}, {U"Ends", 36, 718, 18}, {U"aaaa bbbb", 0, 700}, {U"cccc dddd", 0, 686}},
       "A Long Title Ends\r\n\r\naaaa bbbb cccc dddd\r\n"},
      {"hyphen before a small letter joins the word",
       {{U"aaaa bbb-", 0, 700}, {U"ccc dddd", 0, 686}, {U"eeee ffff", 0, 672}},
       "aaaa bbbccc dddd eeee ffff\r\n"},
      {"hyphen before a capital stays",
       {{U"aaaa bbb-", 0, 700}, {U"Ccc dddd", 0, 686}, {U"eeee ffff", 0, 672}},
       "aaaa bbb-Ccc dddd eeee ffff\r\n"},
      {"soft hyphen joins too",
       {{U"aaaa bbb\u00AD", 0, 700}, {U"ccc dddd", 0, 686}, {U"eeee ffff", 0, 672}},
       "aaaa bbbccc dddd eeee ffff\r\n"},
      {"soft hyphen before a capital shows",
       {{U"aaaa bbb\u00AD", 0, 700}, {U"Ccc dddd", 0, 686}, {U"eeee ffff", 0, 672}},
       "aaaa bbb-Ccc dddd eeee ffff\r\n"},
      {"next column continues the paragraph",
       {{U"aaaa bbbb", 0, 700}, {U"cccc dddd", 0, 686}, {U"eeee ffff", 100, 700}, {U"gggg hhhh", 100, 686}},
       "aaaa bbbb cccc dddd eeee ffff gggg hhhh\r\n"},
      {"bullets start items, hanging lines continue them",
       {{U"\u2022 aaa bbbb", 0, 700}, {U"ccc dddd", 12, 686}, {U"\u2022 eee ffff", 0, 672}},
       "\x95 aaa bbbb ccc dddd\r\n\r\n\x95 eee ffff\r\n"},
      {"text set vertically stands apart",
       {{U"aaaa bbbb", 20, 700}, {U"cccc dddd", 20, 686}, {U"arXiv 12", 0, 400, 12, 0, true}},
       "aaaa bbbb cccc dddd\r\n\r\narXiv 12\r\n"},
      // Most lines end short: they were broken by hand, and the long ones
      // that end a sentence, though nothing would have fitted after them,
      // stand apart too, the last one of its block as well.
      {"lines broken by hand stay apart",
       {{U"Aa bb.", 0, 700}, {U"Cc dd ee ff.", 0, 686}, {U"Gg hh.", 0, 672}, {U"Ii jj.", 0, 658},
        {U"Kk ll mm nn!", 0, 644}, {U"Page 1", 0, 760}},
       "Aa bb.\r\n\r\nCc dd ee ff.\r\n\r\nGg hh.\r\n\r\nIi jj.\r\n\r\nKk ll mm nn!\r\n\r\nPage 1\r\n"},
      {"a line broken by hand that wrapped runs on",
       {{U"Aa bb.", 0, 700}, {U"Cc dd ee ff", 0, 686}, {U"gg hh.", 0, 672}, {U"Ii jj.", 0, 658},
        {U"Kk ll mm nn.", 0, 644}},
       "Aa bb.\r\n\r\nCc dd ee ff gg hh.\r\n\r\nIi jj.\r\n\r\nKk ll mm nn.\r\n"},
  });
}

TEST(PdfAssemble, CharactersInCodePage1252) {
  Check({
      {"ligatures split", {{U"\uFB01ne \uFB06op", 0, 700}}, "fine stop\r\n"},
      {"curly quotes and dash", {{U"\u201Ca\u201D \u2014", 0, 700}}, "\x93" "a\x94 \x97\r\n"},
      {"unknown character", {{U"\u4E2D", 0, 700}}, "?\r\n"},
  });
}

TEST(PdfAssemble, PagesStartWithPageBreak) {
  const Page a = {{U"aa bb", 0, 700}};
  const Page b = {{U"cc dd", 0, 700}};
  EXPECT_EQ(Assemble({a, b}), "aa bb\r\n\x01Pcc dd\r\n");
  EXPECT_EQ(Assemble({a, {}, b}), "aa bb\r\n\x01P\x01Pcc dd\r\n");
  EXPECT_EQ(Assemble({{}, b}), "\x01Pcc dd\r\n");
}

}  // namespace
