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

// True when a and b are equal but for the case of ASCII letters.
inline bool SameTextNoCase(const char *a, const char *b) {
  for (; *a && *b; ++a, ++b)
    if (LowerAscii(*a) != LowerAscii(*b)) return false;
  return *a == *b;
}
