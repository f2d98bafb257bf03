#include "lzx/codec/bits.h"

#include <bit>

static_assert(std::endian::native == std::endian::little, "the word accesses assume a little-endian host");

alignas(8) thread_local constinit std::uint8_t BlockBuffer[kBlockBufferSize] = {};
alignas(8) thread_local constinit std::uint8_t BitBuffer[kBitBufferSize + kBitSlack] = {};
thread_local constinit std::int32_t BitPos = {};

const std::uint32_t BitMask[25] = {
    0x0,     0x1,     0x3,     0x7,      0xf,      0x1f,     0x3f,     0x7f,     0xff,
    0x1ff,   0x3ff,   0x7ff,   0xfff,    0x1fff,   0x3fff,   0x7fff,   0xffff,   0x1ffff,
    0x3ffff, 0x7ffff, 0xfffff, 0x1fffff, 0x3fffff, 0x7fffff, 0xffffff,
};

thread_local constinit std::uint8_t BitLen[256] = {};

namespace {
thread_local constinit bool g_bitLenBuilt = false;
}

void BitLenInit() {
  if (g_bitLenBuilt) return;
  for (int v = 0; v < 256; ++v) BitLen[v] = static_cast<std::uint8_t>(std::bit_width(static_cast<unsigned>(v)));
  g_bitLenBuilt = true;
}
