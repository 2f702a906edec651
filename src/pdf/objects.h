// PDF objects: the values a PDF file is built of, the tokenizer that reads them
// from a buffer and the parser that builds them. Used by the cross-reference
// and page code, the fonts and CMaps, and the content interpreter.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum PdfType : uint8_t {
  PDF_NULL,
  PDF_BOOL,
  PDF_INT,
  PDF_REAL,
  PDF_STRING,  // literal and hexadecimal strings alike: the bytes they stand for
  PDF_NAME,    // without the "/", #xx undone
  PDF_ARRAY,
  PDF_DICT,
  PDF_REF,
  PDF_STREAM,  // a dictionary with the place of its raw data in the file
};

// Arrays and dictionaries nest at most this deep; deeper ones end the parse.
constexpr int PDF_MAX_DEPTH = 64;

struct PdfObject {
  PdfType type = PDF_NULL;
  bool boolean = false;
  double number = 0;  // PDF_INT and PDF_REAL
  int32_t refNumber = 0;  // PDF_REF
  int32_t refGeneration = 0;
  std::string text;  // PDF_STRING bytes and PDF_NAME
  // PDF_ARRAY: the elements. PDF_DICT and PDF_STREAM: the values, named by
  // keys (same index), in file order; a repeated key keeps its first value.
  std::vector<PdfObject> items;
  std::vector<std::string> keys;
  // PDF_STREAM: the raw (still filtered) data at file[streamOffset..+streamLength),
  // always inside the file.
  size_t streamOffset = 0;
  size_t streamLength = 0;

  bool IsNumber() const { return type == PDF_INT || type == PDF_REAL; }
  bool IsDict() const { return type == PDF_DICT || type == PDF_STREAM; }
  bool IsName(const char* name) const { return type == PDF_NAME && text == name; }
  // The value of key in a dictionary or stream, not resolved; null when this is
  // no dictionary or the key is missing.
  const PdfObject* Get(const char* key) const;
  // The number as an int (clamped to the int32 range; 0 for other types).
  int32_t Int() const;
};

enum PdfTokenType : uint8_t {
  TOKEN_END,  // end of the buffer
  TOKEN_NUMBER,
  TOKEN_STRING,  // literal or hexadecimal: text holds the bytes
  TOKEN_NAME,  // text holds the name
  TOKEN_ARRAY_OPEN,
  TOKEN_ARRAY_CLOSE,
  TOKEN_DICT_OPEN,
  TOKEN_DICT_CLOSE,
  TOKEN_BRACE_OPEN,  // "{" and "}" of PostScript calculator functions and CMaps
  TOKEN_BRACE_CLOSE,
  TOKEN_KEYWORD,  // any other run of regular bytes: operators, true, obj, R...
};

struct PdfToken {
  PdfTokenType type = TOKEN_END;
  bool integer = false;  // TOKEN_NUMBER written without a "."
  double number = 0;
  // TOKEN_STRING and TOKEN_NAME: the bytes, escapes undone. Kept between
  // calls so that its capacity is reused: reading a token allocates only
  // when a string is longer than any before it.
  std::string text;
  // TOKEN_KEYWORD: the bytes inside the buffer.
  const char* word = nullptr;
  size_t wordLength = 0;
  bool Is(const char* keyword) const;  // TOKEN_KEYWORD with exactly these bytes
};

// Reads data[0..size) from pos on; never reads at or past size.
struct PdfLexer {
  const uint8_t* data = nullptr;
  size_t size = 0;
  size_t pos = 0;
};

inline bool PdfIsWhite(uint8_t c) {
  return c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '\f' || c == 0;
}
inline bool PdfIsDelimiter(uint8_t c) {
  return c == '(' || c == ')' || c == '<' || c == '>' || c == '[' || c == ']' || c == '{' ||
         c == '}' || c == '/' || c == '%';
}

// Reads the next token, skipping white space and comments. An unterminated
// string or hex string ends at the buffer's end. Returns false at the end.
bool PdfNextToken(PdfLexer* lexer, PdfToken* token);

// Parses one object from the lexer's position: "N G R" becomes a reference;
// a keyword other than true, false and null ends the parse with false (the
// lexer is then past it). Arrays and dictionaries that the buffer cuts short
// keep what they had. depth counts enclosing arrays and dictionaries.
bool PdfParseObject(PdfLexer* lexer, PdfObject* object, int depth = 0);
