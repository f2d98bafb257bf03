// The LZ coder: literals and references (length 4-256, distance 1-1024 within
// the block) coded together with one Huffman code over 400 symbols.
#pragma once

#include <cstdint>

#include "lzx/codec/bits.h"

inline constexpr int kLzSymbols = 400;
inline constexpr int kLzWindow = 1024;
inline constexpr int kLzMinMatch = 4;
inline constexpr int kLzMaxMatch = 256;
inline constexpr int kMaxItems = kBlockSize; // at most one item per byte of the run-length form

// Previous position with the same hash, or -1.
extern thread_local constinit std::int16_t HashChain[kBlockSize];
// Literal: the byte. Reference: symbol in bits 0-8, m-3 in bits 9-16, d-1 in bits 17-26.
inline constexpr std::uint32_t kItemSymbolMask = 0x1ff, kItemLengthMask = 0xff, kItemDistanceMask = 0x3ff;
inline constexpr int kItemLengthShift = 9, kItemDistanceShift = 17;
extern thread_local constinit std::uint32_t ItemList[kMaxItems];
extern thread_local constinit std::int32_t ItemCount;

struct Match {
  std::int32_t length;
  std::int32_t distance;
};

// Codes BlockBuffer[0..n) into BitBuffer; returns the bit count before padding.
std::int32_t LzxPack(std::int32_t n);
// Decodes the block of bitCount bits in BitBuffer into BlockBuffer; returns the byte count.
std::int32_t LzxUnpack(std::int32_t bitCount);

void HufOutInit();
void HufOutLit(std::uint8_t b);
void HufOutRef(std::uint32_t lengthMinus3, std::uint32_t distanceMinus1);
void HufOutFlush();
// Longest match for position p with a bytes available, nearest among equals.
Match FindMatch(std::int32_t p, std::int32_t a);
