// System facts on Windows.
#include "platform/system.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/win32/wide.h"

std::uint16_t PlatSystemLanguage() { return GetSystemDefaultLangID(); }

std::uint32_t PlatSystemVersion() { return GetVersion(); }

void PlatTempDirectory(char *out, std::uint32_t capacity) {
  wchar_t temp[MAX_PATH + 1];
  const DWORD n = GetTempPathW(MAX_PATH + 1, temp);
  if (n == 0 || n > MAX_PATH || !Narrow(temp, out, capacity)) {
    if (capacity > 0) out[0] = '\0';
  }
}

bool PlatCurrentDirectory(char *out, std::uint32_t capacity) {
  wchar_t current[MAX_PATH * 4];
  const DWORD n = GetCurrentDirectoryW(MAX_PATH * 4, current);
  if (n > 0 && n < MAX_PATH * 4 && Narrow(current, out, capacity)) return true;
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

// The runtime's own parse of the wide command line, so that the words are
// the ones main was given, only in UTF-8.
extern "C" int __wgetmainargs(int *argc, wchar_t ***argv, wchar_t ***env, int glob, int *startInfo);

void PlatNameArguments(int *argc, char ***argv) {
  int count = 0, startInfo = 0;
  wchar_t **wide = nullptr, **env = nullptr;
  if (__wgetmainargs(&count, &wide, &env, 0, &startInfo) != 0 || count != *argc) return;
  static std::string words[256];
  static char *pointers[257];
  if (count > 256) return;
  for (int i = 0; i < count; ++i) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return;
    words[i].assign(static_cast<std::size_t>(n - 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, words[i].data(), n, nullptr, nullptr);
  }
  for (int i = 0; i < count; ++i) pointers[i] = words[i].data();
  pointers[count] = nullptr;
  *argv = pointers;
}
