// libFuzzer target for the Kindle book reader: any bytes as a MOBI, AZW3 or
// combined file, through the record table, the headers, the trailing entries,
// PalmDoc and HUFF/CDIC decompression, the KF8 index tables and the HTML
// import. The file buffer is exactly the input (no slack), so a read past the
// file is caught.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "importers/mobi.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The traces of damaged books would flood the fuzzer's output.
  if (!freopen("/dev/null", "w", stdout)) return 0;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 24)) return 0;
  char* buffer = static_cast<char*>(malloc(size ? size : 1));
  if (size) memcpy(buffer, data, size);
  char title[256];
  bool incomplete = false;
  const int result = ImportMobi(&buffer, int32_t(size), title, sizeof title, &incomplete);
  if (buffer) {
    volatile size_t n = strlen(buffer) + strlen(title);
    (void)n;
    free(buffer);
  }
  (void)result;
  return 0;
}
