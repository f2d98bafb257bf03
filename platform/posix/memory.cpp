// Movable blocks on POSIX are plain heap blocks; locking yields their address.
#include "platform/memory.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/posix/last_error.h"

namespace {
int g_lastError = 0;
}

namespace posix_layer {
void SetLastError(int error) { g_lastError = error; }
int LastError() { return g_lastError; }
} // namespace posix_layer

PlatBlock PlatBlockAllocate(std::uint32_t size) {
  void *p = std::malloc(size == 0 ? 1 : size);
  if (!p) posix_layer::SetLastError(ENOMEM);
  return p;
}

void *PlatBlockLock(PlatBlock block) { return block; }
void PlatBlockUnlock(PlatBlock) {}
void PlatBlockRelease(PlatBlock block) { std::free(block); }

const char *PlatLastErrorText() { return std::strerror(posix_layer::LastError()); }
