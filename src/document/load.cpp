// Document files: reading a file whole, joining soft line breaks, card paths
// and extensions. The loader that chooses the importer is in importers/load.
#include "document/load.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "document/text.h"
#include "platform/files.h"
#include "platform/trace.h"

const char* BaseName(const char* path) {
  const char* slash = std::strrchr(path, '/');
  return slash ? slash + 1 : path;
}

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
  if (text && text->text) JoinSoftBreaks(text->text, std::strlen(text->text));
}

size_t JoinSoftBreaks(char* s, size_t n) {
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
  return write;
}

char* ReadWholeFile(Text* text, const char* path, int32_t* size) {
  if (text) text->name[0] = 0;
  if (!path || !*path) return nullptr;
  int32_t length = 0;
  if (GpFileGetSize(path, &length) != FAT_OK || length <= 0) return nullptr;
  // A larger file is read up to the limit, so that no file can take more
  // memory than the console has; the loader shows what was read and says so.
  const bool cut = length > DOCUMENT_MAX_INPUT_BYTES;
  if (cut) {
    GpTrace("ReadWholeFile: %ld bytes, read up to %ld\n", long(length), long(DOCUMENT_MAX_INPUT_BYTES));
    length = DOCUMENT_MAX_INPUT_BYTES;
  }
  if (size) *size = length;
  int handle = -1;
  if (GpFileOpen(path, 1, &handle) != FAT_OK) return nullptr;
  SetTextName(text, path);
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
  if (cut && text) text->incomplete = true;
  return buffer;
}

