// The recent-files chooser over the list widget. The rows carry their number
// in the recent-files list, so the chosen one is found there again.
#include "ui/recent_menu.h"

#include <cstring>
#include <vector>

#include "document/load.h"
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

bool IsCurrent(const RecentList* list, const RecentEntry& row) {
  return list->current && row.entryIndex == list->current->entryIndex &&
         std::strcmp(row.path, list->current->path) == 0;
}

}  // namespace

int ShowRecentMenu(RecentList* list, bool extraRow) {
  if (!g_video || !list) return -1;
  const int top = g_video->DrawWindow(MENU_X, MENU_Y, MENU_WIDTH, MENU_HEIGHT, g_interfaceColour,
                                      "Recent files list", 0, g_video->FrontBuffer());
  std::vector<FileListEntry> rows;
  rows.reserve(size_t(RECENT_CAPACITY) + 1);
  for (int32_t i = 0; i < list->count && i < RECENT_CAPACITY; ++i) {
    const RecentEntry& entry = list->rows[i];
    if (IsCurrent(list, entry)) continue;
    const char* shown = entry.entryName;
    if (entry.entryIndex == -1) shown = BaseName(entry.path);
    FileListEntry row;
    SetFileListEntry(&row, shown, ENTRY_DOCUMENT, i);
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
  chooser.x = MENU_X + 10;
  chooser.y = top + 5;
  chooser.width = MENU_WIDTH - 20;
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
  OpenRecordedDocument(entry.path, entry.entryName, entry.entryIndex, entry.position);
  return number;
}
