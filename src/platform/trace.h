// Trace lines of the program: start-up steps, platform messages and the
// importers' diagnostics. Every library writes them through GpTrace, so that a
// tool which prints documents on standard output can send them elsewhere.
#pragma once

#include <cstdio>

// printf-style; writes to the trace stream (standard output unless changed).
void GpTrace(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Sends the traces to stream from now on (null: standard output again).
void GpSetTraceStream(std::FILE* stream);
