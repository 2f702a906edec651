// Kindle books: the calibre books of tests/data/mobi (old MOBI, AZW3 and a
// combined file, made by scripts/make-fixtures-mobi.sh) through the loader
// with their words, chapters, title and formatting; the hand-made books of
// scripts/make-mobi-handmade.py (trailing entries, HUFF/CDIC, protected,
// unknown compression, broken and cut files); the choice of reader by
// extension and database type; the text limit; and reopening at the place.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "document/encoding.h"
#include "document/layout.h"
#include "document/render.h"
#include "document/text.h"
#include "book_text.h"
#include "harness.h"
#include "importers/load.h"
#include "importers/mobi.h"
#include "platform/files.h"
#include "platform/font.h"
#include "platform/keys.h"
#include "platform/recent.h"
#include "platform/settings.h"
#include "platform/video.h"
#include "ui/filedialog.h"
#include "zip/archive_load.h"

namespace {

const std::string kData = std::string(QUILLO_SOURCE_DIR) + "/tests/data/mobi/";
const char kPageBreak[] = {'\n', 1, 'P', '\n', 0};

using MobiTest = BookTest;

std::string ToCp1252(std::string utf8) {
  std::vector<char> buffer(utf8.begin(), utf8.end());
  buffer.push_back(0);
  EncodingGuess guess;
  guess.encoding = ENCODING_UTF8;
  const int32_t n = ConvertToCp1252(buffer.data(), int32_t(utf8.size()), guess);
  return std::string(buffer.data(), size_t(n));
}

// The words of the source page: tags dropped, the two entities it uses decoded.
std::string SourceWords() {
  const std::string html = ReadTestFile(kData + "src/book.html");
  std::string plain;
  bool tag = false;
  for (size_t i = html.find("<body>"); i < html.size(); ++i) {
    if (html[i] == '<') tag = true;
    if (!tag) plain += html[i];
    if (html[i] == '>') {
      tag = false;
      plain += ' ';
    }
  }
  for (const auto& e : {std::make_pair("&iacute;", "\xC3\xAD"), std::make_pair("&eacute;", "\xC3\xA9")}) {
    for (size_t at = plain.find(e.first); at != std::string::npos; at = plain.find(e.first))
      plain.replace(at, std::strlen(e.first), e.second);
  }
  return ToCp1252(plain);
}

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

struct Imported {
  int result;
  std::string text;
  std::string title;
  bool incomplete;
};

// ImportMobi on a malloc'd copy of exactly the file's bytes.
Imported Import(const std::string& file) {
  char* buffer = static_cast<char*>(std::malloc(file.size() ? file.size() : 1));
  std::memcpy(buffer, file.data(), file.size());
  char title[TEXT_NAME_SIZE];
  bool incomplete = false;
  testing::internal::CaptureStdout();
  const int result = ImportMobi(&buffer, int32_t(file.size()), title, sizeof title, &incomplete);
  testing::internal::GetCapturedStdout();
  Imported r{result, buffer ? buffer : "", title, incomplete};
  std::free(buffer);
  return r;
}

void PutBe(std::string& s, size_t at, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) s[at + size_t(i)] = char(v >> (8 * (bytes - 1 - i)));
}

// A BOOKMOBI database: record 0 with a PalmDOC header (uncompressed) and a
// minimal MOBI header (code page 1252, version 6), then the text records.
std::string MakeBook(const std::vector<std::string>& texts) {
  std::string r0(16 + 0xE8, '\0');
  PutBe(r0, 0, 1, 2);
  PutBe(r0, 8, uint32_t(texts.size()), 2);
  PutBe(r0, 10, 4096, 2);
  std::memcpy(&r0[16], "MOBI", 4);
  PutBe(r0, 20, 0xE8, 4);
  PutBe(r0, 28, 1252, 4);
  PutBe(r0, 36, 6, 4);
  const std::string name = "Plain Title";
  PutBe(r0, 84, uint32_t(r0.size()), 4);
  PutBe(r0, 88, uint32_t(name.size()), 4);
  r0 += name;
  std::vector<std::string> records{r0};
  records.insert(records.end(), texts.begin(), texts.end());
  std::string db(78 + 8 * records.size(), '\0');
  std::memcpy(&db[60], "BOOKMOBI", 8);
  PutBe(db, 76, uint32_t(records.size()), 2);
  size_t offset = db.size();
  for (size_t i = 0; i < records.size(); ++i) {
    PutBe(db, 78 + 8 * i, uint32_t(offset), 4);
    offset += records[i].size();
  }
  for (const std::string& r : records) db += r;
  return db;
}

}  // namespace

TEST_F(MobiTest, CalibreBooksShowTheirWordsChaptersTitleAndFormatting) {
  const std::string source = SourceWords();
  ASSERT_GT(source.size(), 3000u);
  const char* headings[] = {"Chapter One: The Harbour at Dawn", "Chapter Two: The Keeper\x92s Logbook",
                            "Chapter Three: Se\xF1ora Ib\xE1\xF1" "ez Remembers", "Chapter Four: The Last Light"};
  std::string kf8Text;
  for (const char* name : {"calibre-old.mobi", "calibre-new.azw3", "calibre-both.mobi"}) {
    SCOPED_TRACE(name);
    const uint32_t polls = GpKeyScriptPolls();
    ASSERT_EQ(Load(kData + name), 1);
    EXPECT_EQ(GpKeyScriptPolls() - polls, 0u) << "no message";
    const std::string text = Text();
    EXPECT_GE(WordRecall(source, text), 0.995);
    EXPECT_STREQ(g_text->name, "Cr\xF3nicas del puerto");
    // Four chapters and calibre's table of contents, each after the one
    // before on a new page, each heading on a line of its own.
    EXPECT_EQ(Count(text, kPageBreak), 4u);
    EXPECT_GT(text.find("Table of Contents"), text.rfind(kPageBreak));
    size_t from = 0;
    for (size_t i = 0; i < 4; ++i) {
      const size_t at = text.find(headings[i], from);
      ASSERT_NE(at, std::string::npos) << headings[i];
      if (i > 0) {
        const size_t brk = text.rfind(kPageBreak, at);
        ASSERT_NE(brk, std::string::npos);
        EXPECT_GT(brk, from);
        EXPECT_EQ(WithoutCodes(text.substr(brk + 4, at - brk - 4)).find_first_not_of("\r\n"), std::string::npos)
            << headings[i];
      }
      const std::string after = WithoutCodes(text.substr(at + std::strlen(headings[i]), 8));
      EXPECT_TRUE(after[0] == '\r' || after[0] == '\n') << headings[i];
      from = at + 1;
    }
    EXPECT_NE(text.find("\x01" "Blighthouse keepers\x01" "b"), std::string::npos);
    EXPECT_NE(text.find("\x01" "Iensaimadas\x01" "i"), std::string::npos);
    EXPECT_NE(text.find("\x93They will be back by noon,\x94"), std::string::npos);
    // The combined file shows its KF8 part: the same text as the AZW3.
    if (std::strcmp(name, "calibre-new.azw3") == 0) kf8Text = text;
    if (std::strcmp(name, "calibre-both.mobi") == 0) {
      EXPECT_EQ(text, kf8Text);
    }
  }
}

TEST(MobiHandMade, TrailingEntriesAndHuffCdicDecodeToTheBook) {
  std::string first;
  for (const char* name : {"trailing.mobi", "trailing-palmdoc.mobi", "huffcdic.mobi"}) {
    SCOPED_TRACE(name);
    const Imported r = Import(ReadTestFile(kData + name));
    ASSERT_EQ(r.result, MOBI_IMPORT_OK);
    EXPECT_FALSE(r.incomplete);
    // EXTH 503 wins over the full name; UTF-8 becomes code page 1252.
    EXPECT_EQ(r.title, "Notas del faro \x97 \x93Hand-made\x94");
    // Characters cut between records come out whole; no trailing byte shows.
    for (const char* words : {"Se\xF1ora Ib\xE1\xF1" "ez said: \x93The lamp is \x01" "Bready\x01" "b, the wick is \x01" "Itrimmed\x01" "i.\x94",
                              "cr\xE8me br\xFBl\xE9" "e to the fishermen", "A star ? hung over the bay.",
                              "the na\xEFve clerk", "\x93" "all well\x94 in the \x01" "Blogbook\x01" "b \x85 the",
                              "the \xE6ther smelled of salt and \xF8il."}) {
      EXPECT_NE(r.text.find(words), std::string::npos) << words;
    }
    // No stray byte of an overlap or an entry: one "?" (the star), no control
    // byte but line ends.
    EXPECT_EQ(Count(r.text, "?"), 1u);
    const std::string plain = WithoutCodes(r.text);
    for (char c : plain) EXPECT_TRUE(uint8_t(c) >= 0x20 || c == '\r' || c == '\n') << int(c);
    EXPECT_EQ(Count(r.text, kPageBreak), 1u);
    EXPECT_LT(r.text.find("Cap\xEDtulo uno"), r.text.find(kPageBreak));
    EXPECT_GT(r.text.find("Cap\xEDtulo dos"), r.text.find(kPageBreak));
    if (first.empty()) first = r.text;
    EXPECT_EQ(r.text, first);
  }
}

TEST_F(MobiTest, ProtectedBrokenAndUnknownBooksAreToldAndLeaveTheDocument) {
  struct Case {
    const char* file;
    const char* message;
  } cases[] = {
      {"drm.mobi", "This book is protected: drm.mobi"},
      {"drm-old.mobi", "This book is protected: drm-old.mobi"},
      {"compression.mobi", "This book uses an unknown compression: compression.mobi"},
      {"broken-table.mobi", "This book's record table is broken: broken-table.mobi"},
      {"short-table.mobi", "This book's record table is broken: short-table.mobi"},
  };
  for (const Case& c : cases) ExpectRefused(kData + c.file, c.message);
  g_settings.language = 1;
  std::string messages;
  EXPECT_EQ(Load(kData + "drm.mobi", &messages), 0);
  EXPECT_NE(messages.find("Este libro est\xE1 protegido"), std::string::npos);
}

TEST_F(MobiTest, BookCutShortShowsItsFirstRecordsAndSaysSo) {
  std::string messages;
  ASSERT_EQ(Load(kData + "truncated.mobi", &messages), 1);
  EXPECT_NE(messages.find("Error loading file: truncated.mobi"), std::string::npos) << messages;
  const std::string text = Text();
  EXPECT_NE(text.find("A star ? hung over the bay."), std::string::npos);
  EXPECT_EQ(text.find("\xF8il"), std::string::npos);
  EXPECT_STREQ(g_text->name, "Notas del faro \x97 \x93Hand-made\x94");
}

TEST_F(MobiTest, ExtensionsAndDatabaseTypeChooseTheReader) {
  std::string book = ReadTestFile(kData + "trailing.mobi");
  std::string palmDoc = book;
  std::memcpy(&palmDoc[60], "TEXtREAd", 8);
  struct Case {
    const char* name;
    const std::string* content;
    bool kindle;
  } cases[] = {
      {"a.mobi", &book, true},     {"a.PRC", &book, true},      {"a.azw", &book, true},
      {"a.Azw3", &book, true},     {"a.pdb", &book, true},      {"a.pdb", &palmDoc, false},
      {"a.txt", &book, false},     {"mobi", &book, false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(IsKindleBook(c.name, c.content->data(), int32_t(c.content->size())), c.kindle) << c.name;
  EXPECT_FALSE(IsKindleBook("a.pdb", book.data(), 60));

  const std::string dir = MakeScratchDir("mobi");
  // A Kindle book named .pdb, and a PalmDoc book named .prc (read as PalmDoc).
  ASSERT_TRUE(WriteTestFile(dir + "/book.pdb", book.data(), book.size()));
  ASSERT_EQ(Load(dir + "/book.pdb"), 1);
  EXPECT_NE(Text().find("Cap\xEDtulo dos"), std::string::npos);
  const std::string story = ReadTestFile(std::string(QUILLO_SOURCE_DIR) + "/tests/data/pdb/story.pdb");
  ASSERT_FALSE(story.empty());
  ASSERT_TRUE(WriteTestFile(dir + "/story.prc", story.data(), story.size()));
  ASSERT_TRUE(WriteTestFile(dir + "/story.pdb", story.data(), story.size()));
  ASSERT_EQ(Load(dir + "/story.pdb"), 1);
  const std::string asPdb = Text();
  ASSERT_EQ(Load(dir + "/story.prc"), 1);
  EXPECT_FALSE(asPdb.empty());
  EXPECT_EQ(Text(), asPdb);
}

TEST(MobiImport, TextPastTheLimitIsCutAndSaysSo) {
  // 4,200 uncompressed records of 4,096 bytes: more markup than a document holds.
  std::string record = "<p>";
  while (record.size() < 4092) record += "word ";
  record.resize(4092);
  record += "</p>";
  std::vector<std::string> texts(size_t(TEXT_MAX_BYTES) / 4096 + 100, record);
  texts[0] = "<html><body>" + record.substr(12);
  const Imported r = Import(MakeBook(texts));
  ASSERT_EQ(r.result, MOBI_IMPORT_OK);
  EXPECT_TRUE(r.incomplete);
  EXPECT_LT(r.text.size(), size_t(TEXT_MAX_BYTES));
  EXPECT_GT(r.text.size(), size_t(TEXT_MAX_BYTES) / 2);
  // The full name is the title when EXTH has none.
  EXPECT_EQ(r.title, "Plain Title");
  // No text is no book.
  EXPECT_EQ(Import(MakeBook({})).result, MOBI_IMPORT_NO_TEXT);
  EXPECT_EQ(Import(MakeBook({"<html><body></body></html>"})).result, MOBI_IMPORT_NO_TEXT);
}

TEST_F(MobiTest, RecentFilesReopenABookAtItsPlaceUnderItsPath) {
  const std::string dir = MakeScratchDir("mobi-recent");
  ASSERT_EQ(chdir(dir.c_str()), 0);
  const std::string book = ReadTestFile(kData + "calibre-new.azw3");
  const std::string path = dir + "/Book.azw3";
  ASSERT_TRUE(WriteTestFile(path, book.data(), book.size()));
  RecentList recent(RECENT_FILE_NAME, &g_currentEntry);
  g_recentList = &recent;
  SetCurrentDocument("", "", -1, 0);
  testing::internal::CaptureStdout();
  ASSERT_EQ(OpenRecordedDocument(path.c_str(), "", -1, 700), 1);
  testing::internal::GetCapturedStdout();
  EXPECT_STREQ(g_currentEntry.path, path.c_str());
  EXPECT_EQ(g_currentEntry.position, 700);
  EXPECT_STREQ(g_text->name, "Cr\xF3nicas del puerto");
  g_currentEntry.position = 1100;
  ASSERT_TRUE(WriteTestFile(dir + "/other.txt", "Other.\n", 7));
  testing::internal::CaptureStdout();
  ASSERT_EQ(OpenRecordedDocument((dir + "/other.txt").c_str(), "", -1, 0), 1);
  testing::internal::GetCapturedStdout();
  ASSERT_EQ(recent.count, 1);
  EXPECT_STREQ(recent.rows[0].path, path.c_str());
  EXPECT_EQ(recent.rows[0].position, 1100);
  g_recentList = nullptr;
}
