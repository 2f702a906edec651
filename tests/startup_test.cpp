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
