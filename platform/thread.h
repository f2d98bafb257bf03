// Threads and a lock, for the library's parallel work and its shared
// records. POSIX threads on Linux; CreateThread on Windows (the runtime of
// the Windows build has no std::thread or std::mutex).
#pragma once

#include <atomic>

// A lock for short stretches (shared records, slot tables), usable from
// static storage without a constructor call: zero is unlocked. A waiter
// gives up its turn between tries.
struct PlatLock {
  std::atomic<int> held{0};
};
void PlatLockTake(PlatLock *lock);
void PlatLockGive(PlatLock *lock);

class PlatLockHeld {
public:
  explicit PlatLockHeld(PlatLock *lock) : lock_(lock) { PlatLockTake(lock_); }
  ~PlatLockHeld() { PlatLockGive(lock_); }
  PlatLockHeld(const PlatLockHeld &) = delete;
  PlatLockHeld &operator=(const PlatLockHeld &) = delete;

private:
  PlatLock *lock_;
};

// A thread running run(argument); joined exactly once.
using PlatThreadFn = void (*)(void *argument);
struct PlatThread {
  void *handle; // null when not started
};
// False when the system refuses a thread.
bool PlatThreadStart(PlatThread *thread, PlatThreadFn run, void *argument);
void PlatThreadJoin(PlatThread *thread);
// The processors this process may run on (at least 1).
int PlatProcessorCount();
