// The system's text of the last error.
#include "platform/error.h"

#include <windows.h>

#include "platform/win32/wide.h"

const char *PlatLastErrorText() {
  static char text[512];
  const DWORD error = GetLastError();
  wchar_t wide[512];
  const DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
                                 MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), wide, 512, nullptr);
  if (n == 0 || !Narrow(wide, text, sizeof text)) wsprintfA(text, "error %lu", error);
  return text;
}
