// Tests of the PDF fonts and content interpreter: small hand-made books whose
// fonts, encodings, text operators, forms and page trees must give the right
// words once the page's glyphs are assembled.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pdf/content.h"
#include "pdf/document.h"
#include "pdf_builder.h"

namespace {

struct Extracted {
  std::string text;
  bool anyText = false;
  bool ok = false;
};

Extracted Extract(const std::string& pdf) {
  Extracted out;
  PdfDocument document;
  if (!PdfOpenDocument(&document, reinterpret_cast<const uint8_t*>(pdf.data()), pdf.size())) return out;
  PdfTextBuffer text;
  out.ok = PdfExtractPages(&document, &text, &out.anyText);
  out.text.assign(text.data ? text.data : "", text.length);
  PdfTextFree(&text);
  return out;
}

struct Extra {
  int number;
  std::string text;  // the dictionary, or a stream's dictionary entries
  std::string data;  // a stream's data
  bool stream;
};

// A one-page book: page 3 shows content with font dictionary `font` as /F1;
// pageKeys go into the page's dictionary.
std::string Book(const std::string& font, const std::string& content, const std::vector<Extra>& more = {},
                 const std::string& pageKeys = "") {
  PdfBuilder pdf;
  pdf.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  pdf.Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  pdf.Object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R "
                "/Resources << /Font << /F1 5 0 R >> /XObject << /X1 20 0 R >> >> " + pageKeys + " >>");
  pdf.Stream(4, content);
  pdf.Object(5, font);
  for (const Extra& e : more) {
    if (e.stream) {
      pdf.Stream(e.number, e.data, e.text);
    } else {
      pdf.Object(e.number, e.text);
    }
  }
  return pdf.Finish();
}

const char kHelvetica[] = "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>";

std::string CMap(const std::string& body) {
  return "/CIDInit /ProcSet findresource begin 12 dict begin begincmap\n/CMapName /T def\n" + body +
         "\nendcmap CMapName currentdict /CMap defineresource pop end end";
}

struct Case {
  const char* name;
  std::string pdf;
  std::vector<const char*> present;
  std::vector<const char*> absent;
  bool anyText;
};

void Check(const Case& c) {
  const Extracted out = Extract(c.pdf);
  EXPECT_TRUE(out.ok) << c.name;
  EXPECT_EQ(out.anyText, c.anyText) << c.name;
  for (const char* word : c.present) EXPECT_NE(out.text.find(word), std::string::npos) << c.name << ": " << word << " in\n" << out.text;
  for (const char* word : c.absent) EXPECT_EQ(out.text.find(word), std::string::npos) << c.name << ": " << word << " in\n" << out.text;
}

}  // namespace

TEST(PdfContentFonts, CodesBecomeCharactersThroughEncodingsAndMaps) {
  const std::string simpleWidths = "/FirstChar 0 /LastChar 255 /Widths [" + [] {
    std::string w;
    for (int i = 0; i < 256; ++i) w += "500 ";
    return w;
  }() + "]";
  const std::string cidFont =
      "<< /Type /Font /Subtype /CIDFontType2 /BaseFont /Body /CIDSystemInfo << /Registry (Adobe) "
      "/Ordering (Identity) /Supplement 0 >> /W [16 [600 600 600 600 600 600]] >>";
  const Case kCases[] = {
      {"differences with uniXXXX names and unknown gNN names",
       Book("<< /Type /Font /Subtype /Type1 /BaseFont /ABCDEF+Body " + simpleWidths +
                " /Encoding << /Type /Encoding /BaseEncoding /WinAnsiEncoding /Differences [1 /uni0048 /e /l /o "
                "/uni00E9 65 /g65] >> >>",
            "BT /F1 12 Tf 72 700 Td <0102030304> Tj ( caf\\005 A) Tj ET"),
       {"Hello caf\xE9"},
       {"A"},
       true},
      {"ToUnicode bfrange with an array and a ligature",
       Book("<< /Type /Font /Subtype /TrueType /BaseFont /Body " + simpleWidths + " /ToUnicode 10 0 R >>",
            "BT /F1 12 Tf 72 700 Td <010203> Tj ( ) Tj <04> Tj (sh) Tj ET",
            {{10,
              "",
              CMap("1 begincodespacerange <00> <FF> endcodespacerange\n"
                   "1 beginbfrange <01> <03> [<0048> <0069> <0021>] endbfrange\n"
                   "1 beginbfchar <04> <00660069> endbfchar"),
              true}}),
       {"Hi! fish"},
       {},
       true},
      {"Identity-H with two-byte codes",
       Book("<< /Type /Font /Subtype /Type0 /BaseFont /Body /Encoding /Identity-H /DescendantFonts [11 0 R] "
            "/ToUnicode 10 0 R >>",
            "BT /F1 12 Tf 72 700 Td <0012001000150014> Tj [<0013>] TJ ET",
            {{10,
              "",
              CMap("1 begincodespacerange <0000> <FFFF> endcodespacerange\n"
                   "1 beginbfrange <0010> <0015> <0041> endbfrange"),
              true},
             {11, cidFont, "", false}}),
       {"CAFED"},
       {},
       true},
      {"Adobe-Identity without ToUnicode says nothing",
       Book("<< /Type /Font /Subtype /Type0 /BaseFont /Body /Encoding /Identity-H /DescendantFonts [11 0 R] >>",
            "BT /F1 12 Tf 72 700 Td <0048006900210021> Tj ET", {{11, cidFont, "", false}}),
       {},
       {"H", "i"},
       false},
      {"Type 3 widths through the FontMatrix",
       // 50 units of 1/100 em: 5 points at size 10, so "cd" starts 0.05 em
       // after "ab" and "ef" 0.3 em after "cd".
       Book("<< /Type /Font /Subtype /Type3 /FontMatrix [0.01 0 0 0.01 0 0] /FontBBox [0 0 100 100] "
            "/CharProcs << >> /Resources << >> /FirstChar 97 /LastChar 102 /Widths [50 50 50 50 50 50] "
            "/Encoding << /Type /Encoding /Differences [97 /a /b /c /d /e /f] >> >>",
            "BT /F1 10 Tf 72 700 Td (ab) Tj ET BT /F1 10 Tf 82.5 700 Td (cd) Tj ET "
            "BT /F1 10 Tf 95.5 700 Td (ef) Tj ET"),
       {"abcd ef"},
       {"ab cd"},
       true},
      {"standard 14 metrics without Widths",
       // Helvetica "Hello" is 22.78 points at 10: "World" one space later.
       // "Summ" is 28.89: "er" 0.2 points after it belongs to the word.
       Book(kHelvetica,
            "BT /F1 10 Tf 72 700 Td (Hello) Tj ET BT /F1 10 Tf 97.56 700 Td (World) Tj ET "
            "BT /F1 10 Tf 72 680 Td (Summ) Tj ET BT /F1 10 Tf 101.09 680 Td (er) Tj ET"),
       {"Hello World", "Summer"},
       {"Summ er"},
       true},
  };
  for (const Case& c : kCases) Check(c);
}

TEST(PdfContentText, OperatorsPlaceWordsAndSpaces) {
  const Case kCases[] = {
      {"TJ gap of a space and kerning inside a word",
       Book(kHelvetica, "BT /F1 12 Tf 72 700 Td [(Hel) -30 (lo) -600 (World)] TJ ET"),
       {"Hello World"},
       {"Hel lo"},
       true},
      {"word spacing on code 32, leading and quote operators",
       Book(kHelvetica, "BT /F1 12 Tf 14 TL 72 700 Td 3 Tw (two words) Tj T* (next) Tj 0 0 (line) \" (last) ' ET"),
       {"two words", "next", "line", "last"},
       {"nextline", "linelast"},
       true},
      {"invisible text is text",
       Book(kHelvetica, "BT 3 Tr /F1 12 Tf 72 700 Td (Hidden) Tj ET"),
       {"Hidden"},
       {},
       true},
      {"inline image data is skipped, marked content and dictionaries too",
       Book(kHelvetica,
            "/Span << /ActualText (Bad) /Nested << /K 1 >> >> BDC "
            "BI /W 4 /H 1 /BPC 8 /CS /G ID (Bad) TjEI\x01 EI "
            "EMC BT /F1 12 Tf 72 700 Td (Good) Tj ET"),
       {"Good"},
       {"Bad"},
       true},
      {"a page turned a quarter: text running up reads left to right",
       Book(kHelvetica, "BT /F1 12 Tf 0 1 -1 0 100 72 Tm (Hello) Tj 0 1 -1 0 100 108.5 Tm (World) Tj ET", {},
            "/Rotate 90"),
       {"Hello World"},
       {},
       true},
      {"a page with only a picture",
       Book(kHelvetica, "q 100 0 0 100 72 600 cm /X1 Do Q",
            {{20, "/Type /XObject /Subtype /Image /Width 1 /Height 1 /ColorSpace /DeviceGray /BitsPerComponent 8",
              "\x80", true}}),
       {},
       {},
       false},
  };
  for (const Case& c : kCases) Check(c);
}

TEST(PdfContentStructure, FormsContentArraysAndInheritedResources) {
  const Case kFormCases[] = {
      {"text inside a form with its own resources and matrix",
       Book(kHelvetica, "BT /F1 12 Tf 72 700 Td (Page) Tj ET /X1 Do",
            {{20, "/Type /XObject /Subtype /Form /BBox [0 0 500 500] /Matrix [1 0 0 1 0 -100] "
                  "/Resources << /Font << /G 5 0 R >> >>",
              "BT /G 12 Tf 72 700 Td (Inside) Tj ET", true}}),
       {"Page", "Inside"},
       {},
       true},
      {"a form that draws itself ends",
       Book(kHelvetica, "/X1 Do",
            {{20, "/Type /XObject /Subtype /Form /BBox [0 0 500 500] "
                  "/Resources << /Font << /F1 5 0 R >> /XObject << /X1 20 0 R >> >>",
              "/X1 Do BT /F1 12 Tf 72 700 Td (Loop) Tj ET", true}}),
       {"Loop"},
       {"LoopLoop", "Loop Loop"},
       true},
  };
  for (const Case& c : kFormCases) Check(c);

  // Resources on the page tree's root, and a /Contents array split between
  // an operator's operands.
  PdfBuilder pdf;
  pdf.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  pdf.Object(2, "<< /Type /Pages /Kids [3 0 R 6 0 R] /Count 2 /Resources << /Font << /F1 5 0 R >> >> >>");
  pdf.Object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents [4 0 R 7 0 R] >>");
  pdf.Stream(4, "BT /F1 12 Tf 72 700");
  pdf.Object(5, kHelvetica);
  pdf.Object(6, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 8 0 R >>");
  pdf.Stream(7, "Td (Inherited) Tj ET");
  pdf.Stream(8, PdfDeflate("BT /F1 12 Tf 72 700 Td (Second) Tj ET"), "/Filter /FlateDecode");
  const Extracted out = Extract(pdf.Finish());
  EXPECT_TRUE(out.anyText);
  const size_t first = out.text.find("Inherited");
  const size_t second = out.text.find("Second");
  ASSERT_NE(first, std::string::npos) << out.text;
  ASSERT_NE(second, std::string::npos) << out.text;
  EXPECT_LT(first, second);
}
