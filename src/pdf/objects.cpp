// PDF objects: the tokenizer over a byte buffer and the parser that turns its
// tokens into PdfObject values. The cross-reference code parses indirect
// objects with it; the content interpreter and the CMap reader use the tokens.
#include "pdf/objects.h"

#include <climits>
#include <cstring>

namespace {

int HexValue(uint8_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool IsRegular(uint8_t c) { return !PdfIsWhite(c) && !PdfIsDelimiter(c); }

// A literal string from just past its "(": nested parentheses balance, every
// escape of the PDF syntax is undone, and an end of line (CR, LF or CR LF)
// inside it reads as one LF.
void ReadLiteralString(PdfLexer* lexer, std::string* out) {
  const uint8_t* d = lexer->data;
  const size_t n = lexer->size;
  size_t p = lexer->pos;
  int depth = 1;
  while (p < n) {
    uint8_t c = d[p++];
    if (c == '(') {
      ++depth;
    } else if (c == ')') {
      if (--depth == 0) break;
    } else if (c == '\r') {
      if (p < n && d[p] == '\n') ++p;
      c = '\n';
    } else if (c == '\\') {
      if (p >= n) break;
      c = d[p++];
      switch (c) {
        case 'n': c = '\n'; break;
        case 'r': c = '\r'; break;
        case 't': c = '\t'; break;
        case 'b': c = '\b'; break;
        case 'f': c = '\f'; break;
        case '\r':  // a line continuation
          if (p < n && d[p] == '\n') ++p;
          continue;
        case '\n':
          continue;
        default:
          if (c >= '0' && c <= '7') {
            int value = c - '0';
            for (int k = 0; k < 2 && p < n && d[p] >= '0' && d[p] <= '7'; ++k) value = value * 8 + (d[p++] - '0');
            c = uint8_t(value);
          }
          // Any other escaped byte ("(", ")", "\\" and unknown ones) stands for itself.
          break;
      }
    }
    out->push_back(char(c));
  }
  lexer->pos = p;
}

// A hexadecimal string from just past its "<"; white space and stray bytes are
// skipped, and an odd last digit is followed by 0.
void ReadHexString(PdfLexer* lexer, std::string* out) {
  const uint8_t* d = lexer->data;
  size_t p = lexer->pos;
  int high = -1;
  while (p < lexer->size) {
    uint8_t c = d[p++];
    if (c == '>') break;
    int v = HexValue(c);
    if (v < 0) continue;
    if (high < 0) {
      high = v;
    } else {
      out->push_back(char(high << 4 | v));
      high = -1;
    }
  }
  if (high >= 0) out->push_back(char(high << 4));
  lexer->pos = p;
}

void ReadName(PdfLexer* lexer, std::string* out) {
  const uint8_t* d = lexer->data;
  size_t p = lexer->pos;
  while (p < lexer->size && IsRegular(d[p])) {
    uint8_t c = d[p++];
    if (c == '#' && p + 1 < lexer->size && HexValue(d[p]) >= 0 && HexValue(d[p + 1]) >= 0) {
      c = uint8_t(HexValue(d[p]) << 4 | HexValue(d[p + 1]));
      p += 2;
    }
    out->push_back(char(c));
  }
  lexer->pos = p;
}

// A number in PDF syntax ("+12", "-.5", "3.", "--4" as some writers emit) at
// word[0..length); false when it is not one.
bool ParseNumber(const char* word, size_t length, double* value, bool* integer) {
  size_t i = 0;
  bool negative = false;
  while (i < length && (word[i] == '+' || word[i] == '-')) {
    if (word[i] == '-') negative = !negative;
    ++i;
  }
  double v = 0;
  bool digits = false;
  bool dot = false;
  double scale = 1;
  for (; i < length; ++i) {
    const char c = word[i];
    if (c >= '0' && c <= '9') {
      digits = true;
      if (dot) {
        scale /= 10;
        v += (c - '0') * scale;
      } else {
        v = v * 10 + (c - '0');
      }
    } else if (c == '.' && !dot) {
      dot = true;
    } else {
      return false;
    }
  }
  if (!digits && !dot) return false;
  *value = negative ? -v : v;
  *integer = !dot;
  return true;
}

// The entries of an array or dictionary up to its closing token (or the end
// of the buffer, or a keyword that shows it was never closed).
void ReadEntries(PdfLexer* lexer, PdfObject* object, int depth, bool dict) {
  const PdfTokenType close = dict ? TOKEN_DICT_CLOSE : TOKEN_ARRAY_CLOSE;
  for (;;) {
    const size_t mark = lexer->pos;
    PdfToken peek;
    if (!PdfNextToken(lexer, &peek)) return;  // cut short: keep what was read
    if (peek.type == close) return;
    if (peek.type == TOKEN_ARRAY_CLOSE || peek.type == TOKEN_DICT_CLOSE) continue;  // stray
    if (peek.type == TOKEN_KEYWORD && !peek.Is("true") && !peek.Is("false") && !peek.Is("null")) {
      // "endobj" or "stream" inside: the object was never closed.
      lexer->pos = mark;
      return;
    }
    std::string key;
    if (dict) {
      if (peek.type != TOKEN_NAME) continue;  // a dictionary key must be a name
      key.swap(peek.text);
    } else {
      lexer->pos = mark;
    }
    PdfObject value;
    const size_t before = lexer->pos;
    if (!PdfParseObject(lexer, &value, depth + 1)) {
      if (lexer->pos == before) return;
      // A stray token ("{", ")"), or an array or dictionary past the
      // nesting limit, was read and is dropped: the loop goes on token by
      // token, so deep nesting costs no recursion.
      continue;
    }
    if (dict) {
      if (object->Get(key.c_str())) continue;  // the first of repeated keys wins
      object->keys.push_back(std::move(key));
    }
    object->items.push_back(std::move(value));
  }
}

}  // namespace

const PdfObject* PdfObject::Get(const char* key) const {
  if (!IsDict()) return nullptr;
  for (size_t i = 0; i < keys.size(); ++i) {
    if (keys[i] == key) return &items[i];
  }
  return nullptr;
}

int32_t PdfObject::Int() const {
  if (!IsNumber()) return 0;
  if (number >= double(INT32_MAX)) return INT32_MAX;
  if (number <= double(INT32_MIN)) return INT32_MIN;
  return int32_t(number);
}

bool PdfToken::Is(const char* keyword) const {
  return type == TOKEN_KEYWORD && std::strlen(keyword) == wordLength &&
         std::memcmp(word, keyword, wordLength) == 0;
}

bool PdfNextToken(PdfLexer* lexer, PdfToken* token) {
  const uint8_t* d = lexer->data;
  const size_t n = lexer->size;
  size_t p = lexer->pos;
  for (;;) {
    while (p < n && PdfIsWhite(d[p])) ++p;
    if (p < n && d[p] == '%') {
      while (p < n && d[p] != '\r' && d[p] != '\n') ++p;
      continue;
    }
    break;
  }
  if (p >= n) {
    lexer->pos = n;
    token->type = TOKEN_END;
    return false;
  }
  const uint8_t c = d[p++];
  lexer->pos = p;
  switch (c) {
    case '(':
      token->type = TOKEN_STRING;
      token->text.clear();
      ReadLiteralString(lexer, &token->text);
      return true;
    case '<':
      if (p < n && d[p] == '<') {
        lexer->pos = p + 1;
        token->type = TOKEN_DICT_OPEN;
        return true;
      }
      token->type = TOKEN_STRING;
      token->text.clear();
      ReadHexString(lexer, &token->text);
      return true;
    case '>':
      // A lone ">" is stray; it reads as the end of a dictionary all the same.
      if (p < n && d[p] == '>') lexer->pos = p + 1;
      token->type = TOKEN_DICT_CLOSE;
      return true;
    case '[': token->type = TOKEN_ARRAY_OPEN; return true;
    case ']': token->type = TOKEN_ARRAY_CLOSE; return true;
    case '{': token->type = TOKEN_BRACE_OPEN; return true;
    case '}': token->type = TOKEN_BRACE_CLOSE; return true;
    case ')':  // stray: a keyword of its own, so the caller drops it
      break;
    case '/':
      token->type = TOKEN_NAME;
      token->text.clear();
      ReadName(lexer, &token->text);
      return true;
    default:
      while (p < n && IsRegular(d[p])) ++p;
      break;
  }
  token->word = reinterpret_cast<const char*>(d + lexer->pos - 1);
  token->wordLength = p - (lexer->pos - 1);
  lexer->pos = p;
  if (ParseNumber(token->word, token->wordLength, &token->number, &token->integer)) {
    token->type = TOKEN_NUMBER;
  } else {
    token->type = TOKEN_KEYWORD;
  }
  return true;
}

bool PdfParseObject(PdfLexer* lexer, PdfObject* object, int depth) {
  PdfToken token;
  *object = PdfObject();
  if (!PdfNextToken(lexer, &token)) return false;
  switch (token.type) {
    case TOKEN_NUMBER: {
      object->type = token.integer ? PDF_INT : PDF_REAL;
      object->number = token.number;
      if (!token.integer || token.number < 0) return true;
      // "N G R" is a reference: look two tokens ahead, and step back when not.
      const size_t mark = lexer->pos;
      PdfToken second;
      if (PdfNextToken(lexer, &second) && second.type == TOKEN_NUMBER && second.integer &&
          second.number >= 0) {
        PdfToken third;
        if (PdfNextToken(lexer, &third) && third.Is("R")) {
          object->type = PDF_REF;
          object->refNumber = token.number > double(INT32_MAX) ? INT32_MAX : int32_t(token.number);
          object->refGeneration = second.number > 65535 ? 65535 : int32_t(second.number);
          return true;
        }
      }
      lexer->pos = mark;
      return true;
    }
    case TOKEN_STRING:
      object->type = PDF_STRING;
      object->text.swap(token.text);
      return true;
    case TOKEN_NAME:
      object->type = PDF_NAME;
      object->text.swap(token.text);
      return true;
    case TOKEN_ARRAY_OPEN:
    case TOKEN_DICT_OPEN: {
      const bool dict = token.type == TOKEN_DICT_OPEN;
      if (depth >= PDF_MAX_DEPTH) return false;
      object->type = dict ? PDF_DICT : PDF_ARRAY;
      ReadEntries(lexer, object, depth, dict);
      // Parsed objects live as long as the book: no spare capacity kept.
      if (object->items.capacity() > object->items.size()) object->items.shrink_to_fit();
      if (object->keys.capacity() > object->keys.size()) object->keys.shrink_to_fit();
      return true;
    }
    case TOKEN_KEYWORD:
      if (token.Is("true") || token.Is("false")) {
        object->type = PDF_BOOL;
        object->boolean = token.Is("true");
        return true;
      }
      if (token.Is("null")) return true;
      return false;
    default:
      return false;
  }
}
