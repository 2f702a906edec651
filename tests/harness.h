// Shared set-up for the headless test programs: the platform on SDL's dummy
// video driver, the virtual clock, scratch folders and golden frame hashes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Starts the file service, SDL (dummy driver) and the Video object once per test
// program, builds the fonts, and turns the virtual clock on. Safe to call from
// every test.
void StartTestPlatform();

// A new empty folder under the system's temporary folder; the caller may chdir.
// The run removes it at the end when every test passed.
std::string MakeScratchDir(const char* tag);

// The screen read back (GpReadScreen) as a frame in the console layout, for
// golden checks of what only the screen holds.
std::vector<uint16_t> ScreenFrame();

// Writes size bytes to path (creating or truncating); false on failure.
bool WriteTestFile(const std::string& path, const void* data, size_t size);
// Reads a whole file; empty on failure.
std::string ReadTestFile(const std::string& path);

// Hash of a frame buffer (76,800 pixels in the console layout).
uint64_t FrameHash(const uint16_t* frame);
// Writes a frame buffer as a 24-bit BMP; false on failure.
bool WriteFrameBmp(const std::string& path, const uint16_t* frame);
// Compares the frame's hash with the entry `name` of tests/golden/<table>.txt.
// On a mismatch (or a missing entry) the frame is written to
// golden-failures/<table>-<name>.bmp under the working folder and the test fails.
// With QUILLO_UPDATE_GOLDEN=1 in the environment the table entry is rewritten
// instead (review the diff and look at the image before committing).
void ExpectGoldenFrame(const char* table, const char* name, const uint16_t* frame);
