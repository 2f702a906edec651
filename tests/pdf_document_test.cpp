// Tests of the PDF reader's lower layers: the object parser, the
// cross-reference in its forms (tables, streams with predictors, object
// streams, updates, the rebuild of a wrong one), stream data bounds and the
// page tree.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pdf/document.h"
#include "pdf/internal.h"
#include "pdf/objects.h"
#include "pdf_builder.h"

namespace {

PdfObject Parse(const std::string& text) {
  PdfLexer lexer{reinterpret_cast<const uint8_t*>(text.data()), text.size(), 0};
  PdfObject object;
  PdfParseObject(&lexer, &object);
  return object;
}

struct OpenPdf {
  std::string bytes;
  PdfDocument document;
  explicit OpenPdf(const std::string& pdf) : bytes(pdf) {}
  bool Open() { return PdfOpenDocument(&document, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()); }
  const PdfObject* Get(int number) { return PdfGetObject(&document, number); }
  std::string Data(int number) {
    PdfBytes out;
    if (!PdfDecodeStream(&document, Get(number), &out)) return "<fail>";
    return std::string(reinterpret_cast<char*>(out.data), out.length);
  }
};

}  // namespace

TEST(PdfObjects, ValuesAndEscapes) {
  const struct {
    const char* text;
    PdfType type;
    const char* bytes;  // string or name bytes
  } kCases[] = {
      {"(a\\(b\\)c\\\\)", PDF_STRING, "a(b)c\\"},
      {"(nested (paren) ok)", PDF_STRING, "nested (paren) ok"},
      {"(\\101\\60x\\7)", PDF_STRING, "A0x\x07"},
      {"(line\\\ncontinued)", PDF_STRING, "linecontinued"},
      {"(cr\r\nlf)", PDF_STRING, "cr\nlf"},
      {"(\\n\\t\\q)", PDF_STRING, "\n\tq"},
      {"<48 65 6c6C 6>", PDF_STRING, "Hell`"},
      {"/A#20B#2fc", PDF_NAME, "A B/c"},
      {"(unterminated", PDF_STRING, "unterminated"},
  };
  for (const auto& c : kCases) {
    PdfObject object = Parse(c.text);
    EXPECT_EQ(object.type, c.type) << c.text;
    EXPECT_EQ(object.text, c.bytes) << c.text;
  }
  PdfObject dict = Parse("<< /A [1 -2.5 +.5 3 0 R true null] /B << /C /D >> /A 9 >>");
  ASSERT_EQ(dict.type, PDF_DICT);
  const PdfObject* a = dict.Get("A");
  ASSERT_TRUE(a && a->type == PDF_ARRAY && a->items.size() == 6u);
  EXPECT_DOUBLE_EQ(a->items[1].number, -2.5);
  EXPECT_DOUBLE_EQ(a->items[2].number, 0.5);
  EXPECT_EQ(a->items[3].type, PDF_REF);
  EXPECT_EQ(a->items[3].refNumber, 3);
  EXPECT_EQ(a->items[4].type, PDF_BOOL);
  EXPECT_TRUE(dict.Get("B")->Get("C")->IsName("D"));
  EXPECT_EQ(dict.keys.size(), 2u);  // the repeated /A keeps its first value
  // Nesting far past the limit ends without running out of stack.
  PdfObject deep = Parse(std::string(100000, '[') + std::string(100000, ']'));
  EXPECT_EQ(deep.type, PDF_ARRAY);
}

TEST(PdfStructure, TableUpdatesAndWrongOffsets) {
  PdfBuilder pdf;
  pdf.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  pdf.Object(2, "<< /Type /Pages /Kids [] /Count 0 >>");
  pdf.Object(3, "(first)");
  std::string base = pdf.Finish();
  // An incremental update redefines object 3; its table points back with /Prev.
  const size_t prev = base.find("\nxref\n") + 1;
  const size_t at = base.size();
  std::string update = "3 0 obj\n(second)\nendobj\n";
  const size_t xref = at + update.size();
  char entry[40];
  std::snprintf(entry, sizeof entry, "%010zu 00000 n \n", at);
  update += "xref\n3 1\n" + std::string(entry) + "trailer\n<< /Size 4 /Root 1 0 R /Prev " + std::to_string(prev) +
            " >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
  OpenPdf updated(base + update);
  ASSERT_TRUE(updated.Open());
  EXPECT_EQ(updated.Get(3)->text, "second");
  EXPECT_EQ(updated.Get(2)->Get("Type")->text, "Pages");
  EXPECT_FALSE(updated.document.repaired);

  // Every offset shifted: the objects are found again by the scan.
  OpenPdf shifted("\n\n\n\n" + base);
  ASSERT_TRUE(shifted.Open());
  EXPECT_EQ(shifted.Get(3)->text, "first");
  EXPECT_TRUE(shifted.document.repaired);

  // No table and no trailer at all: the catalog is found by its /Type.
  OpenPdf bare(base.substr(0, base.find("xref")));
  ASSERT_TRUE(bare.Open());
  EXPECT_EQ(bare.Get(3)->text, "first");

  OpenPdf none("%PDF-1.4\nnothing here\n");
  EXPECT_FALSE(none.Open());
}

TEST(PdfStructure, XrefStreamWithPredictorAndObjectStream) {
  // Objects 1 and 2 live in object stream 3; the cross-reference stream 4
  // has rows of 1+2+1 bytes under the PNG Up predictor.
  const std::string objects = "<< /Type /Catalog /Pages 2 0 R >> << /Type /Pages /Kids [] /Count 0 >>";
  const std::string header = "1 0 2 34 ";
  PdfBuilder pdf;
  pdf.Stream(3, PdfDeflate(header + objects),
             "/Type /ObjStm /N 2 /First " + std::to_string(header.size()) + " /Filter /FlateDecode");
  const size_t stream3 = pdf.offsets[3];
  const size_t xref = pdf.body.size();
  const unsigned char rows[5][4] = {
      {0, 0, 0, 0}, {2, 0, 3, 0}, {2, 0, 3, 1}, {1, uint8_t(stream3 >> 8), uint8_t(stream3), 0}, {1, 0, 0, 0}};
  std::string raw;
  unsigned char previous[4] = {0, 0, 0, 0};
  for (int r = 0; r < 5; ++r) {
    unsigned char row[4];
    if (r == 4) {
      row[0] = 1, row[1] = uint8_t(xref >> 8), row[2] = uint8_t(xref), row[3] = 0;
    } else {
      for (int k = 0; k < 4; ++k) row[k] = rows[r][k];
    }
    raw += char(2);  // the Up filter byte
    for (int k = 0; k < 4; ++k) raw += char(uint8_t(row[k] - previous[k]));
    for (int k = 0; k < 4; ++k) previous[k] = row[k];
  }
  pdf.Stream(4, PdfDeflate(raw),
             "/Type /XRef /Size 5 /W [1 2 1] /Root 1 0 R /Filter /FlateDecode "
             "/DecodeParms << /Predictor 12 /Columns 4 >>");
  OpenPdf file(pdf.body + "startxref\n" + std::to_string(xref) + "\n%%EOF\n");
  ASSERT_TRUE(file.Open());
  EXPECT_FALSE(file.document.repaired);
  EXPECT_TRUE(file.Get(2)->Get("Type")->IsName("Pages"));
  std::vector<PdfPage> pages;
  EXPECT_TRUE(PdfCollectPages(&file.document, &pages));
  EXPECT_TRUE(pages.empty());
}

TEST(PdfStructure, StreamLengthsAndPageTree) {
  PdfBuilder pdf;
  pdf.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  // Two pages under an inner node that carries resources and a rotation, a
  // kid that points back at the root node, and one page of its own.
  pdf.Object(2, "<< /Type /Pages /Kids [6 0 R 5 0 R 2 0 R] /Count 3 /Resources << /Font << >> >> >>");
  pdf.Object(3, "<< /Type /Page /Parent 6 0 R /Contents 7 0 R >>");
  pdf.Object(4, "<< /Type /Page /Parent 6 0 R /Contents 8 0 R /Rotate -90 >>");
  pdf.Object(5, "<< /Type /Page /Parent 2 0 R /Contents 9 0 R /Resources << /XObject << >> >> >>");
  pdf.Object(6, "<< /Type /Pages /Parent 2 0 R /Kids [3 0 R 4 0 R] /Count 2 /Rotate 90 >>");
  pdf.Object(7, "<< /Length 10 0 R >>\nstream\nindirect\nendstream");
  pdf.Object(8, "<< /Length 999 >>\nstream\r\ntoo long\r\nendstream");
  pdf.Object(9, "<< >>\nstream\nno length\nendstream");
  pdf.Object(10, "8");
  OpenPdf file(pdf.Finish());
  ASSERT_TRUE(file.Open());
  EXPECT_EQ(file.Data(7), "indirect");
  EXPECT_EQ(file.Data(8), "too long");
  EXPECT_EQ(file.Data(9), "no length");
  std::vector<PdfPage> pages;
  ASSERT_TRUE(PdfCollectPages(&file.document, &pages));
  ASSERT_EQ(pages.size(), 3u);
  EXPECT_EQ(pages[0].dictionary, file.Get(3));
  EXPECT_EQ(pages[0].rotate, 90);
  EXPECT_EQ(pages[1].rotate, 270);
  EXPECT_EQ(pages[0].resources, pages[1].resources);
  ASSERT_NE(pages[0].resources, nullptr);
  EXPECT_NE(pages[0].resources->Get("Font"), nullptr);
  EXPECT_NE(pages[2].resources->Get("XObject"), nullptr);
  EXPECT_EQ(pages[2].rotate, 0);
}

// The streams of one document decode to PDF_MAX_DECODED_BYTES in all: a stream
// past that is not decoded, and the document says its text may be short.
TEST(PdfStructure, DecodedBytesHaveABudgetPerDocument) {
  // Raw data counts as it is copied out, as filters' output does.
  const std::string blanks(FLATE_MAX_OUTPUT, ' ');
  PdfBuilder pdf;
  pdf.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  pdf.Object(2, "<< /Type /Pages /Kids [] /Count 0 >>");
  pdf.Object(3, "<< /Length " + std::to_string(blanks.size()) + " >>\nstream\n" + blanks + "\nendstream");
  OpenPdf file(pdf.Finish());
  ASSERT_TRUE(file.Open());
  size_t streams = 0;
  while (file.Data(3) != "<fail>" && streams <= PDF_MAX_DECODED_BYTES / FLATE_MAX_OUTPUT) ++streams;
  EXPECT_EQ(streams, PDF_MAX_DECODED_BYTES / FLATE_MAX_OUTPUT);
  EXPECT_TRUE(file.document.budgetSpent);
}
