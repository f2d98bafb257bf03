#include "lzx/codec/lz.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "fileio/fatal.h"
#include "lzx/codec/bits.h"
#include "lzx/codec/huffman.h"
#include "lzx/codec/lengths.h"

std::int16_t HashChain[16384];
std::uint32_t ItemList[kMaxItems];
std::int32_t ItemCount;

namespace {

inline std::uint32_t Hash(std::int32_t i) {
  const std::uint8_t *b = BlockBuffer + i;
  const std::uint32_t a = b[0] + 4u * b[1] + 32u * b[2] + 512u * b[3];
  return (a ^ (a >> 10)) & 0x3ff;
}

// Equal leading bytes of BlockBuffer[c..] and BlockBuffer[p..], at most limit;
// four bytes at a time while four whole bytes remain below the limit.
inline std::int32_t MatchLength(std::int32_t c, std::int32_t p, std::int32_t limit) {
  std::int32_t k = 0;
  while (k + 4 <= limit) {
    const std::uint32_t diff = LoadWord(BlockBuffer + c + k) ^ LoadWord(BlockBuffer + p + k);
    if (diff != 0) return k + (__builtin_ctz(diff) >> 3);
    k += 4;
  }
  while (k < limit && BlockBuffer[c + k] == BlockBuffer[p + k]) ++k;
  return k;
}

inline std::uint32_t DistanceClass(std::uint32_t y) { return y < 256 ? BitLen[y] : BitLen[y >> 8] + 8u; }

} // namespace

Match FindMatch(std::int32_t p, std::int32_t a) {
  Match best{0, 0};
  if (a < kLzMinMatch) return best;
  a = std::min(a, kLzMaxMatch);
  const std::int32_t lowest = std::max(p - kLzWindow, 0);
  for (std::int32_t c = HashChain[p]; c >= lowest; c = HashChain[c]) {
    // A longer match must share the byte at offset best.
    if (BlockBuffer[c + best.length] != BlockBuffer[p + best.length]) continue;
    const std::int32_t k = MatchLength(c, p, a);
    if (k > best.length) {
      best = Match{k, p - c};
      if (k >= a) break;
    }
  }
  return best;
}

void HufOutInit() {
  BitLenInit();
  FresInit(&CodeTable, kLzSymbols);
  ItemCount = 0;
}

void HufOutLit(std::uint8_t b) {
  if (ItemCount == kMaxItems) FatalMessage("HufOutLit: buffer full");
  ItemList[ItemCount++] = b;
  CodeTable.keys[b] += 0x10000;
}

void HufOutRef(std::uint32_t x, std::uint32_t y) {
  if (ItemCount == kMaxItems) FatalMessage("HufOutRef: buffer full");
  const std::uint32_t s = 256u + 16u * BitLen[x] + DistanceClass(y);
  ItemList[ItemCount++] = s + (x << 9) + (y << 17);
  CodeTable.keys[s] += 0x10000;
}

void HufOutFlush() {
  FreqToLen(&CodeTable);
  SendLens(&CodeTable);
  LenToVal(&CodeTable);
  for (std::int32_t i = 0; i < ItemCount; ++i) {
    const std::uint32_t item = ItemList[i];
    const std::uint32_t s = item & 0x1ff;
    BitPut(CodeTable.lengths[s], static_cast<std::uint32_t>(CodeTable.codes[s]));
    if (s < 256) continue;
    const int l = static_cast<int>((s >> 4) & 15);
    const int d = static_cast<int>(s & 15);
    if (l >= 2) BitPut(l - 1, ((item >> 9) & 0xff) & BitMask[l - 1]);
    if (d >= 2) BitPut(d - 1, ((item >> 17) & 0x3ff) & BitMask[d - 1]);
  }
}

std::int32_t LzxPack(std::int32_t n) {
  std::int16_t head[1024];
  std::fill(std::begin(head), std::end(head), std::int16_t{-1});
  for (std::int32_t i = 0; i < n; ++i) {
    const std::uint32_t h = Hash(i);
    HashChain[i] = head[h];
    head[h] = static_cast<std::int16_t>(i);
  }
  BitPos = 0;
  HufOutInit();
  for (std::int32_t i = 0; i < n;) {
    const Match m = FindMatch(i, n - i);
    if (m.length >= kLzMinMatch) {
      HufOutRef(static_cast<std::uint32_t>(m.length - 3), static_cast<std::uint32_t>(m.distance - 1));
      i += m.length;
    } else {
      HufOutLit(BlockBuffer[i]);
      i += 1;
    }
  }
  HufOutFlush();
  const std::int32_t bits = BitPos;
  BitPad();
  if (BitPos > kBitLimit) FatalMessage("LzxPack: buffer full");
  return bits;
}

std::int32_t LzxUnpack(std::int32_t bitCount) {
  // A count from a damaged file must not lead the reads past BitBuffer.
  if (bitCount < 0 || bitCount > kBitBufferSize * 8) FatalMessage("LzxUnpack: bad bit count");
  BitPos = 0;
  CodeTableRecv(kLzSymbols);
  // Each item (code, then the extra bits of a reference: at most 24 + 7 + 14
  // bits) is taken from one 64-bit window.
  auto pos = static_cast<std::uint32_t>(BitPos);
  const auto end = static_cast<std::uint32_t>(bitCount);
  std::int32_t out = 0;
  while (pos < end) {
    std::uint64_t window = BitWindow(pos);
    int codeLength;
    const std::int32_t s = DecodeWindow(window, &codeLength);
    pos += static_cast<std::uint32_t>(codeLength);
    if (s < 256) {
      if (out == kBlockBufferSize) FatalMessage("LzxUnpack: output overflow");
      BlockBuffer[out++] = static_cast<std::uint8_t>(s);
      // Literals come in runs: a second one from the same window when the
      // first took at most 10 of its bits.
      if (codeLength <= kFastBits && pos < end) {
        const std::uint16_t next = FastTable[(window >> codeLength) & 0x3ff];
        if (next != kNoSymbol && (next & kFastSymbolMask) < 256) {
          if (out == kBlockBufferSize) FatalMessage("LzxUnpack: output overflow");
          BlockBuffer[out++] = static_cast<std::uint8_t>(next & kFastSymbolMask);
          pos += next >> kFastLengthShift;
        }
      }
      continue;
    }
    window >>= codeLength;
    const int l = (s - 256) >> 4;
    const int d = (s - 256) & 15;
    std::int32_t x = l;
    if (l > 1) {
      x = (1 << (l - 1)) + static_cast<std::int32_t>(window & BitMask[l - 1]);
      window >>= l - 1;
      pos += static_cast<std::uint32_t>(l - 1);
    }
    std::int32_t y = d;
    if (d > 1) {
      y = (1 << (d - 1)) + static_cast<std::int32_t>(window & BitMask[d - 1]);
      pos += static_cast<std::uint32_t>(d - 1);
    }
    const std::int32_t m = x + 3;
    const std::int32_t distance = y + 1;
    if (distance > out) FatalMessage("LzxUnpack: reference before the block");
    if (m > kBlockBufferSize - out) FatalMessage("LzxUnpack: output overflow");
    std::uint8_t *dst = BlockBuffer + out;
    const std::uint8_t *src = dst - distance;
    if (distance >= 8 && m + 8 <= kBlockBufferSize - out) {
      // Each 8-byte source word lies wholly before the word it is copied to,
      // so this gives exactly what the byte-wise copy gives. It may write up
      // to 7 bytes past the reference, which later output overwrites.
      for (std::int32_t k = 0; k < m; k += 8) StoreWord64(dst + k, LoadWord64(src + k));
    } else if (distance == 1) {
      std::memset(dst, *src, static_cast<std::size_t>(m));
    } else {
      std::int32_t k = 0;
      if (distance >= 4)
        for (; k + 4 <= m; k += 4) StoreWord(dst + k, LoadWord(src + k));
      for (; k < m; ++k) dst[k] = src[k];
    }
    out += m;
  }
  BitPos = static_cast<std::int32_t>(pos);
  if (BitPos != bitCount) FatalMessage("LzxUnpack: too many bits read");
  return out;
}
