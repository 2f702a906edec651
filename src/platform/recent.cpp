// quillo.mrf and the rules by which documents enter the recent-files list.
// Records are converted field by field (EncodeRecentEntry), never copied as
// structs, so the file is the same on the console and on a PC.
#include "platform/recent.h"

#include <cstring>

#include "platform/bytes.h"
#include "platform/files.h"

const char* const RECENT_FILE_NAME = "quillo.mrf";

RecentList* g_recentList = nullptr;

namespace {

void CopyBounded(char* dst, size_t dstSize, const char* src) {
  size_t n = src ? strnlen(src, dstSize - 1) : 0;
  if (n) std::memcpy(dst, src, n);
  dst[n] = 0;
}

}  // namespace

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
  if (!path || path[0] == 0 || path[0] == ' ') return 0;
  // Built apart, since the strings may point into the rows being replaced.
  RecentEntry fresh[RECENT_CAPACITY];
  std::memset(&fresh[0], 0, sizeof fresh[0]);
  CopyBounded(fresh[0].path, ENTRY_PATH_SIZE, path);
  CopyBounded(fresh[0].entryName, ENTRY_NAME_SIZE, entryName);
  fresh[0].entryIndex = entryIndex;
  fresh[0].position = position;
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

int RecentList::AddEntry(const RecentEntry& entry) {
  return Add(entry.path, entry.entryName, entry.entryIndex, entry.position);
}
