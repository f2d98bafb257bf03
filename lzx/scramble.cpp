// The file scrambler: every byte but the first XORed with a keystream that
// depends only on positions, so applying it twice gives the file back.
#include <cstdlib>
#include <cstring>

#include "fileio/fatal.h"
#include "lzx/lzx.h"

namespace {
constexpr std::uint32_t kInitialState = 0x5D3C9A17u;
constexpr std::uint32_t kMultiplier = 0x2F6B8E45u;

void Scramble(std::uint8_t *buffer, std::int32_t size) {
  std::uint32_t state = kInitialState;
  for (std::int32_t p = 1, n = size - 1; n > 3; --n, ++p) {
    std::uint32_t word;
    std::memcpy(&word, buffer + p, 4);
    word ^= state;
    std::memcpy(buffer + p, &word, 4);
    state = state * kMultiplier + 1;
  }
}
} // namespace

void ScrambleFile(FileRef *ref) {
  const std::int32_t size = FileSize(ref);
  if (size <= 0) return; // nothing to scramble; the file stays as it is
  auto *buffer = static_cast<std::uint8_t *>(std::calloc(static_cast<std::size_t>(size), 1));
  if (!buffer) InternalError("LZX", 1396, -1);
  FileOpenRead(ref);
  FileRead(ref, size, buffer);
  FileClose(ref);
  Scramble(buffer, size);
  FileCreate(ref);
  FileWrite(ref, size, buffer);
  FileClose(ref);
  std::free(buffer);
}

void ScrambleOpenFile(FileRef *ref) {
  FileSeek(ref, 0, kSeekEnd);
  const std::int32_t size = FileTell(ref);
  if (size <= 0) return;
  auto *buffer = static_cast<std::uint8_t *>(std::calloc(static_cast<std::size_t>(size), 1));
  if (!buffer) InternalError("LZX", 1396, -1);
  FileSeek(ref, 0, kSeekStart);
  FileRead(ref, size, buffer);
  Scramble(buffer, size);
  FileSeek(ref, 0, kSeekStart);
  FileWrite(ref, size, buffer);
  std::free(buffer);
}
