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
  // A NUL inside the file ends the text there.
  const std::string nul = s.put("nul.txt", std::string("before\0after", 12));
  ASSERT_EQ(LoadFromFile(&t, nul.c_str()), 1);
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
