// Any bytes as a compressed file: read from the start to the end, then at
// positions taken from the input's last bytes through Hseek. Whatever the
// reader accepts must be exactly what its blocks decode to, taken one by one
// from the raw bytes: the reader may never serve bytes that no block produced.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz/harness.h"
#include "lzx/block.h"
#include "lzx/lzx.h"

namespace {

std::uint8_t g_buffer[40000];
std::uint8_t g_seeds[8];
std::size_t g_seedCount;
std::vector<std::uint8_t> g_served, g_expected;
std::uint8_t g_plain[kLzxBlock];

std::int32_t IntAt(const std::uint8_t *p) {
  std::int32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

// The content as the blocks of the raw file decode, each on its own, found
// through the block index (the reader has checked header and index by now).
void DecodeByIndex(const std::uint8_t *data, std::size_t size) {
  const std::int32_t indexOffset = IntAt(data + 4), length = IntAt(data + 8), flags = IntAt(data + 12);
  const auto blocks = static_cast<std::int32_t>((size - static_cast<std::size_t>(indexOffset)) / 4);
  g_expected.clear();
  for (std::int32_t k = 0; k < blocks; ++k) {
    const std::int32_t start = IntAt(data + indexOffset + 4 * k);
    const std::int32_t end = k + 1 < blocks ? IntAt(data + indexOffset + 4 * (k + 1)) : indexOffset;
    if (BlockDecode(data + start, end - start, flags, g_plain) != BlockFault::None) std::abort();
    g_expected.insert(g_expected.end(), g_plain, g_plain + kLzxBlock);
  }
  g_expected.resize(static_cast<std::size_t>(length));
}

void ReadEverything(const std::uint8_t *data, std::size_t size) {
  HILE *h = Hopen("in.lzx", "rb");
  std::int32_t chunk = 1;
  g_served.clear();
  for (std::int32_t n; (n = Hread(g_buffer, chunk, h)) > 0; chunk = chunk * 7 % 39989 + 1) // varied sizes
    g_served.insert(g_served.end(), g_buffer, g_buffer + n);
  const std::int32_t length = h->header.length;
  std::vector<std::pair<std::int32_t, std::vector<std::uint8_t>>> seeks;
  for (std::size_t i = 0; i + 4 <= g_seedCount && length > 0; i += 4) {
    std::uint32_t r;
    std::memcpy(&r, g_seeds + i, 4);
    const auto at = static_cast<std::int32_t>(r % static_cast<std::uint32_t>(length));
    Hseek(h, at);
    const std::int32_t n = Hread(g_buffer, static_cast<std::int32_t>(r >> 17), h);
    seeks.emplace_back(at, std::vector<std::uint8_t>(g_buffer, g_buffer + n));
    Hgetc(h);
  }
  Hclose(h);
  // Accepted: compare with the blocks decoded one by one.
  DecodeByIndex(data, size);
  if (g_served != g_expected) std::abort();
  for (const auto &[at, got] : seeks)
    if (!std::equal(got.begin(), got.end(), g_expected.begin() + at)) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  fuzz::SetUp();
  fuzz::Clean();
  fuzz::WriteBytes("in.lzx", data, size);
  g_seedCount = size < 8 ? 0 : 8;
  if (g_seedCount) std::memcpy(g_seeds, data + size - 8, 8);
  FUZZ_GUARDED(ReadEverything(data, size));
  HreleaseAll();
  return 0;
}
