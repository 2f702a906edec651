// quillo.mrf and the rules by which documents enter the recent-files list.
// Records are converted field by field (EncodeRecentEntry), never copied as
// structs, so the file is the same on the console and on a PC.
#include "platform/recent.h"

#include <cstring>

#include "platform/bytes.h"
#include "platform/files.h"
#include "platform/trace.h"

const char* const RECENT_FILE_NAME = "quillo.mrf";
const uint8_t ENTRY_PLACE_MARK[4] = {'Q', 'p', 'l', 1};

RecentList* g_recentList = nullptr;

namespace {

void CopyBounded(char* dst, size_t dstSize, const char* src) {
  size_t n = src ? strnlen(src, dstSize - 1) : 0;
  if (n) std::memcpy(dst, src, n);
  dst[n] = 0;
}

// Where the place lies in the 28 reserved bytes.
constexpr int PLACE_OFFSET = 4, PLACE_BELOW = 8, PLACE_ZOOM = 10, PLACE_END = 11;
static_assert(PLACE_END <= int(sizeof(RecentEntry::reserved)));

bool NamesNoDocument(const char* path) { return !path || path[0] == 0 || path[0] == ' '; }

}  // namespace

bool GetEntryPlace(const RecentEntry& entry, EntryPlace* place) {
  if (std::memcmp(entry.reserved, ENTRY_PLACE_MARK, sizeof ENTRY_PLACE_MARK) != 0) return false;
  const int32_t offset = int32_t(GetLe32(entry.reserved + PLACE_OFFSET));
  if (offset < 0) return false;
  if (place) {
    place->offset = offset;
    place->below = GetLe16(entry.reserved + PLACE_BELOW);
    place->zoomLevel = entry.reserved[PLACE_ZOOM];
  }
  return true;
}

void SetEntryPlace(RecentEntry* entry, const EntryPlace& place) {
  std::memcpy(entry->reserved, ENTRY_PLACE_MARK, sizeof ENTRY_PLACE_MARK);
  PutLe32(entry->reserved + PLACE_OFFSET, uint32_t(place.offset));
  PutLe16(entry->reserved + PLACE_BELOW, place.below);
  entry->reserved[PLACE_ZOOM] = place.zoomLevel;
}

void ClearEntryPlace(RecentEntry* entry) { std::memset(entry->reserved, 0, PLACE_END); }

RecentList::RecentList(const char* name, const RecentEntry* currentEntry)
    : fileName(name), count(0), capacity(RECENT_CAPACITY), rows{}, current(currentEntry) {}

bool RecentList::Load() {
  int handle = 0;
  if (GpFileOpen(fileName, 1, &handle) != FAT_OK) return false;
  count = 0;
  uint8_t record[RECENT_ENTRY_SIZE];
  uint32_t got = 0;
  if (GpFileRead(handle, record, 4, &got) != FAT_OK || got != 4) {
    GpFileClose(handle);
    return false;
  }
  const int32_t stored = int32_t(GetLe32(record));
  // The program never writes more than 16 rows; a larger (or negative) count
  // cannot be trusted to size anything, so only whole records up to 16 count.
  const int32_t wanted = stored < 0 ? 0 : stored > capacity ? capacity : stored;
  while (count < wanted) {
    got = 0;
    if (GpFileRead(handle, record, RECENT_ENTRY_SIZE, &got) != FAT_OK || got != RECENT_ENTRY_SIZE) break;
    DecodeRecentEntry(record, &rows[count]);
    ++count;
  }
  GpFileClose(handle);
  return count > 0;
}

int EncodeRecentList(const RecentList& list, uint8_t out[RECENT_FILE_MAX_SIZE]) {
  const int32_t n = list.count < 0 ? 0 : list.count > RECENT_CAPACITY ? RECENT_CAPACITY : list.count;
  PutLe32(out, uint32_t(n));
  for (int32_t i = 0; i < n; ++i) EncodeRecentEntry(list.rows[i], out + 4 + i * RECENT_ENTRY_SIZE);
  return 4 + n * RECENT_ENTRY_SIZE;
}

int RecentList::Save() {
  uint8_t image[RECENT_FILE_MAX_SIZE];
  const int size = EncodeRecentList(*this, image);
  // A write cut short by a pulled or full card must not cost every stored place.
  if (!GpFatStarted() || !GpWriteFileAtomic(fileName, image, uint32_t(size))) return 0;
  return count;
}

int RecentList::Add(const char* path, const char* entryName, int32_t entryIndex, int32_t position) {
  RecentEntry entry;
  ClearRecentEntry(&entry);
  entry.entryIndex = entryIndex;
  entry.position = position;
  return Insert(path, entryName, entry);
}

int RecentList::AddEntry(const RecentEntry& entry) {
  RecentEntry placed;
  ClearRecentEntry(&placed);
  placed.entryIndex = entry.entryIndex;
  placed.position = entry.position;
  EntryPlace place;
  if (GetEntryPlace(entry, &place)) SetEntryPlace(&placed, place);
  return Insert(entry.path, entry.entryName, placed);
}

int RecentList::Insert(const char* path, const char* entryName, const RecentEntry& numbers) {
  if (NamesNoDocument(path)) return 0;
  // Cut to its field, the path would name another file or none when reopened.
  if (strnlen(path, ENTRY_PATH_SIZE) >= size_t(ENTRY_PATH_SIZE)) {
    GpTrace("Recent files: path too long to record: %s\n", path);
    return 0;
  }
  // Built apart, since the strings may point into the rows being replaced.
  RecentEntry fresh[RECENT_CAPACITY];
  fresh[0] = numbers;
  CopyBounded(fresh[0].path, ENTRY_PATH_SIZE, path);
  CopyBounded(fresh[0].entryName, ENTRY_NAME_SIZE, entryName);
  const int32_t entryIndex = fresh[0].entryIndex;
  int32_t n = 1;
  for (int32_t i = 0; i < count && n < capacity; ++i) {
    if (rows[i].entryIndex == entryIndex && std::strcmp(rows[i].path, fresh[0].path) == 0) continue;
    fresh[n++] = rows[i];
  }
  for (int32_t i = 0; i < n; ++i) rows[i] = fresh[i];
  count = n;
  Save();
  return 1;
}

const RecentEntry* RecentList::Find(const char* path, const char* entryName, int32_t entryIndex) const {
  if (NamesNoDocument(path)) return nullptr;
  for (int32_t i = 0; i < count && i < capacity; ++i) {
    const RecentEntry& row = rows[i];
    if (row.entryIndex != entryIndex || std::strcmp(row.path, path) != 0) continue;
    // Another entry under the same number (a re-packed archive) is another document.
    if (entryIndex != -1 && std::strncmp(row.entryName, entryName ? entryName : "", ENTRY_NAME_SIZE - 1) != 0) {
      continue;
    }
    return &row;
  }
  return nullptr;
}

int RecentList::Remove(const char* path, int32_t entryIndex) {
  if (!path) return 0;
  for (int32_t i = 0; i < count && i < capacity; ++i) {
    if (rows[i].entryIndex != entryIndex || std::strcmp(rows[i].path, path) != 0) continue;
    for (int32_t j = i + 1; j < count; ++j) rows[j - 1] = rows[j];
    --count;
    Save();
    return 1;
  }
  return 0;
}
