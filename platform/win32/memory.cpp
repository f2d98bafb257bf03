// Movable blocks from the global heap.
#include "platform/memory.h"

#include <windows.h>

PlatBlock PlatBlockAllocate(std::uint32_t size) { return GlobalAlloc(GMEM_MOVEABLE, size); }

void *PlatBlockLock(PlatBlock block) { return GlobalLock(static_cast<HGLOBAL>(block)); }

void PlatBlockUnlock(PlatBlock block) { GlobalUnlock(static_cast<HGLOBAL>(block)); }

void PlatBlockRelease(PlatBlock block) { GlobalFree(static_cast<HGLOBAL>(block)); }
