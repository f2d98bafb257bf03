// The Huffman byte coder: each byte of the block coded on its own with a
// code built from the block's byte frequencies.
#pragma once

#include <cstdint>

// Codes BlockBuffer[0..n) into BitBuffer; returns the bit count before padding.
std::int32_t HufPack(std::int32_t n);
// Decodes the block of bitCount bits in BitBuffer into BlockBuffer; returns the byte count.
std::int32_t HufUnpack(std::int32_t bitCount);
