// The scrolling list widget with 12-pixel rows used by the file dialog, the
// archive browser and the recent-files chooser, with the row record, the row
// order of the dialogs, the extension test, and the fitting of names and
// paths to the width of their box.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int FILE_LIST_NAME_SIZE = 256;
constexpr int FILE_LIST_ROW_HEIGHT = 12;

enum : int32_t {
  ENTRY_OTHER_TYPE = 999,
  ENTRY_DOCUMENT = 1000,
  ENTRY_FOLDER = 1001,
  ENTRY_PARENT = 1002,
  ENTRY_DISABLED = 0x8000,  // only greys the row; sorting ignores it
  ENTRY_OTHER = ENTRY_OTHER_TYPE | ENTRY_DISABLED,
  // The name's bytes are UTF-8 whatever they hold (a ZIP entry flagged so):
  // shown converted even where they are no valid UTF-8. Never part of the
  // kind of row (EntryKind).
  ENTRY_UTF8_NAME = 0x4000,
};

// The row's type without ENTRY_UTF8_NAME: one of the ENTRY_ values above.
constexpr int32_t EntryKind(int32_t type) { return type & ~int32_t(ENTRY_UTF8_NAME); }

// Greyed rows, whatever the list's colours.
constexpr uint16_t FILE_LIST_DISABLED_COLOUR = 0xA514;

// One row of a list (264 bytes).
struct FileListEntry {
  // Always zero-terminated. The bytes of the file system or the archive, so
  // that what is opened and recorded is the name itself; drawn and sorted as
  // shown (ShownRowName).
  char name[FILE_LIST_NAME_SIZE];
  int32_t type;
  int32_t index;  // archive entry index; 0 in folder lists
};

enum : int {
  LIST_BACKGROUND = 0,
  LIST_FOLDER_TEXT = 1,
  LIST_SELECTION_BAR = 2,
  LIST_FILE_TEXT = 3,
  LIST_SELECTED_TEXT = 4,
};

// The widget's state. The creator owns rows.
struct FileList {
  FileListEntry* rows = nullptr;
  int32_t count = 0;
  int32_t firstVisible = 0;
  int32_t selected = 0;
  int32_t x = 0;
  int32_t y = 0;
  int32_t width = 0;
  int32_t height = 0;  // shows height / 12 rows
  uint16_t colours[5] = {};  // background, folder text, selection bar, file text, selected text
  // The rows' names are code page 1252 text already fitted to the width (the
  // recent-files chooser): drawn as they are.
  bool rowsAsShown = false;
};

// Draws the list and runs it with GetKey until ACCEPT (returns the selected
// row) or CANCEL (returns -1). The caller sets rows, rectangle, colours and the
// first visible and selected rows; rows outside the list are brought inside it
// first. ACCEPT on an empty list does nothing.
int FileListRun(FileList* list);
// Draws the visible rows into the front buffer; nothing for a list under 13
// pixels high. A name of more than 38 characters shows 37 and "..", and one
// still wider than the list is cut to it the same way: no text leaves the list.
void FileListDraw(const FileList* list);
// Brings the selected row inside the rows and the first visible row to a place
// where the selected row is on show.
void FileListClamp(FileList* list);

// Sorts rows 1 to count - 1 (row 0 keeps its place): type without the flags
// descending (parent, folders, documents, other files), then names as shown,
// compared without case and with accented letters next to their base letter
// (Cp1252SortKey; a folder's brackets or final "/" left out), then as shown
// byte by byte; rows that compare equal keep their order. Temporary keys are
// allocated; without memory the rows stay as they are.
void SortFileList(FileList* list);

// The row's name as the fonts show it (NameToCp1252: UTF-8 names converted),
// into out; returns its length.
size_t ShownRowName(const FileListEntry& row, char* out, size_t outSize);

// A path as the fonts show it: each of its parts converted as NameToCp1252
// does, so that one UTF-8 folder converts even under a Latin-1 one. Into out;
// returns its length.
size_t ShownPath(const char* path, char* out, size_t outSize);

// Width a path in a message box's body is fitted to: the body is 190 pixels
// wide, and glyphs may reach a pixel or two past their advance.
constexpr int MESSAGE_PATH_WIDTH = 186;

// Width in pixels of code page 1252 text in the standard interface font (0
// before the video platform has one).
int InterfaceTextWidth(const char* text);
// text into out (outSize bytes), cut and ended by ".." when it is wider than
// width pixels in the interface font.
void FitText(const char* text, int width, char* out, size_t outSize);
// A path into out fitted to width pixels by its end: whole when it fits, else
// ".../" and as many of its last folders as fit (".../ebooks/novels/"), or
// the end of its last part when even that is too wide.
void FitPathByEnd(const char* path, int width, char* out, size_t outSize);

// True when the characters after the name's last "." (not a dot at its start)
// equal extension, ignoring case.
bool HasExtension(const char* name, const char* extension);

// Fills a row, cutting the name to fit.
void SetFileListEntry(FileListEntry* row, const char* name, int32_t type, int32_t index);
