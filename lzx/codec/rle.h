// The run-length stage: runs of 3 to 16 equal bytes become a pair (0x80 + run
// - 1, byte); single bytes in 0x80-0x8f are escaped as (0x80, byte).
#pragma once

#include <cstdint>

#include "lzx/codec/bits.h"


// Codes the 16384-byte block into BlockBuffer; returns the coded length, or
// 16384 when the block is stored unchanged because coding does not shorten it.
std::int32_t RlePack(const std::uint8_t *block);
// Rebuilds 16384 bytes from BlockBuffer[0..length) into destination.
void RleUnpack(std::int32_t length, std::uint8_t *destination);
