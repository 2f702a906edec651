// The file service: console-style result codes over the Linux C library, the
// root folder, path mapping, folder listing and safe whole-file rewrites.
// Used by the settings, the loader, the file dialog and the ZIP reader.
#include "platform/files.h"
#include "platform/trace.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

namespace {

bool g_fatStarted = false;
char g_rootDir[DIR_NAME_SIZE + 2] = "";

}  // namespace

int GpFatInit() {
  if (g_fatStarted) {
    GpTrace("GpFat ya iniciado\n");
    return FAT_ALREADY_STARTED;
  }
  char cwd[DIR_NAME_SIZE] = "";
  if (!getcwd(cwd, sizeof cwd)) cwd[0] = 0;
  std::snprintf(g_rootDir, sizeof g_rootDir, "%s/", cwd);
  g_fatStarted = true;
  GpTrace("GpFatInit\n");
  return FAT_OK;
}

bool GpFatStarted() { return g_fatStarted; }

const char* GpRootDir(int* len) {
  if (len) *len = int(std::strlen(g_rootDir));
  return g_rootDir;
}

const char* MapPath(const char* path) {
  if (path && std::strlen(path) > 3 && std::strncmp(path, "gp:\\", 4) == 0) return path + 4;
  return path;
}

int GpPathExists(const char* path) {
  if (!path || !*path) return 0;
  return access(MapPath(path), F_OK) == 0 ? 1 : 0;
}

int GpFileOpen(const char* path, int mode, int* handle) {
  if (!g_fatStarted) return FAT_NOT_STARTED;
  if (!path || !handle) return FAT_BAD_ARGUMENT;
  int flags = mode == 2 ? O_WRONLY : mode == 3 ? O_RDWR : O_RDONLY;
  *handle = open(MapPath(path), flags);
  return *handle < 0 ? FAT_OPEN_FAILED : FAT_OK;
}

int GpFileCreate(const char* path, int mode, int* handle) {
  if (!g_fatStarted) return FAT_NOT_STARTED;
  if (!path || !handle) return FAT_BAD_ARGUMENT;
  int flags = mode == 0 ? (O_CREAT | O_EXCL | O_RDWR)
              : mode == 1 ? (O_CREAT | O_TRUNC | O_RDWR)
                          : (O_CREAT | O_RDONLY);
  *handle = open(MapPath(path), flags, 0600);
  return *handle < 0 ? FAT_IO_ERROR : FAT_OK;
}

int GpFileRead(int handle, void* buffer, uint32_t count, uint32_t* read) {
  if (!g_fatStarted) return FAT_NOT_STARTED;
  if (handle == 0) return FAT_BAD_HANDLE;
  if (!buffer || !read) return FAT_BAD_ARGUMENT;
  ssize_t n = ::read(handle, buffer, count);
  if (n < 0) return FAT_IO_ERROR;
  *read = uint32_t(n);
  return FAT_OK;
}

int GpFileWrite(int handle, const void* buffer, uint32_t count) {
  if (!g_fatStarted) return FAT_NOT_STARTED;
  if (handle == 0) return FAT_BAD_HANDLE;
  if (!buffer) return FAT_BAD_ARGUMENT;
  ssize_t n = ::write(handle, buffer, count);
  return n < 0 ? FAT_IO_ERROR : FAT_OK;
}

int GpFileClose(int handle) {
  if (!g_fatStarted) return FAT_NOT_STARTED;
  if (handle == 0) return FAT_BAD_HANDLE;
  return close(handle) == 0 ? FAT_OK : FAT_OPEN_FAILED;
}

int GpFileGetSize(const char* path, int32_t* size) {
  if (!g_fatStarted) return FAT_NOT_STARTED;
  if (!path || !size) return FAT_BAD_ARGUMENT;
  // Opening a FIFO waits for a writer for ever, and a device may never end:
  // only regular files (and folders, which fail below) are opened.
  struct stat st;
  if (stat(MapPath(path), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) return FAT_NOT_FOUND;
  FILE* f = std::fopen(MapPath(path), "rb");
  if (!f) return FAT_NOT_FOUND;
  long start = std::ftell(f);
  long end = -1;
  if (std::fseek(f, 0, SEEK_END) == 0) end = std::ftell(f);
  std::fseek(f, start, SEEK_SET);
  std::fclose(f);
  // A folder opens as a stream on Linux but has no size to read.
  if (end < 0 || end > 0x7FFFFFFFL) return FAT_IO_ERROR;
  *size = int32_t(end);
  return FAT_OK;
}

int GpFileGetAttr(const char* path, FileAttr* attr) {
  if (!g_fatStarted) return FAT_NOT_STARTED;
  if (!path || !attr) return FAT_BAD_ARGUMENT;
  attr->attr = attr->extra = attr->size = 0;
  attr->year = 0;
  attr->month = attr->day = attr->hour = attr->minute = attr->second = 0;
  struct stat st;
  if (stat(MapPath(path), &st) != 0) return FAT_NOT_FOUND;
  attr->attr = S_ISREG(st.st_mode) ? ATTR_FILE : S_ISDIR(st.st_mode) ? ATTR_FOLDER : ATTR_OTHER;
  attr->size = uint32_t(st.st_size) & 0xFFFF;
  struct tm local;
  time_t modified = st.st_mtime;
  if (localtime_r(&modified, &local)) {
    attr->year = uint16_t(local.tm_year + 1900);
    attr->month = uint8_t(local.tm_mon);
    attr->day = uint8_t(local.tm_mday);
    attr->hour = uint8_t(local.tm_hour);
    attr->minute = uint8_t(local.tm_min);
    attr->second = uint8_t(local.tm_sec > 59 ? 59 : local.tm_sec);
  }
  return FAT_OK;
}

int GpDirEnumList(const char* path, int first, int count, char* buffer, int* stored) {
  if (!g_fatStarted) return FAT_NOT_STARTED;
  if (count <= 0 || !path) return FAT_BAD_ARGUMENT;
  if (!buffer || !stored) return FAT_BAD_ARGUMENT;
  *stored = 0;
  DIR* dir = opendir(MapPath(path));
  if (!dir) return FAT_OK;
  int number = 0;
  int copied = 0;
  while (struct dirent* entry = readdir(dir)) {
    if (number >= first && number < first + count) {
      char* slot = buffer + size_t(copied) * DIR_NAME_SIZE;
      std::strncpy(slot, entry->d_name, DIR_NAME_SIZE - 1);
      slot[DIR_NAME_SIZE - 1] = 0;
      ++copied;
    }
    ++number;
  }
  closedir(dir);
  *stored = copied;
  return FAT_OK;
}

int GpDirCountNames(const char* path, int* count) {
  if (!g_fatStarted) return FAT_NOT_STARTED;
  if (!path || !count) return FAT_BAD_ARGUMENT;
  *count = 0;
  DIR* dir = opendir(MapPath(path));
  if (!dir) return FAT_OK;
  int n = 0;
  while (readdir(dir) && n < 0x7FFFFFFF) ++n;
  closedir(dir);
  *count = n;
  return FAT_OK;
}

namespace {

bool WriteAll(int fd, const void* data, uint32_t size) {
  const uint8_t* p = static_cast<const uint8_t*>(data);
  uint32_t left = size;
  while (left > 0) {
    ssize_t n = ::write(fd, p, left);
    if (n <= 0) {
      if (n < 0 && errno == EINTR) continue;
      return false;
    }
    p += n;
    left -= uint32_t(n);
  }
  return true;
}

// The file itself overwritten and cut to size: no copy of the old bytes
// survives a failure half way, so this is only the way out where no
// temporary file can be made.
bool RewriteInPlace(const std::string& target, const void* data, uint32_t size) {
  int fd = open(target.c_str(), O_CREAT | O_WRONLY, 0600);
  if (fd < 0) return false;
  bool ok = WriteAll(fd, data, size) && ftruncate(fd, off_t(size)) == 0 && fsync(fd) == 0;
  if (close(fd) != 0) ok = false;
  return ok;
}

}  // namespace

bool GpWriteFileAtomic(const char* path, const void* data, uint32_t size) {
  if (!path || (!data && size)) return false;
  std::string target = MapPath(path);
  // A symbolic link stays a link: the file it names is the one replaced (its
  // temporary beside it, so that the rename stays on one file system). A link
  // to nothing yet is written through.
  struct stat st;
  if (lstat(target.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    char* real = realpath(target.c_str(), nullptr);
    if (!real) {
      if (RewriteInPlace(target, data, size)) return true;
      GpTrace("Cannot write %s: %s\n", target.c_str(), std::strerror(errno));
      return false;
    }
    target = real;
    std::free(real);
  }
  const bool existed = stat(target.c_str(), &st) == 0;
  const std::string temp = target + ".tmp";
  int fd = open(temp.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0600);
  if (fd < 0) {
    // A folder where only the files are writable: the file is rewritten in place.
    GpTrace("Cannot write %s: %s; rewriting the file in place\n", temp.c_str(), std::strerror(errno));
    if (RewriteInPlace(target, data, size)) return true;
    GpTrace("Cannot write %s: %s\n", target.c_str(), std::strerror(errno));
    return false;
  }
  bool ok = WriteAll(fd, data, size);
  // The new file keeps the old one's permissions (a new one is the owner's alone).
  if (ok && existed) fchmod(fd, st.st_mode & 07777);
  // The data must be on the card before the rename makes it the file.
  if (ok && fsync(fd) != 0) ok = false;
  if (close(fd) != 0) ok = false;
  if (ok && std::rename(temp.c_str(), target.c_str()) != 0) ok = false;
  if (!ok) {
    GpTrace("Cannot write %s: %s\n", target.c_str(), std::strerror(errno));
    unlink(temp.c_str());
  }
  return ok;
}
