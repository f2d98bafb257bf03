#include "platform/thread.h"

#include <pthread.h>
#include <sched.h>
#include <unistd.h>

#include <new>

void PlatLockTake(PlatLock *lock) {
  int free = 0;
  while (!lock->held.compare_exchange_weak(free, 1, std::memory_order_acquire)) {
    free = 0;
    sched_yield();
  }
}

void PlatLockGive(PlatLock *lock) { lock->held.store(0, std::memory_order_release); }

namespace {
struct Start {
  PlatThreadFn run;
  void *argument;
};
void *Trampoline(void *raw) {
  const Start start = *static_cast<Start *>(raw);
  delete static_cast<Start *>(raw);
  start.run(start.argument);
  return nullptr;
}
} // namespace

bool PlatThreadStart(PlatThread *thread, PlatThreadFn run, void *argument) {
  thread->handle = nullptr;
  auto *start = new (std::nothrow) Start{run, argument};
  auto *id = new (std::nothrow) pthread_t;
  if (!start || !id || pthread_create(id, nullptr, Trampoline, start) != 0) {
    delete start;
    delete id;
    return false;
  }
  thread->handle = id;
  return true;
}

void PlatThreadJoin(PlatThread *thread) {
  if (!thread->handle) return;
  auto *id = static_cast<pthread_t *>(thread->handle);
  pthread_join(*id, nullptr);
  delete id;
  thread->handle = nullptr;
}

int PlatProcessorCount() {
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0) return CPU_COUNT(&set);
  const long n = sysconf(_SC_NPROCESSORS_ONLN);
  return n > 0 ? static_cast<int>(n) : 1;
}
