// The settings store is the per-user registry: HKEY_CURRENT_USER\Software\PRODUCT.
#include "platform/settings.h"

#include <windows.h>

#include <cstdio>

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
  DWORD size = capacity;
  return RegQueryValueExA(settings->key, value, nullptr, nullptr, reinterpret_cast<BYTE *>(out), &size) ==
         ERROR_SUCCESS;
}

void PlatSettingsClose(PlatSettings *settings) {
  RegCloseKey(settings->key);
  delete settings;
}
