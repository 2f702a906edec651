// The trace seam: one stream for every trace line of the program.
#include "platform/trace.h"

#include <cstdarg>

namespace {
std::FILE* g_traceStream = nullptr;  // null: standard output
}  // namespace

void GpTrace(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  std::vfprintf(g_traceStream ? g_traceStream : stdout, format, args);
  va_end(args);
}

void GpSetTraceStream(std::FILE* stream) {
  std::fflush(g_traceStream ? g_traceStream : stdout);
  g_traceStream = stream;
}
