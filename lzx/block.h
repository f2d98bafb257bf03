// One block of a compressed file in memory, in both directions: the block
// pipeline (row transform, run-length stage, entropy coder) and the block's
// stored form. The container, the benchmark, the fuzz targets and the tool's
// block listing all code blocks through here.
//
// Stored form of one block (flags as in the file header):
//   [row count n, 1 byte][row table, n bytes]   only with kFlagRows
//   [bit count B, 4 bytes little-endian]
//   [ceil(B / 8) bytes of coded bits]
#pragma once

#include <cstdint>

#include "lzx/codec/bits.h"
#include "lzx/codec/rle.h"

inline constexpr std::int32_t kFlagHuffman = 1; // blocks use the Huffman byte coder
inline constexpr std::int32_t kFlagRows = 2;    // blocks went through the row transform
// A trailer of checks follows the block index (lzx/check.h). Readers that
// know only the two coding flags never look past the index and ignore it.
inline constexpr std::int32_t kFlagChecked = 4;
inline constexpr std::int32_t kFlagsKnown = kFlagHuffman | kFlagRows | kFlagChecked;
// The coding modes a writer can ask for. Hopen and the library's mode texts,
// the tool's options and `lzx info`, the benchmark and the round-trip fuzz
// target all take them from here; BlockEncode and BlockDecode turn the flags
// into stages.
struct CodingMode {
  const char *name;   // the tool's option --NAME (none for the default) and the benchmark's codec
  char letter;        // what follows "wb" in a mode text; 0 for the default
  std::int32_t flag;  // the header flag bit; 0 for the default
  bool coder;         // an entropy coder, rather than a transform before it
  const char *text;   // what `lzx info` calls it
  const char *help;   // the tool option's help
};
inline constexpr CodingMode kCodingModes[] = {
    {"lz", 0, 0, true, "LZ coder", ""},
    {"huffman", 'h', kFlagHuffman, true, "Huffman byte coder", "code blocks with the Huffman byte coder"},
    {"rows", 's', kFlagRows, false, "row transform", "pass blocks through the row transform first"},
};
inline constexpr int kCodingModeCount = static_cast<int>(sizeof kCodingModes / sizeof kCodingModes[0]);
// The mode of a mode text's letter (not 0), or null.
constexpr const CodingMode *CodingModeOf(char letter) {
  for (const CodingMode &m : kCodingModes)
    if (letter != 0 && m.letter == letter) return &m;
  return nullptr;
}
constexpr bool CodingModesAgree() {
  std::int32_t seen = 0;
  for (const CodingMode &m : kCodingModes) {
    if ((m.flag & (seen | kFlagChecked)) != 0 || (m.flag & ~kFlagsKnown) != 0 || (m.flag == 0) != (m.letter == 0)) return false;
    if (m.letter == 'c' || (m.flag == 0 && !m.coder)) return false;
    seen |= m.flag;
  }
  return seen == (kFlagsKnown & ~kFlagChecked);
}
static_assert(CodingModesAgree(), "one mode per known coding flag, with a letter other than 'c' (checked); the default is a coder");

// The largest stored block: a full row table and a full bit buffer.
inline constexpr std::int32_t kMaxStoredBlock = 1 + 255 + 4 + kBitBufferSize;

// Codes kBlockSize bytes of plain into stored (kMaxStoredBlock bytes) and
// returns the stored size. Uses the codecs' shared buffers.
std::int32_t BlockEncode(const std::uint8_t *plain, std::int32_t flags, std::uint8_t *stored);

enum class BlockFault { None, BitCount, Size };
// The size a stored block's own fields give it (row count and table, bit
// count, coded bytes), or -1 when they do not fit in the available bytes or
// the bit count is outside the bit buffer. For walking blocks without an index.
std::int32_t BlockStoredSize(const std::uint8_t *stored, std::int32_t available, std::int32_t flags);
// Reads the framing of a stored block of size bytes: its row count (0 without
// kFlagRows) and bit count. A fault as for BlockDecode.
BlockFault BlockFraming(const std::uint8_t *stored, std::int32_t size, std::int32_t flags, std::int32_t *rows,
                        std::int32_t *bits);
// Decodes a stored block of exactly size bytes into plain (kBlockSize bytes).
// A bit count outside the bit buffer, or a size that is not what the block's
// own fields say, is returned as a fault before anything is decoded; damage
// inside the coded bits is fatal in the codecs' own words.
BlockFault BlockDecode(const std::uint8_t *stored, std::int32_t size, std::int32_t flags, std::uint8_t *plain);
