// libFuzzer target for the whole PDF path: ImportPdf on arbitrary bytes, so
// the cross-reference and its rebuild, object streams, filters, fonts and
// CMaps, the content interpreter and text assembly, and the stream scan that
// takes files without a readable structure.
// Seeds: tests/data/pdf/*.pdf, tests/data/pdf/real/*.pdf, the encrypted ones
// of tests/data/pdf/real/encrypted/ (every method of the standard security
// handler, and a user password) and the PDFs of tests/data/corpus/pdf/.
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
  // ImportPdf frees the file and hands back the text.
  const int result = ImportPdf(nullptr, &input, int32_t(size));
  if (result == PDF_IMPORT_OK) {
    if (!input) abort();
    volatile size_t length = strlen(input);
    (void)length;
  } else if (input) {
    abort();
  }
  free(input);
  return 0;
}
