// Tests of the PDF importer: the words of real PDFs against pdftotext's, the
// stream scan with its codec list and data bounds, the three filters and the
// content-stream text rules that real files exercise.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "document/text.h"
#include "harness.h"
#include "importers/load.h"
#include "pdf/internal.h"
#include "pdf/pdf.h"
#include "pdf_builder.h"
#include "platform/font.h"
#include "platform/keys.h"
#include "platform/settings.h"

namespace {

// pdf_to_text on a copy of the bytes; the trace lines go to *trace when given.
std::string ToText(const std::string& pdf, std::string* trace = nullptr) {
  std::vector<char> input(pdf.begin(), pdf.end());
  input.push_back(0);
  char* output = nullptr;
  testing::internal::CaptureStdout();
  int result = pdf_to_text(input.data(), int32_t(pdf.size()), &output);
  std::string printed = testing::internal::GetCapturedStdout();
  if (trace) *trace = printed;
  EXPECT_EQ(result, 0);
  if (!output) return "<null>";
  std::string text(output);
  free(output);
  return text;
}

std::string Extract(const std::string& content) {
  PdfTextBuffer text;
  ExtractText(&text, reinterpret_cast<const uint8_t*>(content.data()), int32_t(content.size()));
  std::string result(text.data ? text.data : "", text.length);
  PdfTextFree(&text);
  return result;
}


// ASCII85 as PDF writers emit it: "z" for zero groups, a short last group, "~>".
std::string Ascii85(const std::string& data) {
  std::string out;
  for (size_t i = 0; i < data.size(); i += 4) {
    size_t k = std::min<size_t>(4, data.size() - i);
    uint32_t v = 0;
    for (size_t b = 0; b < 4; ++b) v = v << 8 | (b < k ? uint8_t(data[i + b]) : 0);
    if (k == 4 && v == 0) {
      out += 'z';
      continue;
    }
    char group[5];
    for (int d = 4; d >= 0; --d) {
      group[d] = char('!' + v % 85);
      v /= 85;
    }
    out.append(group, k + 1);
  }
  return out + "~>";
}

// A PDF with one stream: the dictionary text, the data as stored.
std::string OneStream(const std::string& dictionary, const std::string& data) {
  return "%PDF-1.4\n1 0 obj\n<<" + dictionary + ">>\nstream\n" + data + "\nendstream\nendobj\n";
}

std::string ReadFileBytes(const std::string& path) { return ReadTestFile(path); }

// Words as runs of ASCII letters and digits: punctuation, UTF-8 and the code
// page bytes of either side never decide a match.
std::vector<std::string> Words(const std::string& text) {
  std::vector<std::string> words;
  std::string word;
  for (char ch : text) {
    if (isalnum(uint8_t(ch)) && uint8_t(ch) < 128) {
      word += ch;
    } else if (!word.empty()) {
      words.push_back(word);
      word.clear();
    }
  }
  if (!word.empty()) words.push_back(word);
  return words;
}

// Length of the longest common subsequence of two word lists (bit-parallel).
size_t CommonInOrder(const std::vector<std::string>& ours, const std::vector<std::string>& theirs) {
  size_t m = ours.size();
  size_t blocks = (m + 63) / 64;
  if (m == 0) return 0;
  std::map<std::string, std::vector<uint64_t>> masks;
  for (size_t i = 0; i < m; ++i) {
    auto& mask = masks[ours[i]];
    if (mask.empty()) mask.assign(blocks, 0);
    mask[i / 64] |= uint64_t(1) << (i % 64);
  }
  std::vector<uint64_t> v(blocks, ~uint64_t(0));
  for (const std::string& word : theirs) {
    auto found = masks.find(word);
    if (found == masks.end()) continue;
    const std::vector<uint64_t>& mask = found->second;
    uint64_t carry = 0;
    uint64_t borrow = 0;
    for (size_t b = 0; b < blocks; ++b) {
      uint64_t u = v[b] & mask[b];
      uint64_t sum = v[b] + u + carry;
      carry = (sum < v[b] || (carry && sum == v[b])) ? 1 : 0;
      uint64_t diff = v[b] - u - borrow;
      borrow = (v[b] < u || (borrow && v[b] == u)) ? 1 : 0;
      v[b] = sum | diff;
    }
  }
  size_t zeros = 0;
  for (size_t i = 0; i < m; ++i) {
    if (!(v[i / 64] >> (i % 64) & 1)) ++zeros;
  }
  return zeros;
}

// ImportPdf on a copy of the file: the text, or "<result N>" when it fails.
std::string ImportedText(const std::string& pdf, int* result = nullptr) {
  char* buffer = static_cast<char*>(malloc(pdf.size() + 1));
  memcpy(buffer, pdf.data(), pdf.size());
  buffer[pdf.size()] = 0;
  testing::internal::CaptureStdout();
  const int status = ImportPdf(nullptr, &buffer, int32_t(pdf.size()));
  testing::internal::GetCapturedStdout();
  if (result) *result = status;
  if (!buffer) return "<result " + std::to_string(status) + ">";
  std::string text(buffer);
  free(buffer);
  return text;
}

struct WordShare {
  size_t reference_words;
  double share;
};

WordShare ShareOfFile(const std::string& pdf_path, const std::string& expected_path) {
  std::vector<std::string> theirs = Words(ReadFileBytes(expected_path));
  std::vector<std::string> ours = Words(ImportedText(ReadFileBytes(pdf_path)));
  if (theirs.empty()) return {0, 1.0};
  return {theirs.size(), double(CommonInOrder(ours, theirs)) / double(theirs.size())};
}

}  // namespace

TEST(PdfWords, SharesOfPdftotextWordsInOrder) {
  // Minimum share of pdftotext's words found in order by ImportPdf (the
  // figure measured when the reader learnt to read a PDF's structure, fonts
  // and glyph positions; form fields come from their annotations' appearance).
  // Maps and drawings (2b, matplotlib, issue_495) score low because pdftotext
  // orders their labels by place on the page while the reader keeps content
  // order. -1: held to nothing
  // (pdftotext finds no words, or none of them are in the reader's order).
  const std::string data = std::string(QUILLO_SOURCE_DIR) + "/tests/data/pdf/";
  const std::string corpus = std::string(QUILLO_CORPUS_DIR) + "/pdf/";
  const struct {
    const char* name;
    bool own;
    double minimum;
  } kFiles[] = {
      {"groff-ps2pdf", true, 1.00},
      {"groff-ps2pdf-plain", true, 1.00},
      {"groff-ps2pdf-a85", true, 1.00},
      {"gropdf", true, 1.00},
      {"enscript-ps2pdf", true, 1.00},
      {"reportlab-plain", true, 0.99},
      {"reportlab-flate", true, 0.99},
      {"simple1", false, 1.00},
      {"simple2", false, 1.00},
      {"simple3", false, -1},
      {"simple4", false, 1.00},
      {"simple5", false, 1.00},
      {"jo", false, 1.00},
      {"font-size-test", false, 0.97},
      {"sampleOneByteIdentityEncode", false, 1.00},
      {"zen_of_python_corrupted", false, 0.90},
      {"test_pattern_colors", false, 1.00},
      {"patchelf", false, 1.00},
      {"base", false, 1.00},
      {"rc4-40", false, 1.00},
      {"aes-128", false, 1.00},
      {"matplotlib", false, 0.60},
      {"pagelabels", false, 0.92},
      {"issue-449-horizontal", false, 1.00},
      {"issue-1008-inline-ascii85", false, 0.50},
      {"issue-1062-filters", false, 0.64},
      {"issue-1113-evil-xobjects", false, 1.00},
      {"issue-886-xref-stream-widths", false, 1.00},
      {"issue_495_pdfobjref", false, 0.33},
      {"2b", false, 0.79},
      {"issue-00369-excel", false, 0.55},
      {"AcroForm_TEST", false, 0.94},
      {"issue-1057-tiff-predictor", false, 1.00},
      {"asciihexdecode", false, 1.00},
  };
  for (const auto& file : kFiles) {
    std::string pdf = (file.own ? data : corpus) + file.name + ".pdf";
    std::string expected =
        data + "expected/" + (file.own ? "" : "corpus-") + file.name + ".txt";
    WordShare share = ShareOfFile(pdf, expected);
    printf("word share %-30s %5zu words  %.3f\n", file.name, share.reference_words, share.share);
    if (file.minimum >= 0) {
      EXPECT_GE(share.share, file.minimum) << file.name;
    }
  }
}

TEST(PdfWords, EveryRealWriterInOrderAndNoWordGluedAtLineEnds) {
  const std::string real = std::string(QUILLO_SOURCE_DIR) + "/tests/data/pdf/real/";
  static const char* const kWriters[] = {
      "libreoffice",   "pdflatex",         "weasyprint",         "groff-ps2pdf",
      "groff-pdf",     "man-ps2pdf",       "cairo",              "qpdf-objstreams",
      "qpdf-no-objstreams", "qpdf-linearized", "qpdf-incremental",
  };
  for (const char* writer : kWriters) {
    // pdftotext joins a word hyphenated with "-" at a line end but keeps the
    // hyphen U+2010 that WeasyPrint breaks words with; the reader joins both.
    std::string reference = ReadFileBytes(real + "expected/" + writer + ".txt");
    for (size_t at = reference.find("\xE2\x80\x90\n"); at != std::string::npos;
         at = reference.find("\xE2\x80\x90\n", at)) {
      if (at + 4 < reference.size() && islower(uint8_t(reference[at + 4]))) {
        reference.erase(at, 4);
      } else {
        at += 4;
      }
    }
    const std::string text = ImportedText(ReadFileBytes(real + writer + ".pdf"));
    const std::vector<std::string> theirs = Words(reference);
    const std::vector<std::string> ours = Words(text);
    ASSERT_FALSE(theirs.empty()) << writer;
    const double share = double(CommonInOrder(ours, theirs)) / double(theirs.size());
    printf("real writer %-20s %5zu words  %.4f\n", writer, theirs.size(), share);
    EXPECT_GE(share, 0.99) << writer;
    // The last word of each of pdftotext's lines and the first of the next,
    // run together, is a word neither text should show.
    std::set<std::string> known(theirs.begin(), theirs.end());
    std::set<std::string> shown(ours.begin(), ours.end());
    std::string last;
    size_t start = 0;
    while (start < reference.size()) {
      size_t end = reference.find('\n', start);
      if (end == std::string::npos) end = reference.size();
      const std::vector<std::string> line = Words(reference.substr(start, end - start));
      if (!line.empty()) {
        const std::string glued = last + line.front();
        EXPECT_FALSE(!last.empty() && shown.count(glued) && !known.count(glued)) << writer << ": " << glued;
        last = line.back();
      }
      start = end + 1;
    }
    // Pages are kept apart by page-break codes, one fewer than the pages.
    size_t breaks = 0;
    for (size_t at = text.find("\x01P"); at != std::string::npos; at = text.find("\x01P", at + 2)) ++breaks;
    EXPECT_GT(breaks, 0u) << writer;
  }
}

TEST(PdfWords, ProtectedAndPictureOnlyFilesAreToldAndLeaveTheDocument) {
  StartTestPlatform();
  InitFonts();
  ResetSettings();
  Text* text = CreateText(TEXT_LAYOUT_WIDTH);
  ASSERT_NE(text, nullptr);
  text->font = &FontSmall;
  // A page that only paints an image.
  PdfBuilder pictures;
  pictures.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  pictures.Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  pictures.Object(3, "<< /Type /Page /Parent 2 0 R /Contents 4 0 R /Resources << /XObject << /Im0 5 0 R >> >> >>");
  pictures.Stream(4, "q 612 0 0 792 0 0 cm /Im0 Do Q");
  pictures.Stream(5, "\xFF\xD8\xFF", "/Type /XObject /Subtype /Image /Width 1 /Height 1 /Filter /DCTDecode");
  const std::string folder = MakeScratchDir("pdf-messages");
  const std::string scanned = folder + "/scanned.pdf";
  const std::string built = pictures.Finish();
  ASSERT_TRUE(WriteTestFile(scanned, built.data(), built.size()));
  // Encrypted by a security handler other than the standard one.
  const std::string unknown = folder + "/unknown.pdf";
  const std::string locked = pictures.Finish("/Root 1 0 R /Encrypt << /Filter /Unknown >>");
  ASSERT_TRUE(WriteTestFile(unknown, locked.data(), locked.size()));
  const std::string password = std::string(QUILLO_SOURCE_DIR) + "/tests/data/pdf/real/encrypted/user-password.pdf";
  const struct {
    std::string path;
    const char* message;
  } kCases[] = {
      // User password "foo".
      {std::string(QUILLO_CORPUS_DIR) + "/pdf/rc4-40.pdf", "This PDF needs a password: rc4-40.pdf"},
      {std::string(QUILLO_CORPUS_DIR) + "/pdf/aes-128.pdf", "This PDF needs a password: aes-128.pdf"},
      {password, "This PDF needs a password: user-password.pdf"},
      {unknown, "This PDF is protected: unknown.pdf"},
      {scanned, "This PDF has no text: its pages are pictures: scanned.pdf"},
  };
  for (const auto& c : kCases) {
    LoadFromMemory(text, strdup("The page before."));
    std::strcpy(text->name, "before.txt");
    GpSetKeyScript({{KEY_ACCEPT, 1000000}});
    const uint32_t polls = GpKeyScriptPolls();
    testing::internal::CaptureStdout();
    EXPECT_EQ(LoadFromFile(text, c.path.c_str()), 0) << c.path;
    const std::string messages = testing::internal::GetCapturedStdout();
    EXPECT_NE(messages.find(c.message), std::string::npos) << messages;
    EXPECT_EQ(GpKeyScriptPolls() - polls, 1u) << "one box";
    EXPECT_STREQ(text->text, "The page before.");
    EXPECT_STREQ(text->name, "before.txt");
  }
  g_settings.language = 1;
  testing::internal::CaptureStdout();
  LoadFromFile(text, scanned.c_str());
  LoadFromFile(text, password.c_str());
  const std::string spanish = testing::internal::GetCapturedStdout();
  EXPECT_NE(spanish.find("Este PDF no tiene texto: sus p\xE1ginas son im\xE1genes"), std::string::npos);
  EXPECT_NE(spanish.find("Este PDF necesita contrase\xF1" "a"), std::string::npos);
  GpClearKeyScript();
  ResetSettings();
  ReleaseText(text);
}

TEST(PdfWords, LzwContentStreamOfAWholeDocument) {
  // LZW as the simplest writer makes it: a clear code, every byte as a
  // 9-bit literal, the end code.
  const std::string content = "BT /F1 12 Tf 72 700 Td (Words under LZW) Tj ET";
  std::vector<int> codes = {256};
  for (char c : content) codes.push_back(uint8_t(c));
  codes.push_back(257);
  std::string lzw;
  uint32_t bits = 0;
  int count = 0;
  for (int code : codes) {
    bits = bits << 9 | uint32_t(code);
    for (count += 9; count >= 8; count -= 8) lzw += char(bits >> (count - 8));
  }
  if (count > 0) lzw += char(bits << (8 - count));
  PdfBuilder pdf;
  pdf.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  pdf.Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  pdf.Object(3, "<< /Type /Page /Parent 2 0 R /Contents 4 0 R /Resources << /Font << /F1 5 0 R >> >> >>");
  pdf.Stream(4, lzw, "/Filter /LZWDecode");
  pdf.Object(5, "<< /Type /Font /Subtype /Type1 /BaseFont /Times-Roman >>");
  EXPECT_EQ(ImportedText(pdf.Finish()), "Words under LZW\r\n");
}

TEST(PdfWords, TableThatInflatesPastTenTimesIsKept) {
  // The last page of this reportlab file inflates to more than ten times its
  // stored size; its hundred rows and the closing line must all be there.
  std::string text =
      ToText(ReadFileBytes(std::string(QUILLO_SOURCE_DIR) + "/tests/data/pdf/reportlab-flate.pdf"));
  size_t rows = 0;
  for (size_t at = text.find("Watch kept"); at != std::string::npos; at = text.find("Watch kept", at + 1)) {
    ++rows;
  }
  EXPECT_EQ(rows, 100u);
  EXPECT_NE(text.find("End of the night log."), std::string::npos);
  EXPECT_NE(text.find("End of the tide table."), std::string::npos);
}

TEST(PdfWords, LoaderOpensPdfByExtension) {
  StartTestPlatform();
  Text* text = CreateText(310);
  ASSERT_NE(text, nullptr);
  std::string path = std::string(QUILLO_SOURCE_DIR) + "/tests/data/pdf/reportlab-plain.pdf";
  testing::internal::CaptureStdout();
  EXPECT_EQ(LoadFromFile(text, path.c_str()), 1);
  testing::internal::GetCapturedStdout();
  ASSERT_NE(text->text, nullptr);
  EXPECT_NE(strstr(text->text, "Dear committee,"), nullptr);
  EXPECT_EQ(strstr(text->text, "%PDF"), nullptr);
  EXPECT_GT(text->lineCount, 5);
  ReleaseText(text);
}

TEST(PdfScan, InputWithoutPdfHeaderGivesEmptyText) {
  std::string body = "1 0 obj\n<<>>\nstream\nBT (hidden) Tj ET  \nendstream\n";
  EXPECT_EQ(ToText("%PDF-1.0\n" + body), "hidden\r\n");
  EXPECT_EQ(ToText("%PDX-1.0\n" + body), "");
  EXPECT_EQ(ToText("%PD"), "");
  char* output = nullptr;
  EXPECT_EQ(pdf_to_text(nullptr, 10, &output), 0);
  ASSERT_NE(output, nullptr);
  EXPECT_STREQ(output, "");
  free(output);

  // ImportPdf frees the file and hands back the text.
  std::string pdf = OneStream("/Length 20", "BT (Hi) Tj ET  ");
  char* buffer = static_cast<char*>(malloc(pdf.size() + 1));
  memcpy(buffer, pdf.c_str(), pdf.size() + 1);
  testing::internal::CaptureStdout();
  ImportPdf(nullptr, &buffer, int32_t(pdf.size()));
  testing::internal::GetCapturedStdout();
  ASSERT_NE(buffer, nullptr);
  EXPECT_STREQ(buffer, "Hi\r\n");
  free(buffer);
}

TEST(PdfScan, CodecListAndValidity) {
  const std::string content = "BT (Shown) Tj ET  ";
  std::string trace;
  // /Subtype is always tested, even with a supported filter.
  EXPECT_EQ(ToText(OneStream("/Subtype/Form/Filter/FlateDecode", PdfDeflate(content)), &trace), "");
  EXPECT_EQ(trace, "Codecs XF, valid n\n");
  // /DeviceRGB stops the filter checks.
  EXPECT_EQ(ToText(OneStream("/ColorSpace/DeviceRGB/Filter/FlateDecode", content), &trace), "");
  EXPECT_EQ(trace, "Codecs X, valid n\n");
  // Skipped codecs.
  EXPECT_EQ(ToText(OneStream("/Filter/RunLengthDecode", content), &trace), "");
  EXPECT_EQ(trace, "Codecs R, valid n\n");
  EXPECT_EQ(ToText(OneStream("/Filter[/FlateDecode/LZWDecode]", content), &trace), "");
  EXPECT_EQ(trace, "Codecs FL, valid n\n");
  EXPECT_EQ(ToText(OneStream("/Filter/DCTDecode", content), &trace), "");
  EXPECT_EQ(trace, "Codecs I, valid n\n");
  EXPECT_EQ(ToText(OneStream("/Filter[/ASCIIHexDecode/ASCII85Decode]", content), &trace), "");
  EXPECT_EQ(trace, "Codecs H8, valid n\n");
  // Filter names count only with /Filter.
  EXPECT_EQ(ToText(OneStream("/Note/FlateDecode", content), &trace), "Shown\r\n");
  EXPECT_EQ(trace, "Codecs , valid s\n");
  // A dictionary whose last name, FlateDecode, runs into ">>".
  EXPECT_EQ(ToText(OneStream("/Length 99/Filter/FlateDecode", PdfDeflate(content)), &trace),
            "Shown\r\n");
  EXPECT_EQ(trace, "Codecs F, valid s\n");
  // ASCII85 and Flate in either order: decoded ASCII85 first, then Flate.
  std::string a85 = Ascii85(PdfDeflate(content));
  EXPECT_EQ(ToText(OneStream("/Filter[/ASCII85Decode/FlateDecode]", a85), &trace), "Shown\r\n");
  EXPECT_EQ(trace, "Codecs F8, valid s\n");
  EXPECT_EQ(ToText(OneStream("/Filter[/FlateDecode /ASCII85Decode]", a85), &trace), "Shown\r\n");
  EXPECT_EQ(trace, "Codecs F8, valid s\n");
  // ASCIIHex over Flate, and ASCIIHex alone.
  std::string hex;
  char pair[3];
  for (char c : PdfDeflate(content)) {
    snprintf(pair, sizeof pair, "%02X", uint8_t(c));
    hex += pair;
  }
  EXPECT_EQ(ToText(OneStream("/Filter[/ASCIIHexDecode/FlateDecode]", hex + ">"), &trace), "Shown\r\n");
  EXPECT_EQ(trace, "Codecs FH, valid s\n");
  EXPECT_EQ(ToText(OneStream("/Filter/ASCIIHexDecode", "4254202848692920546A20455420200A>")),
            "Hi\r\n");
  // A stream without a dictionary is skipped without a trace.
  EXPECT_EQ(ToText("%PDF-1.0\nstream\nBT (x) Tj ET  \nendstream\n", &trace), "");
  EXPECT_EQ(trace, "");
}

TEST(PdfScan, StreamOrderAndDataBounds) {
  // Two streams are read in file order; the dictionary is the last "<<" before
  // the last ">" ahead of "stream".
  std::string two = OneStream("/Length 1", "BT (one) Tj ET  ") +
                    "2 0 obj\n<</Resources<</Font 3 0 R>>/Length 2>>\nstream\nBT (two) Tj ET  \nendstream\n";
  EXPECT_EQ(ToText(two), "one\r\ntwo\r\n");
  // An "endstream" before the next "stream" ends the scan.
  EXPECT_EQ(ToText("%PDF-1.0\nendstream\n<<>>\nstream\nBT (x) Tj ET  \nendstream\n"), "");
  // The byte before "endstream" is data: after "ET" and a space it lets ET
  // act; after a lone LF or a CR LF the ET is never acted on.
  EXPECT_EQ(ToText("%PDF\n<<>>stream\nBT (a) Tj ET endstream"), "a\r\n");
  EXPECT_EQ(ToText("%PDF\n<<>>stream\nBT (a) Tj ET\nendstream"), "a");
  EXPECT_EQ(ToText("%PDF\n<<>>stream\r\nBT (a) Tj ET\r\nendstream"), "a");
  // A CR without LF after "stream" stays part of the data.
  EXPECT_EQ(ToText("%PDF\n<<>>stream\r BT (a) Tj ET endstream"), "a\r\n");
  // Nothing, or less than nothing, between the keywords.
  EXPECT_EQ(ToText("%PDF\n<<>>stream\r\nendstream <<>>stream\nendstream<<>>streamendstream"), "");
  // The zero byte goes over the first ">" of the dictionary's end, inside the input.
  std::string pdf = "%PDF\n<</A 1>>stream\nBT (a) Tj ET \nendstream";
  std::vector<char> input(pdf.begin(), pdf.end());
  char* output = nullptr;
  testing::internal::CaptureStdout();
  EXPECT_EQ(pdf_to_text(input.data(), int32_t(input.size()), &output), 0);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(input[11], '\0');
  EXPECT_EQ(input[12], '>');
  free(output);
}

TEST(PdfScan, FindInBufferStaysInsideTheLength) {
  const char text[] = "xxstreamyy";
  EXPECT_EQ(FindInBuffer(text, "stream", 10), 2);
  EXPECT_EQ(FindInBuffer(text, "stream", 8), 2);
  EXPECT_EQ(FindInBuffer(text, "stream", 7), -1);
  EXPECT_EQ(FindInBuffer(text, "xx", 10), 0);
  EXPECT_EQ(FindInBuffer(text, "", 0), 0);
  EXPECT_EQ(FindInBuffer(text, "y", 0), -1);
  EXPECT_EQ(FindInBuffer("a\0stream", "stream", 8), 2);
}

TEST(PdfFilters, FlateGrowsPastTenTimesWithinItsLimits) {
  // 300 KB of numbered rows of text operators compress far better than 10:1:
  // kept whole.
  std::string content;
  char row[64];
  for (int i = 0; content.size() < 300000; ++i) {
    snprintf(row, sizeof row, "BT 0 -12 TD (row %d) Tj ET\n", i);
    content += row;
  }
  std::string packed = PdfDeflate(content);
  ASSERT_GT(content.size(), packed.size() * 10);
  ASSERT_LT(content.size(), packed.size() * FLATE_MAX_RATIO);
  uint8_t* out = nullptr;
  int32_t length = 0;
  ASSERT_EQ(FlateDecodeBuffer(reinterpret_cast<const uint8_t*>(packed.data()), int32_t(packed.size()),
                              &out, &length),
            1);
  ASSERT_EQ(size_t(length), content.size());
  EXPECT_EQ(memcmp(out, content.data(), content.size()), 0);
  free(out);

  // More than 1000 times the compressed size: dropped and traced.
  std::string zeros(4 << 20, '\0');
  packed = PdfDeflate(zeros);
  ASSERT_GT(zeros.size(), packed.size() * FLATE_MAX_RATIO);
  testing::internal::CaptureStdout();
  EXPECT_EQ(FlateDecodeBuffer(reinterpret_cast<const uint8_t*>(packed.data()), int32_t(packed.size()),
                              &out, &length),
            0);
  EXPECT_NE(testing::internal::GetCapturedStdout().find("stream dropped"), std::string::npos);

  // More than FLATE_MAX_OUTPUT at a lower ratio: cut there, the rest lost.
  std::string large((FLATE_MAX_OUTPUT) + (1 << 20), 'a');
  uint32_t seed = 1;
  for (size_t i = 0; i < large.size(); i += 97) {
    seed = seed * 1103515245 + 12345;
    large[i] = char(seed >> 24);
  }
  packed = PdfDeflate(large, 1);
  ASSERT_LT(large.size(), packed.size() * FLATE_MAX_RATIO);
  testing::internal::CaptureStdout();
  ASSERT_EQ(FlateDecodeBuffer(reinterpret_cast<const uint8_t*>(packed.data()), int32_t(packed.size()),
                              &out, &length),
            1);
  EXPECT_NE(testing::internal::GetCapturedStdout().find("stream cut"), std::string::npos);
  ASSERT_EQ(size_t(length), FLATE_MAX_OUTPUT);
  EXPECT_EQ(std::memcmp(out, large.data(), FLATE_MAX_OUTPUT), 0);
  EXPECT_EQ(out[length], 0);
  free(out);
  out = nullptr;
  large.clear();
  large.shrink_to_fit();

  // Corrupt and truncated data fail; zlib's message is traced.
  testing::internal::CaptureStdout();
  const uint8_t junk[] = {0x78, 0x9c, 0xff, 0xff, 0xff, 0xff};
  EXPECT_EQ(FlateDecodeBuffer(junk, sizeof junk, &out, &length), 0);
  packed = PdfDeflate(content);
  EXPECT_EQ(FlateDecodeBuffer(reinterpret_cast<const uint8_t*>(packed.data()), int32_t(packed.size() / 2),
                              &out, &length),
            0);
  EXPECT_NE(testing::internal::GetCapturedStdout().find("invalid"), std::string::npos);
  EXPECT_EQ(FlateDecodeBuffer(nullptr, 5, &out, &length), 0);
  EXPECT_EQ(FlateDecodeBuffer(junk, 0, &out, &length), 0);
}

TEST(PdfFilters, AsciiHex) {
  auto decode = [](const std::string& in) {
    uint8_t* out = nullptr;
    int32_t length = -1;
    EXPECT_EQ(AsciiHexDecodeBuffer(reinterpret_cast<const uint8_t*>(in.data()), int32_t(in.size()),
                                   &out, &length),
              1);
    std::string result(reinterpret_cast<char*>(out), size_t(length));
    free(out);
    return result;
  };
  EXPECT_EQ(decode("48656C6C6F>"), "Hello");
  // Lowercase digits are the same digits, as PDF writers use them.
  EXPECT_EQ(decode("4A4a>"), "JJ");
  EXPECT_EQ(decode("48656c6c6f>"), "Hello");
  EXPECT_EQ(decode("4865 6C6C 6F>"), "Hello");
  // An odd last digit stands for its pair with a 0.
  EXPECT_EQ(decode("48656C6C6F4>"), "Hello@");
  // PDF white space anywhere, even inside a pair, is stepped over; nothing is
  // made up for it.
  EXPECT_EQ(decode("4\n8 \t65\r\n6\f" + std::string(1, '\0') + "C>"), "Hel");
  EXPECT_EQ(decode("\n\n\n\n"), "");
  EXPECT_EQ(decode(">"), "");
  // Nothing after the end mark is read.
  EXPECT_EQ(decode("41>42"), "A");
  uint8_t* out = nullptr;
  int32_t length = 0;
  EXPECT_EQ(AsciiHexDecodeBuffer(reinterpret_cast<const uint8_t*>("41"), 0, &out, &length), 0);
  EXPECT_EQ(AsciiHexDecodeBuffer(reinterpret_cast<const uint8_t*>("41"), 2, nullptr, &length), 0);
}

TEST(PdfFilters, Ascii85) {
  auto decode = [](const std::string& in, std::string* trace) {
    uint8_t* out = nullptr;
    int32_t length = -1;
    testing::internal::CaptureStdout();
    int result = Ascii85DecodeBuffer(reinterpret_cast<const uint8_t*>(in.data()), int32_t(in.size()),
                                     &out, &length);
    *trace = testing::internal::GetCapturedStdout();
    if (result != 1) return std::string("<failed>");
    std::string decoded(reinterpret_cast<char*>(out), size_t(length));
    free(out);
    return decoded;
  };
  std::string trace;
  // Every length of last group, zero groups as "z", white space anywhere.
  std::string bytes = std::string("\0\0\0\0Hello, world\xff\xfe\x01", 19);
  for (size_t n = 0; n <= bytes.size(); ++n) {
    std::string part = bytes.substr(0, n);
    EXPECT_EQ(decode(Ascii85(part), &trace), part) << n;
  }
  EXPECT_EQ(decode(" 87cU\r\nRD]i,\"Ebo80~>", &trace), "Hello World!");
  EXPECT_EQ(decode("zz~>", &trace), std::string(8, '\0'));
  // Failures.
  EXPECT_EQ(decode("87z~>", &trace), "<failed>");
  EXPECT_EQ(trace, "z inside ascii85 5-tuple\n");
  EXPECT_EQ(decode("87cUR~", &trace), "<failed>");
  EXPECT_EQ(trace, "~ without > in ascii85 section\n");
  EXPECT_EQ(decode("87cUR~x", &trace), "<failed>");
  EXPECT_EQ(decode("87v~>", &trace), "<failed>");
  EXPECT_EQ(trace, "bad character in asc85: #118\n");
  EXPECT_EQ(decode("87\x01~>", &trace), "<failed>");
  EXPECT_EQ(trace, "bad character in asc85: #1\n");
  EXPECT_EQ(decode("87cURD]i,", &trace), "<failed>");
  // A failed ASCII85 step on a stream without Flate keeps its undecoded bytes.
  EXPECT_EQ(ToText(OneStream("/Filter/ASCII85Decode", "BT (raw) Tj ET  ")), "raw\r\n");
}

TEST(PdfText, TextObjectsAndOperators) {
  // Only strings inside BT ... ET count; BT needs white space on both sides.
  EXPECT_EQ(Extract("(out) Tj BT (in) Tj ET (out) Tj "), "in\r\n");
  EXPECT_EQ(Extract("xBT (a) Tj ET  BT(b) ET  "), "");
  EXPECT_EQ(Extract("BT\r(a)Tj\nET\r\n"), "a\r\n");
  // An ET at the very end, or followed by one white-space byte, is not seen.
  EXPECT_EQ(Extract("BT (a) Tj ET"), "a");
  EXPECT_EQ(Extract("BT (a) Tj ET\n"), "a");
  EXPECT_EQ(Extract("BT (a) Tj ET\nq"), "a\r\n");
  // Hex strings and other operators show nothing.
  EXPECT_EQ(Extract("BT <48656C6C6F> Tj 10 20 Td T* (a) ' ET  "), "a\r\n");
  // TD: the second operand decides (read without its sign).
  EXPECT_EQ(Extract("BT 0 -14 TD (a) Tj 5 0 TD (b) Tj 1 1 TD (c) Tj 3 1.0 TD (d) Tj 2 x TD (e) ET  "),
            "\r\na\tbcd\te\r\n");
  // Numbers before a string: kerning and gaps.
  EXPECT_EQ(Extract("BT [(Hel)-250(lo)] TJ ET  "), "Hel lo\r\n");
  EXPECT_EQ(Extract("BT [(a)-1200(b)50(c)100(d)100.9(e)101(f)1000(g)1001(h)] TJ ET  "),
            "a\tbcde f g\th\r\n");
  EXPECT_EQ(Extract("BT [(a) 250 (b)] TJ ET  "), "a b\r\n");
  EXPECT_EQ(Extract("BT [(a)99999999999999(b)] TJ ET  "), "a\tb\r\n");
}

TEST(PdfText, StringsAndEscapes) {
  // Strings do not nest: the first ")" ends one.
  EXPECT_EQ(Extract("BT (a(b)c) Tj (d) Tj ET  "), "a(bd\r\n");
  // Escapes: a character after a backslash is taken as itself.
  EXPECT_EQ(Extract("BT (\\(x\\) \\\\ \\n) Tj ET  "), "(x) \\ n\r\n");
  // Octal escapes: three digits, the letter A.
  EXPECT_EQ(Extract("BT (\\101\\102C) Tj ET  "), "ABC\r\n");
  // \9 is not octal: the digit itself.
  EXPECT_EQ(Extract("BT (\\9) Tj ET  "), "9\r\n");
  // A short octal escape still takes three bytes: here the ")" and the space,
  // so the string goes on to the next ")".
  EXPECT_EQ(Extract("BT (\\7) (next) Tj ET  "), "(next\r\n");
  EXPECT_EQ(Extract("BT (\\0123) Tj ET  "), "3\r\n");
  // Octal escapes that give control codes are dropped like literal ones: a
  // zero would end the whole document there, a byte 1 would start a format code.
  EXPECT_EQ(Extract("BT (a\\000b\\001Bc\\015\\012\\011\\177d) Tj ET  "), "abBcd\r\n");
  EXPECT_EQ(Extract(std::string("BT (a\x01\x7f\tb\xe9) Tj ET  ", 19)), "ab\xe9\r\n");
  // 0777 keeps its low eight bits.
  EXPECT_EQ(Extract("BT (\\501) Tj ET  "), "A\r\n");
  // Too close to the end for an octal escape: the backslash escapes the digit.
  EXPECT_EQ(Extract("BT (\\12"), "12");
  // A backslash as the last byte is kept.
  EXPECT_EQ(Extract("BT (a\\"), "a\\");
}

TEST(PdfText, FontSelectionSkip) {
  // The font size never reaches the window: a size above 1000 before a string
  // would otherwise give a tab.
  EXPECT_EQ(Extract("BT /F1 1500 (x) Tj ET  "), "x\r\n");
  EXPECT_EQ(Extract("BT 1500 (x) Tj ET  "), "\tx\r\n");
  EXPECT_EQ(Extract("BT /F1 12 Tf (a) Tj /F2 9.5 Tf 0 -12 TD (b) Tj ET  "), "a\r\nb\r\n");
  // The name and the run after it go, then one more byte.
  EXPECT_EQ(Extract("BT /F3.5(x) Tj ET  "), "\r\n");
  // Inside strings too: the "F" and the byte after it go, the "/" stays.
  EXPECT_EQ(Extract("BT (see /Fig 1) Tj ET  "), "see /g 1\r\n");
  // At the end of the data the skip stops there.
  EXPECT_EQ(Extract("BT (a/F"), "a/");
  EXPECT_EQ(Extract("BT (a/F12   "), "a/");
}

TEST(PdfText, WindowHelpers) {
  char window[PDF_WINDOW + 1];
  memcpy(window, "x 0 -14.5 TD\n  ", PDF_WINDOW + 1);
  EXPECT_FALSE(TokenBefore("TD", window));
  memcpy(window, "xx 0 -14.5  TD ", PDF_WINDOW + 1);
  EXPECT_TRUE(TokenBefore("TD", window));
  EXPECT_DOUBLE_EQ(NumberBefore(window, 10), 14.5);
  memcpy(window, "12345678901234 ", PDF_WINDOW + 1);
  EXPECT_DOUBLE_EQ(NumberBefore(window, 14), 2345678901234.0);  // byte 0 is never read
  memcpy(window, "              .", PDF_WINDOW + 1);
  EXPECT_DOUBLE_EQ(NumberBefore(window, 14), -1.0);
  memcpy(window, "               ", PDF_WINDOW + 1);
  EXPECT_DOUBLE_EQ(NumberBefore(window, 14), -1.0);
  memcpy(window, "    .5  Tj    x", PDF_WINDOW + 1);
  EXPECT_DOUBLE_EQ(NumberBefore(window, 14), -1.0);
  EXPECT_DOUBLE_EQ(NumberBefore(window, 7), 0.5);
}

TEST(PdfFilters, LowercaseSpacedHexOverFlateInAWrittenFile) {
  // Made by scripts/make-fixtures-limits.sh: lowercase digits in lines, with
  // spaces between groups, in front of FlateDecode.
  const std::string text =
      ToText(ReadFileBytes(std::string(QUILLO_SOURCE_DIR) + "/tests/data/limits/hex-flate.pdf"));
  EXPECT_NE(text.find("Hexadecimal streams decode"), std::string::npos) << text;
  EXPECT_NE(text.find("in lowercase too"), std::string::npos) << text;
}
