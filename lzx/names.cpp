// Windows-1252 to and from UTF-8, by table: the conversion must give the same
// names on every system, so it does not depend on the system's tables.
#include "lzx/names.h"

#include <cstdint>

#include "platform/names.h"
#include "lzx/lzx.h"

namespace {

// The characters of the bytes 0x80-0x9F. The five bytes Windows-1252 leaves
// undefined keep their C1 code points, as the system's own conversion does,
// so that every byte has one character and back.
constexpr std::uint16_t kHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

std::uint32_t CodePoint(unsigned char byte) { return byte >= 0x80 && byte < 0xA0 ? kHigh[byte - 0x80] : byte; }

// The byte of code point c, or -1.
int ByteOf(std::uint32_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<int>(c);
  for (int i = 0; i < 32; ++i)
    if (kHigh[i] == c) return 0x80 + i;
  return -1;
}

// The next character of a UTF-8 text at *p, advancing p; -1 when the bytes
// there are no well-formed character (overlong forms and surrogates included).
std::int32_t NextUtf8(const unsigned char *&p) {
  const unsigned char lead = *p++;
  if (lead < 0x80) return lead;
  int more = 0;
  std::uint32_t c = 0, least = 0;
  if (lead >= 0xC2 && lead <= 0xDF) more = 1, c = lead & 0x1F, least = 0x80;
  else if (lead >= 0xE0 && lead <= 0xEF) more = 2, c = lead & 0x0F, least = 0x800;
  else if (lead >= 0xF0 && lead <= 0xF4) more = 3, c = lead & 0x07, least = 0x10000;
  else return -1;
  for (int k = 0; k < more; ++k, ++p) {
    if ((*p & 0xC0) != 0x80) return -1;
    c = (c << 6) | (*p & 0x3F);
  }
  if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return -1;
  return static_cast<std::int32_t>(c);
}

} // namespace

bool Cp1252FromUtf8(const char *utf8, char *out, std::size_t size) {
  std::size_t n = 0;
  for (auto *p = reinterpret_cast<const unsigned char *>(utf8); *p;) {
    const std::int32_t c = NextUtf8(p);
    const int byte = c < 0 ? -1 : ByteOf(static_cast<std::uint32_t>(c));
    if (byte < 0 || n + 1 >= size) return false;
    out[n++] = static_cast<char>(byte);
  }
  if (size == 0) return false;
  out[n] = '\0';
  return true;
}

bool Cp1252ToUtf8(const char *cp1252, char *out, std::size_t size) {
  std::size_t n = 0;
  for (auto *p = reinterpret_cast<const unsigned char *>(cp1252); *p; ++p) {
    const std::uint32_t c = CodePoint(*p);
    const std::size_t length = c < 0x80 ? 1 : c < 0x800 ? 2 : 3;
    if (n + length >= size) return false;
    if (length == 1) {
      out[n++] = static_cast<char>(c);
    } else if (length == 2) {
      out[n++] = static_cast<char>(0xC0 | (c >> 6));
      out[n++] = static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out[n++] = static_cast<char>(0xE0 | (c >> 12));
      out[n++] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out[n++] = static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  if (size == 0) return false;
  out[n] = '\0';
  return true;
}

bool ArchiveNameFromSystem(const char *name, char *out, std::size_t size) {
  char utf8[3 * kPathSize];
  return PlatNameToUtf8(name, utf8, sizeof utf8) && Cp1252FromUtf8(utf8, out, size);
}

bool ArchiveNameToSystem(const char *stored, char *out, std::size_t size) {
  char utf8[3 * kPathSize];
  return Cp1252ToUtf8(stored, utf8, sizeof utf8) && PlatNameFromUtf8(utf8, out, size);
}

const char *ArchiveNameForText(const char *stored, char *out, std::size_t size) {
  if (!ArchiveNameToSystem(stored, out, size) && size > 0) {
    std::size_t n = 0;
    for (; stored[n] && n + 1 < size; ++n) out[n] = stored[n];
    out[n] = '\0';
  }
  return out;
}
