// Any bytes as the content of an archive (records and file contents), stored
// as a compressed file and unpacked into a scratch directory as an archive
// of unknown origin: names without '#' refused, a version list as an install
// keeps it. Nothing may be written outside the scratch directory.
#include "fuzz/harness.h"
#include "lzx/lzx.h"
#include "lzx/versions.h"

namespace {

const std::uint8_t *g_data;
std::size_t g_size;

void Store() {
  HILE *h = Hopen("in.lzx", "wb");
  if (g_size > 0) Hwrite(g_data, static_cast<std::int32_t>(g_size), h);
  Hclose(h);
}

void Unpack() {
  std::int32_t capacity = 0;
  ArchiveEntry *list = VersionListLoad("t\\lzx.ver", &capacity);
  UnPackLZX("in.lzx", "t", list, capacity, 1);
  VersionListSave("t\\lzx.ver", list, VersionListSettle(list, capacity).used);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  fuzz::SetUp();
  fuzz::Clean();
  UnpackPlainNames = 0;
  g_data = data;
  g_size = size > 4000000 ? 4000000 : size;
  if (FUZZ_GUARDED(Store())) {
    FUZZ_GUARDED(Unpack());
  }
  HreleaseAll();
  fuzz::CheckNothingEscaped();
  return 0;
}
