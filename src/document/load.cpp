// The document loader: reads files whole, chooses the importer (HTML, RTF,
// PDF, PalmDoc, else plain text), joins soft line breaks and lays the result
// out. Plain text in code page 1252 needs no conversion: its bytes are the
// formatted text; UTF-8 and UTF-16 text is converted to it first.
#include "document/load.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "document/encoding.h"
#include "document/layout.h"
#include "document/text.h"
#include "importers/html.h"
#include "importers/pdb.h"
#include "importers/rtf.h"
#include "pdf/pdf.h"
#include "platform/files.h"
#include "ui/boxes/messagebox.h"
#include "platform/trace.h"

namespace {

const char* BaseName(const char* name) {
  const char* slash = std::strrchr(name, '/');
  return slash ? slash + 1 : name;
}

// Ends the formatted text before TEXT_MAX_BYTES, never inside a format code.
void CutToLimit(Text* text, char* buffer) {
  // strnlen stops at the text's own NUL: nothing past the buffer is read.
  if (strnlen(buffer, size_t(TEXT_MAX_BYTES)) < size_t(TEXT_MAX_BYTES)) return;
  size_t cut = size_t(TEXT_MAX_BYTES) - 1;
  if (buffer[cut - 2] == FORMAT_CODE) {
    cut -= 2;
  } else if (buffer[cut - 1] == FORMAT_CODE) {
    cut -= 1;
  }
  buffer[cut] = 0;
  GpTrace("LoadFromBuffer: text cut at %ld bytes\n", long(cut));
  text->incomplete = true;
}

}  // namespace

bool NameHasExtension(const char* name, const char* extension) {
  if (!name || !extension) return false;
  // The rule applies to the base name, so that a hidden file such as
  // "books/.pdb" or a dot in a folder name gives no extension.
  name = BaseName(name);
  const char* dot = std::strrchr(name, '.');
  if (!dot || dot == name) return false;
  return strcasecmp(dot + 1, extension) == 0;
}

const char* TrimSdPath(const char* path) {
  if (!path) return path;
  const size_t n = std::strlen(path);
  if (n > 6 && std::strncmp(path, "/mnt/sd", 7) == 0) return path + 7;
  if (n >= 11 && std::strncmp(path, "/tmp/mnt/sd", 11) == 0) return path + 11;
  return path;
}

void JoinSoftBreaks(Text* text) {
  if (!text || !text->text) return;
  char* s = text->text;
  const size_t n = std::strlen(s);
  // Only CR starts a soft break ("x", " ", CR, LF with x no space), and CRs are
  // rare, so the text is moved in runs between them. read is the first byte
  // not yet consumed; a soft break whose first byte was consumed by the
  // previous join (its LF) does not count, as in a byte-by-byte walk.
  size_t read = 0;
  size_t write = 0;
  size_t from = 0;  // where the search for the next CR goes on
  while (from < n) {
    const char* cr = static_cast<const char*>(std::memchr(s + from, '\r', n - from));
    if (!cr) break;
    const size_t c = size_t(cr - s);
    from = c + 1;
    if (c < 2 || c - 2 < read || s[c - 1] != ' ' || s[c - 2] == ' ' || s[c + 1] != '\n') continue;
    // Keep everything up to and including the space, drop the CR LF.
    const size_t run = c - read;
    if (write != read) std::memmove(s + write, s + read, run);
    write += run;
    read = c + 2;
    from = read;
  }
  const size_t run = n - read;
  if (write != read) std::memmove(s + write, s + read, run);
  write += run;
  s[write] = 0;
}

int LoadFromBuffer(Text* text, const char* name, char* buffer, int32_t size) {
  if (!text) {
    std::free(buffer);
    return 1;
  }
  if (!name) name = "";
  std::free(text->text);
  text->text = nullptr;
  // The line table points into the old text: drop it with it.
  ++g_textRevision;
  std::free(text->lines);
  text->lines = nullptr;
  text->lineCount = 0;

  text->incomplete = false;
  if (buffer) {
    // UTF-8 and UTF-16 text becomes code page 1252 before the importer is chosen.
    ConvertDocumentEncoding(name, buffer, &size);
    if (NameHasExtension(name, "epub")) {
      // A book is opened from the card only (by LoadEpub), never as bytes
      // already read, such as an archive's entry.
      std::free(buffer);
      buffer = nullptr;
    } else if (NameHasExtension(name, "htm") || NameHasExtension(name, "html")) {
      ImportHtml(text, buffer, size);
    } else if (std::strncmp(buffer, "{\\rtf", 5) == 0) {
      // A missing closing brace at the end loses nothing; any other stop
      // (a bad escape, the nesting limit, a stray brace) drops the rest.
      const int result = ImportRtf(text, &buffer, size);
      if (result != RtfOk && result != RtfUnmatchedBrace) text->incomplete = true;
    } else if (NameHasExtension(name, "pdf")) {
      ImportPdf(text, &buffer, size);
    } else if (NameHasExtension(name, "pdb")) {
      ImportPdb(text, &buffer, size);
    }
  }
  if (!buffer) {
    MessageBoxWait(LangText("Error loading file|Error cargando fichero"), BaseName(name));
  }
  if (buffer) CutToLimit(text, buffer);
  text->text = buffer;
  JoinSoftBreaks(text);
  LayoutLines(text, text->font, text->text, START_STYLE);
  if (buffer && text->incomplete) {
    // What was read stays on screen, but the reader must know it is not all.
    MessageBoxWait(LangText("Error loading file|Error cargando fichero"), BaseName(name));
  }
  text->incomplete = false;
  return 1;
}

char* ReadWholeFile(Text* text, const char* path, int32_t* size) {
  if (text) text->name[0] = 0;
  if (!path || !*path) return nullptr;
  int32_t length = 0;
  if (GpFileGetSize(path, &length) != FAT_OK || length <= 0) return nullptr;
  if (size) *size = length;
  int handle = -1;
  if (GpFileOpen(path, 1, &handle) != FAT_OK) return nullptr;
  if (text) std::snprintf(text->name, sizeof text->name, "%s", path);
  char* buffer = static_cast<char*>(std::calloc(size_t(length) + 1, 1));
  if (!buffer) {
    GpFileClose(handle);
    GpTrace("ReadWholeFile: out of memory for %ld bytes\n", long(length));
    return nullptr;
  }
  // Read until the file gives no more; whatever is missing stays zero.
  uint32_t total = 0;
  while (total < uint32_t(length)) {
    uint32_t got = 0;
    if (GpFileRead(handle, buffer + total, uint32_t(length) - total, &got) != FAT_OK || got == 0) break;
    total += got;
  }
  buffer[length] = 0;
  GpFileClose(handle);
  return buffer;
}

int LoadFromFile(Text* text, const char* path) {
  int32_t size = 0;
  char* buffer = ReadWholeFile(text, path, &size);
  if (!buffer) return 0;
  return LoadFromBuffer(text, path, buffer, size);
}

int LoadFromMemory(Text* text, char* formatted) {
  const int32_t size = formatted ? int32_t(std::strlen(formatted) + 1) : 0;
  return LoadFromBuffer(text, "   ", formatted, size);
}
