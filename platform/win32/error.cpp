// The system's text of the last error.
#include "platform/error.h"

#include <windows.h>

const char *PlatLastErrorText() {
  static char text[512];
  const DWORD error = GetLastError();
  const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
                                 MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), text, sizeof text, nullptr);
  if (n == 0) wsprintfA(text, "error %lu", error);
  return text;
}
