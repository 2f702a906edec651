// FictionBook books: calibre's book and its .fb2.zip and the hand-made cases
// of tests/data/fb2 (made by scripts/make-fixtures-fb2.sh) through the loader,
// golden texts, word recall, sections on new pages, titles and faces, the
// declared encodings, broken and cut books, the text limit, and the file
// dialog's rows and recent files for a book.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "document/dump.h"
#include "document/encoding.h"
#include "document/layout.h"
#include "document/render.h"
#include "document/text.h"
#include "book_text.h"
#include "harness.h"
#include "importers/fb2.h"
#include "importers/load.h"
#include "platform/files.h"
#include "platform/font.h"
#include "platform/keys.h"
#include "platform/recent.h"
#include "platform/settings.h"
#include "platform/video.h"
#include "ui/filedialog.h"
#include "ui/filelist.h"
#include "zip/archive.h"
#include "zip/archive_load.h"

namespace {

const std::string kData = std::string(QUILLO_SOURCE_DIR) + "/tests/data/fb2/";
const char kPageBreak[] = {'\n', 1, 'P', '\n', 0};
const char kTitle[] = "Crossings \x97 \x93Tales of the Estuary\x94";

using Fb2Test = BookTest;

// The source's words in code page 1252, without the markdown marks.
std::string SourceWords() {
  std::string plain;
  for (char c : ReadTestFile(kData + "src/book.md")) {
    if (c != '#' && c != '*') plain += c;
  }
  std::vector<char> buffer(plain.begin(), plain.end());
  buffer.push_back(0);
  EncodingGuess guess;
  guess.encoding = ENCODING_UTF8;
  return std::string(buffer.data(), size_t(ConvertToCp1252(buffer.data(), int32_t(plain.size()), guess)));
}

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// Converts exactly the string's bytes (a malloc'd copy without terminator, so
// that a read past them is caught by the sanitizers).
int Convert(const std::string& xml, Fb2Book* book) {
  char* copy = static_cast<char*>(std::malloc(xml.size() ? xml.size() : 1));
  std::memcpy(copy, xml.data(), xml.size());
  const int result = ConvertFb2(copy, xml.size(), book);
  std::free(copy);
  return result;
}

std::string Book(const std::string& declaration, const std::string& body) {
  return declaration + "<FictionBook><description><title-info><book-title>T</book-title></title-info>"
                       "</description><body><section><p>" + body + "</p></section></body></FictionBook>";
}

}  // namespace

TEST_F(Fb2Test, CalibreBookAndItsZipGiveTheWordsSectionsTitleAndFaces) {
  const std::string source = SourceWords();
  ASSERT_GT(source.size(), 3000u);
  const char* headings[] = {"The Ferryman's First Crossing", "The Caf\xE9 on the Quay",
                            "The School Above the Harbour", "The Last Ferry of the Year"};
  for (const char* name : {"calibre.fb2", "calibre.fb2.zip", "calibre.fb2.zip#calibre.fb2"}) {
    SCOPED_TRACE(name);
    Before();
    std::string messages;
    ASSERT_EQ(Load(kData + name, &messages), 1) << messages;
    const std::string text = Text();
    EXPECT_GE(WordRecall(source, text), 0.995);
    if (std::strcmp(name, "calibre.fb2") == 0) ExpectGoldenText(kData + "calibre", text);
    // Each section on a page of its own (none before the first), its title
    // first, on its own lines, centred, bold and larger.
    EXPECT_EQ(Count(text, kPageBreak), 3u);
    size_t from = 0;
    for (const char* heading : headings) {
      const size_t at = text.find(std::string("\x01" "c\x01" "B\x01" "F4") + heading + "\x01" "b\x01" "F1\n\n", from);
      ASSERT_NE(at, std::string::npos) << heading;
      EXPECT_TRUE(from == 0 ? at == 0 : text.compare(at - 4, 4, kPageBreak) == 0) << heading;
      from = at + 1;
    }
    EXPECT_NE(text.find("village of \x01ISanta Marina\x01i waited"), std::string::npos);
    EXPECT_NE(text.find("took \x01" "Beleven minutes\x01" "b, which"), std::string::npos);
    EXPECT_NE(text.find("\x93Mind the third step,\x94"), std::string::npos);
    EXPECT_EQ(text.find("iVBOR"), std::string::npos) << "the cover picture";
    EXPECT_STREQ(g_text->name, kTitle);
    int breaks = 0;
    for (int32_t line = NextPageBreak(g_text, 0); line >= 0 && breaks < 10; line = NextPageBreak(g_text, line)) ++breaks;
    EXPECT_EQ(breaks, 3);
  }
}

TEST_F(Fb2Test, PoemsEpigraphsNestedSectionsAndNotesLast) {
  ASSERT_EQ(Load(kData + "poem.fb2"), 1);
  const std::string text = Text();
  ExpectGoldenText(kData + "poem", text);
  // The notes body comes first in the file but is read last, on its own page.
  const size_t two = text.find("Mixed \x01" "Bbold \x01" "Iand italic\x01" "b\x01" "i end.");
  const size_t notes = text.find("\x01" "c\x01" "B\x01" "F4Notes");
  ASSERT_NE(two, std::string::npos);
  ASSERT_NE(notes, std::string::npos);
  EXPECT_LT(two, notes);
  EXPECT_EQ(text.compare(notes - 4, 4, kPageBreak), 0);
  EXPECT_EQ(Count(text, kPageBreak), 3u);
  // Verses and their stanzas stay as lines; a blank line stands for empty-line.
  EXPECT_NE(text.find("The boats lie down\non their \x01Isides\x01i in the mud,\n\nand wait.\n"), std::string::npos);
  EXPECT_NE(text.find("1999\n\n\nAfter a blank line."), std::string::npos);
  // The first title-info's title, blanks collapsed; the description is no text.
  EXPECT_STREQ(g_text->name, "Songs of the Tide");
  EXPECT_EQ(text.find("Not part of the text"), std::string::npos);
}

TEST_F(Fb2Test, DeclaredSingleByteEncodings) {
  ASSERT_EQ(Load(kData + "cp1252.fb2"), 1);
  EXPECT_NE(Text().find("Ni\xF1o, coraz\xF3n, fa\xE7" "ade, \xDC" "bermut \x96 \x93" "comillas\x94 y \x91simples\x92\x85 5 \x80."),
            std::string::npos);
  EXPECT_STREQ(g_text->name, "Canci\xF3n del \x93" "Faro\x94");
  ASSERT_EQ(Load(kData + "cp1251.fb2"), 1);
  EXPECT_NE(Text().find("Latin words \xABstay\xBB \x97 and Cyrillic ones become marks: ????."), std::string::npos);
  EXPECT_NE(Text().find("Number No 5, euro \x80, and \x01I??????\x01i."), std::string::npos);
  EXPECT_STREQ(g_text->name, "???? \x97 Sea");

  struct Case {
    const char* declaration;
    std::string body;  // the paragraph's bytes in that encoding
    const char* shown;
  } cases[] = {
      {"<?xml version=\"1.0\" encoding=\"KOI8-R\"?>", "\xC1\xC2 caf\xA3", "?? caf?"},
      // Books declared ISO-8859-1 are often code page 1252: their quotes stay.
      {"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>", "\x93" "caf\xE9\x94 \x81", "\x93" "caf\xE9\x94 ?"},
      {"<?xml version=\"1.0\" encoding=\"latin1\"?>", "\x80 \xFF", "\x80 \xFF"},
      {"<?xml version=\"1.0\" encoding=\"UTF-8\"?>", "\xE2\x80\x9C\xC3\xA9\xE2\x80\x9D \xE2\x88\x92 \xE4\xB8\xAD",
       "\x93\xE9\x94 - ?"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.declaration);
    Fb2Book book;
    ASSERT_EQ(Convert(Book(c.declaration, c.body), &book), FB2_OK);
    EXPECT_STREQ(book.text, c.shown);
    std::free(book.text);
  }
  // UTF-16 either way round, found by its byte order mark (every byte of the
  // Latin-1 text below is its own code unit).
  const std::string xml = Book("<?xml version=\"1.0\" encoding=\"UTF-16\"?>", "caf\xE9");
  for (bool little : {true, false}) {
    std::string wide = little ? "\xFF\xFE" : "\xFE\xFF";
    for (char ch : xml) {
      wide += little ? ch : '\0';
      wide += little ? '\0' : ch;
    }
    Fb2Book book;
    ASSERT_EQ(Convert(wide, &book), FB2_OK) << little;
    EXPECT_STREQ(book.text, "caf\xE9");
    std::free(book.text);
  }
  // An encoding neither expat nor the tables know is refused.
  Fb2Book book;
  EXPECT_EQ(Convert(Book("<?xml version=\"1.0\" encoding=\"x-unknown\"?>", "a"), &book), FB2_NOT_WELL_FORMED);
  EXPECT_EQ(book.text, nullptr);
}

TEST_F(Fb2Test, BrokenBooksAreToldAndLeaveTheDocument) {
  const std::string dir = MakeScratchDir("fb2-broken");
  ASSERT_TRUE(WriteTestFile(dir + "/notzip.fb2.zip", "not an archive", 14));
  struct Case {
    std::string path;
    const char* message;
  } cases[] = {
      {kData + "malformed.fb2", "This book cannot be read: malformed.fb2"},
      {kData + "nobody.fb2", "This book has no readable text: nobody.fb2"},
      {dir + "/notzip.fb2.zip", "Error loading file: notzip.fb2.zip"},
  };
  for (const Case& c : cases) ExpectRefused(c.path, c.message);
  g_settings.language = 1;
  std::string messages;
  EXPECT_EQ(Load(kData + "malformed.fb2", &messages), 0);
  EXPECT_NE(messages.find("Este libro no se puede leer"), std::string::npos);
}

TEST_F(Fb2Test, BookCutShortShowsWhatCameBefore) {
  // Cut anywhere: refused before the first text, else what came before it,
  // marked incomplete; nothing past the cut is read.
  const std::string xml = ReadTestFile(kData + "calibre.fb2");
  const size_t firstText = xml.find("The Ferryman");
  ASSERT_NE(firstText, std::string::npos);
  for (size_t n = 0; n < xml.size(); n += 97) {
    SCOPED_TRACE(n);
    Fb2Book book;
    const int result = Convert(xml.substr(0, n), &book);
    if (n <= firstText) {
      EXPECT_EQ(result, FB2_NOT_WELL_FORMED);
      continue;
    }
    ASSERT_EQ(result, FB2_OK);
    EXPECT_TRUE(book.incomplete);
    EXPECT_EQ(std::strlen(book.text), book.length);
    EXPECT_EQ(std::string(book.text).find("iVBOR"), std::string::npos);
    std::free(book.text);
  }
  // Through the loader: the part read stays on screen and the reader is told.
  const std::string dir = MakeScratchDir("fb2-cut");
  const std::string half = xml.substr(0, xml.size() / 2);
  ASSERT_TRUE(WriteTestFile(dir + "/half.fb2", half.data(), half.size()));
  std::string messages;
  ASSERT_EQ(Load(dir + "/half.fb2", &messages), 1);
  EXPECT_NE(messages.find("Error loading file: half.fb2"), std::string::npos);
  EXPECT_NE(Text().find("The Ferryman"), std::string::npos);
  EXPECT_STREQ(g_text->name, kTitle);
}

TEST(Fb2Convert, TextLimitCutsTheBookBetweenWordsAndTheNotesStillFollow) {
  std::string xml = "<FictionBook><body name=\"notes\"><section><p>note</p></section></body><body><section>";
  const std::string paragraph = "<p>word <strong>bold</strong> word word word word word word word</p>\n";
  const size_t count = size_t(TEXT_MAX_BYTES) / 50 + 1000;
  xml.reserve(xml.size() + count * paragraph.size() + 64);
  for (size_t i = 0; i < count; ++i) xml += paragraph;
  xml += "</section></body></FictionBook>";
  Fb2Book book;
  ASSERT_EQ(ConvertFb2(xml.data(), xml.size(), &book), FB2_OK);
  EXPECT_TRUE(book.incomplete);
  EXPECT_LT(book.length, size_t(TEXT_MAX_BYTES));
  EXPECT_GT(book.length, size_t(TEXT_MAX_BYTES) - 1024);
  EXPECT_EQ(std::strlen(book.text), book.length);
  // The bodies stop after a whole word, no format code is cut in two, and
  // the notes follow on their page.
  const std::string text(book.text, book.length);
  const size_t notes = text.rfind(kPageBreak);
  ASSERT_NE(notes, std::string::npos);
  EXPECT_EQ(WithoutCodes(text.substr(notes + 4)), "note");
  EXPECT_NE(text[notes - 1], '\x01');
  std::string tail = WithoutCodes(text.substr(notes - 40, 40));
  while (!tail.empty() && tail.back() == ' ') tail.pop_back();
  const std::string last = tail.substr(tail.find_last_of(" \n") + 1);
  EXPECT_TRUE(last == "word" || last == "bold") << last;
  std::free(book.text);
}

TEST_F(Fb2Test, DialogListsTheNewFormatsAndReopensBooksAtTheirPlace) {
  const std::string dir = MakeScratchDir("fb2-dialog");
  ASSERT_EQ(chdir(dir.c_str()), 0);
  const std::string zipped = ReadTestFile(kData + "calibre.fb2.zip");
  ASSERT_TRUE(WriteTestFile(dir + "/Book.FB2.zip", zipped.data(), zipped.size()));
  for (const char* name : {"a.fb2", "b.mobi", "c.prc", "d.azw", "e.AZW3", "f.fb3"}) {
    ASSERT_TRUE(WriteTestFile(dir + "/" + name, "x", 1));
  }
  std::vector<char> names(size_t(FOLDER_LIST_NAMES) * DIR_NAME_SIZE);
  int stored = 0;
  ASSERT_EQ(GpDirEnumList((dir + "/").c_str(), 0, FOLDER_LIST_NAMES, names.data(), &stored), FAT_OK);
  FileList list;
  BuildFolderList(&list, (dir + "/").c_str(), names.data(), stored);
  int documents = 0;
  for (int i = 0; i < list.count; ++i) {
    const bool other = std::strcmp(list.rows[i].name, "f.fb3") == 0;
    if (list.rows[i].type == (other ? ENTRY_OTHER : ENTRY_DOCUMENT)) ++documents;
  }
  free(list.rows);
  EXPECT_EQ(documents, 7);

  // The zipped book is recorded as a plain file and reopens at its place.
  RecentList recent(RECENT_FILE_NAME, &g_currentEntry);
  g_recentList = &recent;
  SetCurrentDocument("", "", -1, 0);
  const std::string path = dir + "/Book.FB2.zip";
  testing::internal::CaptureStdout();
  ASSERT_EQ(OpenRecordedDocument(path.c_str(), "", -1, 700), 1);
  testing::internal::GetCapturedStdout();
  EXPECT_STREQ(g_currentEntry.path, path.c_str());
  EXPECT_EQ(g_currentEntry.position, 700);
  EXPECT_STREQ(g_text->name, kTitle);
  // Chosen in the dialog, it opens as the book, not as a folder.
  const std::string alone = MakeScratchDir("fb2-dialog-alone");
  ASSERT_TRUE(WriteTestFile(alone + "/Book.fb2.zip", zipped.data(), zipped.size()));
  std::snprintf(g_settings.folderPath, sizeof g_settings.folderPath, "%s/", alone.c_str());
  g_fileDialogPosition = {0, 0};
  Before();
  GpSetKeyScript({{KEY_DOWN, 1}, {KEY_ACCEPT, 1}});
  testing::internal::CaptureStdout();
  EXPECT_EQ(FileDialog(), 1);
  testing::internal::GetCapturedStdout();
  EXPECT_STREQ(g_currentEntry.path, (alone + "/Book.fb2.zip").c_str());
  EXPECT_EQ(g_currentEntry.entryIndex, -1);
  EXPECT_STREQ(g_text->name, kTitle);
  g_recentList = nullptr;

  // Browsed as a folder, its .fb2 entry is a document that opens under the
  // book's title.
  ZipArchive* archive = ArchiveOpen(path.c_str());
  ASSERT_NE(archive, nullptr);
  FileListEntry rows[4];
  FileList entries;
  entries.rows = rows;
  BuildArchiveList(&entries, archive, "", 4);
  entries.rows = nullptr;
  ASSERT_EQ(entries.count, 2);
  EXPECT_STREQ(rows[1].name, "calibre.fb2");
  EXPECT_EQ(rows[1].type, ENTRY_DOCUMENT);
  Before();
  testing::internal::CaptureStdout();
  EXPECT_EQ(OpenArchiveEntry(archive, rows[1].index), 1);
  testing::internal::GetCapturedStdout();
  ArchiveClose(archive);
  EXPECT_STREQ(g_text->name, kTitle);
  EXPECT_NE(Text().find("The Last Ferry of the Year"), std::string::npos);
}
