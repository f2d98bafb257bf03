// Canonical Huffman codes for alphabets of up to 512 symbols. Why the
// decoders' table is built and laid out as it is: docs/performance.md.
//
// Frequencies become lengths through a plain Huffman tree with fixed
// tie-breaks (they decide which bytes a packer writes), lengths become
// canonical codes stored bit-reversed. The decoders look codes of up to 11
// bits up in DecodeTable (2048 entries, layout below) and find longer ones by
// length (DecodeLongCode); FastTable (1024 entries, codes of up to 10 bits)
// and the linear search DecodeLong define the answers they must give.
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

extern thread_local constinit HuffTable CodeTable; // the data alphabet
extern thread_local constinit HuffTable LenTable;  // the 27-symbol code-length alphabet
// Indexed by the next 10 stream bits: the symbol whose code (of up to 10
// bits) they begin with in bits 0-9, and that code's length in bits 10-14;
// kNoSymbol (length 0) when the code is longer, or none matches.
extern thread_local constinit std::uint16_t FastTable[1 << kFastBits];
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
// decoders' inner loops. LongCodeInit (or CodeTableBuild) prepares it for a
// table whose lengths and codes are set; for lengths that do not form a
// proper code DecodeLongCode falls back to DecodeLong.
struct LongCodeIndex {
  bool canonical;
  int maxLength;
  std::uint32_t first[kMaxCodeLength + 1];  // first canonical code of each length
  std::uint32_t count[kMaxCodeLength + 1];  // codes of each length
  std::int32_t offset[kMaxCodeLength + 1];  // where each length's symbols start in symbols
  std::uint16_t symbols[kMaxSymbols];       // long-code symbols by length, then symbol
};
extern thread_local constinit LongCodeIndex LongCodes;
void LongCodeInit(const HuffTable *table);
// The long code at the start of window, of CodeTable as it was built last
// (the index belongs to that build). A window no code begins ends as
// DecodeLong ends, with its text: it stands in for DecodeLong in the decoders.
std::int32_t DecodeLongCode(std::uint32_t window);
std::int32_t UnCode(const HuffTable *table, std::uint32_t window);

// The decoders' table (see docs/performance.md, "Decoding"): indexed by the
// next 11 stream bits, one 32-bit entry that says all the item loops need
// of the code those bits begin with:
//
//   bit  31..24     23..16           15..13       12..8    7     6    5..0
//        D class    byte, or length  extra        code     stop  ref  bits the whole
//        (a pair:   base (m, 3-131)  length bits  length                item takes
//        2nd byte)                   (pair: 1)
//
// A literal has ref clear and takes its code length; a reference of length
// class L and distance class D takes its code length plus L - 1 and D - 1
// extra bits (none for classes 0 and 1), so that the code and both extra
// fields come from one lookup and one shift. A pair is two literals whose
// codes fill at most the 11 bits together: its bits 16-31 are the two bytes
// in order, bits 8-12 the first code's length. "stop" leaves the window to
// the exact loop: alone (a "slow" entry), no code of up to 11 bits begins
// the window and the exact search decides; with a reference, its distance
// class is 11 or more and the item may take more bits than the fast loop has.
inline constexpr int kTableBits = 11;
inline constexpr std::uint32_t kEntryBitsMask = 63; // bits 0-5: the bits the whole item takes
inline constexpr std::uint32_t kEntryRef = 1u << 6;
inline constexpr std::uint32_t kEntryStop = 1u << 7;
inline constexpr std::uint32_t kEntrySlow = kEntryStop;
inline constexpr int kEntryCodeLengthShift = 8;
inline constexpr std::uint32_t kEntryCodeLengthMask = 31;
inline constexpr int kEntryLengthExtraShift = 13;
inline constexpr std::uint32_t kEntryLengthExtraMask = 7;
// A pair's flag lies in the extra length field, which a literal leaves 0.
inline constexpr int kEntryPairShift = kEntryLengthExtraShift;
inline constexpr std::uint32_t kEntryPair = 1u << kEntryPairShift;
inline constexpr int kEntryByteShift = 16; // a literal's byte (a pair's two), or a length base
inline constexpr std::uint32_t kEntryLengthBaseMask = 0xff;
inline constexpr int kEntryDistanceClassShift = 24;
inline constexpr std::uint32_t kEntryDistanceClassMask = 15;
// References of a higher distance class stop the fast loops.
inline constexpr std::uint32_t kMaxFastDistanceClass = 10;
static_assert(kEntryBitsMask < kEntryRef && kEntryStop < (1u << kEntryCodeLengthShift) &&
                  (kEntryCodeLengthMask << kEntryCodeLengthShift) < (1u << kEntryLengthExtraShift) &&
                  (kEntryLengthExtraMask << kEntryLengthExtraShift) < (1u << kEntryByteShift) &&
                  (kEntryLengthBaseMask << kEntryByteShift) < (1u << kEntryDistanceClassShift),
              "the fields of an entry follow each other without overlapping");
static_assert(kMaxCodeLength <= kEntryCodeLengthMask, "every code length fits its field");
inline constexpr bool IsSlowEntry(std::uint32_t e) { return (e & (kEntryStop | kEntryRef)) == kEntrySlow; }
// The bytes a literal entry stores: one, or two for a pair.
inline constexpr std::uint32_t EntryBytes(std::uint32_t e) { return 1 + ((e >> kEntryPairShift) & 1); }
// The code length of an entry's (first) code.
inline constexpr std::uint32_t EntryCodeLength(std::uint32_t e) { return (e >> kEntryCodeLengthShift) & kEntryCodeLengthMask; }
extern thread_local constinit std::uint32_t DecodeTable[1 << kTableBits];
// The entry of symbol s (of CodeTable) with a code of length bits.
std::uint32_t DecodeEntry(std::int32_t s, int length);
// Fills DecodeTable from the table's lengths and codes. For lengths that form
// a proper code (LongCodes.canonical) codes of up to 11 bits are entered,
// the table doubling length by length; otherwise codes of up to 10 bits as
// FastInit enters them (a later symbol over an earlier one) and every other
// window is slow, so that both give what FastTable and DecodeLong give.
void DecodeTableInit(const HuffTable *table);
// The entry for a slow window: the exact search (DecodeLongCode, or its
// fatal "DecodeLong: code not found").
std::uint32_t DecodeSlow(std::uint64_t window);

// What a table's lengths make, by the one Kraft-sum test the decoders'
// choices rest on: a proper code (no two codes share a window); an improper
// one whose lengths LenToVal still gives codes (the decoders then search
// linearly); or one with more codes of some length than its bits leave,
// which LenToVal refuses ("LenToVal: overcounted").
enum class CodeFit { Proper, Improper, Overcounted };
CodeFit LengthsFit(const HuffTable *table);
// What LenToVal, LongCodeInit and DecodeTableInit leave, with the same fatal
// text, in two passes over the lengths instead of six; for a proper code the
// table also gets the pairs of literals.
void CodeTableBuild(HuffTable *table);
