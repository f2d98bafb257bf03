#include "lzx/block.h"

#include <cstring>

#include "lzx/codec/huf.h"
#include "lzx/codec/lz.h"
#include "lzx/codec/rows.h"

std::int32_t BlockEncode(const std::uint8_t *plain, std::int32_t flags, std::uint8_t *stored) {
  std::int32_t at = 0;
  const std::uint8_t *source = plain;
  if (flags & kFlagRows) {
    // The row transform writes into BitBuffer, which serves as scratch here.
    const std::int32_t rows = SorPack(plain, BitBuffer, stored + 1);
    stored[0] = static_cast<std::uint8_t>(rows);
    at = 1 + rows;
    source = BitBuffer;
  }
  const std::int32_t length = RlePack(source);
  const std::int32_t bits = (flags & kFlagHuffman) ? HufPack(length) : LzxPack(length);
  std::memcpy(stored + at, &bits, 4);
  at += 4;
  const std::int32_t bytes = (bits + 7) / 8;
  std::memcpy(stored + at, BitBuffer, static_cast<std::size_t>(bytes));
  return at + bytes;
}

std::int32_t BlockStoredSize(const std::uint8_t *stored, std::int32_t available, std::int32_t flags) {
  const std::int32_t at = (flags & kFlagRows) ? (available >= 1 ? 1 + stored[0] : available + 1) : 0;
  if (available - at < 4) return -1;
  std::int32_t bits;
  std::memcpy(&bits, stored + at, 4);
  if (bits < 0 || bits > kBitBufferSize * 8) return -1;
  const std::int32_t size = at + 4 + (bits + 7) / 8;
  return size <= available ? size : -1;
}

BlockFault BlockFraming(const std::uint8_t *stored, std::int32_t size, std::int32_t flags, std::int32_t *rows,
                        std::int32_t *bits) {
  std::int32_t at = 0;
  *rows = 0;
  if (flags & kFlagRows) {
    if (size < 1) return BlockFault::Size;
    *rows = stored[0];
    at = 1 + *rows;
  }
  if (size - at < 4) return BlockFault::Size;
  std::memcpy(bits, stored + at, 4);
  // A damaged count must not lead the decoder past BitBuffer.
  if (*bits < 0 || *bits > kBitBufferSize * 8) return BlockFault::BitCount;
  if (size - at - 4 != (*bits + 7) / 8) return BlockFault::Size;
  return BlockFault::None;
}

BlockFault BlockDecode(const std::uint8_t *stored, std::int32_t size, std::int32_t flags, std::uint8_t *plain) {
  std::int32_t rows = 0, bits = 0;
  const BlockFault fault = BlockFraming(stored, size, flags, &rows, &bits);
  if (fault != BlockFault::None) return fault;
  const std::uint8_t *table = stored + 1;
  const std::int32_t at = ((flags & kFlagRows) ? 1 + rows : 0) + 4;
  std::memcpy(BitBuffer, stored + at, static_cast<std::size_t>((bits + 7) / 8));
  const std::int32_t length = (flags & kFlagHuffman) ? HufUnpack(bits) : LzxUnpack(bits);
  if (flags & kFlagRows) {
    RleUnpack(length, BitBuffer);
    SorUnpack(BitBuffer, plain, table, rows);
  } else {
    RleUnpack(length, plain);
  }
  return BlockFault::None;
}
