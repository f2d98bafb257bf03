// The settings store is the per-user registry: HKEY_CURRENT_USER\Software\PRODUCT.
#include "platform/settings.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

#include "platform/win32/wide.h"

struct PlatSettings {
  HKEY key;
};

PlatSettings *PlatSettingsOpen(const char *product) {
  char path[40];
  std::snprintf(path, sizeof path, "Software\\%s", product);
  HKEY key = nullptr;
  DWORD disposition = 0;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, const_cast<char *>(product), REG_OPTION_NON_VOLATILE,
                      KEY_ALL_ACCESS, nullptr, &key, &disposition) != ERROR_SUCCESS)
    return nullptr;
  return new PlatSettings{key};
}

bool PlatSettingsQuery(PlatSettings *settings, const char *value, char *out, std::uint32_t capacity) {
  // Read wide, so that a folder named outside the system's code page comes
  // through whole, and handed on as UTF-8 like every other name.
  wchar_t text[1024] = {};
  DWORD size = sizeof text - sizeof(wchar_t), type = 0;
  if (RegQueryValueExW(settings->key, Wide(value).c_str(), nullptr, &type, reinterpret_cast<BYTE *>(text), &size) !=
      ERROR_SUCCESS)
    return false;
  text[size / sizeof(wchar_t)] = L'\0';
  if (type != REG_SZ && type != REG_EXPAND_SZ) { // bytes as they are, as the narrow call gave them
    if (size > capacity) return false;
    std::memcpy(out, text, size);
    return true;
  }
  return Narrow(text, out, capacity);
}

void PlatSettingsClose(PlatSettings *settings) {
  RegCloseKey(settings->key);
  delete settings;
}
