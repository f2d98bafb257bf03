#include "lzx/codec/rows.h"

#include <cstring>

#include "fileio/fatal.h"

thread_local constinit std::uint8_t RowBlock[kBlockSize] = {};
thread_local constinit bool RowDone[kRows] = {};

namespace {

const std::uint8_t *Row(std::int32_t r) { return RowBlock + kRowBytes * r; }

bool IsEmptyRow(const std::uint8_t *row) {
  for (int c = 0; c < kRowBytes; ++c)
    if (row[c] != 0xff) return false;
  return true;
}

// Differing positions of a and b, eight at a time; once the count reaches
// limit it stops, and only the count's being below limit means anything.
std::int32_t RowDistance(const std::uint8_t *a, const std::uint8_t *b, std::int32_t limit) {
  std::int32_t d = 0;
  for (int c = 0; c < kRowBytes && d < limit; c += 8) {
    std::uint64_t x, y;
    std::memcpy(&x, a + c, 8);
    std::memcpy(&y, b + c, 8);
    const std::uint64_t diff = x ^ y;
    // The top bit of each byte that differs.
    const std::uint64_t high = (((diff & 0x7f7f7f7f7f7f7f7fu) + 0x7f7f7f7f7f7f7f7fu) | diff) & 0x8080808080808080u;
    d += __builtin_popcountll(high);
  }
  return d;
}

} // namespace

std::int32_t SorBestRow(const std::uint8_t *reference) {
  std::int32_t best = 999999, chosen = -1;
  for (std::int32_t r = 0; r < kRows; ++r) {
    if (RowDone[r]) continue;
    const std::int32_t d = RowDistance(Row(r), reference, best);
    if (d < best) {
      best = d;
      chosen = r;
    }
  }
  if (chosen < 0) FatalMessage("SorBestRow: BUG");
  return chosen;
}

std::int32_t SorPack(const std::uint8_t *block, std::uint8_t *output, std::uint8_t *table) {
  std::memcpy(RowBlock, block, sizeof RowBlock);
  std::int32_t n = 0, firstEmpty = -1;
  for (std::int32_t r = 0; r < kRows; ++r) {
    RowDone[r] = IsEmptyRow(Row(r));
    if (!RowDone[r]) ++n;
    else if (firstEmpty < 0) firstEmpty = r;
  }
  if (n >= kRows) FatalMessage("SorPack: no empty rows");
  const std::uint8_t *reference = Row(firstEmpty);
  for (std::int32_t k = 0; k < n; ++k) {
    const std::int32_t r = SorBestRow(reference);
    RowDone[r] = true;
    table[k] = static_cast<std::uint8_t>(r);
    reference = Row(r);
  }
  std::memset(output, 0xff, sizeof RowBlock);
  std::uint8_t *o = output;
  for (int c = 0; c < kRowBytes; ++c)
    for (std::int32_t k = 0; k < n; ++k) *o++ = Row(table[k])[c];
  return n;
}

void SorUnpack(const std::uint8_t *transformed, std::uint8_t *output, const std::uint8_t *table, std::int32_t n) {
  std::memset(RowBlock, 0xff, sizeof RowBlock);
  const std::uint8_t *t = transformed;
  for (int c = 0; c < kRowBytes; ++c)
    for (std::int32_t k = 0; k < n; ++k) RowBlock[kRowBytes * table[k] + c] = *t++;
  std::memcpy(output, RowBlock, sizeof RowBlock);
}
