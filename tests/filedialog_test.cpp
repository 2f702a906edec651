// The file dialog over real temporary folders and the archives of
// tests/data/files (made by scripts/make-fixtures-files.sh): folder rows and
// their order, moving between folders, archive lists at every level, opening
// documents and entries, and the failures the user is told about.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "document/text.h"
#include "harness.h"
#include "importers/load.h"
#include "platform/files.h"
#include "platform/keys.h"
#include "platform/recent.h"
#include "platform/settings.h"
#include "platform/video.h"
#include "ui/filedialog.h"
#include "ui/filelist.h"
#include "zip/archive.h"

namespace {

const std::string FIXTURES = std::string(QUILLO_SOURCE_DIR) + "/tests/data/files/";

class FileDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    StartTestPlatform();
    ResetSettings();
    dir_ = MakeScratchDir("dialog");
    ASSERT_EQ(chdir(dir_.c_str()), 0);
    if (!g_text) g_text = CreateText(TEXT_LAYOUT_WIDTH);
    LoadFromMemory(g_text, strdup("The page before the dialog."));
    SetCurrentDocument("", "", -1, 0);
    recent_ = new RecentList(RECENT_FILE_NAME, &g_currentEntry);
    g_recentList = recent_;
    g_fileDialogPosition = {0, 0};
  }
  void TearDown() override {
    GpClearKeyScript();
    g_recentList = nullptr;
    delete recent_;
  }

  void Touch(const std::string& name, const std::string& content = "Some text.\n") {
    ASSERT_TRUE(WriteTestFile(dir_ + "/" + name, content.data(), content.size())) << name;
  }
  void Folder(const std::string& name) { ASSERT_EQ(mkdir((dir_ + "/" + name).c_str(), 0755), 0); }
  void CopyFixture(const std::string& from, const std::string& to) {
    const std::string bytes = ReadTestFile(FIXTURES + from);
    ASSERT_FALSE(bytes.empty()) << from;
    Touch(to, bytes);
  }

  // The rows the dialog builds for folder (listing order, then the sort).
  std::vector<FileListEntry> Rows(const std::string& folder) {
    std::vector<char> names(size_t(FOLDER_LIST_NAMES) * DIR_NAME_SIZE);
    int stored = 0;
    EXPECT_EQ(GpDirEnumList(folder.c_str(), 0, FOLDER_LIST_NAMES, names.data(), &stored), FAT_OK);
    FileList list;
    BuildFolderList(&list, folder.c_str(), names.data(), stored);
    std::vector<FileListEntry> rows(list.rows, list.rows + list.count);
    free(list.rows);
    return rows;
  }
  int RowOf(const std::string& folder, const char* name) {
    const std::vector<FileListEntry> rows = Rows(folder);
    for (size_t i = 0; i < rows.size(); ++i) {
      if (std::strcmp(rows[i].name, name) == 0) return int(i);
    }
    ADD_FAILURE() << name << " not listed in " << folder;
    return 0;
  }
  // Keys that select row `row` from row 0 and accept it.
  static void Choose(std::vector<std::pair<int, int>>* keys, int row) {
    if (row > 0) keys->push_back({KEY_DOWN, row});
    keys->push_back({KEY_ACCEPT, 1});
  }
  int RunDialog(std::vector<std::pair<int, int>> keys) {
    GpSetKeyScript(keys);
    const int result = FileDialog();
    EXPECT_EQ(GpKeyScriptPolls(), [&] {
      uint32_t n = 0;
      for (const auto& k : keys) n += uint32_t(k.second);
      return n;
    }()) << "every key was used, and no more";
    return result;
  }

  std::string dir_;
  RecentList* recent_ = nullptr;
};

TEST_F(FileDialogTest, FolderRowsFromARealFolder) {
  Folder("Books");
  Folder("x.zip");
  Touch("book.Zip");
  Touch("notes.TXT");
  Touch("page.html");
  Touch("paper.pdf");
  Touch("story.pdb");
  Touch("letter.rtf");
  Touch("photo.jpg");
  Touch("README");
  const std::vector<FileListEntry> rows = Rows(dir_ + "/");
  ASSERT_EQ(rows.size(), 11u) << "\".\" is left out";
  std::vector<std::string> shown;
  for (const FileListEntry& row : rows) shown.push_back(row.name);
  const std::vector<std::string> expected = {"<..>",      "<Books>",   "<x.zip>",   "book.Zip",
                                             "letter.rtf", "notes.TXT", "page.html", "paper.pdf",
                                             "story.pdb", "README",    "photo.jpg"};
  EXPECT_EQ(shown, expected);
  for (const FileListEntry& row : rows) {
    const std::string name = row.name;
    const int32_t type = name == "<..>" ? ENTRY_PARENT
                         : name[0] == '<' ? ENTRY_FOLDER
                         : name == "README" || name == "photo.jpg" ? ENTRY_OTHER
                                                                  : ENTRY_DOCUMENT;
    EXPECT_EQ(row.type, type) << name;
    EXPECT_EQ(row.index, 0) << name;
  }
}

TEST_F(FileDialogTest, TheParentRowLeadsWhereverTheListingPutsIt) {
  Folder("sub");
  Touch("b.txt");
  Touch("a.txt");
  // Listings in orders of our own, with the real folder's attributes: a file
  // system may return ".." anywhere, or the 128-name cut may leave it out.
  auto build = [&](std::vector<const char*> listing) {
    std::vector<char> names(std::max<size_t>(listing.size(), 1) * DIR_NAME_SIZE, 0);
    for (size_t i = 0; i < listing.size(); ++i) std::strcpy(&names[i * DIR_NAME_SIZE], listing[i]);
    FileList list;
    BuildFolderList(&list, (dir_ + "/").c_str(), names.data(), int(listing.size()));
    std::vector<std::string> rows;
    for (int32_t i = 0; i < list.count; ++i) rows.push_back(list.rows[i].name);
    if (list.count > 0) {
      EXPECT_EQ(list.rows[0].type, ENTRY_PARENT);
    }
    free(list.rows);
    return rows;
  };
  using Names = std::vector<std::string>;
  EXPECT_EQ(build({"b.txt", ".", "a.txt", "..", "sub", "gone.txt"}),
            Names({"<..>", "<sub>", "a.txt", "b.txt", "gone.txt"}));
  EXPECT_EQ(build({".", "..", "b.txt", "sub", "a.txt"}), Names({"<..>", "<sub>", "a.txt", "b.txt"}))
      << "the console's order";
  EXPECT_EQ(build({"b.txt", "a.txt", "."}), Names({"<..>", "a.txt", "b.txt"})) << "no \"..\" listed";
  EXPECT_EQ(build({}), Names({"<..>"})) << "a folder that has gone can still be left";
  // A name whose attributes cannot be read is a file by its extension.
  std::vector<char> names(DIR_NAME_SIZE, 0);
  std::strcpy(names.data(), "gone.txt");
  FileList list;
  BuildFolderList(&list, (dir_ + "/").c_str(), names.data(), 1);
  ASSERT_EQ(list.count, 2);
  EXPECT_EQ(list.rows[1].type, ENTRY_DOCUMENT);
  free(list.rows);
}

TEST_F(FileDialogTest, ListingStopsAt128Names) {
  for (int i = 0; i < 140; ++i) Touch("f" + std::to_string(1000 + i) + ".txt");
  const std::vector<FileListEntry> rows = Rows(dir_ + "/");
  // 128 names from the listing (the folder has 142 with "." and ".."): "."
  // is left out, and "<..>" leads whether or not the cut kept "..".
  std::vector<char> names(size_t(FOLDER_LIST_NAMES) * DIR_NAME_SIZE);
  int stored = 0;
  ASSERT_EQ(GpDirEnumList((dir_ + "/").c_str(), 0, FOLDER_LIST_NAMES, names.data(), &stored), FAT_OK);
  ASSERT_EQ(stored, 128);
  bool dot = false, dotDot = false;
  for (int i = 0; i < stored; ++i) {
    dot |= std::strcmp(&names[size_t(i) * DIR_NAME_SIZE], ".") == 0;
    dotDot |= std::strcmp(&names[size_t(i) * DIR_NAME_SIZE], "..") == 0;
  }
  EXPECT_EQ(rows.size(), size_t(128 - (dot ? 1 : 0) + (dotDot ? 0 : 1)));
  EXPECT_STREQ(rows[0].name, "<..>");
  snprintf(g_settings.folderPath, sizeof g_settings.folderPath, "%s/", dir_.c_str());
  testing::internal::CaptureStdout();
  EXPECT_EQ(RunDialog({{KEY_CANCEL, 1}}), 1);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("Filedialog " + dir_ + "/: 128 entries\n"), std::string::npos) << out;
}

TEST_F(FileDialogTest, ParentPathStopsBelowTheRoot) {
  struct {
    const char* from;
    const char* to;
  } cases[] = {{"/mnt/sd/books/", "/mnt/sd/"}, {"/mnt/sd/", "/mnt/"}, {"/mnt/", "/mnt/"},
               {"/a//", "/a/"},                {"/", "/"},              {"ab/", "ab/"},
               {"x/y/", "x/"}};
  for (const auto& c : cases) {
    char path[FOLDER_PATH_SIZE];
    std::strcpy(path, c.from);
    ParentFolderPath(path);
    EXPECT_STREQ(path, c.to) << c.from;
  }
}

TEST_F(FileDialogTest, WalksIntoAFolderOpensADocumentAndRemembersItsPlace) {
  Folder("books");
  Folder("books/more");
  for (int i = 0; i < 12; ++i) Touch("books/p" + std::to_string(10 + i) + ".txt", "Page " + std::to_string(i) + "\n");
  snprintf(g_settings.folderPath, sizeof g_settings.folderPath, "%s/", dir_.c_str());
  const std::string books = dir_ + "/books/";
  std::vector<std::pair<int, int>> keys;
  Choose(&keys, RowOf(dir_ + "/", "<books>"));
  Choose(&keys, RowOf(books, "<more>"));
  Choose(&keys, RowOf(books + "more/", "<..>"));  // back up
  const int target = RowOf(books, "p20.txt");
  Choose(&keys, target);
  EXPECT_EQ(RunDialog(keys), 1);
  EXPECT_STREQ(g_settings.folderPath, books.c_str());
  EXPECT_STREQ(g_currentEntry.path, (books + "p20.txt").c_str());
  EXPECT_STREQ(g_currentEntry.entryName, "");
  EXPECT_EQ(g_currentEntry.entryIndex, -1);
  EXPECT_EQ(g_currentEntry.position, 0);
  EXPECT_STREQ(g_text->name, (books + "p20.txt").c_str());
  EXPECT_EQ(std::string(g_text->text).substr(0, 7), "Page 10");
  EXPECT_EQ(g_fileDialogPosition.selected, target);
  EXPECT_EQ(g_fileDialogPosition.firstVisible, target > 8 ? target - 8 : 0);
  // The introduction left behind is not recorded; the new document is.
  ASSERT_EQ(recent_->count, 1);
  EXPECT_STREQ(recent_->rows[0].path, (books + "p20.txt").c_str());
  EXPECT_EQ(ReadTestFile(dir_ + "/quillo.mrf").size(), 4u + 336u);

  // Reopened: the same folder and row; cancelling keeps everything.
  g_currentEntry.position = 77;
  EXPECT_EQ(RunDialog({{KEY_ACCEPT, 1}}), 1);
  EXPECT_EQ(g_fileDialogPosition.selected, target);
  // Opening the same file again records the place that was left, then the new one.
  ASSERT_EQ(recent_->count, 1);
  EXPECT_EQ(recent_->rows[0].position, 0);
  EXPECT_EQ(g_currentEntry.position, 0);
}

TEST_F(FileDialogTest, RememberedRowBeyondAShorterFolderIsBroughtInside) {
  Touch("only.txt");
  snprintf(g_settings.folderPath, sizeof g_settings.folderPath, "%s/", dir_.c_str());
  g_fileDialogPosition = {40, 50};
  // Two rows ("<..>" and "only.txt"): the last one is selected.
  EXPECT_EQ(RunDialog({{KEY_CANCEL, 1}}), 1);
  EXPECT_EQ(g_fileDialogPosition.selected, 1);
  EXPECT_EQ(g_fileDialogPosition.firstVisible, 0);
}

TEST_F(FileDialogTest, EmptyAndMissingFilesAreNotOpened) {
  Touch("empty.txt", "");
  snprintf(g_settings.folderPath, sizeof g_settings.folderPath, "%s/", dir_.c_str());
  std::vector<std::pair<int, int>> keys;
  Choose(&keys, RowOf(dir_ + "/", "empty.txt"));
  keys.push_back({KEY_CANCEL, 1});
  EXPECT_EQ(RunDialog(keys), 1);
  EXPECT_STREQ(g_currentEntry.path, "") << "nothing happens for an empty file";
  EXPECT_EQ(recent_->count, 0);
  // A file that went away: "File not found", closed by a key.
  GpSetKeyScript({{KEY_ACCEPT, 1}});
  EXPECT_EQ(CheckDocumentFile((dir_ + "/gone.txt").c_str()), 0);
  EXPECT_EQ(GpKeyScriptPolls(), 1u);
  EXPECT_EQ(CheckDocumentFile((dir_ + "/empty.txt").c_str()), 0);
}

TEST_F(FileDialogTest, FolderThatHasGoneCanBeLeft) {
  Touch("here.txt");
  snprintf(g_settings.folderPath, sizeof g_settings.folderPath, "%s/none/", dir_.c_str());
  // The file service lists a missing folder as empty; its list still holds
  // "<..>", which leads to the folder above.
  EXPECT_EQ(RunDialog({{KEY_ACCEPT, 1}, {KEY_CANCEL, 1}}), 1);
  EXPECT_EQ(std::string(g_settings.folderPath), dir_ + "/");
}

// Row names of the archive list at prefix.
std::vector<std::string> ArchiveRows(const std::string& archivePath, const char* prefix,
                                     std::vector<FileListEntry>* out = nullptr) {
  ZipArchive* archive = ArchiveOpen(archivePath.c_str());
  EXPECT_NE(archive, nullptr) << archivePath;
  if (!archive) return {};
  std::vector<FileListEntry> rows(ARCHIVE_LIST_ROWS);
  FileList list;
  list.rows = rows.data();
  BuildArchiveList(&list, archive, prefix, ARCHIVE_LIST_ROWS);
  ArchiveClose(archive);
  rows.resize(size_t(list.count));
  std::vector<std::string> names;
  for (const FileListEntry& row : rows) names.push_back(row.name);
  if (out) *out = rows;
  return names;
}

using Names = std::vector<std::string>;

TEST_F(FileDialogTest, ArchiveListsShowOneFolderLevel) {
  EXPECT_EQ(ArchiveRows(FIXTURES + "deep.zip", ""), Names({"<..>"})) << "no top-level folder row";
  EXPECT_EQ(ArchiveRows(FIXTURES + "deep.zip", "a/"), Names({"<..>", "b/"}));
  EXPECT_EQ(ArchiveRows(FIXTURES + "deep.zip", "a/b/"), Names({"<..>", "c.txt"}));
  EXPECT_EQ(ArchiveRows(FIXTURES + "folder.zip", ""), Names({"<..>", "a/"})) << "the row once";
  EXPECT_EQ(ArchiveRows(FIXTURES + "folder.zip", "a/"), Names({"<..>", "x.txt"}));
  std::vector<FileListEntry> rows;
  EXPECT_EQ(ArchiveRows(FIXTURES + "nested.zip", "", &rows),
            Names({"<..>", "docs/", "Book.HTM", "readme.txt", "picture.png"}));
  EXPECT_EQ(rows[1].type, ENTRY_FOLDER);
  EXPECT_EQ(rows[2].type, ENTRY_DOCUMENT);
  EXPECT_EQ(rows[2].index, 1);
  EXPECT_EQ(rows[3].index, 0);
  EXPECT_EQ(rows[4].type, ENTRY_OTHER);
  EXPECT_EQ(ArchiveRows(FIXTURES + "nested.zip", "docs/", &rows),
            Names({"<..>", "inner/", "guide.txt", "data.bin"}));
  EXPECT_EQ(rows[2].index, 7);
  EXPECT_EQ(ArchiveRows(FIXTURES + "nested.zip", "docs/inner/", &rows), Names({"<..>", "deep.txt"}));
  EXPECT_EQ(rows[1].index, 6);
}

TEST_F(FileDialogTest, ArchiveListStopsAt384Rows) {
  std::vector<FileListEntry> rows;
  const Names names = ArchiveRows(FIXTURES + "many.zip", "", &rows);
  ASSERT_EQ(names.size(), 384u);
  EXPECT_EQ(names[1], "n000.txt");
  EXPECT_EQ(names[383], "n382.txt") << "the entries after the 383rd are not shown";
  EXPECT_EQ(rows[383].index, 382);
}

TEST_F(FileDialogTest, LongEntryNamesAreShortenedForTheRow) {
  std::vector<FileListEntry> rows;
  const Names names = ArchiveRows(FIXTURES + "long.zip", "", &rows);
  ASSERT_EQ(names.size(), 3u);
  const std::string shown = std::string(243, 'H') + "...me.txt";
  EXPECT_EQ(names[1], shown) << "the head and the real end of a 301-byte name";
  EXPECT_EQ(rows[1].type, ENTRY_DOCUMENT) << "its extension survives";
  EXPECT_EQ(rows[1].index, 0);
  EXPECT_EQ(rows[2].index, 1);
  EXPECT_EQ(names[2], "a-chapter-with-a-name-longer-than-the-record-keeps-1234.txt");
}

TEST_F(FileDialogTest, BrowsingAnArchiveOpensAnEntryInAFolder) {
  CopyFixture("nested.zip", "nested.zip");
  Touch("zz.txt");
  snprintf(g_settings.folderPath, sizeof g_settings.folderPath, "%s/", dir_.c_str());
  const int zipRow = RowOf(dir_ + "/", "nested.zip");
  std::vector<std::pair<int, int>> keys;
  Choose(&keys, zipRow);
  Choose(&keys, 1);  // docs/
  Choose(&keys, 1);  // inner/
  Choose(&keys, 0);  // <..> back to docs/
  Choose(&keys, 2);  // guide.txt
  EXPECT_EQ(RunDialog(keys), 1);
  EXPECT_STREQ(g_currentEntry.path, (dir_ + "/nested.zip").c_str());
  EXPECT_STREQ(g_currentEntry.entryName, "guide.txt");
  EXPECT_EQ(g_currentEntry.entryIndex, 7);
  EXPECT_EQ(g_currentEntry.position, 0);
  EXPECT_STREQ(g_text->name, "guide.txt");
  EXPECT_EQ(std::string(g_text->text).substr(0, 12), "A short note");
  EXPECT_EQ(g_fileDialogPosition.selected, zipRow);
  ASSERT_EQ(recent_->count, 1);
  EXPECT_EQ(recent_->rows[0].entryIndex, 7);
}

TEST_F(FileDialogTest, LeavingAnArchiveKeepsTheFolderListsPlace) {
  CopyFixture("nested.zip", "nested.zip");
  Touch("zz.txt");
  snprintf(g_settings.folderPath, sizeof g_settings.folderPath, "%s/", dir_.c_str());
  const int zipRow = RowOf(dir_ + "/", "nested.zip");
  std::vector<std::pair<int, int>> keys;
  Choose(&keys, zipRow);
  Choose(&keys, 4);  // picture.png: greyed, the list starts again at its top
  Choose(&keys, 0);  // so this is <..>: back to the folder list
  keys.push_back({KEY_CANCEL, 1});
  EXPECT_EQ(RunDialog(keys), 1);
  EXPECT_EQ(g_fileDialogPosition.selected, zipRow) << "the folder list kept its row";
  EXPECT_STREQ(g_currentEntry.path, "");
  // CANCEL in the archive also returns to the folder list.
  keys.clear();
  keys.push_back({KEY_ACCEPT, 1});
  keys.push_back({KEY_CANCEL, 1});
  keys.push_back({KEY_UP, 1});
  keys.push_back({KEY_CANCEL, 1});
  EXPECT_EQ(RunDialog(keys), 1);
  EXPECT_EQ(g_fileDialogPosition.selected, zipRow > 0 ? zipRow - 1 : 0);
}

TEST_F(FileDialogTest, FileThatIsNoArchiveIsNotOpened) {
  Touch("fake.zip", "This is no archive at all, only text with a zip name.\n");
  snprintf(g_settings.folderPath, sizeof g_settings.folderPath, "%s/", dir_.c_str());
  const int row = RowOf(dir_ + "/", "fake.zip");
  std::vector<std::pair<int, int>> keys;
  Choose(&keys, row);
  keys.push_back({KEY_CANCEL, 1});
  EXPECT_EQ(RunDialog(keys), 1);
  EXPECT_EQ(g_fileDialogPosition.selected, row);
  EXPECT_STREQ(g_currentEntry.path, "");
}

TEST_F(FileDialogTest, EntryErrorsAreShownAndLeaveTheDocument) {
  ZipArchive* archive = ArchiveOpen((FIXTURES + "broken.zip").c_str());
  ASSERT_NE(archive, nullptr);
  // Damaged deflate data: the read fails and is never taken for a length.
  GpSetKeyScript({{KEY_ACCEPT, 1}});
  EXPECT_EQ(OpenArchiveEntry(archive, 0), 0);
  EXPECT_EQ(GpKeyScriptPolls(), 1u) << "the box waited for a key";
  EXPECT_STREQ(g_text->text, "The page before the dialog.");
  // An index past the last entry.
  GpSetKeyScript({{KEY_ACCEPT, 1}});
  EXPECT_EQ(OpenArchiveEntry(archive, 5), 0);
  EXPECT_EQ(GpKeyScriptPolls(), 1u);
  GpSetKeyScript({{KEY_ACCEPT, 1}});
  EXPECT_EQ(OpenArchiveEntry(archive, -2), 0);
  ArchiveClose(archive);
  EXPECT_STREQ(g_text->text, "The page before the dialog.");

  // A CRC that does not match: the text read is shown, and the reader is told.
  archive = ArchiveOpen((std::string(QUILLO_SOURCE_DIR) + "/tests/data/corpus/zip/broken.zip").c_str());
  ASSERT_NE(archive, nullptr);
  GpSetKeyScript({});
  EXPECT_EQ(OpenArchiveEntry(archive, 0), 1);
  EXPECT_EQ(GpKeyScriptPolls(), 0u) << "a sound entry opens without a box";
  const std::string sound = g_text->text;
  GpSetKeyScript({{KEY_ACCEPT, 1}});
  EXPECT_EQ(OpenArchiveEntry(archive, 1), 1);
  EXPECT_EQ(GpKeyScriptPolls(), 1u) << "the box waited for a key";
  EXPECT_EQ(std::strlen(g_text->text), sound.size()) << "what was read is on screen";
  ArchiveClose(archive);
}

TEST_F(FileDialogTest, LongEntryNameIsCutForTheRecordAndFoundByIndex) {
  CopyFixture("long.zip", "long.zip");
  snprintf(g_settings.folderPath, sizeof g_settings.folderPath, "%s/", dir_.c_str());
  std::vector<std::pair<int, int>> keys;
  Choose(&keys, RowOf(dir_ + "/", "long.zip"));
  Choose(&keys, 2);
  EXPECT_EQ(RunDialog(keys), 1);
  EXPECT_EQ(g_currentEntry.entryIndex, 1);
  EXPECT_EQ(std::string(g_currentEntry.entryName), std::string("a-chapter-with-a-name-longer-than-the-record-keeps-1234.txt").substr(0, 43));
  EXPECT_STREQ(g_text->name, "a-chapter-with-a-name-longer-than-the-record-keeps-1234.txt");
  // Reopened from the record, at a stored position.
  LoadFromMemory(g_text, strdup("Something else."));
  const RecentEntry recorded = g_currentEntry;
  EXPECT_EQ(OpenRecordedDocument(recorded.path, recorded.entryName, recorded.entryIndex, 33), 1);
  EXPECT_EQ(std::string(g_text->text).substr(0, 12), "A short note");
  EXPECT_EQ(g_currentEntry.position, 33);
  EXPECT_EQ(g_currentEntry.entryIndex, 1);
}

TEST_F(FileDialogTest, OpenRecordedDocumentRecordsThePlaceLeft) {
  Touch("one.txt", "First book.\n");
  Touch("two.txt", "Second book.\n");
  const std::string one = dir_ + "/one.txt", two = dir_ + "/two.txt";
  EXPECT_EQ(OpenRecordedDocument("", "", -1, 5), 0) << "an empty path does nothing";
  EXPECT_EQ(OpenRecordedDocument(one.c_str(), "", -1, 120), 1);
  EXPECT_STREQ(g_currentEntry.path, one.c_str());
  EXPECT_EQ(g_currentEntry.position, 120);
  EXPECT_EQ(recent_->count, 0) << "the introduction was left";
  g_currentEntry.position = 150;
  EXPECT_EQ(OpenRecordedDocument(two.c_str(), "", -1, 0), 1);
  ASSERT_EQ(recent_->count, 1);
  EXPECT_STREQ(recent_->rows[0].path, one.c_str());
  EXPECT_EQ(recent_->rows[0].position, 150);
  EXPECT_EQ(std::string(g_text->text), "Second book.\n");
  // A file that is gone: "File not found", and the document stays.
  GpSetKeyScript({{KEY_ACCEPT, 1}});
  EXPECT_EQ(OpenRecordedDocument((dir_ + "/gone.txt").c_str(), "", -1, 0), 0);
  EXPECT_STREQ(g_currentEntry.path, two.c_str());
  EXPECT_EQ(OpenRecordedDocument((dir_ + "/gone.zip").c_str(), "x.txt", 0, 0), 0);
}

TEST_F(FileDialogTest, LoadingBoxIsShownWithoutWaiting) {
  // Spanish: "Cargando...", "Fichero: /books/a.txt", "Tama\xF1o: 2 kb" (a
  // 1024-byte file), the card's mount folder cut from the path.
  g_settings.language = 1;
  ClearBuffer(g_video->BackBuffer(), 0x8410);
  ClearBuffer(g_video->FrontBuffer(), 0x8410);
  const uint32_t shows = GpShowCount();
  ShowLoadingBox("/mnt/sd/books/a.txt", 1024);
  EXPECT_EQ(GpShowCount(), shows + 1);
  // The box is on the screen only (neither buffer keeps it).
  ExpectGoldenFrame("filelist", "loading-box-es", ScreenFrame().data());
}

}  // namespace
