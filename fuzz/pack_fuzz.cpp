// Any bytes as a list file, packed from a small tree of sources in the
// scratch directory. Inputs that name paths outside it (a separator at the
// start, a drive, "..", '/') are skipped: the packer writes and reads where
// its list says, by design.
#include <cstring>
#include <string>

#include "fuzz/harness.h"
#include "lzx/lzx.h"

namespace {

void Pack() {
  std::int32_t total = 0, packed = 0;
  PackLZX("list.txt", &total, &packed, nullptr, 0);
}

bool StaysInside(const std::uint8_t *data, std::size_t size) {
  const std::string text(reinterpret_cast<const char *>(data), size);
  if (text.find('/') != std::string::npos || text.find(':') != std::string::npos ||
      text.find("..") != std::string::npos)
    return false;
  // No line may start with a separator.
  for (std::size_t i = 0; i < text.size(); ++i)
    if (text[i] == '\\' && (i == 0 || text[i - 1] == '\n' || text[i - 1] == '\r')) return false;
  return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  fuzz::SetUp();
  if (!StaysInside(data, size)) return 0;
  fuzz::Clean();
  static const std::uint8_t a[] = "alpha alpha alpha beta";
  fuzz::WriteBytes("a.txt", a, sizeof a - 1);
  fuzz::WriteBytes("b.bin", data, size); // the list itself, as a second source
  fuzz::WriteBytes("list.txt", data, size);
  FUZZ_GUARDED(Pack());
  HreleaseAll();
  fuzz::CheckNothingEscaped();
  return 0;
}
