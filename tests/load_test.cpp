// Document loading: the importer choice by extension and content, reading
// files whole, soft line-break joining, card path trimming and the text
// information.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "document/layout.h"
#include "document/load.h"
#include "document/text.h"
#include "harness.h"
#include "importers/load.h"
#include "mono_font.h"
#include "platform/font.h"
#include "platform/keys.h"
#include "platform/recent.h"
#include "platform/settings.h"
#include "platform/trace.h"
#include "ui/filedialog.h"
#include "zip/epub.h"

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
  EXPECT_STREQ(t.name, path.c_str());  // its name with it
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

  // PDF by extension: text that is no PDF gives no text, and the document
  // before stays.
  ASSERT_EQ(LoadFromFile(&t, s.put("before.txt", "before").c_str()), 1);
  EXPECT_EQ(LoadFromFile(&t, s.put("no.pdf", "hello").c_str()), 0);
  EXPECT_STREQ(t.text, "before");
  // PalmDoc by extension, in any case.
  EXPECT_EQ(LoadFromFile(&t, s.put("no.PdB", "hello there").c_str()), 0);
  EXPECT_STREQ(t.text, "before");
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
  ASSERT_EQ(LoadFromFile(&t, s.put("page.HTM", "{\\rtf1 <body><b>x</b>}").c_str()), 1);
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
    // The PalmDoc books stop at the whole-document limit. The PDF's one page
    // stops at the content a page may hold, inside its first string, so no
    // operator shows it: no text, and the book before stays.
    const bool pdf = std::strstr(name, ".pdf") != nullptr;
    ASSERT_EQ(LoadFromFile(&t, (dir + name).c_str()), pdf ? 0 : 1);
    EXPECT_EQ(GpKeyScriptPolls() - before, 1u);
    GpClearKeyScript();
    ASSERT_NE(t.text, nullptr);
    if (!pdf) {
      EXPECT_GT(std::strlen(t.text), size_t(TEXT_MAX_BYTES) / 2);
    }
    EXPECT_LT(std::strlen(t.text), size_t(TEXT_MAX_BYTES));
    EXPECT_LE(t.lineCount, TEXT_MAX_LINES);
    if (!pdf) {
      EXPECT_GT(DocumentHeight(&t), 0);
    }
  }
  // EPUBs: a spine repeating one chapter 100,000 times stops at the text
  // limit; a manifest past its bound and a path too long to keep are left out
  // and the book opens with what remains; a container too large to read is
  // refused. Each says so once.
  const struct {
    const char* name;
    int loaded;
    const char* starts;
  } books[] = {
      {"spine-repeat.epub", 1, "The lighthouse stood"},
      {"many-items.epub", 1, "A chapter."},
      {"long-href.epub", 1, "A chapter."},
      {"huge-container.epub", 0, nullptr},
  };
  for (const auto& book : books) {
    SCOPED_TRACE(book.name);
    GpSetKeyScript({{KEY_ACCEPT, 1000000}});
    const uint32_t before = GpKeyScriptPolls();
    ASSERT_EQ(LoadDocumentFile(&t, (dir + book.name).c_str()), book.loaded);
    EXPECT_EQ(GpKeyScriptPolls() - before, 1u);
    GpClearKeyScript();
    if (!book.starts) continue;
    ASSERT_NE(t.text, nullptr);
    const char* start = t.text + std::strspn(t.text, "\r\n");
    EXPECT_EQ(std::strncmp(start, book.starts, std::strlen(book.starts)), 0);
    EXPECT_LT(std::strlen(t.text), size_t(TEXT_MAX_BYTES));
  }
  ClearTextContents(&t);
}

// A file larger than the reader takes is read up to DOCUMENT_MAX_INPUT_BYTES:
// its first part is shown, with one message.
TEST(Load, FileLargerThanTheInputLimitIsReadInPart) {
  StartTestPlatform();
  MonoFont mono(10, 10);
  Text t;
  t.font = &mono.font;
  Scratch scratch;
  const std::string path = scratch.dir + "/huge.txt";
  FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  const std::string line(99, 'w');
  for (int32_t at = 0; at < DOCUMENT_MAX_INPUT_BYTES + (1 << 20); at += 100) std::fprintf(f, "%s\n", line.c_str());
  std::fclose(f);
  GpSetKeyScript({{KEY_ACCEPT, 1000000}});
  const uint32_t before = GpKeyScriptPolls();
  ASSERT_EQ(LoadFromFile(&t, path.c_str()), 1);
  EXPECT_EQ(GpKeyScriptPolls() - before, 1u);
  GpClearKeyScript();
  ASSERT_NE(t.text, nullptr);
  EXPECT_EQ(std::strlen(t.text), size_t(TEXT_MAX_BYTES) - 1);
  EXPECT_FALSE(t.incomplete);
  ClearTextContents(&t);
}

// Files that give no text, chosen in the file dialog or reopened from the
// recent-files list: one message says why, the document on screen keeps its
// text and place, and the failed file does not head the recent-files list.
TEST(LoadFailure, FileWithoutTextKeepsTheDocumentAndStaysOutOfTheList) {
  StartTestPlatform();
  ResetSettings();
  Scratch docs;
  const std::string home = MakeScratchDir("load-home");  // quillo.mrf goes here
  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  ASSERT_EQ(chdir(home.c_str()), 0);
  Text* saved = g_text;
  g_text = CreateText(TEXT_LAYOUT_WIDTH);
  g_text->font = &FontSmall;
  RecentList recent(RECENT_FILE_NAME, &g_currentEntry);
  g_recentList = &recent;
  const std::string kept = docs.put("kept.txt", "The book on screen.\n");
  std::string noise(300, '\0');
  for (size_t i = 0; i < noise.size(); ++i) noise[i] = char((i * 7919 + 13) >> 3);
  const char* const messages[] = {"Error loading file", "This file is empty", "Zip handling internal error"};
  struct Case {
    const char* name;
    std::string bytes;
    int message;
  } cases[] = {{"broken.pdf", "%PDF-1.4\n1 0 obj\n<< /Type /Catalog", 0},
               {"random.pdb", noise, 0},
               {"empty.txt", "", 1},
               {"broken.zip", "PK\3\4 this is no archive", 2}};
  for (const Case& c : cases) {
    // Alone in its folder: the dialog lists it below "<..>".
    const std::string folder = MakeScratchDir("load-case");
    const std::string path = folder + "/" + c.name;
    ASSERT_TRUE(WriteTestFile(path, c.bytes.data(), c.bytes.size()));
    std::snprintf(g_settings.folderPath, sizeof g_settings.folderPath, "%s/", folder.c_str());
    for (bool fromDialog : {true, false}) {
      SCOPED_TRACE(std::string(c.name) + (fromDialog ? " from the dialog" : " from the list"));
      ASSERT_EQ(LoadFromFile(g_text, kept.c_str()), 1);
      SetCurrentDocument(kept.c_str(), "", -1, 7);
      std::FILE* traces = std::tmpfile();
      GpSetTraceStream(traces);
      const bool archive = std::strstr(c.name, ".zip") != nullptr;
      if (fromDialog) {
        // The row, its message box, and a cancel for a dialog that stays open.
        GpSetKeyScript({{KEY_DOWN, 1}, {KEY_ACCEPT, 1}, {0, 1}, {KEY_ACCEPT, 1}, {0, 1}, {KEY_CANCEL, 1}});
        FileDialog();
      } else {
        GpSetKeyScript({{KEY_ACCEPT, 1}});
        EXPECT_EQ(OpenRecordedDocument(path.c_str(), archive ? "a.txt" : "", archive ? 0 : -1, 40), 0);
      }
      GpClearKeyScript();
      GpSetTraceStream(nullptr);
      std::rewind(traces);
      std::string said;
      for (int ch; (ch = std::fgetc(traces)) != EOF;) said += char(ch);
      std::fclose(traces);
      for (int m = 0; m < 3; ++m) {
        size_t count = 0;
        for (size_t at = said.find(messages[m]); at != std::string::npos; at = said.find(messages[m], at + 1)) ++count;
        EXPECT_EQ(count, m == c.message ? 1u : 0u) << messages[m] << " in:\n" << said;
      }
      ASSERT_NE(g_text->text, nullptr);
      EXPECT_STREQ(g_text->text, "The book on screen.\n");
      EXPECT_EQ(g_text->lineCount, 1);
      EXPECT_STREQ(g_currentEntry.path, kept.c_str());
      EXPECT_EQ(g_currentEntry.position, 7);
      EXPECT_TRUE(recent.count == 0 || std::strcmp(recent.rows[0].path, path.c_str()) != 0);
    }
  }
  g_recentList = nullptr;
  ReleaseText(g_text);
  g_text = saved;
  ASSERT_EQ(chdir(cwd), 0);
}
