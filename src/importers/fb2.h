// FictionBook (FB2) import: the XML book parsed with expat into the formatted
// text, its bodies in order with the notes last, sections on new pages, titles
// in bold and larger, and the book's title. Called by the document loader (for
// .fb2 files and archive entries) and by the .fb2.zip reader through it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "document/text.h"

struct Text;

enum Fb2Result {
  FB2_OK = 0,
  FB2_NOT_WELL_FORMED = -1,  // the XML breaks (or names an unknown encoding) before any body text
  FB2_NO_TEXT = -2,          // well formed, but no body holds any text
  FB2_NO_MEMORY = -3,
};

// What the loader says, with the file's name, when a book cannot be read
// (FB2_NOT_WELL_FORMED, FB2_NO_MEMORY) and when it holds no text.
constexpr const char* FB2_UNREADABLE_MESSAGE = "This book cannot be read|Este libro no se puede leer";
constexpr const char* FB2_NO_TEXT_MESSAGE = "This book has no readable text|Este libro no tiene texto legible";

struct Fb2Book {
  char* text = nullptr;  // malloc'd, NUL-terminated formatted text; the caller frees it
  size_t length = 0;     // bytes of text before its NUL, below TEXT_MAX_BYTES
  // The first title-info's book-title in code page 1252, blanks collapsed,
  // "/" shown as "-" (the title bar shows what follows a name's last "/");
  // empty when the book has none.
  char title[TEXT_NAME_SIZE] = {};
  // The text stops early: cut at TEXT_MAX_BYTES, or the XML breaks after some
  // body text (what came before it is kept).
  bool incomplete = false;
};

// Converts the size bytes at data (nothing past them is read; no terminator
// needed) into book. The XML declaration's encoding is honoured: UTF-8 and
// UTF-16 natively, ISO-8859-1 and the code pages of fb2_codepages.h through
// expat's unknown-encoding handler; a character code page 1252 cannot show
// becomes a look-alike or "?". Returns FB2_OK with book->text set, or a
// failure code with book->text null.
int ConvertFb2(const char* data, size_t size, Fb2Book* book);

// The loader's call: takes *buffer (malloc'd, size bytes) and frees it. On
// FB2_OK *buffer becomes the formatted text, the Text object's name the book's
// title when it has one, and text->incomplete is set when the text stops
// early. On failure *buffer is null and the Text object is untouched.
int ImportFb2(Text* text, char** buffer, int32_t size);
