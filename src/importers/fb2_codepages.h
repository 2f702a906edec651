// The single-byte code pages a FictionBook's XML declaration may name beyond
// those expat reads itself (UTF-8, UTF-16, ISO-8859-1, US-ASCII). The tables
// are generated (fb2_codepages.cpp); the FB2 importer hands them to expat.
#pragma once

#include <cstddef>
#include <cstdint>

struct Fb2CodePage {
  const char* name;      // folded: lower case, without "-", "_" and blanks
  const uint16_t* high;  // 128 code points for the bytes 0x80 to 0xFF
};

extern const Fb2CodePage FB2_CODE_PAGES[];
extern const size_t FB2_CODE_PAGE_COUNT;
