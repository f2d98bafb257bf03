// The row transform: a block as 256 rows of 64 bytes, rows of 64 x 0xff
// dropped, the others chained greedily by likeness and written column by column.
#pragma once

#include <cstdint>

#include "lzx/codec/bits.h"

inline constexpr int kRows = 256;
inline constexpr int kRowBytes = 64;
static_assert(kRows * kRowBytes == kBlockSize, "the rows are the block");

extern thread_local constinit std::uint8_t RowBlock[kBlockSize];
extern thread_local constinit bool RowDone[kRows];

// Writes the transformed block to output and the row order to table; returns
// the number of rows kept (0-255).
std::int32_t SorPack(const std::uint8_t *block, std::uint8_t *output, std::uint8_t *table);
void SorUnpack(const std::uint8_t *transformed, std::uint8_t *output, const std::uint8_t *table, std::int32_t n);
// The row not yet taken that differs from reference in the fewest bytes (lowest on ties).
std::int32_t SorBestRow(const std::uint8_t *reference);
