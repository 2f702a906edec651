// Text of a PDF content stream: one pass over the decoded bytes with a window
// of the last bytes seen, keeping the literal strings inside BT ... ET and
// turning TD operands and kerning numbers into line breaks, tabs and spaces.
// Called by the stream scan in pdf.cpp for every stream it decodes.
#include <cstring>

#include "pdf/internal.h"

namespace {

bool IsDigit(uint8_t c) { return c >= '0' && c <= '9'; }
bool IsNumberByte(uint8_t c) { return IsDigit(c) || c == '.'; }
bool IsWhite(char c) { return c == ' ' || c == '\r' || c == '\n'; }
bool IsOctal(uint8_t c) { return c >= '0' && c <= '7'; }
// Bytes that reach the document text: control codes (and so the format-code
// byte 1 and the zero that would end the text) never do.
bool IsShown(uint8_t c) { return (c >= 32 && c <= 126) || c >= 128; }

// The window is the last PDF_WINDOW bytes of a longer history, so moving it
// by one byte is a pointer step; the tail is copied back to the front only
// once every kHistory bytes.
constexpr int kHistory = 512;
struct Window {
  char bytes[kHistory];
  int base = 0;
  Window() { memset(bytes, ' ', PDF_WINDOW); }
  const char* View() const { return bytes + base; }
  void Push(char c) {
    if (base + PDF_WINDOW == kHistory) {
      memmove(bytes, bytes + base + 1, PDF_WINDOW - 1);
      base = 0;
    } else {
      ++base;
    }
    bytes[base + PDF_WINDOW - 1] = c;
  }
};

// Appends one byte; false when the text buffer cannot grow.
inline bool Put(PdfTextBuffer* text, char c) {
  if (text->length == text->capacity && !PdfTextReserve(text, 1)) return false;
  text->data[text->length++] = c;
  return true;
}

inline void PutLineBreak(PdfTextBuffer* text) {
  Put(text, '\r');
  Put(text, '\n');
}

// Parses [digits][.digits] at the start of s (then spaces may follow);
// false when no digit comes before the first other byte.
bool ReadUnsigned(const char* s, double* value) {
  double v = 0;
  bool any = false;
  for (; IsDigit(uint8_t(*s)); ++s) {
    v = v * 10 + (*s - '0');
    any = true;
  }
  if (*s == '.') {
    double scale = 0.1;
    for (++s; IsDigit(uint8_t(*s)); ++s) {
      v += (*s - '0') * scale;
      scale /= 10;
      any = true;
    }
  }
  *value = v;
  return any;
}

}  // namespace

bool TokenBefore(const char* op, const char* window) {
  return window[12] == op[0] && window[13] == op[1] && IsWhite(window[11]) && IsWhite(window[14]);
}

double NumberBefore(const char* window, int p) {
  if (p < 0 || p >= PDF_WINDOW) return -1.0;
  int k = p;
  while (window[k] == ' ' && k > 0) --k;
  while (k > 0 && IsNumberByte(uint8_t(window[k]))) --k;
  char digits[PDF_WINDOW + 1] = {};
  int size = p - k;
  if (size <= 0) return -1.0;
  memcpy(digits, window + k + 1, size_t(size));
  double value;
  // The bytes are digits and dots, then perhaps spaces: what "%f" reads from
  // them, without depending on the locale.
  return ReadUnsigned(digits, &value) ? value : -1.0;
}

void ExtractText(PdfTextBuffer* text, const uint8_t* data, int32_t count) {
  if (!text || !data || count <= 0) return;
  Window window;
  bool in_text = false;
  bool in_string = false;
  bool escape = false;
  for (int64_t i = 0; i < count && !text->failed && !text->full; ++i) {
    uint8_t c = data[i];
    if (c == '/' && i + 1 < count && data[i + 1] == 'F') {
      // A font selection such as "/F1 12 Tf": the name and its size stay out
      // of the window, so the size is not taken for a position. The byte
      // after the skipped part goes too.
      int64_t j = i + 2;
      while (j < count && IsDigit(data[j])) ++j;
      if (j < count && data[j] == ' ') {
        while (j < count && data[j] == ' ') ++j;
        while (j < count && IsNumberByte(data[j])) ++j;
      } else if (j < count && data[j] == '.') {
        while (j < count && IsNumberByte(data[j])) ++j;
      }
      i = j;
    }
    const char* w = window.View();
    bool examine = true;
    if (in_text && !in_string) {
      // Operators are seen once the white space after them is in the window,
      // that is when the next byte comes.
      if (TokenBefore("TD", w)) {
        double n = NumberBefore(w, 10);
        if (n > 1.0) {
          PutLineBreak(text);
        } else if (n < 1.0) {
          Put(text, '\t');
        }
      } else if (TokenBefore("ET", w)) {
        PutLineBreak(text);
        in_text = false;
        in_string = false;
        examine = false;
      }
    }
    if (examine && in_text) {
      if (c == '(' && !in_string && !escape) {
        double m = NumberBefore(w, 14);
        int64_t gap = int64_t(m);  // at most 14 digits fit the window
        if (gap > 1000) {
          Put(text, '\t');
        } else if (gap > 100) {
          Put(text, ' ');
        }
        in_string = true;
        escape = false;
      } else if (c == ')' && in_string && !escape) {
        in_string = false;
      } else if (in_string) {
        if (c == '\\' && !escape && i < count - 1) {
          if (IsOctal(data[i + 1]) && i < count - 4) {
            int value = 0;
            for (int64_t k = i + 1; k <= i + 3 && IsOctal(data[k]); ++k) value = value * 8 + (data[k] - '0');
            if (IsShown(uint8_t(value))) Put(text, char(value));
            // Three bytes go, whatever the number of digits.
            i += 3;
          } else {
            escape = true;
          }
        } else {
          escape = false;
          if (IsShown(c)) Put(text, char(c));
        }
      }
    }
    window.Push(char(c));
    if (!in_text && TokenBefore("BT", window.View())) in_text = true;
  }
}
