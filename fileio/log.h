// The append-only log file "LOG.LOG" and the three diagnostic hooks.
#pragma once

#include <cstdint>

// Appends the formatted text (cut to 200 characters) to LOG.LOG and returns
// its length. A null format opens the log for a series of writes, and the
// next null format closes it again.
std::int32_t LogPrintf(const char *format, ...) __attribute__((format(printf, 1, 2)));

// Diagnostic hooks: switched on by "-log", they do nothing.
int LogStart(int flag);
void LogLine(const char *format, ...) __attribute__((format(printf, 1, 2)));
void LogStop();
