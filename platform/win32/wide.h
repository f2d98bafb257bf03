// The program's names and texts are UTF-8; the system's wide calls take
// UTF-16. Both directions, for the Windows implementations only.
#pragma once

#include <windows.h>

#include <string>

// text as UTF-16. A text that is not UTF-8 (a list file written in the
// system's code page, say) is read in that code page, as the narrow calls did.
inline std::wstring Wide(const char *text) {
  if (!text) return std::wstring();
  for (UINT page : {static_cast<UINT>(CP_UTF8), static_cast<UINT>(CP_ACP)}) {
    const DWORD flags = page == CP_UTF8 ? MB_ERR_INVALID_CHARS : 0;
    const int n = MultiByteToWideChar(page, flags, text, -1, nullptr, 0);
    if (n <= 0) continue;
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(page, flags, text, -1, out.data(), n);
    out.resize(static_cast<std::size_t>(n - 1));
    return out;
  }
  return std::wstring();
}

// wide as UTF-8 into out of capacity bytes; false (out empty) when it does not fit.
inline bool Narrow(const wchar_t *wide, char *out, std::size_t capacity) {
  if (capacity == 0) return false;
  const int n = WideCharToMultiByte(CP_UTF8, 0, wide, -1, out, static_cast<int>(capacity), nullptr, nullptr);
  if (n <= 0) {
    out[0] = '\0';
    return false;
  }
  return true;
}
