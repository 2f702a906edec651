// The trace seam: one stream for every trace line of the program.
#include "platform/trace.h"

#include <cstdarg>
#include <cstring>

namespace {
std::FILE* g_traceStream = nullptr;  // null: standard output
}  // namespace

void GpTrace(const char* format, ...) {
  // A trace is cut at TRACE_MAX_BYTES: a name or number that a hostile file
  // makes megabytes long must not flood the output. A cut line still ends
  // its line when the whole one would have.
  char line[TRACE_MAX_BYTES + 1];
  std::va_list args;
  va_start(args, format);
  const int length = std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  if (length < 0) return;
  std::FILE* stream = g_traceStream ? g_traceStream : stdout;
  std::fputs(line, stream);
  const size_t formatLength = std::strlen(format);
  if (length > TRACE_MAX_BYTES && formatLength > 0 && format[formatLength - 1] == '\n') std::fputc('\n', stream);
  // Each trace is seen at once, also when standard output is a file or a pipe.
  std::fflush(stream);
}

void GpSetTraceStream(std::FILE* stream) {
  std::fflush(g_traceStream ? g_traceStream : stdout);
  g_traceStream = stream;
}
