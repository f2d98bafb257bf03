// The coders of the baseline commit (see CMakeLists.txt), compiled into
// namespace base, with today's block pipeline (lzx/block.cpp) over them.
#pragma once

#include <cstdint>

namespace base {
extern std::uint8_t BlockBuffer[];
extern std::uint8_t BitBuffer[];
extern std::int32_t BitPos;
std::int32_t RlePack(const std::uint8_t *block);
void RleUnpack(std::int32_t length, std::uint8_t *destination);
std::int32_t LzxPack(std::int32_t n);
std::int32_t LzxUnpack(std::int32_t bitCount);
std::int32_t HufPack(std::int32_t n);
std::int32_t HufUnpack(std::int32_t bitCount);
std::int32_t SorPack(const std::uint8_t *block, std::uint8_t *output, std::uint8_t *table);
void SorUnpack(const std::uint8_t *transformed, std::uint8_t *output, const std::uint8_t *table, std::int32_t n);
enum class BlockFault { None, BitCount, Size };
std::int32_t BlockEncode(const std::uint8_t *plain, std::int32_t flags, std::uint8_t *stored);
BlockFault BlockDecode(const std::uint8_t *stored, std::int32_t size, std::int32_t flags, std::uint8_t *plain);
} // namespace base
