// main() of every test program and the helpers of harness.h. The harness, not
// the program, picks SDL's dummy video driver so tests never need a display.
#include "harness.h"

#include <ftw.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <vector>

#include "platform/files.h"
#include "platform/font.h"
#include "platform/video.h"

namespace {

bool g_platformStarted = false;

// The scratch folders made by this run, removed when every test has passed
// (kept after a failure, to look into).
std::vector<std::string> g_scratchDirs;

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) { return remove(path); }

void RemoveScratchDirs() {
  for (const std::string& dir : g_scratchDirs) nftw(dir.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
  g_scratchDirs.clear();
}

std::string GoldenPath(const char* table) {
  return std::string(QUILLO_SOURCE_DIR) + "/tests/golden/" + table + ".txt";
}

std::map<std::string, std::string> ReadTable(const std::string& path) {
  std::map<std::string, std::string> rows;
  std::ifstream in(path);
  std::string name, hash;
  while (in >> name >> hash) rows[name] = hash;
  return rows;
}

}  // namespace

void StartTestPlatform() {
  if (g_platformStarted) return;
  g_platformStarted = true;
  if (!GpFatStarted()) GpFatInit();
  GpUseVirtualClock(true);
  GpVideoInit();
  if (!g_video) g_video = new Video();
  InitFonts();
  g_standardFont = &FontSmall;
  g_video->SetStandardFont(g_standardFont);
}

std::string MakeScratchDir(const char* tag) {
  std::string templ = std::string("/tmp/quillo-test-") + tag + "-XXXXXX";
  std::string dir = templ;
  if (!mkdtemp(dir.data())) return std::string();
  g_scratchDirs.push_back(dir);
  return dir;
}

std::vector<uint16_t> ScreenFrame() {
  std::vector<uint16_t> screen(FRAME_PIXELS), frame(FRAME_PIXELS);
  EXPECT_TRUE(GpReadScreen(screen.data()));
  for (int y = 0; y < SCREEN_HEIGHT; ++y) {
    for (int x = 0; x < SCREEN_WIDTH; ++x) frame[size_t(PixelIndex(x, y))] = screen[size_t(y * SCREEN_WIDTH + x)];
  }
  return frame;
}

bool WriteTestFile(const std::string& path, const void* data, size_t size) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(data, 1, size, f) == size;
  return std::fclose(f) == 0 && ok;
}

std::string ReadTestFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

uint64_t FrameHash(const uint16_t* frame) {
  // FNV-1a over the pixel bytes, little-endian, so the value is the same on every host.
  uint64_t h = 1469598103934665603ULL;
  for (int i = 0; i < FRAME_PIXELS; ++i) {
    h = (h ^ (frame[i] & 0xFF)) * 1099511628211ULL;
    h = (h ^ (frame[i] >> 8)) * 1099511628211ULL;
  }
  return h;
}

bool WriteFrameBmp(const std::string& path, const uint16_t* frame) {
  const int rowBytes = SCREEN_WIDTH * 3;
  const uint32_t dataSize = uint32_t(rowBytes * SCREEN_HEIGHT);
  uint8_t header[54] = {'B', 'M'};
  auto put32 = [&](int at, uint32_t v) {
    for (int i = 0; i < 4; ++i) header[at + i] = uint8_t(v >> (8 * i));
  };
  put32(2, 54 + dataSize);
  put32(10, 54);
  put32(14, 40);
  put32(18, SCREEN_WIDTH);
  put32(22, SCREEN_HEIGHT);
  header[26] = 1;
  header[28] = 24;
  put32(34, dataSize);
  std::string out(reinterpret_cast<char*>(header), 54);
  out.reserve(54 + dataSize);
  // BMP rows go bottom-up, like the columns of the frame buffer.
  for (int y = SCREEN_HEIGHT - 1; y >= 0; --y) {
    for (int x = 0; x < SCREEN_WIDTH; ++x) {
      uint16_t c = frame[PixelIndex(x, y)];
      uint8_t r = uint8_t(((c >> 11) & 31) * 255 / 31);
      uint8_t g = uint8_t(((c >> 5) & 63) * 255 / 63);
      uint8_t b = uint8_t((c & 31) * 255 / 31);
      out.push_back(char(b));
      out.push_back(char(g));
      out.push_back(char(r));
    }
  }
  return WriteTestFile(path, out.data(), out.size());
}

void ExpectGoldenFrame(const char* table, const char* name, const uint16_t* frame) {
  char hash[32];
  std::snprintf(hash, sizeof hash, "%016llx", static_cast<unsigned long long>(FrameHash(frame)));
  const std::string path = GoldenPath(table);
  auto rows = ReadTable(path);
  const char* update = std::getenv("QUILLO_UPDATE_GOLDEN");
  if (update && std::string(update) == "1") {
    rows[name] = hash;
    std::ofstream out(path, std::ios::trunc);
    for (const auto& row : rows) out << row.first << ' ' << row.second << '\n';
    return;
  }
  auto it = rows.find(name);
  if (it != rows.end() && it->second == hash) return;
  mkdir("golden-failures", 0755);
  std::string image = std::string("golden-failures/") + table + "-" + name + ".bmp";
  WriteFrameBmp(image, frame);
  char cwd[512] = "";
  if (!getcwd(cwd, sizeof cwd)) cwd[0] = 0;
  ADD_FAILURE() << "frame " << table << "/" << name << " hashes to " << hash << ", expected "
                << (it == rows.end() ? std::string("(no entry)") : it->second)
                << "; image written to " << cwd << "/" << image;
}

namespace {

// A program that leaves before its tests are done (a key script that ran out
// and a quit event taken for the user's, an exit in the code under test) must
// not pass: the tests after that point never ran. Death tests' forked children
// leave on purpose and are told apart by their process id.
pid_t g_mainProcess = 0;
bool g_testsDone = false;

void FailWhenLeftEarly() {
  if (g_testsDone || getpid() != g_mainProcess) return;
  std::fprintf(stderr, "test program ended before its tests did (a key script ran out?)\n");
  std::fflush(stderr);
  _exit(3);
}

}  // namespace

int main(int argc, char** argv) {
  setenv("SDL_VIDEODRIVER", "dummy", 1);
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  ::testing::InitGoogleTest(&argc, argv);
  g_mainProcess = getpid();
  std::atexit(FailWhenLeftEarly);
  const int result = RUN_ALL_TESTS();
  g_testsDone = true;
  if (result == 0) RemoveScratchDirs();
  return result;
}
