#include "tests/support.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

#include "fileio/file.h"

namespace vorn_test {

void ScratchTest::SetUp() {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  char pattern[] = "/tmp/vorn-test-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  dir_ = pattern;
  previous_ = std::filesystem::current_path().string();
  std::filesystem::current_path(dir_);
}

void ScratchTest::TearDown() {
  EXPECT_FALSE(RegistryAnyOpen()) << "a test left a file registered as open";
  RegistryCloseAll();
  std::filesystem::current_path(previous_);
  std::error_code ignored;
  std::filesystem::permissions(dir_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ignored);
  std::filesystem::remove_all(dir_, ignored);
}

void WriteFile(const std::string &path, const Bytes &data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char *>(data.data()), static_cast<std::streamsize>(data.size()));
  ASSERT_TRUE(out.good()) << path;
}

void WriteFile(const std::string &path, const std::string &text) {
  WriteFile(path, Bytes(text.begin(), text.end()));
}

Bytes ReadFile(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool Exists(const std::string &path) { return std::filesystem::exists(path); }

Bytes RandomBytes(std::size_t n, std::uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes out(n);
  for (auto &b : out) b = static_cast<std::uint8_t>(rng());
  return out;
}

std::string FatalNotice(const std::string &text) { return "[Einde programma]\n" + text + "\n"; }

} // namespace vorn_test
