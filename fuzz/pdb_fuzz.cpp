// libFuzzer target for the PalmDoc importer: any bytes as a database file. The
// file buffer is exactly the input (no slack), so a read past the file is caught.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "importers/pdb.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The unknown-compression warning would flood the fuzzer's output.
  if (!freopen("/dev/null", "w", stdout)) return 0;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  char* buffer = static_cast<char*>(malloc(size ? size : 1));
  if (size) memcpy(buffer, data, size);
  ImportPdb(nullptr, &buffer, int32_t(size));
  if (buffer) {
    volatile size_t n = strlen(buffer);
    (void)n;
    free(buffer);
  }
  return 0;
}
