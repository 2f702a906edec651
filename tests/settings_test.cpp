// quillo.cfg byte for byte, its defaults, short files, the interface colour,
// and the current entry record.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "harness.h"
#include "platform/bytes.h"
#include "platform/settings.h"

namespace {

// Each test works in a fresh folder, since the file is opened by bare name.
class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    StartTestPlatform();
    dir_ = MakeScratchDir("cfg");
    ASSERT_EQ(chdir(dir_.c_str()), 0);
    ResetSettings();
  }
  void TearDown() override { ResetSettings(); }
  std::string dir_;
};

void Put16(std::string& s, uint16_t v) {
  s.push_back(char(v & 0xFF));
  s.push_back(char(v >> 8));
}

std::string Padded(const char* text, size_t size, char fill) {
  std::string s(text);
  s.push_back('\0');
  s.resize(size, fill);
  return s;
}

TEST_F(SettingsTest, ReadsEveryFieldAtItsOffset) {
  std::string file;
  Put16(file, 0x1234);                    // paper
  Put16(file, 0xF800);                    // text colour
  Put16(file, 48);                        // weight
  Put16(file, 0);                         // title bar
  Put16(file, 2);                         // zoom
  file += std::string(256, '\x5A');       // reserved
  file += std::string(4, '\x5A');         // reserved
  file += Padded("needle", 64, '\x7F');   // find text
  file += Padded("/mnt/sd/books", 256, '\x7F');
  file += std::string(4, '\x5A');
  file += std::string("\xE8\x03\0\0", 4);     // autoscroll delay 1000
  Put16(file, 0);                          // page numbers
  Put16(file, 0);                          // key swap
  Put16(file, 1);                          // Spanish
  Put16(file, 5);                          // interface colour
  ASSERT_EQ(file.size(), 606u);
  ASSERT_TRUE(WriteTestFile("quillo.cfg", file.data(), file.size()));
  EXPECT_EQ(LoadConfig(), 1);
  const Settings& s = g_settings;
  EXPECT_EQ(s.paperColour, 0x1234);
  EXPECT_EQ(s.textColour, 0xF800);
  EXPECT_EQ(s.textWeight, 48);
  EXPECT_EQ(s.titleBarShown, 0);
  EXPECT_EQ(s.zoomLevel, 2);
  EXPECT_STREQ(s.findText, "needle");
  EXPECT_STREQ(s.folderPath, "/mnt/sd/books/");
  EXPECT_EQ(s.autoscrollDelay, 1000);
  EXPECT_EQ(s.progressStyle, 0);
  EXPECT_EQ(s.keySwap, 0);
  EXPECT_EQ(s.language, 1);
  EXPECT_EQ(s.interfaceColourIndex, 5);
  EXPECT_EQ(g_interfaceColour, 0x8010);

  // Saving writes the same fields back with zeros in the reserved ones.
  ASSERT_EQ(SaveConfig(), 1);
  const std::string saved = ReadTestFile("quillo.cfg");
  ASSERT_EQ(saved.size(), 606u);
  EXPECT_EQ(saved.substr(0, 10), file.substr(0, 10));
  EXPECT_EQ(saved.substr(10, 256), std::string(256, '\0'));
  // The rejoin switch (on by default) after its mark "Rj".
  EXPECT_EQ(saved.substr(266, 4), std::string("Rj\1\0", 4));
  EXPECT_EQ(saved.substr(270, 7), std::string("needle\0", 7));
  EXPECT_EQ(saved.substr(334, 15), std::string("/mnt/sd/books/\0", 15));
  EXPECT_EQ(saved.substr(590, 4), std::string(4, '\0'));
  EXPECT_EQ(saved.substr(594), file.substr(594));
}

TEST_F(SettingsTest, MissingAndShortFilesKeepTheDefaults) {
  EXPECT_EQ(LoadConfig(), 0);
  EXPECT_EQ(g_settings.paperColour, 0xFFFF);
  EXPECT_EQ(g_settings.autoscrollDelay, 25);
  EXPECT_EQ(g_settings.progressStyle, 1);
  EXPECT_EQ(g_settings.keySwap, 1);
  EXPECT_EQ(g_settings.language, 0);
  EXPECT_EQ(g_settings.interfaceColourIndex, 1);
  EXPECT_EQ(g_interfaceColour, 0x0290);

  std::string ten;
  Put16(ten, 0x0000);
  Put16(ten, 0xFFFF);
  Put16(ten, 128);
  Put16(ten, 0);
  Put16(ten, 1);
  ASSERT_TRUE(WriteTestFile("quillo.cfg", ten.data(), ten.size()));
  EXPECT_EQ(LoadConfig(), 0);
  EXPECT_EQ(g_settings.paperColour, 0x0000);
  EXPECT_EQ(g_settings.textColour, 0xFFFF);
  EXPECT_EQ(g_settings.textWeight, 128);
  EXPECT_EQ(g_settings.titleBarShown, 0);
  EXPECT_EQ(g_settings.zoomLevel, 1);
  EXPECT_EQ(g_settings.autoscrollDelay, 25);
  EXPECT_EQ(g_settings.keySwap, 1);
  EXPECT_STREQ(g_settings.folderPath, "");

  // A file cut inside the folder path keeps the old path: fields are all or nothing.
  ResetSettings();
  std::strcpy(g_settings.folderPath, "/old/");
  std::string cut(334 + 100, '\0');
  std::memcpy(&cut[334], "/new", 4);
  ASSERT_TRUE(WriteTestFile("quillo.cfg", cut.data(), cut.size()));
  EXPECT_EQ(LoadConfig(), 0);
  EXPECT_STREQ(g_settings.folderPath, "/old/");
}

TEST_F(SettingsTest, InterfaceIndexOutsideThePaletteUsesTheFirstColour) {
  g_settings.interfaceColourIndex = 9;
  ASSERT_EQ(SaveConfig(), 1);
  ResetSettings();
  EXPECT_EQ(LoadConfig(), 1);
  EXPECT_EQ(g_settings.interfaceColourIndex, 9);
  EXPECT_EQ(g_interfaceColour, 0x0018);
  EXPECT_EQ(InterfaceColourFor(-1), 0x0018);
  EXPECT_EQ(InterfaceColourFor(7), 0x630C);
}

TEST_F(SettingsTest, RoundTripAndUnterminatedTexts) {
  g_settings.paperColour = 0x7BEF;
  g_settings.zoomLevel = 1;
  std::strcpy(g_settings.findText, "Canción");
  std::strcpy(g_settings.folderPath, "/home/reader/books");  // no slash
  g_settings.autoscrollDelay = 1000;
  g_settings.language = 1;
  ASSERT_EQ(SaveConfig(), 1);
  ResetSettings();
  ASSERT_EQ(LoadConfig(), 1);
  EXPECT_EQ(g_settings.paperColour, 0x7BEF);
  EXPECT_EQ(g_settings.zoomLevel, 1);
  EXPECT_STREQ(g_settings.findText, "Canción");
  EXPECT_STREQ(g_settings.folderPath, "/home/reader/books/");
  EXPECT_EQ(g_settings.autoscrollDelay, 1000);
  EXPECT_EQ(g_settings.language, 1);

  // Texts that fill their fields without a NUL are cut inside the field.
  std::string file = ReadTestFile("quillo.cfg");
  std::memset(&file[270], 'f', 64);
  std::memset(&file[334], 'p', 256);
  ASSERT_TRUE(WriteTestFile("quillo.cfg", file.data(), file.size()));
  ASSERT_EQ(LoadConfig(), 1);
  EXPECT_EQ(std::strlen(g_settings.findText), 63u);
  EXPECT_EQ(std::strlen(g_settings.folderPath), 255u);
}

// A damaged file leaves a usable reader: each number out of range is bounded,
// one in range is kept as stored.
TEST_F(SettingsTest, OutOfRangeValuesAreBoundedOnLoad) {
  const Settings& s = g_settings;
  const struct {
    int offset, size;
    uint32_t stored;
    int32_t expected;
    int32_t (*field)(const Settings&);
  } rows[] = {
      {594, 4, 0x7FFFFFFF, 1000, [](const Settings& v) { return v.autoscrollDelay; }},
      {594, 4, 0x80000000, 0, [](const Settings& v) { return v.autoscrollDelay; }},
      {594, 4, 1000, 1000, [](const Settings& v) { return v.autoscrollDelay; }},
      {594, 4, 3, 3, [](const Settings& v) { return v.autoscrollDelay; }},
      {8, 2, 0xFFFF, 2, [](const Settings& v) { return int32_t(v.zoomLevel); }},
      {8, 2, 1, 1, [](const Settings& v) { return int32_t(v.zoomLevel); }},
      {4, 2, 129, 128, [](const Settings& v) { return int32_t(v.textWeight); }},
      {4, 2, 18, 18, [](const Settings& v) { return int32_t(v.textWeight); }},
      {602, 2, 0xFFFF, 0, [](const Settings& v) { return int32_t(v.language); }},
      {602, 2, 2, 1, [](const Settings& v) { return int32_t(v.language); }},
      {6, 2, 0x8000, 1, [](const Settings& v) { return int32_t(v.titleBarShown); }},
      {598, 2, 2, 1, [](const Settings& v) { return int32_t(v.progressStyle); }},
      {598, 2, 0, 0, [](const Settings& v) { return int32_t(v.progressStyle); }},
      {600, 2, 0xFFFF, 1, [](const Settings& v) { return int32_t(v.keySwap); }},
      {604, 2, 300, 300, [](const Settings& v) { return int32_t(v.interfaceColourIndex); }},
  };
  ASSERT_EQ(SaveConfig(), 1);
  const std::string good = ReadTestFile("quillo.cfg");
  for (const auto& row : rows) {
    std::string file = good;
    uint8_t* at = reinterpret_cast<uint8_t*>(&file[size_t(row.offset)]);
    if (row.size == 4) PutLe32(at, row.stored);
    else PutLe16(at, uint16_t(row.stored));
    ASSERT_TRUE(WriteTestFile("quillo.cfg", file.data(), file.size()));
    ResetSettings();
    EXPECT_EQ(LoadConfig(), 1);
    EXPECT_EQ(row.field(s), row.expected) << "offset " << row.offset << " value " << row.stored;
  }
  // A folder in the file's place is no file: the save fails with its trace.
  ASSERT_EQ(unlink("quillo.cfg"), 0);
  ASSERT_EQ(mkdir("quillo.cfg", 0700), 0);
  EXPECT_EQ(LoadConfig(), 0);
  testing::internal::CaptureStdout();
  EXPECT_EQ(SaveConfig(), 0);
  EXPECT_NE(testing::internal::GetCapturedStdout().find("Error al grabar fichero Cfg"), std::string::npos);
}

TEST_F(SettingsTest, RewriteWithoutATemporaryGoesInPlaceAndKeepsLinkAndMode) {
  ASSERT_EQ(SaveConfig(), 1);
  // No temporary file can be made beside it, as in a folder where only the
  // files are writable: the file itself is rewritten.
  ASSERT_EQ(mkdir("quillo.cfg.tmp", 0700), 0);
  g_settings.paperColour = 0x0001;
  EXPECT_EQ(SaveConfig(), 1);
  std::string saved = ReadTestFile("quillo.cfg");
  EXPECT_EQ(saved.size(), 606u);
  EXPECT_EQ(saved.substr(0, 2), std::string("\x01\x00", 2));
  ASSERT_EQ(rmdir("quillo.cfg.tmp"), 0);
  // A link to the file stays a link, and the file keeps its permissions.
  ASSERT_EQ(mkdir("real", 0700), 0);
  ASSERT_EQ(rename("quillo.cfg", "real/quillo.cfg"), 0);
  ASSERT_EQ(symlink("real/quillo.cfg", "quillo.cfg"), 0);
  ASSERT_EQ(chmod("real/quillo.cfg", 0644), 0);
  g_settings.paperColour = 0x0002;
  EXPECT_EQ(SaveConfig(), 1);
  struct stat st;
  ASSERT_EQ(lstat("quillo.cfg", &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  ASSERT_EQ(stat("real/quillo.cfg", &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u);
  EXPECT_EQ(ReadTestFile("real/quillo.cfg").substr(0, 2), std::string("\x02\x00", 2));
}

TEST(CurrentEntry, SetCopiesAndBoundsTheStrings) {
  ClearRecentEntry(&g_currentEntry);
  g_currentEntry.reserved[3] = 7;
  std::string longName(100, 'e');
  SetCurrentDocument("/mnt/sd/book.zip", longName.c_str(), 4, -12);
  EXPECT_STREQ(g_currentEntry.path, "/mnt/sd/book.zip");
  EXPECT_EQ(std::strlen(g_currentEntry.entryName), 43u);
  EXPECT_EQ(g_currentEntry.entryIndex, 4);
  EXPECT_EQ(g_currentEntry.position, -12);
  EXPECT_EQ(g_currentEntry.reserved[3], 7);

  uint8_t image[RECENT_ENTRY_SIZE];
  EncodeRecentEntry(g_currentEntry, image);
  EXPECT_EQ(image[300], 4);
  EXPECT_EQ(image[304], 0xF4);
  EXPECT_EQ(image[307], 0xFF);
  EXPECT_EQ(image[311], 7);
  RecentEntry back;
  DecodeRecentEntry(image, &back);
  EXPECT_EQ(std::memcmp(&back, &g_currentEntry, sizeof back), 0);
}

// The files written from the same values are byte for byte the committed ones,
// on 64-bit x86 and under emulation on 32-bit ARM alike: negative numbers, bytes
// above 127 and every field's offset. QUILLO_UPDATE_GOLDEN=1 rewrites them.
TEST_F(SettingsTest, FilesMatchTheCommittedImages) {
  Settings& s = g_settings;
  s.paperColour = 0x8410;
  s.textColour = 0xF81F;
  s.textWeight = 40;
  s.titleBarShown = 0;
  s.zoomLevel = 2;
  std::strcpy(s.findText, "Canci\xF3n \xAB\xFF\x80\xBB");
  std::strcpy(s.folderPath, "/mnt/sd/libros/Espa\xF1ol/");
  s.autoscrollDelay = -70000;
  s.progressStyle = 0;
  s.keySwap = -1;
  s.language = 1;
  s.interfaceColourIndex = 7;
  ASSERT_EQ(SaveConfig(), 1);

  // quillo.mrf: a 32-bit count and the 336-byte records.
  RecentEntry entries[2];
  ClearRecentEntry(&entries[0]);
  ClearRecentEntry(&entries[1]);
  std::strcpy(entries[0].path, "/mnt/sd/Cuentos \xE1rabes.zip");
  std::strcpy(entries[0].entryName, "noche \xDF 1001.txt");
  entries[0].entryIndex = 1001;
  entries[0].position = -5;
  entries[0].reserved[27] = 0xA5;
  std::strcpy(entries[1].path, "/mnt/sd/book.pdb");
  entries[1].entryIndex = -1;
  entries[1].position = 0x7FFFFFF0;
  std::string mrf(4 + 2 * RECENT_ENTRY_SIZE, '\0');
  uint8_t* bytes = reinterpret_cast<uint8_t*>(&mrf[0]);
  PutLe32(bytes, 2);
  EncodeRecentEntry(entries[0], bytes + 4);
  EncodeRecentEntry(entries[1], bytes + 4 + RECENT_ENTRY_SIZE);

  const std::string dir = std::string(QUILLO_SOURCE_DIR) + "/tests/data/records/";
  const char* update = std::getenv("QUILLO_UPDATE_GOLDEN");
  if (update && std::string(update) == "1") {
    ASSERT_TRUE(WriteTestFile(dir + "quillo.cfg", ReadTestFile("quillo.cfg").data(), CONFIG_FILE_SIZE));
    ASSERT_TRUE(WriteTestFile(dir + "quillo.mrf", mrf.data(), mrf.size()));
  }
  const std::string cfg = ReadTestFile("quillo.cfg");
  EXPECT_EQ(cfg.size(), size_t(CONFIG_FILE_SIZE));
  EXPECT_TRUE(cfg == ReadTestFile(dir + "quillo.cfg"));
  EXPECT_TRUE(mrf == ReadTestFile(dir + "quillo.mrf"));

  // And they read back to the same values, those out of range bounded.
  ResetSettings();
  ASSERT_EQ(LoadConfig(), 1);
  EXPECT_EQ(g_settings.autoscrollDelay, 0);  // brought into range on reading
  EXPECT_EQ(g_settings.keySwap, 1);
  EXPECT_STREQ(g_settings.findText, "Canci\xF3n \xAB\xFF\x80\xBB");
  RecentEntry back;
  DecodeRecentEntry(bytes + 4, &back);
  EXPECT_EQ(std::memcmp(&back, &entries[0], sizeof back), 0);
  EXPECT_EQ(int32_t(GetLe32(bytes + 4 + RECENT_ENTRY_SIZE + 304)), 0x7FFFFFF0);
}

}  // namespace
