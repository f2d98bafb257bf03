// GoogleTest's customisation header, found before its own (empty) one in the
// cross build. The win32-threads runtime that keeps the programs loadable on
// Windows XP has no std::mutex or std::condition_variable, which GoogleTest's
// Notification is made of; this one waits on an atomic flag instead.
// GoogleTest uses it only to start the threads of its own thread tests.
#pragma once

#include <atomic>

#define GTEST_HAS_NOTIFICATION_ 1

namespace testing::internal {

class Notification {
public:
  Notification() = default;
  Notification(const Notification &) = delete;
  Notification &operator=(const Notification &) = delete;
  void Notify() { notified_.store(true); }
  void WaitForNotification() {
    while (!notified_.load()) {
    }
  }

private:
  std::atomic<bool> notified_{false};
};

} // namespace testing::internal
