// File names in the system's encoding, to and from UTF-8: on POSIX the
// locale's (LC_ALL, LC_CTYPE, LANG; the C locale counts as UTF-8, as file
// names on such systems almost always are), on Windows UTF-8 itself, which
// the platform layer hands to the system's wide calls.
#pragma once

#include <cstddef>

// false when the text is not valid in the encoding it comes from, a
// character has no place in the one it goes to, or out is too small.
bool PlatNameToUtf8(const char *name, char *out, std::size_t size);
bool PlatNameFromUtf8(const char *utf8, char *out, std::size_t size);
