// Loading an archive entry into the Text object: positioning by index or
// name, then one whole read handed to the document loader.
#include "zip/archive_load.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "document/load.h"
#include "document/text.h"
#include "importers/load.h"
#include "platform/settings.h"
#include "boxes/messagebox.h"
#include "zip/archive.h"
#include "zip/epub.h"

namespace {

// The message of an entry that could not be read whole, as the dialogs give it.
const char* const DECOMPRESS_ERROR = "Can't decompress this file|Error al descomprimir";

// Names of 256 bytes or more arrive without a terminator: one byte more than
// the reader may fill keeps them bounded.
constexpr uint32_t NAME_BUFFER_SIZE = 256;
// Names compared with a record are read as the archive browser reads them,
// whose rows the records keep.
constexpr uint32_t RECORDED_NAME_READ = 1024;

bool IsRegularFile(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Index or name after the "#": digits only make an index.
bool ParseIndex(const char* s, uint32_t* index) {
  if (!*s || strlen(s) > 5) return false;
  uint32_t value = 0;
  for (; *s; s++) {
    if (*s < '0' || *s > '9') return false;
    value = value * 10 + uint32_t(*s - '0');
  }
  *index = value;
  return true;
}

int CurrentName(ZipArchive* archive, ZipEntryInfo* info, char (&name)[NAME_BUFFER_SIZE + 1]) {
  const int result = ArchiveEntryInfo(archive, info, name, NAME_BUFFER_SIZE);
  name[NAME_BUFFER_SIZE] = '\0';
  return result;
}

}  // namespace

int ArchiveGoToEntry(ZipArchive* archive, uint32_t index) {
  int result = ArchiveFirstEntry(archive);
  for (uint32_t i = 0; i < index && result == ZIP_OK; i++) result = ArchiveNextEntry(archive);
  return result;
}

int ArchiveFindEntry(ZipArchive* archive, const char* name, uint32_t* index) {
  if (!name) return ZIP_PARAM_ERROR;
  // A longer name cannot be compared whole through the name buffer.
  if (strlen(name) >= NAME_BUFFER_SIZE) return ZIP_END_OF_LIST;
  for (int result = ArchiveFirstEntry(archive); result == ZIP_OK; result = ArchiveNextEntry(archive)) {
    ZipEntryInfo info;
    char entryName[NAME_BUFFER_SIZE + 1];
    if (CurrentName(archive, &info, entryName) != ZIP_OK) return ZIP_ERRNO;
    if (info.nameLength < NAME_BUFFER_SIZE && strcmp(entryName, name) == 0) {
      if (index) *index = archive->entryNumber;
      return ZIP_OK;
    }
  }
  return ZIP_END_OF_LIST;
}

int ArchiveFindRecordedEntry(ZipArchive* archive, int32_t index, const char* storedName, uint32_t* found) {
  if (!archive || !storedName || !found) return ZIP_PARAM_ERROR;
  const size_t stored = strlen(storedName);
  // A name that fills the record's field may have been cut there.
  const bool cut = stored >= size_t(ENTRY_NAME_SIZE - 1);
  auto agrees = [&](char* name) {
    const char* base = BaseName(name);
    return cut ? strncmp(base, storedName, stored) == 0 : strcmp(base, storedName) == 0;
  };
  char name[RECORDED_NAME_READ + 1];
  ZipEntryInfo info;
  if (index >= 0 && ArchiveGoToEntry(archive, uint32_t(index)) == ZIP_OK) {
    if (stored == 0) {
      *found = uint32_t(index);
      return ZIP_OK;
    }
    if (ArchiveEntryInfo(archive, &info, name, RECORDED_NAME_READ) == ZIP_OK) {
      name[RECORDED_NAME_READ] = '\0';
      if (agrees(name)) {
        *found = uint32_t(index);
        return ZIP_OK;
      }
    }
  }
  if (stored == 0) return ZIP_END_OF_LIST;
  int result = ArchiveFirstEntry(archive);
  for (uint32_t number = 0; result == ZIP_OK; ++number, result = ArchiveNextEntry(archive)) {
    if (ArchiveEntryInfo(archive, &info, name, RECORDED_NAME_READ) != ZIP_OK) return ZIP_ERRNO;
    name[RECORDED_NAME_READ] = '\0';
    if (agrees(name)) {
      *found = number;
      return ZIP_OK;
    }
  }
  return result;
}

int ArchiveLoadEntry(Text* text, ZipArchive* archive) {
  if (!text || !archive) return ZIP_PARAM_ERROR;
  int result = ArchiveOpenEntry(archive);
  if (result != ZIP_OK) return result;
  ZipEntryInfo info;
  char name[NAME_BUFFER_SIZE + 1];
  result = CurrentName(archive, &info, name);
  // The size was checked against the memory limit when the entry was opened;
  // beyond the whole-document limit only its first part is read (the loader
  // cuts it there and tells the reader).
  const bool overLimit = result == ZIP_OK && info.uncompressedSize >= uint32_t(TEXT_MAX_BYTES);
  const uint32_t wanted = overLimit ? uint32_t(TEXT_MAX_BYTES) : info.uncompressedSize;
  char* buffer = result == ZIP_OK ? static_cast<char*>(malloc(size_t(wanted) + 1)) : nullptr;
  if (!buffer) {
    ArchiveCloseEntry(archive);
    return result == ZIP_OK ? ZIP_INTERNAL_ERROR : result;
  }
  const int delivered = ArchiveReadEntry(archive, buffer, wanted);
  if (delivered < 0) {
    // An I/O or inflate error is no length: the document stays as it was.
    free(buffer);
    ArchiveCloseEntry(archive);
    MessageBoxWait(LangText(DECOMPRESS_ERROR), name);
    return delivered;
  }
  buffer[delivered] = '\0';
  const char* baseName = BaseName(name);
  // The entry's name names the document unless the loader gives a book's
  // title instead; a document that is refused keeps its own name. A 256-byte
  // name loses its last byte to the terminator.
  char kept[sizeof(text->name)];
  memcpy(kept, text->name, sizeof kept);
  const size_t nameLength = strnlen(baseName, sizeof(text->name) - 1);
  memcpy(text->name, baseName, nameLength);
  text->name[nameLength] = '\0';
  if (!LoadFromBuffer(text, baseName, buffer, delivered)) {  // takes the buffer
    // Refused with its own message (a protected PDF): the document stays.
    memcpy(text->name, kept, sizeof kept);
    ArchiveCloseEntry(archive);
    return ZIP_INTERNAL_ERROR;
  }
  if (overLimit) {
    ArchiveCloseEntry(archive);  // not read to its end: no CRC to check
    return ZIP_OK;
  }
  int closed = ArchiveCloseEntry(archive);
  // Data that ran out before the recorded size is not checked on close, yet
  // the document is not what the archive holds either.
  if (closed == ZIP_OK && uint32_t(delivered) < info.uncompressedSize) closed = ZIP_CRC_ERROR;
  // What was read stays on screen; the reader is told that it is damaged.
  if (closed == ZIP_CRC_ERROR) MessageBoxWait(LangText(DECOMPRESS_ERROR), baseName);
  return closed;
}

int LoadFileOrArchiveEntry(Text* text, const char* path) {
  if (!path) return 0;
  if (IsRegularFile(path)) return LoadDocumentFile(text, path);
  // Names may hold "#" too: the archive is the first prefix that is a file.
  for (const char* hash = strchr(path, '#'); hash; hash = strchr(hash + 1, '#')) {
    const std::string archivePath(path, size_t(hash - path));
    if (!IsRegularFile(archivePath)) continue;
    ZipArchive* archive = ArchiveOpen(archivePath.c_str());
    if (!archive) return 0;
    const char* entry = hash + 1;
    uint32_t index = 0;
    int result = ParseIndex(entry, &index) ? ArchiveGoToEntry(archive, index) : ArchiveFindEntry(archive, entry, &index);
    if (result == ZIP_OK) result = ArchiveLoadEntry(text, archive);
    ArchiveClose(archive);
    return result == ZIP_OK || result == ZIP_CRC_ERROR ? 1 : 0;
  }
  return LoadFromFile(text, path);
}
