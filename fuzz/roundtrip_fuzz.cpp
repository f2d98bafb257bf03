// Any bytes compressed in every coding mode must come back exactly. The only
// refusal allowed is the row transform's, for a block without an empty row.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz/harness.h"
#include "lzx/lzx.h"

namespace {

const std::uint8_t *g_data;
std::int32_t g_size;
char g_mode[4];
std::vector<std::uint8_t> g_back;

void Compress() {
  HILE *h = Hopen("rt.lzx", g_mode);
  // In two pieces, so that writes across block boundaries are covered.
  const std::int32_t first = g_size / 3;
  if (first > 0) Hwrite(g_data, first, h);
  if (g_size - first > 0) Hwrite(g_data + first, g_size - first, h);
  Hclose(h);
}

void Decompress() {
  HILE *h = Hopen("rt.lzx", "rb");
  g_back.assign(static_cast<std::size_t>(g_size) + 1, 0);
  const std::int32_t n = Hread(g_back.data(), g_size + 1, h);
  g_back.resize(static_cast<std::size_t>(n));
  Hclose(h);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  fuzz::SetUp();
  fuzz::Clean();
  g_data = data;
  g_size = static_cast<std::int32_t>(size > 1000000 ? 1000000 : size);
  for (const CodingMode &m : kCodingModes) {
    g_mode[0] = 'w', g_mode[1] = 'b', g_mode[2] = m.letter, g_mode[3] = '\0';
    if (!FUZZ_GUARDED(Compress())) {
      HreleaseAll();
      if ((m.flag & kFlagRows) != 0 && std::strcmp(fuzz::g_lastFatal, "SorPack: no empty rows") == 0)
        continue; // a block the row transform cannot take
      std::abort();
    }
    if (!FUZZ_GUARDED(Decompress())) std::abort();
    if (g_back.size() != static_cast<std::size_t>(g_size) ||
        (g_size > 0 && std::memcmp(g_back.data(), data, g_back.size()) != 0))
      std::abort();
  }
  return 0;
}
