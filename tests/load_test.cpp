// Document loading: the importer choice by extension and content, reading
// files whole, soft line-break joining, card path trimming and the text
// information.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "document/layout.h"
#include "document/load.h"
#include "document/text.h"
#include "harness.h"
#include "importers/load.h"
#include "mono_font.h"
#include "platform/keys.h"
#include "platform/settings.h"

namespace {

std::string Joined(const std::string& in) {
  Text t;
  t.text = static_cast<char*>(std::malloc(in.size() + 1));
  std::memcpy(t.text, in.c_str(), in.size() + 1);
  JoinSoftBreaks(&t);
  std::string out = t.text;
  ClearTextContents(&t);
  return out;
}

struct Scratch {
  std::string dir = MakeScratchDir("load");
  std::string put(const std::string& name, const std::string& bytes) {
    const std::string path = dir + "/" + name;
    WriteTestFile(path, bytes.data(), bytes.size());
    return path;
  }
};

}  // namespace

TEST(Load, TrimSdPath) {
  EXPECT_STREQ(TrimSdPath("/mnt/sd/books/a.txt"), "/books/a.txt");
  EXPECT_STREQ(TrimSdPath("/mnt/sd"), "");
  EXPECT_STREQ(TrimSdPath("/tmp/mnt/sd"), "");
  EXPECT_STREQ(TrimSdPath("/tmp/mnt/sd/x.rtf"), "/x.rtf");
  EXPECT_STREQ(TrimSdPath("/mnt/s"), "/mnt/s");
  EXPECT_STREQ(TrimSdPath("/home/a.txt"), "/home/a.txt");
  EXPECT_STREQ(TrimSdPath(""), "");
}

TEST(Load, JoinSoftBreaks) {
  EXPECT_EQ(Joined("word \r\nnext"), "word next");
  EXPECT_EQ(Joined("a \r\nb \r\nc \r\nd"), "a b c d");
  EXPECT_EQ(Joined("word\r\nnext"), "word\r\nnext");    // no space: a hard break
  EXPECT_EQ(Joined("word  \r\nnext"), "word  \r\nnext");  // two spaces: kept
  EXPECT_EQ(Joined("word \nnext"), "word \nnext");      // only CR LF is joined
  EXPECT_EQ(Joined("word \rnext"), "word \rnext");
  EXPECT_EQ(Joined(" \r\nx"), " \r\nx");
  EXPECT_EQ(Joined("a\n \r\nb"), "a\n b");  // the byte before the space may be a line end
  // The LF of a join is consumed: it cannot begin another join.
  EXPECT_EQ(Joined("x \r\n \r\ny"), "x  \r\ny");
  EXPECT_EQ(Joined("end \r"), "end \r");
  EXPECT_EQ(Joined(""), "");
  Text none;
  JoinSoftBreaks(&none);
  EXPECT_EQ(none.text, nullptr);
}

TEST(Load, ExtensionRule) {
  EXPECT_TRUE(NameHasExtension("/a/b/book.PdB", "pdb"));
  EXPECT_TRUE(NameHasExtension("page.HTML", "html"));
  EXPECT_FALSE(NameHasExtension("page.html", "htm"));
  EXPECT_FALSE(NameHasExtension(".pdb", "pdb"));
  EXPECT_FALSE(NameHasExtension("/books/.pdb", "pdb"));
  EXPECT_FALSE(NameHasExtension("/my.books/readme", "books"));
  EXPECT_FALSE(NameHasExtension("   ", "txt"));
  EXPECT_FALSE(NameHasExtension("noext", "noext"));
}

TEST(Load, PlainTextIsTakenLiterally) {
  StartTestPlatform();
  MonoFont mono(10, 10);
  Scratch s;
  Text t;
  t.font = &mono.font;
  const std::string path = s.put("plain.txt", "first \r\nsecond\r\n\1Bbold");
  ASSERT_EQ(LoadFromFile(&t, path.c_str()), 1);
  EXPECT_STREQ(t.name, path.c_str());
  EXPECT_STREQ(t.text, "first second\r\n\1Bbold");
  ASSERT_EQ(t.lineCount, 2);
  EXPECT_EQ(t.lines[1].startStyle & STYLE_BOLD, 0);
  // A NUL inside the file ends the text there, and the reader is told.
  const std::string nul = s.put("nul.txt", std::string("before\0after", 12));
  GpSetKeyScript({{KEY_ACCEPT, 1000000}});
  const uint32_t polls = GpKeyScriptPolls();
  ASSERT_EQ(LoadFromFile(&t, nul.c_str()), 1);
  EXPECT_EQ(GpKeyScriptPolls() - polls, 1u);
  GpClearKeyScript();
  EXPECT_STREQ(t.text, "before");
  EXPECT_EQ(t.lineCount, 1);
  char info[200];
  g_settings.language = 0;
  TextInfo(&t, info, sizeof info);
  EXPECT_EQ(std::string(info), "Name: " + nul + "\nLines: 1 (20 pixs)\nCharacters: 6");
  g_settings.language = 1;
  TextInfo(&t, info, sizeof info);
  EXPECT_EQ(std::string(info), "Nombre: " + nul + "\nLineas: 1 (20 pixs)\nCaracteres: 6");
  g_settings.language = 0;
  ClearTextContents(&t);
}

TEST(Load, UnreadableFilesLeaveTheDocument) {
  StartTestPlatform();
  MonoFont mono(10, 10);
  Scratch s;
  Text t;
  t.font = &mono.font;
  const std::string path = s.put("a.txt", "kept");
  ASSERT_EQ(LoadFromFile(&t, path.c_str()), 1);
  EXPECT_EQ(LoadFromFile(&t, (s.dir + "/missing.txt").c_str()), 0);
  EXPECT_EQ(LoadFromFile(&t, s.put("empty.txt", "").c_str()), 0);
  EXPECT_EQ(LoadFromFile(&t, ""), 0);
  EXPECT_EQ(LoadFromFile(&t, nullptr), 0);
  EXPECT_STREQ(t.text, "kept");
  EXPECT_EQ(t.lineCount, 1);
  EXPECT_STREQ(t.name, "");  // only the name is gone
  int32_t size = -1;
  char* whole = ReadWholeFile(&t, path.c_str(), &size);
  ASSERT_NE(whole, nullptr);
  EXPECT_EQ(size, 4);
  EXPECT_STREQ(whole, "kept");
  std::free(whole);
  char info[200];
  Text empty;
  TextInfo(&empty, info, sizeof info);
  EXPECT_STREQ(info, "Name: \nLines: 0 (0 pixs)\nCharacters: 0");
  ClearTextContents(&t);
}

TEST(Load, ImporterChoiceByExtensionAndContent) {
  StartTestPlatform();
  MonoFont mono(10, 10);
  Scratch s;
  Text t;
  t.font = &mono.font;
  // A failed import shows a message box that waits for a key.
  GpSetKeyScript({{0, 2}, {KEY_ACCEPT, 2}, {0, 2}, {KEY_ACCEPT, 2}, {0, 2}, {KEY_ACCEPT, 2}});

  // PDF by extension: text that is no PDF shows none of its bytes.
  ASSERT_EQ(LoadFromFile(&t, s.put("no.pdf", "hello").c_str()), 1);
  EXPECT_TRUE(t.text == nullptr || std::strstr(t.text, "hello") == nullptr);
  // PalmDoc by extension, in any case.
  ASSERT_EQ(LoadFromFile(&t, s.put("no.PdB", "hello there").c_str()), 1);
  EXPECT_EQ(t.text, nullptr);
  // RTF by content wins over the PDF extension and over TXT; RTF import
  // always leaves a text and resets the colour table.
  t.colourCount = 9;
  ASSERT_EQ(LoadFromFile(&t, s.put("rtf.pdf", "{\\rtf1 {\\b x}}").c_str()), 1);
  ASSERT_NE(t.text, nullptr);
  EXPECT_EQ(t.colourCount, 1);
  t.colourCount = 9;
  ASSERT_EQ(LoadFromFile(&t, s.put("rtf.txt", "{\\rtf1 {\\b x}}").c_str()), 1);
  EXPECT_EQ(t.colourCount, 1);
  EXPECT_EQ(std::strchr(t.text, '\\'), nullptr);
  // HTML by extension wins over RTF content: the tags are converted, the
  // colour table is left alone.
  t.colourCount = 9;
  ASSERT_EQ(LoadFromFile(&t, s.put("page.HTM", "{\\rtf1 <b>x</b>}").c_str()), 1);
  EXPECT_EQ(t.colourCount, 9);
  EXPECT_EQ(std::strstr(t.text, "<b>"), nullptr);
  // No extension (or a dot that starts the name): plain text.
  ASSERT_EQ(LoadFromFile(&t, s.put(".pdb", "hidden").c_str()), 1);
  EXPECT_STREQ(t.text, "hidden");
  ASSERT_EQ(LoadFromFile(&t, s.put("README", "plain").c_str()), 1);
  EXPECT_STREQ(t.text, "plain");
  GpClearKeyScript();
  ClearTextContents(&t);
}

TEST(Load, FromMemoryKeepsTheName) {
  StartTestPlatform();
  MonoFont mono(10, 10);
  Text t;
  t.font = &mono.font;
  std::strcpy(t.name, "earlier");
  char* text = static_cast<char*>(std::malloc(32));
  std::strcpy(text, "one \r\ntwo\nthree");
  ASSERT_EQ(LoadFromMemory(&t, text), 1);
  EXPECT_STREQ(t.name, "earlier");
  EXPECT_STREQ(t.text, "one two\nthree");
  EXPECT_EQ(t.lineCount, 2);
  // Two lines joined by space CR LF form one paragraph; by CR LF alone, two.
  char* hard = static_cast<char*>(std::malloc(32));
  std::strcpy(hard, "one\r\ntwo");
  LoadFromMemory(&t, hard);
  EXPECT_EQ(t.lineCount, 2);
  ClearTextContents(&t);
}

namespace {

// Loads bytes under name with a script that accepts every message box, and
// gives the boxes shown.
uint32_t LoadCountingBoxes(Text* t, const char* name, const std::string& bytes) {
  GpSetKeyScript({{KEY_ACCEPT, 1000000}});
  const uint32_t before = GpKeyScriptPolls();
  char* buffer = static_cast<char*>(std::malloc(bytes.size() + 1));
  std::memcpy(buffer, bytes.data(), bytes.size());
  buffer[bytes.size()] = 0;
  LoadFromBuffer(t, name, buffer, int32_t(bytes.size()));
  const uint32_t boxes = GpKeyScriptPolls() - before;
  GpClearKeyScript();
  return boxes;
}

}  // namespace

TEST(Load, DocumentsReadInPartKeepTheTextAndSaySo) {
  StartTestPlatform();
  MonoFont mono(10, 10);
  Text t;
  t.font = &mono.font;
  // An RTF document that stops at a bad hexadecimal escape.
  EXPECT_EQ(LoadCountingBoxes(&t, "cut.rtf", "{\\rtf1 kept text\\'zzlost}"), 1u);
  ASSERT_NE(t.text, nullptr);
  EXPECT_STREQ(t.text, "kept text");
  // At the nesting limit.
  EXPECT_EQ(LoadCountingBoxes(&t, "deep.rtf", "{\\rtf1 kept" + std::string(5000, '{') + "x"), 1u);
  EXPECT_EQ(std::strncmp(t.text, "kept", 4), 0);
  // A missing last brace loses nothing: no message.
  EXPECT_EQ(LoadCountingBoxes(&t, "open.rtf", "{\\rtf1 whole"), 0u);
  EXPECT_STREQ(t.text, "whole");
  // A PalmDoc book whose second record lies beyond the file.
  std::string book(78 + 8 * 3 + 2, '\0');
  std::memcpy(&book[60], "TEXtREAd", 8);
  book[77] = 3;
  auto put32 = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) book[at + i] = char(v >> (24 - 8 * i));
  };
  put32(78, 104);
  put32(86, 120);
  put32(94, 100000);
  std::string record0(16, '\0');
  record0[1] = 1;  // stored
  book += record0 + "first record";
  EXPECT_EQ(LoadCountingBoxes(&t, "cut.pdb", book), 1u);
  ASSERT_NE(t.text, nullptr);
  EXPECT_STREQ(t.text, "first record");
  // A sound document shows nothing.
  EXPECT_EQ(LoadCountingBoxes(&t, "fine.rtf", "{\\rtf1 fine}"), 0u);
  ClearTextContents(&t);
}

TEST(Load, WholeDocumentLimits) {
  StartTestPlatform();
  MonoFont mono(10, 10);
  Text t;
  t.font = &mono.font;
  // The line table stops at its limit, with one message.
  EXPECT_EQ(LoadCountingBoxes(&t, "lines.txt", std::string(size_t(TEXT_MAX_LINES) + 500, '\n')), 1u);
  EXPECT_EQ(t.lineCount, TEXT_MAX_LINES);
  EXPECT_GT(DocumentHeight(&t), 0);
  // The formatted text stops before its limit, never inside a code.
  std::string big(size_t(TEXT_MAX_BYTES) + 10, 'a');
  big[size_t(TEXT_MAX_BYTES) - 3] = '\x01';
  big[size_t(TEXT_MAX_BYTES) - 2] = 'C';
  EXPECT_EQ(LoadCountingBoxes(&t, "big.txt", big), 1u);
  ASSERT_NE(t.text, nullptr);
  EXPECT_EQ(std::strlen(t.text), size_t(TEXT_MAX_BYTES) - 3);
  // Just under the limits: no message.
  EXPECT_EQ(LoadCountingBoxes(&t, "fits.txt", std::string(1000, '\n')), 0u);
  ClearTextContents(&t);
}

// Small files made by scripts/make-fixtures-limits.sh that expand without
// bound: each stops at the limits with what was made and one message.
TEST(Load, AmplifyingFilesStayWithinTheLimits) {
  StartTestPlatform();
  MonoFont mono(10, 10);
  Text t;
  t.font = &mono.font;
  const std::string dir = std::string(QUILLO_SOURCE_DIR) + "/tests/data/limits/";
  for (const char* name : {"same-records.pdb", "line-feeds.pdb", "flate-bombs.pdf"}) {
    SCOPED_TRACE(name);
    GpSetKeyScript({{KEY_ACCEPT, 1000000}});
    const uint32_t before = GpKeyScriptPolls();
    ASSERT_EQ(LoadFromFile(&t, (dir + name).c_str()), 1);
    EXPECT_EQ(GpKeyScriptPolls() - before, 1u);
    GpClearKeyScript();
    ASSERT_NE(t.text, nullptr);
    // The PalmDoc books stop at the whole-document limit. The PDF's one page
    // stops at the content a page may hold, inside its first string, so no
    // operator shows it.
    const bool pdf = std::strstr(name, ".pdf") != nullptr;
    if (!pdf) {
      EXPECT_GT(std::strlen(t.text), size_t(TEXT_MAX_BYTES) / 2);
    }
    EXPECT_LT(std::strlen(t.text), size_t(TEXT_MAX_BYTES));
    EXPECT_LE(t.lineCount, TEXT_MAX_LINES);
    if (!pdf) {
      EXPECT_GT(DocumentHeight(&t), 0);
    }
  }
  // The text of the first is the block its records repeat.
  ClearTextContents(&t);
}
