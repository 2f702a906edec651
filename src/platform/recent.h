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
  // document); else 1, also when the file could not be written.
  int Add(const char* path, const char* entryName, int32_t entryIndex, int32_t position);
  // Adds the entry's document as Add does.
  int AddEntry(const RecentEntry& entry);
};

// The program's list, created by Init and released by Shutdown; null before.
extern RecentList* g_recentList;

// The file image of the list (count, then its rows): bytes written into out.
int EncodeRecentList(const RecentList& list, uint8_t out[RECENT_FILE_MAX_SIZE]);
