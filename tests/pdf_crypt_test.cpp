// Tests of encrypted PDF files: each method of the standard security handler
// gives the text and strings of the plain file, a user password and an unknown
// handler are told apart, and streams that the format keeps in the clear stay.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "harness.h"
#include "pdf/document.h"
#include "pdf/pdf.h"
#include "pdf_builder.h"

namespace {

const std::string kReal = std::string(QUILLO_SOURCE_DIR) + "/tests/data/pdf/real/";

// ImportPdf's result on the file at path; its text in *text.
int Import(const std::string& path, std::string* text) {
  const std::string file = ReadTestFile(path);
  char* buffer = static_cast<char*>(std::malloc(file.size() + 1));
  std::memcpy(buffer, file.data(), file.size());
  testing::internal::CaptureStdout();
  const int result = ImportPdf(nullptr, &buffer, int32_t(file.size()));
  testing::internal::GetCapturedStdout();
  *text = buffer ? buffer : "";
  std::free(buffer);
  return result;
}

// The document information's title and producer, as the reader decodes them.
std::string InfoStrings(const std::string& file) {
  PdfDocument document;
  if (!PdfOpenDocument(&document, reinterpret_cast<const uint8_t*>(file.data()), file.size())) return "<closed>";
  const PdfObject* info = PdfGet(&document, &document.trailer, "Info");
  const PdfObject* title = PdfGet(&document, info, "Title");
  const PdfObject* producer = PdfGet(&document, info, "Producer");
  return (title ? title->text : "<none>") + "|" + (producer ? producer->text : "<none>");
}

// A one-page file with a text, and these trailer entries.
std::string Catalog(const std::string& trailer) {
  PdfBuilder pdf;
  pdf.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  pdf.Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  pdf.Object(3, "<< /Type /Page /Parent 2 0 R /Contents 4 0 R >>");
  pdf.Stream(4, "BT /F1 12 Tf 72 700 Td (Words) Tj ET");
  return pdf.Finish("/Root 1 0 R " + trailer);
}

TEST(PdfCrypt, EveryMethodGivesThePlainFilesTextAndStrings) {
  std::string plain;
  ASSERT_EQ(Import(kReal + "libreoffice.pdf", &plain), PDF_IMPORT_OK);
  ASSERT_GT(plain.size(), 1000u);
  const std::string plainInfo = InfoStrings(ReadTestFile(kReal + "libreoffice.pdf"));
  for (const char* name : {"rc4-40", "rc4-128", "aes-128", "aes-128-objstreams", "aes-256-r5", "aes-256",
                           "rc4-128-clear-metadata"}) {
    const std::string path = kReal + "encrypted/" + name + ".pdf";
    std::string text;
    EXPECT_EQ(Import(path, &text), PDF_IMPORT_OK) << name;
    EXPECT_TRUE(text == plain) << name << ": " << text.substr(0, 200);
    // Strings of objects, in object streams too, decrypted once.
    EXPECT_EQ(InfoStrings(ReadTestFile(path)), plainInfo) << name;
  }
}

TEST(PdfCrypt, MetadataLeftInTheClearIsReadAsItIs) {
  const std::string file = ReadTestFile(kReal + "encrypted/rc4-128-clear-metadata.pdf");
  PdfDocument document;
  ASSERT_TRUE(PdfOpenDocument(&document, reinterpret_cast<const uint8_t*>(file.data()), file.size()));
  EXPECT_EQ(document.encryption, PDF_ENCRYPTION_OPEN);
  const PdfObject* root = PdfGet(&document, &document.trailer, "Root");
  PdfBytes xmp;
  ASSERT_TRUE(PdfDecodeStream(&document, PdfGet(&document, root, "Metadata"), &xmp));
  const std::string text(reinterpret_cast<const char*>(xmp.data), xmp.length);
  EXPECT_NE(text.find("<dc:title>The Slow Voyage</dc:title>"), std::string::npos) << text;
}

// An AES-128 file with an update appended that adds streams of their own
// crypt filter: /Identity (stored as it is) and a name the file lacks.
TEST(PdfCrypt, AStreamsOwnCryptFilterDecides) {
  const std::string base = ReadTestFile(kReal + "encrypted/aes-128.pdf");
  PdfDocument before;
  ASSERT_TRUE(PdfOpenDocument(&before, reinterpret_cast<const uint8_t*>(base.data()), base.size()));
  const PdfObject& trailer = before.trailer;
  const int32_t size = trailer.Get("Size")->Int();
  std::string id;
  for (unsigned char c : trailer.Get("ID")->items[0].text) {
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02x", c);
    id += hex;
  }
  std::string file = base;
  const size_t identity = file.size();
  file += std::to_string(size) + " 0 obj\n<< /Length 11 /Filter [/Crypt] /DecodeParms [<< /Name /Identity >>] >>\n"
          "stream\nplain bytes\nendstream\nendobj\n";
  const size_t other = file.size();
  file += std::to_string(size + 1) + " 0 obj\n<< /Length 11 /Filter /Crypt /DecodeParms << /Name /Other >> >>\n"
          "stream\nplain bytes\nendstream\nendobj\n";
  char entries[64];
  std::snprintf(entries, sizeof entries, "%010zu 00000 n \n%010zu 00000 n \n", identity, other);
  const std::string prev = std::to_string(std::strtoul(base.c_str() + base.rfind("startxref") + 9, nullptr, 10));
  const size_t xref = file.size();
  file += "xref\n" + std::to_string(size) + " 2\n" + entries + "trailer\n<< /Size " + std::to_string(size + 2) +
          " /Root " + std::to_string(trailer.Get("Root")->refNumber) + " 0 R /Encrypt " +
          std::to_string(trailer.Get("Encrypt")->refNumber) + " 0 R /ID [<" + id + "><" + id + ">] /Prev " + prev +
          " >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";

  PdfDocument document;
  ASSERT_TRUE(PdfOpenDocument(&document, reinterpret_cast<const uint8_t*>(file.data()), file.size()));
  EXPECT_EQ(document.encryption, PDF_ENCRYPTION_OPEN);
  EXPECT_FALSE(document.repaired);
  PdfBytes data;
  ASSERT_TRUE(PdfDecodeStream(&document, PdfGetObject(&document, size), &data));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(data.data), data.length), "plain bytes");
  EXPECT_FALSE(PdfDecodeStream(&document, PdfGetObject(&document, size + 1), &data));
}

TEST(PdfCrypt, PasswordsAndUnreadableEncryptionAreToldApart) {
  const std::string corpus = std::string(QUILLO_CORPUS_DIR) + "/pdf/";
  const char* const kUser = "/O <00> /U <00> /P -4";
  const struct {
    std::string file;
    int result;
  } kCases[] = {
      {ReadTestFile(kReal + "encrypted/user-password.pdf"), PDF_IMPORT_PASSWORD},
      // User password "foo": RC4 of 40 bits and AES-128.
      {ReadTestFile(corpus + "rc4-40.pdf"), PDF_IMPORT_PASSWORD},
      {ReadTestFile(corpus + "aes-128.pdf"), PDF_IMPORT_PASSWORD},
      {Catalog("/Encrypt << /Filter /Unknown >>"), PDF_IMPORT_PROTECTED},
      {Catalog(std::string("/Encrypt << /Filter /Standard /V 2 /R 7 ") + kUser + " >>"), PDF_IMPORT_PROTECTED},
      {Catalog(std::string("/Encrypt << /Filter /Standard /V 2 /R 3 ") + kUser + " >>"), PDF_IMPORT_PROTECTED},
      {Catalog(std::string("/Encrypt << /Filter /Standard /V 4 /R 4 /StmF /None ") + kUser + " >>"),
       PDF_IMPORT_PROTECTED},
      {Catalog("/Encrypt 9 0 R"), PDF_IMPORT_PROTECTED},
  };
  for (const auto& c : kCases) {
    char* buffer = static_cast<char*>(std::malloc(c.file.size()));
    std::memcpy(buffer, c.file.data(), c.file.size());
    testing::internal::CaptureStdout();
    EXPECT_EQ(ImportPdf(nullptr, &buffer, int32_t(c.file.size())), c.result) << c.file.substr(c.file.size() - 120);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(buffer, nullptr);
  }
}

}  // namespace
