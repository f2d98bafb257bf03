#include "lzx/codec/lengths.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "fileio/fatal.h"
#include "lzx/codec/bits.h"

namespace {
thread_local constinit std::uint8_t g_items[kMaxSymbols] = {};

// The code-length alphabet's codes of up to 8 bits, by the next 8 stream
// bits: symbol and length, or 0xffff. Built only for lengths that form a
// proper code, where at most one code matches and this gives UnCode's answer.
thread_local constinit std::uint16_t g_lenFast[256] = {};

bool LenFastInit() {
  if (LengthsFit(&LenTable) != CodeFit::Proper) return false;
  std::fill(std::begin(g_lenFast), std::end(g_lenFast), std::uint16_t{0xffff});
  for (int s = 0; s < kLenSymbols; ++s) {
    const int l = LenTable.lengths[s];
    if (l < 1 || l > 8) continue;
    for (auto i = static_cast<std::uint32_t>(LenTable.codes[s]); i < 256; i += 1u << l)
      g_lenFast[i] = static_cast<std::uint16_t>(s | l << 8);
  }
  return true;
}

} // namespace

std::int32_t LenRuns(const std::uint8_t *lengths, std::int32_t n, std::uint8_t *buffer) {
  std::int32_t used = 0;
  for (std::int32_t i = 0; n - i > 0;) {
    const std::uint8_t v = lengths[i];
    std::int32_t run = 1;
    if (v == 0)
      while (run < 83 && run < n - i && lengths[i + run] == 0) ++run;
    if (run < 3 || run == 19) run = 1;
    std::uint8_t symbol = v;
    if (run == 1) {
      buffer[used++] = v;
    } else {
      symbol = run <= 18 ? kRunShort : kRunLong;
      buffer[used++] = symbol;
      buffer[used++] = static_cast<std::uint8_t>(run);
    }
    LenTable.keys[symbol] += 0x10000;
    i += run;
  }
  return used;
}

void SendLenLens(const std::uint8_t *lengths) {
  for (int s = 0; s < kLenSymbols; ++s) {
    const std::uint32_t l = lengths[s];
    if (l < 7) {
      BitPut(3, l);
      continue;
    }
    if (l > 14) FatalMessage("SendLenLens: too big");
    BitPut(3, 7);
    BitPut(3, l - 7);
  }
}

void RecvLenLens(std::uint8_t *lengths) {
  // At most 27 * 6 bits: three refills of the bit buffer, each good for 56.
  BitReader r(static_cast<std::uint32_t>(BitPos));
  for (int s = 0; s < kLenSymbols; ++s) {
    if (s % 9 == 0) r.Refill();
    std::uint32_t l = r.bits & 7;
    r.Skip(3);
    if (l == 7) {
      l += r.bits & 7;
      r.Skip(3);
    }
    lengths[s] = static_cast<std::uint8_t>(l);
  }
  BitPos = static_cast<std::int32_t>(r.Pos());
}

void SendLens(HuffTable *table) {
  FresInit(&LenTable, kLenSymbols);
  const std::int32_t used = LenRuns(table->lengths, table->count, g_items);
  FreqToLen(&LenTable);
  SendLenLens(LenTable.lengths);
  LenToVal(&LenTable);
  for (std::int32_t i = 0; i < used; ++i) {
    const std::uint8_t symbol = g_items[i];
    BitPut(LenTable.lengths[symbol], static_cast<std::uint32_t>(LenTable.codes[symbol]));
    if (symbol == kRunShort) BitPut(4, g_items[++i] - 3u);
    else if (symbol == kRunLong) BitPut(6, g_items[++i] - 20u);
  }
}

void RecvLens(HuffTable *table, std::int32_t n) {
  LenTable.count = kLenSymbols;
  RecvLenLens(LenTable.lengths);
  LenToVal(&LenTable);
  table->count = n;
  const bool fast = LenFastInit();
  // The stream in a 64-bit bit buffer, refilled before every second item
  // (each a code of up to 14 bits and a run field of up to 6); the reads
  // stay within the 400 items' few hundred bytes.
  BitReader r(static_cast<std::uint32_t>(BitPos));
  for (std::int32_t i = 0, item = 0; i < n; ++item) {
    if (item % 2 == 0) r.Refill();
    const std::uint16_t entry = fast ? g_lenFast[r.bits & 0xff] : std::uint16_t{0xffff};
    std::int32_t symbol;
    std::uint32_t length;
    if (entry != 0xffff) {
      symbol = entry & 0xff;
      length = entry >> 8;
    } else {
      symbol = UnCode(&LenTable, static_cast<std::uint32_t>(r.bits) & 0xffffffu);
      length = LenTable.lengths[symbol];
    }
    if (symbol <= 24) {
      r.Skip(length);
      table->lengths[i++] = static_cast<std::uint8_t>(symbol);
      continue;
    }
    std::int32_t k;
    const auto field = static_cast<std::uint32_t>(r.bits >> length);
    if (symbol == kRunShort) {
      k = static_cast<std::int32_t>(field & 15) + 3;
      r.Skip(length + 4);
    } else if (symbol == kRunLong) {
      k = static_cast<std::int32_t>(field & 63) + 20;
      r.Skip(length + 6);
    } else {
      r.Skip(length);
      BitPos = static_cast<std::int32_t>(r.Pos());
      FatalMessage("RecvLens: bad code %d", symbol);
    }
    // Zeros that would fall past the n-th length are dropped.
    const std::int32_t zeros = k < n - i ? k : n - i;
    std::memset(table->lengths + i, 0, static_cast<std::size_t>(zeros));
    i += zeros;
  }
  BitPos = static_cast<std::int32_t>(r.Pos());
}

void CodeTableRecv(std::int32_t n) {
  RecvLens(&CodeTable, n);
  CodeTableBuild(&CodeTable);
}
