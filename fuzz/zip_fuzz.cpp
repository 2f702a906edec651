// libFuzzer target for the ZIP reader: the fuzzed bytes become an archive file,
// which is opened, listed and every entry read, as the file dialog would.
// Seeds: the archives of tests/data/zip/ and tests/data/corpus/zip/, copied
// into a corpus folder of the build, then for example
//   zip_fuzz -jobs=1 -workers=1 -max_total_time=660 -max_len=8192 corpus
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/keys.h"
#include "platform/video.h"
#include "zip/archive.h"

namespace {

// Large entries are read in pieces up to this much, so that a small input
// announcing 64 MB does not make every run allocate and inflate it all.
constexpr uint32_t WHOLE_READ_LIMIT = 1u << 20;
constexpr uint32_t PIECE_READ_LIMIT = 4u << 20;

std::string g_path;

// Bad central-directory records show a message box that waits for a key: the
// headless platform with a key script that always presses accept.
void StartPlatform() {
  setenv("SDL_VIDEODRIVER", "dummy", 1);
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  if (!GpFatStarted()) GpFatInit();
  GpUseVirtualClock(true);
  GpVideoInit();
  if (!g_video) g_video = new Video();
  GpSetKeyScript({{KEY_ACCEPT, 2000000000}});
  const char* dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  g_path = std::string(dir) + "/zip_fuzz-" + std::to_string(getpid()) + ".zip";
}

void ReadEntry(ZipArchive* archive, uint32_t size) {
  if (ArchiveOpenEntry(archive) != ZIP_OK) return;
  ZipEntryInfo info;
  if (ArchiveEntryInfo(archive, &info, nullptr, 0) == ZIP_OK && info.uncompressedSize != size) abort();
  if (size <= WHOLE_READ_LIMIT) {
    // As the loader does: one read of the whole size into size + 1 bytes.
    std::vector<uint8_t> buffer(size_t(size) + 1);
    const int n = ArchiveReadEntry(archive, buffer.data(), size);
    if (n > int(size)) abort();
    if (n >= 0) buffer[size_t(n)] = 0;
    if (ArchiveReadEntry(archive, buffer.data(), size) > 0 && n == int(size)) abort();
  } else {
    std::vector<uint8_t> piece(65536 + 17);
    uint64_t total = 0;
    int n = 0;
    while (total < PIECE_READ_LIMIT && (n = ArchiveReadEntry(archive, piece.data(), uint32_t(piece.size()))) > 0) {
      if (n > int(piece.size())) abort();
      total += uint32_t(n);
    }
    if (total > size) abort();
  }
  ArchiveCloseEntry(archive);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool started = false;
  if (!started) {
    StartPlatform();
    started = true;
  }
  FILE* file = fopen(g_path.c_str(), "wb");
  if (!file) return 0;
  fwrite(data, 1, size, file);
  fclose(file);

  // The reader keeps its own handle on the file, so the name can go at once:
  // nothing is left behind in /dev/shm however the run ends.
  ZipArchive* archive = ArchiveOpen(g_path.c_str());
  unlink(g_path.c_str());
  if (!archive) return 0;
  std::vector<uint32_t> sizes;
  int result = ArchiveFirstEntry(archive);
  while (result == ZIP_OK) {
    ZipEntryInfo info;
    char name[256];
    if (ArchiveEntryInfo(archive, &info, name, sizeof(name)) != ZIP_OK) break;
    sizes.push_back(info.uncompressedSize);
    result = ArchiveNextEntry(archive);
  }
  for (size_t i = 0; i < sizes.size(); i++) {
    // By index, as the recent-files chooser goes back to an entry.
    result = ArchiveFirstEntry(archive);
    for (size_t k = 0; k < i && result == ZIP_OK; k++) result = ArchiveNextEntry(archive);
    if (result != ZIP_OK) break;
    ReadEntry(archive, sizes[i]);
  }
  ArchiveClose(archive);
  return 0;
}
