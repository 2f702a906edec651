// File reading shared by the benchmarks: a whole file in a new malloc'd
// buffer with a NUL after its bytes, as the loader is handed it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>

// The file at path; null when it cannot be read (or is empty). *length gets
// its size.
inline char* ReadBenchFile(const char* path, size_t* length) {
  FILE* f = fopen(path, "rb");
  if (!f) return nullptr;
  fseek(f, 0, SEEK_END);
  const long size = ftell(f);
  fseek(f, 0, SEEK_SET);
  char* data = size > 0 ? static_cast<char*>(malloc(size_t(size) + 1)) : nullptr;
  if (data && fread(data, 1, size_t(size), f) != size_t(size)) {
    free(data);
    data = nullptr;
  }
  fclose(f);
  if (data) data[size] = '\0';
  *length = size > 0 ? size_t(size) : 0;
  return data;
}

inline char* ReadBenchFile(const char* path, int32_t* length) {
  size_t n = 0;
  char* data = ReadBenchFile(path, &n);
  *length = int32_t(n);
  return data;
}
