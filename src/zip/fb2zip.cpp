// FictionBook books in a ZIP archive: the first .fb2 entry found in the
// central directory is read whole and handed to the loader under its own name,
// so the FB2 importer takes it.
#include "zip/fb2zip.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "document/load.h"
#include "document/text.h"
#include "importers/load.h"
#include "platform/trace.h"
#include "boxes/messagebox.h"
#include "zip/archive.h"

namespace {

const char* const LOAD_ERROR = "Error loading file|Error cargando fichero";
// Entry names are read through this buffer plus a terminator; a longer name
// is not taken as the book (its end, the extension, is not seen).
constexpr uint32_t NAME_READ = 1024;

// Makes the first entry named *.fb2 current; false when there is none.
bool FindBook(ZipArchive* archive, char (&name)[NAME_READ + 1]) {
  for (int r = ArchiveFirstEntry(archive); r == ZIP_OK; r = ArchiveNextEntry(archive)) {
    ZipEntryInfo info;
    if (ArchiveEntryInfo(archive, &info, name, NAME_READ) != ZIP_OK) return false;
    name[NAME_READ] = 0;
    if (info.nameLength < NAME_READ && NameHasExtension(name, "fb2")) return true;
  }
  return false;
}

// The current entry read whole (at most DOCUMENT_MAX_INPUT_BYTES, as for a
// file on the card) into a new NUL-terminated buffer; null when it cannot be
// opened or read. *cut tells that the entry is longer than what was read.
char* ReadBook(ZipArchive* archive, int32_t* size, bool* cut) {
  if (ArchiveOpenEntry(archive) != ZIP_OK) return nullptr;
  ZipEntryInfo info;
  char name[8];
  if (ArchiveEntryInfo(archive, &info, name, sizeof name) != ZIP_OK) {
    ArchiveCloseEntry(archive);
    return nullptr;
  }
  *cut = info.uncompressedSize > uint32_t(DOCUMENT_MAX_INPUT_BYTES);
  const uint32_t wanted = *cut ? uint32_t(DOCUMENT_MAX_INPUT_BYTES) : info.uncompressedSize;
  char* buffer = static_cast<char*>(std::malloc(size_t(wanted) + 1));
  uint32_t total = 0;
  while (buffer && total < wanted) {
    const int got = ArchiveReadEntry(archive, buffer + total, wanted - total);
    if (got <= 0) break;
    total += uint32_t(got);
  }
  // An entry read to its end must match its checksum; one cut short is not checked.
  const int closed = ArchiveCloseEntry(archive);
  if (!buffer || total < wanted || (!*cut && closed != ZIP_OK)) {
    std::free(buffer);
    return nullptr;
  }
  buffer[total] = 0;
  *size = int32_t(total);
  return buffer;
}

}  // namespace

bool IsFb2ZipName(const char* name) {
  static const char SUFFIX[] = ".fb2.zip";
  const size_t n = name ? std::strlen(name) : 0;
  const size_t k = sizeof SUFFIX - 1;
  // A name that is only the suffix has no base name: it is no book.
  if (n <= k || name[n - k - 1] == '/') return false;
  for (size_t i = 0; i < k; ++i) {
    char c = name[n - k + i];
    if (c >= 'A' && c <= 'Z') c = char(c + 32);
    if (c != SUFFIX[i]) return false;
  }
  return true;
}

int LoadFb2Zip(Text* text, const char* path) {
  if (!text || !path) return 0;
  ZipArchive* archive = ArchiveOpen(path);
  char entry[NAME_READ + 1];
  int32_t size = 0;
  bool cut = false;
  char* buffer = archive && FindBook(archive, entry) ? ReadBook(archive, &size, &cut) : nullptr;
  if (archive) ArchiveClose(archive);
  if (!buffer) {
    GpTrace("FB2 archive %s: no readable .fb2 entry\n", path);
    MessageBoxWait(LangText(LOAD_ERROR), BaseName(path));
    return 0;
  }
  // The path names the document unless the book gives its title; a book that
  // is refused leaves the old name with the old document.
  char kept[TEXT_NAME_SIZE];
  std::memcpy(kept, text->name, sizeof kept);
  std::snprintf(text->name, sizeof text->name, "%s", path);
  if (cut) text->incomplete = true;
  if (!LoadFromBuffer(text, BaseName(entry), buffer, size)) {
    std::memcpy(text->name, kept, sizeof kept);
    return 0;
  }
  return 1;
}
