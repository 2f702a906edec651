// libFuzzer target for the PDF stream scan: pdf_to_text on arbitrary bytes,
// with the whole path of filters and text extraction behind it.
// Seeds: tests/data/pdf/*.pdf and the PDFs of tests/data/corpus/pdf/.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "pdf/pdf.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The scan traces every stream; keep the fuzzer's own output readable.
  if (!freopen("/dev/null", "w", stdout)) return 0;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 20) return 0;
  // An exact-size copy so that any read past the length is caught.
  char* input = static_cast<char*>(malloc(size ? size : 1));
  if (!input) return 0;
  if (size) memcpy(input, data, size);
  char* output = nullptr;
  if (pdf_to_text(input, int32_t(size), &output) == 0) {
    if (!output) abort();
    volatile size_t length = strlen(output);
    (void)length;
  }
  free(output);
  free(input);
  return 0;
}
