// The document loader: chooses the importer (HTML, RTF, PDF, PalmDoc, else
// plain text) by a file's extension and first bytes, and makes what it gives
// the formatted text, joined and laid out. Plain text in code page 1252 needs
// no conversion: its bytes are the formatted text; UTF-8 and UTF-16 text is
// converted to it first.
#include "importers/load.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "document/encoding.h"
#include "document/layout.h"
#include "document/load.h"
#include "document/rejoin.h"
#include "document/text.h"
#include "importers/fb2.h"
#include "importers/html.h"
#include "importers/mobi.h"
#include "importers/pdb.h"
#include "importers/rtf.h"
#include "pdf/pdf.h"
#include "platform/files.h"
#include "platform/trace.h"
#include "boxes/messagebox.h"

namespace {

// Ends the formatted text, length bytes before its NUL, before
// TEXT_MAX_BYTES, never inside a format code. Returns the length it leaves.
size_t CutToLimit(Text* text, char* buffer, size_t length) {
  if (length < size_t(TEXT_MAX_BYTES)) return length;
  size_t cut = size_t(TEXT_MAX_BYTES) - 1;
  if (buffer[cut - 2] == FORMAT_CODE) {
    cut -= 2;
  } else if (buffer[cut - 1] == FORMAT_CODE) {
    cut -= 1;
  }
  buffer[cut] = 0;
  GpTrace("LoadFromBuffer: text cut at %ld bytes\n", long(cut));
  text->incomplete = true;
  return cut;
}

// True when a byte other than NUL follows the first NUL, at nul, among the
// size bytes: plain text ends at its first NUL, so what follows it is not
// shown. Zeros alone after it (a from-memory text's own NUL, a file padded
// with zeros) lose nothing.
bool CutByNul(const char* buffer, size_t nul, int32_t size) {
  for (size_t i = nul; i < size_t(size); ++i)
    if (buffer[i]) return true;
  return false;
}

}  // namespace

const char* const EMPTY_FILE_MESSAGE = "This file is empty|Este fichero est\xE1 vac\xEDo";

int LoadFromBuffer(Text* text, const char* name, char* buffer, int32_t size) {
  if (!text) {
    std::free(buffer);
    return 1;
  }
  if (!name) name = "";
  // A PDF is read before the document on screen is let go: a protected one,
  // or one whose pages are only pictures, leaves that document where it was.
  bool pdfRead = false;
  bool pdfIncomplete = false;
  if (buffer && NameHasExtension(name, "pdf") && std::strncmp(buffer, "{\\rtf", 5) != 0) {
    const bool wasIncomplete = text->incomplete;
    text->incomplete = false;
    const int result = ImportPdf(text, &buffer, size);
    pdfIncomplete = text->incomplete;
    text->incomplete = wasIncomplete;
    const char* message = nullptr;
    if (result == PDF_IMPORT_PROTECTED) {
      message = "This PDF is protected|Este PDF est\xE1 protegido";
    } else if (result == PDF_IMPORT_PASSWORD) {
      // "\xF1" "a": a hex escape would take the "a" as a digit.
      message = "This PDF needs a password|Este PDF necesita contrase\xF1" "a";
    } else if (result == PDF_IMPORT_PICTURES) {
      message = "This PDF has no text: its pages are pictures|"
                "Este PDF no tiene texto: sus p\xE1ginas son im\xE1genes";
    }
    if (message) {
      text->incomplete = false;
      MessageBoxWait(LangText(message), BaseName(name));
      return 0;
    }
    pdfRead = true;
  }
  // A FictionBook is parsed before the document on screen is let go too (and
  // then counts as read, like a PDF): a book that cannot be read leaves that
  // document where it was.
  if (buffer && size > 0 && !pdfRead && NameHasExtension(name, "fb2")) {
    const bool wasIncomplete = text->incomplete;
    text->incomplete = false;
    const int result = ImportFb2(text, &buffer, size);
    pdfIncomplete = text->incomplete;
    text->incomplete = wasIncomplete;
    if (result != FB2_OK) {
      text->incomplete = false;
      MessageBoxWait(LangText(result == FB2_NO_TEXT ? FB2_NO_TEXT_MESSAGE : FB2_UNREADABLE_MESSAGE), BaseName(name));
      return 0;
    }
    pdfRead = true;
  }
  // A Kindle book likewise: a protected or broken one leaves the document on
  // screen, and the book's title becomes the name the title bar shows.
  bool kindlePlainText = false;
  if (buffer && !pdfRead && IsKindleBook(name, buffer, size)) {
    kindlePlainText = IsPalmDocBook(buffer, size);
    bool mobiIncomplete = false;
    char title[TEXT_NAME_SIZE];
    const int result = ImportMobi(&buffer, size, title, sizeof title, &mobiIncomplete);
    if (result != MOBI_IMPORT_OK) {
      text->incomplete = false;
      MessageBoxWait(LangText(MobiImportMessage(result)), BaseName(name));
      return 0;
    }
    pdfIncomplete = pdfIncomplete || mobiIncomplete;
    if (title[0]) std::memcpy(text->name, title, sizeof title);
    pdfRead = true;
  }
  // The document on screen is set aside, not freed, until the new one has
  // given some text: a file that gives none leaves it and its place as they
  // were (an RTF import rewrites the colour table, so that is kept too).
  struct {
    char* text;
    LineRecord* lines;
    int32_t lineCount;
    int32_t colourCount;
    uint16_t colours[TEXT_COLOURS];
  } kept = {text->text, text->lines, text->lineCount, text->colourCount, {}};
  std::memcpy(kept.colours, text->colours, sizeof kept.colours);
  text->text = nullptr;
  ++g_textRevision;
  text->lines = nullptr;
  text->lineCount = 0;

  // A file read only up to the input limit came flagged already.
  text->incomplete = text->incomplete || pdfIncomplete;
  // Plain text and PalmDoc books may be hard-wrapped; other formats carry
  // their own paragraphs.
  bool plainText = kindlePlainText;
  // The text's length once a step has measured it (on the console every pass
  // that measures a long text again costs a tenth of a second).
  size_t measured = SIZE_MAX;
  if (buffer && !pdfRead) {
    // UTF-8 and UTF-16 text becomes code page 1252 before the importer is chosen.
    ConvertDocumentEncoding(name, buffer, &size);
    if (NameHasExtension(name, "epub")) {
      // A book is opened from the card only (by LoadEpub), never as bytes
      // already read, such as an archive's entry.
      std::free(buffer);
      buffer = nullptr;
    } else if (NameHasExtension(name, "htm") || NameHasExtension(name, "html")) {
      // Headings and emphasis marked as in book chapters, by the same code.
      MarkHtmlStructure(buffer, size);
      ImportHtml(text, buffer, size);
    } else if (std::strncmp(buffer, "{\\rtf", 5) == 0) {
      // A missing closing brace at the end loses nothing; any other stop
      // (a bad escape, the nesting limit, a stray brace) drops the rest.
      const int result = ImportRtf(text, &buffer, size);
      if (result != RtfOk && result != RtfUnmatchedBrace) text->incomplete = true;
    } else if (NameHasExtension(name, "pdb")) {
      ImportPdb(text, &buffer, size);
      plainText = true;
    } else {
      plainText = true;
      // Binary data, or UTF-16 too far from Latin text to be recognised.
      if (size > 0) {
        measured = strnlen(buffer, size_t(size));
        if (CutByNul(buffer, measured, size)) text->incomplete = true;
      }
    }
  }
  if (!buffer || !buffer[0]) {
    // Nothing to show (no bytes, a damaged PDF or PalmDoc book, a page with
    // no body): one message saying why, and the old document comes back.
    MessageBoxWait(LangText(size <= 0 ? EMPTY_FILE_MESSAGE : "Error loading file|Error cargando fichero"),
                   BaseName(name));
    std::free(buffer);
    text->text = kept.text;
    text->lines = kept.lines;
    text->lineCount = kept.lineCount;
    text->colourCount = kept.colourCount;
    std::memcpy(text->colours, kept.colours, sizeof kept.colours);
    ++g_textRevision;
    text->incomplete = false;
    return 0;
  }
  std::free(kept.text);
  std::free(kept.lines);
  // Each step below hands on the text's length.
  size_t length = 0;
  if (buffer) {
    // strnlen stops at the text's own NUL: nothing past the buffer is read.
    if (measured == SIZE_MAX) measured = strnlen(buffer, size_t(TEXT_MAX_BYTES));
    length = CutToLimit(text, buffer, measured);
    // Importing shrinks a text in place (markup, UTF-8, a cut at the limit):
    // the bytes past its end go back before the line table is built.
    const size_t used = length + 1;
    if (size > 0 && used < size_t(size) / 2 + 1) {
      if (char* smaller = static_cast<char*>(std::realloc(buffer, used))) buffer = smaller;
    }
    length = JoinSoftBreaks(buffer, length);
  }
  text->text = buffer;
  RejoinLoadedText(text, plainText, length);
  LayoutLines(text, text->font, text->text, START_STYLE);
  if (buffer && text->incomplete) {
    // What was read stays on screen, but the reader must know it is not all.
    MessageBoxWait(LangText("Error loading file|Error cargando fichero"), BaseName(name));
  }
  text->incomplete = false;
  return 1;
}

int LoadFromFile(Text* text, const char* path) {
  char name[TEXT_NAME_SIZE];
  std::memcpy(name, text ? text->name : "", text ? sizeof name : 1);
  int32_t size = 0;
  char* buffer = ReadWholeFile(text, path, &size);
  int32_t length = 0;
  if (!buffer && path && *path && GpFileGetSize(path, &length) == FAT_OK && length > 0) {
    // Bytes that cannot be read (no permission, no memory) are told here; a
    // missing or empty file is for the caller to report.
    MessageBoxWait(LangText("Error loading file|Error cargando fichero"), BaseName(path));
  }
  const int loaded = buffer ? LoadFromBuffer(text, path, buffer, size) : 0;
  // A document kept on screen keeps its name too.
  if (!loaded && text) std::memcpy(text->name, name, sizeof name);
  return loaded;
}

int LoadFromMemory(Text* text, char* formatted) {
  const int32_t size = formatted ? int32_t(std::strlen(formatted) + 1) : 0;
  return LoadFromBuffer(text, "   ", formatted, size);
}
