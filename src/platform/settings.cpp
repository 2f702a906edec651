// The settings with their defaults and the interface palette, the quillo.cfg
// file (606 bytes of little-endian fields, no header), and the current entry.
#include "platform/settings.h"

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
  read16(&s.paperColour);
  read16(&s.textColour);
  read16(&s.textWeight);
  read16(&s.titleBarShown);
  read16(&s.zoomLevel);
  skip(256);
  skip(4);
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
  read16(&s.progressStyle);
  readS16(&s.keySwap);
  readS16(&s.language);
  readS16(&s.interfaceColourIndex);
  if (ok) RecomputeInterfaceColour();
  GpFileClose(handle);
  return ok ? 1 : 0;
}

void EncodeConfig(uint8_t out[CONFIG_FILE_SIZE]) {
  const Settings& s = g_settings;
  std::memset(out, 0, CONFIG_FILE_SIZE);
  PutLe16(out + 0, s.paperColour);
  PutLe16(out + 2, s.textColour);
  PutLe16(out + 4, s.textWeight);
  PutLe16(out + 6, s.titleBarShown);
  PutLe16(out + 8, s.zoomLevel);
  // 10..269: reserved, written as zeros.
  std::memcpy(out + 270, s.findText, FIND_TEXT_SIZE);
  out[270 + FIND_TEXT_SIZE - 1] = 0;
  std::memcpy(out + 334, s.folderPath, FOLDER_PATH_SIZE);
  out[334 + FOLDER_PATH_SIZE - 1] = 0;
  // 590..593: reserved.
  PutLe32(out + 594, uint32_t(s.autoscrollDelay));
  PutLe16(out + 598, s.progressStyle);
  PutLe16(out + 600, uint16_t(s.keySwap));
  PutLe16(out + 602, uint16_t(s.language));
  PutLe16(out + 604, uint16_t(s.interfaceColourIndex));
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
