// Trace lines of the program: start-up steps, platform messages and the
// importers' diagnostics. Every library writes them through GpTrace, so that a
// tool which prints documents on standard output can send them elsewhere.
#pragma once

#include <cstdio>

// Longest trace written: the rest of a longer one is dropped.
constexpr int TRACE_MAX_BYTES = 200;
// printf-style; writes to the trace stream (standard output unless changed),
// at most TRACE_MAX_BYTES bytes of it (and the line end of a cut line).
void GpTrace(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Sends the traces to stream from now on (null: standard output again).
void GpSetTraceStream(std::FILE* stream);
