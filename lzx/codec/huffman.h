// Canonical Huffman codes for alphabets of up to 512 symbols.
//
// Frequencies become lengths through a plain Huffman tree with fixed
// tie-breaks (they decide which bytes a packer writes), lengths become
// canonical codes stored bit-reversed, and decoding uses a 1024-entry table for
// codes of up to 10 bits and a linear search beyond.
#pragma once

#include <cstdint>

inline constexpr int kMaxSymbols = 512;
inline constexpr int kMaxCodeLength = 24;
inline constexpr int kFastBits = 10;
inline constexpr std::uint16_t kNoSymbol = 512;

struct HuffTable {
  std::int32_t count;                 // symbols 0 .. count-1
  std::uint32_t keys[kMaxSymbols];    // frequency << 16 | symbol; sorted by FreqToLen
  std::int32_t used;                  // symbols that occur, set by FreqToLen
  std::uint8_t lengths[kMaxSymbols];  // code length in bits, 0 = no code
  std::int32_t codes[kMaxSymbols];    // bit-reversed code values
};

extern HuffTable CodeTable; // the data alphabet
extern HuffTable LenTable;  // the 27-symbol code-length alphabet
// Indexed by the next 10 stream bits: the symbol whose code (of up to 10
// bits) they begin with in bits 0-9, and that code's length in bits 10-14;
// kNoSymbol (length 0) when the code is longer, or none matches.
extern std::uint16_t FastTable[1 << kFastBits];
inline constexpr std::uint16_t kFastSymbolMask = 0x3ff;
inline constexpr int kFastLengthShift = 10;

void FresInit(HuffTable *table, std::int32_t n);
void FreqSort(HuffTable *table);
void FreqToLen(HuffTable *table);
std::int32_t TreeBuild(HuffTable *table);
void TreeToLen(HuffTable *table, std::int32_t node, std::int32_t depth);
std::uint32_t BitRev(std::uint32_t v, int n);
void LenToVal(HuffTable *table);
void FastInit(const HuffTable *table);
// The symbol of a code longer than kFastBits at the start of window: the
// linear search over the symbols, which defines the result.
std::int32_t DecodeLong(const HuffTable *table, std::uint32_t window);

// The same answer found by length instead (canonical decoding), for the
// decoders' inner loops. LongCodeInit prepares it for a table whose lengths
// and codes are set; for lengths that do not form a proper code it falls
// back to DecodeLong.
struct LongCodeIndex {
  bool canonical;
  int maxLength;
  std::uint32_t first[kMaxCodeLength + 1];  // first canonical code of each length
  std::uint32_t count[kMaxCodeLength + 1];  // codes of each length
  std::int32_t offset[kMaxCodeLength + 1];  // where each length's symbols start in symbols
  std::uint16_t symbols[kMaxSymbols];       // long-code symbols by length, then symbol
};
extern LongCodeIndex LongCodes;
void LongCodeInit(const HuffTable *table);
std::int32_t DecodeLongFast(const HuffTable *table, std::uint32_t window);
std::int32_t UnCode(const HuffTable *table, std::uint32_t window);

// Reads the CodeTable of n symbols (its code lengths) at BitPos and builds
// what the decoders look symbols up in: codes, FastTable, LongCodes.
void CodeTableRecv(std::int32_t n);

// The CodeTable symbol whose code begins the window (the stream bits from
// the current position on); its code length goes to *length.
inline std::int32_t DecodeWindow(std::uint64_t window, int *length) {
  const std::uint16_t entry = FastTable[window & 0x3ff];
  if (entry != kNoSymbol) {
    *length = entry >> kFastLengthShift;
    return entry & kFastSymbolMask;
  }
  const std::int32_t s = DecodeLongFast(&CodeTable, static_cast<std::uint32_t>(window));
  *length = CodeTable.lengths[s];
  return s;
}
