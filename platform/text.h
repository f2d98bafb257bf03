// Small text helpers shared by every layer: copying into fixed buffers and
// comparing names without regard to the case of ASCII letters.
#pragma once

#include <cstddef>
#include <cstring>

// Copies from into a buffer of size characters, cut to fit, always ended.
// Callers that must not cut (a cut name can be another file's) check the
// length first.
inline void CopyText(char *to, std::size_t size, const char *from) {
  if (size == 0) return;
  const std::size_t n = strnlen(from, size - 1);
  std::memmove(to, from, n);
  to[n] = '\0';
}

inline char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// name as it may be shown on a terminal or in a line of a log: every
// control character (the line feed included) and every byte 0x80-0x9F that
// is not part of a UTF-8 character written as \xHH, into a buffer of size.
inline void ShownText(const char *name, char *out, std::size_t size) {
  static const char hex[] = "0123456789ABCDEF";
  std::size_t at = 0;
  for (const auto *p = reinterpret_cast<const unsigned char *>(name); *p && at + 5 < size;) {
    int length = 0; // of the UTF-8 character starting here, 0 if none
    if (*p >= 0xC2 && *p <= 0xF4) {
      length = *p < 0xE0 ? 2 : *p < 0xF0 ? 3 : 4;
      for (int k = 1; k < length; ++k)
        if ((p[k] & 0xC0) != 0x80) length = 0;
    }
    if (length > 0 && at + static_cast<std::size_t>(length) < size) {
      for (int k = 0; k < length; ++k) out[at++] = static_cast<char>(*p++);
    } else if (*p < 0x20 || *p == 0x7f || (*p >= 0x80 && *p <= 0x9f)) {
      out[at++] = '\\';
      out[at++] = 'x';
      out[at++] = hex[*p >> 4];
      out[at++] = hex[*p & 15];
      ++p;
    } else {
      out[at++] = static_cast<char>(*p++);
    }
  }
  out[at] = '\0';
}

// True when a and b are equal but for the case of ASCII letters.
inline bool SameTextNoCase(const char *a, const char *b) {
  for (; *a && *b; ++a, ++b)
    if (LowerAscii(*a) != LowerAscii(*b)) return false;
  return *a == *b;
}
