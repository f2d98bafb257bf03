// The process on POSIX: its end, its identity, and the names it removes when it
// ends before it is done with them.
#include "platform/process.h"
#include "platform/thread.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

void PlatExit(int status) { std::exit(status); }

std::uint32_t PlatProcessId() { return static_cast<std::uint32_t>(getpid()); }

bool PlatErrorIsTerminal() { return isatty(2) == 1; }

bool PlatInputIsTerminal() { return isatty(0) == 1; }

void PlatBinaryStdio() {} // POSIX streams carry bytes as they are

void PlatIgnoreBrokenPipe() { signal(SIGPIPE, SIG_IGN); }

namespace {

// Fixed slots, read by a signal handler: a slot's name is complete before
// its state says it is in use.
constexpr int kRemoveSlots = 16;
struct RemoveSlot {
  char name[4096];
  volatile sig_atomic_t state; // 0 free, 1 on a signal, 2 on any end
};
RemoveSlot g_remove[kRemoveSlots];

void RemoveAtExit() {
  for (RemoveSlot &slot : g_remove)
    if (slot.state == 2) unlink(slot.name);
}

void RemoveOnSignal(int signal) {
  for (RemoveSlot &slot : g_remove)
    if (slot.state != 0) unlink(slot.name);
  // Then end as the signal would have ended us.
  struct sigaction plain {};
  plain.sa_handler = SIG_DFL;
  sigaction(signal, &plain, nullptr);
  raise(signal);
}

void InstallHandlers() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  std::atexit(RemoveAtExit);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction current {};
    sigaction(signal, nullptr, &current);
    if (current.sa_handler == SIG_IGN) continue; // ignored by whoever started us: stays so
    struct sigaction handler {};
    handler.sa_handler = RemoveOnSignal;
    sigemptyset(&handler.sa_mask);
    sigaction(signal, &handler, nullptr);
  }
}

} // namespace

namespace {
PlatLock g_removeLock; // threads claim slots one at a time
}

int PlatRemoveLater(const char *name, PlatRemoveWhen when) {
  const PlatLockHeld held(&g_removeLock);
  InstallHandlers();
  const std::size_t length = std::strlen(name);
  for (int i = 0; i < kRemoveSlots; ++i) {
    RemoveSlot &slot = g_remove[i];
    if (slot.state != 0 || length >= sizeof slot.name) continue;
    std::memcpy(slot.name, name, length + 1);
    std::replace(slot.name, slot.name + length, '\\', '/');
    slot.state = when == PlatRemoveWhen::AnyEnd ? 2 : 1;
    return i;
  }
  return -1;
}

void PlatForgetLater(int slot) {
  const PlatLockHeld held(&g_removeLock);
  if (slot >= 0 && slot < kRemoveSlots) g_remove[slot].state = 0;
}

namespace {
thread_local sigset_t t_maskBefore; // the caller's own mask comes back on release
}

void PlatHoldSignals(bool hold) {
  if (!hold) {
    pthread_sigmask(SIG_SETMASK, &t_maskBefore, nullptr);
    return;
  }
  sigset_t set;
  sigemptyset(&set);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&set, signal);
  pthread_sigmask(SIG_BLOCK, &set, &t_maskBefore);
}
