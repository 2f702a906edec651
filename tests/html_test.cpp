// Tests of the HTML importer: golden formatted text for real pages and the
// tag, text and entity rules that pages really exercise.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "document/text.h"
#include "harness.h"
#include "importers/html.h"
#include "importers/load.h"
#include "platform/font.h"

namespace {

std::string Convert(const std::string& html) {
  char* buffer = static_cast<char*>(malloc(html.size() + 1));
  memcpy(buffer, html.data(), html.size());
  buffer[html.size()] = '\0';
  ImportHtml(nullptr, buffer, int32_t(html.size()));
  std::string result(buffer);
  free(buffer);
  return result;
}

// Formatted text with its codes as readable markers: <B>, <F4>, <c>; CR LF as a
// new line; other control bytes, bytes from 128 and "<" itself as <xHH>, <CR>,
// <LF>, <TAB>, <lt>.
std::string Markers(const std::string& text) {
  std::string out;
  char hex[8];
  for (size_t i = 0; i < text.size(); ++i) {
    const uint8_t c = uint8_t(text[i]);
    if (c == 1 && i + 1 < text.size() && strchr("BbIiUulcrjP", text[i + 1])) {
      out += std::string("<") + text[i + 1] + ">";
      ++i;
    } else if (c == 1 && i + 2 < text.size() && (text[i + 1] == 'F' || text[i + 1] == 'C')) {
      const uint8_t arg = uint8_t(text[i + 2]);
      snprintf(hex, sizeof hex, "x%02X", arg);
      out += std::string("<") + text[i + 1] + (arg > 32 && arg < 127 ? std::string(1, char(arg)) : hex) + ">";
      i += 2;
    } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      out += "\n";
      ++i;
    } else if (c == '\r') {
      out += "<CR>";
    } else if (c == '\n') {
      out += "<LF>";
    } else if (c == '\t') {
      out += "<TAB>";
    } else if (c == '<') {
      out += "<lt>";
    } else if (c < 32 || c >= 128) {
      snprintf(hex, sizeof hex, "<x%02X>", c);
      out += hex;
    } else {
      out += char(c);
    }
  }
  return out;
}

std::string Body(const std::string& inner) { return Convert("<html><body>" + inner + "</body></html>"); }

TEST(HtmlGolden, RealPagesGiveTheCheckedInText) {
  // pandoc -s, LibreOffice Writer's HTML export, and a hand-written page with
  // tables, ALIGN, FONT SIZE, entities, scripts, styles and comments.
  for (const char* name : {"pandoc", "libreoffice", "handmade"}) {
    SCOPED_TRACE(name);
    const std::string base = std::string(QUILLO_SOURCE_DIR) + "/tests/data/html/" + name;
    const std::string page = ReadTestFile(base + ".html");
    ASSERT_FALSE(page.empty());
    testing::internal::CaptureStdout();
    const std::string converted = Convert(page);
    testing::internal::GetCapturedStdout();
    EXPECT_LE(converted.size(), page.size());
    const std::string got = Markers(converted);
    const char* update = getenv("QUILLO_UPDATE_GOLDEN");
    if (update && strcmp(update, "1") == 0) {
      ASSERT_TRUE(WriteTestFile(base + ".golden", got.data(), got.size()));
      continue;
    }
    EXPECT_EQ(ReadTestFile(base + ".golden"), got);
  }
}

TEST(Html, OnlyTheBodyIsKept) {
  EXPECT_EQ(Convert("<html><head><title>T</title></head>plain words</html>"), "");
  EXPECT_EQ(Convert("x<BODY bgcolor=white>in</BODY>out<body>again"), "inagain");
  // BODYX is another tag; the B rule does not take BODY.
  EXPECT_EQ(Convert("<bodyx>no<body>yes"), "yes");
  EXPECT_EQ(Convert(""), "");
  EXPECT_EQ(Convert("<body"), "");
}

TEST(Html, InlineTagsGiveCodesAndOthersAreDropped) {
  EXPECT_EQ(Body("<b>bold</b> <STRONG class=x>strong</strong>"),
            "\x01" "Bbold\x01" "b \x01" "Bstrong\x01" "b");
  EXPECT_EQ(Body("<i>it</I>"), "\x01" "Iit\x01" "i");
  EXPECT_EQ(Body("a<br>b<BR/>c</br>d"), "a\r\nb\r\nc\r\nd");
  // BR is not B, IMG is not I, and unknown tags vanish without output.
  EXPECT_EQ(Body("<u>u</u><em>e</em><h1>h</h1><center>c</center><li>l</li><hr><img src=x>"), "uehcl");
  // Table cells run together; TABLE and /TABLE break the line.
  EXPECT_EQ(Body("<table><tbody><tr><td>a</td><td>b</td></tr></tbody></table>"), "\r\nab\r\n");
}

TEST(Html, ParagraphsAndDivisionsSetAlignment) {
  EXPECT_EQ(Body("<P ALIGN=center>x</P>"), "\r\n\x01" "cx\r\n\r\n\x01" "l");
  // In the middle of a line a P writes no break; left alignment writes no code.
  EXPECT_EQ(Body("a<p>b"), "ab");
  EXPECT_EQ(Body("<p align=\"right\">r</p><p align=left>l</p>"),
            "\r\n\x01" "rr\r\n\r\n\x01" "ll\r\n\r\n");
  EXPECT_EQ(Body("<div align=justify>j</div>after"), "\x01" "jj\r\n\x01" "lafter");
  // The same alignment twice writes one code.
  EXPECT_EQ(Body("<div align=center>a<div ALIGN=\"CENTER\">b"), "\x01" "cab");
}

TEST(Html, FontSizes) {
  EXPECT_EQ(Body("<font size=4>a</font>"), "\x01" "F4a\x01" "F1");
  EXPECT_EQ(Body("<FONT SIZE=\"9\">a</FONT>"), "\x01" "F5a\x01" "F1");
  // No SIZE, or the size in force, writes nothing; so does /FONT at size 1.
  EXPECT_EQ(Body("<font face=x>a</font><font size=1>b"), "ab");
  EXPECT_EQ(Body("<font size=+2>a"), "\x01" "F2a");
  EXPECT_EQ(Body("<font size=-1>a"), "\x01" "F/a");
  // A large negative size never wraps round to a NUL that would end the text.
  const std::string out = Body("<font size=-48>a<font size=-200>b");
  EXPECT_EQ(out, "\x01" "F\x01" "a\x01" "F\x01" "b");
}

TEST(Html, NamedEntities) {
  EXPECT_EQ(Body("a&lt;b &gt; &amp; &quot;q&quot;"), "a<b > & \"q\"");
  // Without its ";" an entity still takes as many bytes as its full name.
  EXPECT_EQ(Body("&ltb"), "<");
  EXPECT_EQ(Body("&ampxy"), "&y");
  EXPECT_EQ(Body("&reg; &copy; &trade;"), "(r) (c) tm");
  EXPECT_EQ(Body("&Eacute;&eacute;&szlig;&yuml;&AElig;&thorn;"), "\xC9\xE9\xDF\xFF\xC6\xFE");
  // Case matters, and unknown names are written as they stand.
  EXPECT_EQ(Body("&LT; &Rsquo; &alpha; & x"), "&LT; &Rsquo; &alpha; & x");
  // Punctuation and symbols of HTML 4 that code page 1252 holds, and near
  // matches for a few it lacks.
  EXPECT_EQ(Body("&ldquo;a&rdquo; &lsquo;b&rsquo; c&mdash;d&ndash;e&hellip; &euro;&bull;&laquo;&raquo;"),
            "\x93" "a\x94 \x91" "b\x92 c\x97" "d\x96" "e\x85 \x80\x95\xAB\xBB");
  EXPECT_EQ(Body("&OElig;&scaron;&Yuml;&deg;&frac12;&times;&iquest;&pound;"),
            "\x8C\x9A\x9F\xB0\xBD\xD7\xBF\xA3");
  EXPECT_EQ(Body("1&minus;2&thinsp;3&zwnj;4&prime;"), "1-2 34'");
  // Legacy behaviour kept: the symbols still give their letters.
  EXPECT_EQ(Body("&trade;"), "tm");
  // A space after the tab of a non-breaking space is dropped.
  EXPECT_EQ(Body("a&nbsp; x"), "a\tx");
  // Cut off by the end of the text: consumed up to the end, nothing more.
  EXPECT_EQ(Convert("<body>&lt"), "<");
  EXPECT_EQ(Convert("<body>&nbsp"), "\t");
}

TEST(Html, NumericReferences) {
  testing::internal::CaptureStdout();
  EXPECT_EQ(Body("&#65;"), "A");
  const std::string trace = testing::internal::GetCapturedStdout();
  EXPECT_EQ(trace, "5\n1\n6\n10\n");

  testing::internal::CaptureStdout();
  // Beyond Latin-1: the code page 1252 byte where there is one, else "?".
  EXPECT_EQ(Body("&#8217;&#8220;&#8221;&#8211;&#8364;"), "\x92\x93\x94\x96\x80");
  EXPECT_EQ(Body("&#9731;&#256;&#99999999999999999999999;"), "???");
  EXPECT_EQ(Body("&#233;&#150;"), "\xE9\x96");
  // The byte after the digits goes with the reference, whatever it is.
  EXPECT_EQ(Body("&#66 x"), "Bx");
  // Zero, or "#" without digits, leaves the "&" as text.
  EXPECT_EQ(Body("&#0;&#;"), "&#0;&#;");
  EXPECT_EQ(Convert("<body>&#67"), "C");
  const std::string decimalTrace = testing::internal::GetCapturedStdout();

  // Hexadecimal references go the same way, in either case, without a trace.
  testing::internal::CaptureStdout();
  EXPECT_EQ(Body("&#x41;&#X42;&#x2019;&#x20ac;&#x2603;&#xE9; &#x41x"), "AB\x92\x80?\xE9 A");
  EXPECT_EQ(Body("&#xFFFFFFFFFFFFFFFFFFFF;&#x10FFFF;"), "??");
  // Zero, or "x" without a digit, leaves the "&" as text.
  EXPECT_EQ(Body("&#x0;&#x;&#xg;"), "&#x0;&#x;&#xg;");
  EXPECT_EQ(Convert("<body>&#x44"), "D");
  EXPECT_EQ(Convert("<body>&#x"), "&#x");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST(Html, ScriptsStylesAndComments) {
  EXPECT_EQ(Body("a<script>x<b>y</b></script>b<SCRIPT>z</SCRIPT>c"), "abc");
  EXPECT_EQ(Body("a<style>p{}</style>b<STYLE>q</STYLE>c<!-- <b>no</b> -->d"), "abcd");
  // A script closed in mixed case is not found: only its tags are dropped.
  EXPECT_EQ(Body("a<Script>var x;</Script>b"), "avar x;b");
  // The nearer closing tag ends a script; text between two scripts stays.
  EXPECT_EQ(Body("<script>1</script>kept<SCRIPT>2</SCRIPT>"), "kept");
  EXPECT_EQ(Body("a<!-- never closed"), "a");
  EXPECT_EQ(Body("<blockquote>q</BLOCKQUOTE> <cite>c</cite>"), "\"q\" \"c\"");
}

TEST(Html, WhiteSpaceAndStrayBrackets) {
  EXPECT_EQ(Body("one\r\ntwo\nthree   four\tfive"), "one two three fourfive");
  EXPECT_EQ(Body("\nlead"), "lead");
  EXPECT_EQ(Body("a < b > c"), "a < b > c");
  EXPECT_EQ(Body("a <x y=\"1\">b"), "a b");
  EXPECT_EQ(Body("x\xE9\xFFy"), "x\xE9\xFFy");
}

TEST(Html, EachConversionStartsOutsideATag) {
  EXPECT_EQ(Convert("<body>text <unclosed attr=1"), "text ");
  EXPECT_EQ(Convert("<body>next document"), "next document");
}

TEST(Html, OverlongTagsAndValuesAreCut) {
  // ALIGN past the first 511 bytes of the tag is not seen.
  const std::string pad(600, 'x');
  EXPECT_EQ(Body("<p class=" + pad + " align=center>a"), "\r\na");
  // A 1000-byte value is cut, and its first letter still counts.
  EXPECT_EQ(Body("<p align=C" + std::string(1000, 'E') + ">a"), "\r\n\x01" "ca");
  EXPECT_EQ(Body("<font size=\"" + std::string(5000, '9') + "\">a"), "\x01" "F5a");
  // A tag that runs to the end of the text.
  EXPECT_EQ(Convert("<body>a<p align=center"), "a\x01" "c");
  EXPECT_EQ(Convert("<body><font size=4"), "\x01" "F4");
  // A "<" or "&" as the last byte of the text.
  EXPECT_EQ(Convert("<body>a<"), "a<");
  EXPECT_EQ(Convert("<body>a&"), "a&");
  EXPECT_EQ(Convert("<body>a&#"), "a&#");
}

}  // namespace

TEST(Html, ByteOneFromTheDocumentIsNoFormatCode) {
  // A reference to byte 1 would make "Bbold" bold; a literal byte 1 likewise.
  EXPECT_EQ(Markers(Body("a&#1;Bbold&#1;b")), "aBboldb");
  EXPECT_EQ(Markers(Body("x\x01" "By")), "xBy");
  // At the end no lone code byte is left before the NUL.
  const std::string end = Convert("a&#1;");
  EXPECT_EQ(end.find('\x01'), std::string::npos);
  EXPECT_EQ(Markers(Body("&#65;&#2;")), "A<x02>");  // other references unchanged
}

TEST(HtmlPages, HeadingsAndEmphasisAsInBookChapters) {
  // A page from the card and one handed over by its name as an archive's
  // entry: the heading is a line of its own, <em> is italic, <strong> bold.
  StartTestPlatform();
  const std::string page =
      "<html><body><h1 class=\"t\">Cap\xEDtulo uno: La tormenta</h1><p>El faro se alzaba "
      "<em>solo</em> sobre la <strong>roca</strong>.</p></body></html>";
  const std::string path = MakeScratchDir("html") + "/page.html";
  ASSERT_TRUE(WriteTestFile(path, page.data(), page.size()));
  for (bool fromCard : {true, false}) {
    SCOPED_TRACE(fromCard ? "card" : "archive entry");
    Text t;
    t.font = &FontSmall;
    if (fromCard) {
      ASSERT_EQ(LoadFromFile(&t, path.c_str()), 1);
    } else {
      ASSERT_EQ(LoadFromBuffer(&t, "chapter.HTM", strdup(page.c_str()), int32_t(page.size())), 1);
    }
    ASSERT_NE(t.text, nullptr);
    EXPECT_EQ(Markers(t.text), "\nCap<xED>tulo uno: La tormenta\n\nEl faro se alzaba <I>solo<i> sobre la <B>roca<b>.\n\n");
    ClearTextContents(&t);
  }
}
