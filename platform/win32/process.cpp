#include "platform/process.h"
#include "platform/thread.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include "platform/win32/wide.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

void PlatExit(int status) {
  // The C runtime's exit flushes the streams and runs the exit handlers, as
  // on POSIX, and then ends the process with ExitProcess.
  std::exit(status);
}

std::uint32_t PlatProcessId() { return GetCurrentProcessId(); }

bool PlatErrorIsTerminal() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

bool PlatInputIsTerminal() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
}

void PlatIgnoreBrokenPipe() {} // a failed write to a closed pipe is an error here already

void PlatBinaryStdio() {
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
}

namespace {

constexpr int kRemoveSlots = 16;
struct RemoveSlot {
  char name[MAX_PATH];
  volatile LONG state; // 0 free, 1 on an interrupt, 2 on any end
};
RemoveSlot g_remove[kRemoveSlots];

void RemoveAtExit() {
  for (RemoveSlot &slot : g_remove)
    if (slot.state == 2) DeleteFileW(Wide(slot.name).c_str());
}

// A console program interrupted (Ctrl-C, Ctrl-Break, its window closed).
BOOL WINAPI RemoveOnInterrupt(DWORD) {
  for (RemoveSlot &slot : g_remove)
    if (slot.state != 0) DeleteFileW(Wide(slot.name).c_str());
  return FALSE; // then the default handling ends the process
}

} // namespace

namespace {
PlatLock g_removeLock; // threads claim slots one at a time
}

int PlatRemoveLater(const char *name, PlatRemoveWhen when) {
  const PlatLockHeld held(&g_removeLock);
  static bool installed = false;
  if (!installed) {
    installed = true;
    std::atexit(RemoveAtExit);
    SetConsoleCtrlHandler(RemoveOnInterrupt, TRUE);
  }
  const std::size_t length = std::strlen(name);
  for (int i = 0; i < kRemoveSlots; ++i) {
    RemoveSlot &slot = g_remove[i];
    if (slot.state != 0 || length >= sizeof slot.name) continue;
    std::memcpy(slot.name, name, length + 1);
    slot.state = when == PlatRemoveWhen::AnyEnd ? 2 : 1;
    return i;
  }
  return -1;
}

void PlatForgetLater(int slot) {
  const PlatLockHeld held(&g_removeLock);
  if (slot >= 0 && slot < kRemoveSlots) g_remove[slot].state = 0;
}

// A console interrupt runs its handler on a thread of its own, which removes
// only what was never part of an install; the journal covers the rest.
void PlatHoldSignals(bool) {}
