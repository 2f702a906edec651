// Files, folders and system services in the console-SDK style: result codes,
// handles passed back through pointers, the millisecond clock and delays, and
// the exit to the console menu. Implemented on the Linux C library.
#pragma once

#include <cstdint>

enum : int {
  FAT_OK = 0,
  FAT_ALREADY_STARTED = 8,
  FAT_BAD_HANDLE = 10,
  FAT_BAD_ARGUMENT = 11,
  FAT_OPEN_FAILED = 20,
  FAT_NOT_FOUND = 21,
  FAT_IO_ERROR = 33,
  FAT_NOT_STARTED = 39,
};

enum : uint32_t {
  ATTR_FOLDER = 0x10,
  ATTR_FILE = 0x20,
  ATTR_OTHER = 6,
};

constexpr int DIR_NAME_SIZE = 256;

struct FileAttr {
  uint32_t attr;
  uint32_t extra;
  uint32_t size;  // low 16 bits of the file size
  uint16_t year;
  uint8_t month;  // 0 to 11
  uint8_t day;
  uint8_t hour;
  uint8_t minute;
  uint8_t second;
};

// Records the working folder plus "/" as the root folder. FAT_ALREADY_STARTED
// (with a trace) on a second call.
int GpFatInit();
bool GpFatStarted();
// The root folder; len receives its length when not null.
const char* GpRootDir(int* len);
// "gp:\" prefixed paths lose the prefix; every other path is unchanged.
const char* MapPath(const char* path);
int GpPathExists(const char* path);

int GpFileOpen(const char* path, int mode, int* handle);
int GpFileCreate(const char* path, int mode, int* handle);
int GpFileRead(int handle, void* buffer, uint32_t count, uint32_t* read);
int GpFileWrite(int handle, const void* buffer, uint32_t count);
int GpFileClose(int handle);
int GpFileGetSize(const char* path, int32_t* size);
int GpFileGetAttr(const char* path, FileAttr* attr);
// Lists names first .. first+count-1 of a folder (in the system's order, "." and
// ".." included) into 256-byte slots of buffer; stored receives how many.
int GpDirEnumList(const char* path, int first, int count, char* buffer, int* stored);
// The number of names GpDirEnumList would find in the folder ("." and ".."
// included) into count: 0 for a folder that cannot be read. FAT_OK, or
// FAT_BAD_ARGUMENT for a null path or count.
int GpDirCountNames(const char* path, int* count);

// Rewrites a whole file safely: the bytes go to a temporary file in the same
// folder, which is then renamed over the old one with the old one's
// permissions; a symbolic link stays, and the file it names is replaced.
// Where no temporary file can be made (a folder where only the files are
// writable) the file is rewritten in place instead. Returns false (with a
// trace) when it could not be written; the old file is then untouched, except
// after a failure half way through an in-place rewrite.
bool GpWriteFileAtomic(const char* path, const void* data, uint32_t size);

// Milliseconds since the clock started (SDL's counter, or the virtual clock).
uint32_t GetTicks();
// Returns once ms milliseconds have passed on GetTicks; sleeps meanwhile.
void Delay(uint32_t ms);
// Closes the video platform and starts the console menu; off the console, or if
// the menu cannot be started, exits with status 0. Does not return.
[[noreturn]] void GpAppExit();

// Test seam: a virtual clock that Delay (and frame pacing) advance at once.
void GpUseVirtualClock(bool on);
bool GpVirtualClockActive();
void GpAdvanceVirtualClock(uint32_t ms);
