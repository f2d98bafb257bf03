// Movable memory blocks.
#pragma once

#include <cstdint>

using PlatBlock = void *;

// A movable block of size bytes, or null.
PlatBlock PlatBlockAllocate(std::uint32_t size);
// The block's address, or null.
void *PlatBlockLock(PlatBlock block);
void PlatBlockUnlock(PlatBlock block);
void PlatBlockRelease(PlatBlock block);

