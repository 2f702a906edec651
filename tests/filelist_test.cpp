// The list widget under the scripted key source: moving, paging, the first
// visible row following the selection, accept and cancel, empty lists and
// rows out of range; the row order; golden frames of drawn lists.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "harness.h"
#include "platform/cp1252.h"
#include "platform/files.h"
#include "platform/keys.h"
#include "platform/settings.h"
#include "platform/video.h"
#include "ui/filedialog.h"
#include "ui/filelist.h"
#include "zip/archive.h"

namespace {

class FileListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    StartTestPlatform();
    ResetSettings();
  }
  void TearDown() override { GpClearKeyScript(); }

  // A list of n documents "row 0" .. in the folder list's rectangle (9 rows).
  void MakeRows(int n) {
    rows_.assign(size_t(n), FileListEntry{});
    for (int i = 0; i < n; ++i) {
      SetFileListEntry(&rows_[size_t(i)], ("row " + std::to_string(i)).c_str(), ENTRY_DOCUMENT, 0);
    }
    list_ = FileList();
    list_.rows = rows_.data();
    list_.count = n;
    list_.x = 30;
    list_.y = 73;
    list_.width = 260;
    list_.height = 117;
    const uint16_t colours[5] = {0x0290, 0xC000, 0xFFC0, 0xFFDF, 0x0018};
    std::memcpy(list_.colours, colours, sizeof colours);
  }
  // Runs the list with the keys, then ACCEPT; returns its result.
  int Run(std::vector<std::pair<int, int>> keys, int last = KEY_ACCEPT) {
    keys.push_back({last, 1});
    GpSetKeyScript(keys);
    return FileListRun(&list_);
  }
  std::vector<FileListEntry> rows_;
  FileList list_;
};

TEST_F(FileListTest, LineKeysStopAtBothEnds) {
  MakeRows(5);
  EXPECT_EQ(Run({{KEY_UP, 2}}), 0) << "UP at row 0";
  EXPECT_EQ(Run({{KEY_DOWN, 3}}), 3);
  list_.selected = 0;
  EXPECT_EQ(Run({{KEY_DOWN, 9}}), 4) << "DOWN at the last row";
  EXPECT_EQ(Run({{KEY_UP, 1}, {0, 4}, {KEY_DOWN, 1}, {KEY_UP, 2}}), 2) << "no key moves nothing";
  EXPECT_EQ(list_.firstVisible, 0);
}

TEST_F(FileListTest, FirstVisibleRowFollowsTheSelection) {
  MakeRows(30);
  EXPECT_EQ(Run({{KEY_DOWN, 8}}), 8);
  EXPECT_EQ(list_.firstVisible, 0) << "row 8 is the ninth visible row";
  EXPECT_EQ(Run({{KEY_DOWN, 1}}), 9);
  EXPECT_EQ(list_.firstVisible, 1);
  EXPECT_EQ(Run({{KEY_DOWN, 11}}), 20);
  EXPECT_EQ(list_.firstVisible, 12);
  EXPECT_EQ(Run({{KEY_UP, 8}}), 12);
  EXPECT_EQ(list_.firstVisible, 12) << "still on show";
  EXPECT_EQ(Run({{KEY_UP, 1}}), 11);
  EXPECT_EQ(list_.firstVisible, 11);
}

TEST_F(FileListTest, PagingMovesNineRowsAndStopsAtTheEnds) {
  MakeRows(20);
  EXPECT_EQ(Run({{KEY_RIGHT, 1}}), 9);
  EXPECT_EQ(list_.firstVisible, 1);
  EXPECT_EQ(Run({{KEY_RIGHT, 1}}), 18);
  EXPECT_EQ(Run({{KEY_RIGHT, 1}}), 19) << "at most the last row";
  EXPECT_EQ(list_.firstVisible, 11);
  EXPECT_EQ(Run({{KEY_LEFT, 1}}), 10);
  EXPECT_EQ(list_.firstVisible, 10);
  EXPECT_EQ(Run({{KEY_LEFT, 1}}), 1);
  EXPECT_EQ(list_.firstVisible, 1);
  EXPECT_EQ(Run({{KEY_LEFT, 1}}), 0) << "below 0 becomes 0";
  EXPECT_EQ(list_.firstVisible, 0);
  EXPECT_EQ(Run({{KEY_RIGHT, 1}, {KEY_LEFT, 1}}), 0);
}

TEST_F(FileListTest, AcceptAndCancelWaitAndReturn) {
  MakeRows(3);
  GpAdvanceVirtualClock(1000);
  const uint32_t before = GetTicks();
  EXPECT_EQ(Run({{KEY_DOWN, 1}}), 1);
  // 150 ms after drawing, after the move and after the accept (frame pacing
  // adds at most a frame per pass).
  EXPECT_GE(GetTicks() - before, 450u);
  EXPECT_LE(GetTicks() - before, 520u);
  EXPECT_EQ(Run({{KEY_DOWN, 1}}, KEY_CANCEL), -1);
  EXPECT_EQ(list_.selected, 2) << "the position stays for the caller";
  EXPECT_EQ(Run({{KEY_START, 2}, {KEY_SELECT, 1}, {KEY_L, 1}, {KEY_R, 1}}), 2) << "other keys do nothing";
}

TEST_F(FileListTest, EmptyListOnlyCancels) {
  MakeRows(0);
  list_.rows = nullptr;
  EXPECT_EQ(Run({{KEY_ACCEPT, 3}, {KEY_DOWN, 2}, {KEY_RIGHT, 1}, {KEY_UP, 1}, {KEY_LEFT, 1}}, KEY_CANCEL), -1);
  EXPECT_EQ(list_.selected, 0);
}

TEST_F(FileListTest, RowsOutsideTheListAreBroughtInside) {
  MakeRows(4);
  list_.selected = 40;
  list_.firstVisible = 35;
  EXPECT_EQ(Run({}), 3);
  EXPECT_EQ(list_.firstVisible, 0);
  MakeRows(12);
  list_.selected = 11;
  list_.firstVisible = -3;
  EXPECT_EQ(Run({}), 11);
  EXPECT_EQ(list_.firstVisible, 3) << "the selected row is on show";
}

int CountColour(const uint16_t* frame, int x0, int y0, int x1, int y1, uint16_t colour);

TEST_F(FileListTest, SortPutsFoldersFirstAndNamesAsAPersonReadsThem) {
  // Row 0 stays; then parent, folders, documents, other files; names without
  // case, accented letters by their base letter, UTF-8 names as shown.
  const struct {
    const char* name;
    int32_t type;
  } input[] = {{"zeta.txt", ENTRY_DOCUMENT},         {"The end.txt", ENTRY_DOCUMENT},
               {"<docs>", ENTRY_FOLDER},             {"photo.jpg", ENTRY_OTHER},
               {"<..>", ENTRY_PARENT},               {"b.txt", ENTRY_DOCUMENT},
               {"canci\xF3n.txt", ENTRY_DOCUMENT},    {"a.bin", ENTRY_OTHER},
               {"<Music>", ENTRY_FOLDER},            {"B.txt", ENTRY_DOCUMENT},
               {"\xC3\x81rbol.txt", ENTRY_DOCUMENT}, {"<ab-x>", ENTRY_FOLDER},
               {"<ab>", ENTRY_FOLDER},               {"b.txt", ENTRY_DOCUMENT},
               {"\xC6sop.txt", ENTRY_DOCUMENT},       {"Cancion.txt", ENTRY_DOCUMENT}};
  std::vector<FileListEntry> rows;
  int serial = 0;
  for (const auto& in : input) {
    FileListEntry row;
    SetFileListEntry(&row, in.name, in.type, serial++);
    rows.push_back(row);
  }
  FileList list;
  list.rows = rows.data();
  list.count = int32_t(rows.size());
  SortFileList(&list);
  std::vector<std::string> names;
  for (const FileListEntry& row : rows) names.push_back(row.name);
  EXPECT_EQ(names, (std::vector<std::string>{"zeta.txt", "<..>", "<ab>", "<ab-x>", "<docs>", "<Music>",
                                             "\xC6sop.txt", "\xC3\x81rbol.txt", "B.txt", "b.txt", "b.txt",
                                             "Cancion.txt", "canci\xF3n.txt", "The end.txt", "a.bin",
                                             "photo.jpg"}));
  EXPECT_LT(rows[10].index, rows[11].index) << "equal rows keep their order";
}

TEST_F(FileListTest, NamesAreShownInTheFontsCodePage) {
  const struct {
    const char* name;
    bool utf8;
    const char* shown;
  } cases[] = {
      {"Espa\xC3\xB1ol", false, "Espa\xF1ol"},                                // UTF-8
      {"\xE2\x80\x9Cnoir\xE2\x80\x9D \xE2\x82\xAC", false, "\x93noir\x94 \x80"},  // quotes, euro sign
      {"\xE4\xB8\xAD \xF0\x9F\x93\x96.txt", false, "? ?.txt"},                  // outside the code page
      {"Caf\x65\xCC\x81 \x6E\xCC\x83", false, "Caf\xE9 \xF1"},                  // combining accents
      {"a\xCC\x8C", false, "a?"},                                             // no such letter
      {"Espa\xF1ol", false, "Espa\xF1ol"},                                     // Latin-1 as it is
      {"\xC0\xAF\xC3\xA9", false, "\xC0\xAF\xC3\xA9"},                          // overlong: not UTF-8
      {"bad-\xE9\xE9.txt", true, "bad-??.txt"},                                // flagged, invalid
      {"plain.txt", true, "plain.txt"},
  };
  for (const auto& c : cases) {
    char out[64];
    NameToCp1252(c.name, c.utf8, out, sizeof out);
    EXPECT_STREQ(out, c.shown) << c.name;
  }
  char out[64];
  ShownPath("/card/m\xC3\xBAsica/Se\xF1or/\xC3\x81rbol.txt", out, sizeof out);
  EXPECT_STREQ(out, "/card/m\xFAsica/Se\xF1or/\xC1rbol.txt") << "each part on its own";
  EXPECT_EQ(NameToCp1252("\xC3\xA9\xC3\xA9\xC3\xA9", false, out, 3), 2u) << "cut at a whole character";
  Cp1252SortKey("\xC1rbol \xC6 Stra\xDF""e \x8A\xFF", out, sizeof out);
  EXPECT_STREQ(out, "arbol ae strasse sy");
}

TEST_F(FileListTest, TextsAreFittedToTheirBox) {
  const int width = InterfaceTextWidth(".../ebooks/novels/");
  const struct {
    const char* path;
    int width;
    const char* shown;
  } cases[] = {{"/mnt/sd/ebooks/novels/", width, ".../ebooks/novels/"},
               {"/sd/ebooks/novels/", 400, "/sd/ebooks/novels/"},
               {"/abcdefgh/ebooks/novels/", width - 1, ".../novels/"}};
  for (const auto& c : cases) {
    char out[64];
    FitPathByEnd(c.path, c.width, out, sizeof out);
    EXPECT_STREQ(out, c.shown) << c.path;
  }
  char out[300];
  FitPathByEnd("/books/WWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWW.txt", 100, out, sizeof out);
  EXPECT_LE(InterfaceTextWidth(out), 100);
  EXPECT_EQ(std::string(out).substr(0, 3), "...");
  EXPECT_EQ(std::string(out).substr(std::strlen(out) - 4), ".txt") << "the end of the last part";
  FitText("WWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWW", 100, out, sizeof out);
  EXPECT_LE(InterfaceTextWidth(out), 100);
  EXPECT_EQ(std::string(out).substr(std::strlen(out) - 2), "..");
  // A row of 38 wide letters stays inside the list (x 30 to 289).
  MakeRows(2);
  SetFileListEntry(&rows_[1], std::string(38, 'W').c_str(), ENTRY_DOCUMENT, 0);
  ClearBuffer(g_video->FrontBuffer(), 0x8410);
  FileListDraw(&list_);
  EXPECT_EQ(CountColour(g_video->FrontBuffer(), 290, 73, 320, 97, 0xFFDF), 0);
  EXPECT_GT(CountColour(g_video->FrontBuffer(), 30, 85, 290, 97, 0xFFDF), 100);
}

TEST_F(FileListTest, ExtensionsFollowTheLastDot) {
  EXPECT_TRUE(HasExtension("book.Zip", "ZIP"));
  EXPECT_TRUE(HasExtension("a.b.html", "HTML"));
  EXPECT_FALSE(HasExtension("a.html", "HTM"));
  EXPECT_FALSE(HasExtension(".txt", "TXT")) << "a dot at the start does not count";
  EXPECT_FALSE(HasExtension("readme", "TXT"));
  EXPECT_FALSE(HasExtension("x.zip.bak", "ZIP"));
}

// Draws the frame and the list over a cleared screen and returns the front buffer.
const uint16_t* DrawOnClearedScreen(const FileList& list, const char* title, uint16_t fill) {
  ClearBuffer(g_video->FrontBuffer(), 0x8410);
  g_video->DrawWindow(20, 50, 280, 140, fill, title, 0, g_video->FrontBuffer());
  FileListDraw(&list);
  return g_video->FrontBuffer();
}

int CountColour(const uint16_t* frame, int x0, int y0, int x1, int y1, uint16_t colour) {
  int n = 0;
  for (int y = y0; y < y1; ++y) {
    for (int x = x0; x < x1; ++x) n += frame[PixelIndex(x, y)] == colour;
  }
  return n;
}

TEST_F(FileListTest, GoldenFolderList) {
  const struct {
    const char* name;
    int32_t type;
  } input[] = {{"<..>", ENTRY_PARENT},
               {"<Books>", ENTRY_FOLDER},
               {"<comics>", ENTRY_FOLDER},
               {"An exactly thirty-eight characters.txt", ENTRY_DOCUMENT},
               {"A name of thirty-nine characters, c.txt", ENTRY_DOCUMENT},
               {"Tama\xF1o y \xE9xito.rtf", ENTRY_DOCUMENT},
               {"story.pdb", ENTRY_DOCUMENT},
               {"cover.jpg", ENTRY_OTHER},
               {"notes.doc", ENTRY_OTHER},
               {"unseen.txt", ENTRY_DOCUMENT}};
  ASSERT_EQ(std::strlen(input[3].name), 38u);
  ASSERT_EQ(std::strlen(input[4].name), 39u);
  MakeRows(0);
  for (const auto& in : input) {
    FileListEntry row;
    SetFileListEntry(&row, in.name, in.type, 0);
    rows_.push_back(row);
  }
  list_.rows = rows_.data();
  list_.count = int32_t(rows_.size());
  list_.selected = 3;
  const uint16_t* frame = DrawOnClearedScreen(list_, "/books/", 0x0290);
  // The selection bar on the fourth row, nine rows shown, the tenth not.
  EXPECT_EQ(frame[PixelIndex(285, 73 + 36 + 6)], 0xFFC0);
  EXPECT_EQ(frame[PixelIndex(285, 73 + 24 + 6)], 0x0290);
  EXPECT_GT(CountColour(frame, 30, 73 + 84, 290, 73 + 96, FILE_LIST_DISABLED_COLOUR), 10) << "greyed row";
  EXPECT_GT(CountColour(frame, 30, 73, 290, 73 + 24, 0xC000), 10) << "folder rows";
  ExpectGoldenFrame("filelist", "folder-list", frame);
}

TEST_F(FileListTest, GoldenArchiveList) {
  ZipArchive* archive = ArchiveOpen(QUILLO_SOURCE_DIR "/tests/data/files/nested.zip");
  ASSERT_NE(archive, nullptr);
  MakeRows(ARCHIVE_LIST_ROWS);
  BuildArchiveList(&list_, archive, "", ARCHIVE_LIST_ROWS);
  ArchiveClose(archive);
  ASSERT_EQ(list_.count, 5);
  list_.colours[LIST_BACKGROUND] = 0x0018;
  list_.selected = 1;
  const uint16_t* frame = DrawOnClearedScreen(list_, "/books/nested.zip", 0x0018);
  // Five rows, then the rest of the list in the background colour.
  EXPECT_EQ(CountColour(frame, 30, 73 + 60, 290, 73 + 108, 0x0018), 260 * 48);
  ExpectGoldenFrame("filelist", "archive-list", frame);
}

TEST_F(FileListTest, ShortListDrawsNothing) {
  MakeRows(3);
  list_.height = 12;
  ClearBuffer(g_video->FrontBuffer(), 0x8410);
  FileListDraw(&list_);
  EXPECT_EQ(CountColour(g_video->FrontBuffer(), 0, 0, 320, 240, 0x8410), FRAME_PIXELS);
}

}  // namespace
