#include "lzx/codec/huf.h"

#include "fileio/fatal.h"
#include "lzx/codec/bits.h"
#include "lzx/codec/huffman.h"
#include "lzx/codec/lengths.h"

std::int32_t HufPack(std::int32_t n) {
  std::uint32_t counts[256] = {};
  for (std::int32_t i = 0; i < n; ++i) ++counts[BlockBuffer[i]];
  BitPos = 0;
  BitLenInit();
  FresInit(&CodeTable, 256);
  for (int b = 0; b < 256; ++b) CodeTable.keys[b] += counts[b] * 0x10000u;
  FreqToLen(&CodeTable);
  SendLens(&CodeTable);
  LenToVal(&CodeTable);
  for (std::int32_t i = 0; i < n; ++i) {
    const std::uint8_t b = BlockBuffer[i];
    BitPut(CodeTable.lengths[b], static_cast<std::uint32_t>(CodeTable.codes[b]));
  }
  const std::int32_t bits = BitPos;
  BitPad();
  if (BitPos > kBitLimit) FatalMessage("HufPack: buffer full");
  return bits;
}

std::int32_t HufUnpack(std::int32_t bitCount) {
  // A count from a damaged file must not lead the reads past BitBuffer.
  if (bitCount < 0 || bitCount > kBitBufferSize * 8) FatalMessage("HufUnpack: bad bit count");
  BitPos = 0;
  CodeTableRecv(256);
  auto pos = static_cast<std::uint32_t>(BitPos);
  const auto end = static_cast<std::uint32_t>(bitCount);
  std::int32_t out = 0;
  while (pos < end) {
    const std::uint64_t window = BitWindow(pos);
    int codeLength;
    const std::int32_t s = DecodeWindow(window, &codeLength);
    pos += static_cast<std::uint32_t>(codeLength);
    if (out == kBlockBufferSize) FatalMessage("HufUnpack: output overflow");
    BlockBuffer[out++] = static_cast<std::uint8_t>(s);
    // A second symbol from the same window when the first took at most 10 bits.
    if (codeLength <= kFastBits && pos < end) {
      const std::uint16_t next = FastTable[(window >> codeLength) & 0x3ff];
      if (next != kNoSymbol) {
        if (out == kBlockBufferSize) FatalMessage("HufUnpack: output overflow");
        BlockBuffer[out++] = static_cast<std::uint8_t>(next & kFastSymbolMask);
        pos += next >> kFastLengthShift;
      }
    }
  }
  BitPos = static_cast<std::int32_t>(pos);
  if (BitPos != bitCount) FatalMessage("HufUnpack: too many bits read");
  return out;
}
