// Huffman code construction and the decoders' tables (the codes and their
// lengths in the stream: docs/format.md). Why the decoding
// table is built as it is: docs/performance.md. DecodeTableInit fills the
// 2048 entries of DecodeTable (layout in huffman.h) by doubling: the table
// for windows of l bits, copied behind itself, is the table for l + 1 bits
// before the codes of l + 1 bits are entered, so each entry is written a few
// times by memcpy instead of once per code in strided stores. That is exact
// only for a proper code (no two codes share a window), which LongCodeInit
// decides; other lengths get FastInit's strided filling and its answers.
// The decoders use CodeTableBuild: the codes, the long-code index and the
// same table in two passes over the lengths, then the pairs of literals.

#include "lzx/codec/huffman.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <iterator>
#include <functional>

#include "fileio/fatal.h"
#include "lzx/codec/bits.h"

thread_local constinit HuffTable CodeTable = {};
thread_local constinit HuffTable LenTable = {};
thread_local constinit std::uint16_t FastTable[1 << kFastBits] = {};

namespace {

constexpr std::uint16_t kNone = 0xffff;

struct TreeNode {
  std::uint16_t weight, number, left, right;
};

thread_local constinit TreeNode g_nodes[2 * kMaxSymbols - 1] = {};
thread_local constinit std::uint16_t g_list[kMaxSymbols] = {}; // unmerged nodes, heaviest first

} // namespace

void FresInit(HuffTable *table, std::int32_t n) {
  if (n > kMaxSymbols) FatalMessage("FresInit: too many symbols");
  table->count = n;
  for (std::int32_t i = 0; i < n; ++i) table->keys[i] = static_cast<std::uint32_t>(i);
}

// Descending keys: higher frequency first, among equal frequencies the higher
// symbol. The keys are distinct, so any sort gives this one order.
void FreqSort(HuffTable *table) {
  if (table->count < 2) return;
  std::sort(table->keys, table->keys + table->count, std::greater<>());
}

std::int32_t TreeBuild(HuffTable *table) {
  std::int32_t k = table->used;
  std::int32_t next = table->used;
  while (k >= 2) {
    const TreeNode &x = g_nodes[g_list[k - 2]];
    const TreeNode &y = g_nodes[g_list[k - 1]];
    TreeNode &node = g_nodes[next];
    node.weight = static_cast<std::uint16_t>(x.weight + y.weight);
    node.number = static_cast<std::uint16_t>(next);
    node.left = x.number;
    node.right = y.number;
    // The new node goes behind every entry of equal or greater weight, so that
    // among equal weights a node made later is merged sooner.
    std::int32_t pos = k - 2;
    while (pos > 0 && g_nodes[g_list[pos - 1]].weight < node.weight) {
      g_list[pos] = g_list[pos - 1];
      --pos;
    }
    g_list[pos] = static_cast<std::uint16_t>(next);
    ++next;
    --k;
  }
  if (next != 2 * table->used - 1) FatalMessage("TreeBuild: BUG");
  return next;
}

void TreeToLen(HuffTable *table, std::int32_t node, std::int32_t depth) {
  if (depth > kMaxCodeLength) FatalMessage("TreeToLen: too deep");
  if (node < table->used) {
    table->lengths[table->keys[node] & 0xffff] = static_cast<std::uint8_t>(depth);
    if (depth == 0) FatalMessage("TreeToLen: root is used");
  }
  const TreeNode &n = g_nodes[node];
  if ((n.left == kNone) != (n.right == kNone)) FatalMessage("TreeToLen: child missing");
  if (n.left != kNone) {
    TreeToLen(table, n.left, depth + 1);
    TreeToLen(table, n.right, depth + 1);
  }
}

void FreqToLen(HuffTable *table) {
  std::fill(table->lengths, table->lengths + kMaxSymbols, std::uint8_t{0});
  FreqSort(table);
  std::int32_t j = 0;
  for (; j < table->count && table->keys[j] >= 0x10000; ++j) {
    g_nodes[j] = TreeNode{static_cast<std::uint16_t>(table->keys[j] >> 16), static_cast<std::uint16_t>(j), kNone, kNone};
    g_list[j] = static_cast<std::uint16_t>(j);
  }
  table->used = j;
  if (j == 0) {
    table->lengths[0] = 1; // nothing occurs: symbol 0 still gets a code
  } else if (j == 1) {
    table->lengths[table->keys[0] & 0xffff] = 1;
  } else {
    TreeToLen(table, TreeBuild(table) - 1, 0);
  }
}

namespace {

// The bits of each byte in reverse order.
constexpr auto kReversedBytes = [] {
  std::array<std::uint8_t, 256> t{};
  for (unsigned v = 0; v < 256; ++v) {
    unsigned r = 0;
    for (int i = 0; i < 8; ++i) r |= ((v >> i) & 1u) << (7 - i);
    t[v] = static_cast<std::uint8_t>(r);
  }
  return t;
}();

// The low 24 bits of v in reverse order.
inline std::uint32_t Reverse24(std::uint32_t v) {
  return static_cast<std::uint32_t>(kReversedBytes[v & 0xff]) << 16 |
         static_cast<std::uint32_t>(kReversedBytes[(v >> 8) & 0xff]) << 8 | kReversedBytes[(v >> 16) & 0xff];
}

// The one test of a set of code lengths as a code. From number[l], the codes
// of l bits: the first canonical code of each length taken within its bits
// (next, as LenToVal counts them up) and unbounded (first, for the long-code
// index); true when the lengths form a proper code, the Kraft sum at most 1,
// so that no two codes share a window.
bool CanonicalStarts(const std::int32_t *number, std::uint32_t *next, std::uint32_t *first) {
  bool proper = true;
  std::uint64_t code = 0;
  for (int l = 1; l <= kMaxCodeLength; ++l) {
    if (l > 1) code = (code + static_cast<std::uint64_t>(number[l - 1])) * 2;
    if (code + static_cast<std::uint64_t>(number[l]) > (std::uint64_t{1} << l)) proper = false;
    next[l] = static_cast<std::uint32_t>(code) & BitMask[l];
    first[l] = static_cast<std::uint32_t>(code);
  }
  return proper;
}

// Length l has more codes than its bits leave after the shorter codes' (next
// from CanonicalStarts): LenToVal would run out of codes of l bits. A macro,
// so that CodeTableBuild compiles as with the test written out in place.
#define VORN_OVERCOUNTED_AT(number, next, l) \
  ((number)[l] > 0 && (next)[l] + static_cast<std::uint32_t>((number)[l]) > (1u << (l)))

} // namespace

CodeFit LengthsFit(const HuffTable *table) {
  std::int32_t number[kMaxCodeLength + 1] = {};
  for (std::int32_t s = 0; s < table->count; ++s) ++number[table->lengths[s]];
  std::uint32_t next[kMaxCodeLength + 1], first[kMaxCodeLength + 1];
  if (CanonicalStarts(number, next, first)) return CodeFit::Proper;
  for (int l = 1; l <= kMaxCodeLength; ++l)
    if (VORN_OVERCOUNTED_AT(number, next, l)) return CodeFit::Overcounted;
  return CodeFit::Improper;
}

std::uint32_t BitRev(std::uint32_t v, int n) { return Reverse24(v) >> (24 - n); }

void LenToVal(HuffTable *table) {
  std::int32_t number[kMaxCodeLength + 1] = {};
  for (std::int32_t s = 0; s < table->count; ++s) ++number[table->lengths[s]];
  // The canonical codes of each length count up from the first one, taken
  // within the length's bits; running out of them is an overcounted code.
  std::uint32_t next[kMaxCodeLength + 1] = {}, first[kMaxCodeLength + 1];
  CanonicalStarts(number, next, first);
  for (std::int32_t s = 0; s < table->count; ++s) {
    const int l = table->lengths[s];
    if (l == 0) continue;
    if ((next[l] >> l) != 0) FatalMessage("LenToVal: overcounted");
    // Stored bit-reversed, since the stream sends codes first bit first.
    table->codes[s] = static_cast<std::int32_t>(BitRev(next[l], l));
    ++next[l];
  }
}

void FastInit(const HuffTable *table) {
  std::fill(std::begin(FastTable), std::end(FastTable), kNoSymbol);
  for (std::int32_t s = 0; s < table->count; ++s) {
    const int l = table->lengths[s];
    if (l < 1 || l > kFastBits) continue;
    for (auto i = static_cast<std::uint32_t>(table->codes[s]); i < (1u << kFastBits); i += 1u << l)
      FastTable[i] = static_cast<std::uint16_t>(s | l << kFastLengthShift);
  }
}

std::int32_t DecodeLong(const HuffTable *table, std::uint32_t window) {
  for (std::int32_t s = 0; s < table->count; ++s) {
    const int l = table->lengths[s];
    if (l > kFastBits && ((window ^ static_cast<std::uint32_t>(table->codes[s])) & BitMask[l]) == 0) return s;
  }
  FatalMessage("DecodeLong: code not found");
}

thread_local constinit LongCodeIndex LongCodes = {};

thread_local constinit std::uint32_t DecodeTable[1 << kTableBits] = {};

namespace {

// DecodeEntry without the code length: what a symbol's entry holds besides
// it (the extra bits, classes and flags of a reference, a literal's byte).
constexpr std::uint32_t EntryTemplate(std::int32_t s) {
  if (s < 256) return static_cast<std::uint32_t>(s) << kEntryByteShift;
  const auto lengthClass = static_cast<std::uint32_t>(s - 256) >> 4;
  const auto distanceClass = static_cast<std::uint32_t>(s - 256) & 15;
  const std::uint32_t lengthExtra = lengthClass >= 2 ? lengthClass - 1 : 0;
  const std::uint32_t distanceExtra = distanceClass >= 2 ? distanceClass - 1 : 0;
  const std::uint32_t lengthBase = (lengthClass >= 2 ? 1u << (lengthClass - 1) : lengthClass) + 3;
  return (lengthExtra + distanceExtra) | lengthExtra << kEntryLengthExtraShift | lengthBase << kEntryByteShift |
         distanceClass << kEntryDistanceClassShift | kEntryRef | (distanceClass > kMaxFastDistanceClass ? kEntryStop : 0);
}

constexpr auto kEntryTemplates = [] {
  std::array<std::uint32_t, kMaxSymbols> t{};
  for (std::int32_t s = 0; s < kMaxSymbols; ++s) t[static_cast<std::size_t>(s)] = EntryTemplate(s);
  return t;
}();

// The entry of symbol s with a code of l bits: the code length is added
// to the bit count and stored in its own field.
inline std::uint32_t Entry(std::int32_t s, std::uint32_t l) {
  return kEntryTemplates[static_cast<std::size_t>(s)] + l + (l << kEntryCodeLengthShift);
}

// Fills DecodeTable for a proper code from its symbols sorted by code length
// (then symbol), start[l] being where those of length l begin. A table for
// windows of l bits holds the codes of up to l bits; its copy behind itself
// is the table for l + 1 bits before the codes of l + 1 bits go in. In a
// proper code no two codes share an entry.
void FillByDoubling(const HuffTable *table, const std::uint16_t *sorted, const std::int32_t *start) {
  DecodeTable[0] = DecodeTable[1] = kEntrySlow;
  std::uint32_t size = 2;
  for (int l = 1; l <= kTableBits; ++l) {
    if (l > 1) {
      std::memcpy(DecodeTable + size, DecodeTable, size * sizeof DecodeTable[0]);
      size *= 2;
    }
    for (std::int32_t k = start[l]; k < start[l + 1]; ++k)
      DecodeTable[table->codes[sorted[k]]] = Entry(sorted[k], static_cast<std::uint32_t>(l));
  }
}

} // namespace

std::uint32_t DecodeEntry(std::int32_t s, int length) { return Entry(s, static_cast<std::uint32_t>(length)); }

void DecodeTableInit(const HuffTable *table) {
  if (!LongCodes.canonical) {
    std::fill(std::begin(DecodeTable), std::end(DecodeTable), kEntrySlow);
    for (std::int32_t s = 0; s < table->count; ++s) {
      const int l = table->lengths[s];
      if (l < 1 || l > kFastBits) continue;
      const std::uint32_t entry = DecodeEntry(s, l);
      for (auto i = static_cast<std::uint32_t>(table->codes[s]); i < (1u << kTableBits); i += 1u << l)
        DecodeTable[i] = entry;
    }
    return;
  }
  // The symbols of each length up to kTableBits, in symbol order.
  std::uint16_t bySize[kMaxSymbols];
  std::int32_t start[kTableBits + 2] = {};
  for (std::int32_t s = 0; s < table->count; ++s)
    if (table->lengths[s] >= 1 && table->lengths[s] <= kTableBits) ++start[table->lengths[s] + 1];
  for (int l = 1; l <= kTableBits; ++l) start[l + 1] += start[l];
  std::int32_t fill[kTableBits + 1];
  std::copy(start, start + kTableBits + 1, fill);
  for (std::int32_t s = 0; s < table->count; ++s)
    if (table->lengths[s] >= 1 && table->lengths[s] <= kTableBits) bySize[fill[table->lengths[s]]++] = static_cast<std::uint16_t>(s);
  FillByDoubling(table, bySize, start);
}

std::uint32_t DecodeSlow(std::uint64_t window) {
  const std::int32_t s = DecodeLongCode(static_cast<std::uint32_t>(window));
  return DecodeEntry(s, CodeTable.lengths[s]);
}

void LongCodeInit(const HuffTable *table) {
  LongCodeIndex &x = LongCodes;
  std::int32_t number[kMaxCodeLength + 1] = {};
  for (std::int32_t s = 0; s < table->count; ++s) ++number[table->lengths[s]];
  // Canonical decoding is exact only for a proper code; damaged lengths
  // keep the linear search.
  std::uint32_t next[kMaxCodeLength + 1];
  x.canonical = CanonicalStarts(number, next, x.first);
  x.maxLength = kFastBits;
  std::int32_t at = 0;
  std::int32_t fill[kMaxCodeLength + 1] = {};
  for (int l = kFastBits + 1; l <= kMaxCodeLength; ++l) {
    x.offset[l] = fill[l] = at;
    x.count[l] = static_cast<std::uint32_t>(number[l]);
    if (number[l] > 0) x.maxLength = l;
    at += number[l];
  }
  for (std::int32_t s = 0; s < table->count; ++s) {
    const int l = table->lengths[s];
    if (l > kFastBits) x.symbols[fill[l]++] = static_cast<std::uint16_t>(s);
  }
}

std::int32_t DecodeLongCode(std::uint32_t window) {
  const LongCodeIndex &x = LongCodes;
  if (!x.canonical) return DecodeLong(&CodeTable, window);
  // The first 24 stream bits as a number, first bit highest: each length's
  // canonical codes are consecutive numbers from x.first.
  const std::uint32_t bits = Reverse24(window);
  for (int l = kFastBits + 1; l <= x.maxLength; ++l) {
    const std::uint32_t k = (bits >> (24 - l)) - x.first[l];
    if (k < x.count[l]) return x.symbols[x.offset[l] + static_cast<std::int32_t>(k)];
  }
  FatalMessage("DecodeLong: code not found");
}

std::int32_t UnCode(const HuffTable *table, std::uint32_t window) {
  for (std::int32_t s = 0; s < table->count; ++s) {
    const int l = table->lengths[s];
    if (l > 0 && ((window ^ static_cast<std::uint32_t>(table->codes[s])) & BitMask[l]) == 0) return s;
  }
  FatalMessage("UnCode: code not found");
}


void CodeTableBuild(HuffTable *table) {
  const std::int32_t n = table->count;
  // The lengths counted in four tallies, so that equal neighbours do not wait
  // on each other's increments.
  std::int32_t tally[4][kMaxCodeLength + 1] = {};
  std::int32_t s = 0;
  for (; s + 4 <= n; s += 4)
    for (int k = 0; k < 4; ++k) ++tally[k][table->lengths[s + k]];
  for (; s < n; ++s) ++tally[0][table->lengths[s]];
  std::int32_t number[kMaxCodeLength + 1];
  for (int l = 0; l <= kMaxCodeLength; ++l) number[l] = tally[0][l] + tally[1][l] + tally[2][l] + tally[3][l];

  // LenToVal's first code of each length and its refusal of an overcounted
  // length; LongCodeInit's first codes and its test for a proper code.
  std::uint32_t next[kMaxCodeLength + 1] = {};
  const bool canonical = CanonicalStarts(number, next, LongCodes.first);
  for (int l = 1; l <= kMaxCodeLength; ++l)
    if (VORN_OVERCOUNTED_AT(number, next, l)) FatalMessage("LenToVal: overcounted");
  if (!canonical) {
    // Damaged lengths: the steps one by one, with their own answers.
    LenToVal(table);
    LongCodeInit(table);
    DecodeTableInit(table);
    return;
  }

  // One pass: each symbol's code, and the symbols sorted by code length
  // (then by symbol), the order in which the table is filled and the long
  // codes are searched.
  std::uint16_t sorted[kMaxSymbols];
  std::int32_t start[kMaxCodeLength + 2];
  start[1] = 0;
  for (int l = 1; l <= kMaxCodeLength; ++l) start[l + 1] = start[l] + number[l];
  std::int32_t fill[kMaxCodeLength + 1];
  std::copy(start, start + kMaxCodeLength + 1, fill);
  for (s = 0; s < n; ++s) {
    const int l = table->lengths[s];
    if (l == 0) continue;
    table->codes[s] = static_cast<std::int32_t>(BitRev(next[l]++, l));
    sorted[fill[l]++] = static_cast<std::uint16_t>(s);
  }

  // The decoding table by doubling, as DecodeTableInit fills it.
  FillByDoubling(table, sorted, start);

  // Pairs of literals: where a literal's code of l bits is followed in the
  // window by another literal's code of at most 11 - l bits, the entry gives
  // both. For each l, what a pair adds to the first literal's entry is the
  // same for every first code: the second code is the single-code entry of
  // the window's remaining bits, if that code is a literal short enough.
  std::uint32_t single[1u << kTableBits];
  std::uint32_t where[1u << kTableBits], second[1u << kTableBits];
  std::memcpy(single, DecodeTable, sizeof single);
  for (int l = 1; l < kTableBits; ++l) {
    if (start[l] == start[l + 1] || sorted[start[l]] >= 256) continue; // no literal of l bits
    const std::uint32_t room = static_cast<std::uint32_t>(kTableBits - l);
    // The windows (above the first code) that hold a second literal.
    std::uint32_t pairs = 0;
    for (std::uint32_t j = 0; j < (1u << room); ++j) {
      const std::uint32_t e = single[j];
      where[pairs] = j << l;
      // The second code's bits add to the first's, its byte goes above the first byte.
      second[pairs] = (e & kEntryBitsMask) | (e & (0xffu << kEntryByteShift)) << 8 | kEntryPair;
      pairs += (e & (kEntryRef | kEntryStop)) == 0 && (e & kEntryBitsMask) <= room;
    }
    for (std::int32_t k = start[l]; k < start[l + 1] && sorted[k] < 256; ++k) {
      const auto code = static_cast<std::uint32_t>(table->codes[sorted[k]]);
      const std::uint32_t lone = Entry(sorted[k], static_cast<std::uint32_t>(l));
#pragma GCC unroll 4
      for (std::uint32_t t = 0; t < pairs; ++t) DecodeTable[code | where[t]] = lone + second[t];
    }
  }

  // The long codes, as LongCodeInit leaves them.
  LongCodeIndex &x = LongCodes;
  x.canonical = true;
  x.maxLength = kFastBits;
  const std::int32_t longStart = start[kFastBits + 1];
  for (int l = kFastBits + 1; l <= kMaxCodeLength; ++l) {
    x.offset[l] = start[l] - longStart;
    x.count[l] = static_cast<std::uint32_t>(number[l]);
    if (number[l] > 0) x.maxLength = l;
  }
  std::copy(sorted + longStart, sorted + start[kMaxCodeLength + 1], x.symbols);
}

#undef VORN_OVERCOUNTED_AT
