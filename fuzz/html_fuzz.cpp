// libFuzzer target for the HTML importer: any bytes, NUL-terminated, converted
// in place. The result must end within the input.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "importers/html.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Numeric references trace their digits; keep the fuzzer's output readable.
  if (!freopen("/dev/null", "w", stdout)) return 0;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  char* buffer = static_cast<char*>(malloc(size + 1));
  memcpy(buffer, data, size);
  buffer[size] = '\0';
  const size_t before = strlen(buffer);
  ImportHtml(nullptr, buffer, int32_t(size));
  if (strlen(buffer) > before) abort();
  free(buffer);
  return 0;
}
