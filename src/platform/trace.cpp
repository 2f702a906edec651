// The trace seam: one stream for every trace line of the program.
#include "platform/trace.h"

#include <cstdarg>

namespace {
std::FILE* g_traceStream = nullptr;  // null: standard output
}  // namespace

void GpTrace(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  std::FILE* stream = g_traceStream ? g_traceStream : stdout;
  std::vfprintf(stream, format, args);
  va_end(args);
  // Each trace is seen at once, also when standard output is a file or a pipe.
  std::fflush(stream);
}

void GpSetTraceStream(std::FILE* stream) {
  std::fflush(g_traceStream ? g_traceStream : stdout);
  g_traceStream = stream;
}
