// libFuzzer target for encoding detection and conversion, then the loader with
// its importers. The first byte picks the name (plain text, HTML, a nameless
// text from memory). The conversion runs on a buffer whose size counts its NUL
// (the tightest a caller may give), so any read or write past it is caught;
// the loader then gets a buffer as a file read gives it.
//   seeds: fuzz/seeds/encoding (the encoding test documents, a name byte first)
//   run:   encoding_fuzz -dict=fuzz/encoding_fuzz.dict fuzz/seeds/encoding
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "document/encoding.h"
#include "document/text.h"
#include "importers/load.h"
#include "platform/font.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Numeric references trace their digits; keep the fuzzer's output readable.
  if (!freopen("/dev/null", "w", stdout)) return 0;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool fontsReady = false;
  if (!fontsReady) {
    InitFonts();
    g_standardFont = &FontSmall;
    fontsReady = true;
  }
  if (size < 1 || size > 1 << 20) return 0;
  static const char* const kNames[] = {"book.txt", "page.html", "PAGE.HTM", "   "};
  const char* name = kNames[data[0] & 3];
  ++data;
  --size;

  // size + 1 bytes, the last the NUL: the result must end inside them.
  char* exact = static_cast<char*>(std::malloc(size + 1));
  if (!exact) return 0;
  std::memcpy(exact, data, size);
  exact[size] = 0;
  int32_t length = int32_t(size + 1);
  ConvertDocumentEncoding(name, exact, &length);
  const size_t result = strnlen(exact, size + 1);
  if (result > size || size_t(length) < result) std::abort();
  // An RTF result would go to the RTF importer, which may report in a message box.
  const bool rtf = std::strncmp(exact, "{\\rtf", 5) == 0 || (size >= 5 && std::memcmp(data, "{\\rtf", 5) == 0);
  std::free(exact);
  if (rtf) return 0;

  Text text;
  text.font = &FontSmall;
  char* buffer = static_cast<char*>(std::malloc(size + 1));
  if (!buffer) return 0;
  std::memcpy(buffer, data, size);
  buffer[size] = 0;
  LoadFromBuffer(&text, name, buffer, int32_t(size));
  if (text.text && std::strlen(text.text) > size) std::abort();
  ClearTextContents(&text);
  return 0;
}
