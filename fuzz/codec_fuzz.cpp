// One block decoder on any bytes. The first byte picks the decoder, the next
// four give the bit count (or length), the rest is the coded block:
//   0 LzxUnpack, 1 HufUnpack, 2 RleUnpack, 3 SorUnpack (next byte: rows).
#include <cstring>

#include "fuzz/harness.h"
#include "lzx/codec/bits.h"
#include "lzx/codec/huf.h"
#include "lzx/codec/lz.h"
#include "lzx/codec/rle.h"
#include "lzx/codec/rows.h"

namespace {

std::uint8_t g_out[kBlockSize];
std::uint8_t g_table[256];
std::int32_t g_count;
int g_which;

void Decode() {
  switch (g_which) {
  case 0: LzxUnpack(g_count); break;
  case 1: HufUnpack(g_count); break;
  case 2: RleUnpack(g_count, g_out); break;
  default: SorUnpack(BlockBuffer, g_out, g_table, g_count & 0xff); break;
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  fuzz::SetUp();
  if (size < 5) return 0;
  g_which = data[0] % 4;
  std::memcpy(&g_count, data + 1, 4);
  data += 5;
  size -= 5;
  if (g_which <= 1) {
    std::memset(BitBuffer, 0, sizeof BitBuffer);
    std::memcpy(BitBuffer, data, size < kBitBufferSize ? size : kBitBufferSize);
  } else if (g_which == 2) {
    std::memset(BlockBuffer, 0, sizeof BlockBuffer);
    std::memcpy(BlockBuffer, data, size < kBlockBufferSize ? size : kBlockBufferSize);
  } else {
    const std::size_t t = size < 256 ? size : 256;
    std::memset(g_table, 0, sizeof g_table);
    std::memcpy(g_table, data, t);
    std::memset(BlockBuffer, 0, kBlockSize);
    std::memcpy(BlockBuffer, data + t, size - t < kBlockSize ? size - t : kBlockSize);
  }
  FUZZ_GUARDED(Decode());
  return 0;
}
