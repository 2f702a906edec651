// The file dialog over the card's folders: the folder list, moving between
// folders, opening a document or handing an archive to the archive browser,
// the loading box, and reopening a recorded document.
#include "ui/filedialog.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "document/load.h"
#include "document/text.h"
#include "document/zoom.h"
#include "importers/load.h"
#include "platform/cp1252.h"
#include "platform/files.h"
#include "platform/recent.h"
#include "platform/settings.h"
#include "platform/trace.h"
#include "platform/video.h"
#include "boxes/messagebox.h"
#include "zip/archive.h"
#include "zip/archive_load.h"
#include "zip/epub.h"
#include "zip/fb2zip.h"

FileDialogPosition g_fileDialogPosition = {0, 0};

namespace {

constexpr int DIALOG_X = 20;
constexpr int DIALOG_Y = 50;
constexpr int DIALOG_WIDTH = 280;
constexpr int DIALOG_HEIGHT = 140;
constexpr int LIST_X = 30;
constexpr int LIST_WIDTH = 260;
constexpr int LIST_BOTTOM = 185;
constexpr int FULL_PATH_SIZE = FOLDER_PATH_SIZE + FILE_LIST_NAME_SIZE;
// A window's title starts 5 pixels in and its outline reaches one further.
constexpr int TITLE_WIDTH = DIALOG_WIDTH - 12;

const char* const DOCUMENT_EXTENSIONS[] = {"TXT",  "RTF",  "PDB", "ZIP", "HTM", "HTML", "PDF",
                                           "EPUB", "MOBI", "PRC", "AZW", "AZW3", "FB2"};

// The frame titled with the folder's path as shown, by its end when long.
int DrawDialogFrame(const char* path) {
  char shown[FULL_PATH_SIZE];
  char title[FULL_PATH_SIZE];
  ShownPath(path, shown, sizeof shown);
  FitPathByEnd(shown, TITLE_WIDTH, title, sizeof title);
  return g_video->DrawWindow(DIALOG_X, DIALOG_Y, DIALOG_WIDTH, DIALOG_HEIGHT, g_interfaceColour, title,
                             0, g_video->FrontBuffer());
}

// The "<name>" row of the folder the path ends in (its last part), for
// selecting it after going up; empty for a path with no such part.
void FolderRowName(const char* path, char (&row)[FILE_LIST_NAME_SIZE]) {
  row[0] = 0;
  const size_t n = std::strlen(path);
  if (n < 2) return;
  size_t start = n - 1;  // the final "/"
  while (start > 0 && path[start - 1] != '/') --start;
  std::snprintf(row, sizeof row, "<%.*s>", int(n - 1 - start), path + start);
}

// The row named name, or 0 (the parent row) when there is none.
int32_t RowNamed(const FileList& list, const char* name) {
  for (int32_t i = 0; i < list.count; ++i) {
    if (std::strcmp(list.rows[i].name, name) == 0) return i;
  }
  return 0;
}

void AddRecent(const RecentEntry& entry) {
  if (g_recentList) g_recentList->AddEntry(entry);
}

// After a load from the dialog: the document left behind keeps its place in
// the recent-files list (noted when the dialog opened, while its text was on
// screen), and the new one goes in front of it, at the place the list keeps
// for it (which is not overwritten) or else at its start.
void MakeCurrent(const char* path, const char* entryName, int32_t index) {
  AddRecent(g_currentEntry);
  const RecentEntry* recorded = g_recentList ? g_recentList->Find(path, entryName, index) : nullptr;
  SetCurrentDocumentAt(path, entryName, index, recorded, g_text);
  AddRecent(g_currentEntry);
}

// folder + name into out (FULL_PATH_SIZE bytes); false when it does not fit.
bool JoinPath(char* out, const char* folder, const char* name) {
  const int n = std::snprintf(out, FULL_PATH_SIZE, "%s%s", folder, name);
  return n >= 0 && n < FULL_PATH_SIZE;
}

// Enters the folder of a "<name>" row. A path that would not fit the setting,
// or a folder that is gone, leaves the path unchanged (false).
bool EnterFolder(char* folder, const char* row) {
  const size_t rowLength = std::strlen(row);
  if (rowLength < 3) return false;
  char next[FULL_PATH_SIZE];
  const int n = std::snprintf(next, sizeof next, "%s%.*s/", folder, int(rowLength - 2), row + 1);
  if (n < 0 || n >= FOLDER_PATH_SIZE || !GpPathExists(next)) return false;
  std::memcpy(folder, next, size_t(n) + 1);
  return true;
}

void SetFolderListLook(FileList* list, int contentTop) {
  list->x = LIST_X;
  list->y = contentTop + 5;
  list->width = LIST_WIDTH;
  list->height = LIST_BOTTOM - contentTop;
  list->colours[LIST_BACKGROUND] = g_interfaceColour;
  list->colours[LIST_FOLDER_TEXT] = 0xC000;
  list->colours[LIST_SELECTION_BAR] = 0xFFC0;
  list->colours[LIST_FILE_TEXT] = 0xFFDF;
  list->colours[LIST_SELECTED_TEXT] = 0x0018;
}

// The archive at path, or null after one message saying why it cannot be
// read: gone, empty, or no archive the reader can open.
ZipArchive* OpenArchiveOrSay(const char* path) {
  // A FIFO or a device would hold the open for ever: only a regular file is
  // opened as an archive.
  FileAttr attr = {};
  if (GpFileGetAttr(path, &attr) == FAT_OK && attr.attr != ATTR_FILE) {
    MessageBoxWait(LangText("File not found|Fichero no encontrado"), TrimSdPath(path));
    return nullptr;
  }
  ZipArchive* archive = ArchiveOpen(path);
  if (archive) return archive;
  int32_t size = 0;
  if (GpFileGetSize(path, &size) != FAT_OK) {
    MessageBoxWait(LangText("File not found|Fichero no encontrado"), TrimSdPath(path));
  } else if (size == 0) {
    MessageBoxWait(LangText(EMPTY_FILE_MESSAGE), BaseName(path));
  } else {
    MessageBoxWait("Error", LangText("Zip handling internal error|Error interno en zip"));
  }
  return nullptr;
}

// Browses the archive at path: 1 when an entry was loaded and made current,
// 0 when the user left it, -1 when it is no archive.
int OpenArchiveFromList(const char* path, int contentTop) {
  ZipArchive* archive = OpenArchiveOrSay(path);
  if (!archive) return -1;
  if (ArchiveFirstEntry(archive) == ZIP_END_OF_LIST) {
    // Nothing to browse: said, and back to the folder list.
    ArchiveClose(archive);
    char shown[FULL_PATH_SIZE];
    NameToCp1252(BaseName(path), false, shown, sizeof shown);
    MessageBoxWait(LangText("This archive is empty|Este archivo zip est\xE1 vac\xEDo"), shown);
    return 0;
  }
  char entryName[FILE_LIST_NAME_SIZE] = "";
  const int index = BrowseArchive(archive, path, DIALOG_WIDTH, DIALOG_HEIGHT, contentTop, entryName);
  ArchiveClose(archive);
  if (index < 0) return 0;
  // The record keeps 43 bytes of the name: enough to show, and the index
  // is what finds the entry again.
  MakeCurrent(path, entryName, index);
  return 1;
}

}  // namespace

void ParentFolderPath(char* path) {
  const size_t n = std::strlen(path);
  if (n < 3) return;
  if (path[n - 2] == '/') {
    path[n - 1] = 0;
    return;
  }
  // Position 0 is never looked at, so the path never becomes "/".
  for (size_t i = n - 3; i >= 1; --i) {
    if (path[i] == '/') {
      path[i + 1] = 0;
      return;
    }
  }
}

int ListFolder(const char* folder, std::unique_ptr<char[]>* names, int* stored) {
  *stored = 0;
  int count = 0;
  const int result = GpDirCountNames(folder, &count);
  if (result != FAT_OK) return result;
  const int counted = count;
  // The folder may grow between counting and listing: what was counted is
  // listed, and the rest waits for the next opening.
  count = std::min(std::max(count, 1), FOLDER_LIST_NAMES);
  names->reset(new (std::nothrow) char[size_t(count) * DIR_NAME_SIZE]);
  if (!*names) return FAT_IO_ERROR;
  const int listed = GpDirEnumList(folder, 0, count, names->get(), stored);
  if (counted > FOLDER_LIST_NAMES) GpTrace("Filedialog: only the first %d names listed\n", FOLDER_LIST_NAMES);
  return listed;
}

void BuildFolderList(FileList* list, const char* folder, const char* names, int count) {
  std::free(list->rows);
  // One row more than the names, for a parent row the listing lacks.
  list->rows = static_cast<FileListEntry*>(std::malloc(sizeof(FileListEntry) * size_t(count > 0 ? count + 1 : 1)));
  list->count = 0;
  if (!list->rows) return;
  int32_t parent = -1;
  char path[FULL_PATH_SIZE];
  char shown[FILE_LIST_NAME_SIZE + 2];
  for (int i = 0; i < count; ++i) {
    const char* slot = names + size_t(i) * DIR_NAME_SIZE;
    const size_t length = strnlen(slot, DIR_NAME_SIZE - 1);
    char name[DIR_NAME_SIZE];
    std::memcpy(name, slot, length);
    name[length] = 0;
    if (std::strcmp(name, ".") == 0) continue;
    FileAttr attr = {};
    if (!JoinPath(path, folder, name) || GpFileGetAttr(path, &attr) != FAT_OK) attr.attr = 0;
    FileListEntry* row = &list->rows[list->count];
    if (std::strcmp(name, "..") == 0) {
      SetFileListEntry(row, "<..>", ENTRY_PARENT, 0);
      if (parent < 0) parent = list->count;
    } else if (attr.attr == ATTR_OTHER) {
      // A FIFO or a device: opening it could wait for ever.
      SetFileListEntry(row, name, ENTRY_OTHER, 0);
    } else if (attr.attr & ATTR_FOLDER) {
      // A name too long for its brackets is cut; entering it then finds no
      // such folder and stays where it is.
      std::snprintf(shown, sizeof shown, "<%.*s>", FILE_LIST_NAME_SIZE - 3, name);
      SetFileListEntry(row, shown, ENTRY_FOLDER, 0);
    } else {
      int32_t type = ENTRY_OTHER;
      for (const char* extension : DOCUMENT_EXTENSIONS) {
        if (HasExtension(name, extension)) {
          type = ENTRY_DOCUMENT;
          break;
        }
      }
      SetFileListEntry(row, name, type, 0);
    }
    ++list->count;
  }
  // The sort keeps row 0 in place, for the parent row. The console's card
  // lists "." and ".." first, but other file systems return them anywhere,
  // or not at all for a folder that has gone (or one past the bound): the
  // parent row is moved to the top, or added there, so that a random name is
  // never pinned above the sorted rows and the folder can always be left.
  if (parent < 0) {
    SetFileListEntry(&list->rows[list->count], "<..>", ENTRY_PARENT, 0);
    parent = list->count++;
  }
  std::rotate(list->rows, list->rows + parent, list->rows + parent + 1);
  SortFileList(list);
}

void ShowLoadingBox(const char* name, int32_t size) {
  char body[FULL_PATH_SIZE + 64];
  const char* format = g_settings.language == 0 ? "File: %s\nSize: %d kb" : "Fichero: %s\nTama\xF1o: %d kb";
  // The name as shown, by its end when wider than the box.
  char shown[FULL_PATH_SIZE];
  char fitted[FULL_PATH_SIZE];
  ShownPath(TrimSdPath(name ? name : ""), shown, sizeof shown);
  FitPathByEnd(shown, MESSAGE_PATH_WIDTH, fitted, sizeof fitted);
  std::snprintf(body, sizeof body, format, fitted, int(size / 1024 + 1));
  MessageBox(LangText("Loading...|Cargando..."), body);
}

int CheckDocumentFile(const char* path) {
  int32_t size = 0;
  if (GpFileGetSize(path, &size) != FAT_OK) {
    MessageBoxWait(LangText("File not found|Fichero no encontrado"), TrimSdPath(path));
    return 0;
  }
  if (size == 0) {
    MessageBoxWait(LangText(EMPTY_FILE_MESSAGE), BaseName(path));
    return 0;
  }
  ShowLoadingBox(path, size);
  return 1;
}

int FileDialog() {
  if (!g_video) return 0;
  NotePlace(&g_currentEntry, g_text);
  std::unique_ptr<char[]> names;
  char* folder = g_settings.folderPath;
  const int contentTop = DrawDialogFrame(TrimSdPath(folder));
  int stored = 0;
  const int listed = ListFolder(folder, &names, &stored);
  if (listed != FAT_OK && listed != 19) return 0;
  GpTrace("Filedialog %s: %lu entries\n", TrimSdPath(folder), static_cast<unsigned long>(stored));

  FileList list;
  BuildFolderList(&list, folder, names.get(), stored);
  SetFolderListLook(&list, contentTop);
  list.firstVisible = g_fileDialogPosition.firstVisible;
  list.selected = g_fileDialogPosition.selected;

  char path[FULL_PATH_SIZE];
  for (;;) {
    const int chosen = FileListRun(&list);
    if (chosen < 0) break;
    const FileListEntry& row = list.rows[chosen];
    bool moved = false;
    char left[FILE_LIST_NAME_SIZE] = "";
    if (row.type == ENTRY_DOCUMENT) {
      if (!JoinPath(path, folder, row.name)) continue;
      // A zipped FictionBook opens as the book it holds, not as a folder.
      if (HasExtension(row.name, "ZIP") && !IsFb2ZipName(row.name)) {
        const int browsed = OpenArchiveFromList(path, contentTop);
        if (browsed > 0) break;
        // Back from the archive: the same list again under the full path.
        if (browsed == 0) DrawDialogFrame(folder);
        continue;
      }
      if (!CheckDocumentFile(path)) continue;
      if (!LoadDocumentFile(g_text, path)) break;
      MakeCurrent(path, "", -1);
      break;
    } else if (row.type == ENTRY_PARENT) {
      FolderRowName(folder, left);
      const size_t before = std::strlen(folder);
      ParentFolderPath(folder);
      moved = true;
      if (std::strlen(folder) == before) left[0] = 0;
    } else if (row.type == ENTRY_FOLDER) {
      moved = EnterFolder(folder, row.name);
    }
    if (!moved) continue;
    DrawDialogFrame(folder);
    stored = 0;
    ListFolder(folder, &names, &stored);
    BuildFolderList(&list, folder, names.get(), stored);
    // Up a folder: the one just left is selected, as file managers do.
    list.firstVisible = 0;
    list.selected = left[0] ? RowNamed(list, left) : 0;
  }
  g_fileDialogPosition.firstVisible = list.firstVisible;
  g_fileDialogPosition.selected = list.selected;
  std::free(list.rows);
  return 1;
}

int OpenRecordedDocument(const char* path, const char* entryName, int32_t entryIndex,
                         int32_t position) {
  RecentEntry entry;
  ClearRecentEntry(&entry);
  std::snprintf(entry.path, sizeof entry.path, "%s", path ? path : "");
  std::snprintf(entry.entryName, sizeof entry.entryName, "%s", entryName ? entryName : "");
  entry.entryIndex = entryIndex;
  entry.position = position;
  return OpenRecordedEntry(entry);
}

int OpenRecordedEntry(const RecentEntry& recorded) {
  // A copy first: the record may lie in the recent-files rows that the add
  // below rewrites.
  const RecentEntry entry = recorded;
  const char* path = entry.path;
  if (!path[0]) return 0;
  RecordCurrentDocument();
  int32_t entryIndex = entry.entryIndex;
  if (entryIndex == -1) {
    if (!CheckDocumentFile(path) || !LoadDocumentFile(g_text, path)) return 0;
  } else {
    ZipArchive* archive = OpenArchiveOrSay(path);
    if (!archive) return 0;
    // A re-packed archive may hold another entry under the recorded number.
    uint32_t found = 0;
    if (ArchiveFindRecordedEntry(archive, entryIndex, entry.entryName, &found) != ZIP_OK) {
      ArchiveClose(archive);
      MessageBoxWait(LangText("File not found|Fichero no encontrado"), entry.entryName);
      return 0;
    }
    const int opened = OpenArchiveEntry(archive, int32_t(found));
    ArchiveClose(archive);
    if (!opened) return 0;
    // The row under the old number would keep finding this entry by name.
    if (int32_t(found) != entryIndex && g_recentList) g_recentList->Remove(path, entryIndex);
    entryIndex = int32_t(found);
  }
  SetCurrentDocumentAt(path, entry.entryName, entryIndex, &entry, g_text);
  return 1;
}
