// Tests of the RTF importer: golden formatted text for documents from real
// writers and from the corpus, and the keyword, group and escape rules that
// real and broken documents exercise.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "document/dump.h"
#include "document/layout.h"
#include "document/text.h"
#include "harness.h"
#include "importers/rtf.h"
#include "platform/font.h"

namespace {

struct Converted {
  int result;
  std::string text;  // up to the terminating NUL
  std::string bytes;  // the same, with the NUL and nothing after it
};

// Converts rtf (length bytes, or all of it) as the loader does and returns the
// result code and the formatted text.
Converted ConvertWith(Text* text, const std::string& rtf, int32_t length = -1) {
  char* buffer = static_cast<char*>(malloc(rtf.size() + 1));
  memcpy(buffer, rtf.data(), rtf.size());
  buffer[rtf.size()] = '\0';
  Converted c;
  c.result = ImportRtf(text, &buffer, length < 0 ? int32_t(rtf.size()) : length);
  EXPECT_NE(buffer, nullptr);
  if (buffer) c.text = buffer;
  free(buffer);
  return c;
}

Converted Convert(const std::string& rtf, int32_t length = -1) {
  Text text;
  return ConvertWith(&text, rtf, length);
}

// The formatted text with codes as markers (<B>, <F4>, <C1>, <P>); bytes from
// 128 stay code page 1252.
std::string Codes(const std::string& rtf) { return DescribeFormatted(Convert(rtf).text.c_str(), false); }

std::string Doc(const std::string& body) { return "{\\rtf1\\ansi " + body + "}"; }

std::string DataPath(const std::string& name) {
  return std::string(QUILLO_SOURCE_DIR) + "/tests/data/rtf/" + name;
}

// Compares the conversion of file with the golden file: a first line with the
// result code, then the formatted text with markers and UTF-8 letters. With
// QUILLO_UPDATE_GOLDEN=1 the golden file is rewritten instead.
void ExpectGoldenConversion(const std::string& file, const std::string& golden) {
  const std::string rtf = ReadTestFile(file);
  ASSERT_FALSE(rtf.empty()) << file;
  Text text;
  const Converted c = ConvertWith(&text, rtf);
  const std::string got =
      "result " + std::to_string(c.result) + "\n" + DescribeFormatted(c.text.c_str(), true);
  const char* update = getenv("QUILLO_UPDATE_GOLDEN");
  if (update && strcmp(update, "1") == 0) {
    ASSERT_TRUE(WriteTestFile(golden, got.data(), got.size())) << golden;
    return;
  }
  const std::string want = ReadTestFile(golden);
  ASSERT_FALSE(want.empty()) << "missing " << golden;
  EXPECT_EQ(want, got) << file;
}

TEST(RtfGolden, WritersDocuments) {
  ExpectGoldenConversion(DataPath("pandoc.rtf"), DataPath("pandoc.golden"));
  ExpectGoldenConversion(DataPath("libreoffice.rtf"), DataPath("libreoffice.golden"));
}

TEST(RtfGolden, CorpusDocuments) {
  for (const char* name : {"hello", "french", "unicode", "nbsp", "mac_textedit_hyperlink",
                           "line_break_textedit_mac", "brace_mismatch_1", "brace_mismatch_2"}) {
    ExpectGoldenConversion(std::string(QUILLO_CORPUS_DIR) + "/rtf/" + name + ".rtf",
                           DataPath(std::string("corpus-") + name + ".golden"));
  }
}

TEST(RtfWriters, PandocLettersAndStyles) {
  const std::string out = Convert(ReadTestFile(DataPath("pandoc.rtf"))).text;
  // \u escapes with a "?" fallback: the letter, and no fallback after it.
  EXPECT_NE(out.find("La canci\xF3n del pirata"), std::string::npos);
  EXPECT_NE(out.find("\xBFQui\xE9n sabe ad\xF3nde ir\xE1? \xA1Nadie"), std::string::npos);
  // Characters beyond Latin-1 that the code page has, and two it lacks.
  EXPECT_NE(out.find("c\x9Cur"), std::string::npos);
  EXPECT_NE(out.find("25 \x80 pour un caf\xE9 \x97 tr\xE8s"), std::string::npos);
  EXPECT_NE(out.find("\x93hola\x94 y \x91" "adi\xF3s\x92"), std::string::npos);
  EXPECT_NE(out.find("flecha ? y una letra griega ? que"), std::string::npos);
  EXPECT_NE(out.find("\x01" "Bvuela\x01" "b"), std::string::npos);
  // The link keeps its shown text and drops its target.
  EXPECT_EQ(out.find("example.org"), std::string::npos);
  EXPECT_NE(out.find("\x01Ula bit\xE1" "cora"), std::string::npos);
}

TEST(RtfWriters, LibreOfficeLettersColoursAndAlignment) {
  Text text;
  const Converted c = ConvertWith(&text, ReadTestFile(DataPath("libreoffice.rtf")));
  EXPECT_EQ(c.result, RtfOk);
  // \uN followed by its \'hh fallback gives the letter once.
  EXPECT_NE(c.text.find("Cr\xF3nica del puerto"), std::string::npos);
  EXPECT_NE(c.text.find("se\xF1or Mu\xF1oz, el ping\xFCino"), std::string::npos);
  EXPECT_NE(c.text.find("4 \x80, ni\xF1os 2 \x80"), std::string::npos);
  EXPECT_NE(c.text.find("\xAB" "adi\xF3s\xBB \x97 y se va. \x8C" "uvre"), std::string::npos);
  EXPECT_NE(c.text.find("flecha ? sin"), std::string::npos);
  // The document's red and blue follow entry 0.
  ASSERT_GE(text.colourCount, 3);
  EXPECT_EQ(text.colours[0], 0);
  bool red = false, blue = false;
  for (int i = 1; i < text.colourCount; ++i) {
    red |= text.colours[i] == 0xF800;
    blue |= text.colours[i] == 0x001F;
  }
  EXPECT_TRUE(red && blue);
  // Centred title, justified paragraph, right-aligned signature.
  const size_t title = c.text.find("Cr\xF3nica");
  const size_t centre = c.text.rfind("\x01" "c", title);
  ASSERT_NE(centre, std::string::npos);
  EXPECT_LT(c.text.find("\x01j"), c.text.find("El barco"));
  EXPECT_LT(c.text.find("\x01r"), c.text.find("Firmado"));
}

TEST(RtfCorpus, FallbacksAndBrokenBraces) {
  // \uc1\u8216\'91: the quote once, not followed by its fallback.
  const std::string french = Convert(ReadTestFile(std::string(QUILLO_CORPUS_DIR) + "/rtf/french.rtf")).text;
  EXPECT_NE(french.find('\x91'), std::string::npos);
  EXPECT_EQ(french.find("\x91\x91"), std::string::npos);
  // Two characters the code page lacks show their "?" fallbacks, nothing else.
  const std::string unicode = Convert(ReadTestFile(std::string(QUILLO_CORPUS_DIR) + "/rtf/unicode.rtf")).text;
  EXPECT_NE(unicode.find("??"), std::string::npos);
  EXPECT_EQ(unicode.find("???"), std::string::npos);
  // An extra closing brace after the document stops the parse, but the text
  // read so far is the document.
  const Converted extra = Convert(ReadTestFile(std::string(QUILLO_CORPUS_DIR) + "/rtf/brace_mismatch_1.rtf"));
  EXPECT_EQ(extra.result, RtfStackUnderflow);
  EXPECT_FALSE(extra.text.empty());
}

TEST(RtfEmit, CodesOnlyBeforeCharacters) {
  EXPECT_EQ(Codes(Doc("a{\\b b}c\\par")), "a<B>b<b>c\n");
  // A change that no character follows writes nothing.
  EXPECT_EQ(Codes(Doc("text{\\b}")), "text");
  EXPECT_EQ(Codes(Doc("x{\\b\\i}{\\ul}y")), "xy");
  // Codes come in a fixed order, and the line end carries the closing codes.
  EXPECT_EQ(Codes(Doc("{\\ul\\i\\b x}\\par")), "<B><I><U>x<b><i><u>\n");
  // Parameters: none or non-zero turns on, 0 off, 256 off (one byte).
  EXPECT_EQ(Codes(Doc("\\b1 a\\b0 b\\b2 c\\b256 d\\i e\\i0 f")), "<B>a<b>b<B>c<b>d<I>e<i>f");
  EXPECT_EQ(Codes(Doc("\\ul a\\ulnone b\\u c\\ul0 d")), "<U>a<u>b<U>c<u>d");
}

TEST(RtfEmit, SizesColoursAndAlignment) {
  // level = (size / 2 + 1) / 4; the code only when the level changes.
  EXPECT_EQ(Codes(Doc("\\fs24 a\\fs26 b\\fs32 c\\fs40 d\\fs48 e\\fs20 f")),
            "<F3>ab<F4>c<F5>d<F6>e<F2>f");
  // Levels past 6 or below 0 keep their meaning without odd argument bytes.
  EXPECT_EQ(Codes(Doc("\\fs2000 a\\fs-400 b")), "<F6>a<F0>b");
  EXPECT_EQ(Codes(Doc("\\cf1 a\\cf15 b\\cf0 c")), "<C1>a<C?>b<C0>c");
  // Indices past the table are the text colour, written as 0 (never a NUL).
  const Converted c = Convert(Doc("\\cf208 a\\cf-1 b\\cf2 c\\cf16 d"));
  EXPECT_EQ(DescribeFormatted(c.text.c_str(), false), "ab<C2>c<C0>d");
  // No alignment code for left-aligned text; left again after a centred one.
  EXPECT_EQ(Codes(Doc("\\ql a\\par")), "a\n");
  EXPECT_EQ(Codes(Doc("\\qc a\\par\\pard b\\par\\qr c\\par\\qj d\\par\\ql e")),
            "<c>a\n<l>b\n<r>c\n<j>d\n<l>e");
  // pard clears the character properties and the alignment.
  EXPECT_EQ(Codes(Doc("\\qc\\b\\cf1\\fs40 x\\pard y")), "<B><F5><C1><c>x<b><F0><C0><l>y");
}

TEST(RtfKeywords, IgnoredWordsCharsAndBreaks) {
  EXPECT_EQ(Codes(Doc("\\plain\\sectd\\ansicpg1252 a\\-b\\|c\\:d")), "abcd");
  // No-break space, non-breaking hyphen and em dash keep the words apart.
  EXPECT_EQ(Codes(Doc("a\\~b\\_c\\emdash d")), "a\xA0" "b-c\x97" "d");
  EXPECT_EQ(Codes(Doc("\\ldblquote x\\rdblquote \\lquote y\\rquote \\endash\\tab z")),
            "\"x\"'y'\x96<TAB>z");
  EXPECT_EQ(Codes(Doc("\\{\\}\\\\")), "{}\\");
  // Line ends in the text are ignored; a backslash before one is a paragraph.
  EXPECT_EQ(Codes(Doc("a\nb\r\nc\\\nd\\\re\\line f")), "abc\nd\ne\nf");
  // A page break, a literal byte 2 and an escape of byte 2 all break the page.
  EXPECT_EQ(Codes(Doc("a\\page b\x02" "c\\'02d")), "a\n<P>b\n<P>c\n<P>d");
  // Byte 1 in the text, escaped or raw, would start a code: it is dropped.
  EXPECT_EQ(Codes(Doc("a\x01" "Bb\\'01Bc\\bin2 \x01" "Bd\x01")), "aBbBcBd");
  // Keywords and parameters past the parser's limits are cut, not split.
  EXPECT_EQ(Codes(Doc("\\" + std::string(40, 'b') + " x\\b99999999999999999999999 y")), "x<B>y");
}

TEST(RtfDestinations, SkippedAndOptional) {
  EXPECT_EQ(Codes(Doc("{\\fonttbl{\\f0 Arial;}}{\\info{\\title T}{\\author A}}a"
                      "{\\header h}{\\footnote n}{\\pict 0102ff}b")),
            "ab");
  // Optional destination: unknown word after \* drops the group, a known one
  // acts; an unknown word without \* keeps the text.
  EXPECT_EQ(Codes(Doc("a{\\*\\generator Writer 1.0;}b")), "ab");
  EXPECT_EQ(Codes(Doc("a{\\*\\b c}d")), "a<B>c<b>d");
  EXPECT_EQ(Codes(Doc("a{\\listtext 1.}b")), "a1.b");
  // Properties inside a skipped group do not reach the text after it.
  EXPECT_EQ(Codes(Doc("{\\stylesheet{\\b\\qc Normal;}}x")), "x");
}

TEST(RtfEscapes, HexAndBinary) {
  EXPECT_EQ(Convert(Doc("caf\\'e9 CAF\\'C9")).text, "caf\xE9 CAF\xC9");
  EXPECT_EQ(Convert(Doc("{\\info\\'e9}x")).text, "x");
  const Converted bad = Convert(Doc("ab\\'g0cd"));
  EXPECT_EQ(bad.result, RtfInvalidHex);
  EXPECT_EQ(bad.text, "ab");  // terminated where the parse stopped
  // \bin counts raw bytes that may be braces or backslashes.
  EXPECT_EQ(Convert(Doc("a\\bin3 {}\\b")).text, "a{}\\b");
  EXPECT_EQ(Convert(Doc("a{\\pict\\bin3 {}\\}b")).text, "ab");
  EXPECT_EQ(Convert(Doc("a\\bin0 {b")).text, "a{b");  // a run of 0 still takes one byte
  EXPECT_EQ(Convert(Doc("\\fs4 a\\bin x{}y")).text, "ax{}y");  // the 4 of fs4
  // A run longer than the rest of the document ends with it.
  const Converted run = Convert("{\\rtf1 a{\\pict\\bin99999 xyz");
  EXPECT_EQ(run.result, RtfUnmatchedBrace);
  EXPECT_EQ(run.text, "a");
}

TEST(RtfUnicode, EscapesWithFallbacks) {
  EXPECT_EQ(Convert(Doc("Canci\\u243?n")).text, "Canci\xF3n");
  EXPECT_EQ(Codes(Doc("Canci\\u243?n fin")), "Canci\xF3n fin");  // no underline
  // Negative numbers count from 65536 (here U+F020, private use, so the
  // fallback shows); characters beyond Latin-1 that the code page has.
  EXPECT_EQ(Convert(Doc("\\u-4064?\\u8364?\\u8217'\\u339?")).text, "?\x80\x92\x9C");
  EXPECT_EQ(Convert(Doc("\\u-65303?")).text, "\xE9");
  // No code page byte: the fallback shows.
  EXPECT_EQ(Convert(Doc("\\u955?x\\u8594\\'3fy\\u-3 z")).text, "?x?yz");
  // The fallback count comes from \uc and is scoped by groups; an escape or a
  // control symbol counts as one character.
  EXPECT_EQ(Convert(Doc("{\\uc2\\u233 ab}c\\u233 de")).text, "\xE9" "c\xE9" "e");
  EXPECT_EQ(Convert(Doc("\\uc0\\u233 x")).text, "\xE9x");
  EXPECT_EQ(Convert(Doc("\\u233\\'e9x\\u225\\~y\\uc2\\u243\\'f3\\'3fz")).text, "\xE9x\xE1y\xF3z");
  // A control word stands in as one character too; a brace ends the fallback.
  EXPECT_EQ(Convert(Doc("\\u233\\emdash x{\\u233}y")).text, "\xE9x\xE9y");
  // Control characters do not become codes or a NUL: the fallback shows.
  EXPECT_EQ(Convert(Doc("\\u0?a\\u1?b\\u9?c")).text, "?a?b\tc");
  // \u without a number stays underline.
  EXPECT_EQ(Codes(Doc("\\u x\\ul0 y")), "<U>x<u>y");
}

TEST(RtfGroups, BracesAndEndOfInput) {
  // An extra closing brace stops the parse; the text so far is kept.
  Converted c = Convert("{\\rtf1 ab}}cd");
  EXPECT_EQ(c.result, RtfStackUnderflow);
  EXPECT_EQ(c.text, "ab");
  // A missing closing brace stops it at the end, and the next conversion
  // starts clean.
  c = Convert("{\\rtf1{\\b ab");
  EXPECT_EQ(c.result, RtfUnmatchedBrace);
  EXPECT_EQ(c.text, "\x01" "Bab");
  c = Convert(Doc("x"));
  EXPECT_EQ(c.result, RtfOk);
  EXPECT_EQ(c.text, "x");
  // Ending right after a control word: the word acts, nothing is read twice.
  c = Convert("{\\rtf1 x}\\par");
  EXPECT_EQ(c.result, RtfOk);
  EXPECT_EQ(c.text, "x\n");
  c = Convert("{\\rtf1 x}\\b1");
  EXPECT_EQ(c.result, RtfOk);
  EXPECT_EQ(c.text, "x");
  for (const char* cut : {"{\\rtf1 x}\\", "{\\rtf1 x}\\b-"}) {
    c = Convert(cut);
    EXPECT_EQ(c.result, RtfEndOfInput) << cut;
    EXPECT_EQ(c.text, "x") << cut;
  }
  // The length bounds the parse, not the NUL: the introduction passes its
  // NUL, which is output after the last paragraph.
  const std::string intro = Doc("hi\\par");
  c = Convert(intro + std::string(1, '\0'), int32_t(intro.size()) + 1);
  EXPECT_EQ(c.result, RtfOk);
  EXPECT_EQ(c.text, "hi\n");
  c = Convert(Doc("abcdef"), 14);
  EXPECT_EQ(c.result, RtfUnmatchedBrace);
  EXPECT_EQ(c.text, "ab");
  // Nesting deeper than any document stops the parse instead of eating memory.
  c = Convert("{\\rtf1 a" + std::string(100000, '{') + "b");
  EXPECT_EQ(c.result, RtfNoMemory);
  EXPECT_EQ(c.text, "a");
}

TEST(RtfGroups, OutputLongerThanInput) {
  // Each closing brace restores four properties before the next letter, so
  // the output outgrows the input; it goes into its own growing buffer.
  std::string body;
  for (int i = 0; i < 20000; ++i) body += "{\\b\\i\\ul\\cf1 a}b";
  const std::string rtf = Doc(body);
  const Converted c = Convert(rtf);
  EXPECT_EQ(c.result, RtfOk);
  const std::string unit = "\x01" "B\x01I\x01U\x01" "C1a\x01" "b\x01i\x01u\x01" "C0b";
  ASSERT_EQ(c.text.size(), unit.size() * 20000);
  EXPECT_GT(c.text.size(), rtf.size());
  EXPECT_EQ(c.text.substr(0, unit.size()), unit);
  EXPECT_EQ(c.text.substr(c.text.size() - unit.size()), unit);
}

TEST(RtfColours, TableScan) {
  Text text;
  text.colourCount = 9;
  text.colours[0] = 0x1234;
  ConvertWith(&text, Doc("no table"));
  EXPECT_EQ(text.colourCount, 1);
  EXPECT_EQ(text.colours[0], 0);

  ConvertWith(&text, Doc("{\\colortbl;\\red255\\green255\\blue255;\\red255\\green0\\blue0;"
                         "\\blue255;\\red8\\green16\\blue;}x"));
  EXPECT_EQ(text.colourCount, 5);
  EXPECT_EQ(text.colours[1], 0xFFDF);  // bit 5 stays 0
  EXPECT_EQ(text.colours[2], 0xF800);
  EXPECT_EQ(text.colours[3], 0xF81F);  // red carries over from the entry before
  EXPECT_EQ(text.colours[4], 0x0880);

  // Sixteen colours fill entries 1 to 14; entry 15 keeps what it held.
  std::string table = "{\\colortbl;";
  for (int i = 0; i < 16; ++i) table += "\\red" + std::to_string(i * 16) + "\\green0\\blue0;";
  text.colours[15] = 0x4321;
  ConvertWith(&text, Doc(table + "}\\cf15 x"));
  EXPECT_EQ(text.colourCount, 15);
  EXPECT_EQ(text.colours[14], uint16_t((13 * 16 >> 3) << 11));
  EXPECT_EQ(text.colours[15], 0x4321);
  // Values longer than any number and a table cut by the end of the text.
  ConvertWith(&text, Doc("{\\colortbl;\\red99999999999999999999999999999999999\\green1\\blue"));
  EXPECT_EQ(text.colourCount, 2);
}

}  // namespace

TEST(RtfDocumentBytes, NulsFromTheDocumentAreDroppedNotTheEndOfTheText) {
  // A hexadecimal escape of 0, zero bytes in a \bin run and a literal NUL in
  // the source: the text after each is kept.
  EXPECT_EQ(Codes("{\\rtf1 before\\'00after\\par more}"), "beforeafter\nmore");
  EXPECT_EQ(Codes(Doc(std::string("x\\bin3 ") + std::string("\0a\0", 3) + "y")), "xay");
  EXPECT_EQ(Codes(Doc(std::string("p\0q", 3))), "pq");
  // Byte 1 by any of these ways stays dropped too.
  EXPECT_EQ(Codes(Doc("a\\'01Bb")), "aBb");
}

TEST(RtfKeywords, DashesAndBulletsGiveTheirCharacters) {
  EXPECT_EQ(Codes(Doc("a\\endash b\\emdash c")), "a\x96" "b\x97" "c");
  // A bulleted list as pandoc writes it: the bullet, then the tab.
  const std::string list =
      "{\\pard \\ql \\f0 \\sa0 \\li360 \\fi-360 \\bullet \\tx360\\tab one\\par}\n"
      "{\\pard \\ql \\f0 \\sa0 \\li360 \\fi-360 \\bullet \\tx360\\tab two\\sa180\\par}\n";
  EXPECT_EQ(Codes(Doc(list)), "\x95<TAB>one\n\x95<TAB>two\n");
}

TEST(RtfKeywords, PandocListShowsItsBullets) {
  // Made by scripts/make-fixtures-rtf-list.sh.
  const Converted c = Convert(ReadTestFile(DataPath("pandoc-list.rtf")));
  const std::string codes = DescribeFormatted(c.text.c_str(), false);
  EXPECT_NE(codes.find("\x95<TAB>first item"), std::string::npos) << codes;
  EXPECT_NE(codes.find("\x95<TAB>second item"), std::string::npos) << codes;
  EXPECT_NE(codes.find("1.<TAB>numbered item"), std::string::npos) << codes;
}

TEST(RtfLayout, LineAfterAHeadingHasTheHeightOfItsOwnText) {
  // A heading's size ends in codes at the start of the next paragraph, bold
  // off before size off: that paragraph's first line must not be laid out
  // at the heading's height, at any zoom.
  StartTestPlatform();
  const std::string out = Convert(ReadTestFile(DataPath("pandoc.rtf"))).text;
  for (const BitmapFont* font : {&FontSmall, &FontMedium, &FontLarge}) {
    Text text;
    text.font = font;
    ASSERT_GT(LayoutLines(&text, font, out.c_str(), START_STYLE), 3);
    const size_t body = out.find("Con diez");
    int32_t i = 0;
    while (i + 1 < text.lineCount && size_t(text.lines[i + 1].start - out.c_str()) <= body) ++i;
    SCOPED_TRACE(font->ascent[0]);
    EXPECT_GT(int(text.lines[i - 1].height), int(text.lines[i + 1].height)) << "the heading stays large";
    EXPECT_EQ(int(text.lines[i].height), int(text.lines[i + 1].height));
    std::free(text.lines);
    text.lines = nullptr;
  }
}
