// Movable blocks on POSIX are plain heap blocks; locking yields their address.
#include "platform/memory.h"

#include <cerrno>
#include <cstdlib>

#include "platform/posix/last_error.h"

PlatBlock PlatBlockAllocate(std::uint32_t size) {
  void *p = std::malloc(size == 0 ? 1 : size);
  if (!p) posix_layer::SetLastError(ENOMEM);
  return p;
}

void *PlatBlockLock(PlatBlock block) { return block; }
void PlatBlockUnlock(PlatBlock) {}
void PlatBlockRelease(PlatBlock block) { std::free(block); }
