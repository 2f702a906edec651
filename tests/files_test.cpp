// The file service: result codes, path mapping, folder listing slices, safe
// rewrites and the delays on the virtual clock.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "harness.h"
#include "platform/files.h"
#include "platform/trace.h"

namespace {

TEST(Files, MapPathCutsExactlyTheConsolePrefix) {
  EXPECT_STREQ(MapPath("gp:\\books\\a.txt"), "books\\a.txt");
  EXPECT_STREQ(MapPath("gp:\\"), "");
  EXPECT_STREQ(MapPath("gp:"), "gp:");
  EXPECT_STREQ(MapPath("gp:/x"), "gp:/x");
  EXPECT_STREQ(MapPath("/mnt/sd/gp:\\x"), "/mnt/sd/gp:\\x");
}

TEST(Files, ResultCodesOfTheFileCalls) {
  StartTestPlatform();
  const std::string dir = MakeScratchDir("files");
  const std::string path = dir + "/a.bin";
  int h = 0;
  uint32_t got = 99;
  char buf[16];
  EXPECT_EQ(GpFileOpen(nullptr, 1, &h), FAT_BAD_ARGUMENT);
  EXPECT_EQ(GpFileOpen(path.c_str(), 1, nullptr), FAT_BAD_ARGUMENT);
  EXPECT_EQ(GpFileOpen(path.c_str(), 1, &h), FAT_OPEN_FAILED);
  EXPECT_EQ(h, -1);
  int32_t size = 0;
  EXPECT_EQ(GpFileGetSize(path.c_str(), &size), FAT_NOT_FOUND);
  FileAttr attr;
  EXPECT_EQ(GpFileGetAttr(path.c_str(), &attr), FAT_NOT_FOUND);
  EXPECT_EQ(GpFileClose(0), FAT_BAD_HANDLE);
  EXPECT_EQ(GpFileRead(0, buf, 1, &got), FAT_BAD_HANDLE);
  EXPECT_EQ(GpFileWrite(0, buf, 1), FAT_BAD_HANDLE);

  ASSERT_EQ(GpFileCreate(path.c_str(), 1, &h), FAT_OK);
  EXPECT_EQ(GpFileWrite(h, "hello", 5), FAT_OK);
  EXPECT_EQ(GpFileWrite(h, nullptr, 5), FAT_BAD_ARGUMENT);
  EXPECT_EQ(GpFileClose(h), FAT_OK);
  struct stat st;
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(GpFileCreate(path.c_str(), 0, &h), FAT_IO_ERROR);

  ASSERT_EQ(GpFileOpen(path.c_str(), 1, &h), FAT_OK);
  EXPECT_EQ(GpFileRead(h, buf, sizeof buf, nullptr), FAT_BAD_ARGUMENT);
  EXPECT_EQ(GpFileRead(h, buf, sizeof buf, &got), FAT_OK);
  EXPECT_EQ(got, 5u);
  EXPECT_EQ(GpFileRead(h, buf, sizeof buf, &got), FAT_OK);
  EXPECT_EQ(got, 0u);
  EXPECT_EQ(GpFileClose(h), FAT_OK);

  EXPECT_EQ(GpFileGetSize(path.c_str(), &size), FAT_OK);
  EXPECT_EQ(size, 5);
  EXPECT_EQ(GpFileGetAttr(path.c_str(), &attr), FAT_OK);
  EXPECT_EQ(attr.attr, ATTR_FILE);
  EXPECT_EQ(attr.size, 5u);
  EXPECT_GE(attr.year, 2000);
  EXPECT_LE(attr.month, 11);
  EXPECT_EQ(GpFileGetAttr(dir.c_str(), &attr), FAT_OK);
  EXPECT_EQ(attr.attr, ATTR_FOLDER);
  EXPECT_EQ(GpPathExists(path.c_str()), 1);
  EXPECT_EQ(GpPathExists(""), 0);
  EXPECT_EQ(GpPathExists(nullptr), 0);
  EXPECT_EQ(GpFatInit(), FAT_ALREADY_STARTED);
  int len = 0;
  const char* root = GpRootDir(&len);
  ASSERT_GT(len, 0);
  EXPECT_EQ(root[len - 1], '/');
}

TEST(Files, FolderListingSlices) {
  StartTestPlatform();
  const std::string dir = MakeScratchDir("list");
  for (int i = 0; i < 298; ++i) {
    std::string name = dir + "/f" + std::to_string(i);
    ASSERT_TRUE(WriteTestFile(name, "x", 1));
  }
  // 298 files plus "." and ".." make 300 entries.
  std::vector<char> buffer(128 * DIR_NAME_SIZE);
  int stored = -1;
  EXPECT_EQ(GpDirEnumList(dir.c_str(), 0, 128, buffer.data(), &stored), FAT_OK);
  EXPECT_EQ(stored, 128);
  std::set<std::string> seen;
  for (int k = 0; k < stored; ++k) seen.insert(buffer.data() + k * DIR_NAME_SIZE);
  EXPECT_EQ(GpDirEnumList(dir.c_str(), 128, 128, buffer.data(), &stored), FAT_OK);
  EXPECT_EQ(stored, 128);
  for (int k = 0; k < stored; ++k) seen.insert(buffer.data() + k * DIR_NAME_SIZE);
  EXPECT_EQ(GpDirEnumList(dir.c_str(), 256, 128, buffer.data(), &stored), FAT_OK);
  EXPECT_EQ(stored, 44);
  for (int k = 0; k < stored; ++k) seen.insert(buffer.data() + k * DIR_NAME_SIZE);
  EXPECT_EQ(seen.size(), 300u);
  EXPECT_EQ(seen.count("."), 1u);
  EXPECT_EQ(seen.count("f297"), 1u);
  EXPECT_EQ(GpDirEnumList(dir.c_str(), 0, 0, buffer.data(), &stored), FAT_BAD_ARGUMENT);
  EXPECT_EQ(GpDirEnumList(nullptr, 0, 1, buffer.data(), &stored), FAT_BAD_ARGUMENT);
  stored = 7;
  EXPECT_EQ(GpDirEnumList((dir + "/missing").c_str(), 0, 4, buffer.data(), &stored), FAT_OK);
  EXPECT_EQ(stored, 0);
  // A long name stays terminated inside its slot.
  const std::string longDir = MakeScratchDir("long");
  std::string longName(250, 'n');
  ASSERT_TRUE(WriteTestFile(longDir + "/" + longName, "x", 1));
  std::vector<char> three(3 * DIR_NAME_SIZE, 'Z');
  EXPECT_EQ(GpDirEnumList(longDir.c_str(), 0, 3, three.data(), &stored), FAT_OK);
  EXPECT_EQ(stored, 3);
  for (int k = 0; k < 3; ++k) EXPECT_LT(std::strlen(three.data() + k * DIR_NAME_SIZE), 256u);
}

TEST(Files, AtomicRewriteFallsBackToTheFileItself) {
  StartTestPlatform();
  const std::string dir = MakeScratchDir("atomic");
  const std::string path = dir + "/data.bin";
  ASSERT_TRUE(GpWriteFileAtomic(path.c_str(), "first", 5));
  EXPECT_EQ(ReadTestFile(path), "first");
  ASSERT_TRUE(GpWriteFileAtomic(path.c_str(), "second!", 7));
  EXPECT_EQ(ReadTestFile(path), "second!");
  // A folder in the way of the temporary file: the file itself is rewritten.
  ASSERT_EQ(mkdir((path + ".tmp").c_str(), 0700), 0);
  EXPECT_TRUE(GpWriteFileAtomic(path.c_str(), "third", 5));
  EXPECT_EQ(ReadTestFile(path), "third");
  // Neither can be written: false.
  const std::string folder = dir + "/folder";
  ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
  ASSERT_EQ(mkdir((folder + ".tmp").c_str(), 0700), 0);
  EXPECT_FALSE(GpWriteFileAtomic(folder.c_str(), "fourth", 6));
}

TEST(Files, DelayAdvancesTheVirtualClock) {
  StartTestPlatform();
  const uint32_t t0 = GetTicks();
  Delay(0);
  EXPECT_EQ(GetTicks(), t0);
  Delay(200);
  EXPECT_EQ(GetTicks() - t0, 200u);
  GpAdvanceVirtualClock(5);
  EXPECT_EQ(GetTicks() - t0, 205u);
}

}  // namespace

TEST(Trace, LongLinesAreCutAndStillEndTheirLine) {
  std::FILE* stream = std::tmpfile();
  ASSERT_NE(stream, nullptr);
  GpSetTraceStream(stream);
  const std::string name(100000, 'x');
  GpTrace("missing chapter %s\n", name.c_str());
  GpTrace("short %d\n", 7);
  GpTrace("no line end %s", name.c_str());
  GpSetTraceStream(nullptr);
  std::rewind(stream);
  std::string written;
  for (int c; (c = std::fgetc(stream)) != EOF;) written += char(c);
  std::fclose(stream);
  const std::string cut = "missing chapter " + std::string(TRACE_MAX_BYTES - 16, 'x');
  EXPECT_EQ(written, cut + "\nshort 7\nno line end " + std::string(TRACE_MAX_BYTES - 12, 'x'));
}
