// libFuzzer target for the RTF importer: any bytes, NUL-terminated as the
// loader hands them over. Whatever the result, a terminated formatted text
// must come back, and every code in it must be whole.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "document/text.h"
#include "importers/rtf.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 24)) return 0;
  char* buffer = static_cast<char*>(malloc(size + 1));
  if (!buffer) return 0;
  memcpy(buffer, data, size);
  buffer[size] = '\0';
  Text text;
  const int result = ImportRtf(&text, &buffer, int32_t(size));
  if (!buffer) return 0;  // no memory for the output
  if (result < 0 || result > RtfEndOfInput) abort();
  if (text.colourCount < 1 || text.colourCount > 15 || text.colours[0] != 0) abort();
  const size_t n = strlen(buffer);
  // A size or colour code always carries its argument before the NUL.
  for (size_t i = 0; i < n; ++i) {
    if (buffer[i] != FORMAT_CODE) continue;
    if (i + 1 >= n) abort();
    if ((buffer[i + 1] == FMT_SIZE || buffer[i + 1] == FMT_COLOUR) && i + 2 >= n) abort();
  }
  free(buffer);
  return 0;
}
