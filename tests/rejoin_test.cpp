// Rejoining hard-wrapped plain text: a wrapped book against the same book
// unwrapped, verse, contents and source left alone, the join rules line by
// line, the "Rejoin lines" menu row and its mark in quillo.cfg, and a PalmDoc
// book of UTF-8 text.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "document/dump.h"
#include "document/layout.h"
#include "document/rejoin.h"
#include "document/render.h"
#include "document/text.h"
#include "harness.h"
#include "importers/load.h"
#include "platform/bytes.h"
#include "platform/font.h"
#include "platform/keys.h"
#include "platform/settings.h"
#include "ui/menu.h"

namespace {

const std::string DATA = std::string(QUILLO_SOURCE_DIR) + "/tests/data/rejoin/";

class RejoinTest : public ::testing::Test {
 protected:
  void SetUp() override {
    StartTestPlatform();
    ASSERT_EQ(chdir(MakeScratchDir("rejoin").c_str()), 0);
    ResetSettings();
    if (!g_text) g_text = CreateText(TEXT_LAYOUT_WIDTH);
    SelectZoomFont();
  }
  void TearDown() override {
    GpClearKeyScript();
    ResetSettings();
  }
  static void Load(const std::string& name) { ASSERT_EQ(LoadFromFile(g_text, (DATA + name).c_str()), 1); }
};

// Pixel width of a laid-out line of plain text (no codes, regular face).
int LineWidth(const LineRecord& r) {
  int w = 0;
  for (int i = 0; i < r.length; ++i) w += CharWidth(g_text->font, 0, uint8_t(r.start[i]), 0);
  return w;
}

// The line ends a paragraph: a line end or the end of the text follows it.
bool EndsParagraph(const LineRecord& r) {
  const char c = r.start[r.length];
  return c == 0 || c == '\r' || c == '\n';
}

bool KeepsLine(const std::string& text, const std::string& line) {
  const size_t at = text.find(line);
  return at != std::string::npos && (text[at + line.size()] == '\n' || text[at + line.size()] == '\r');
}

TEST_F(RejoinTest, HardWrappedBookFlowsLikeTheUnwrappedOne) {
  Load("book-unwrapped.txt");
  const int32_t unwrapped = g_text->lineCount;
  for (const char* name : {"book-wrapped-lf.txt", "book-wrapped-crlf.txt"}) {
    SCOPED_TRACE(name);
    const std::string file = ReadTestFile(DATA + name);
    Load(name);
    const std::string text = g_text->text;
    ASSERT_EQ(text.size(), file.size()) << "joined in place";
    // What is shown: the padding of joined paragraphs draws nothing.
    std::string shown;
    for (char c : text) {
      if (c != REJOIN_FILLER) shown += c;
    }
    EXPECT_NEAR(g_text->lineCount, unwrapped, unwrapped * 3 / 100);
    for (int32_t i = 0; i < g_text->lineCount; ++i) {
      const LineRecord& r = g_text->lines[i];
      if (r.length > 0 && !EndsParagraph(r)) {
        EXPECT_GE(LineWidth(r), TEXT_LAYOUT_WIDTH / 2) << DescribeLines(g_text, false);
      }
    }
    // Title, contents, headings, the verse and the end of the quotation keep
    // their line ends; so does every paragraph's last line.
    for (const char* kept : {"THE KEEPER OF GREY POINT", "CONTENTS",
                             "   I. The Lighthouse ......................................... 1",
                             "  II. A Letter from the Mainland ............................. 9",
                             " III. The Winter Storm ...................................... 17", "CHAPTER I", "\nThe Lighthouse", "The lamp is lit, the tide is high,",
                             "The gulls go home across the sky;", "And I who keep the tower alone",
                             "Can hear the sea against the stone.", "For what is lost may yet be found.",
                             "has yet walked through.", "only the shape of them:", "within sight of the tower.",
                             "\nA Letter from the Mainland", "at least once on its way.", "round to look."}) {
      EXPECT_TRUE(KeepsLine(shown, kept)) << kept;
    }
    // The quotation is joined within itself, not into the prose around it.
    EXPECT_NE(shown.find("a lamp that burns for strangers is never wasted"), std::string::npos);
    // Switched off, every line end and indentation comes back.
    g_settings.rejoinLines = 0;
    EXPECT_TRUE(ApplyRejoinSetting(g_text));
    EXPECT_EQ(std::string(g_text->text), file);
    g_settings.rejoinLines = 1;
  }
}

TEST_F(RejoinTest, VerseSourceAndUnwrappedTextStayAsTheyAre) {
  for (const char* name : {"poem.txt", "program.c", "book-unwrapped.txt"}) {
    SCOPED_TRACE(name);
    const std::string file = ReadTestFile(DATA + name);
    EXPECT_FALSE(MeasureWrap(file.c_str(), file.size()).hardWrapped);
    Load(name);
    EXPECT_EQ(std::string(g_text->text), file);
  }
  // The unwrapped book lays out exactly as it did before rejoining existed.
  EXPECT_EQ(DescribeLines(g_text, false), ReadTestFile(DATA + "book-unwrapped.lines"));
  const std::string book = ReadTestFile(DATA + "book-wrapped-lf.txt");
  const WrapMeasure m = MeasureWrap(book.c_str(), book.size());
  EXPECT_TRUE(m.hardWrapped);
  EXPECT_GE(m.width, 66);
  EXPECT_LE(m.width, 72);
}

TEST(RejoinRules, LineByLine) {
  struct Case {
    const char* in;
    const char* out;  // "~" stands for the filler byte
  };
  const std::string full = "aaaa bbbb cccc dddd eeee ffff gggg hhhh iiii jjjj kkkk llll mmmm nnn";  // 68
  const Case cases[] = {
      // Lines of a paragraph are joined with one space; a short line ends it.
      {"F\nnext words\n\nNew one", "F next words\n\nNew one"},
      {"F\nnext words\nShort.\n", "F\nnext words\nShort.\n"},
      // CR LF becomes the filler and a space; a hyphenated word stays whole.
      {"F\r\nnext\r\n", "F next~\r\n"},
      {"F-\nword", "F-word~"},
      // A list item, a deeper indentation and a rule start their own lines.
      {"F\n- item\n", "F\n- item\n"},
      {"F\n12. item\n", "F\n12. item\n"},
      {"F\n    quoted\n", "F\n    quoted\n"},
      // An indented block is joined within itself, its indentation drawing nothing.
      {"    F\n    more\n", "    F more~~~~\n"},
      {"F\n* * *\n", "F\n* * *\n"},
      // A shallow first-line indentation continues at the margin.
      {"    F\nnext\n", "    F next\n"},
      // A contents row with a dot leader keeps its line end.
      {"aaaa bbbb cccc dddd eeee ffff gggg hhhh ......................... 12\nnext", 
       "aaaa bbbb cccc dddd eeee ffff gggg hhhh ......................... 12\nnext"},
      // Two short lines in a row are verse.
      {"F\nThe lamp is lit,\nThe gulls go home.\n", "F\nThe lamp is lit,\nThe gulls go home.\n"},
  };
  for (const Case& c : cases) {
    std::string in = c.in, out = c.out;
    for (std::string* s : {&in, &out}) {
      for (size_t at; (at = s->find('F')) != std::string::npos;) s->replace(at, 1, full);
      for (char& ch : *s) {
        if (ch == '~') ch = REJOIN_FILLER;
      }
    }
    std::vector<char> buffer(in.begin(), in.end());
    buffer.push_back(0);
    RejoinRecord record;
    record.joins.reserve(8);
    record.paragraphEnds.reserve(8);
    JoinHardWrapped(buffer.data(), in.size(), 72, &record);
    EXPECT_EQ(std::string(buffer.data()), out) << c.in;
    // Put back, the text is what it was.
    EXPECT_TRUE(UnjoinHardWrapped(buffer.data(), in.size(), record));
    EXPECT_EQ(std::string(buffer.data()), in) << c.in;
  }
}

TEST_F(RejoinTest, MenuRowSwitchesInPlaceKeepingTheTopLine) {
  const std::string file = ReadTestFile(DATA + "book-wrapped-lf.txt");
  Load("book-wrapped-lf.txt");
  const std::string joined = g_text->text;
  const int32_t joinedLines = g_text->lineCount;
  // Read down to the verse, then switch the setting off from the Options list
  // (its last row, one UP from the first).
  const char* verse = std::strstr(g_text->text, "The lamp is lit");
  ASSERT_NE(verse, nullptr);
  int32_t top = 0;
  while (top + 1 < g_text->lineCount && g_text->lines[top + 1].start <= verse) ++top;
  g_currentEntry.position = g_text->lines[top].y - FIRST_LINE_Y;
  const std::vector<std::pair<int, int>> rejoinRow = {{KEY_UP, 1}, {KEY_ACCEPT, 1}, {KEY_CANCEL, 1}};
  for (int pass = 0; pass < 2; ++pass) {
    SetMenuRememberedEntry(3);
    refresh_text(true);
    GpSetKeyScript(rejoinRow);
    RunMenu();
    const bool on = pass == 1;
    EXPECT_EQ(g_settings.rejoinLines, on ? 1 : 0);
    const std::string stored = ReadTestFile(CONFIG_FILE_NAME);
    ASSERT_EQ(stored.size(), size_t(CONFIG_FILE_SIZE));
    EXPECT_EQ(stored.substr(266, 4), std::string("Rj", 2) + char(on) + '\0');
    EXPECT_EQ(std::string(g_text->text), on ? joined : file);
    EXPECT_EQ(g_text->lineCount, on ? joinedLines : 142);
    if (!on) {
      EXPECT_EQ(DescribeLines(g_text, false), ReadTestFile(DATA + "book-wrapped-lf.lines"));
    }
    const int32_t line = LineAtPosition(g_text, g_currentEntry.position);
    ASSERT_GE(line, 0);
    const LineRecord& r = g_text->lines[line];
    EXPECT_TRUE(r.start <= verse && verse < r.start + r.length) << "the verse stays at the top";
  }
  // Loaded with the setting off, the book shows the old layout; switched on,
  // it is joined as at load.
  g_settings.rejoinLines = 0;
  Load("book-wrapped-lf.txt");
  EXPECT_EQ(DescribeLines(g_text, false), ReadTestFile(DATA + "book-wrapped-lf.lines"));
  g_settings.rejoinLines = 1;
  EXPECT_TRUE(ApplyRejoinSetting(g_text));
  EXPECT_EQ(std::string(g_text->text), joined);
}

TEST_F(RejoinTest, StoredSettingNeedsItsMark) {
  struct Case {
    const char* bytes;  // the 4 bytes at offset 266
    uint16_t expected;
  };
  const Case cases[] = {
      {"Rj\0\0", 0}, {"Rj\1\0", 1}, {"\0\0\0\0", 1}, {"Rj\7\0", 1}, {"jR\0\0", 1}, {"\xff\xff\xff\xff", 1},
  };
  for (const Case& c : cases) {
    uint8_t image[CONFIG_FILE_SIZE];
    g_settings.rejoinLines = 0;
    EncodeConfig(image);
    std::memcpy(image + 266, c.bytes, 4);
    ASSERT_TRUE(WriteTestFile(CONFIG_FILE_NAME, image, sizeof image));
    g_settings.rejoinLines = 7;
    EXPECT_EQ(LoadConfig(), 1);
    EXPECT_EQ(g_settings.rejoinLines, c.expected);
    // Every other field keeps its value and offset.
    uint8_t again[CONFIG_FILE_SIZE];
    EncodeConfig(again);
    EXPECT_EQ(std::memcmp(again, image, 266), 0);
    EXPECT_EQ(std::memcmp(again + 270, image + 270, CONFIG_FILE_SIZE - 270), 0);
  }
}

TEST_F(RejoinTest, Utf8PalmDocShowsItsAccents) {
  Load("utf8-palmdoc.pdb");
  const std::string text = g_text->text;
  for (const char* word : {"guardi\xE1n", "ley\xF3", "cu\xF1" "ada", "father\x92s", "lamp \x97 still"}) {
    EXPECT_NE(text.find(word), std::string::npos) << word;
  }
}

}  // namespace
