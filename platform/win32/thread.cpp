#include "platform/thread.h"

#include <process.h>
#include <windows.h>

#include <cstdint>
#include <new>

void PlatLockTake(PlatLock *lock) {
  int free = 0;
  while (!lock->held.compare_exchange_weak(free, 1, std::memory_order_acquire)) {
    free = 0;
    Sleep(0);
  }
}

void PlatLockGive(PlatLock *lock) { lock->held.store(0, std::memory_order_release); }

namespace {
struct Start {
  PlatThreadFn run;
  void *argument;
};
unsigned __stdcall Trampoline(void *raw) {
  const Start start = *static_cast<Start *>(raw);
  delete static_cast<Start *>(raw);
  start.run(start.argument);
  return 0;
}
} // namespace

bool PlatThreadStart(PlatThread *thread, PlatThreadFn run, void *argument) {
  thread->handle = nullptr;
  auto *start = new (std::nothrow) Start{run, argument};
  if (!start) return false;
  // The C runtime's own thread start, so its per-thread data is set up.
  const std::uintptr_t h = _beginthreadex(nullptr, 0, Trampoline, start, 0, nullptr);
  if (h == 0) {
    delete start;
    return false;
  }
  thread->handle = reinterpret_cast<void *>(h);
  return true;
}

void PlatThreadJoin(PlatThread *thread) {
  if (!thread->handle) return;
  WaitForSingleObject(static_cast<HANDLE>(thread->handle), INFINITE);
  CloseHandle(static_cast<HANDLE>(thread->handle));
  thread->handle = nullptr;
}

int PlatProcessorCount() {
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  return info.dwNumberOfProcessors > 0 ? static_cast<int>(info.dwNumberOfProcessors) : 1;
}
