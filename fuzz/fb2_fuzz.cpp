// libFuzzer target for the FictionBook importer: any bytes, in a buffer of
// exactly their size, converted. A book that converts gives a NUL-terminated
// text of the stated length below the limit, whose only control bytes are
// line ends and whole format codes of the importer's own; its title holds no
// "/". A refused one gives no text and no title.
// Seeds: tests/data/fb2/*.fb2 (made by scripts/make-fixtures-fb2.sh), for example
//   fb2_fuzz -max_total_time=600 -dict=fuzz/fb2_fuzz.dict fuzz/seeds/fb2 corpus
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "importers/fb2.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  if (!freopen("/dev/null", "w", stdout)) return 0;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  char* copy = static_cast<char*>(malloc(size ? size : 1));
  memcpy(copy, data, size);
  Fb2Book book;
  const int result = ConvertFb2(copy, size, &book);
  free(copy);
  if (strnlen(book.title, sizeof book.title) >= sizeof book.title || strchr(book.title, '/')) abort();
  if (result != FB2_OK) {
    if (book.text || book.title[0]) abort();
    return 0;
  }
  if (!book.text || book.length >= size_t(TEXT_MAX_BYTES) || strlen(book.text) != book.length) abort();
  for (size_t i = 0; i < book.length; ++i) {
    const unsigned char c = static_cast<unsigned char>(book.text[i]);
    if (c == '\n' || c >= 0x20) continue;
    if (c != 1 || i + 1 >= book.length) abort();
    const char code = book.text[++i];
    if (code == 'F') {
      if (i + 1 >= book.length || (book.text[i + 1] != '1' && book.text[i + 1] != '4')) abort();
      ++i;
    } else if (!strchr("BbIicjP", code)) {
      abort();
    }
  }
  free(book.text);
  return 0;
}
