// The run-length stage (the format: docs/format.md, "Decoding a block"). Why
// it is written as it is: docs/performance.md.
//
// RleUnpack stores 32 bytes at a time and advances over the plain ones
// before the first escape (0x80-0x8f), found with SSE2 on x86-64 and with
// 64-bit words elsewhere (the 32-bit Windows build does not assume SSE2),
// then takes the escape's pair at once; the last bytes go 16 at a time and
// unit by unit. It relies on p <= 2 * out (every unit yields a byte from at
// most two), so the wide reads stay inside BlockBuffer, and stores 32 (16)
// bytes only while out + 32 (16) <= 16384.
// RlePack copies 8 bytes at a time up to the first byte that is an escape
// or starts a run of three, found with zero-byte tests on the word and the
// words one and two bytes on; it stops early once the coded form has
// reached 16384 bytes, which can only end as a stored block.

#include "lzx/codec/rle.h"

#include <cstring>

#include "fileio/fatal.h"
#include "lzx/codec/bits.h"

// SSE2 is part of every x86-64 processor; the 32-bit Windows build does not
// assume it and takes the portable path.
#if defined(__SSE2__) && defined(__x86_64__)
#define VORN_SSE2 1
#include <emmintrin.h>
#else
#define VORN_SSE2 0
#endif

namespace {

// Flags the bytes of w that lie in 0x80-0x8f (escapes) with their top bit;
// the lowest flag is exact, flags above it may be false.
inline std::uint64_t EscapeFlags(std::uint64_t w) {
  const std::uint64_t e = (w & 0xf0f0f0f0f0f0f0f0u) ^ 0x8080808080808080u; // 0 byte = escape
  return (e - 0x0101010101010101u) & ~e & 0x8080808080808080u;
}

// The same for zero bytes of x.
inline std::uint64_t ZeroFlags(std::uint64_t x) { return (x - 0x0101010101010101u) & ~x & 0x8080808080808080u; }

// How many of the 16 bytes at p come before the first escape (16 if none).
inline int PlainBytes(const std::uint8_t *p) {
#if VORN_SSE2
  const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
  const __m128i hits = _mm_cmpeq_epi8(_mm_and_si128(v, _mm_set1_epi8(static_cast<char>(0xf0))),
                                      _mm_set1_epi8(static_cast<char>(0x80)));
  const auto mask = static_cast<unsigned>(_mm_movemask_epi8(hits));
  return mask == 0 ? 16 : __builtin_ctz(mask);
#else
  const std::uint64_t a = EscapeFlags(LoadWord64(p));
  if (a != 0) return __builtin_ctzll(a) >> 3;
  const std::uint64_t b = EscapeFlags(LoadWord64(p + 8));
  return b == 0 ? 16 : 8 + (__builtin_ctzll(b) >> 3);
#endif
}

// How many of the 32 bytes at p come before the first escape (32 if none).
inline int PlainBytes32(const std::uint8_t *p) {
#if VORN_SSE2
  const __m128i high = _mm_set1_epi8(static_cast<char>(0xf0)), escape = _mm_set1_epi8(static_cast<char>(0x80));
  const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
  const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 16));
  const auto mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_and_si128(a, high), escape))) |
                    static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_and_si128(b, high), escape))) << 16;
  return mask == 0 ? 32 : __builtin_ctz(mask);
#else
  const int first = PlainBytes(p);
  return first < 16 ? first : 16 + PlainBytes(p + 16);
#endif
}

} // namespace

std::int32_t RlePack(const std::uint8_t *block) {
  std::int32_t q = 0, out = 0;
  while (q < kBlockSize) {
    // Eight bytes at a time up to the first that starts a run of three or is
    // an escape: the bytes before it are written as they are. The word
    // loads reach q + 9, so this stops 10 bytes before the end, and out (at
    // most 2q) leaves room for the 8-byte store.
    if (q + 10 <= kBlockSize) {
      const std::uint64_t w = LoadWord64(block + q);
      const std::uint64_t next1 = LoadWord64(block + q + 1), next2 = LoadWord64(block + q + 2);
      // A zero byte in (w ^ next1) | (w ^ next2) is a byte equal to the next two.
      const std::uint64_t stops = ZeroFlags((w ^ next1) | (w ^ next2)) | EscapeFlags(w);
      StoreWord64(BlockBuffer + out, w);
      const int plain = stops == 0 ? 8 : __builtin_ctzll(stops) >> 3;
      q += plain;
      out += plain;
      if (plain == 8) continue;
    }
    const std::uint8_t v = block[q];
    std::int32_t r = 1;
    if (q + 2 < kBlockSize && block[q + 1] == v && block[q + 2] == v) {
      r = 3;
      while (r < 16 && q + r < kBlockSize && block[q + r] == v) ++r;
    }
    if (r > 1 || (v & 0xf0) == 0x80) BlockBuffer[out++] = static_cast<std::uint8_t>(r + 127);
    BlockBuffer[out++] = v;
    q += r;
    // A coded form that has reached the block's length can only end as a
    // stored block.
    if (out >= kBlockSize) break;
  }
  if (out < kBlockSize) {
    if (q != kBlockSize) FatalMessage("RlePack: BUG");
    return out;
  }
  std::memcpy(BlockBuffer, block, kBlockSize);
  return kBlockSize;
}

void RleUnpack(std::int32_t length, std::uint8_t *destination) {
  if (length >= kBlockSize) {
    if (length > kBlockSize) FatalMessage("RleUnpack: input > output");
    std::memcpy(destination, BlockBuffer, kBlockSize);
    return;
  }
  // Every unit yields at least one byte from at most two, so p stays at or
  // below 2 * out and the wide reads below stay inside BlockBuffer.
  std::int32_t p = 0, out = 0;
  // Thirty-two bytes at a time: the plain bytes before the first escape
  // (0x80-0x8f) are stored with the rest of the 32, whose surplus the
  // following units write over; the escape's pair follows at once, its
  // copies stored as 16 (at most 16 count).
  while (out + 32 <= kBlockSize) {
    std::memcpy(destination + out, BlockBuffer + p, 32);
    const int plain = PlainBytes32(BlockBuffer + p);
    p += plain;
    out += plain;
    if (plain == 32) continue;
    if (out + 16 > kBlockSize) break; // the escape's 16 would not fit: the loop below takes it
    const std::uint8_t c = BlockBuffer[p];
    std::memset(destination + out, BlockBuffer[p + 1], 16);
    p += 2;
    out += c - 127;
  }
  // The last bytes: sixteen at a time while they fit, then unit by unit.
  while (out < kBlockSize) {
    if (out + 16 <= kBlockSize) {
      std::memcpy(destination + out, BlockBuffer + p, 16);
      const int plain = PlainBytes(BlockBuffer + p);
      p += plain;
      out += plain;
      if (plain == 16) continue;
    }
    const std::uint8_t c = BlockBuffer[p++];
    if ((c & 0xf0) != 0x80) {
      destination[out++] = c;
      continue;
    }
    const std::uint8_t v = BlockBuffer[p++];
    const std::int32_t copies = c - 127;
    // Copies past the 16384th byte are counted but not stored.
    if (copies <= kBlockSize - out - 16) {
      std::memset(destination + out, v, 16);
    } else {
      const std::int32_t stored = copies < kBlockSize - out ? copies : kBlockSize - out;
      std::memset(destination + out, v, static_cast<std::size_t>(stored));
    }
    out += copies;
  }
  if (p != length) FatalMessage("RleUnpack: too many bytes read");
  if (out != kBlockSize) FatalMessage("RleUnpack: too many bytes written");
}
