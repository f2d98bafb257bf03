// Movable blocks from the global heap, and the system's text of the last error.
#include "platform/memory.h"

#include <windows.h>

PlatBlock PlatBlockAllocate(std::uint32_t size) { return GlobalAlloc(GMEM_MOVEABLE, size); }

void *PlatBlockLock(PlatBlock block) { return GlobalLock(static_cast<HGLOBAL>(block)); }

void PlatBlockUnlock(PlatBlock block) { GlobalUnlock(static_cast<HGLOBAL>(block)); }

void PlatBlockRelease(PlatBlock block) { GlobalFree(static_cast<HGLOBAL>(block)); }

const char *PlatLastErrorText() {
  static char text[512];
  const DWORD error = GetLastError();
  const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
                                 MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), text, sizeof text, nullptr);
  if (n == 0) wsprintfA(text, "error %lu", error);
  return text;
}
