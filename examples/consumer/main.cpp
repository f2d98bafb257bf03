// Writes a compressed file with the library, reads it back whole and from the
// middle, and says whether everything came back.
#include <cstdio>
#include <cstring>
#include <string>

#include "lzx/lzx.h"

int main(int argc, char **argv) {
  const char *name = argc > 1 ? argv[1] : "example.lzx";
  std::string text;
  for (int i = 0; text.size() < 100000; ++i) text += "line " + std::to_string(i) + " of an example\n";

  HILE *out = Hopen(name, "wb");
  Hwrite(text.data(), static_cast<std::int32_t>(text.size()), out);
  const std::int32_t size = Hclose(out);

  std::string back(text.size(), '\0');
  HILE *in = Hopen(name, "rb");
  const std::int32_t n = Hread(back.data(), static_cast<std::int32_t>(back.size()), in);
  Hseek(in, 54321);
  char middle[16];
  Hread(middle, sizeof middle, in);
  Hclose(in);

  const bool same = n == static_cast<std::int32_t>(text.size()) && back == text &&
                    std::memcmp(middle, text.data() + 54321, sizeof middle) == 0;
  std::printf("%s: %zu bytes in %d, %s\n", name, text.size(), static_cast<int>(size), same ? "all back" : "DIFFERENT");
  return same ? 0 : 1;
}
