// Browsing a ZIP archive like a folder tree: the rows of one folder inside the
// archive (folders one level down, files of the folder), moving between them,
// and loading the chosen entry as the document. Run by the file dialog.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "document/load.h"
#include "document/text.h"
#include "importers/load.h"
#include "platform/video.h"
#include "boxes/messagebox.h"
#include "ui/filedialog.h"
#include "zip/archive.h"
#include "zip/archive_load.h"

namespace {

// Names are read through a buffer of 1024 bytes, so that a long name's real
// end (its extension) can be shown; one byte more always terminates what was
// read, even for a longer name that arrives without a terminator.
constexpr uint32_t ENTRY_NAME_READ = 1024;
constexpr int LONG_NAME_HEAD = 243;
constexpr int LONG_NAME_TAIL = 6;
constexpr uint16_t ARCHIVE_FILL = 0x0018;
constexpr int PREFIX_SIZE = int(ENTRY_NAME_READ) + FILE_LIST_NAME_SIZE;

const char* const ENTRY_EXTENSIONS[] = {"TXT", "RTF", "PDB", "HTML", "HTM", "PDF",
                                        "MOBI", "PRC", "AZW", "AZW3", "FB2"};

void SetArchiveListLook(FileList* list, int frameX, int frameY, int width, int height, int contentTop) {
  list->x = frameX + 10;
  list->y = contentTop + 5;
  list->width = width - 20;
  list->height = height + frameY - contentTop - 5;
  list->colours[LIST_BACKGROUND] = ARCHIVE_FILL;
  list->colours[LIST_FOLDER_TEXT] = 0xC000;
  list->colours[LIST_SELECTION_BAR] = 0xFFC0;
  list->colours[LIST_FILE_TEXT] = 0xFFDF;
  list->colours[LIST_SELECTED_TEXT] = 0x0018;
}

bool HasFolderRow(const FileList* list, const char* name, size_t length, int32_t lastFolder) {
  auto same = [&](int32_t i) {
    const FileListEntry& row = list->rows[i];
    return EntryKind(row.type) == ENTRY_FOLDER && std::strncmp(row.name, name, length) == 0 && row.name[length] == 0;
  };
  // Entries of one folder usually follow each other: the last folder row first.
  if (lastFolder > 0 && same(lastFolder)) return true;
  for (int32_t i = 1; i < list->count; ++i) {
    if (same(i)) return true;
  }
  return false;
}

// One folder up inside the archive; the top is the empty prefix.
void ParentPrefix(char* prefix) {
  const size_t n = std::strlen(prefix);
  if (n < 3) {
    prefix[0] = 0;
    return;
  }
  if (prefix[n - 2] == '/') {
    prefix[n - 1] = 0;
    return;
  }
  for (size_t i = n - 2; i-- > 0;) {
    if (prefix[i] == '/') {
      prefix[i + 1] = 0;
      return;
    }
  }
  prefix[0] = 0;
}

void ShowZipError(const char* text) { MessageBoxWait("Error", LangText(text)); }

}  // namespace

void BuildArchiveList(FileList* list, ZipArchive* archive, const char* prefix, int maxRows) {
  list->count = 0;
  if (!list->rows || maxRows < 1) return;
  SetFileListEntry(&list->rows[0], "<..>", ENTRY_PARENT, 0);
  list->count = 1;
  if (!archive || ArchiveFirstEntry(archive) != ZIP_OK) return;
  const size_t prefixLength = prefix ? std::strlen(prefix) : 0;
  int32_t lastFolder = 0;
  char name[ENTRY_NAME_READ + 1];
  char shown[FILE_LIST_NAME_SIZE];
  for (int32_t number = 0; list->count < maxRows; ++number) {
    ZipEntryInfo info;
    if (ArchiveEntryInfo(archive, &info, name, ENTRY_NAME_READ) != ZIP_OK) break;
    name[ENTRY_NAME_READ] = 0;
    const int32_t utf8 = (info.flags & ZIP_FLAG_UTF8) ? int32_t(ENTRY_UTF8_NAME) : 0;
    const char* rest = name;
    if (prefixLength == 0 || std::strncmp(name, prefix, prefixLength) == 0) {
      rest = name + prefixLength;
      const char* slash = std::strchr(rest, '/');
      if (slash && !std::strchr(slash + 1, '/')) {
        const size_t length = size_t(slash - rest) + 1;
        if (!HasFolderRow(list, rest, length, lastFolder)) {
          char folder[FILE_LIST_NAME_SIZE];
          std::snprintf(folder, sizeof folder, "%.*s", int(length), rest);
          lastFolder = list->count;
          SetFileListEntry(&list->rows[list->count++], folder, ENTRY_FOLDER | utf8, 0);
        }
      } else if (!slash && rest[0]) {
        const size_t length = std::strlen(rest);
        if (length >= FILE_LIST_NAME_SIZE) {
          // Too long for a row: its head and its end (of what was read).
          std::snprintf(shown, sizeof shown, "%.*s...%s", LONG_NAME_HEAD, rest, rest + length - LONG_NAME_TAIL);
        } else {
          std::snprintf(shown, sizeof shown, "%s", rest);
        }
        int32_t type = ENTRY_OTHER;
        for (const char* extension : ENTRY_EXTENSIONS) {
          if (HasExtension(shown, extension)) {
            type = ENTRY_DOCUMENT;
            break;
          }
        }
        SetFileListEntry(&list->rows[list->count++], shown, type | utf8, number);
      }
    }
    if (ArchiveNextEntry(archive) != ZIP_OK) break;
  }
  SortFileList(list);
}

int BrowseArchive(ZipArchive* archive, const char* title, int width, int height, int contentTop,
                  char* entryName) {
  if (!g_video) return -1;
  const int frameX = (SCREEN_WIDTH - width) / 2;
  const int frameY = (SCREEN_HEIGHT - height) / 2;
  // The archive's path as shown, by its end when long (the title starts 5
  // pixels in and its outline reaches one further).
  char shownTitle[PREFIX_SIZE];
  char fittedTitle[PREFIX_SIZE];
  ShownPath(title, shownTitle, sizeof shownTitle);
  FitPathByEnd(shownTitle, width - 12, fittedTitle, sizeof fittedTitle);
  g_video->DrawWindow(frameX, frameY, width, height, ARCHIVE_FILL, fittedTitle, 0, g_video->FrontBuffer());
  FileList list;
  SetArchiveListLook(&list, frameX, frameY, width, height, contentTop);
  // A folder of the archive holds at most all its entries: rows for them and
  // the parent row, up to the bound.
  const int maxRows = int(std::min<uint32_t>(archive ? archive->entryCount : 0, ARCHIVE_LIST_ROWS - 1)) + 1;
  list.rows = static_cast<FileListEntry*>(std::malloc(sizeof(FileListEntry) * size_t(maxRows)));
  if (!list.rows) return -1;
  char prefix[PREFIX_SIZE] = "";
  char left[FILE_LIST_NAME_SIZE] = "";
  int result = -1;
  for (;;) {
    BuildArchiveList(&list, archive, prefix, maxRows);
    list.firstVisible = 0;
    list.selected = 0;
    // Up a folder: the one just left is selected.
    for (int32_t i = 1; left[0] && i < list.count; ++i) {
      if (EntryKind(list.rows[i].type) == ENTRY_FOLDER && std::strcmp(list.rows[i].name, left) == 0) {
        list.selected = i;
        break;
      }
    }
    left[0] = 0;
    const int chosen = FileListRun(&list);
    if (chosen < 0) break;
    const FileListEntry& row = list.rows[chosen];
    const int32_t kind = EntryKind(row.type);
    if (kind == ENTRY_DOCUMENT) {
      if (OpenArchiveEntry(archive, row.index)) {
        if (entryName) std::snprintf(entryName, FILE_LIST_NAME_SIZE, "%s", row.name);
        result = row.index;
        break;
      }
    } else if (kind == ENTRY_FOLDER) {
      const size_t n = std::strlen(prefix);
      // A prefix is always part of a name that was read, so this fits.
      std::snprintf(prefix + n, sizeof prefix - n, "%s", row.name);
    } else if (kind == ENTRY_PARENT) {
      if (!prefix[0]) break;
      // The last folder of the prefix, as its row is named ("name/").
      const size_t n = std::strlen(prefix);
      size_t start = n - 1;
      while (start > 0 && prefix[start - 1] != '/') --start;
      std::snprintf(left, sizeof left, "%.*s", int(n - start), prefix + start);
      ParentPrefix(prefix);
    }
  }
  std::free(list.rows);
  return result;
}

int OpenArchiveEntry(ZipArchive* archive, int32_t entryIndex) {
  if (entryIndex < 0 || ArchiveGoToEntry(archive, uint32_t(entryIndex)) != ZIP_OK) {
    ShowZipError("Zip handling internal error|Error interno en zip");
    return 0;
  }
  if (ArchiveOpenEntry(archive) != ZIP_OK) {
    ShowZipError("Can't decompress this file|Error al descomprimir");
    return 0;
  }
  ZipEntryInfo info;
  char name[ENTRY_NAME_READ + 1];
  if (ArchiveEntryInfo(archive, &info, name, ENTRY_NAME_READ) != ZIP_OK) {
    ArchiveCloseEntry(archive);
    ShowZipError("Zip handling internal error|Error interno en zip");
    return 0;
  }
  name[ENTRY_NAME_READ] = 0;
  ShowLoadingBox(name, int32_t(info.uncompressedSize));
  // The size was checked against the memory limit when the entry was opened.
  char* buffer = static_cast<char*>(std::malloc(size_t(info.uncompressedSize) + 1));
  const int delivered = buffer ? ArchiveReadEntry(archive, buffer, info.uncompressedSize) : ZIP_INTERNAL_ERROR;
  if (delivered < 0) {
    // A read or inflate error is no length: the document stays as it was.
    std::free(buffer);
    ArchiveCloseEntry(archive);
    ShowZipError("Can't decompress this file|Error al descomprimir");
    return 0;
  }
  buffer[delivered] = 0;
  const char* documentName = BaseName(name);
  // The entry's name names the document unless the loader gives a book's
  // title instead; a document that is refused keeps its own name.
  char kept[TEXT_NAME_SIZE] = "";
  if (g_text) {
    std::memcpy(kept, g_text->name, sizeof kept);
    const size_t length = strnlen(documentName, sizeof g_text->name - 1);
    std::memcpy(g_text->name, documentName, length);
    g_text->name[length] = 0;
  }
  if (!LoadFromBuffer(g_text, documentName, buffer, delivered)) {
    // Refused with its own message (a protected PDF): the document stays.
    if (g_text) std::memcpy(g_text->name, kept, sizeof kept);
    ArchiveCloseEntry(archive);
    return 0;
  }
  const int closed = ArchiveCloseEntry(archive);
  // What was read stays on screen, but it is not what the archive holds when
  // the CRC failed or the data ran out early: the reader is told, as when the
  // entry is reopened from the recent-files list.
  if (closed == ZIP_CRC_ERROR || uint32_t(delivered) < info.uncompressedSize) {
    ShowZipError("Can't decompress this file|Error al descomprimir");
  }
  return 1;
}
