// The file dialog over real temporary folders and the archives of
// tests/data/files (made by scripts/make-fixtures-files.sh): folder rows and
// their order, moving between folders, archive lists at every level, opening
// documents and entries, and the failures the user is told about.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <dirent.h>

#include <cstring>
#include <fstream>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "document/render.h"
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
#include "ui/menu.h"
#include "ui/recent_menu.h"
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
    std::unique_ptr<char[]> names;
    int stored = 0;
    EXPECT_EQ(ListFolder(folder.c_str(), &names, &stored), FAT_OK);
    FileList list;
    BuildFolderList(&list, folder.c_str(), names.get(), stored);
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
      for (const auto& k : keys) n += k.first == KEY_SCRIPT_SHOT ? 0 : uint32_t(k.second);
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
  // A FIFO with a document's name would hold the reader for ever if opened.
  ASSERT_EQ(mkfifo((dir_ + "/pipe.txt").c_str(), 0644), 0);
  const std::vector<FileListEntry> rows = Rows(dir_ + "/");
  ASSERT_EQ(rows.size(), 12u) << "\".\" is left out";
  std::vector<std::string> shown;
  for (const FileListEntry& row : rows) shown.push_back(row.name);
  const std::vector<std::string> expected = {"<..>",      "<Books>",   "<x.zip>",   "book.Zip",
                                             "letter.rtf", "notes.TXT", "page.html", "paper.pdf",
                                             "story.pdb", "photo.jpg", "pipe.txt",  "README"};
  EXPECT_EQ(shown, expected);
  for (const FileListEntry& row : rows) {
    const std::string name = row.name;
    const int32_t type = name == "<..>" ? ENTRY_PARENT
                         : name[0] == '<' ? ENTRY_FOLDER
                         : name == "README" || name == "photo.jpg" || name == "pipe.txt" ? ENTRY_OTHER
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

TEST_F(FileDialogTest, ListsEveryNameOfALargeFolder) {
  // Far more than one screen or the old 128-name listing: every name, sorted.
  for (int i = 0; i < 600; ++i) Touch((i % 2 ? "F" : "f") + std::to_string(1000 + i) + ".txt");
  const std::vector<FileListEntry> rows = Rows(dir_ + "/");
  ASSERT_EQ(rows.size(), 601u);
  EXPECT_STREQ(rows[0].name, "<..>");
  for (int i = 0; i < 600; ++i) {
    ASSERT_EQ(std::string(rows[size_t(i) + 1].name).substr(1), std::to_string(1000 + i) + ".txt") << i;
  }
  snprintf(g_settings.folderPath, sizeof g_settings.folderPath, "%s/", dir_.c_str());
  testing::internal::CaptureStdout();
  g_fileDialogPosition = {0, 590};
  EXPECT_EQ(RunDialog({{KEY_RIGHT, 2}, {KEY_ACCEPT, 1}}), 1);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("Filedialog " + dir_ + "/: 602 entries\n"), std::string::npos) << out;
  EXPECT_STREQ(g_currentEntry.path, (dir_ + "/F1599.txt").c_str()) << "the last name can be reached";
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
  Choose(&keys, RowOf(books + "more/", "<..>"));  // back up: <more> is selected
  const int target = RowOf(books, "p20.txt");
  Choose(&keys, target - RowOf(books, "<more>"));
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
  // Opening the same file again records the place that was left, and opens
  // it there.
  ASSERT_EQ(recent_->count, 1);
  EXPECT_EQ(recent_->rows[0].position, 77);
  EXPECT_EQ(g_currentEntry.position, 77);
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
  keys.push_back({KEY_ACCEPT, 1});  // "This file is empty"
  keys.push_back({KEY_CANCEL, 1});
  EXPECT_EQ(RunDialog(keys), 1);
  EXPECT_STREQ(g_currentEntry.path, "") << "an empty file is not opened";
  EXPECT_EQ(recent_->count, 0);
  // A file that went away: "File not found", closed by a key.
  GpSetKeyScript({{KEY_ACCEPT, 2}});
  EXPECT_EQ(CheckDocumentFile((dir_ + "/gone.txt").c_str()), 0);
  EXPECT_EQ(GpKeyScriptPolls(), 1u);
  EXPECT_EQ(CheckDocumentFile((dir_ + "/empty.txt").c_str()), 0);
  EXPECT_EQ(GpKeyScriptPolls(), 2u);
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

TEST_F(FileDialogTest, ArchiveListHoldsEveryEntry) {
  std::vector<FileListEntry> rows;
  const Names names = ArchiveRows(FIXTURES + "many.zip", "", &rows);
  ASSERT_EQ(names.size(), 401u) << "400 entries and the parent row";
  EXPECT_EQ(names[1], "n000.txt");
  EXPECT_EQ(names[400], "n399.txt");
  EXPECT_EQ(rows[400].index, 399);
}

TEST_F(FileDialogTest, LongEntryNamesAreShortenedForTheRow) {
  std::vector<FileListEntry> rows;
  const Names names = ArchiveRows(FIXTURES + "long.zip", "", &rows);
  ASSERT_EQ(names.size(), 3u);
  const std::string shown = std::string(243, 'H') + "...me.txt";
  EXPECT_EQ(names[2], shown) << "the head and the real end of a 301-byte name";
  EXPECT_EQ(rows[2].type, ENTRY_DOCUMENT) << "its extension survives";
  EXPECT_EQ(rows[2].index, 0);
  EXPECT_EQ(rows[1].index, 1);
  EXPECT_EQ(names[1], "a-chapter-with-a-name-longer-than-the-record-keeps-1234.txt");
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
  Choose(&keys, 0);  // <..> back to docs/, where inner/ is selected
  Choose(&keys, 1);  // guide.txt
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
  keys.push_back({KEY_ACCEPT, 1});  // the archive message
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
  // Its stored entries are random bytes, so plain text cut at the first NUL:
  // the sound one says that alone, the damaged one its CRC as well.
  GpSetKeyScript({{KEY_ACCEPT, 1}});
  EXPECT_EQ(OpenArchiveEntry(archive, 0), 1);
  EXPECT_EQ(GpKeyScriptPolls(), 1u) << "the text is cut at its first NUL";
  const std::string sound = g_text->text;
  GpSetKeyScript({{KEY_ACCEPT, 1}, {KEY_ACCEPT, 1}});
  EXPECT_EQ(OpenArchiveEntry(archive, 1), 1);
  EXPECT_EQ(GpKeyScriptPolls(), 2u) << "each box waited for a key";
  EXPECT_EQ(std::strlen(g_text->text), sound.size()) << "what was read is on screen";
  ArchiveClose(archive);
}

TEST_F(FileDialogTest, LongEntryNameIsCutForTheRecordAndFoundByIndex) {
  CopyFixture("long.zip", "long.zip");
  snprintf(g_settings.folderPath, sizeof g_settings.folderPath, "%s/", dir_.c_str());
  std::vector<std::pair<int, int>> keys;
  Choose(&keys, RowOf(dir_ + "/", "long.zip"));
  Choose(&keys, 1);
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
  GpSetKeyScript({{KEY_ACCEPT, 2}});
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

// Names in UTF-8 (accents, curly quotes, a character outside the code page)
// and in Latin-1: shown converted and sorted as shown, opened and recorded by
// their own bytes.
TEST_F(FileDialogTest, Utf8NamesAreShownConvertedAndOpenedByTheirBytes) {
  // Deep enough that the dialog's title shows the path by its end.
  Folder("a folder whose name is long enough");
  const std::string spanish = "a folder whose name is long enough/Espa\xC3\xB1ol";
  const std::string cafe = "Caf\xC3\xA9 \xE2\x80\x9Cnoir\xE2\x80\x9D \xE4\xB8\xAD.txt";
  Folder(spanish);
  Touch(spanish + "/" + cafe, "Un caf\xE9.\n");
  Touch(spanish + "/Se\xF1or.txt", "Latin-1.\n");
  Touch(spanish + "/zeta.txt");
  Touch(spanish + "/\xC3\x81rbol.txt");
  CopyFixture("../names/infozip.zip", spanish + "/infozip.zip");
  std::vector<std::string> shown;
  for (const FileListEntry& row : Rows(dir_ + "/" + spanish + "/")) {
    char text[FILE_LIST_NAME_SIZE];
    ShownRowName(row, text, sizeof text);
    shown.push_back(text);
  }
  EXPECT_EQ(shown, Names({"<..>", "\xC1rbol.txt", "Caf\xE9 \x93noir\x94 ?.txt", "infozip.zip", "Se\xF1or.txt",
                          "zeta.txt"}));
  const std::string above = dir_ + "/a folder whose name is long enough/";
  ASSERT_EQ(RowOf(above, "<Espa\xC3\xB1ol>"), 1) << "the row keeps the folder's bytes";

  // Walked into and opened through the dialog: the bytes are the path.
  snprintf(g_settings.folderPath, sizeof g_settings.folderPath, "%s", above.c_str());
  std::vector<std::pair<int, int>> keys;
  Choose(&keys, 1);
  keys.push_back({KEY_DOWN, 2});
  keys.push_back({KEY_SCRIPT_SHOT, 1});
  keys.push_back({KEY_ACCEPT, 1});
  ClearBuffer(g_video->BackBuffer(), 0x8410);
  ClearBuffer(g_video->FrontBuffer(), 0x8410);
  EXPECT_EQ(RunDialog(keys), 1);
  ASSERT_EQ(GpScriptShotCount(), 1u);
  ExpectGoldenFrame("filelist", "folder-list-utf8", GpScriptShot(0).data());
  const std::string path = dir_ + "/" + spanish + "/" + cafe;
  EXPECT_STREQ(g_currentEntry.path, path.c_str());
  EXPECT_STREQ(g_text->text, "Un caf\xE9.\n");
  ClearBuffer(g_video->FrontBuffer(), 0x8410);
  ScrollText(0, 0, g_video->BackBuffer(), true);
  ExpectGoldenFrame("filelist", "title-bar-utf8", GpLastShown());
  // Reopened from the recent-files list after another book.
  EXPECT_EQ(OpenRecordedDocument((dir_ + "/" + spanish + "/Se\xF1or.txt").c_str(), "", -1, 0), 1);
  ASSERT_EQ(recent_->count, 1);
  EXPECT_STREQ(recent_->rows[0].path, path.c_str());
  const RecentEntry recorded = recent_->rows[0];
  EXPECT_EQ(OpenRecordedDocument(recorded.path, recorded.entryName, recorded.entryIndex, 0), 1);
  EXPECT_STREQ(g_text->text, "Un caf\xE9.\n");

  // An archive's UTF-8 entry, opened through the dialog and reopened.
  g_fileDialogPosition = {0, 0};
  keys.clear();
  Choose(&keys, 3);  // infozip.zip
  Choose(&keys, 1);  // Espa\xF1ol/
  Choose(&keys, 1);  // Canci\xF3n.txt
  EXPECT_EQ(RunDialog(keys), 1);
  EXPECT_STREQ(g_currentEntry.entryName, "Canci\xC3\xB3n.txt");
  EXPECT_STREQ(g_text->text, "Una canci\xF3n.\n");
  const RecentEntry entry = g_currentEntry;
  EXPECT_EQ(OpenRecordedDocument((dir_ + "/" + spanish + "/zeta.txt").c_str(), "", -1, 0), 1);
  EXPECT_EQ(OpenRecordedDocument(entry.path, entry.entryName, entry.entryIndex, 0), 1);
  EXPECT_STREQ(g_text->text, "Una canci\xF3n.\n");
}

TEST_F(FileDialogTest, ArchiveNamesFollowTheUtf8Flag) {
  const struct {
    const char* archive;
    const char* prefix;
    std::vector<std::string> shown;
  } cases[] = {
      {"infozip.zip", "", {"<..>", "Espa\xF1ol/", "\xC1rbol.txt", "The end.txt", "zeta.txt"}},
      {"infozip.zip", "Espa\xC3\xB1ol/", {"<..>", "Canci\xF3n.txt"}},
      {"flagged.zip", "", {"<..>", "Espa\xF1ol/", "bad-??.txt", "Se\xF1or.txt"}},
      {"flagged.zip", "Espa\xC3\xB1ol/", {"<..>", "Caf\xE9 \x93noir\x94 ?.txt"}},
  };
  for (const auto& c : cases) {
    std::vector<FileListEntry> rows;
    ArchiveRows(std::string(QUILLO_SOURCE_DIR) + "/tests/data/names/" + c.archive, c.prefix, &rows);
    std::vector<std::string> shown;
    for (const FileListEntry& row : rows) {
      char text[FILE_LIST_NAME_SIZE];
      ShownRowName(row, text, sizeof text);
      shown.push_back(text);
      EXPECT_NE(EntryKind(row.type), ENTRY_OTHER) << text;
    }
    EXPECT_EQ(shown, c.shown) << c.archive << " " << c.prefix;
  }
}

TEST_F(FileDialogTest, FifosAndEmptyArchivesAreNeverOpened) {
  ASSERT_EQ(mkfifo((dir_ + "/pipe.txt").c_str(), 0644), 0);
  ASSERT_EQ(mkfifo((dir_ + "/pipe.zip").c_str(), 0644), 0);
  CopyFixture("../names/empty.zip", "empty.zip");
  CopyFixture("../names/empty-comment.zip", "empty-comment.zip");
  snprintf(g_settings.folderPath, sizeof g_settings.folderPath, "%s/", dir_.c_str());
  // Rows: <..>, empty-comment.zip, empty.zip, pipe.txt, pipe.zip. Each empty
  // archive says so (a key closes the box) and the list stays where it was;
  // the FIFOs are greyed and choosing them does nothing.
  const int emptyRow = RowOf(dir_ + "/", "empty.zip");
  EXPECT_EQ(RunDialog({{KEY_DOWN, 1}, {KEY_ACCEPT, 1}, {KEY_ACCEPT, 1}, {KEY_DOWN, 1}, {KEY_ACCEPT, 1},
                       {KEY_ACCEPT, 1}, {KEY_DOWN, 1}, {KEY_ACCEPT, 1}, {KEY_DOWN, 1}, {KEY_ACCEPT, 1},
                       {KEY_CANCEL, 1}}),
            1);
  EXPECT_EQ(emptyRow, 2);
  EXPECT_EQ(g_fileDialogPosition.selected, 4);
  EXPECT_STREQ(g_currentEntry.path, "");
  // From the recent-files list: "File not found" (one key), never a wait.
  for (const auto& [name, index] : {std::pair<const char*, int32_t>{"pipe.txt", -1}, {"pipe.zip", 0}}) {
    GpSetKeyScript({{KEY_ACCEPT, 1}});
    EXPECT_EQ(OpenRecordedDocument((dir_ + "/" + name).c_str(), "x.txt", index, 0), 0) << name;
    EXPECT_EQ(GpKeyScriptPolls(), 1u) << name;
    EXPECT_STREQ(g_text->text, "The page before the dialog.");
  }
}

// More rows than the chooser shows scroll into view; two rows of one name
// show their folders.
TEST_F(FileDialogTest, RecentChooserScrollsAndTellsTwinsApart) {
  // Paths of no real file: the chooser only shows them.
  for (int i = 0; i < 6; ++i) recent_->Add(("/mnt/sd/ebooks/book" + std::to_string(i) + ".txt").c_str(), "", -1, 0);
  recent_->Add("/mnt/sd/ebooks/novels/old/novel.txt", "", -1, 0);
  recent_->Add("/mnt/sd/ebooks/novels/a folder with a rather long name/novel.txt", "", -1, 0);
  ClearBuffer(g_video->BackBuffer(), 0x8410);
  ClearBuffer(g_video->FrontBuffer(), 0x8410);
  GpSetKeyScript({{KEY_CANCEL, 1}});
  EXPECT_EQ(ShowRecentMenu(recent_, true), -1);
  ExpectGoldenFrame("filelist", "recent-menu-twins", GpLastShown());
  // Nine rows: the last, "Open another file...", is reached and opens the dialog.
  GpSetKeyScript({{KEY_DOWN, 8}, {KEY_CANCEL, 1}});
  EXPECT_EQ(ShowRecentMenu(recent_, true), -1);
  ExpectGoldenFrame("filelist", "recent-menu-scrolled", GpLastShown());
  snprintf(g_settings.folderPath, sizeof g_settings.folderPath, "%s/", dir_.c_str());
  GpSetKeyScript({{KEY_DOWN, 8}, {KEY_ACCEPT, 1}, {KEY_CANCEL, 1}});
  EXPECT_EQ(ShowRecentMenu(recent_, true), 1);
  EXPECT_EQ(GpKeyScriptPolls(), 10u);
  // Twins that are real files: the chosen one opens.
  for (const char* folder : {"a", "b"}) {
    Folder(folder);
    Touch(std::string(folder) + "/novel.txt", std::string("Novel in ") + folder + ".\n");
    recent_->Add((dir_ + "/" + folder + "/novel.txt").c_str(), "", -1, 0);
  }
  GpSetKeyScript({{KEY_DOWN, 1}, {KEY_ACCEPT, 1}});
  EXPECT_EQ(ShowRecentMenu(recent_, true), 1);
  EXPECT_STREQ(g_text->text, "Novel in a.\n");
}

// The Info box's name: converted, shown by its end, and kept off the box's
// border (the body's text ends at x 254, the border is at 259).
TEST_F(FileDialogTest, InfoBoxShowsTheNameConvertedAndByItsEnd) {
  snprintf(g_text->name, sizeof g_text->name, "%s",
           "/mnt/sd/a folder with a long name/Espa\xC3\xB1ol/WWWWWWWWWWWW Caf\xC3\xA9.txt");
  refresh_text(true);
  SetMenuRememberedEntry(0);
  GpSetKeyScript({{KEY_DOWN, 2}, {KEY_ACCEPT, 1}, {KEY_SCRIPT_SHOT, 1}, {KEY_UP, 1}});
  EXPECT_EQ(RunMenu(), CMD_INFO);
  ASSERT_EQ(GpScriptShotCount(), 1u);
  const std::vector<uint16_t>& frame = GpScriptShot(0);
  int nearBorder = 0;
  for (int x = 255; x < 259; ++x) {
    // The rows of the body (the box is 84 pixels high, centred), not the white page.
    for (int y = 100; y < 155; ++y) nearBorder += frame[size_t(PixelIndex(x, y))] == 0xFFFF;
  }
  EXPECT_EQ(nearBorder, 0);
  ExpectGoldenFrame("filelist", "info-box-utf8", frame.data());
}

// Every script finds the build inside the clone: no default build folder is
// an absolute path, which would point outside a fresh clone (temporary and
// system folders may be).
TEST(Scripts, DefaultToTheClonesOwnBuildFolder) {
  const std::string folder = std::string(QUILLO_SOURCE_DIR) + "/scripts/";
  DIR* dir = opendir(folder.c_str());
  ASSERT_NE(dir, nullptr);
  int scripts = 0;
  const std::regex buildDefault("(BUILD|build)[A-Za-z_]*=\"?\\$\\{[A-Za-z0-9_]+:-/");
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name.size() < 4 || name.substr(name.size() - 3) != ".sh") continue;
    ++scripts;
    std::ifstream in(folder + name);
    std::string line;
    while (std::getline(in, line)) {
      if (std::regex_search(line, buildDefault)) ADD_FAILURE() << name << ": " << line;
    }
  }
  closedir(dir);
  EXPECT_GT(scripts, 10);
}

}  // namespace
