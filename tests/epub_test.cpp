// EPUB books: the pandoc books and the hand-made odd cases of tests/data/epub
// (made by scripts/make-fixtures-epub.sh) through the loader, golden texts,
// word recall, chapter order and page breaks, the title, the failures the
// reader is told about, the package handling on exact-size buffers, and the
// file dialog's rows and recent files for a book.
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
#include "importers/load.h"
#include "platform/files.h"
#include "platform/font.h"
#include "platform/keys.h"
#include "platform/recent.h"
#include "platform/settings.h"
#include "platform/video.h"
#include "ui/filedialog.h"
#include "ui/filelist.h"
#include "zip/archive_load.h"
#include "zip/epub.h"

namespace {

const std::string kData = std::string(QUILLO_SOURCE_DIR) + "/tests/data/epub/";
const char kPageBreak[] = {'\n', 1, 'P', '\n', 0};

using EpubTest = BookTest;

// The book's text in code page 1252, without its front matter and marks.
std::string SourceWords() {
  std::string md = ReadTestFile(kData + "src/book.md");
  const size_t body = md.find("\n---\n", 4);
  md = md.substr(body + 5);
  std::string plain;
  for (size_t i = 0; i < md.size(); ++i) {
    if (md[i] == '#' || md[i] == '*') continue;
    if (md.compare(i, 2, "![") == 0) {  // the picture: its caption stays, its file goes
      const size_t end = md.find(')', i);
      const size_t close = md.find(']', i);
      plain += md.substr(i + 2, close - i - 2);
      i = end;
      continue;
    }
    plain += md[i];
  }
  std::vector<char> buffer(plain.begin(), plain.end());
  buffer.push_back(0);
  EncodingGuess guess;
  guess.encoding = ENCODING_UTF8;
  const int32_t n = ConvertToCp1252(buffer.data(), int32_t(plain.size()), guess);
  return std::string(buffer.data(), size_t(n));
}

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// A malloc'd copy of exactly the string's bytes, no terminator: a read past
// the length is caught by the sanitizers.
struct ExactBuffer {
  explicit ExactBuffer(const std::string& s) : data(static_cast<char*>(std::malloc(s.size() ? s.size() : 1))), size(s.size()) {
    std::memcpy(data, s.data(), s.size());
  }
  ~ExactBuffer() { std::free(data); }
  char* data;
  size_t size;
};

std::vector<std::string> Chapters(const std::string& opf, const std::string& at = "OEBPS/content.opf") {
  ExactBuffer b(opf);
  EpubPackage package;
  EXPECT_TRUE(EpubReadPackage(b.data, b.size, at, &package));
  return package.chapters;
}

}  // namespace

TEST_F(EpubTest, PandocBooksGiveTheirWordsInOrderChapterByChapter) {
  const std::string source = SourceWords();
  ASSERT_GT(source.size(), 3000u);
  const char* headings[] = {"The Keeper\x92s First Night", "The Storm of San Andr\xE9s",
                            "Letters from the Mainland", "The Last Keeper"};
  for (const char* name : {"pandoc3", "pandoc2"}) {
    SCOPED_TRACE(name);
    ASSERT_EQ(Load(kData + name + ".epub"), 1);
    const std::string text = Text();
    EXPECT_GE(WordRecall(source, text), 0.995);
    ExpectGoldenText(kData + name, text);
    // The title page and four chapters, each after a page break, in order,
    // every chapter title on a line of its own.
    EXPECT_EQ(Count(text, kPageBreak), 4u);
    size_t from = 0;
    for (const char* heading : headings) {
      const size_t brk = text.find(kPageBreak, from);
      ASSERT_NE(brk, std::string::npos) << heading;
      const size_t at = text.find(heading, brk);
      ASSERT_NE(at, std::string::npos) << heading;
      const size_t gap = brk + std::strlen(kPageBreak);
      EXPECT_EQ(text.find_first_not_of("\r\n", gap), at) << heading;
      const char after = text[at + std::strlen(heading)];
      EXPECT_TRUE(after == '\r' || after == '\n') << heading;
      from = at + 1;
    }
    // <em> is shown in italic.
    EXPECT_NE(text.find("\x01" "Imercury\x01" "i"), std::string::npos);
    EXPECT_NE(text.find("\x01" "Bbrass compass\x01" "b"), std::string::npos);
    EXPECT_NE(text.find("\x93You will learn the lamp before you learn the stairs.\x94"), std::string::npos);
    EXPECT_STREQ(g_text->name, "Cuentos del faro \x97 \x93Tales of the Lighthouse\x94");
    // The page-break lines are where the menu's page jumps stop.
    int breaks = 0;
    for (int32_t line = NextPageBreak(g_text, 0); line >= 0 && breaks < 10; line = NextPageBreak(g_text, line)) {
      ASSERT_LT(line, g_text->lineCount);
      ++breaks;
    }
    EXPECT_EQ(breaks, 4);
  }
}

TEST_F(EpubTest, SpineOrderSubfolderEscapesAndNonTextItems) {
  // The package lies in OPS/, a chapter path holds %20, the manifest and the
  // archive list the chapters in other orders than the spine, a picture in the
  // spine is skipped, and the linear="no" notes are read in their spine place.
  ASSERT_EQ(Load(kData + "subfolder.epub"), 1);
  const std::string text = Text();
  ExpectGoldenText(kData + "subfolder", text);
  const size_t one = text.find("Caf\xE9 first \x93quoted\x94 chapter.");
  const size_t two = text.find("Second chapter, \x01" "Bbold\x01" "b and \x01" "Iitalic\x01" "i.");
  const size_t notes = text.find("Notes read last");
  ASSERT_NE(one, std::string::npos);
  ASSERT_NE(two, std::string::npos);
  ASSERT_NE(notes, std::string::npos);
  EXPECT_LT(one, two);
  EXPECT_LT(two, notes);
  EXPECT_EQ(Count(text, kPageBreak), 2u);
  // Blanks of the title collapse, its entities and quotes become code page 1252.
  EXPECT_STREQ(g_text->name, "Ni\xF1o & \x93" "Faro\x94");
}

TEST_F(EpubTest, TitleInTheTitleBar) {
  ASSERT_EQ(Load(kData + "subfolder.epub"), 1);
  uint16_t* frame = g_video->BackBuffer();
  ScrollText(0, 0, frame, false);
  ExpectGoldenFrame("epub", "subfolder-title", frame);
}

TEST_F(EpubTest, BrokenAndProtectedBooksAreToldAndLeaveTheDocument) {
  struct Case {
    const char* file;
    const char* message;
  } cases[] = {
      {"encrypted.epub", "This book is protected: encrypted.epub"},
      {"nowhere.epub", "Error loading file: nowhere.epub"},
      {"notext.epub", "This book has no readable text: notext.epub"},
      {"notzip.epub", "Error loading file: notzip.epub"},
  };
  for (const Case& c : cases) ExpectRefused(kData + c.file, c.message);
  // The Spanish message, in code page 1252.
  g_settings.language = 1;
  std::string messages;
  EXPECT_EQ(Load(kData + "encrypted.epub", &messages), 0);
  EXPECT_NE(messages.find("Este libro est\xE1 protegido"), std::string::npos);
}

TEST_F(EpubTest, EncryptionOfOtherItemsOnlyDoesNotStopTheBook) {
  const uint32_t polls = GpKeyScriptPolls();
  ASSERT_EQ(Load(kData + "fontonly.epub"), 1);
  EXPECT_EQ(GpKeyScriptPolls() - polls, 0u);
  EXPECT_NE(Text().find("Readable despite the font."), std::string::npos);
}

TEST_F(EpubTest, MissingChapterIsSkippedWithATrace) {
  const uint32_t polls = GpKeyScriptPolls();
  std::string messages;
  ASSERT_EQ(Load(kData + "missing.epub", &messages), 1);
  EXPECT_EQ(GpKeyScriptPolls() - polls, 0u);
  EXPECT_NE(messages.find("EPUB: chapter b.xhtml is missing"), std::string::npos);
  const std::string text = Text();
  EXPECT_EQ(Count(text, kPageBreak), 1u);
  EXPECT_LT(text.find("First."), text.find("Third."));
  EXPECT_STREQ(g_text->name, "Small");
}

TEST_F(EpubTest, BookInsideAnArchiveIsNotOpened) {
  std::string messages;
  Load(kData + "inside.zip#missing.epub", &messages);
  EXPECT_NE(messages.find("Error loading file: missing.epub"), std::string::npos);
  EXPECT_EQ(Text(), "The page before the book.") << "the document on screen stays";
}

TEST(EpubPackage, ContainerTakesTheFirstPackageRootfile) {
  const std::string container =
      "<?xml version=\"1.0\"?><container xmlns=\"urn:oasis:names:tc:opendocument:xmlns:container\">"
      "<rootfiles><rootfile full-path=\"a.pdf\" media-type=\"application/pdf\"/>"
      "<rootfile full-path=\"My%20Book/content.opf\" media-type=\"application/oebps-package+xml\"/>"
      "<rootfile full-path=\"other.opf\" media-type=\"application/oebps-package+xml\"/>"
      "</rootfiles></container>";
  ExactBuffer b(container);
  std::string path;
  ASSERT_TRUE(EpubRootfilePath(b.data, b.size, &path));
  EXPECT_EQ(path, "My Book/content.opf");
  // Cut anywhere, the XML is not well formed; nothing past the length is read.
  for (size_t n = 0; n < container.size(); n += 7) {
    ExactBuffer cut(container.substr(0, n));
    EXPECT_FALSE(EpubRootfilePath(cut.data, cut.size, &path)) << n;
  }
  ExactBuffer none("<container><rootfiles><rootfile full-path=\"\" media-type=\"application/oebps-package+xml\"/>"
                   "</rootfiles></container>");
  EXPECT_FALSE(EpubRootfilePath(none.data, none.size, &path));
}

TEST(EpubPackage, PathsResolveAgainstThePackageFolder) {
  EXPECT_EQ(EpubResolvePath("OEBPS/content.opf", "text/ch%201.xhtml#part"), "OEBPS/text/ch 1.xhtml");
  EXPECT_EQ(EpubResolvePath("OEBPS/content.opf", "../top.xhtml"), "top.xhtml");
  EXPECT_EQ(EpubResolvePath("OEBPS/content.opf", "../../../x.xhtml"), "x.xhtml");
  EXPECT_EQ(EpubResolvePath("OEBPS/content.opf", "./a/./b/../c.xhtml"), "OEBPS/a/c.xhtml");
  EXPECT_EQ(EpubResolvePath("OEBPS/content.opf", "/root.xhtml"), "root.xhtml");
  EXPECT_EQ(EpubResolvePath("content.opf", "c.xhtml"), "c.xhtml");
  // Bad or cut escapes stay as written; %00 never ends the path.
  EXPECT_EQ(EpubResolvePath("", "a%2"), "a%2");
  EXPECT_EQ(EpubResolvePath("", "a%zz%00b"), "a%zz%00b");
  EXPECT_EQ(EpubResolvePath("", "%C3%A9.xhtml"), "\xC3\xA9.xhtml");
}

TEST(EpubPackage, SpineThroughTheManifest) {
  const std::string head =
      "<package xmlns=\"http://www.idpf.org/2007/opf\"><metadata xmlns:dc=\"http://purl.org/dc/elements/1.1/\">"
      "<title>Not Dublin Core</title><dc:title>The <b>Real</b>\n Title</dc:title><dc:title>Second</dc:title>"
      "</metadata><manifest>"
      "<item id=\"c\" href=\"c.xhtml\" media-type=\"application/xhtml+xml\"/>"
      "<item id=\"a\" href=\"a.html\" media-type=\"text/html\"/>"
      "<item id=\"css\" href=\"s.css\" media-type=\"text/css\"/>"
      "<item id=\"a\" href=\"dup.xhtml\" media-type=\"application/xhtml+xml\"/>"
      "</manifest><spine>";
  const std::string opf = head +
                          "<itemref idref=\"a\"/><itemref idref=\"css\"/><itemref idref=\"gone\"/>"
                          "<itemref idref=\"c\" linear=\"no\"/><itemref idref=\"a\"/></spine></package>";
  ExactBuffer b(opf);
  EpubPackage package;
  ASSERT_TRUE(EpubReadPackage(b.data, b.size, "OEBPS/content.opf", &package));
  EXPECT_EQ(package.title, "The Real Title");
  EXPECT_EQ(package.chapters,
            (std::vector<std::string>{"OEBPS/a.html", "OEBPS/c.xhtml", "OEBPS/a.html"}));
  // At most 10,000 spine items are taken.
  std::string many = head;
  for (int i = 0; i < 10050; ++i) many += "<itemref idref=\"c\"/>";
  many += "</spine></package>";
  EXPECT_EQ(Chapters(many).size(), EPUB_MAX_SPINE_ITEMS);
  // A package that is not XML.
  ExactBuffer bad("<package><spine>");
  EXPECT_FALSE(EpubReadPackage(bad.data, bad.size, "content.opf", &package));
}

TEST(EpubPackage, EncryptionListsItsReferences) {
  ExactBuffer b(
      "<encryption xmlns=\"urn:oasis:names:tc:opendocument:xmlns:container\" "
      "xmlns:enc=\"http://www.w3.org/2001/04/xmlenc#\"><enc:EncryptedData><enc:CipherData>"
      "<enc:CipherReference URI=\"OEBPS/ch%201.xhtml\"/></enc:CipherData></enc:EncryptedData>"
      "<enc:EncryptedData><enc:CipherData><enc:CipherReference URI=\"fonts/f.otf\"/>"
      "</enc:CipherData></enc:EncryptedData></encryption>");
  std::vector<std::string> paths;
  ASSERT_TRUE(EpubEncryptedPaths(b.data, b.size, &paths));
  EXPECT_EQ(paths, (std::vector<std::string>{"OEBPS/ch 1.xhtml", "fonts/f.otf"}));
}

TEST_F(EpubTest, FolderListsBooksAndRecentFilesReopenThemAtTheirPlace) {
  const std::string dir = MakeScratchDir("epub");
  ASSERT_EQ(chdir(dir.c_str()), 0);
  const std::string book = ReadTestFile(kData + "pandoc3.epub");
  ASSERT_TRUE(WriteTestFile(dir + "/Book.EPUB", book.data(), book.size()));
  std::vector<char> names(size_t(FOLDER_LIST_NAMES) * DIR_NAME_SIZE);
  int stored = 0;
  ASSERT_EQ(GpDirEnumList((dir + "/").c_str(), 0, FOLDER_LIST_NAMES, names.data(), &stored), FAT_OK);
  FileList list;
  BuildFolderList(&list, (dir + "/").c_str(), names.data(), stored);
  bool listed = false;
  for (int i = 0; i < list.count; ++i) {
    if (std::strcmp(list.rows[i].name, "Book.EPUB") == 0) listed = list.rows[i].type == ENTRY_DOCUMENT;
  }
  free(list.rows);
  EXPECT_TRUE(listed);

  RecentList recent(RECENT_FILE_NAME, &g_currentEntry);
  g_recentList = &recent;
  SetCurrentDocument("", "", -1, 0);
  const std::string path = dir + "/Book.EPUB";
  testing::internal::CaptureStdout();
  ASSERT_EQ(OpenRecordedDocument(path.c_str(), "", -1, 900), 1);
  testing::internal::GetCapturedStdout();
  EXPECT_STREQ(g_currentEntry.path, path.c_str());
  EXPECT_EQ(g_currentEntry.entryIndex, -1);
  EXPECT_EQ(g_currentEntry.position, 900);
  EXPECT_STREQ(g_text->name, "Cuentos del faro \x97 \x93Tales of the Lighthouse\x94");
  EXPECT_NE(Text().find("The Last Keeper"), std::string::npos);
  // Left at 1200 for another document: the book is recorded as a plain file there.
  g_currentEntry.position = 1200;
  ASSERT_TRUE(WriteTestFile(dir + "/other.txt", "Other.\n", 7));
  testing::internal::CaptureStdout();
  ASSERT_EQ(OpenRecordedDocument((dir + "/other.txt").c_str(), "", -1, 0), 1);
  testing::internal::GetCapturedStdout();
  ASSERT_EQ(recent.count, 1);
  EXPECT_STREQ(recent.rows[0].path, path.c_str());
  EXPECT_EQ(recent.rows[0].entryIndex, -1);
  EXPECT_EQ(recent.rows[0].position, 1200);
  g_recentList = nullptr;
}
