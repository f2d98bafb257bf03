// The codecs' shared buffers, their sizes, and the least-significant-bit-first
// bit stream. Why the readers and writers look as they do: docs/performance.md;
// the stream itself: docs/format.md.
//
// Stream bit p is bit (p mod 8) of byte (p div 8) of BitBuffer:
//
//   byte    0               1               2
//   bit     7 6 5 4 3 2 1 0 7 6 5 4 3 2 1 0 7 ...
//   stream  7 6 5 4 3 2 1 0 15 ...        8 23 ...
//
// BitPut and BitGet read or write a field of 1 to 24 bits with one unaligned
// 32-bit little-endian word at byte BitPos div 8; the decoders' BitReader and
// the encoders' BitWriter keep 64 bits in a register instead. Every size
// below derives from kBlockSize; the static_asserts state what the coders'
// wide reads and writes rely on.
#pragma once

#include <cstdint>
#include <cstring>

// Uncompressed bytes of one block: everything else is sized from it.
inline constexpr int kBlockSize = 16384;
// The run-length form of a block, and the row transform's scratch: a unit of
// the run-length form is at most two bytes for one, so twice the block.
inline constexpr int kBlockBufferSize = 2 * kBlockSize;
// The coded bits of one block.
inline constexpr int kBitBufferSize = 2 * kBlockSize;
// A padded block may end at this bit at the most: 32 bits short of the buffer,
// so that a word access at any position up to it stays inside BitBuffer.
inline constexpr std::int32_t kBitLimit = kBitBufferSize * 8 - 32;
// Bytes behind BitBuffer that word reads of a damaged block may touch: a read
// starts below the block's bit count and runs at most a few words on.
inline constexpr int kBitSlack = 16;

static_assert(kBlockBufferSize >= 2 * kBlockSize, "RleUnpack reads up to two bytes of BlockBuffer per byte it writes");
static_assert(kBitLimit % 8 == 0 && kBitLimit + 32 <= kBitBufferSize * 8, "a 32-bit word at the limit stays inside");
static_assert(kBitSlack >= 8, "BitWindow loads 8 bytes at the byte of any position below the buffer's end");

extern thread_local constinit std::uint8_t BlockBuffer[kBlockBufferSize];
extern thread_local constinit std::uint8_t BitBuffer[kBitBufferSize + kBitSlack];
extern thread_local constinit std::int32_t BitPos;
extern const std::uint32_t BitMask[25];
extern thread_local constinit std::uint8_t BitLen[256];

inline std::uint32_t LoadWord(const std::uint8_t *p) {
  std::uint32_t w;
  std::memcpy(&w, p, 4);
  return w;
}

inline void StoreWord(std::uint8_t *p, std::uint32_t w) { std::memcpy(p, &w, 4); }
inline std::uint64_t LoadWord64(const std::uint8_t *p) {
  std::uint64_t w;
  std::memcpy(&w, p, 8);
  return w;
}
inline void StoreWord64(std::uint8_t *p, std::uint64_t w) { std::memcpy(p, &w, 8); }
inline void StoreWord16(std::uint8_t *p, std::uint32_t w) {
  const auto h = static_cast<std::uint16_t>(w);
  std::memcpy(p, &h, 2);
}
// The 57 or more stream bits from bit pos on, in the low bits: one 64-bit
// load, as the decoders read a whole item (code and extra bits) at once.
// Reads at most 8 bytes from byte pos/8, which kBitSlack covers for any
// pos below the buffer's bit count.
inline std::uint64_t BitWindow(std::uint32_t pos) { return LoadWord64(BitBuffer + (pos >> 3)) >> (pos & 7); }

inline constexpr std::uint32_t kRefillBits = 56; // valid bits after a refill, at least
// The decoders' fast loops start an item only while the block holds a whole
// 64-bit bit buffer beyond it, so that the items they look up after a check
// need no test against the block's end.
inline constexpr std::uint32_t kFastTailBits = 64;
// After a refill Pos() is at most in * 8 - kRefillBits, so a reader whose in
// is at or below this keeps Pos() + kFastTailBits within end.
inline const std::uint8_t *FastInLimit(std::uint32_t end) { return BitBuffer + (end - (kFastTailBits - kRefillBits)) / 8; }
static_assert((kFastTailBits - kRefillBits) % 8 == 0, "the limit is a whole byte");
static_assert(15 - static_cast<int>(kFastTailBits / 8) < kBitSlack,
              "a refill below the limit reads up to byte Pos() / 8 + 15, within the slack");

// The decoders' bit buffer: bits holds the stream from Pos() on, lowest bit
// first, and at least `left` of its bits are valid (after Refill 56 to 63).
// Refill loads the 8 bytes at in without a branch: what it ORs into the bits
// above `left` are the stream bits that are already there, and in moves on
// by the whole bytes taken. A reader at a position p reads BitBuffer up to
// byte p/8 + 15, which kBitSlack covers while p + 64 stays within the
// buffer's bits.
struct BitReader {
  const std::uint8_t *in;
  std::uint64_t bits;
  std::uint32_t left;

  explicit BitReader(std::uint32_t pos) : in(BitBuffer + (pos >> 3)), bits(0), left(0) {
    Refill();
    Skip(pos & 7);
  }
  void Refill() {
    bits |= LoadWord64(in) << left;
    in += (63 - left) >> 3;
    left |= kRefillBits;
  }
  void Skip(std::uint32_t n) {
    bits >>= n;
    left -= n;
  }
  std::uint32_t Pos() const { return static_cast<std::uint32_t>(in - BitBuffer) * 8 - left; }
};

// Writes value (below 2^n) as an n-bit field; the bits above it in the word are cleared.
inline void BitPut(int n, std::uint32_t value) {
  std::uint8_t *p = BitBuffer + (BitPos >> 3);
  const int s = BitPos & 7;
  StoreWord(p, (value << s) | (LoadWord(p) & BitMask[s]));
  BitPos += n;
}

inline std::uint32_t BitPeek() {
  return (LoadWord(BitBuffer + (BitPos >> 3)) >> (BitPos & 7)) & 0xffffffu;
}

inline std::uint32_t BitGet(int n) {
  const std::uint32_t v = (LoadWord(BitBuffer + (BitPos >> 3)) >> (BitPos & 7)) & BitMask[n];
  BitPos += n;
  return v;
}

inline void BitSkip(int n) { BitPos += n; }

// The coders' bit writer for runs of fields: BitPut's stream in a 64-bit
// accumulator, stored a 32-bit word at a time. Finish stores what is left as
// BitPut would (the bits above it in its word cleared) and sets BitPos; a
// last BitPut after it leaves BitBuffer exactly as BitPut alone would.
struct BitWriter {
  std::uint8_t *out;
  std::uint64_t acc;
  std::uint32_t count;

  BitWriter() : out(BitBuffer + (BitPos >> 3)), acc(*out & BitMask[BitPos & 7]), count(static_cast<std::uint32_t>(BitPos & 7)) {}
  void Put(int n, std::uint32_t value) {
    acc |= static_cast<std::uint64_t>(value) << count;
    count += static_cast<std::uint32_t>(n);
    if (count >= 32) {
      StoreWord(out, static_cast<std::uint32_t>(acc));
      out += 4;
      acc >>= 32;
      count -= 32;
    }
  }
  void Finish() {
    StoreWord(out, static_cast<std::uint32_t>(acc));
    BitPos = static_cast<std::int32_t>(out - BitBuffer) * 8 + static_cast<std::int32_t>(count);
  }
};

// Completes the last byte with zero bits.
inline void BitPad() {
  while ((BitPos & 7) != 0) BitPut(1, 0);
}

void BitLenInit();
