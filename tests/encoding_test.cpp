// Encodings of plain text and HTML: real UTF-8, UTF-16 and code page 1252
// documents through the loader (golden texts, word recall against the source),
// and the detection and conversion edge cases on buffers of exact size.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "document/dump.h"
#include "document/encoding.h"
#include "document/text.h"
#include "book_text.h"
#include "harness.h"
#include "importers/load.h"
#include "mono_font.h"
#include "platform/keys.h"
#include "platform/settings.h"
#include "zip/archive_load.h"

namespace {

const std::string kData = std::string(QUILLO_SOURCE_DIR) + "/tests/data/encoding/";

// What the loader's encoding step makes of the bytes, in a malloc'd buffer of
// exactly size + 1 bytes (the caller's NUL), so a read past it is caught by the
// sanitizers.
std::string Converted(const std::string& name, const std::string& bytes) {
  char* buffer = static_cast<char*>(std::malloc(bytes.size() + 1));
  std::memcpy(buffer, bytes.data(), bytes.size());
  buffer[bytes.size()] = 0;
  int32_t size = int32_t(bytes.size());
  ConvertDocumentEncoding(name.c_str(), buffer, &size);
  std::string out(buffer);
  // Converted text gets its new length; code page 1252 keeps the size given.
  EXPECT_TRUE(size_t(size) == out.size() || size_t(size) == bytes.size());
  std::free(buffer);
  return out;
}

std::string Text8(const std::string& bytes) { return Converted("a.txt", bytes); }

std::string Utf16(const std::u16string& s, bool bigEndian) {
  std::string out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
  for (char16_t c : s) {
    const char hi = char(c >> 8), lo = char(c & 0xFF);
    out += bigEndian ? hi : lo;
    out += bigEndian ? lo : hi;
  }
  return out;
}

// A file, or "ARCHIVE#ENTRY", loaded as the reader does.
std::string Loaded(const std::string& path) {
  StartTestPlatform();
  MonoFont mono(10, 10);
  Text t;
  t.font = &mono.font;
  // The bytes as converted: hard-wrapped lines are not rejoined here.
  const uint16_t rejoin = g_settings.rejoinLines;
  g_settings.rejoinLines = 0;
  testing::internal::CaptureStdout();  // numeric references trace their digits
  EXPECT_EQ(LoadFileOrArchiveEntry(&t, path.c_str()), 1);
  testing::internal::GetCapturedStdout();
  g_settings.rejoinLines = rejoin;
  std::string out = t.text ? t.text : "";
  ClearTextContents(&t);
  return out;
}

}  // namespace

TEST(EncodingFixtures, PlainTextInEveryEncodingGivesTheCodePage1252Text) {
  // cp1252.txt is the source as iconv writes it in code page 1252: loaded, it
  // must stay byte for byte what it is, and every Unicode form must give it.
  const std::string cp1252 = ReadTestFile(kData + "cp1252.txt");
  ASSERT_FALSE(cp1252.empty());
  for (const char* name : {"cp1252", "utf8", "utf8-bom", "utf16le", "utf16be"}) {
    SCOPED_TRACE(name);
    const std::string text = Loaded(kData + name + ".txt");
    EXPECT_EQ(text, cp1252);
    ExpectGoldenText(kData + name, text);
  }
  // The letters that show the conversion went right, not only that it matched.
  EXPECT_NE(cp1252.find("\x93" "Don\x92t light the lamp yet,\x94 said the keeper \x97"), std::string::npos);
  EXPECT_NE(cp1252.find("Gro\xDFmutter l\xE4" "chelte"), std::string::npos);
  EXPECT_NE(cp1252.find("\x84Wo ist der Schl\xFCssel?\x93"), std::string::npos);
  EXPECT_NE(cp1252.find("5 \x80 or \xA3" "4"), std::string::npos);
}

TEST(EncodingFixtures, PagesGiveTheSourceWordsInOrder) {
  const std::string source = ReadTestFile(kData + "cp1252.txt");
  std::string first;
  for (const char* name : {"pandoc.html", "pandoc-1252.html", "xhtml.htm"}) {
    SCOPED_TRACE(name);
    const std::string text = Loaded(kData + name);
    EXPECT_EQ(WordRecall(source, text), 1.0);
    ExpectGoldenText(kData + name, text);
    // The page declaring windows-1252 is the UTF-8 page in code page 1252.
    if (first.empty()) {
      first = text;
    } else if (std::strcmp(name, "pandoc-1252.html") == 0) {
      EXPECT_EQ(text, first);
    }
  }
}

TEST(EncodingFixtures, ArchiveEntriesAreConvertedLikeFiles) {
  const std::string archive = kData + "books.zip#";
  for (const char* name : {"utf8.txt", "utf16le.txt", "utf16be.txt", "cp1252.txt", "pandoc.html"}) {
    SCOPED_TRACE(name);
    const std::string entry = Loaded(archive + name);
    EXPECT_GT(entry.size(), 800u);
    EXPECT_EQ(entry, Loaded(kData + name));
  }
}

TEST(Encoding, MarksAreDroppedAndAMarkAloneIsEmpty) {
  EXPECT_EQ(Text8("\xEF\xBB\xBF"), "");
  EXPECT_EQ(Text8("\xFF\xFE"), "");
  EXPECT_EQ(Text8("\xFE\xFF"), "");
  EXPECT_EQ(Text8("\xEF\xBB\xBF" "caf\xC3\xA9"), "caf\xE9");
  // A mark makes UTF-8 even with no multi-byte sequence after it.
  EXPECT_EQ(Text8("\xEF\xBB\xBF" "plain"), "plain");
  EXPECT_EQ(Text8(Utf16(u"Stra\u00DFe \u201Cx\u201D", false)), "Stra\xDF" "e \x93x\x94");
  EXPECT_EQ(Text8(Utf16(u"Stra\u00DFe \u201Cx\u201D", true)), "Stra\xDF" "e \x93x\x94");
}

TEST(Encoding, InvalidUtf8AfterAMarkBecomesOneQuestionMarkPerByte) {
  const std::string bom = "\xEF\xBB\xBF";
  // Cut off at the end: nothing past the buffer is read.
  EXPECT_EQ(Text8(bom + "ab\xE2\x80"), "ab??");
  EXPECT_EQ(Text8(bom + "ab\xF0\x9F\x98"), "ab???");
  EXPECT_EQ(Text8(bom + "\xC3"), "?");
  // Overlong forms, surrogates, values past U+10FFFF, stray continuations.
  EXPECT_EQ(Text8(bom + "[\xC0\xAF]"), "[??]");
  EXPECT_EQ(Text8(bom + "[\xE0\x80\xAF]"), "[???]");
  EXPECT_EQ(Text8(bom + "[\xF0\x80\x80\xAF]"), "[????]");
  EXPECT_EQ(Text8(bom + "[\xED\xA0\x80]"), "[???]");
  EXPECT_EQ(Text8(bom + "[\xF4\x90\x80\x80]"), "[????]");
  EXPECT_EQ(Text8(bom + "[\x80\xBF\xFE\xFF]"), "[????]");
  // A sequence broken by an ASCII byte: the ASCII byte survives.
  EXPECT_EQ(Text8(bom + "\xE2\x80" "a\xC3\xA9"), "??a\xE9");
}

TEST(Encoding, Utf16OddLengthsSurrogatesAndNul) {
  EXPECT_EQ(Text8(Utf16(u"AB", false) + "C"), "AB?");
  EXPECT_EQ(Text8(Utf16(u"AB", true) + "C"), "AB?");
  // A pair outside the code page, a lone high and a lone low surrogate.
  EXPECT_EQ(Text8(Utf16(u"a\U0001F600b", false)), "a?b");
  EXPECT_EQ(Text8(Utf16(u"a\xD800" "b", false)), "a?b");
  EXPECT_EQ(Text8(Utf16(u"a\xDC00" "b", true)), "a?b");
  EXPECT_EQ(Text8(Utf16(u"a\xD800", false)), "a?");
  // U+0000 is dropped instead of ending the text.
  EXPECT_EQ(Text8(Utf16(std::u16string(u"a\0b", 3), false)), "ab");
  // Look-alikes longer than their UTF-16 character never push the text past
  // its buffer: each conversion ends before the input's last byte.
  for (size_t n = 0; n < 12; ++n) {
    const std::string text = Text8(Utf16(std::u16string(n, u'\xFB03'), false));
    EXPECT_LE(text.size(), 2 * n + 1);
    EXPECT_EQ(text.find_first_not_of("fi?"), std::string::npos);
  }
}

TEST(Encoding, Utf16WithoutAMarkIsFoundByItsZeroBytes) {
  const struct {
    std::string bytes, text;
  } cases[] = {
      {Utf16(u"Hello", false).substr(2), "Hello"},
      {Utf16(u"H\u00E9t\u00E9 x", true).substr(2), "H\xE9t\xE9 x"},
      {Utf16(u"\u201CHi there", false).substr(2), "\x93Hi there"},  // one high byte in 9 set
      // Too few units, a binary header, 8-bit text padded with zeros: code page 1252.
      {std::string("H\0i\0!\0", 6), "H"},
      {std::string("MZ\x90\0\x03\0\0\0\x04\0\0\0\xFF\xFF\0\0", 16), "MZ\x90"},
      {"Hello" + std::string(16, '\0'), "Hello"},
  };
  for (const auto& c : cases) EXPECT_EQ(Text8(c.bytes), c.text);
}

TEST(Encoding, PlainTextCutByANulSaysSoOnce) {
  StartTestPlatform();
  MonoFont mono(10, 10);
  Text t;
  t.font = &mono.font;
  const struct {
    std::string bytes, text;
    uint32_t boxes;
  } cases[] = {
      {std::string("kept\0lost", 9), "kept", 1},
      {"whole" + std::string(3, '\0'), "whole", 0},
      {Utf16(u"Hello", false).substr(2), "Hello", 0},
  };
  for (const auto& c : cases) {
    GpSetKeyScript({{KEY_ACCEPT, 1000000}});
    const uint32_t before = GpKeyScriptPolls();
    char* buffer = static_cast<char*>(std::malloc(c.bytes.size() + 1));
    std::memcpy(buffer, c.bytes.data(), c.bytes.size());
    buffer[c.bytes.size()] = 0;
    LoadFromBuffer(&t, "a.txt", buffer, int32_t(c.bytes.size()));
    EXPECT_EQ(GpKeyScriptPolls() - before, c.boxes);
    GpClearKeyScript();
    EXPECT_STREQ(t.text, c.text.c_str());
  }
  ClearTextContents(&t);
}

TEST(Encoding, CharactersOutsideTheCodePage) {
  const std::string bom = "\xEF\xBB\xBF";
  // Dashes, hyphens, spaces, ligatures, minus, bullets, primes, ellipses.
  EXPECT_EQ(Text8(bom + "a\u2010b\u2011c\u2012d\u2015e\u2212f"), "a-b-c\x96" "d\x97" "e-f");
  EXPECT_EQ(Text8(bom + "1\u20092\u202F3\u20034\u200A5"), "1 2 3 4 5");
  EXPECT_EQ(Text8(bom + "\uFB01nd \uFB02y o\uFB00 e\uFB03cient"), "find fly off efficient");
  EXPECT_EQ(Text8(bom + "\u2023x\u2219y\u25CFz 5\u2032 6\u2033 \u22EF \u2026"), "\x95x\x95y\x95z 5' 6\" ... \x85");
  // Invisible characters go; anything else becomes "?"; C1 controls are no letters.
  EXPECT_EQ(Text8(bom + "a\u200Bb\uFEFFc"), "abc");
  EXPECT_EQ(Text8(bom + "\u3042\u0394\U0001F600\u0080"), "????");
  char out[3];
  EXPECT_EQ(Cp1252TextOf(0x20AC, out), 1);
  EXPECT_EQ(out[0], '\x80');
  EXPECT_EQ(Cp1252TextOf(0x0081, out), 1);
  EXPECT_EQ(out[0], '?');
  EXPECT_EQ(Cp1252TextOf(0, out), 0);
}

TEST(Encoding, Cp1252TextIsNeverChanged) {
  // One valid UTF-8 pair next to invalid bytes: the whole text stays as it is.
  EXPECT_EQ(Text8("caf\xC3\xA9 na\xEFve"), "caf\xC3\xA9 na\xEFve");
  EXPECT_EQ(Text8("\xE9t\xE9 \x93quoted\x94 \x85"), "\xE9t\xE9 \x93quoted\x94 \x85");
  // A valid pair cut by the end of the text is no UTF-8 either.
  EXPECT_EQ(Text8("caf\xC3\xA9 \xC3"), "caf\xC3\xA9 \xC3");
  // Valid UTF-8 with multi-byte sequences converts without a mark.
  EXPECT_EQ(Text8("caf\xC3\xA9 \xE2\x80\x94 x"), "caf\xE9 \x97 x");
  // A NUL ends 8-bit text: what follows it is not looked at.
  EXPECT_EQ(Text8(std::string("caf\xE9\0\xC3\xA9", 7)), "caf\xE9");
  EXPECT_EQ(Text8("ascii only"), "ascii only");
  EXPECT_EQ(Text8(""), "");
}

TEST(Encoding, HtmlDeclarations) {
  const std::string utf8Body = "<body>caf\xC3\xA9 \xE9</body>";  // one valid pair, one bad byte
  // Declared UTF-8: the bad byte becomes "?"; undeclared, the page stays code page 1252.
  EXPECT_EQ(Converted("p.html", "<meta charset=\"utf-8\">" + utf8Body), "<meta charset=\"utf-8\"><body>caf\xE9 ?</body>");
  EXPECT_EQ(Converted("p.html", utf8Body), utf8Body);
  EXPECT_EQ(Converted("p.HTM", "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; CHARSET=UTF-8\">\xC3\xA9"),
            "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; CHARSET=UTF-8\">\xE9");
  EXPECT_EQ(Converted("p.htm", "<?xml version='1.0' encoding='utf-8'?><p>\xE9"), "<?xml version='1.0' encoding='utf-8'?><p>?");
  EXPECT_EQ(Converted("p.htm", "<meta charset = utf8>\xE9"), "<meta charset = utf8>?");
  // Declared windows-1252 or ISO-8859-1: left as it is, even when it looks like UTF-8.
  EXPECT_EQ(Converted("p.html", "<meta charset=\"windows-1252\">caf\xC3\xA9"), "<meta charset=\"windows-1252\">caf\xC3\xA9");
  EXPECT_EQ(Converted("p.html", "<meta charset=ISO-8859-1>caf\xC3\xA9"), "<meta charset=ISO-8859-1>caf\xC3\xA9");
  // Another declared encoding: the bytes decide.
  EXPECT_EQ(Converted("p.html", "<meta charset=koi8-r>caf\xC3\xA9"), "<meta charset=koi8-r>caf\xE9");
  // A declaration past the first 1024 bytes is not seen; nor in a plain text file.
  const std::string pad = "<!--" + std::string(1020, '-') + "-->";
  EXPECT_EQ(Converted("p.html", pad + "<meta charset=\"utf-8\">\xE9"), pad + "<meta charset=\"utf-8\">\xE9");
  EXPECT_EQ(Converted("p.txt", "<meta charset=\"utf-8\">\xE9"), "<meta charset=\"utf-8\">\xE9");
  // A mark outweighs a declaration.
  EXPECT_EQ(Converted("p.html", "\xEF\xBB\xBF<meta charset=windows-1252>\xC3\xA9"), "<meta charset=windows-1252>\xE9");
}

TEST(Encoding, RtfPdfAndPalmDocAreLeftAlone) {
  EXPECT_EQ(Converted("a.txt", "{\\rtf1 caf\xC3\xA9}"), "{\\rtf1 caf\xC3\xA9}");
  EXPECT_EQ(Converted("a.pdf", "\xEF\xBB\xBF" "caf\xC3\xA9"), "\xEF\xBB\xBF" "caf\xC3\xA9");
  EXPECT_EQ(Converted("a.PDB", "caf\xC3\xA9"), "caf\xC3\xA9");
  // A page named HTML is an HTML page whatever its first bytes.
  EXPECT_EQ(Converted("a.html", "{\\rtf1 caf\xC3\xA9}"), "{\\rtf1 caf\xE9}");
}

TEST(Encoding, LoaderConvertsBuffersOfEitherSizeConvention) {
  StartTestPlatform();
  MonoFont mono(10, 10);
  Text t;
  t.font = &mono.font;
  // An archive entry: size bytes, then the NUL.
  const std::string page = "\xEF\xBB\xBF<html><body>Caf\xC3\xA9 &#x2014; &rsquo;</body></html>";
  char* buffer = static_cast<char*>(std::malloc(page.size() + 1));
  std::memcpy(buffer, page.c_str(), page.size() + 1);
  LoadFromBuffer(&t, "entry.html", buffer, int32_t(page.size()));
  EXPECT_STREQ(t.text, "Caf\xE9 \x97 \x92");
  // A text from memory: the size counts the NUL.
  const std::string utf16 = Utf16(u"\u00BFQu\u00E9?", false);
  buffer = static_cast<char*>(std::malloc(utf16.size() + 1));
  std::memcpy(buffer, utf16.data(), utf16.size());
  buffer[utf16.size()] = 0;
  LoadFromBuffer(&t, "   ", buffer, int32_t(utf16.size() + 1));
  EXPECT_STREQ(t.text, "\xBFQu\xE9?");
  EXPECT_EQ(t.lineCount, 1);
  ClearTextContents(&t);
}
