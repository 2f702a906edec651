// The list widget: drawing the visible rows with the selection bar and the
// key loop (line moves, paging, accept, cancel). Every dialog that lists
// files or documents runs it.
#include "ui/filelist.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <numeric>
#include <vector>

#include "document/load.h"
#include "platform/files.h"
#include "platform/font.h"
#include "platform/keys.h"
#include "platform/video.h"

namespace {

constexpr uint32_t KEY_PAUSE_MS = 150;
constexpr size_t SHOWN_NAME_MAX = 38;
constexpr int SHOWN_NAME_CUT = 37;

int VisibleRows(const FileList* list) { return list->height / FILE_LIST_ROW_HEIGHT; }

// A band of rows y .. y + 11 across the list, clipped to the screen.
void FillBand(uint16_t* buffer, int x, int y, int width, uint16_t colour) {
  const int x0 = std::max(x, 0);
  const int x1 = std::min(x + width, SCREEN_WIDTH);
  const int y0 = std::max(y, 0);
  const int y1 = std::min(y + FILE_LIST_ROW_HEIGHT, SCREEN_HEIGHT);
  if (x0 >= x1 || y0 >= y1) return;
  for (int cx = x0; cx < x1; ++cx) {
    // Rows run bottom first inside a column: y1 - 1 is the lowest word.
    uint16_t* p = buffer + PixelIndex(cx, y1 - 1);
    for (int i = 0; i < y1 - y0; ++i) p[i] = colour;
  }
}

void ShowBelowSelection(FileList* list) {
  while ((list->selected - list->firstVisible) * FILE_LIST_ROW_HEIGHT + FILE_LIST_ROW_HEIGHT > list->height &&
         list->firstVisible < list->selected) {
    ++list->firstVisible;
  }
}

int TypeRank(int32_t type) { return type & 0x7FFF; }

bool RowBefore(const FileListEntry& a, const FileListEntry& b) {
  const int ta = TypeRank(a.type);
  const int tb = TypeRank(b.type);
  if (ta != tb) return ta > tb;
  return std::strcmp(a.name, b.name) < 0;
}

}  // namespace

void SetFileListEntry(FileListEntry* row, const char* name, int32_t type, int32_t index) {
  const size_t n = name ? strnlen(name, FILE_LIST_NAME_SIZE - 1) : 0;
  if (n) std::memcpy(row->name, name, n);
  row->name[n] = 0;
  row->type = type;
  row->index = index;
}

bool HasExtension(const char* name, const char* extension) { return NameHasExtension(name, extension); }

void SortFileList(FileList* list) {
  if (!list || !list->rows || list->count < 3) return;
  // The order a gnome sort over rows 1.. gives (it swaps only rows strictly out
  // of order, so equal rows keep their order), reached by a stable merge sort
  // over row numbers: a 384-row archive list then takes thousands of
  // comparisons instead of tens of thousands, and each row moves once.
  const int32_t n = list->count - 1;
  FileListEntry* rows = list->rows + 1;
  std::vector<int32_t> order(static_cast<size_t>(n));
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(),
                   [rows](int32_t a, int32_t b) { return RowBefore(rows[a], rows[b]); });
  std::vector<FileListEntry> sorted(static_cast<size_t>(n));
  for (int32_t i = 0; i < n; ++i) sorted[size_t(i)] = rows[order[size_t(i)]];
  std::memcpy(rows, sorted.data(), sizeof(FileListEntry) * size_t(n));
}

void FileListClamp(FileList* list) {
  if (list->selected >= list->count) list->selected = list->count - 1;
  if (list->selected < 0) list->selected = 0;
  if (list->firstVisible > list->selected) list->firstVisible = list->selected;
  // A remembered position from a longer list: fill the rows from the end.
  const int32_t lastPage = std::max(0, list->count - VisibleRows(list));
  if (list->firstVisible > lastPage) list->firstVisible = lastPage;
  if (list->firstVisible < 0) list->firstVisible = 0;
  ShowBelowSelection(list);
}

void FileListDraw(const FileList* list) {
  if (!g_video || !list || list->height < 13) return;
  uint16_t* front = g_video->FrontBuffer();
  const int visible = VisibleRows(list);
  int drawn = 0;
  char shown[SHOWN_NAME_MAX + 8];
  for (int32_t i = list->firstVisible; i >= 0 && i < list->count && drawn < visible; ++i, ++drawn) {
    const FileListEntry& row = list->rows[i];
    const int top = list->y + drawn * FILE_LIST_ROW_HEIGHT;
    const bool selected = i == list->selected;
    uint16_t text;
    if (selected) {
      text = list->colours[LIST_SELECTED_TEXT];
    } else if (row.type & ENTRY_DISABLED) {
      text = FILE_LIST_DISABLED_COLOUR;
    } else if (row.type == ENTRY_FOLDER || row.type == ENTRY_PARENT) {
      text = list->colours[LIST_FOLDER_TEXT];
    } else {
      text = list->colours[LIST_FILE_TEXT];
    }
    FillBand(front, list->x, top, list->width,
             list->colours[selected ? LIST_SELECTION_BAR : LIST_BACKGROUND]);
    const size_t length = strnlen(row.name, FILE_LIST_NAME_SIZE);
    if (length <= SHOWN_NAME_MAX) {
      std::snprintf(shown, sizeof shown, "%.*s", int(length), row.name);
    } else {
      std::snprintf(shown, sizeof shown, "%.*s..", SHOWN_NAME_CUT, row.name);
    }
    g_video->DrawString(list->x, top + 1, shown, 0, nullptr, AttrColour(text) | FACE_REGULAR, front);
  }
  for (; drawn < visible; ++drawn) {
    FillBand(front, list->x, list->y + drawn * FILE_LIST_ROW_HEIGHT, list->width,
             list->colours[LIST_BACKGROUND]);
  }
}

int FileListRun(FileList* list) {
  if (!g_video || !list) return -1;
  FileListClamp(list);
  const int page = VisibleRows(list);
  FileListDraw(list);
  Delay(KEY_PAUSE_MS);
  for (;;) {
    g_video->Flip();
    g_video->CopyBuffer(1);
    switch (GetKey()) {
      case KEY_DOWN:
        if (list->selected < list->count - 1) ++list->selected;
        ShowBelowSelection(list);
        FileListDraw(list);
        Delay(KEY_PAUSE_MS);
        break;
      case KEY_UP:
        if (list->selected > 0) --list->selected;
        if (list->selected < list->firstVisible) list->firstVisible = list->selected;
        FileListDraw(list);
        Delay(KEY_PAUSE_MS);
        break;
      case KEY_RIGHT:
        list->selected = std::max(0, std::min(list->selected + page, list->count - 1));
        ShowBelowSelection(list);
        FileListDraw(list);
        Delay(KEY_PAUSE_MS);
        break;
      case KEY_LEFT:
        list->selected -= page;
        if (list->selected < 0) {
          list->selected = 0;
          list->firstVisible = 0;
        } else if (list->selected < list->firstVisible) {
          list->firstVisible = list->selected;
        }
        FileListDraw(list);
        Delay(KEY_PAUSE_MS);
        break;
      case KEY_ACCEPT:
        // An empty list has no row to hand back.
        if (list->count <= 0) break;
        Delay(KEY_PAUSE_MS);
        return list->selected;
      case KEY_CANCEL:
        Delay(KEY_PAUSE_MS);
        return -1;
      default:
        break;
    }
  }
}
