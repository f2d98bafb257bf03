// System facts on Windows.
#include "platform/system.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

std::uint16_t PlatSystemLanguage() { return GetSystemDefaultLangID(); }

std::uint32_t PlatSystemVersion() { return GetVersion(); }

void PlatTempDirectory(char *out, std::uint32_t capacity) { GetTempPathA(capacity, out); }

bool PlatCurrentDirectory(char *out, std::uint32_t capacity) {
  const DWORD n = GetCurrentDirectoryA(capacity, out);
  if (n > 0 && n < capacity) return true;
  if (capacity > 0) out[0] = '\0';
  return false;
}

void PlatProgramDirectory(const char *name, char *out, std::uint32_t capacity) {
  // "C:\Program Files\NAME" on the drive that holds the Windows directory.
  char windows[MAX_PATH] = {};
  GetWindowsDirectoryA(windows, sizeof windows);
  if (capacity == 0) return;
  std::snprintf(out, capacity, "C:\\Program Files\\%s", name);
  if (windows[0] != '\0') out[0] = windows[0];
}

bool PlatProbeRunning(const char *name) {
  // A named 32-byte mapping backed by the paging file; its handle stays open
  // (and inheritable) until the process ends, so the name stays taken.
  SECURITY_ATTRIBUTES attributes{sizeof attributes, nullptr, TRUE};
  const HANDLE h = CreateFileMappingA(INVALID_HANDLE_VALUE, &attributes, PAGE_READONLY, 0, 32, name);
  if (h == nullptr) return true;
  return GetLastError() == ERROR_ALREADY_EXISTS;
}


// The system's random source (RtlGenRandom, in advapi32 since Windows XP).
extern "C" BOOLEAN WINAPI SystemFunction036(PVOID buffer, ULONG length);

void PlatRandomBytes(void *out, std::uint32_t count) {
  if (SystemFunction036(out, count)) return;
  // Without it: the clock and the process, enough for names created exclusively.
  auto *p = static_cast<unsigned char *>(out);
  DWORD seed = GetTickCount() ^ (GetCurrentProcessId() << 16);
  for (std::uint32_t i = 0; i < count; ++i) {
    seed = seed * 1103515245u + 12345u;
    p[i] = static_cast<unsigned char>(seed >> 16);
  }
}
