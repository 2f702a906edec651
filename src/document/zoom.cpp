// Font choice by zoom level for the document text, and the reading place kept
// as a byte offset across zoom levels and re-layouts. Called at start-up, by
// the menu's zoom commands, the file dialog, the recent files and the exit.
#include "document/zoom.h"

#include <algorithm>
#include <cstdint>

#include "document/layout.h"
#include "document/text.h"
#include "platform/font.h"
#include "platform/recent.h"
#include "platform/settings.h"

namespace {

bool HasLines(const Text* text) { return text && text->lineCount > 0 && text->lines && text->text; }

int32_t TopLine(const Text* text, int32_t position) {
  const int32_t line = LineAtPosition(text, position);
  return line < 0 ? text->lineCount - 1 : line;
}

int32_t StartOf(const Text* text, int32_t line) { return int32_t(text->lines[line].start - text->text); }

// The place is noted before the layout changes and used after it.
void LayOutAgain(Text* text) {
  if (text) LayoutLines(text, text->font, text->text, START_STYLE);
  g_currentEntry.position = PlacePosition(g_currentEntry, text);
}

}  // namespace

const BitmapFont* ZoomFont(int level) {
  switch (level) {
    case 0: return &FontSmall;
    case 1: return &FontMedium;
    case 2: return &FontLarge;
    default: return g_standardFont;
  }
}

void SelectZoomFont() {
  if (!g_text) return;
  const BitmapFont* font = ZoomFont(g_settings.zoomLevel);
  if (g_text->font != font) g_text->font = font;
}

int32_t TopLineOffset(const Text* text, int32_t position) {
  return HasLines(text) ? StartOf(text, TopLine(text, position)) : -1;
}

int32_t LineOfOffset(const Text* text, int32_t offset) {
  if (!HasLines(text)) return -1;
  const LineRecord* lines = text->lines;
  const char* target = text->text + std::max<int32_t>(offset, 0);
  const LineRecord* it = std::upper_bound(lines, lines + text->lineCount, target,
                                          [](const char* v, const LineRecord& r) { return v < r.start; });
  return std::max<int32_t>(int32_t(it - lines) - 1, 0);
}

int32_t LineTopPosition(const Text* text, int32_t line) {
  if (!HasLines(text) || line < 0 || line >= text->lineCount) return 0;
  return std::max<int32_t>(text->lines[line].y - FIRST_LINE_Y, 0);
}

void NotePlace(RecentEntry* entry, const Text* text) {
  if (!entry) return;
  if (!HasLines(text)) {
    ClearEntryPlace(entry);
    return;
  }
  const int32_t line = TopLine(text, entry->position);
  const int32_t start = StartOf(text, line);
  const int32_t end = line + 1 < text->lineCount ? StartOf(text, line + 1) : INT32_MAX;
  EntryPlace place;
  if (!GetEntryPlace(*entry, &place) || place.offset < start || place.offset >= end) place.offset = start;
  const int32_t below = entry->position - LineTopPosition(text, line);
  place.below = uint16_t(std::clamp<int32_t>(below, 0, UINT16_MAX));
  place.zoomLevel = uint8_t(g_settings.zoomLevel);
  SetEntryPlace(entry, place);
}

int32_t PlacePosition(const RecentEntry& entry, const Text* text) {
  EntryPlace place;
  if (!GetEntryPlace(entry, &place) || !HasLines(text)) return entry.position;
  // The offset may lie past a text that changed since: the last line holds it.
  int32_t position = LineTopPosition(text, LineOfOffset(text, place.offset));
  if (place.zoomLevel == g_settings.zoomLevel) position += place.below;
  return position;
}

void SetCurrentDocumentAt(const char* path, const char* entryName, int32_t entryIndex,
                          const RecentEntry* recorded, const Text* text) {
  RecentEntry kept;
  ClearRecentEntry(&kept);
  if (recorded) kept = *recorded;
  SetCurrentDocument(path, entryName, entryIndex, recorded ? PlacePosition(kept, text) : 0);
  EntryPlace place;
  if (GetEntryPlace(kept, &place)) {
    SetEntryPlace(&g_currentEntry, place);
  } else {
    ClearEntryPlace(&g_currentEntry);
  }
}

void RecordCurrentDocument() {
  NotePlace(&g_currentEntry, g_text);
  if (g_recentList) g_recentList->AddEntry(g_currentEntry);
}

void ChangeZoomLevel(int level) {
  NotePlace(&g_currentEntry, g_text);
  g_settings.zoomLevel = uint16_t(level);
  SelectZoomFont();
  LayOutAgain(g_text);
}

void RelayoutCurrentDocument() {
  NotePlace(&g_currentEntry, g_text);
  LayOutAgain(g_text);
}
