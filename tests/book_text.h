// Helpers of the book importers' tests: the formatted text without its codes,
// the share of a source's words found in order, and golden texts.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>

#include "document/dump.h"
#include "harness.h"

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
