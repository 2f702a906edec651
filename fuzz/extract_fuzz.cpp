// libFuzzer target for the content-stream text scanner: ExtractText on
// arbitrary bytes taken as one decoded stream.
// Seeds: decoded content streams of the test PDFs.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "pdf/internal.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 20) return 0;
  uint8_t* input = static_cast<uint8_t*>(malloc(size ? size : 1));
  if (!input) return 0;
  if (size) memcpy(input, data, size);
  PdfTextBuffer text;
  ExtractText(&text, input, int32_t(size));
  // The text never holds a control byte other than CR, LF and TAB.
  for (size_t i = 0; i < text.length; ++i) {
    uint8_t c = uint8_t(text.data[i]);
    if ((c < 32 && c != '\r' && c != '\n' && c != '\t') || c == 127) abort();
  }
  PdfTextFree(&text);
  free(input);
  return 0;
}
