// The recent-files chooser over the list widget. The rows carry their number
// in the recent-files list, so the chosen one is found there again; they
// scroll as the file dialog's do, and two rows of the same name show each
// one's folder.
#include "ui/recent_menu.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "document/load.h"
#include "platform/cp1252.h"
#include "platform/recent.h"
#include "platform/settings.h"
#include "platform/video.h"
#include "ui/filedialog.h"
#include "ui/filelist.h"

namespace {

constexpr int MENU_X = 25;
constexpr int MENU_Y = 62;
constexpr int MENU_WIDTH = 270;
constexpr int MENU_HEIGHT = 115;
constexpr int LIST_BOTTOM = 172;
constexpr int LIST_WIDTH = MENU_WIDTH - 20;
// Glyphs may reach a pixel past their advance.
constexpr int TEXT_WIDTH = LIST_WIDTH - 2;
// Room the folder keeps beside a long name.
constexpr int FOLDER_MIN_WIDTH = 70;
// Room for a name, a folder and the brackets before the row cuts them.
constexpr int ROW_TEXT_SIZE = FILE_LIST_NAME_SIZE + ENTRY_PATH_SIZE + 16;

bool IsCurrent(const RecentList* list, const RecentEntry& row) {
  return list->current && row.entryIndex == list->current->entryIndex &&
         std::strcmp(row.path, list->current->path) == 0;
}

// The name a row shows (entry name, or the file's name), as the fonts show it.
void RowName(const RecentEntry& entry, char (&out)[FILE_LIST_NAME_SIZE]) {
  const char* name = entry.entryIndex == -1 ? BaseName(entry.path) : entry.entryName;
  NameToCp1252(name, false, out, sizeof out);
}

// The row's text fitted to the list: the name, and with folder set the folder
// (of the file, or the archive's path) by its end: "novel.txt (.../a/)".
void RowText(const RecentEntry& entry, bool folder, char (&out)[ROW_TEXT_SIZE]) {
  char name[FILE_LIST_NAME_SIZE];
  RowName(entry, name);
  if (!folder) {
    FitText(name, TEXT_WIDTH, out, sizeof out);
    return;
  }
  char where[ENTRY_PATH_SIZE + 8];
  ShownPath(TrimSdPath(entry.path), where, sizeof where);
  if (entry.entryIndex == -1) {
    // The folder, with its final "/".
    char* slash = std::strrchr(where, '/');
    if (slash) slash[1] = 0;
  }
  const int around = InterfaceTextWidth(" ()");
  char fittedName[FILE_LIST_NAME_SIZE];
  std::snprintf(fittedName, sizeof fittedName, "%s", name);
  if (InterfaceTextWidth(name) + around + FOLDER_MIN_WIDTH > TEXT_WIDTH) {
    FitText(name, TEXT_WIDTH - around - FOLDER_MIN_WIDTH, fittedName, sizeof fittedName);
  }
  char fittedWhere[ENTRY_PATH_SIZE + 8];
  FitPathByEnd(where, TEXT_WIDTH - around - InterfaceTextWidth(fittedName), fittedWhere, sizeof fittedWhere);
  std::snprintf(out, sizeof out, "%s (%s)", fittedName, fittedWhere);
}

}  // namespace

int ShowRecentMenu(RecentList* list, bool extraRow) {
  if (!g_video || !list) return -1;
  const int top = g_video->DrawWindow(MENU_X, MENU_Y, MENU_WIDTH, MENU_HEIGHT, g_interfaceColour,
                                      "Recent files list", 0, g_video->FrontBuffer());
  std::vector<FileListEntry> rows;
  rows.reserve(size_t(RECENT_CAPACITY) + 1);
  const int32_t count = list->count < RECENT_CAPACITY ? list->count : RECENT_CAPACITY;
  for (int32_t i = 0; i < count; ++i) {
    const RecentEntry& entry = list->rows[i];
    if (IsCurrent(list, entry)) continue;
    // Another listed row of the same name: the folder tells them apart.
    char name[FILE_LIST_NAME_SIZE];
    RowName(entry, name);
    bool twin = false;
    for (int32_t k = 0; k < count && !twin; ++k) {
      if (k == i || IsCurrent(list, list->rows[k])) continue;
      char other[FILE_LIST_NAME_SIZE];
      RowName(list->rows[k], other);
      twin = std::strcmp(name, other) == 0;
    }
    char text[ROW_TEXT_SIZE];
    RowText(entry, twin, text);
    FileListEntry row;
    SetFileListEntry(&row, text, ENTRY_DOCUMENT, i);
    rows.push_back(row);
  }
  if (extraRow) {
    FileListEntry row;
    SetFileListEntry(&row, "Open another file...", ENTRY_DOCUMENT, RECENT_MENU_OTHER_FILE);
    rows.push_back(row);
  }
  FileList chooser;
  chooser.rows = rows.data();
  chooser.count = int32_t(rows.size());
  chooser.rowsAsShown = true;
  chooser.x = MENU_X + 10;
  chooser.y = top + 5;
  chooser.width = LIST_WIDTH;
  chooser.height = LIST_BOTTOM - top;
  chooser.colours[LIST_BACKGROUND] = g_interfaceColour;
  chooser.colours[LIST_FOLDER_TEXT] = 0xC000;
  chooser.colours[LIST_SELECTION_BAR] = 0xFFC0;
  chooser.colours[LIST_FILE_TEXT] = 0xFFDF;
  chooser.colours[LIST_SELECTED_TEXT] = 0x0018;
  const int chosen = FileListRun(&chooser);
  if (chosen < 0) return -1;
  const int32_t number = rows[size_t(chosen)].index;
  rows.clear();
  if (number == RECENT_MENU_OTHER_FILE) return FileDialog();
  // A copy: reopening adds the document being left, which rewrites the rows.
  const RecentEntry entry = list->rows[number];
  OpenRecordedEntry(entry);
  return number;
}
