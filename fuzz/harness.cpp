#include "fuzz/harness.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "fileio/fatal.h"
#include "fileio/file.h"
#include "platform/process.h"

namespace fuzz {

std::jmp_buf g_fatal;
char g_lastFatal[256];

namespace {

namespace fs = std::filesystem;
fs::path g_root; // holds only "work", the current directory

[[noreturn]] void JumpBack(const char *text) {
  std::snprintf(g_lastFatal, sizeof g_lastFatal, "%s", text);
  RegistryCloseAll();
  std::longjmp(g_fatal, 1);
}

} // namespace

void SetUp() {
  static bool done = false;
  if (done) return;
  done = true;
  // Named after the process, so that fuzzers running side by side never
  // share (and remove) each other's directory.
  g_root = fs::temp_directory_path() / ("vorn-fuzz-" + std::to_string(PlatProcessId()));
  fs::create_directories(g_root / "work");
  fs::current_path(g_root / "work");
  FatalEndHook = JumpBack;
  std::atexit([] {
    std::error_code ignored;
    fs::current_path(fs::temp_directory_path(), ignored);
    fs::remove_all(g_root, ignored);
  });
}

void Clean() {
  std::error_code ignored;
  for (const auto &e : fs::directory_iterator(".", ignored)) fs::remove_all(e.path(), ignored);
}

void CheckNothingEscaped() {
  for (const auto &e : fs::directory_iterator(g_root)) {
    if (e.path().filename() != "work") {
      std::fprintf(stderr, "fuzz: written outside the scratch directory: %s\n", e.path().c_str());
      std::abort();
    }
  }
}

void ReleaseBlocks() {
  for (BlockSlot &slot : BlockTable)
    if (slot.handle != nullptr) BlockFree(slot.pointer, "fuzz");
}

void WriteBytes(const std::string &name, const std::uint8_t *data, std::size_t size) {
  FILE *f = std::fopen(name.c_str(), "wb");
  if (!f) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, f) != size) std::abort();
  std::fclose(f);
}

} // namespace fuzz
