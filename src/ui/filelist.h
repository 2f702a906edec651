// The scrolling list widget with 12-pixel rows used by the file dialog, the
// archive browser and the recent-files chooser, with the row record, the row
// order of the dialogs and the extension test.
#pragma once

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
};

// Greyed rows, whatever the list's colours.
constexpr uint16_t FILE_LIST_DISABLED_COLOUR = 0xA514;

// One row of a list (264 bytes).
struct FileListEntry {
  char name[FILE_LIST_NAME_SIZE];  // always zero-terminated
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
};

// Draws the list and runs it with GetKey until ACCEPT (returns the selected
// row) or CANCEL (returns -1). The caller sets rows, rectangle, colours and the
// first visible and selected rows; rows outside the list are brought inside it
// first. ACCEPT on an empty list does nothing.
int FileListRun(FileList* list);
// Draws the visible rows into the front buffer; nothing for a list under 13
// pixels high.
void FileListDraw(const FileList* list);
// Brings the selected row inside the rows and the first visible row to a place
// where the selected row is on show.
void FileListClamp(FileList* list);

// Sorts rows 1 to count - 1 (row 0 keeps its place): type without the disabled
// flag descending, then name ascending in byte order; rows that compare equal
// keep their order.
void SortFileList(FileList* list);

// True when the characters after the name's last "." (not a dot at its start)
// equal extension, ignoring case.
bool HasExtension(const char* name, const char* extension);

// Fills a row, cutting the name to fit.
void SetFileListEntry(FileListEntry* row, const char* name, int32_t type, int32_t index);
