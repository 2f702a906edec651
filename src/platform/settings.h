// The user's settings (stored in quillo.cfg) and the current entry, the record
// of the document on screen with its reading position. Every layer reads them,
// so they live at the bottom of the program; the menu, the main loop and the
// file dialog change them.
#pragma once

#include <cstdint>

constexpr int CONFIG_FILE_SIZE = 606;
constexpr int RECENT_ENTRY_SIZE = 336;
constexpr int ENTRY_PATH_SIZE = 256;
constexpr int ENTRY_NAME_SIZE = 44;
constexpr int FIND_TEXT_SIZE = 64;
constexpr int FOLDER_PATH_SIZE = 256;
constexpr int INTERFACE_PALETTE_SIZE = 8;
// The slowest autoscroll, in milliseconds a pixel: LoadConfig brings a longer
// stored delay down to it, and the autoscroll never waits longer, so keys and
// the quit event are answered within a second.
constexpr int32_t AUTOSCROLL_MAX_DELAY = 1000;

extern const char* const CONFIG_FILE_NAME;  // "quillo.cfg"

struct Settings {
  uint16_t paperColour = 0xFFFF;
  uint16_t textColour = 0x0000;
  uint16_t textWeight = 16;
  uint16_t titleBarShown = 1;
  uint16_t zoomLevel = 0;
  char findText[FIND_TEXT_SIZE] = {};
  char folderPath[FOLDER_PATH_SIZE] = {};
  int32_t autoscrollDelay = 25;
  uint16_t progressStyle = 1;  // 0 page numbers, 1 progress bar
  int16_t keySwap = 1;
  int16_t language = 0;  // 0 English, 1 Spanish
  int16_t interfaceColourIndex = 1;
  // 1: hard-wrapped plain text is rejoined into paragraphs. Stored after a
  // two-byte mark in a reserved field, so that older files read as 1.
  uint16_t rejoinLines = 1;
};

// A document as the recent-files list and the current entry record it.
struct RecentEntry {
  char path[ENTRY_PATH_SIZE];
  char entryName[ENTRY_NAME_SIZE];
  int32_t entryIndex;  // -1 for a plain file
  int32_t position;    // reading position in pixels
  uint8_t reserved[28];
};

extern Settings g_settings;
extern RecentEntry g_currentEntry;
extern uint16_t g_interfaceColour;
extern const uint16_t INTERFACE_PALETTE[INTERFACE_PALETTE_SIZE];

// Palette entry of the index; entry 0 for an index outside 0..7.
uint16_t InterfaceColourFor(int index);
// g_interfaceColour := the colour of g_settings.interfaceColourIndex.
void RecomputeInterfaceColour();
// Puts every setting back to its default (for start-up and tests).
void ResetSettings();

// Reads quillo.cfg field by field: 1 when every field was read, else 0 (fields
// read before a short read keep the file's values, the rest keep theirs). Each
// number is brought into the range the reader can use (autoscroll delay 0 to
// AUTOSCROLL_MAX_DELAY, zoom 0 to 2, weight 0 to 128, language and switches 0
// or 1); a value already in range is kept as stored.
int LoadConfig();
// Rewrites quillo.cfg (safely, through a temporary file): 1 on success, else 0
// with the trace "Error al grabar fichero Cfg" and the old file left as it was.
int SaveConfig();
// The 606 bytes SaveConfig writes, into out.
void EncodeConfig(uint8_t out[CONFIG_FILE_SIZE]);

// Copies path and entry name (cut to fit, always terminated) into the current
// entry and sets the index and position; the reserved bytes stay untouched.
// A path that does not fit its field is not kept (traced): the entry then
// names no document, so it is never recorded.
void SetCurrentDocument(const char* path, const char* entryName, int32_t entryIndex,
                        int32_t position);
void ClearRecentEntry(RecentEntry* entry);
// The 336-byte little-endian image of an entry, and back.
void EncodeRecentEntry(const RecentEntry& entry, uint8_t out[RECENT_ENTRY_SIZE]);
void DecodeRecentEntry(const uint8_t in[RECENT_ENTRY_SIZE], RecentEntry* entry);
