// Helpers for tests of the block codecs.
#pragma once

#include <cstring>

#include "lzx/codec/bits.h"
#include "tests/support.h"

namespace vorn_test {

// The bytes a coded block of n bits stores.
inline Bytes StoredBits(std::int32_t n) {
  return Bytes(BitBuffer, BitBuffer + (n + 7) / 8);
}

// Loads stored bytes into BitBuffer as the container does before decoding.
inline void LoadBits(const Bytes &stored) {
  std::memcpy(BitBuffer, stored.data(), stored.size());
}

inline void SetBlock(const Bytes &data) {
  std::memcpy(BlockBuffer, data.data(), data.size());
}

inline Bytes GetBlock(std::int32_t n) { return Bytes(BlockBuffer, BlockBuffer + n); }

inline Bytes Repeat(std::size_t n, std::uint8_t v) { return Bytes(n, v); }

inline Bytes Text(const std::string &s) { return Bytes(s.begin(), s.end()); }

} // namespace vorn_test
