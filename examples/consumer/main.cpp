// A program of another project: writes a compressed file with the library,
// reads it back whole and from the middle, then asks for a file that is not
// there and for a damaged one, which come back as errors while the program
// goes on.
#include <cstdio>
#include <cstring>
#include <string>

#include "lzx/api.h"

namespace {

bool Fails(const char *what, int status, const VornLzxError &err) {
  std::printf("%s: status %d: %s\n", what, status, err.text[0] == '\n' ? err.text + 1 : err.text);
  return status != VORN_LZX_OK;
}

} // namespace

int main(int argc, char **argv) {
  const char *name = argc > 1 ? argv[1] : "example.lzx";
  std::string text;
  for (int i = 0; text.size() < 100000; ++i) text += "line " + std::to_string(i) + " of an example\n";

  VornLzxError err{};
  VornLzxFile *out = nullptr;
  std::int32_t size = 0;
  if (vorn_lzx_open(name, "wbc", &out, &err) != VORN_LZX_OK ||
      vorn_lzx_write(out, text.data(), static_cast<std::int32_t>(text.size()), &err) != VORN_LZX_OK ||
      vorn_lzx_close(out, &size, &err) != VORN_LZX_OK) {
    std::fprintf(stderr, "%s: %s\n", name, err.text);
    return 1;
  }

  std::string back(text.size(), '\0');
  char middle[16];
  std::int32_t n = 0, m = 0;
  VornLzxFile *in = nullptr;
  if (vorn_lzx_open(name, "rb", &in, &err) != VORN_LZX_OK ||
      vorn_lzx_read(in, back.data(), static_cast<std::int32_t>(back.size()), &n, &err) != VORN_LZX_OK ||
      vorn_lzx_seek(in, 54321, &err) != VORN_LZX_OK || vorn_lzx_read(in, middle, sizeof middle, &m, &err) != VORN_LZX_OK) {
    std::fprintf(stderr, "%s: %s\n", name, err.text);
    vorn_lzx_close(in, nullptr, nullptr);
    return 1;
  }
  vorn_lzx_close(in, nullptr, nullptr);
  const bool same = n == static_cast<std::int32_t>(text.size()) && back == text && m == 16 &&
                    std::memcmp(middle, text.data() + 54321, sizeof middle) == 0;
  std::printf("%s: %zu bytes in %d, %s\n", name, text.size(), static_cast<int>(size), same ? "all back" : "DIFFERENT");

  // Errors are statuses: the program decides what they mean.
  const bool missing = Fails("missing.lzx", vorn_lzx_test("missing.lzx", nullptr, &err), err);
  std::string damaged = std::string(name) + ".damaged";
  std::FILE *f = std::fopen(name, "rb");
  std::string bytes(static_cast<std::size_t>(size), '\0');
  const bool read = f && std::fread(bytes.data(), 1, bytes.size(), f) == bytes.size();
  if (f) std::fclose(f);
  bytes[100] = static_cast<char>(bytes[100] ^ 1);
  f = std::fopen(damaged.c_str(), "wb");
  const bool wrote = f && std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  if (f) std::fclose(f);
  const bool refused = read && wrote && Fails(damaged.c_str(), vorn_lzx_test(damaged.c_str(), nullptr, &err), err);
  std::remove(damaged.c_str());
  return same && missing && refused ? 0 : 1;
}
