// Tests of the PalmDoc importer: books made by txt2pdbdoc and the corpus books
// against what `txt2pdbdoc -d` decodes, the compression codes, and broken
// databases that must neither crash nor read outside the file.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "document/text.h"
#include "harness.h"
#include "importers/load.h"
#include "importers/pdb.h"
#include "mono_font.h"

namespace {

struct Result {
  bool ok;
  std::string text;
};

Result Import(const std::string& file) {
  char* buffer = static_cast<char*>(malloc(file.size() + 1));
  memcpy(buffer, file.data(), file.size());
  buffer[file.size()] = '\0';
  ImportPdb(nullptr, &buffer, int32_t(file.size()));
  if (!buffer) return {false, ""};
  Result r{true, std::string(buffer)};
  free(buffer);
  return r;
}

void PutBe16(std::string& s, size_t at, uint16_t v) {
  s[at] = char(v >> 8);
  s[at + 1] = char(v);
}
void PutBe32(std::string& s, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) s[at + i] = char(v >> (24 - 8 * i));
}

// A database with record 0 (16 bytes, the compression word first) followed by
// the given records, in the layout txt2pdbdoc writes.
std::string MakeBook(const std::vector<std::string>& records, uint16_t compression = 2,
                     const char* type = "TEXt", const char* creator = "REAd") {
  const size_t count = records.size() + 1;
  std::string s(78 + 8 * count + 2, '\0');
  memcpy(&s[0], "Test book", 9);
  memcpy(&s[60], type, 4);
  memcpy(&s[64], creator, 4);
  PutBe16(s, 76, uint16_t(count));
  std::string record0(16, '\0');
  PutBe16(record0, 0, compression);
  PutBe16(record0, 8, uint16_t(records.size()));
  PutBe16(record0, 10, 4096);
  std::vector<std::string> all{record0};
  all.insert(all.end(), records.begin(), records.end());
  size_t offset = s.size();
  for (size_t i = 0; i < all.size(); ++i) {
    PutBe32(s, 78 + 8 * i, uint32_t(offset));
    offset += all[i].size();
  }
  for (const std::string& r : all) s += r;
  return s;
}

size_t RecordEntry(size_t i) { return 78 + 8 * i; }
uint32_t PdbRecordOffset(const std::string& book, size_t i) {
  const uint8_t* p = reinterpret_cast<const uint8_t*>(book.data()) + RecordEntry(i);
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

TEST(PdbBooks, TxtToPdbDocBooksGiveWhatItDecodes) {
  for (const char* name : {"story", "story-plain", "long", "long-plain", "crlf"}) {
    SCOPED_TRACE(name);
    const std::string base = std::string(QUILLO_SOURCE_DIR) + "/tests/data/pdb/" + name;
    const std::string book = ReadTestFile(base + ".pdb");
    ASSERT_FALSE(book.empty());
    const Result r = Import(book);
    ASSERT_TRUE(r.ok);
    const std::string expected = ReadTestFile(base + ".expected");
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(r.text, expected);
  }
}

TEST(PdbBooks, CorpusBooksGiveWhatTxtToPdbDocDecodes) {
  std::ifstream list(std::string(QUILLO_SOURCE_DIR) + "/tests/data/pdb/corpus.expected");
  std::string line;
  int books = 0;
  while (std::getline(list, line)) {
    std::istringstream fields(line);
    std::string name, crcHex;
    size_t length = 0;
    fields >> name >> length >> crcHex;
    SCOPED_TRACE(name);
    const std::string file = ReadTestFile(std::string(QUILLO_CORPUS_DIR) + "/palmdoc/" + name);
    ASSERT_FALSE(file.empty());
    const Result r = Import(file);
    ASSERT_TRUE(r.ok);
    ASSERT_GE(r.text.size(), length);
    // The libmobi samples keep a picture record after the text, which is shown
    // as text up to its first NUL; the others are text only.
    if (name.rfind("sample-textread", 0) != 0) {
      EXPECT_EQ(r.text.size(), length);
    }
    const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(r.text.data()), uInt(length));
    EXPECT_EQ(crc, std::stoul(crcHex, nullptr, 16));
    ++books;
  }
  EXPECT_EQ(books, 7);
  // The corpus's own source text, read directly.
  std::string sample = ReadTestFile(std::string(QUILLO_CORPUS_DIR) + "/palmdoc/sample.txt");
  std::string expanded;
  for (char c : sample) expanded += c == '\n' ? std::string("\r\n") : std::string(1, c);
  EXPECT_EQ(Import(ReadTestFile(std::string(QUILLO_CORPUS_DIR) + "/palmdoc/txt2pdbdoc-t_01.pdb")).text,
            expanded);
}

TEST(PdbCodes, HeaderAndCompressionCodes) {
  const Result empty = Import(MakeBook({}));
  EXPECT_TRUE(empty.ok);
  EXPECT_EQ(empty.text, "");
  EXPECT_EQ(Import(MakeBook({"a\nb"}, 1)).text, "a\r\nb");
  // Bytes 128 and up pass through uncompressed books unchanged.
  EXPECT_EQ(Import(MakeBook({"caf\xE9"}, 1)).text, "caf\xE9");
  // 0x80 0x0A: back reference of distance 1 and length 5.
  EXPECT_EQ(Import(MakeBook({"x\x80\x0A"})).text, "xxxxxx");
  EXPECT_EQ(Import(MakeBook({"ab\x80\x13" "c"})).text, "ababababc");
  EXPECT_EQ(Import(MakeBook({"\xE1"})).text, " a");
  EXPECT_EQ(Import(MakeBook({"\x03\x80\x81\x82z"})).text, "\x80\x81\x82z");
  // Records decode one by one and join in order; a LF becomes CR LF.
  EXPECT_EQ(Import(MakeBook({"one\n", "two"})).text, "one\r\ntwo");
  // A CR LF split between two records stays one line end.
  EXPECT_EQ(Import(MakeBook({"a\r", "\nb\r\nc"})).text, "a\r\nb\r\nc");
  // Records after the text (bookmarks, notes) are appended as text.
  EXPECT_EQ(Import(MakeBook({"text ", "note"}, 1)).text, "text note");
}

TEST(PdbCodes, UnknownCompressionWarnsAndDecompresses) {
  testing::internal::CaptureStdout();
  const Result r = Import(MakeBook({"\xE1"}, 17));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "\nWARNING: unknown file compression type:17");
  EXPECT_EQ(r.text, " a");
}

TEST(PdbCodes, OtherDatabasesAreRefused) {
  EXPECT_FALSE(Import(MakeBook({"x"}, 2, "TEXt", "BOOK")).ok);
  EXPECT_FALSE(Import(MakeBook({"x"}, 2, "DATA", "REAd")).ok);
  EXPECT_FALSE(Import("").ok);
  EXPECT_FALSE(Import(std::string(100, 'x')).ok);
}

TEST(PdbBroken, HeadersThatLieGiveNoText) {
  const std::string good = MakeBook({"hello"}, 1);
  // Shorter than the header, or than the record list it announces.
  EXPECT_FALSE(Import(good.substr(0, 77)).ok);
  EXPECT_FALSE(Import(good.substr(0, 80)).ok);
  std::string many = good;
  PutBe16(many, 76, 5000);
  EXPECT_FALSE(Import(many).ok);
  // No record 0 at all.
  std::string none = good;
  PutBe16(none, 76, 0);
  EXPECT_FALSE(Import(none).ok);
  // Record 0 beyond the file, or too short for its compression word.
  std::string far = good;
  PutBe32(far, RecordEntry(0), 0xFFFFFFF0u);
  EXPECT_FALSE(Import(far).ok);
  std::string edge = good;
  PutBe32(edge, RecordEntry(0), uint32_t(good.size() - 1));
  EXPECT_FALSE(Import(edge).ok);
}

TEST(PdbBroken, BrokenRecordsShowWhatDecodes) {
  // An offset beyond the file: the record before it runs to the end of the
  // file, the record itself is empty, and the next one shows.
  std::string beyond = MakeBook({"one ", "two ", "three"}, 1);
  PutBe32(beyond, RecordEntry(2), 0x7FFFFFFFu);
  EXPECT_EQ(Import(beyond).text, "one two threethree");
  // Out of order: a record that ends before it starts is empty.
  std::string backwards = MakeBook({"one ", "two ", "three"}, 1);
  PutBe32(backwards, RecordEntry(3), PdbRecordOffset(backwards, 1));
  EXPECT_EQ(Import(backwards).text, "one one two three");

  // A back reference before the start of its record, or of distance 0, ends
  // that record; earlier bytes and later records stay.
  EXPECT_EQ(Import(MakeBook({"ab\x80\x28" "cd", "next"})).text, "abnext");
  EXPECT_EQ(Import(MakeBook({"ab\x80\x02" "cd"})).text, "ab");
  // Codes cut off by the end of the record.
  EXPECT_EQ(Import(MakeBook({"ab\x05xy", "|"})).text, "abxy|");
  EXPECT_EQ(Import(MakeBook({"ab\x80", "|"})).text, "ab|");
  // More than the 6000-byte record buffer: cut there.
  std::string big = "x";
  for (int i = 0; i < 1000; ++i) big += "\x80\x0F";  // 10 bytes each
  const Result cut = Import(MakeBook({big, "|"}));
  EXPECT_EQ(cut.text, std::string(6000, 'x') + "|");
  std::string spaces(4000, '\xE1');  // two bytes each
  EXPECT_EQ(Import(MakeBook({spaces})).text.size(), 6000u);
  // An uncompressed record needs no buffer limit: all of it shows.
  const std::string long_record(20000, 'q');
  EXPECT_EQ(Import(MakeBook({long_record}, 1)).text, long_record);
}

TEST(PdbBroken, EveryTruncationIsSafe) {
  // Each prefix of a real compressed book either is refused or decodes; under
  // the sanitizer build this also proves no read past the file.
  const std::string book = ReadTestFile(std::string(QUILLO_SOURCE_DIR) + "/tests/data/pdb/long.pdb");
  ASSERT_FALSE(book.empty());
  size_t refused = 0;
  for (size_t n = 0; n <= book.size(); n += 7) refused += Import(book.substr(0, n)).ok ? 0 : 1;
  EXPECT_GT(refused, 0u);
  EXPECT_TRUE(Import(book).ok);
}

TEST(PdbBooks, LargeBookGrowsItsBuffer) {
  // Far past the first 128 KB buffer, with a record-0 length that lies.
  std::vector<std::string> records(200, std::string(4095, 'w') + "\n");
  std::string book = MakeBook(records, 1);
  PutBe32(book, 78 + 8 * 201 + 2 + 4, 10);
  const Result r = Import(book);
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.text.size(), 200u * 4097);
  EXPECT_EQ(r.text.substr(4094, 4), "w\r\nw");
}

TEST(PdbBooks, TheLoaderShowsBooksByExtension) {
  StartTestPlatform();
  MonoFont mono(10, 10);
  Text t;
  t.font = &mono.font;
  const std::string base = std::string(QUILLO_SOURCE_DIR) + "/tests/data/pdb/story";
  const std::string book = ReadTestFile(base + ".pdb");
  char* buffer = static_cast<char*>(malloc(book.size() + 1));
  memcpy(buffer, book.data(), book.size() + 1);
  LoadFromBuffer(&t, "/books/story.PdB", buffer, int32_t(book.size() + 1));
  ASSERT_NE(t.text, nullptr);
  EXPECT_EQ(std::string(t.text, 27), "The Clockmaker's Apprentice");
  EXPECT_GT(t.lineCount, 10);
  ClearTextContents(&t);
}

}  // namespace

TEST(PdbBooks, NulsAndByteOneInRecordsAreDropped) {
  // Stored records: a NUL would end the text, byte 1 would start a code.
  const Result r = Import(MakeBook({std::string("one\0two", 7), std::string("\x01" "Bthree\0", 8), "four"}, 1));
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.text, "onetwoBthreefour");
  // Compressed records decode to the same bytes and drop them as well.
  const Result c = Import(MakeBook({std::string("ab\0\x01" "cd", 6)}, 2));
  ASSERT_TRUE(c.ok);
  EXPECT_EQ(c.text, "abcd");
}
