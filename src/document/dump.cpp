// Readable forms of the formatted text and the line table (see dump.h). Used
// by the page renderer tool and the importer and layout tests.
#include "document/dump.h"

#include <cstdio>
#include <cstring>

#include "document/text.h"

namespace {

// Code page 1252 bytes 128 to 159 as Unicode; 0 where the code page has none.
const uint16_t CP1252_HIGH[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

void AppendByte(std::string* out, uint8_t c, bool utf8) {
  char hex[8];
  if (c == '\n') {
    *out += '\n';
  } else if (c == '\r') {
    *out += "<CR>";
  } else if (c == '\t') {
    *out += "<TAB>";
  } else if (c < 32 || c == 127) {
    std::snprintf(hex, sizeof hex, "<x%02X>", c);
    *out += hex;
  } else if (c < 128 || !utf8) {
    *out += char(c);
  } else {
    uint32_t u = c < 160 ? CP1252_HIGH[c - 128] : c;
    if (u == 0) {
      std::snprintf(hex, sizeof hex, "<x%02X>", c);
      *out += hex;
    } else if (u < 0x800) {
      *out += char(0xC0 | (u >> 6));
      *out += char(0x80 | (u & 0x3F));
    } else {
      *out += char(0xE0 | (u >> 12));
      *out += char(0x80 | ((u >> 6) & 0x3F));
      *out += char(0x80 | (u & 0x3F));
    }
  }
}

void Describe(std::string* out, const uint8_t* s, size_t n, bool utf8) {
  for (size_t i = 0; i < n;) {
    const uint8_t c = s[i];
    if (c != uint8_t(FORMAT_CODE)) {
      AppendByte(out, c, utf8);
      ++i;
      continue;
    }
    const uint8_t code = i + 1 < n ? s[i + 1] : 0;
    if (std::strchr("BbIiUulcrjP", code) && code != 0) {
      *out += '<';
      *out += char(code);
      *out += '>';
      i += 2;
    } else if ((code == FMT_SIZE || code == FMT_COLOUR) && i + 2 < n) {
      *out += '<';
      *out += char(code);
      AppendByte(out, s[i + 2], utf8);
      *out += '>';
      i += 3;
    } else {
      *out += "<1>";
      ++i;
    }
  }
}

}  // namespace

std::string DescribeFormatted(const char* formatted, bool utf8) {
  std::string out;
  if (!formatted) return out;
  Describe(&out, reinterpret_cast<const uint8_t*>(formatted), std::strlen(formatted), utf8);
  return out;
}

std::string DescribeLines(const Text* text, bool utf8) {
  std::string out;
  if (!text || !text->lines) return out;
  char head[160];
  for (int32_t i = 0; i < text->lineCount; ++i) {
    const LineRecord& r = text->lines[i];
    std::snprintf(head, sizeof head, "%6ld @%-8ld len %-4u x %-3u y %-7ld h %-3u st %-3u "
                  "sp %u+%u col %u |", long(i), long(r.start - text->text), unsigned(r.length),
                  unsigned(r.xOffset), long(r.y), unsigned(r.height), unsigned(r.startStyle),
                  unsigned(r.spaceExtra), unsigned(r.firstSpaceExtra), unsigned(r.startColour));
    out += head;
    Describe(&out, reinterpret_cast<const uint8_t*>(r.start), r.length, utf8);
    out += "|\n";
  }
  return out;
}
