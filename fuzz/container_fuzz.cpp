// Any bytes as a compressed file: read from the start to the end, then at
// positions taken from the input's last bytes through Hseek.
#include <cstring>

#include "fuzz/harness.h"
#include "lzx/lzx.h"

namespace {

std::uint8_t g_buffer[40000];
std::uint8_t g_seeds[8];
std::size_t g_seedCount;

void ReadEverything() {
  HILE *h = Hopen("in.lzx", "rb");
  std::int32_t chunk = 1;
  while (Hread(g_buffer, chunk, h) > 0) chunk = chunk * 7 % 39989 + 1; // varied sizes across blocks
  const std::int32_t length = h->header.length;
  for (std::size_t i = 0; i + 4 <= g_seedCount && length > 0; i += 4) {
    std::uint32_t r;
    std::memcpy(&r, g_seeds + i, 4);
    Hseek(h, static_cast<std::int32_t>(r % static_cast<std::uint32_t>(length)));
    Hread(g_buffer, static_cast<std::int32_t>(r >> 17), h);
    Hgetc(h);
  }
  Hclose(h);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  fuzz::SetUp();
  fuzz::Clean();
  fuzz::WriteBytes("in.lzx", data, size);
  g_seedCount = size < 8 ? 0 : 8;
  if (g_seedCount) std::memcpy(g_seeds, data + size - 8, 8);
  FUZZ_GUARDED(ReadEverything());
  HreleaseAll();
  return 0;
}
