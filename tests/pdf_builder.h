// Writes small PDF files for the tests of the PDF reader: numbered objects,
// streams, and a cross-reference table (or none) with a trailer.
#pragma once

#include <zlib.h>

#include <cstdio>
#include <map>
#include <string>

struct PdfBuilder {
  std::string body = "%PDF-1.7\n%\xE2\xE3\xCF\xD3\n";
  std::map<int, size_t> offsets;

  // Appends "n 0 obj <text> endobj".
  void Object(int number, const std::string& text) {
    offsets[number] = body.size();
    body += std::to_string(number) + " 0 obj\n" + text + "\nendobj\n";
  }
  // Appends a stream object; extra goes inside its dictionary beside /Length.
  void Stream(int number, const std::string& data, const std::string& extra = "") {
    Object(number, "<< /Length " + std::to_string(data.size()) + " " + extra + " >>\nstream\n" + data +
                       "\nendstream");
  }
  // A classic table of every object so far, the trailer and startxref.
  std::string Finish(const std::string& trailer = "/Root 1 0 R") {
    const size_t xref = body.size();
    int size = offsets.empty() ? 1 : offsets.rbegin()->first + 1;
    std::string out = body + "xref\n0 " + std::to_string(size) + "\n0000000000 65535 f \n";
    for (int n = 1; n < size; ++n) {
      char line[32];
      auto found = offsets.find(n);
      if (found == offsets.end()) {
        std::snprintf(line, sizeof line, "0000000000 00000 f \n");
      } else {
        std::snprintf(line, sizeof line, "%010zu 00000 n \n", found->second);
      }
      out += line;
    }
    return out + "trailer\n<< /Size " + std::to_string(size) + " " + trailer + " >>\nstartxref\n" +
           std::to_string(xref) + "\n%%EOF\n";
  }
};

// zlib-compressed bytes, as FlateDecode streams hold them.
inline std::string PdfDeflate(const std::string& data, int level = Z_BEST_COMPRESSION) {
  uLongf size = compressBound(uLong(data.size()));
  std::string out(size, '\0');
  compress2(reinterpret_cast<Bytef*>(&out[0]), &size, reinterpret_cast<const Bytef*>(data.data()),
            uLong(data.size()), level);
  out.resize(size);
  return out;
}

// One-page document with the content stream given, Helvetica as /F1 in the
// page's resources.
inline std::string PdfOnePage(const std::string& content) {
  PdfBuilder pdf;
  pdf.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  pdf.Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  pdf.Object(3,
             "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R "
             "/Resources << /Font << /F1 5 0 R >> >> >>");
  pdf.Stream(4, content);
  pdf.Object(5, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>");
  return pdf.Finish();
}
