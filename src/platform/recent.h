// The recent-files list: up to sixteen documents with the place where each was
// left, most recent first, kept in quillo.mrf (a little-endian count, then
// 336-byte RecentEntry records). It sits beside the settings so that the file
// dialog, the recent-files chooser and the start-up code can all add to it.
#pragma once

#include <cstdint>

#include "platform/settings.h"

constexpr int RECENT_CAPACITY = 16;
constexpr int RECENT_FILE_MAX_SIZE = 4 + RECENT_CAPACITY * RECENT_ENTRY_SIZE;

extern const char* const RECENT_FILE_NAME;  // "quillo.mrf"

// The place of a record kept in its reserved bytes, so that a document
// reopened at another zoom level (whose pixels differ) shows the same line.
// Reserved bytes 0-3 hold the mark ENTRY_PLACE_MARK, 4-7 the offset, 8-9 the
// pixels below, 10 the zoom level (little-endian); the rest stays zero. A
// record without the mark (older files) has only its pixel position.
struct EntryPlace {
  int32_t offset;      // byte offset in the formatted text of the line at the top of the screen
  uint16_t below;      // pixels the position lies below that line's top minus 5
  uint8_t zoomLevel;   // zoom level of the layout the position was taken in
};
extern const uint8_t ENTRY_PLACE_MARK[4];  // "Qpl" and 1

// True, with place filled, when the entry's reserved bytes hold the mark and
// a non-negative offset.
bool GetEntryPlace(const RecentEntry& entry, EntryPlace* place);
// Writes the mark and the place into the entry's reserved bytes.
void SetEntryPlace(RecentEntry* entry, const EntryPlace& place);
// Zeroes the place bytes: the entry then has its pixel position alone.
void ClearEntryPlace(RecentEntry* entry);

struct RecentList {
  const char* fileName;
  int32_t count;     // rows in use, 0 to capacity
  int32_t capacity;  // always RECENT_CAPACITY
  RecentEntry rows[RECENT_CAPACITY];
  const RecentEntry* current;  // the document on screen, left out of the chooser

  // An empty list stored in fileName (not read yet), linked to current.
  RecentList(const char* fileName, const RecentEntry* current);

  // Reads the file: at most the first 16 whole records, whatever count the
  // file claims (a negative count reads none); a short record ends the list.
  // True when at least one row was read. A missing file leaves the list empty.
  bool Load();
  // Rewrites the whole file safely (temporary file, then rename): the count
  // written, or 0 when it could not be written (the old file is then kept).
  int Save();
  // Puts the document at the front with its position, drops its older row
  // (same path and same entry index) and the 17th row, and saves. 0 without
  // doing anything when the path is null, empty or begins with a space (no
  // document), or does not fit its field (a cut path would name another
  // file; traced); else 1, also when the file could not be written. A longer
  // entry name is cut to its field.
  int Add(const char* path, const char* entryName, int32_t entryIndex, int32_t position);
  // Adds the entry's document as Add does, with the entry's place (if any).
  int AddEntry(const RecentEntry& entry);
  // The row recording this document (same path and entry index; for an
  // archive entry also the same name, as far as the field keeps it), or null.
  // The pointer is valid until the list next changes.
  const RecentEntry* Find(const char* path, const char* entryName, int32_t entryIndex) const;
  // Drops the row of path and entryIndex and saves; 1 when there was one.
  int Remove(const char* path, int32_t entryIndex);
  // The work of Add and AddEntry: numbers gives the index, position and
  // reserved bytes of the new row.
  int Insert(const char* path, const char* entryName, const RecentEntry& numbers);
};

// The program's list, created by Init and released by Shutdown; null before.
extern RecentList* g_recentList;

// The file image of the list (count, then its rows): bytes written into out.
int EncodeRecentList(const RecentList& list, uint8_t out[RECENT_FILE_MAX_SIZE]);
