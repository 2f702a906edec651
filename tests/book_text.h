// Helpers of the book importers' tests: their fixture, the formatted text
// without its codes, the share of a source's words found in order, and golden
// texts.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>

#include "document/dump.h"
#include "document/text.h"
#include "document/layout.h"
#include "harness.h"
#include "importers/load.h"
#include "platform/font.h"
#include "platform/keys.h"
#include "platform/settings.h"
#include "platform/video.h"
#include "zip/archive_load.h"

// The reader with the small font and a page on screen before each book, which
// a book that fails to load must leave as it was.
class BookTest : public ::testing::Test {
 protected:
  void SetUp() override {
    StartTestPlatform();
    InitFonts();
    ResetSettings();
    g_standardFont = &FontSmall;
    g_video->SetStandardFont(&FontSmall);
    RecomputeInterfaceColour();
    if (!g_text) g_text = CreateText(TEXT_LAYOUT_WIDTH);
    SelectZoomFont();
    Before();
    GpSetKeyScript({{KEY_ACCEPT, 1000000}});
  }
  void TearDown() override {
    GpClearKeyScript();
    ClearTextContents(g_text);
    ResetSettings();
  }
  static constexpr const char* kBefore = "The page before the book.";
  void Before() {
    LoadFromMemory(g_text, strdup(kBefore));
    std::strcpy(g_text->name, "before.txt");
  }
  // Loads path as the page renderer does; the box texts and traces land in *messages.
  int Load(const std::string& path, std::string* messages = nullptr) {
    testing::internal::CaptureStdout();
    const int result = LoadFileOrArchiveEntry(g_text, path.c_str());
    const std::string out = testing::internal::GetCapturedStdout();
    if (messages) *messages = out;
    return result;
  }
  std::string Text() const { return g_text->text ? g_text->text : ""; }
  // Loading path fails with one message box holding message, and the page
  // before stays on screen with its name.
  void ExpectRefused(const std::string& path, const char* message) {
    SCOPED_TRACE(path);
    Before();
    const uint32_t polls = GpKeyScriptPolls();
    std::string messages;
    EXPECT_EQ(Load(path, &messages), 0);
    EXPECT_NE(messages.find(message), std::string::npos) << messages;
    EXPECT_EQ(GpKeyScriptPolls() - polls, 1u) << "one box";
    EXPECT_EQ(Text(), kBefore);
    EXPECT_STREQ(g_text->name, "before.txt");
  }
};

// The text without its format codes, so that a bold word is one word.
inline std::string WithoutCodes(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != 1) {
      out += text[i];
    } else if (i + 1 < text.size()) {
      i += (text[i + 1] == 'F' || text[i + 1] == 'C') ? 2 : 1;
    }
  }
  return out;
}

// Share of the source's words found in the text (codes left out) in the same
// order; each word missing is reported.
inline double WordRecall(const std::string& source, const std::string& formatted) {
  const std::string text = WithoutCodes(formatted);
  std::istringstream words(source);
  std::string word;
  size_t from = 0, found = 0, total = 0;
  while (words >> word) {
    ++total;
    const size_t at = text.find(word, from);
    if (at == std::string::npos) {
      ADD_FAILURE() << "missing in order: " << word;
      continue;
    }
    ++found;
    from = at + word.size();
  }
  return total ? double(found) / double(total) : 0;
}

// Compares the formatted text, described with its codes, with base.golden;
// QUILLO_UPDATE_GOLDEN=1 rewrites the file instead.
inline void ExpectGoldenText(const std::string& base, const std::string& formatted) {
  const std::string got = DescribeFormatted(formatted.c_str(), true);
  const char* update = std::getenv("QUILLO_UPDATE_GOLDEN");
  if (update && std::strcmp(update, "1") == 0) {
    ASSERT_TRUE(WriteTestFile(base + ".golden", got.data(), got.size()));
    return;
  }
  EXPECT_EQ(ReadTestFile(base + ".golden"), got);
}
