// The checks of a checked "LZX1" file (flag kFlagChecked): two 32-bit checks
// per block, of its 16384 uncompressed bytes and of its stored bytes (so
// that damage is found even where it would decode to the same bytes), a
// check of the whole content built from the first ones, and a check of the
// file's framing (header, block index, block checks).
// All are from the xxHash family: XXH3 for the block bytes (the one pass over
// the data, fast enough to verify every block as it is decoded), XXH64 for
// the short sequences.
#pragma once

#include <cstdint>

inline constexpr std::int32_t kTrailerMagic = 0x43585a4c; // "LZXC"
// Past the block checks: the content check (8 bytes), the framing check
// (4 bytes) and the magic (4 bytes).
inline constexpr std::int32_t kTrailerTail = 16;

// The low 32 bits of XXH3-64 of the block's 16384 bytes.
std::uint32_t BlockCheck(const std::uint8_t *block);
// The low 32 bits of XXH3-64 of a stored block's size bytes.
std::uint32_t StoredCheck(const std::uint8_t *stored, std::int32_t size);

// A running XXH64 over a sequence of bytes, with a seed.
struct CheckStream {
  alignas(8) std::uint8_t state[96];
};
void CheckStreamStart(CheckStream *s, std::uint64_t seed);
void CheckStreamAdd(CheckStream *s, const void *bytes, std::int32_t count);
std::uint64_t CheckStreamValue(const CheckStream *s);
