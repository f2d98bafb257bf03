// The LZ coder (the format: docs/format.md, "The LZ coder"). Why it is
// written as it is: docs/performance.md.
//
// Decoding: LzxUnpack builds DecodeTable (huffman.h: one 32-bit entry per
// 11-bit window, code length, extra bits and class together, or two
// literals) and runs two loops over the same items. FastItems keeps the
// stream in a 64-bit bit buffer refilled without a branch every two items,
// looks each item up two items before it stores it, and copies references
// 32 bytes at once (16, 8 or 1 at a time for longer or nearer ones). It
// relies on three margins, checked once per two items, each derived below
// from the figures it comes from and tied to them by static_asserts:
//   - a refill leaves at least kRefillBits (56), and two items need at most
//     2 kMaxFastItemBits (54; references of distance class 11 or more, up to
//     32 bits, stop it);
//   - the items looked up after a check start before the block's end
//     (kFastTailBits, 64 bits, ahead), so none needs the end test the exact
//     loop makes first;
//   - out stays at or below kFastOutLimit, room for the four items (of up to
//     kMaxReference = 258 bytes, each copy writing up to 272) it may store
//     before the next check.
// Codes longer than 11 bits, far references, the last kFastTailBits bits and
// the bytes past kFastOutLimit go to the exact loop, one item at a time with
// every check of the plain decoder; both loops give the same bytes and the
// same fatal texts as it, and read references through the same ReferenceOf.
//
// Encoding: chains of positions whose four bytes hash alike (any hash of the
// four bytes gives the same matches), FindMatch's walk inlined into the
// packer, and the items written through BitWriter (bits.h).

#include "lzx/codec/lz.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <iterator>

#include "fileio/fatal.h"
#include "lzx/codec/bits.h"
#include "lzx/codec/huffman.h"
#include "lzx/codec/lengths.h"

thread_local constinit std::int16_t HashChain[kBlockSize] = {};
thread_local constinit std::uint32_t ItemList[kMaxItems] = {};
thread_local constinit std::int32_t ItemCount = {};

namespace {

// The chains link positions whose first four bytes hash alike. Only matches
// of four bytes or more are used, and any hash of the four bytes puts every
// position with the same four bytes on one chain, so the match chosen is
// the same for every such hash; this one (a multiply of the four bytes as a
// word, 4096 chains) costs little and mixes well, which keeps the chains
// short.
constexpr int kHashBits = 12;
inline std::uint32_t Hash(std::int32_t i) { return (LoadWord(BlockBuffer + i) * 2654435761u) >> (32 - kHashBits); }

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

namespace {

// FindMatch's walk, inlined into the packer's loop.
[[gnu::always_inline]] inline Match Longest(std::int32_t p, std::int32_t a) {
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

} // namespace

Match FindMatch(std::int32_t p, std::int32_t a) { return Longest(p, a); }

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
  ItemList[ItemCount++] = s + (x << kItemLengthShift) + (y << kItemDistanceShift);
  CodeTable.keys[s] += 0x10000;
}

void HufOutFlush() {
  FreqToLen(&CodeTable);
  SendLens(&CodeTable);
  LenToVal(&CodeTable);
  if (ItemCount == 0) return;
  // Code and extra bits of every item but the last through the writer; the
  // last through BitPut, so that BitBuffer ends as if BitPut wrote them all.
  auto emit = [](auto &&put, std::uint32_t item) {
    const std::uint32_t s = item & kItemSymbolMask;
    put(CodeTable.lengths[s], static_cast<std::uint32_t>(CodeTable.codes[s]));
    if (s < 256) return;
    const int l = static_cast<int>((s >> 4) & 15);
    const int d = static_cast<int>(s & 15);
    if (l >= 2) put(l - 1, ((item >> kItemLengthShift) & kItemLengthMask) & BitMask[l - 1]);
    if (d >= 2) put(d - 1, ((item >> kItemDistanceShift) & kItemDistanceMask) & BitMask[d - 1]);
  };
  BitWriter w;
  for (std::int32_t i = 0; i + 1 < ItemCount; ++i) emit([&w](int n, std::uint32_t v) { w.Put(n, v); }, ItemList[i]);
  w.Finish();
  emit([](int n, std::uint32_t v) { BitPut(n, v); }, ItemList[ItemCount - 1]);
}

std::int32_t LzxPack(std::int32_t n) {
  std::int16_t head[1 << kHashBits];
  std::fill(std::begin(head), std::end(head), std::int16_t{-1});
  for (std::int32_t i = 0; i < n; ++i) {
    const std::uint32_t h = Hash(i);
    HashChain[i] = head[h];
    head[h] = static_cast<std::int16_t>(i);
  }
  BitPos = 0;
  HufOutInit();
  for (std::int32_t i = 0; i < n;) {
    const Match m = Longest(i, n - i);
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

namespace {

// Distance of each distance class with its extra bits at zero, and the mask
// of those extra bits (classes 0 and 1 have none).
constexpr std::uint32_t kDistanceBase[16] = {1,   2,    3,    5,    9,     17,    33,    65,
                                             129, 257,  513,  1025, 2049,  4097,  8193,  16385};
constexpr std::uint32_t kDistanceMask[16] = {0,  0,   1,   3,   7,    15,   31,   63,
                                             127, 255, 511, 1023, 2047, 4095, 8191, 16383};

// The longest reference the decoder takes: the highest length class of the
// alphabet with all its extra bits set (258 bytes; the packer writes at most
// kLzMaxMatch).
constexpr std::uint32_t kMaxLengthClass = (kLzSymbols - 1 - 256) >> 4;
constexpr std::int32_t kMaxReference = 2 + (1 << kMaxLengthClass);
static_assert(kMaxReference >= kLzMaxMatch && ((kMaxReference - 3) >> (kMaxLengthClass - 1)) == 1,
              "the highest length class spans the packer's lengths");
static_assert(3 + (1u << (kMaxLengthClass - 1)) <= kEntryLengthBaseMask, "every length base fits its entry field");
// The fast loops take references whose distance classes the window gives.
static_assert(std::bit_width(static_cast<unsigned>(kLzWindow - 1)) == kMaxFastDistanceClass, "the window's farthest class");

// What CopyWide writes from dst for a reference of m bytes at the most: its
// first two 16-byte pieces, or m rounded up to whole pieces; never more than
// m + kCopySlack.
constexpr std::int32_t CopyReach(std::int32_t m) { return m <= 32 ? 32 : (m + 15) / 16 * 16; }
constexpr std::int32_t kCopySlack = 32;
static_assert(CopyReach(1) <= 1 + kCopySlack && CopyReach(kMaxReference) <= kMaxReference + kCopySlack);

// The items FastItems may store behind an out it has checked: the two
// waiting at the check, and the two looked up after it when the next check
// ends the loop (three in all when a lookup stops it).
constexpr int kItemsPerCheck = 4;
// The fast loop stops this far before the end of BlockBuffer: kItemsPerCheck
// references of the longest kind fit behind any out it checks.
constexpr std::int32_t kFastOutLimit = kBlockBufferSize - kItemsPerCheck * CopyReach(kMaxReference);

// The bits of an item in the fast loop at the most: its code of up to
// kTableBits and both extra fields (distance class kMaxFastDistanceClass at
// most, or the entry stops it). A refill serves two items, and the two looked
// up after a check lie within kFastTailBits of the checked position.
constexpr std::uint32_t kMaxFastItemBits = kTableBits + (kMaxLengthClass - 1) + (kMaxFastDistanceClass - 1);
static_assert(2 * kMaxFastItemBits <= kRefillBits, "a refill holds two items");
static_assert(2 * kMaxFastItemBits < kFastTailBits, "the items after a check start before the block's end");

struct Reference {
  std::int32_t length;
  std::uint32_t distance;
};

// The reference of table entry e (kEntryRef set), window holding the stream
// from the item's first bit: the one reading of a reference, for both loops.
// (The code length's field is read out in place here, not through
// EntryCodeLength, which the compiler schedules differently in FastItem.)
[[gnu::always_inline]] inline Reference ReferenceOf(std::uint32_t e, std::uint64_t window) {
  const std::uint64_t extra = window >> ((e >> kEntryCodeLengthShift) & kEntryCodeLengthMask);
  const std::uint32_t lengthExtra = (e >> kEntryLengthExtraShift) & kEntryLengthExtraMask;
  const std::uint32_t distanceClass = (e >> kEntryDistanceClassShift) & kEntryDistanceClassMask;
  const auto m = static_cast<std::int32_t>(((e >> kEntryByteShift) & kEntryLengthBaseMask) +
                                           (static_cast<std::uint32_t>(extra) & ((1u << lengthExtra) - 1)));
  const std::uint32_t distance =
      kDistanceBase[distanceClass] + (static_cast<std::uint32_t>(extra >> lengthExtra) & kDistanceMask[distanceClass]);
  return Reference{m, distance};
}

// Copies a reference of m bytes from distance back; the same bytes as the
// byte-by-byte copy in increasing order. With distance 16 (8) or more each
// 16-byte (8-byte) piece of the source lies wholly before the piece it is
// copied to. The copy may write past dst + m: up to 32 bytes from dst in
// all, or m + 15, which the caller leaves room for.
inline void CopyWide(std::uint8_t *dst, std::uint32_t distance, std::int32_t m) {
  const std::uint8_t *src = dst - distance;
  if (distance >= 16) {
    std::memcpy(dst, src, 16);
    std::memcpy(dst + 16, src + 16, 16);
    for (std::int32_t k = 32; k < m; k += 16) std::memcpy(dst + k, src + k, 16);
  } else if (distance >= 8) {
    for (std::int32_t k = 0; k < m; k += 8) StoreWord64(dst + k, LoadWord64(src + k));
  } else if (distance == 1) {
    const std::uint64_t v = *src * 0x0101010101010101u;
    for (std::int32_t k = 0; k < m; k += 8) StoreWord64(dst + k, v);
  } else {
    std::int32_t k = 0;
    if (distance >= 4)
      for (; k + 4 <= m; k += 4) StoreWord(dst + k, LoadWord(src + k));
    for (; k < m; ++k) dst[k] = src[k];
  }
}

// Stores one item: e is its table entry, bits the stream from its start.
[[gnu::always_inline]] inline void FastItem(std::uint32_t e, std::uint64_t bits, std::uint8_t *&op) {
  if ((e & kEntryRef) == 0) {
    // A literal, or a pair: its two bytes, of which the second counts only
    // for a pair.
    StoreWord16(op, e >> kEntryByteShift);
    op += 1 + ((e >> kEntryPairShift) & 1); // EntryBytes(e), written out as for ReferenceOf
    return;
  }
  const Reference ref = ReferenceOf(e, bits);
  if (ref.distance > static_cast<std::uint32_t>(op - BlockBuffer)) FatalMessage("LzxUnpack: reference before the block");
  CopyWide(op, ref.distance, ref.length);
  op += ref.length;
}

// The items from bit pos on, as long as BlockBuffer has room behind out and
// the items lie at least 10 bits before end; returns at the first item it
// leaves to the exact loop (near an end, a code of more than 11 bits, a
// reference of distance class 11 or more). Each item's entry is looked up
// two items before it is stored: the chain from one lookup to the next
// (table load, shift) does not wait for the branch on the kind of item, so
// a mispredicted branch costs less. The stream is in a 64-bit bit buffer
// refilled without a branch every two items (each of at most 27 bits:
// 11 of code, 7 and 9 of extra bits); `left` counts its valid bits in its
// low 6 bits, as the entries' bit counts are subtracted whole.
void FastItems(std::uint32_t &pos, std::int32_t &out, std::uint32_t end) {
  if (pos + kFastTailBits > end || out > kFastOutLimit) return;
  const std::uint8_t *in = BitBuffer + (pos >> 3);
  std::uint64_t bits = 0;
  std::uint32_t left = 0;
  // The 8 bytes at in go above the valid bits (what they overlap are the
  // same stream bits), and in moves on by the whole bytes taken: 56 to 63
  // valid bits. A refill reads up to byte Pos() / 8 + 15.
#define VORN_REFILL()                        \
  bits |= LoadWord64(in) << (left & 63);     \
  in += 7 - ((left >> 3) & 7);               \
  left |= kRefillBits;
  VORN_REFILL()
  bits >>= pos & 7;
  left -= pos & 7;
  VORN_REFILL()
  std::uint8_t *op = BlockBuffer + out;
  std::uint8_t *const opLimit = BlockBuffer + kFastOutLimit;
  // In at or below this keeps Pos() + kFastTailBits within end: the next
  // two items end before it.
  const std::uint8_t *const inLimit = FastInLimit(end);
  constexpr std::uint32_t kMask = (1u << kTableBits) - 1;
  // Items A and B (then C and D, in turn) are looked up and waiting to be
  // stored: their entries e and the bit buffer b at their start.
  std::uint32_t eA, eB, eC, eD;
  std::uint64_t bA, bB, bC, bD;
  // Looks up the next item into E and B; at a stop entry the items waiting
  // are stored (ON_STOP) and the loop ends at that item.
#define VORN_LOOKUP(E, B, ON_STOP)             \
  E = DecodeTable[bits & kMask];               \
  if (__builtin_expect(E & kEntryStop, 0)) {   \
    ON_STOP;                                   \
    goto done;                                 \
  }                                            \
  B = bits;                                    \
  bits >>= E & kEntryBitsMask;                 \
  left -= E;
  if (in > inLimit) goto done;
  VORN_LOOKUP(eA, bA, (void)0)
  VORN_LOOKUP(eB, bB, FastItem(eA, bA, op))
  for (;;) {
    VORN_REFILL()
    // Near an end: the items waiting lie within the last check's bits.
    if (__builtin_expect(in > inLimit || op > opLimit, 0)) {
      FastItem(eA, bA, op);
      FastItem(eB, bB, op);
      break;
    }
    VORN_LOOKUP(eC, bC, (FastItem(eA, bA, op), FastItem(eB, bB, op)))
    VORN_LOOKUP(eD, bD, (FastItem(eA, bA, op), FastItem(eB, bB, op), FastItem(eC, bC, op)))
    FastItem(eA, bA, op);
    FastItem(eB, bB, op);
    VORN_REFILL()
    if (__builtin_expect(in > inLimit || op > opLimit, 0)) {
      FastItem(eC, bC, op);
      FastItem(eD, bD, op);
      break;
    }
    VORN_LOOKUP(eA, bA, (FastItem(eC, bC, op), FastItem(eD, bD, op)))
    VORN_LOOKUP(eB, bB, (FastItem(eC, bC, op), FastItem(eD, bD, op), FastItem(eA, bA, op)))
    FastItem(eC, bC, op);
    FastItem(eD, bD, op);
  }
#undef VORN_LOOKUP
#undef VORN_REFILL
done:
  pos = static_cast<std::uint32_t>(in - BitBuffer) * 8 - (left & 63);
  out = static_cast<std::int32_t>(op - BlockBuffer);
}

} // namespace

std::int32_t LzxUnpack(std::int32_t bitCount) {
  // A count from a damaged file must not lead the reads past BitBuffer.
  if (bitCount < 0 || bitCount > kBitBufferSize * 8) FatalMessage("LzxUnpack: bad bit count");
  BitPos = 0;
  CodeTableRecv(kLzSymbols);
  auto pos = static_cast<std::uint32_t>(BitPos);
  const auto end = static_cast<std::uint32_t>(bitCount);
  std::int32_t out = 0;
  for (;;) {
    FastItems(pos, out, end);
    if (pos >= end) break;
    // One item with every check, from a 64-bit window (at least 57 bits: a
    // code of up to 24 bits and extra bits of up to 7 + 14).
    const std::uint64_t window = BitWindow(pos);
    std::uint32_t e = DecodeTable[window & ((1u << kTableBits) - 1)];
    if (IsSlowEntry(e)) e = DecodeSlow(window);
    if ((e & kEntryRef) == 0) {
      // A literal, or the first of a pair.
      pos += EntryCodeLength(e);
      if (out == kBlockBufferSize) FatalMessage("LzxUnpack: output overflow");
      BlockBuffer[out++] = static_cast<std::uint8_t>(e >> kEntryByteShift);
      continue;
    }
    const Reference ref = ReferenceOf(e, window);
    const std::int32_t m = ref.length;
    pos += e & kEntryBitsMask;
    if (ref.distance > static_cast<std::uint32_t>(out)) FatalMessage("LzxUnpack: reference before the block");
    if (m > kBlockBufferSize - out) FatalMessage("LzxUnpack: output overflow");
    std::uint8_t *dst = BlockBuffer + out;
    if (m + kCopySlack <= kBlockBufferSize - out) {
      CopyWide(dst, ref.distance, m);
    } else {
      const std::uint8_t *src = dst - ref.distance;
      for (std::int32_t k = 0; k < m; ++k) dst[k] = src[k];
    }
    out += m;
  }
  BitPos = static_cast<std::int32_t>(pos);
  if (BitPos != bitCount) FatalMessage("LzxUnpack: too many bits read");
  return out;
}
