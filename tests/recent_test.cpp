// The recent-files list and quillo.mrf byte for byte: reading field by field,
// the rules of adding, lying and short files, safe rewriting; the chooser; the
// place kept across zoom levels, and reopening from the dialog and archives.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "document/layout.h"
#include "document/load.h"
#include "document/text.h"
#include "document/zoom.h"
#include "harness.h"
#include "importers/load.h"
#include "platform/keys.h"
#include "platform/recent.h"
#include "platform/settings.h"
#include "platform/video.h"
#include "ui/filedialog.h"
#include "ui/menu.h"
#include "ui/recent_menu.h"

namespace {

void Le32(std::string* s, uint32_t v) {
  for (int i = 0; i < 4; ++i) s->push_back(char(v >> (8 * i)));
}

// One 336-byte record written byte by byte.
std::string Record(const std::string& path, const std::string& name, int32_t index, int32_t position) {
  std::string r = path;
  r.resize(256, '\0');
  std::string n = name;
  n.resize(44, '\0');
  r += n;
  Le32(&r, uint32_t(index));
  Le32(&r, uint32_t(position));
  r.append(28, '\0');
  return r;
}

std::string File(int32_t count, const std::string& records) {
  std::string f;
  Le32(&f, uint32_t(count));
  return f + records;
}

class RecentTest : public ::testing::Test {
 protected:
  void SetUp() override {
    StartTestPlatform();
    ResetSettings();
    dir_ = MakeScratchDir("recent");
    ASSERT_EQ(chdir(dir_.c_str()), 0);
    if (!g_text) g_text = CreateText(TEXT_LAYOUT_WIDTH);
    SetCurrentDocument("", "", -1, 0);
    list_ = new RecentList(RECENT_FILE_NAME, &g_currentEntry);
    g_recentList = list_;
  }
  void TearDown() override {
    GpClearKeyScript();
    g_recentList = nullptr;
    delete list_;
  }
  void WriteMrf(const std::string& bytes) {
    ASSERT_TRUE(WriteTestFile(dir_ + "/quillo.mrf", bytes.data(), bytes.size()));
  }
  std::string Mrf() { return ReadTestFile(dir_ + "/quillo.mrf"); }
  // A book of 400 short paragraphs, which the largest zoom wraps: its path.
  std::string WriteBook(const std::string& name = "long.txt") {
    std::string book;
    for (int i = 0; i < 400; ++i) book += "Line " + std::to_string(i) + " of a book long enough to scroll, or more.\n";
    EXPECT_TRUE(WriteTestFile(dir_ + "/" + name, book.data(), book.size()));
    return dir_ + "/" + name;
  }
  std::string dir_;
  RecentList* list_ = nullptr;
};

TEST_F(RecentTest, FileIsReadFieldByField) {
  WriteMrf(File(2, Record("/mnt/sd/books/a.zip", "chapter1.txt", 3, 4500) +
                       Record("/mnt/sd/b.txt", "", -1, -20)));
  ASSERT_TRUE(list_->Load());
  ASSERT_EQ(list_->count, 2);
  EXPECT_STREQ(list_->rows[0].path, "/mnt/sd/books/a.zip");
  EXPECT_STREQ(list_->rows[0].entryName, "chapter1.txt");
  EXPECT_EQ(list_->rows[0].entryIndex, 3);
  EXPECT_EQ(list_->rows[0].position, 4500);
  EXPECT_STREQ(list_->rows[1].path, "/mnt/sd/b.txt");
  EXPECT_EQ(list_->rows[1].entryIndex, -1);
  EXPECT_EQ(list_->rows[1].position, -20);
  // Written back byte for byte.
  EXPECT_EQ(list_->Save(), 2);
  EXPECT_EQ(Mrf(), File(2, Record("/mnt/sd/books/a.zip", "chapter1.txt", 3, 4500) +
                               Record("/mnt/sd/b.txt", "", -1, -20)));
}

TEST_F(RecentTest, ShortAndLyingFilesNeverOverrunTheRows) {
  EXPECT_FALSE(list_->Load()) << "no file";
  WriteMrf(std::string("\x01\x00", 2));
  EXPECT_FALSE(list_->Load()) << "no whole count";
  WriteMrf(File(3, Record("/a.txt", "", -1, 1) + Record("/b.txt", "", -1, 2) + Record("/c.txt", "", -1, 3).substr(0, 300)));
  EXPECT_TRUE(list_->Load());
  EXPECT_EQ(list_->count, 2) << "the whole records stay";
  std::string many;
  for (int i = 0; i < 20; ++i) many += Record("/book" + std::to_string(i) + ".txt", "", -1, i);
  WriteMrf(File(1000, many));
  EXPECT_TRUE(list_->Load());
  EXPECT_EQ(list_->count, 16) << "the first 16 of a count of 1000";
  EXPECT_STREQ(list_->rows[15].path, "/book15.txt");
  WriteMrf(File(-5, many));
  EXPECT_FALSE(list_->Load());
  EXPECT_EQ(list_->count, 0);
  WriteMrf(File(0, many));
  EXPECT_FALSE(list_->Load());
  // A path that fills its field without a terminator is cut, not overrun.
  WriteMrf(File(1, std::string(336, 'x')));
  EXPECT_TRUE(list_->Load());
  EXPECT_EQ(std::strlen(list_->rows[0].path), 255u);
  EXPECT_EQ(std::strlen(list_->rows[0].entryName), 43u);
}

TEST_F(RecentTest, AddingMovesToTheFrontAndKeepsSixteen) {
  EXPECT_EQ(list_->Add("", "", -1, 0), 0) << "the introduction";
  EXPECT_EQ(list_->Add(" x.txt", "", -1, 0), 0);
  EXPECT_EQ(list_->Add(nullptr, "", -1, 0), 0);
  EXPECT_EQ(list_->count, 0);
  EXPECT_TRUE(Mrf().empty()) << "nothing written";
  EXPECT_EQ(list_->Add("/a.zip", "one.txt", 0, 10), 1);
  EXPECT_EQ(list_->Add("/a.zip", "two.txt", 1, 20), 1) << "another entry of the same archive";
  EXPECT_EQ(list_->Add("/b.txt", "", -1, 30), 1);
  ASSERT_EQ(list_->count, 3);
  EXPECT_EQ(list_->Add("/a.zip", "one.txt", 0, 99), 1);
  ASSERT_EQ(list_->count, 3);
  EXPECT_EQ(list_->rows[0].entryIndex, 0);
  EXPECT_EQ(list_->rows[0].position, 99) << "moved to the front with its new place";
  EXPECT_STREQ(list_->rows[1].path, "/b.txt");
  EXPECT_EQ(list_->rows[2].entryIndex, 1);
  EXPECT_EQ(Mrf(), File(3, Record("/a.zip", "one.txt", 0, 99) + Record("/b.txt", "", -1, 30) +
                               Record("/a.zip", "two.txt", 1, 20)));
  EXPECT_EQ(list_->Add("/B.txt", "", -1, 0), 1) << "paths compare case-sensitively";
  EXPECT_EQ(list_->count, 4);
  for (int i = 0; i < 12; ++i) list_->Add(("/n" + std::to_string(i)).c_str(), "", -1, i);
  EXPECT_EQ(list_->count, 16);
  EXPECT_EQ(list_->rows[15].entryIndex, 1);
  list_->Add("/n12", "", -1, 12);
  EXPECT_EQ(list_->count, 16);
  EXPECT_STREQ(list_->rows[15].path, "/b.txt") << "the 17th add drops the oldest";
  // Adding from one of its own rows (the strings lie in the rows it rewrites).
  list_->AddEntry(list_->rows[15]);
  EXPECT_STREQ(list_->rows[0].path, "/b.txt");
  EXPECT_EQ(list_->count, 16);
  EXPECT_EQ(Mrf().size(), 4u + 16u * 336u);
}

TEST_F(RecentTest, RewriteWithoutATemporaryGoesInPlaceAndFailureIsReported) {
  list_->Add("/a.txt", "", -1, 1);
  ASSERT_EQ(Mrf().size(), 340u);
  // The temporary file cannot be made: the file itself is rewritten.
  ASSERT_EQ(mkdir((dir_ + "/quillo.mrf.tmp").c_str(), 0755), 0);
  EXPECT_EQ(list_->Add("/b.txt", "", -1, 2), 1);
  EXPECT_EQ(Mrf().size(), 4u + 2u * 336u);
  // Neither can be written (a folder in the file's place): 0, and the list in
  // memory is still updated.
  ASSERT_EQ(unlink((dir_ + "/quillo.mrf").c_str()), 0);
  ASSERT_EQ(mkdir((dir_ + "/quillo.mrf").c_str(), 0755), 0);
  EXPECT_EQ(list_->Add("/c.txt", "", -1, 3), 1);
  EXPECT_EQ(list_->count, 3);
  EXPECT_EQ(list_->Save(), 0);
}

TEST_F(RecentTest, ChooserListsEveryRowButTheCurrentOne) {
  ASSERT_TRUE(WriteTestFile(dir_ + "/one.txt", "First book.\n", 12));
  ASSERT_TRUE(WriteTestFile(dir_ + "/two.txt", "Second book.\n", 13));
  list_->Add((dir_ + "/two.txt").c_str(), "", -1, 0);
  list_->Add((dir_ + "/one.txt").c_str(), "", -1, 0);
  list_->Add("/gone.zip", "chapter.txt", 4, 70);
  // At start the introduction is current: three rows and the extra one.
  ClearBuffer(g_video->BackBuffer(), 0x8410);
  ClearBuffer(g_video->FrontBuffer(), 0x8410);
  GpSetKeyScript({{KEY_DOWN, 9}, {KEY_CANCEL, 1}});
  EXPECT_EQ(ShowRecentMenu(list_, true), -1);
  ExpectGoldenFrame("filelist", "recent-menu", GpLastShown());
  // Choosing the third row reopens two.txt; the place left is recorded.
  GpSetKeyScript({{KEY_DOWN, 2}, {KEY_ACCEPT, 1}});
  EXPECT_EQ(ShowRecentMenu(list_, true), 2);
  EXPECT_STREQ(g_currentEntry.path, (dir_ + "/two.txt").c_str());
  EXPECT_EQ(std::string(g_text->text), "Second book.\n");
  EXPECT_EQ(list_->count, 3) << "the introduction left behind is not recorded";
  // Now two.txt (row 2) is current and left out: gone.zip, then one.txt.
  g_currentEntry.position = 45;
  GpSetKeyScript({{KEY_DOWN, 1}, {KEY_ACCEPT, 1}});
  EXPECT_EQ(ShowRecentMenu(list_, false), 1);
  EXPECT_STREQ(g_currentEntry.path, (dir_ + "/one.txt").c_str());
  EXPECT_EQ(list_->rows[0].position, 45) << "the place left in two.txt";
  // The extra row opens the file dialog and gives its result.
  snprintf(g_settings.folderPath, sizeof g_settings.folderPath, "%s/", dir_.c_str());
  GpSetKeyScript({{KEY_DOWN, 3}, {KEY_ACCEPT, 1}, {KEY_CANCEL, 1}});
  EXPECT_EQ(ShowRecentMenu(list_, true), 1);
  EXPECT_EQ(GpKeyScriptPolls(), 5u);
}

TEST_F(RecentTest, ChosenRowReopensAtItsStoredPlace) {
  std::string book;
  for (int i = 0; i < 400; ++i) book += "Line " + std::to_string(i) + " of a book long enough to scroll.\n";
  ASSERT_TRUE(WriteTestFile(dir_ + "/long.txt", book.data(), book.size()));
  WriteMrf(File(1, Record(dir_ + "/long.txt", "", -1, 1234)));
  ASSERT_TRUE(list_->Load());
  GpSetKeyScript({{KEY_ACCEPT, 1}});
  EXPECT_EQ(ShowRecentMenu(list_, true), 0);
  EXPECT_EQ(g_currentEntry.position, 1234);
  EXPECT_STREQ(g_text->name, (dir_ + "/long.txt").c_str());
}

// A place left at one zoom level is reopened at another on the same line,
// which comes to the top whole; at the same zoom level exactly where it was.
TEST_F(RecentTest, PlaceIsKeptAsTheTopLinesByteAcrossZoomLevels) {
  const std::string path = WriteBook();
  SelectZoomFont();
  ASSERT_EQ(OpenRecordedDocument(path.c_str(), "", -1, 0), 1);
  const int32_t offset = int32_t(g_text->lines[150].start - g_text->text);
  const int32_t left = g_text->lines[150].y - 5 + 4;
  g_currentEntry.position = left;
  RecordCurrentDocument();
  ASSERT_EQ(list_->count, 1);
  std::string place("Qpl\x01", 4);
  Le32(&place, uint32_t(offset));
  EXPECT_EQ(Mrf().substr(4 + 308, 11), place + std::string("\x04\x00\x00", 3)) << "mark, offset, 4 pixels, zoom 0";
  for (int zoom : {2, 0}) {
    g_settings.zoomLevel = uint16_t(zoom);
    SelectZoomFont();
    SetCurrentDocument("", "", -1, 0);
    GpSetKeyScript({{KEY_ACCEPT, 1}});
    ASSERT_EQ(ShowRecentMenu(list_, true), 0);
    const int32_t top = LineAtPosition(g_text, g_currentEntry.position);
    ASSERT_GE(top, 0);
    EXPECT_EQ(g_text->lines[top].start - g_text->text, offset) << "zoom " << zoom;
    EXPECT_EQ(g_currentEntry.position, zoom == 0 ? left : g_text->lines[top].y - 5) << "zoom " << zoom;
  }
}

// Zooming out and in again comes back to the same line, even one that begins
// inside a paragraph; at the top of a document the first line stays whole.
TEST_F(RecentTest, ZoomChangesKeepTheTopLineWholeWithoutDrift) {
  const std::string path = WriteBook();
  g_settings.zoomLevel = 2;
  SelectZoomFont();
  ASSERT_EQ(OpenRecordedDocument(path.c_str(), "", -1, 0), 1);
  SetMenuRememberedEntry(2);
  // Zoom - (row 1) from the top: position 0, not the first line's 5.
  GpSetKeyScript({{KEY_DOWN, 1}, {KEY_ACCEPT, 1}, {KEY_CANCEL, 1}});
  RunMenu();
  EXPECT_EQ(g_settings.zoomLevel, 1);
  EXPECT_EQ(g_currentEntry.position, 0);
  GpSetKeyScript({{KEY_ACCEPT, 1}, {KEY_CANCEL, 1}});
  RunMenu();
  ASSERT_EQ(g_settings.zoomLevel, 2);
  // A line that a wrap began, far down the book.
  int32_t line = 300;
  while (line < g_text->lineCount && g_text->lines[line].start[-1] == '\n') ++line;
  ASSERT_LT(line, g_text->lineCount);
  const int32_t at = g_text->lines[line].y - 5;
  g_currentEntry.position = at;
  // Zoom - twice, then Zoom + twice, in one opening of the menu.
  GpSetKeyScript({{KEY_DOWN, 1}, {KEY_ACCEPT, 1}, {KEY_ACCEPT, 1}, {KEY_UP, 1}, {KEY_ACCEPT, 1},
                  {KEY_ACCEPT, 1}, {KEY_CANCEL, 1}});
  RunMenu();
  EXPECT_EQ(g_settings.zoomLevel, 2);
  EXPECT_EQ(g_currentEntry.position, at);
  EXPECT_EQ(GpKeyScriptPolls(), 7u);
}

// Opening through the dialog a book that the list holds starts at its place,
// and the place stays recorded.
TEST_F(RecentTest, DialogOpensARecordedBookAtItsPlace) {
  ASSERT_EQ(mkdir((dir_ + "/books").c_str(), 0755), 0);
  const std::string path = WriteBook("books/long.txt");
  list_->Add(path.c_str(), "", -1, 1234);
  snprintf(g_settings.folderPath, sizeof g_settings.folderPath, "%s/books/", dir_.c_str());
  g_fileDialogPosition = {0, 0};
  GpSetKeyScript({{KEY_DOWN, 1}, {KEY_ACCEPT, 1}});
  EXPECT_EQ(FileDialog(), 1);
  EXPECT_STREQ(g_currentEntry.path, path.c_str());
  EXPECT_EQ(g_currentEntry.position, 1234);
  ASSERT_EQ(list_->count, 1);
  EXPECT_EQ(list_->rows[0].position, 1234);
}

// A path longer than its field is never recorded cut: the book is read, the
// title bar has its own name, and the list stays as it was.
TEST_F(RecentTest, PathLongerThanItsFieldIsReadButNotRecorded) {
  const std::string folder = std::string(200, 'd');
  ASSERT_EQ(mkdir((dir_ + "/" + folder).c_str(), 0755), 0);
  const std::string name = "a-book-whose-path-is-longer-than-the-record-field-holds.txt";
  const std::string path = WriteBook(folder + "/" + name);
  ASSERT_GT(path.size(), 255u);
  snprintf(g_settings.folderPath, sizeof g_settings.folderPath, "%s/%s/", dir_.c_str(), folder.c_str());
  g_fileDialogPosition = {0, 0};
  GpSetKeyScript({{KEY_DOWN, 1}, {KEY_ACCEPT, 1}});
  EXPECT_EQ(FileDialog(), 1);
  EXPECT_EQ(std::string(g_text->text).substr(0, 6), "Line 0");
  EXPECT_STREQ(BaseName(g_text->name), name.c_str());
  EXPECT_STREQ(g_currentEntry.path, "");
  RecordCurrentDocument();
  EXPECT_EQ(list_->Add(path.c_str(), "", -1, 0), 0);
  EXPECT_EQ(list_->count, 0);
  EXPECT_TRUE(Mrf().empty());
}

// An archive entry is checked by the name recorded with it: found by name when
// the archive was re-packed; "File not found" when it has gone.
TEST_F(RecentTest, ArchiveEntriesAreFoundByTheirRecordedName) {
  const std::string zip = dir_ + "/nested.zip";
  const std::string bytes = ReadTestFile(std::string(QUILLO_SOURCE_DIR) + "/tests/data/files/nested.zip");
  ASSERT_TRUE(WriteTestFile(zip, bytes.data(), bytes.size()));
  struct Case {
    const char* name;
    int32_t recorded, opened;
  };
  for (const Case& c : {Case{"readme.txt", 0, 0}, Case{"guide.txt", 1, 7}, Case{"deep.txt", 50, 6}}) {
    list_->Add(zip.c_str(), c.name, c.recorded, 30);
    ASSERT_EQ(OpenRecordedEntry(list_->rows[0]), 1) << c.name;
    EXPECT_STREQ(g_text->name, c.name);
    EXPECT_EQ(g_currentEntry.entryIndex, c.opened);
    EXPECT_EQ(g_currentEntry.position, 30);
    EXPECT_EQ(list_->Find(zip.c_str(), c.name, c.recorded) != nullptr, c.recorded == c.opened)
        << "the row under the old number is dropped";
  }
  LoadFromMemory(g_text, strdup("The page on screen."));
  const RecentEntry before = g_currentEntry;
  GpSetKeyScript({{KEY_ACCEPT, 1}});
  EXPECT_EQ(OpenRecordedDocument(zip.c_str(), "gone.txt", 0, 0), 0);
  EXPECT_EQ(GpKeyScriptPolls(), 1u) << "the box waited for a key";
  EXPECT_EQ(std::string(g_text->text), "The page on screen.");
  EXPECT_STREQ(g_currentEntry.entryName, before.entryName);
  EXPECT_EQ(g_currentEntry.entryIndex, before.entryIndex);
}

}  // namespace
