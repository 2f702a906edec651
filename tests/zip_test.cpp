// Tests of the ZIP archive reader: real archives from Info-ZIP zip, Python's
// zipfile and the third-party corpus against what unzip reports, the end-record
// search, positioning, name copying, reads and CRC checks, and broken archives.
#include <dirent.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "harness.h"
#include "platform/bytes.h"
#include "platform/keys.h"
#include "document/text.h"
#include "platform/font.h"
#include "zip/archive.h"
#include "zip/archive_load.h"

namespace {

std::string DataPath(const std::string& name) {
  return std::string(QUILLO_SOURCE_DIR) + "/tests/data/zip/" + name;
}
std::string CorpusPath(const std::string& name) { return std::string(QUILLO_CORPUS_DIR) + "/zip/" + name; }

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

bool FileExists(const std::string& path) { return std::ifstream(path).good(); }

// A bad central-directory record shows a message box that waits for a key: the
// script presses accept for each, and the polls taken count the boxes shown.
void ExpectBoxes(uint32_t boxes, uint32_t pollsBefore) { EXPECT_EQ(GpKeyScriptPolls() - pollsBefore, boxes); }

class ZipTest : public ::testing::Test {
 protected:
  void SetUp() override {
    StartTestPlatform();
    GpSetKeyScript({{KEY_ACCEPT, 1000000}});
    dir_ = MakeScratchDir("zip");
    ASSERT_FALSE(dir_.empty());
  }
  void TearDown() override { GpClearKeyScript(); }

  // Writes bytes as a scratch archive and returns its path.
  std::string Write(const std::string& name, const std::string& bytes) {
    std::string path = dir_ + "/" + name;
    EXPECT_TRUE(WriteTestFile(path, bytes.data(), bytes.size()));
    return path;
  }

  std::string dir_;
};

struct Listed {
  std::string name;
  ZipEntryInfo info;
};

// Every entry in central-directory order, through the calls the file dialog
// makes. Stops at the first positioning failure, whose code goes to *end.
std::vector<Listed> List(ZipArchive* archive, int* end) {
  std::vector<Listed> rows;
  int result = ArchiveFirstEntry(archive);
  while (result == ZIP_OK) {
    Listed row;
    char name[257] = {};
    EXPECT_EQ(ArchiveEntryInfo(archive, &row.info, name, 256), ZIP_OK);
    row.name = name;
    rows.push_back(row);
    result = ArchiveNextEntry(archive);
  }
  *end = result;
  return rows;
}

struct Read {
  int open = 0;
  int read = 0;
  int close = 0;
  std::string data;
};

// Opens the current entry and reads it whole with one call into a buffer of
// its uncompressed size plus one, as the loader does.
Read ReadCurrent(ZipArchive* archive) {
  Read r;
  ZipEntryInfo info;
  EXPECT_EQ(ArchiveEntryInfo(archive, &info, nullptr, 0), ZIP_OK);
  r.open = ArchiveOpenEntry(archive);
  if (r.open != ZIP_OK) return r;
  std::vector<char> buffer(info.uncompressedSize + 1);
  r.read = ArchiveReadEntry(archive, buffer.data(), info.uncompressedSize);
  EXPECT_LE(r.read, int(info.uncompressedSize));
  if (r.read > 0) r.data.assign(buffer.data(), size_t(r.read));
  r.close = ArchiveCloseEntry(archive);
  return r;
}

// Goes to entry index the way the recent-files chooser does.
int GoTo(ZipArchive* archive, int index) {
  int result = ArchiveFirstEntry(archive);
  for (int i = 0; i < index && result == ZIP_OK; i++) result = ArchiveNextEntry(archive);
  return result;
}

// The rows of an `unzip -l` listing: length and name. A row is the length
// right-aligned in 9 columns, two spaces, "YYYY-MM-DD HH:MM", three spaces and
// the name; comment lines and the totals do not have that shape.
std::vector<std::pair<uint32_t, std::string>> UnzipListing(const std::string& text) {
  std::vector<std::pair<uint32_t, std::string>> rows;
  std::istringstream in(text);
  std::string line;
  const std::string shape = "99-99-99 99:99   ";  // after the first two year digits
  while (std::getline(in, line)) {
    size_t i = line.find_first_not_of(' ');
    const size_t digits = i;
    while (i < line.size() && isdigit(static_cast<unsigned char>(line[i]))) i++;
    if (digits == std::string::npos || i == digits || line.compare(i, 2, "  ") != 0) continue;
    const size_t date = i + 2;
    bool ok = line.size() >= date + 2 + shape.size();
    for (size_t k = 0; ok && k < 2 + shape.size(); k++) {
      const char want = k < 2 ? '9' : shape[k - 2];
      const char c = line[date + k];
      ok = want == '9' ? isdigit(static_cast<unsigned char>(c)) != 0 : c == want;
    }
    if (ok) rows.emplace_back(uint32_t(std::stoul(line.substr(digits, i - digits))), line.substr(date + 2 + shape.size()));
  }
  return rows;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

// Offsets of the records of an archive, for tests that damage one field.
uint32_t EndRecordAt(const std::string& zip) { return uint32_t(zip.rfind(std::string("PK\x05\x06", 4))); }
uint32_t CentralRecordAt(const std::string& zip, int index) {
  size_t pos = GetLe32(reinterpret_cast<const uint8_t*>(zip.data()) + EndRecordAt(zip) + 16);
  for (int i = 0; i < index; i++) {
    const uint8_t* p = reinterpret_cast<const uint8_t*>(zip.data()) + pos;
    pos += 46 + GetLe16(p + 28) + GetLe16(p + 30) + GetLe16(p + 32);
  }
  return uint32_t(pos);
}
void Put32(std::string& zip, size_t at, uint32_t v) { PutLe32(reinterpret_cast<uint8_t*>(&zip[at]), v); }
void Put16(std::string& zip, size_t at, uint16_t v) { PutLe16(reinterpret_cast<uint8_t*>(&zip[at]), v); }

}  // namespace

// Each archive lists the names and sizes of `unzip -l`, in the same order, and
// every entry reads whole to the bytes of `unzip -p` with a matching CRC-32.
TEST_F(ZipTest, RealArchivesMatchUnzip) {
  struct Case {
    std::string path, expected;
    uint64_t bytesBefore;
  };
  std::vector<Case> cases = {
      {DataPath("infozip.zip"), "infozip", 0},         {DataPath("comment.zip"), "comment", 0},
      {DataPath("prefixed.zip"), "prefixed", 247},     {DataPath("prefixed-fixed.zip"), "prefixed-fixed", 0},
      {DataPath("streamed.zip"), "streamed", 0},
  };
  for (const char* name : {"test", "teststored", "testdeflated", "testdeflated2", "testdir", "testcomment",
                           "testcomment13", "firstsecond", "junk-at-end", "streamed", "cm-default",
                           "zipcmp_zip_dir", "testextrabytes", "testfile-stored-dos", "testfile-ef",
                           "testfile-long-comment", "incons-gap-before-cd", "incons-gap-before-local"})
    cases.push_back({CorpusPath(std::string(name) + ".zip"), std::string("corpus-") + name, 0});

  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    const std::string expected = DataPath("expected/" + c.expected + "/");
    const auto listing = UnzipListing(ReadFile(expected + "unzip-l.txt"));
    const auto names = Lines(ReadFile(expected + "names.txt"));
    ASSERT_FALSE(listing.empty());
    ASSERT_EQ(listing.size(), names.size());

    ZipArchive* archive = ArchiveOpen(c.path.c_str());
    ASSERT_NE(archive, nullptr);
    EXPECT_EQ(archive->bytesBefore, c.bytesBefore);
    EXPECT_EQ(archive->entryCount, listing.size());
    int end = 0;
    const auto rows = List(archive, &end);
    EXPECT_EQ(end, ZIP_END_OF_LIST);
    ASSERT_EQ(rows.size(), listing.size());
    for (size_t i = 0; i < rows.size(); i++) {
      SCOPED_TRACE(names[i]);
      EXPECT_EQ(rows[i].name, names[i]);
      EXPECT_EQ(rows[i].info.uncompressedSize, listing[i].first);
      // By index, as the recent-files chooser reaches an entry.
      ASSERT_EQ(GoTo(archive, int(i)), ZIP_OK);
      const Read r = ReadCurrent(archive);
      EXPECT_EQ(r.open, ZIP_OK);
      EXPECT_EQ(r.read, int(listing[i].first));
      EXPECT_EQ(r.close, ZIP_OK);
      const std::string bin = expected + std::to_string(i) + ".bin";
      EXPECT_EQ(r.data, FileExists(bin) ? ReadFile(bin) : std::string());
    }
    EXPECT_EQ(ArchiveClose(archive), ZIP_OK);
  }
}

TEST_F(ZipTest, WriterDetailsSurviveReading) {
  // Python's zipfile on a pipe: bit 3 set, zero CRC and sizes in the local
  // headers, yet every entry opens (already read whole above).
  const std::string streamed = ReadFile(DataPath("streamed.zip"));
  EXPECT_EQ(GetLe16(reinterpret_cast<const uint8_t*>(streamed.data()) + 6) & 8, 8);
  EXPECT_EQ(GetLe32(reinterpret_cast<const uint8_t*>(streamed.data()) + 14), 0u);
  ZipArchive* archive = ArchiveOpen(DataPath("streamed.zip").c_str());
  ASSERT_NE(archive, nullptr);
  ASSERT_EQ(ArchiveFirstEntry(archive), ZIP_OK);
  ZipEntryInfo info;
  ASSERT_EQ(ArchiveEntryInfo(archive, &info, nullptr, 0), ZIP_OK);
  EXPECT_EQ(info.flags & 8, 8u);
  EXPECT_EQ(info.method, 8u);
  ArchiveClose(archive);

  // The comment is kept; stored and deflated entries sit side by side.
  archive = ArchiveOpen(DataPath("comment.zip").c_str());
  ASSERT_NE(archive, nullptr);
  EXPECT_EQ(archive->commentLength, 46u);
  ASSERT_EQ(GoTo(archive, 5), ZIP_OK);
  EXPECT_EQ(archive->info.method, 0u);
  ArchiveClose(archive);

  // An archive of one 4 MB entry deflated from a zip of zeros: read whole,
  // CRC-checked on close.
  archive = ArchiveOpen(CorpusPath("bigzero-zip.zip").c_str());
  ASSERT_NE(archive, nullptr);
  ASSERT_EQ(ArchiveFirstEntry(archive), ZIP_OK);
  const Read r = ReadCurrent(archive);
  EXPECT_EQ(r.read, 4168377);
  EXPECT_EQ(r.close, ZIP_OK);
  ArchiveClose(archive);
}

TEST_F(ZipTest, EmptyArchives) {
  const uint32_t polls = GpKeyScriptPolls();
  // The end record at byte 0 counts as not found.
  EXPECT_EQ(ArchiveOpen(DataPath("empty.zip").c_str()), nullptr);
  EXPECT_EQ(ArchiveOpen(CorpusPath("testempty.zip").c_str()), nullptr);
  // Behind a prefix it opens, with nothing to list and no error to show.
  ZipArchive* archive = ArchiveOpen(DataPath("empty-prefixed.zip").c_str());
  ASSERT_NE(archive, nullptr);
  EXPECT_EQ(archive->entryCount, 0u);
  EXPECT_EQ(archive->bytesBefore, 247u);
  EXPECT_EQ(ArchiveFirstEntry(archive), ZIP_END_OF_LIST);
  EXPECT_EQ(ArchiveNextEntry(archive), ZIP_END_OF_LIST);
  EXPECT_EQ(ArchiveOpenEntry(archive), ZIP_PARAM_ERROR);
  EXPECT_EQ(ArchiveEntryInfo(archive, nullptr, nullptr, 0), ZIP_PARAM_ERROR);
  ArchiveClose(archive);
  ExpectBoxes(0, polls);
}

TEST_F(ZipTest, EndRecordSearch) {
  EXPECT_EQ(ArchiveOpen((dir_ + "/missing.zip").c_str()), nullptr);
  EXPECT_EQ(ArchiveOpen(Write("zero.zip", "").c_str()), nullptr);
  EXPECT_EQ(ArchiveOpen(Write("four.zip", std::string("PK\x05\x06", 4)).c_str()), nullptr);
  EXPECT_EQ(ArchiveOpen(CorpusPath("short").c_str()), nullptr);
  EXPECT_EQ(ArchiveOpen(CorpusPath("bogus.zip").c_str()), nullptr);
  EXPECT_EQ(ArchiveOpen(CorpusPath("testfile-truncated.zip").c_str()), nullptr);
  EXPECT_EQ(ArchiveOpen(CorpusPath("incons-eocd-magic-bad.zip").c_str()), nullptr);
  EXPECT_EQ(ArchiveOpen(CorpusPath("multidisk.zip").c_str()), nullptr);

  // Junk after the end record moves the signature across the 1024-byte steps
  // of the search (the reads overlap by 4 bytes): it is found at every place
  // up to 65535 bytes from the end, and not beyond.
  const std::string zip = ReadFile(DataPath("infozip.zip"));
  std::vector<size_t> junkSizes;
  for (size_t j = 990; j <= 1030; j++) junkSizes.push_back(j);
  for (size_t j = 2030; j <= 2060; j++) junkSizes.push_back(j);
  junkSizes.push_back(0);
  junkSizes.push_back(65513);
  for (size_t junk : junkSizes) {
    ZipArchive* archive = ArchiveOpen(Write("junk.zip", zip + std::string(junk, 'j')).c_str());
    EXPECT_NE(archive, nullptr) << junk;
    if (archive) ArchiveClose(archive);
  }
  EXPECT_EQ(ArchiveOpen(Write("junk.zip", zip + std::string(65514, 'j')).c_str()), nullptr);
  // So does a comment long enough to push the record out of reach.
  std::string hidden = zip;
  Put16(hidden, EndRecordAt(hidden) + 20, 65535);
  EXPECT_EQ(ArchiveOpen(Write("hidden.zip", hidden + std::string(65535, 'c')).c_str()), nullptr);

  // Of two end records in range the one nearest the end is taken: a complete
  // archive inside the comment of another is the one listed...
  ZipArchive* archive = ArchiveOpen(CorpusPath("zip-in-archive-comment.zip").c_str());
  ASSERT_NE(archive, nullptr);
  EXPECT_EQ(archive->endRecordPos, 245u);
  ArchiveClose(archive);
  // ...and a stray signature in the comment spoils the archive.
  std::string stray = zip;
  const std::string tail = std::string("PK\x05\x06\x01\x00", 6) + std::string(16, '\0');
  Put16(stray, EndRecordAt(stray) + 20, uint16_t(tail.size()));
  EXPECT_EQ(ArchiveOpen(Write("stray.zip", stray + tail).c_str()), nullptr);
}

TEST_F(ZipTest, Positioning) {
  EXPECT_EQ(ArchiveClose(nullptr), ZIP_PARAM_ERROR);
  EXPECT_EQ(ArchiveFirstEntry(nullptr), ZIP_PARAM_ERROR);
  EXPECT_EQ(ArchiveNextEntry(nullptr), ZIP_PARAM_ERROR);
  EXPECT_EQ(ArchiveEntryInfo(nullptr, nullptr, nullptr, 0), ZIP_PARAM_ERROR);
  EXPECT_EQ(ArchiveOpenEntry(nullptr), ZIP_PARAM_ERROR);
  EXPECT_EQ(ArchiveReadEntry(nullptr, nullptr, 1), ZIP_PARAM_ERROR);
  EXPECT_EQ(ArchiveCloseEntry(nullptr), ZIP_PARAM_ERROR);

  ZipArchive* archive = ArchiveOpen(DataPath("infozip.zip").c_str());
  ASSERT_NE(archive, nullptr);
  // Nothing is current before ArchiveFirstEntry.
  EXPECT_EQ(ArchiveNextEntry(archive), ZIP_END_OF_LIST);
  EXPECT_EQ(ArchiveEntryInfo(archive, nullptr, nullptr, 0), ZIP_PARAM_ERROR);
  EXPECT_EQ(ArchiveOpenEntry(archive), ZIP_PARAM_ERROR);
  EXPECT_EQ(ArchiveCloseEntry(archive), ZIP_PARAM_ERROR);
  char buffer[8];
  EXPECT_EQ(ArchiveReadEntry(archive, buffer, sizeof(buffer)), ZIP_PARAM_ERROR);

  // The last entry stays current after ZIP_END_OF_LIST.
  ASSERT_EQ(GoTo(archive, 5), ZIP_OK);
  EXPECT_EQ(ArchiveNextEntry(archive), ZIP_END_OF_LIST);
  EXPECT_EQ(ArchiveNextEntry(archive), ZIP_END_OF_LIST);
  char name[256];
  ASSERT_EQ(ArchiveEntryInfo(archive, nullptr, name, sizeof(name)), ZIP_OK);
  EXPECT_STREQ(name, "docs/printer.txt");
  EXPECT_EQ(archive->entryNumber, 5u);
  // Going back to the start works at any time.
  ASSERT_EQ(ArchiveFirstEntry(archive), ZIP_OK);
  ASSERT_EQ(ArchiveEntryInfo(archive, nullptr, name, sizeof(name)), ZIP_OK);
  EXPECT_STREQ(name, "book.txt");
  ArchiveClose(archive);
}

TEST_F(ZipTest, NameBufferBounds) {
  ZipArchive* archive = ArchiveOpen(DataPath("infozip.zip").c_str());
  ASSERT_NE(archive, nullptr);
  ASSERT_EQ(ArchiveFirstEntry(archive), ZIP_OK);  // "book.txt", 8 bytes
  char name[16];
  memset(name, '#', sizeof(name));
  ASSERT_EQ(ArchiveEntryInfo(archive, nullptr, name, 9), ZIP_OK);
  EXPECT_STREQ(name, "book.txt");
  // As long as the buffer: filled, no terminator, nothing beyond touched.
  memset(name, '#', sizeof(name));
  ASSERT_EQ(ArchiveEntryInfo(archive, nullptr, name, 8), ZIP_OK);
  EXPECT_EQ(std::string(name, 9), "book.txt#");
  memset(name, '#', sizeof(name));
  ASSERT_EQ(ArchiveEntryInfo(archive, nullptr, name, 3), ZIP_OK);
  EXPECT_EQ(std::string(name, 4), "boo#");
  ArchiveClose(archive);

  // A name of 300 bytes into the callers' 256-byte buffer.
  const std::string longName(300, 'n');
  std::string zip;
  {
    // streamed.zip's first entry, renamed in both headers.
    const std::string src = ReadFile(DataPath("streamed.zip"));
    const uint8_t* p = reinterpret_cast<const uint8_t*>(src.data());
    const uint32_t cd = CentralRecordAt(src, 0), cd1 = CentralRecordAt(src, 1);
    const uint32_t localNameLength = GetLe16(p + 26);
    const uint32_t dataStart = 30 + localNameLength + GetLe16(p + 28);
    const uint32_t next = GetLe32(p + cd1 + 42);  // the second entry's local header
    std::string local = src.substr(0, 30) + longName + src.substr(dataStart, next - dataStart);
    Put16(local, 26, uint16_t(longName.size()));
    Put16(local, 28, 0);
    std::string central = src.substr(cd, 46) + longName;
    Put16(central, 28, uint16_t(longName.size()));
    Put16(central, 30, 0);
    Put16(central, 32, 0);
    std::string end = src.substr(EndRecordAt(src), 22);
    Put16(end, 8, 1);
    Put16(end, 10, 1);
    Put32(end, 12, uint32_t(central.size()));
    Put32(end, 16, uint32_t(local.size()));
    zip = local + central + end;
  }
  archive = ArchiveOpen(Write("long.zip", zip).c_str());
  ASSERT_NE(archive, nullptr);
  ASSERT_EQ(ArchiveFirstEntry(archive), ZIP_OK);
  char big[260];
  memset(big, '#', sizeof(big));
  ASSERT_EQ(ArchiveEntryInfo(archive, nullptr, big, 256), ZIP_OK);
  EXPECT_EQ(std::string(big, 256), longName.substr(0, 256));
  EXPECT_EQ(big[256], '#');
  const Read r = ReadCurrent(archive);
  EXPECT_EQ(r.close, ZIP_OK);
  EXPECT_EQ(r.data, ReadFile(DataPath("src/book.txt")));
  ArchiveClose(archive);
}

TEST_F(ZipTest, ReadLengths) {
  const std::string book = ReadFile(DataPath("src/book.txt"));
  const std::string printer = ReadFile(DataPath("src/docs/printer.txt"));
  ZipArchive* archive = ArchiveOpen(DataPath("prefixed.zip").c_str());
  ASSERT_NE(archive, nullptr);
  for (int index : {0, 5}) {  // deflated, stored
    SCOPED_TRACE(index);
    const std::string& expected = index == 0 ? book : printer;
    ASSERT_EQ(GoTo(archive, index), ZIP_OK);
    // Longer than the entry: only the entry's bytes, then 0.
    ASSERT_EQ(ArchiveOpenEntry(archive), ZIP_OK);
    std::vector<char> buffer(expected.size() + 100, '#');
    EXPECT_EQ(ArchiveReadEntry(archive, buffer.data(), uint32_t(buffer.size())), int(expected.size()));
    EXPECT_EQ(std::string(buffer.data(), expected.size()), expected);
    EXPECT_EQ(buffer[expected.size()], '#');
    EXPECT_EQ(ArchiveReadEntry(archive, buffer.data(), uint32_t(buffer.size())), 0);
    EXPECT_EQ(ArchiveReadEntry(archive, buffer.data(), 0), 0);
    EXPECT_EQ(ArchiveCloseEntry(archive), ZIP_OK);
    EXPECT_EQ(ArchiveCloseEntry(archive), ZIP_PARAM_ERROR);

    // In small pieces, with the file moved by a record read between pieces.
    ASSERT_EQ(ArchiveOpenEntry(archive), ZIP_OK);
    std::string pieces;
    for (;;) {
      char piece[7];
      const int n = ArchiveReadEntry(archive, piece, sizeof(piece));
      ASSERT_GE(n, 0);
      if (n == 0) break;
      pieces.append(piece, size_t(n));
      ASSERT_EQ(ArchiveEntryInfo(archive, nullptr, nullptr, 0), ZIP_OK);
    }
    EXPECT_EQ(pieces, expected);
    // Opening again closes the open entry first and starts from the top.
    ASSERT_EQ(ArchiveOpenEntry(archive), ZIP_OK);
    char first[4];
    ASSERT_EQ(ArchiveReadEntry(archive, first, 4), 4);
    EXPECT_EQ(std::string(first, 4), expected.substr(0, 4));
  }
  // Closing the archive closes the open entry too (leaks show in the sanitizer build).
  EXPECT_EQ(ArchiveClose(archive), ZIP_OK);
}

TEST_F(ZipTest, CrcCheckedOnlyWhenReadToTheEnd) {
  std::string zip = ReadFile(DataPath("infozip.zip"));
  // The stored entry: damage one byte of its data.
  const uint8_t* p = reinterpret_cast<const uint8_t*>(zip.data());
  const uint32_t local = GetLe32(p + CentralRecordAt(zip, 5) + 42);
  const uint32_t data = local + 30 + GetLe16(p + local + 26) + GetLe16(p + local + 28);
  zip[data + 10] ^= 0x20;
  ZipArchive* archive = ArchiveOpen(Write("crc.zip", zip).c_str());
  ASSERT_NE(archive, nullptr);
  ASSERT_EQ(GoTo(archive, 5), ZIP_OK);
  const Read r = ReadCurrent(archive);
  EXPECT_EQ(r.read, 51);
  EXPECT_EQ(r.close, ZIP_CRC_ERROR);
  ASSERT_EQ(ArchiveOpenEntry(archive), ZIP_OK);
  char part[20];
  EXPECT_EQ(ArchiveReadEntry(archive, part, sizeof(part)), 20);
  EXPECT_EQ(ArchiveCloseEntry(archive), ZIP_OK);
  ArchiveClose(archive);

  // The corpus's broken.zip: bad CRC stored and deflated, corrupt deflate
  // data (zlib's code comes back), and an encrypted entry that is refused.
  archive = ArchiveOpen(CorpusPath("broken.zip").c_str());
  ASSERT_NE(archive, nullptr);
  int end = 0;
  const auto rows = List(archive, &end);
  ASSERT_EQ(rows.size(), 6u);
  const int expectRead[] = {10240, 10240, 43133, 43133, Z_DATA_ERROR, 0};
  const int expectClose[] = {ZIP_OK, ZIP_CRC_ERROR, ZIP_OK, ZIP_CRC_ERROR, ZIP_OK, 0};
  for (int i = 0; i < 6; i++) {
    SCOPED_TRACE(rows[size_t(i)].name);
    ASSERT_EQ(GoTo(archive, i), ZIP_OK);
    const Read e = ReadCurrent(archive);
    if (i == 5) {
      EXPECT_EQ(e.open, ZIP_BAD_ARCHIVE);
      continue;
    }
    EXPECT_EQ(e.read, expectRead[i]);
    EXPECT_EQ(e.close, expectClose[i]);
  }
  ArchiveClose(archive);
}

// Damaged figures: every one gives its code, none reads or seeks outside the
// file or its buffers (the sanitizer build checks the buffers).
TEST_F(ZipTest, BrokenDirectoryFigures) {
  const std::string zip = ReadFile(DataPath("infozip.zip"));
  const uint32_t eocd = EndRecordAt(zip);

  // Central directory outside the file, or sizes that would wrap around.
  for (uint32_t offset : {0xFFFFFFF0u, 0x7FFFFFFFu, uint32_t(zip.size())}) {
    std::string bad = zip;
    Put32(bad, eocd + 16, offset);
    EXPECT_EQ(ArchiveOpen(Write("cd.zip", bad).c_str()), nullptr) << offset;
  }
  std::string bad = zip;
  Put32(bad, eocd + 12, 0xFFFFFFFF);
  EXPECT_EQ(ArchiveOpen(Write("cdsize.zip", bad).c_str()), nullptr);
  bad = zip;
  Put16(bad, eocd + 8, 5);  // entries on this disk differ from the total
  EXPECT_EQ(ArchiveOpen(Write("disk.zip", bad).c_str()), nullptr);

  // More entries announced than the directory holds: the record after the
  // last is the end record, a bad signature, shown in a message box.
  bad = zip;
  Put16(bad, eocd + 8, 7);
  Put16(bad, eocd + 10, 7);
  ZipArchive* archive = ArchiveOpen(Write("count.zip", bad).c_str());
  ASSERT_NE(archive, nullptr);
  uint32_t polls = GpKeyScriptPolls();
  int end = 0;
  EXPECT_EQ(List(archive, &end).size(), 6u);
  EXPECT_EQ(end, ZIP_BAD_ARCHIVE);
  ExpectBoxes(1, polls);
  // The failed positioning leaves no current entry.
  EXPECT_EQ(ArchiveNextEntry(archive), ZIP_END_OF_LIST);
  EXPECT_EQ(ArchiveOpenEntry(archive), ZIP_PARAM_ERROR);
  ArchiveClose(archive);
  archive = ArchiveOpen(CorpusPath("incons-file-count-high.zip").c_str());
  ASSERT_NE(archive, nullptr);
  polls = GpKeyScriptPolls();
  EXPECT_EQ(List(archive, &end).size(), 1u);
  EXPECT_EQ(end, ZIP_BAD_ARCHIVE);
  ExpectBoxes(1, polls);
  ArchiveClose(archive);
  // A directory record cut off by the end of the file.
  bad = zip.substr(0, CentralRecordAt(zip, 5) + 20);
  bad += zip.substr(eocd);
  Put32(bad, bad.size() - 22 + 12, uint32_t(bad.size() - 22 - CentralRecordAt(zip, 0)));
  archive = ArchiveOpen(Write("cdcut.zip", bad).c_str());
  ASSERT_NE(archive, nullptr);
  polls = GpKeyScriptPolls();
  EXPECT_EQ(List(archive, &end).size(), 5u);
  EXPECT_NE(end, ZIP_OK);
  ExpectBoxes(1, polls);
  ArchiveClose(archive);

  // A local header offset beyond the file.
  bad = zip;
  Put32(bad, CentralRecordAt(bad, 0) + 42, 0xFFFFFFF0);
  archive = ArchiveOpen(Write("local.zip", bad).c_str());
  ASSERT_NE(archive, nullptr);
  ASSERT_EQ(ArchiveFirstEntry(archive), ZIP_OK);
  EXPECT_EQ(ArchiveOpenEntry(archive), ZIP_BAD_ARCHIVE);
  ArchiveClose(archive);
}

TEST_F(ZipTest, BrokenEntrySizes) {
  // streamed.zip's local headers hold no sizes (bit 3), so the central
  // directory's figures alone decide. Entry 0 deflated (1942 bytes), entry 1
  // stored (224 bytes).
  const std::string zip = ReadFile(DataPath("streamed.zip"));
  const std::string book = ReadFile(DataPath("src/book.txt"));
  const std::string notes = ReadFile(DataPath("src/docs/notes.txt"));
  struct Case {
    int index;
    int field;  // 20 compressed size, 24 uncompressed size
    uint32_t value;
    int open, read;
    std::string data;
  };
  const uint32_t maxSize = ZIP_MAX_ENTRY_SIZE;
  const Case cases[] = {
      {0, 24, 0xFFFFFFFF, ZIP_BAD_ARCHIVE, 0, ""},
      {0, 24, maxSize + 1, ZIP_BAD_ARCHIVE, 0, ""},
      {0, 20, 0xFFFFFFFF, ZIP_BAD_ARCHIVE, 0, ""},
      {1, 20, 0xFFFFFFFF, ZIP_BAD_ARCHIVE, 0, ""},
      {1, 24, 0xFFFFFFFF, ZIP_BAD_ARCHIVE, 0, ""},
      // Stored, compressed size short of the uncompressed size: the read ends
      // with what the data holds.
      {1, 24, 300, ZIP_OK, 224, notes},
      {1, 20, 100, ZIP_OK, 100, notes.substr(0, 100)},
      // Deflated, recorded size beyond the stream's end: the stream's bytes.
      {0, 24, 5000, ZIP_OK, 1942, book},
      // Deflated data cut short: what inflated before the data ran out.
      {0, 20, 200, ZIP_OK, -1, ""},
      {0, 20, 0, ZIP_OK, 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.index << "@" << c.field << "=" << c.value);
    std::string bad = zip;
    Put32(bad, CentralRecordAt(bad, c.index) + uint32_t(c.field), c.value);
    ZipArchive* archive = ArchiveOpen(Write("size.zip", bad).c_str());
    ASSERT_NE(archive, nullptr);
    ASSERT_EQ(GoTo(archive, c.index), ZIP_OK);
    const Read r = ReadCurrent(archive);
    EXPECT_EQ(r.open, c.open);
    if (c.open == ZIP_OK) {
      if (c.read >= 0) {
        EXPECT_EQ(r.read, c.read);
        EXPECT_EQ(r.data, c.data);
      } else {
        EXPECT_GT(r.read, 0);
        EXPECT_LT(r.read, 1942);
        EXPECT_EQ(r.data, book.substr(0, r.data.size()));
      }
      // Nothing further turns up, and nothing waits.
      ASSERT_EQ(ArchiveOpenEntry(archive), ZIP_OK);
      std::vector<char> buffer(8192);
      int total = 0, n = 0;
      while ((n = ArchiveReadEntry(archive, buffer.data(), 1000)) > 0) total += n;
      EXPECT_EQ(n, 0);
      EXPECT_EQ(total, r.read);
      ArchiveCloseEntry(archive);
    }
    ArchiveClose(archive);
  }
}

TEST_F(ZipTest, LocalHeaderChecks) {
  // Corpus archives whose local header disagrees with the directory, or whose
  // method is not stored or deflated: the entry does not open.
  for (const char* name : {"incons-central-compression-method.zip", "incons-central-compsize-larger.zip",
                           "incons-central-compsize-smaller.zip", "incons-central-crc.zip",
                           "incons-central-size-larger.zip", "incons-local-compression-method.zip",
                           "incons-local-crc.zip", "incons-local-filename-missing.zip",
                           "incons-local-magic-bad.zip", "incons-central-compsize-larger-toolarge.zip",
                           "testbzip2.zip", "testfile-lzma.zip", "testfile-xz.zip", "testfile-zstd.zip"}) {
    SCOPED_TRACE(name);
    ZipArchive* archive = ArchiveOpen(CorpusPath(name).c_str());
    ASSERT_NE(archive, nullptr);
    ASSERT_EQ(ArchiveFirstEntry(archive), ZIP_OK);
    EXPECT_EQ(ArchiveOpenEntry(archive), ZIP_BAD_ARCHIVE);
    EXPECT_EQ(archive->entry, nullptr);
    ArchiveClose(archive);
  }
  // Data prepended without fixing the offsets is found through the correction.
  ZipArchive* archive = ArchiveOpen(CorpusPath("junk-at-start.zip").c_str());
  ASSERT_NE(archive, nullptr);
  EXPECT_EQ(archive->bytesBefore, 4u);
  ASSERT_EQ(GoTo(archive, 2), ZIP_OK);
  const Read r = ReadCurrent(archive);
  EXPECT_EQ(r.read, 5);
  EXPECT_EQ(r.close, ZIP_OK);
  ArchiveClose(archive);
}

// Cuts: the file cut at a dozen points loses its end record and does not
// open; the data cut with the directory kept (and moved up) gives errors for
// the entries it damaged and the right bytes for the others.
TEST_F(ZipTest, TruncatedArchives) {
  const std::string zip = ReadFile(DataPath("infozip.zip"));
  const uint32_t cd = CentralRecordAt(zip, 0);
  const std::string tail = zip.substr(cd);
  const std::string book = ReadFile(DataPath("src/book.txt"));
  for (size_t cut : {size_t(1), size_t(4), size_t(29), size_t(30), size_t(100), size_t(700), size_t(cd - 1),
                     size_t(cd + 46), size_t(zip.size() - 22), size_t(zip.size() - 10), size_t(zip.size() - 1)}) {
    EXPECT_EQ(ArchiveOpen(Write("cut.zip", zip.substr(0, cut)).c_str()), nullptr) << cut;
  }
  const uint8_t* p = reinterpret_cast<const uint8_t*>(zip.data());
  const uint32_t bookEnd = 30 + GetLe16(p + 26) + GetLe16(p + 28) + GetLe32(p + 18);
  for (uint32_t keep : {0u, 10u, 30u, 38u, 200u, 600u, bookEnd - 16, bookEnd - 1, bookEnd, bookEnd + 40, cd - 60, cd - 1}) {
    SCOPED_TRACE(keep);
    std::string bad = zip.substr(0, keep) + tail;
    Put32(bad, bad.size() - 22 + 16, keep);
    ZipArchive* archive = ArchiveOpen(Write("hole.zip", bad).c_str());
    ASSERT_NE(archive, nullptr);
    for (int i = 0; i < 6; i++) {
      ASSERT_EQ(GoTo(archive, i), ZIP_OK);
      const Read r = ReadCurrent(archive);
      if (i == 0 && keep >= bookEnd) {
        EXPECT_EQ(r.data, book);
        EXPECT_EQ(r.close, ZIP_OK);
      }
      // (The last byte or two of a deflate stream may be matched by chance.)
      if (i == 0 && keep + 16 <= bookEnd) {
        EXPECT_FALSE(r.open == ZIP_OK && r.close == ZIP_OK && r.data == book);
      }
    }
    ArchiveClose(archive);
  }
}

// Every archive of the third-party corpus, however broken: open, list, read every
// entry; results stay within their codes and buffers.
TEST_F(ZipTest, WholeCorpusFailsGracefully) {
  std::vector<std::string> names;
  DIR* dir = opendir(CorpusPath("").c_str());
  ASSERT_NE(dir, nullptr);
  while (dirent* e = readdir(dir))
    if (e->d_name[0] != '.' && std::string(e->d_name) != "SOURCES.md") names.push_back(e->d_name);
  closedir(dir);
  EXPECT_GE(names.size(), 79u);
  const int codes[] = {ZIP_OK, ZIP_ERRNO, ZIP_END_OF_LIST, ZIP_BAD_ARCHIVE, ZIP_CRC_ERROR, Z_DATA_ERROR};
  int opened = 0;
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    ZipArchive* archive = ArchiveOpen(CorpusPath(name).c_str());
    if (!archive) continue;
    opened++;
    int end = 0;
    const auto rows = List(archive, &end);
    EXPECT_TRUE(end == ZIP_END_OF_LIST || end == ZIP_BAD_ARCHIVE || end == ZIP_ERRNO) << end;
    for (size_t i = 0; i < rows.size(); i++) {
      ASSERT_EQ(GoTo(archive, int(i)), ZIP_OK);
      const Read r = ReadCurrent(archive);
      EXPECT_NE(std::find(std::begin(codes), std::end(codes), r.open), std::end(codes));
      if (r.open != ZIP_OK) continue;
      EXPECT_LE(r.read, int(rows[i].info.uncompressedSize));
      if (r.read < 0) {
        EXPECT_NE(std::find(std::begin(codes), std::end(codes), r.read), std::end(codes));
      }
      EXPECT_TRUE(r.close == ZIP_OK || r.close == ZIP_CRC_ERROR);
    }
    EXPECT_EQ(ArchiveClose(archive), ZIP_OK);
  }
  EXPECT_GT(opened, 60);
}

// An entry loaded as the document, by index or by name: its bytes become the
// formatted text and its base name the document's name.
TEST_F(ZipTest, LoadEntryAsDocument) {
  InitFonts();
  Text* text = CreateText(TEXT_LAYOUT_WIDTH);
  ASSERT_NE(text, nullptr);
  text->font = &FontSmall;
  const std::string notes = ReadFile(DataPath("src/docs/notes.txt"));

  ZipArchive* archive = ArchiveOpen(DataPath("prefixed.zip").c_str());
  ASSERT_NE(archive, nullptr);
  uint32_t index = 99;
  ASSERT_EQ(ArchiveFindEntry(archive, "docs/notes.txt", &index), ZIP_OK);
  EXPECT_EQ(index, 2u);
  EXPECT_EQ(ArchiveFindEntry(archive, "notes.txt", &index), ZIP_END_OF_LIST);
  EXPECT_EQ(ArchiveGoToEntry(archive, 6), ZIP_END_OF_LIST);
  ASSERT_EQ(ArchiveGoToEntry(archive, 2), ZIP_OK);
  EXPECT_EQ(ArchiveLoadEntry(text, archive), ZIP_OK);
  EXPECT_STREQ(text->name, "notes.txt");
  ASSERT_NE(text->text, nullptr);
  EXPECT_EQ(std::string(text->text), notes);
  EXPECT_GT(text->lineCount, 3);
  EXPECT_EQ(archive->entry, nullptr);
  ArchiveClose(archive);

  // Through the path forms the page renderer takes.
  const std::string zip = DataPath("infozip.zip");
  ASSERT_EQ(LoadFileOrArchiveEntry(text, (zip + "#0").c_str()), 1);
  EXPECT_STREQ(text->name, "book.txt");
  EXPECT_EQ(std::string(text->text).substr(0, 31), "The Lighthouse Keeper's Almanac");
  ASSERT_EQ(LoadFileOrArchiveEntry(text, (zip + "#docs/deep/inner.txt").c_str()), 1);
  EXPECT_STREQ(text->name, "inner.txt");
  EXPECT_EQ(LoadFileOrArchiveEntry(text, (zip + "#6").c_str()), 0);
  EXPECT_EQ(LoadFileOrArchiveEntry(text, (zip + "#missing.txt").c_str()), 0);
  EXPECT_STREQ(text->name, "inner.txt");  // a failed load leaves the document
  // A file whose own name holds "#" is a plain file.
  const std::string hashed = Write("a#1.txt", "plain text\n");
  ASSERT_EQ(LoadFileOrArchiveEntry(text, hashed.c_str()), 1);
  EXPECT_EQ(std::string(text->text), "plain text\n");

  // Corrupt deflate data is not loaded; a CRC failure loads, and says so.
  archive = ArchiveOpen(CorpusPath("broken.zip").c_str());
  ASSERT_NE(archive, nullptr);
  ASSERT_EQ(ArchiveGoToEntry(archive, 4), ZIP_OK);
  EXPECT_EQ(ArchiveLoadEntry(text, archive), Z_DATA_ERROR);
  EXPECT_EQ(std::string(text->text), "plain text\n");
  ASSERT_EQ(ArchiveGoToEntry(archive, 1), ZIP_OK);
  EXPECT_EQ(ArchiveLoadEntry(text, archive), ZIP_CRC_ERROR);
  EXPECT_STREQ(text->name, "storedcrcerror");
  ArchiveClose(archive);
  ReleaseText(text);
}

// A damaged entry keeps what was read on screen and says so once.
TEST_F(ZipTest, DamagedEntriesShowWhatWasReadAndTellTheReader) {
  InitFonts();
  Text* text = CreateText(TEXT_LAYOUT_WIDTH);
  ASSERT_NE(text, nullptr);
  text->font = &FontSmall;
  const std::string zip = ReadFile(DataPath("infozip.zip"));
  const uint32_t central = CentralRecordAt(zip, 0);
  const uint32_t local = GetLe32(reinterpret_cast<const uint8_t*>(zip.data()) + central + 42);

  // A recorded CRC that does not match: the entry loads, with the message.
  std::string bad = zip;
  Put32(bad, central + 16, 0x12345678);
  Put32(bad, local + 14, 0x12345678);
  uint32_t polls = GpKeyScriptPolls();
  ASSERT_EQ(LoadFileOrArchiveEntry(text, (Write("crc.zip", bad) + "#0").c_str()), 1);
  ExpectBoxes(1, polls);
  ASSERT_NE(text->text, nullptr);
  EXPECT_EQ(std::string(text->text).substr(0, 31), "The Lighthouse Keeper's Almanac");

  // Deflated data that ends early: the part that inflates is kept.
  bad = zip;
  Put32(bad, central + 20, 300);
  Put32(bad, local + 18, 300);
  polls = GpKeyScriptPolls();
  LoadFileOrArchiveEntry(text, (Write("short.zip", bad) + "#0").c_str());
  ExpectBoxes(1, polls);
  ASSERT_NE(text->text, nullptr);
  EXPECT_EQ(std::string(text->text).substr(0, 31), "The Lighthouse Keeper's Almanac");
  EXPECT_LT(std::strlen(text->text), 1942u);

  // A sound entry shows no message.
  polls = GpKeyScriptPolls();
  ASSERT_EQ(LoadFileOrArchiveEntry(text, (DataPath("infozip.zip") + "#0").c_str()), 1);
  ExpectBoxes(0, polls);
  ReleaseText(text);
}

// An entry of 64 MB of line feeds in a 65 KB archive (made by
// scripts/make-fixtures-limits.sh) is read up to the text limit, laid out up
// to the line limit, and says so once.
TEST_F(ZipTest, LargeEntryStopsAtTheDocumentLimits) {
  InitFonts();
  Text* text = CreateText(TEXT_LAYOUT_WIDTH);
  ASSERT_NE(text, nullptr);
  text->font = &FontSmall;
  const std::string zip = std::string(QUILLO_SOURCE_DIR) + "/tests/data/limits/line-feeds.zip";
  const uint32_t polls = GpKeyScriptPolls();
  ASSERT_EQ(LoadFileOrArchiveEntry(text, (zip + "#0").c_str()), 1);
  ExpectBoxes(1, polls);
  ASSERT_NE(text->text, nullptr);
  EXPECT_LT(std::strlen(text->text), size_t(TEXT_MAX_BYTES));
  EXPECT_EQ(text->lineCount, TEXT_MAX_LINES);
  EXPECT_GT(DocumentHeight(text), 0);
  ReleaseText(text);
}
