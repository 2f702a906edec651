// Every bilingual text of the menus and dialogs ("English|Spanish" literals in
// src/ui) must be code page 1252 bytes, which the fonts draw: a UTF-8 sequence
// ("Tama\xC3\xB1o" or a raw "ñ" in the source) would show as two odd letters.
#include <gtest/gtest.h>
#include <dirent.h>

#include <cstring>

#include <string>
#include <vector>

#include "harness.h"

namespace {

struct Literal {
  std::string file;
  int line;
  std::string raw;    // as written between the quotes
  std::string bytes;  // after the escapes
};

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string Unescape(const std::string& raw) {
  std::string out;
  for (size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] != '\\' || i + 1 >= raw.size()) {
      out += raw[i];
      continue;
    }
    const char c = raw[++i];
    if (c == 'x') {
      int v = 0;
      while (i + 1 < raw.size() && HexValue(raw[i + 1]) >= 0) v = v * 16 + HexValue(raw[++i]);
      out += char(v);
    } else if (c >= '0' && c <= '7') {
      int v = c - '0';
      for (int k = 0; k < 2 && i + 1 < raw.size() && raw[i + 1] >= '0' && raw[i + 1] <= '7'; ++k) v = v * 8 + (raw[++i] - '0');
      out += char(v);
    } else {
      const char* from = "ntr0";
      const char* to = "\n\t\r";
      const char* p = std::strchr(from, c);
      out += p && *p != '0' ? to[p - from] : c;
    }
  }
  return out;
}

// String literals of a C++ source, comments and character literals skipped.
std::vector<Literal> Literals(const std::string& file, const std::string& src) {
  std::vector<Literal> found;
  int line = 1;
  for (size_t i = 0; i < src.size(); ++i) {
    const char c = src[i];
    if (c == '\n') ++line;
    if (c == '/' && i + 1 < src.size() && src[i + 1] == '/') {
      while (i < src.size() && src[i] != '\n') ++i;
      ++line;
    } else if (c == '/' && i + 1 < src.size() && src[i + 1] == '*') {
      for (i += 2; i + 1 < src.size() && !(src[i] == '*' && src[i + 1] == '/'); ++i) line += src[i] == '\n';
      ++i;
    } else if (c == '\'') {
      for (++i; i < src.size() && src[i] != '\''; ++i) i += src[i] == '\\';
    } else if (c == '"') {
      std::string raw;
      for (++i; i < src.size() && src[i] != '"'; ++i) {
        if (src[i] == '\\' && i + 1 < src.size()) raw += src[i++];
        raw += src[i];
      }
      found.push_back({file, line, raw, Unescape(raw)});
    }
  }
  return found;
}

// True when bytes hold a well-formed UTF-8 sequence of two or more bytes.
bool HasUtf8Sequence(const std::string& bytes) {
  for (size_t i = 0; i < bytes.size(); ++i) {
    const uint8_t b = uint8_t(bytes[i]);
    const int more = b >= 0xC2 && b <= 0xDF ? 1 : b >= 0xE0 && b <= 0xEF ? 2 : b >= 0xF0 && b <= 0xF4 ? 3 : 0;
    if (!more || i + size_t(more) >= bytes.size()) continue;
    bool ok = true;
    for (int k = 1; k <= more; ++k) ok = ok && (uint8_t(bytes[i + size_t(k)]) & 0xC0) == 0x80;
    if (ok) return true;
  }
  return false;
}

void Walk(const std::string& dir, std::vector<Literal>* out) {
  DIR* d = opendir(dir.c_str());
  ASSERT_NE(d, nullptr) << dir;
  while (dirent* e = readdir(d)) {
    const std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    const std::string path = dir + "/" + name;
    if (e->d_type == DT_DIR) {
      Walk(path, out);
    } else if (name.size() > 2 && (name.substr(name.size() - 4) == ".cpp" || name.substr(name.size() - 2) == ".h")) {
      for (Literal& l : Literals(path, ReadTestFile(path))) out->push_back(l);
    }
  }
  closedir(d);
}

TEST(UiTexts, CheckerTellsUtf8FromCodePage1252) {
  EXPECT_TRUE(HasUtf8Sequence(Unescape("Tama\\xC3\\xB1o")));
  EXPECT_TRUE(HasUtf8Sequence("Tama\xC3\xB1o"));
  EXPECT_TRUE(HasUtf8Sequence(Unescape("\\342\\200\\246")));
  EXPECT_FALSE(HasUtf8Sequence(Unescape("Tama\\xF1o")));
  EXPECT_FALSE(HasUtf8Sequence(Unescape("Men\\xFA|\\xC1rbol")));
  EXPECT_FALSE(HasUtf8Sequence("\xE9"));
  const std::vector<Literal> l = Literals("x", "// \"no\"\nchar c = '\"'; const char* s = \"a|b\\\"c\" /* \"d\" */;");
  ASSERT_EQ(l.size(), 1u);
  EXPECT_EQ(l[0].bytes, "a|b\"c");
  EXPECT_EQ(l[0].line, 2);
}

TEST(UiTexts, BilingualTextsAreCodePage1252) {
  std::vector<Literal> literals;
  Walk(std::string(QUILLO_SOURCE_DIR) + "/src/ui", &literals);
  int bilingual = 0;
  for (const Literal& l : literals) {
    for (unsigned char c : l.raw) {
      EXPECT_LT(c, 0x80) << l.file << ":" << l.line << ": a byte above 127 written as such; use \\x escapes";
    }
    if (l.bytes.find('|') == std::string::npos) continue;
    ++bilingual;
    EXPECT_FALSE(HasUtf8Sequence(l.bytes)) << l.file << ":" << l.line << ": \"" << l.raw << "\" is UTF-8";
  }
  EXPECT_GE(bilingual, 5) << "the walk found the dialogs' texts";
}

}  // namespace
