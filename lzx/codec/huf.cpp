// The Huffman byte coder (the format: docs/format.md). Why it is written as
// it is: docs/performance.md.
//
// HufUnpack reads codes through DecodeTable (huffman.h) from a 64-bit
// BitReader (bits.h): five lookups of up to 11 bits per refill (55 of its 56
// or more bits), each one code or a pair of codes, checked once per refill
// against the block's end (kFastTailBits ahead) and BlockBuffer's
// (kFastBytesOutLimit); longer codes
// and the last codes go through the exact loop with every check. HufPack
// writes the codes through BitWriter.

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
  // Every code but the last through the writer, the last through BitPut, so
  // that BitBuffer ends as if BitPut wrote them all.
  if (n > 0) {
    BitWriter w;
    for (std::int32_t i = 0; i + 1 < n; ++i) {
      const std::uint8_t b = BlockBuffer[i];
      w.Put(CodeTable.lengths[b], static_cast<std::uint32_t>(CodeTable.codes[b]));
    }
    w.Finish();
    const std::uint8_t b = BlockBuffer[n - 1];
    BitPut(CodeTable.lengths[b], static_cast<std::uint32_t>(CodeTable.codes[b]));
  }
  const std::int32_t bits = BitPos;
  BitPad();
  if (BitPos > kBitLimit) FatalMessage("HufPack: buffer full");
  return bits;
}

namespace {

// Lookups per refill of the bit buffer: five entries of up to kTableBits
// bits take at most 55 of its 56 or more valid bits.
constexpr int kLookupsPerRefill = 5;
static_assert(kLookupsPerRefill * kTableBits <= static_cast<int>(kRefillBits), "a refill holds the lookups it serves");
static_assert(kLookupsPerRefill * kTableBits <= static_cast<int>(kFastTailBits), "the lookups after a check end within the block");
// FastBytes stops this far before the end of BlockBuffer: the lookups of one
// refill move out on by at most two bytes each, and a 16-bit store writes one
// byte beyond where it moves out to.
constexpr std::int32_t kFastBytesOutLimit = kBlockBufferSize - (2 * kLookupsPerRefill + 1);

// The codes from bit pos on, kLookupsPerRefill lookups per refill, while
// each lies at least kFastTailBits before end and BlockBuffer has room
// behind out; returns at the first code it leaves to the exact loop.
void FastBytes(std::uint32_t &pos, std::int32_t &out, std::uint32_t end) {
  if (pos + kFastTailBits > end || out > kFastBytesOutLimit) return;
  BitReader r(pos);
  std::uint8_t *const o = BlockBuffer;
  const std::uint8_t *const inLimit = FastInLimit(end);
  for (;;) {
    r.Refill();
    if (r.in > inLimit || out > kFastBytesOutLimit) break;
    std::uint32_t e = DecodeTable[r.bits & ((1u << kTableBits) - 1)];
    if (e & kEntryStop) break;
    // One byte, or a pair: both bytes stored, the second counted for a pair.
    StoreWord16(o + out, e >> kEntryByteShift);
    out += static_cast<std::int32_t>(EntryBytes(e));
    r.Skip(e & kEntryBitsMask);
    for (int k = 0; k < kLookupsPerRefill - 1; ++k) {
      e = DecodeTable[r.bits & ((1u << kTableBits) - 1)];
      if (e & kEntryStop) break;
      StoreWord16(o + out, e >> kEntryByteShift);
      out += static_cast<std::int32_t>(EntryBytes(e));
      r.Skip(e & kEntryBitsMask);
    }
    if (e & kEntryStop) break;
  }
  pos = r.Pos();
}

} // namespace

std::int32_t HufUnpack(std::int32_t bitCount) {
  // A count from a damaged file must not lead the reads past BitBuffer.
  if (bitCount < 0 || bitCount > kBitBufferSize * 8) FatalMessage("HufUnpack: bad bit count");
  BitPos = 0;
  CodeTableRecv(256);
  auto pos = static_cast<std::uint32_t>(BitPos);
  const auto end = static_cast<std::uint32_t>(bitCount);
  std::int32_t out = 0;
  for (;;) {
    FastBytes(pos, out, end);
    if (pos >= end) break;
    // One code with every check.
    const std::uint64_t window = BitWindow(pos);
    std::uint32_t e = DecodeTable[window & ((1u << kTableBits) - 1)];
    if (IsSlowEntry(e)) e = DecodeSlow(window);
    pos += EntryCodeLength(e); // one code, the first of a pair
    if (out == kBlockBufferSize) FatalMessage("HufUnpack: output overflow");
    BlockBuffer[out++] = static_cast<std::uint8_t>(e >> kEntryByteShift);
  }
  BitPos = static_cast<std::int32_t>(pos);
  if (BitPos != bitCount) FatalMessage("HufUnpack: too many bits read");
  return out;
}
