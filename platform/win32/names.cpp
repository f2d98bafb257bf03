// The program's names are UTF-8 on Windows already (see wide.h).
#include "platform/names.h"

#include <cstring>

namespace {
bool Copy(const char *from, char *out, std::size_t size) {
  const std::size_t n = std::strlen(from);
  if (n >= size) return false;
  std::memcpy(out, from, n + 1);
  return true;
}
} // namespace

bool PlatNameToUtf8(const char *name, char *out, std::size_t size) { return Copy(name, out, size); }

bool PlatNameFromUtf8(const char *utf8, char *out, std::size_t size) { return Copy(utf8, out, size); }
