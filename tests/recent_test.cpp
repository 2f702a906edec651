// The recent-files list and quillo.mrf byte for byte: reading field by field,
// the rules of adding, lying and short files, safe rewriting; the chooser.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "document/text.h"
#include "harness.h"
#include "platform/keys.h"
#include "platform/recent.h"
#include "platform/settings.h"
#include "platform/video.h"
#include "ui/filedialog.h"
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

TEST_F(RecentTest, FailedRewriteKeepsTheOldFile) {
  list_->Add("/a.txt", "", -1, 1);
  const std::string before = Mrf();
  ASSERT_EQ(before.size(), 340u);
  // The temporary file cannot be made: the rewrite fails half way.
  ASSERT_EQ(mkdir((dir_ + "/quillo.mrf.tmp").c_str(), 0755), 0);
  EXPECT_EQ(list_->Add("/b.txt", "", -1, 2), 1);
  EXPECT_EQ(list_->count, 2) << "the list in memory is still updated";
  EXPECT_EQ(Mrf(), before);
  EXPECT_EQ(list_->Save(), 0);
  rmdir((dir_ + "/quillo.mrf.tmp").c_str());
  EXPECT_EQ(list_->Save(), 2);
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

}  // namespace
