// The whole start-up sequence and the quit path, each run in a child process
// that starts the platform itself (this program never starts it in the parent).
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "app/engine.h"
#include "harness.h"
#include "platform/files.h"
#include "platform/keys.h"
#include "platform/settings.h"

namespace {

TEST(StartupDeathTest, QuitEventSavesTheSettingsAndExitsWithZero) {
  const std::string dir = MakeScratchDir("startup");
  ASSERT_EQ(chdir(dir.c_str()), 0);
  EXPECT_EXIT(
      {
        GpUseVirtualClock(true);
        Init();
        g_settings.autoscrollDelay = 7;
        GpSetKeyScript({{KEY_DOWN, 3}, {KEY_SCRIPT_QUIT, 1}});
        GameEngine();
      },
      ::testing::ExitedWithCode(0), "");
  const std::string cfg = ReadTestFile(dir + "/quillo.cfg");
  ASSERT_EQ(cfg.size(), 606u);
  EXPECT_EQ(cfg[594], 7);
  // The stored folder did not exist, so the working folder replaced it.
  EXPECT_EQ(cfg.substr(334, dir.size() + 1), dir + "/");
}

TEST(StartupDeathTest, ShutdownSavesAndEndsOffTheConsole) {
  const std::string dir = MakeScratchDir("shutdown");
  ASSERT_EQ(chdir(dir.c_str()), 0);
  EXPECT_EXIT(
      {
        GpUseVirtualClock(true);
        Init();
        g_settings.zoomLevel = 2;
        Shutdown();
      },
      ::testing::ExitedWithCode(0), "");
  const std::string cfg = ReadTestFile(dir + "/quillo.cfg");
  ASSERT_EQ(cfg.size(), 606u);
  EXPECT_EQ(cfg[8], 2);
}

}  // namespace

namespace {

void Le32(std::string* s, uint32_t v) {
  for (int i = 0; i < 4; ++i) s->push_back(char(v >> (8 * i)));
}

// place: the reserved bytes as the reader records them (the mark, the top
// line's byte offset, the pixels below its top, the zoom level), or none.
std::string MrfWithOneBook(const std::string& path, int32_t position, std::string place = "") {
  std::string f;
  Le32(&f, 1);
  std::string r = path;
  r.resize(300, '\0');
  Le32(&r, uint32_t(-1));
  Le32(&r, uint32_t(position));
  place.resize(28, '\0');
  return f + r + place;
}

TEST(StartupDeathTest, ChooserReopensTheBookAndQuitRecordsItsPlace) {
  const std::string dir = MakeScratchDir("chooser");
  ASSERT_EQ(chdir(dir.c_str()), 0);
  std::string book;
  for (int i = 0; i < 500; ++i) book += "Line " + std::to_string(i) + " of the book.\n";
  ASSERT_TRUE(WriteTestFile(dir + "/book.txt", book.data(), book.size()));
  const std::string mrf = MrfWithOneBook(dir + "/book.txt", 300);
  ASSERT_TRUE(WriteTestFile(dir + "/quillo.mrf", mrf.data(), mrf.size()));
  EXPECT_EXIT(
      {
        GpUseVirtualClock(true);
        Init();
        // The chooser: ACCEPT on the book; then three lines down in the loop.
        GpSetKeyScript({{KEY_ACCEPT, 1}, {0, 20}, {KEY_DOWN, 3}, {KEY_SCRIPT_QUIT, 1}});
        GameEngine();
      },
      ::testing::ExitedWithCode(0), "");
  // The quit recorded the book at the place it was left: line 20 (byte 410)
  // and 3 pixels below its top, at zoom 0.
  EXPECT_EQ(ReadTestFile(dir + "/quillo.mrf"),
            MrfWithOneBook(dir + "/book.txt", 303, std::string("Qpl\x01\x9A\x01\0\0\x03\0\0", 11)));
}

TEST(StartupDeathTest, NoChooserWithoutRowsAndShutdownRecordsTheBook) {
  const std::string dir = MakeScratchDir("norows");
  ASSERT_EQ(chdir(dir.c_str()), 0);
  ASSERT_TRUE(WriteTestFile(dir + "/quillo.mrf", "\0\0\0\0", 4));
  ASSERT_TRUE(WriteTestFile(dir + "/book.txt", "A book.\n", 8));
  EXPECT_EXIT(
      {
        GpUseVirtualClock(true);
        Init();
        // No chooser takes keys: the first pass of the loop sees the quit.
        GpSetKeyScript({{KEY_SCRIPT_QUIT, 1}});
        EngineStart();
        if (GpKeyScriptPolls() != 0) std::exit(3);
        SetCurrentDocument((dir + "/book.txt").c_str(), "", -1, 12);
        Shutdown();
      },
      ::testing::ExitedWithCode(0), "");
  EXPECT_EQ(ReadTestFile(dir + "/quillo.mrf"),
            MrfWithOneBook(dir + "/book.txt", 12, std::string("Qpl\x01\0\0\0\0\x0C\0\0", 11)));
}

}  // namespace
