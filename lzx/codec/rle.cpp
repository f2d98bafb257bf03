#include "lzx/codec/rle.h"

#include <cstring>

#include "fileio/fatal.h"
#include "lzx/codec/bits.h"

std::int32_t RlePack(const std::uint8_t *block) {
  std::int32_t q = 0, out = 0;
  while (q < kBlockSize) {
    const std::uint8_t v = block[q];
    std::int32_t r = 1;
    if (q + 2 < kBlockSize && block[q + 1] == v && block[q + 2] == v) {
      r = 3;
      while (r < 16 && q + r < kBlockSize && block[q + r] == v) ++r;
    }
    if (r > 1 || (v & 0xf0) == 0x80) BlockBuffer[out++] = static_cast<std::uint8_t>(r + 127);
    BlockBuffer[out++] = v;
    q += r;
  }
  if (q != kBlockSize) FatalMessage("RlePack: BUG");
  if (out < kBlockSize) return out;
  std::memcpy(BlockBuffer, block, kBlockSize);
  return kBlockSize;
}

void RleUnpack(std::int32_t length, std::uint8_t *destination) {
  if (length >= kBlockSize) {
    if (length > kBlockSize) FatalMessage("RleUnpack: input > output");
    std::memcpy(destination, BlockBuffer, kBlockSize);
    return;
  }
  std::int32_t p = 0, out = 0;
  while (out < kBlockSize) {
    // Eight plain bytes at a time while no escape (0x80-0x8f) is among them.
    // Every item yields at least one byte from at most two, so p stays at or
    // below 2 * out and the word read stays inside BlockBuffer.
    if (out + 8 <= kBlockSize) {
      const std::uint64_t w = LoadWord64(BlockBuffer + p);
      const std::uint64_t escapes = (w & 0xf0f0f0f0f0f0f0f0u) ^ 0x8080808080808080u; // 0 byte = escape
      const std::uint64_t found = (escapes - 0x0101010101010101u) & ~escapes & 0x8080808080808080u;
      // The plain bytes before the first escape (the lowest flag is exact)
      // are stored with the word; what it writes past them, the following
      // items write over.
      StoreWord64(destination + out, w);
      const int plain = found == 0 ? 8 : __builtin_ctzll(found) >> 3;
      p += plain;
      out += plain;
      if (plain == 8) continue;
    }
    const std::uint8_t c = BlockBuffer[p++];
    if ((c & 0xf0) != 0x80) {
      destination[out++] = c;
      continue;
    }
    const std::uint8_t v = BlockBuffer[p++];
    const std::int32_t copies = c - 127;
    // Copies past the 16384th byte are counted but not stored.
    const std::int32_t stored = copies < kBlockSize - out ? copies : kBlockSize - out;
    std::memset(destination + out, v, static_cast<std::size_t>(stored));
    out += copies;
  }
  if (p != length) FatalMessage("RleUnpack: too many bytes read");
  if (out != kBlockSize) FatalMessage("RleUnpack: too many bytes written");
}
