// Case-folding search over the formatted text, line by line, for the Find
// dialog. A plain scan with no allocation: the whole book fits one call.
#include "document/search.h"

#include <cstring>

#include "document/text.h"

namespace {

struct FoldTable {
  uint8_t v[256];
  constexpr FoldTable() : v() {
    for (int c = 0; c < 256; ++c) v[c] = uint8_t(c);
    for (int c = 0; c < 32; ++c) v[c] = '_';
    for (int c = 'A'; c <= 'Z'; ++c) v[c] = uint8_t(c + 32);
    v[129] = '?';
    for (int c = 192; c <= 220; ++c) v[c] = uint8_t(c + 32);
  }
};
constexpr FoldTable FOLD;

}  // namespace

const uint8_t SearchFold[256] = {
#define F(i) FOLD.v[i]
#define F8(i) F(i), F(i + 1), F(i + 2), F(i + 3), F(i + 4), F(i + 5), F(i + 6), F(i + 7)
#define F64(i) F8(i), F8(i + 8), F8(i + 16), F8(i + 24), F8(i + 32), F8(i + 40), F8(i + 48), F8(i + 56)
    F64(0), F64(64), F64(128), F64(192)
#undef F64
#undef F8
#undef F
};

namespace {

// Compares the pattern with the text at t through the fold table: true when
// all n bytes agree. *ended is set when the comparison reached the NUL that
// ends the text.
inline bool MatchesAt(const uint8_t* t, const uint8_t* pat, size_t n, bool* ended) {
  for (size_t j = 0; j < n; ++j) {
    // The NUL ends the text: the comparison fails there (it folds like "_"
    // but must not run on past the buffer).
    if (t[j] == 0) {
      *ended = true;
      return false;
    }
    if (SearchFold[t[j]] != SearchFold[pat[j]]) return false;
  }
  return true;
}

}  // namespace

int32_t FindText(const Text* text, int32_t start, const char* pattern) {
  if (!text || !text->lines || !pattern) return -1;
  if (start < 0) start = 0;
  if (start >= text->lineCount) return -1;
  const uint8_t* pat = reinterpret_cast<const uint8_t*>(pattern);
  const size_t n = std::strlen(pattern);
  if (n == 0) {
    // The empty pattern matches at the first byte of the first line that has one.
    for (int32_t i = start; i < text->lineCount; ++i) {
      if (text->lines[i].length > 0) return i;
    }
    return -1;
  }
  // Most starts fail on the first byte: that test alone runs over every byte
  // of the line, and only a start that passes it is compared in full.
  const uint8_t first = SearchFold[pat[0]];
  for (int32_t i = start; i < text->lineCount; ++i) {
    const LineRecord& line = text->lines[i];
    const uint8_t* t = reinterpret_cast<const uint8_t*>(line.start);
    const uint8_t* const end = t + line.length;
    for (; t < end; ++t) {
      if (SearchFold[*t] != first) continue;
      bool ended = false;
      if (MatchesAt(t, pat, n, &ended)) return i;
      // Every later start is nearer to the end, so nothing further can match.
      if (ended) return -1;
    }
  }
  return -1;
}
