#include "fileio/log.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "fileio/file.h"

namespace {
FileRef g_log;
bool g_held = false;
} // namespace

std::int32_t LogPrintf(const char *format, ...) {
  if (!format && g_held) {
    FileClose(&g_log);
    g_held = false;
    return 0;
  }
  if (!g_held) {
    FileRefInit(&g_log, 1, "LOG.LOG");
    FileOpenAppend(&g_log);
  }
  if (!format) {
    g_held = true;
    return 0;
  }
  char text[200];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args); // cut to the buffer
  va_end(args);
  const auto length = static_cast<std::int32_t>(std::strlen(text));
  FileWrite(&g_log, length, text);
  if (!g_held) FileClose(&g_log);
  return length;
}

int LogStart(int) { return 0; }
void LogLine(const char *, ...) {}
void LogStop() {}
