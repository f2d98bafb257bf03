// Transmission of a table's code lengths at the head of each coded block.
//
// The length vector is cut into items (one length, or a run of zeros), the
// items are Huffman-coded over a 27-symbol alphabet held in LenTable, and the
// 27 lengths of that code go first as 3-bit fields with an escape from 7 on.
#pragma once

#include <cstdint>

#include "lzx/codec/huffman.h"

inline constexpr int kLenSymbols = 27;
inline constexpr int kRunShort = 25; // 3 to 18 zeros, 4 extra bits
inline constexpr int kRunLong = 26;  // 20 to 83 zeros, 6 extra bits

void SendLens(HuffTable *table);
void RecvLens(HuffTable *table, std::int32_t n);
// Reads the CodeTable of n symbols (its code lengths) at BitPos and builds
// what the decoders look symbols up in: codes, LongCodes, DecodeTable.
void CodeTableRecv(std::int32_t n);
// Cuts lengths[0..n) into items in buffer (symbol, and the run for 25 and 26)
// and counts each item's symbol in LenTable. Returns the bytes used.
std::int32_t LenRuns(const std::uint8_t *lengths, std::int32_t n, std::uint8_t *buffer);
void SendLenLens(const std::uint8_t *lengths);
void RecvLenLens(std::uint8_t *lengths);
