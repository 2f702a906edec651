// The list widget: drawing the visible rows with the selection bar and the
// key loop (line moves, paging, accept, cancel). Every dialog that lists
// files or documents runs it.
#include "ui/filelist.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <numeric>
#include <string>
#include <vector>

#include "document/load.h"
#include "platform/cp1252.h"
#include "platform/files.h"
#include "platform/font.h"
#include "platform/keys.h"
#include "platform/video.h"

namespace {

constexpr uint32_t KEY_PAUSE_MS = 150;
constexpr size_t SHOWN_NAME_MAX = 38;
constexpr int SHOWN_NAME_CUT = 37;
// Glyphs may reach a pixel past their advance: text is fitted this much
// inside its box.
constexpr int TEXT_MARGIN = 2;

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

int TypeRank(int32_t type) { return EntryKind(type) & 0x7FFF; }

// What a row is sorted by: its name as shown, then that name's key.
struct SortKeys {
  std::string shown;
  std::string key;
};

SortKeys MakeSortKeys(const FileListEntry& row) {
  char shown[FILE_LIST_NAME_SIZE];
  size_t length = ShownRowName(row, shown, sizeof shown);
  // A folder sorts by its own name: "<ab>" before "<ab-x>", "ab/" before "ab-x/".
  const char* name = shown;
  const int32_t kind = TypeRank(row.type);
  if ((kind == ENTRY_FOLDER || kind == ENTRY_PARENT) && length > 0) {
    if (shown[0] == '<' && length >= 2 && shown[length - 1] == '>') {
      ++name;
      length -= 2;
    } else if (shown[length - 1] == '/') {
      --length;
    }
  }
  char bare[FILE_LIST_NAME_SIZE];
  std::memcpy(bare, name, length);
  bare[length] = 0;
  // Folding at most doubles a byte.
  char key[2 * FILE_LIST_NAME_SIZE];
  const size_t keyLength = Cp1252SortKey(bare, key, sizeof key);
  return {std::string(bare, length), std::string(key, keyLength)};
}

// The length of the longest start of text no wider than width.
size_t FittingStart(const char* text, size_t length, int width) {
  int used = 0;
  for (size_t i = 0; i < length; ++i) {
    char one[2] = {text[i], 0};
    used += InterfaceTextWidth(one);
    if (used > width) return i;
  }
  return length;
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

size_t ShownRowName(const FileListEntry& row, char* out, size_t outSize) {
  return NameToCp1252(row.name, (row.type & ENTRY_UTF8_NAME) != 0, out, outSize);
}

void SortFileList(FileList* list) {
  if (!list || !list->rows || list->count < 3) return;
  // A stable sort over row numbers with each row's keys made once: a folder
  // of thousands of names takes some n log n comparisons of short keys, and
  // each 264-byte row moves once.
  const int32_t n = list->count - 1;
  FileListEntry* rows = list->rows + 1;
  try {
    std::vector<SortKeys> keys;
    keys.reserve(size_t(n));
    for (int32_t i = 0; i < n; ++i) keys.push_back(MakeSortKeys(rows[i]));
    std::vector<int32_t> order(static_cast<size_t>(n));
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [rows, &keys](int32_t a, int32_t b) {
      const int ta = TypeRank(rows[a].type);
      const int tb = TypeRank(rows[b].type);
      if (ta != tb) return ta > tb;
      const int byKey = keys[size_t(a)].key.compare(keys[size_t(b)].key);
      if (byKey != 0) return byKey < 0;
      return keys[size_t(a)].shown < keys[size_t(b)].shown;
    });
    std::vector<FileListEntry> sorted(static_cast<size_t>(n));
    for (int32_t i = 0; i < n; ++i) sorted[size_t(i)] = rows[order[size_t(i)]];
    std::memcpy(rows, sorted.data(), sizeof(FileListEntry) * size_t(n));
  } catch (const std::bad_alloc&) {
    // Unsorted rows are still every row.
  }
}

size_t ShownPath(const char* path, char* out, size_t outSize) {
  if (!out || outSize == 0) return 0;
  out[0] = 0;
  size_t w = 0;
  const char* p = path ? path : "";
  while (*p && w + 1 < outSize) {
    const char* slash = std::strchr(p, '/');
    const size_t length = slash ? size_t(slash - p) : std::strlen(p);
    char part[FILE_LIST_NAME_SIZE];
    if (length < sizeof part) {
      std::memcpy(part, p, length);
      part[length] = 0;
      w += NameToCp1252(part, false, out + w, outSize - w);
    } else {
      // No file system has such a part; shown as it is.
      const size_t n = std::min(length, outSize - 1 - w);
      std::memcpy(out + w, p, n);
      w += n;
      out[w] = 0;
    }
    if (!slash) break;
    if (w + 1 < outSize) out[w++] = '/';
    out[w] = 0;
    p = slash + 1;
  }
  return w;
}

int InterfaceTextWidth(const char* text) {
  const BitmapFont* font = g_video ? g_video->font : nullptr;
  if (!font || !font->advance || !text) return 0;
  // The advances DrawChar gives the regular face.
  int x = 0;
  for (const uint8_t* s = reinterpret_cast<const uint8_t*>(text); *s; ++s) {
    if (*s == ' ') {
      x += font->spaceWidth[FACE_REGULAR];
    } else if (*s == '\t') {
      x += 32 - (x & 31);
    } else if (*s >= FONT_FIRST_CHAR) {
      x += font->advance[GlyphIndex(FACE_REGULAR, *s)];
    }
  }
  return x;
}

void FitText(const char* text, int width, char* out, size_t outSize) {
  if (!out || outSize == 0) return;
  const char* from = text ? text : "";
  const size_t length = std::strlen(from);
  if (InterfaceTextWidth(from) <= width) {
    std::snprintf(out, outSize, "%s", from);
    return;
  }
  const size_t keep = FittingStart(from, length, width - InterfaceTextWidth(".."));
  std::snprintf(out, outSize, "%.*s..", int(keep), from);
}

void FitPathByEnd(const char* path, int width, char* out, size_t outSize) {
  if (!out || outSize == 0) return;
  const char* from = path ? path : "";
  const size_t length = std::strlen(from);
  if (InterfaceTextWidth(from) <= width) {
    std::snprintf(out, outSize, "%s", from);
    return;
  }
  // The most folders at the end that fit after ".../"; the last "/" of a
  // folder's path ends its last part, it starts none.
  const int room = width - InterfaceTextWidth(".../");
  for (size_t i = 0; i + 1 < length; ++i) {
    if (from[i] != '/') continue;
    if (InterfaceTextWidth(from + i + 1) <= room) {
      std::snprintf(out, outSize, ".../%s", from + i + 1);
      return;
    }
  }
  // Even the last part is too wide: as much of its end as fits after "...".
  const int tailRoom = width - InterfaceTextWidth("...");
  size_t start = length;
  int used = 0;
  while (start > 0) {
    char one[2] = {from[start - 1], 0};
    const int w = InterfaceTextWidth(one);
    if (used + w > tailRoom) break;
    used += w;
    --start;
  }
  std::snprintf(out, outSize, "...%s", from + start);
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
  char converted[FILE_LIST_NAME_SIZE];
  char cut[FILE_LIST_NAME_SIZE + 4];
  char shown[FILE_LIST_NAME_SIZE + 4];
  for (int32_t i = list->firstVisible; i >= 0 && i < list->count && drawn < visible; ++i, ++drawn) {
    const FileListEntry& row = list->rows[i];
    const int top = list->y + drawn * FILE_LIST_ROW_HEIGHT;
    const bool selected = i == list->selected;
    uint16_t text;
    if (selected) {
      text = list->colours[LIST_SELECTED_TEXT];
    } else if (row.type & ENTRY_DISABLED) {
      text = FILE_LIST_DISABLED_COLOUR;
    } else if (EntryKind(row.type) == ENTRY_FOLDER || EntryKind(row.type) == ENTRY_PARENT) {
      text = list->colours[LIST_FOLDER_TEXT];
    } else {
      text = list->colours[LIST_FILE_TEXT];
    }
    FillBand(front, list->x, top, list->width,
             list->colours[selected ? LIST_SELECTION_BAR : LIST_BACKGROUND]);
    const char* name = row.name;
    if (!list->rowsAsShown) {
      ShownRowName(row, converted, sizeof converted);
      name = converted;
    }
    const size_t length = strnlen(name, FILE_LIST_NAME_SIZE);
    if (length <= SHOWN_NAME_MAX || list->rowsAsShown) {
      std::snprintf(cut, sizeof cut, "%.*s", int(length), name);
    } else {
      std::snprintf(cut, sizeof cut, "%.*s..", SHOWN_NAME_CUT, name);
    }
    // Wide letters can make even 38 characters wider than the list.
    FitText(cut, list->width - TEXT_MARGIN, shown, sizeof shown);
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
