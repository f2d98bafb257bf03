#include "tests/support.h"

#ifndef _WIN32
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

#include "fileio/file.h"

namespace vorn_test {

void ScratchTest::SetUp() {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  namespace fs = std::filesystem;
  const char *parent = std::getenv("VORN_SCRATCH_DIR");
  if (shareWithDeathTests_ && !GTEST_FLAG_GET(internal_run_death_test).empty() && parent && *parent) {
    dir_ = parent;
    previous_ = fs::current_path().string();
    fs::current_path(dir_);
    return;
  }
  // A new directory of our own under the system's temporary directory.
  static std::mt19937 rng(std::random_device{}());
  std::error_code error;
  for (int attempt = 0; attempt < 100 && dir_.empty(); ++attempt) {
    const fs::path candidate = fs::temp_directory_path() / ("vorn-test-" + std::to_string(rng() % 100000000u));
    if (fs::create_directory(candidate, error)) dir_ = candidate.generic_string();
  }
  ASSERT_FALSE(dir_.empty()) << "no scratch directory";
  if (!GTEST_FLAG_GET(internal_run_death_test).empty()) {
    // A death test's child ends inside the test, never reaching TearDown:
    // its own directory goes when it exits.
    static std::string childDir;
    childDir = dir_;
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::current_path(std::filesystem::temp_directory_path(), ignored);
      std::filesystem::remove_all(childDir, ignored);
    });
  }
  previous_ = std::filesystem::current_path().string();
  std::filesystem::current_path(dir_);
#ifdef _WIN32
  _putenv_s("VORN_SCRATCH_DIR", dir_.c_str());
#else
  setenv("VORN_SCRATCH_DIR", dir_.c_str(), 1);
#endif
}

void ScratchTest::TearDown() {
  EXPECT_FALSE(RegistryAnyOpen()) << "a test left a file registered as open";
  RegistryCloseAll();
  std::filesystem::current_path(previous_);
  // Files made read-only by a test must become writable again to be removed.
  namespace fs = std::filesystem;
  std::error_code ignored;
  fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ignored);
  for (fs::recursive_directory_iterator it(dir_, ignored), end; !ignored && it != end; it.increment(ignored))
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
  fs::remove_all(dir_, ignored);
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

int ExitCode(int status) {
#ifdef _WIN32
  return status; // the process's exit code itself
#else
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
}

#ifndef _WIN32
int StartAsOtherUser(const std::function<bool()> &action) {
  const pid_t pid = fork();
  if (pid == 0) {
    if (setgroups(0, nullptr) != 0 || setgid(kOtherUser) != 0 || setuid(kOtherUser) != 0 || getuid() != kOtherUser)
      _exit(99);
    _exit(action() ? 0 : 1);
  }
  return pid;
}

int AsOtherUser(const std::function<bool()> &action) {
  const pid_t pid = StartAsOtherUser(action);
  int status = 0;
  waitpid(pid, &status, 0);
  return ExitCode(status);
}
#endif

} // namespace vorn_test
