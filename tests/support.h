// Shared helpers for the test suite: a scratch directory per test, whole-file
// reads and writes, and a death-test check for the fatal path.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vorn_test {

using Bytes = std::vector<std::uint8_t>;

// Each test runs inside a fresh empty directory that is removed afterwards,
// and must leave no file registered as open.
class ScratchTest : public ::testing::Test {
protected:
  void SetUp() override;
  void TearDown() override;
  std::string dir_; // absolute path of the scratch directory
  std::string previous_;
  // A death test's child runs the test body again from the top. By default it
  // gets a scratch directory of its own; a fixture that sets this works in
  // its parent's, so that the parent sees on disk what the child left behind
  // (its body must then be safe to run twice over the same directory).
  bool shareWithDeathTests_ = false;
};

void WriteFile(const std::string &path, const Bytes &data);
void WriteFile(const std::string &path, const std::string &text);
Bytes ReadFile(const std::string &path);
bool Exists(const std::string &path);
Bytes RandomBytes(std::size_t n, std::uint32_t seed);

// The exit code of a finished child process from the status that wait,
// pclose or a death test reports; -1 when it did not exit normally.
int ExitCode(int status);

// The notice of the fatal path as the platform layer prints it.
std::string FatalNotice(const std::string &text);

#ifndef _WIN32
// The attacker of the security tests: an unprivileged user that is not us.
inline constexpr unsigned kOtherUser = 65534;
// Runs action in a child process that has dropped to kOtherUser (user and
// groups), as that user would; returns the child's exit code, 1 when action
// returned false. Needs root (see SKIP_UNLESS_ROOT).
int AsOtherUser(const std::function<bool()> &action);
// The same without waiting: returns the child's process id.
int StartAsOtherUser(const std::function<bool()> &action);
#endif

} // namespace vorn_test

// Acting as another user needs root; elsewhere such a test is skipped.
#define SKIP_UNLESS_ROOT()                                                                         \
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as another user"

// The statement must end the process through the fatal path with this text
// (and status 2, the OK button's code plus one).
#define EXPECT_FATAL(statement, text)                                                              \
  EXPECT_EXIT(statement, ::testing::ExitedWithCode(2),                                             \
              ::testing::HasSubstr(::vorn_test::FatalNotice(text)))
