// Names in the locale's encoding. The encoding is read from the environment
// rather than from setlocale, which would change the process's locale under
// a host program; iconv converts when it is not UTF-8.
#include "platform/names.h"

#include <iconv.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// The locale's code set, or "" for UTF-8 (and for the C locale).
std::string Codeset() {
  const char *locale = nullptr;
  for (const char *variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    locale = std::getenv(variable);
    if (locale && *locale) break;
  }
  if (!locale) return "";
  const char *dot = std::strchr(locale, '.');
  if (!dot) return ""; // "C", "POSIX", or a language without a code set
  std::string set(dot + 1, std::strcspn(dot + 1, "@"));
  std::string plain;
  for (const char c : set)
    if (c != '-' && c != '_') plain += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return plain == "utf8" ? "" : set;
}

bool Copy(const char *from, char *out, std::size_t size) {
  const std::size_t n = std::strlen(from);
  if (n >= size) return false;
  std::memcpy(out, from, n + 1);
  return true;
}

bool Convert(const char *to, const char *from, const char *text, char *out, std::size_t size) {
  const iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return Copy(text, out, size); // an unknown set: bytes as they are
  char *in = const_cast<char *>(text), *at = out;
  std::size_t left = std::strlen(text), room = size > 0 ? size - 1 : 0;
  const bool ok = size > 0 && iconv(cd, &in, &left, &at, &room) != static_cast<std::size_t>(-1) &&
                  iconv(cd, nullptr, nullptr, &at, &room) != static_cast<std::size_t>(-1);
  iconv_close(cd);
  if (ok) *at = '\0';
  return ok;
}

} // namespace

bool PlatNameToUtf8(const char *name, char *out, std::size_t size) {
  const std::string set = Codeset();
  return set.empty() ? Copy(name, out, size) : Convert("UTF-8", set.c_str(), name, out, size);
}

bool PlatNameFromUtf8(const char *utf8, char *out, std::size_t size) {
  const std::string set = Codeset();
  return set.empty() ? Copy(utf8, out, size) : Convert(set.c_str(), "UTF-8", utf8, out, size);
}
