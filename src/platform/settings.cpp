// The settings with their defaults and the interface palette, the quillo.cfg
// file (606 bytes of little-endian fields, no header), and the current entry.
#include "platform/settings.h"

#include <cstddef>
#include <cstdio>
#include <cstring>

#include "platform/bytes.h"
#include "platform/files.h"
#include "platform/trace.h"

const char* const CONFIG_FILE_NAME = "quillo.cfg";

Settings g_settings;
RecentEntry g_currentEntry = {};
uint16_t g_interfaceColour = 0x0290;
const uint16_t INTERFACE_PALETTE[INTERFACE_PALETTE_SIZE] = {0x0018, 0x0290, 0x6000, 0x0400,
                                                            0x0318, 0x8010, 0x8300, 0x630C};

namespace {

// Offsets of the fields in quillo.cfg. The file is the same on every processor:
// each field follows the one before with no padding, and the last ends the file.
constexpr int CFG_PAPER = 0, CFG_TEXT = 2, CFG_WEIGHT = 4, CFG_TITLE_BAR = 6, CFG_ZOOM = 8;
constexpr int CFG_RESERVED_1 = 10;  // 256 + 4 bytes
// The last 4 reserved bytes before the find text: the mark "Rj", then the
// rejoin switch (16 bits). Older versions wrote anything there, so the value
// counts only after the mark.
constexpr int CFG_REJOIN = 266;
constexpr uint8_t CFG_REJOIN_MARK[2] = {'R', 'j'};
constexpr int CFG_FIND = 270, CFG_FOLDER = 334;
constexpr int CFG_RESERVED_2 = 590;  // 4 bytes
constexpr int CFG_AUTOSCROLL = 594, CFG_PROGRESS = 598, CFG_KEY_SWAP = 600, CFG_LANGUAGE = 602;
constexpr int CFG_INTERFACE = 604;
static_assert(CFG_ZOOM + 2 == CFG_RESERVED_1 && CFG_RESERVED_1 + 256 + 4 == CFG_FIND);
static_assert(CFG_RESERVED_1 + 256 == CFG_REJOIN && CFG_REJOIN + 4 == CFG_FIND);
static_assert(CFG_FIND + FIND_TEXT_SIZE == CFG_FOLDER && CFG_FOLDER + FOLDER_PATH_SIZE == CFG_RESERVED_2);
static_assert(CFG_RESERVED_2 + 4 == CFG_AUTOSCROLL && CFG_AUTOSCROLL + 4 == CFG_PROGRESS);
static_assert(CFG_INTERFACE + 2 == CONFIG_FILE_SIZE);

// The in-memory entry has the file's layout on 32-bit ARM and 64-bit x86 alike,
// so a record copied whole keeps its bytes.
static_assert(sizeof(RecentEntry) == RECENT_ENTRY_SIZE);
static_assert(offsetof(RecentEntry, entryName) == 256 && offsetof(RecentEntry, entryIndex) == 300);
static_assert(offsetof(RecentEntry, position) == 304 && offsetof(RecentEntry, reserved) == 308);

// The largest values the menu and the reader use; a damaged file may hold anything.
constexpr uint16_t CFG_MAX_WEIGHT = 128;
constexpr uint16_t CFG_MAX_ZOOM = 2;

template <typename T>
T Clamped(T value, T low, T high) {
  return value < low ? low : value > high ? high : value;
}

// Reads exactly size bytes; false on a short read.
bool ReadField(int handle, uint8_t* out, int size) {
  uint32_t got = 0;
  return GpFileRead(handle, out, uint32_t(size), &got) == FAT_OK && got == uint32_t(size);
}

void CopyString(char* dst, size_t dstSize, const char* src) {
  if (!src) src = "";
  size_t n = std::strlen(src);
  if (n >= dstSize) n = dstSize - 1;
  std::memcpy(dst, src, n);
  dst[n] = 0;
}

}  // namespace

uint16_t InterfaceColourFor(int index) {
  return index >= 0 && index < INTERFACE_PALETTE_SIZE ? INTERFACE_PALETTE[index] : INTERFACE_PALETTE[0];
}

void RecomputeInterfaceColour() { g_interfaceColour = InterfaceColourFor(g_settings.interfaceColourIndex); }

void ResetSettings() {
  g_settings = Settings();
  RecomputeInterfaceColour();
}

int LoadConfig() {
  int handle = 0;
  if (GpFileOpen(CONFIG_FILE_NAME, 1, &handle) != FAT_OK) {
    GpTrace("Error al cargar fichero Cfg\n");
    return 0;
  }
  Settings& s = g_settings;
  uint8_t field[256];
  bool ok = true;
  auto read16 = [&](uint16_t* v) {
    if (ok && (ok = ReadField(handle, field, 2))) *v = GetLe16(field);
  };
  auto readS16 = [&](int16_t* v) {
    if (ok && (ok = ReadField(handle, field, 2))) *v = int16_t(GetLe16(field));
  };
  auto skip = [&](int size) {
    if (ok) ok = ReadField(handle, field, size);
  };
  auto readText = [&](char* out, int size) {
    if (ok && (ok = ReadField(handle, field, size))) {
      std::memcpy(out, field, size_t(size));
      // The file may hold a text without its terminator; never read past the field.
      out[size - 1] = 0;
    }
  };
  // Each number is bounded as soon as it is read, so that a short file still
  // leaves only usable values. Any 16-bit colour is a colour.
  auto readSwitch = [&](uint16_t* v) {
    read16(v);
    *v = Clamped<uint16_t>(*v, 0, 1);
  };
  read16(&s.paperColour);
  read16(&s.textColour);
  read16(&s.textWeight);
  s.textWeight = Clamped<uint16_t>(s.textWeight, 0, CFG_MAX_WEIGHT);
  readSwitch(&s.titleBarShown);
  read16(&s.zoomLevel);
  s.zoomLevel = Clamped<uint16_t>(s.zoomLevel, 0, CFG_MAX_ZOOM);
  skip(256);
  if (ok && (ok = ReadField(handle, field, 4))) {
    const uint16_t value = GetLe16(field + 2);
    const bool marked = field[0] == CFG_REJOIN_MARK[0] && field[1] == CFG_REJOIN_MARK[1];
    s.rejoinLines = marked && value <= 1 ? value : 1;
  }
  readText(s.findText, FIND_TEXT_SIZE);
  readText(s.folderPath, FOLDER_PATH_SIZE);
  if (ok) {
    size_t n = std::strlen(s.folderPath);
    // A path that fills the field has no room for the slash and stays as it is.
    if (n > 0 && s.folderPath[n - 1] != '/' && n + 1 < FOLDER_PATH_SIZE) {
      s.folderPath[n] = '/';
      s.folderPath[n + 1] = 0;
    }
  }
  skip(4);
  if (ok && (ok = ReadField(handle, field, 4))) s.autoscrollDelay = int32_t(GetLe32(field));
  // A delay below 4 (older files hold 0) scrolls at the fastest speed, a
  // negative one as 0; a huge one would stop the reader for days.
  s.autoscrollDelay = Clamped<int32_t>(s.autoscrollDelay, 0, AUTOSCROLL_MAX_DELAY);
  readSwitch(&s.progressStyle);
  // The keys are swapped for any value but 0, as before.
  readS16(&s.keySwap);
  if (s.keySwap != 0) s.keySwap = 1;
  readS16(&s.language);
  s.language = Clamped<int16_t>(s.language, 0, 1);
  // An index outside the palette gives its first colour (InterfaceColourFor).
  readS16(&s.interfaceColourIndex);
  if (ok) RecomputeInterfaceColour();
  GpFileClose(handle);
  return ok ? 1 : 0;
}

void EncodeConfig(uint8_t out[CONFIG_FILE_SIZE]) {
  const Settings& s = g_settings;
  std::memset(out, 0, CONFIG_FILE_SIZE);  // the reserved fields are zeros
  PutLe16(out + CFG_PAPER, s.paperColour);
  PutLe16(out + CFG_TEXT, s.textColour);
  PutLe16(out + CFG_WEIGHT, s.textWeight);
  PutLe16(out + CFG_TITLE_BAR, s.titleBarShown);
  PutLe16(out + CFG_ZOOM, s.zoomLevel);
  out[CFG_REJOIN] = CFG_REJOIN_MARK[0];
  out[CFG_REJOIN + 1] = CFG_REJOIN_MARK[1];
  PutLe16(out + CFG_REJOIN + 2, s.rejoinLines);
  std::memcpy(out + CFG_FIND, s.findText, FIND_TEXT_SIZE);
  out[CFG_FIND + FIND_TEXT_SIZE - 1] = 0;
  std::memcpy(out + CFG_FOLDER, s.folderPath, FOLDER_PATH_SIZE);
  out[CFG_FOLDER + FOLDER_PATH_SIZE - 1] = 0;
  PutLe32(out + CFG_AUTOSCROLL, uint32_t(s.autoscrollDelay));
  PutLe16(out + CFG_PROGRESS, s.progressStyle);
  PutLe16(out + CFG_KEY_SWAP, uint16_t(s.keySwap));
  PutLe16(out + CFG_LANGUAGE, uint16_t(s.language));
  PutLe16(out + CFG_INTERFACE, uint16_t(s.interfaceColourIndex));
}

int SaveConfig() {
  uint8_t image[CONFIG_FILE_SIZE];
  EncodeConfig(image);
  if (!GpFatStarted() || !GpWriteFileAtomic(CONFIG_FILE_NAME, image, CONFIG_FILE_SIZE)) {
    GpTrace("Error al grabar fichero Cfg\n");
    return 0;
  }
  return 1;
}

void SetCurrentDocument(const char* path, const char* entryName, int32_t entryIndex,
                        int32_t position) {
  // Cut to its field, the path would name another file (or none) when the
  // record is reopened: such a document is read, but names no record.
  if (path && std::strlen(path) >= size_t(ENTRY_PATH_SIZE)) {
    GpTrace("Path too long to record: %s\n", path);
    path = "";
  }
  CopyString(g_currentEntry.path, ENTRY_PATH_SIZE, path);
  CopyString(g_currentEntry.entryName, ENTRY_NAME_SIZE, entryName);
  g_currentEntry.entryIndex = entryIndex;
  g_currentEntry.position = position;
}

void ClearRecentEntry(RecentEntry* entry) { std::memset(entry, 0, sizeof *entry); }

void EncodeRecentEntry(const RecentEntry& entry, uint8_t out[RECENT_ENTRY_SIZE]) {
  std::memcpy(out, entry.path, ENTRY_PATH_SIZE);
  std::memcpy(out + 256, entry.entryName, ENTRY_NAME_SIZE);
  PutLe32(out + 300, uint32_t(entry.entryIndex));
  PutLe32(out + 304, uint32_t(entry.position));
  std::memcpy(out + 308, entry.reserved, sizeof entry.reserved);
}

void DecodeRecentEntry(const uint8_t in[RECENT_ENTRY_SIZE], RecentEntry* entry) {
  std::memcpy(entry->path, in, ENTRY_PATH_SIZE);
  entry->path[ENTRY_PATH_SIZE - 1] = 0;
  std::memcpy(entry->entryName, in + 256, ENTRY_NAME_SIZE);
  entry->entryName[ENTRY_NAME_SIZE - 1] = 0;
  entry->entryIndex = int32_t(GetLe32(in + 300));
  entry->position = int32_t(GetLe32(in + 304));
  std::memcpy(entry->reserved, in + 308, sizeof entry->reserved);
}
