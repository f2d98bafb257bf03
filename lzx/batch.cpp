#include "lzx/batch.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "lzx/check.h"

namespace {

struct Fault {};

thread_local constinit BatchBlock *t_block = nullptr;

void KeepFault(const char *text, std::int32_t) {
  std::snprintf(t_block->fault, sizeof t_block->fault, "%s", text);
  throw Fault{};
}

// One block, with the container's checks; a fatal text ends it, kept.
void Code(const Batch &b, BatchBlock *block) {
  block->fault[0] = '\0';
  t_block = block;
  try {
    if (!b.decode) {
      block->storedSize = BlockEncode(block->plain, b.flags, block->stored);
      if (b.flags & kFlagChecked) {
        block->plainCheck = BlockCheck(block->plain);
        block->storedCheck = StoredCheck(block->stored, block->storedSize);
      }
      return;
    }
    const std::int32_t k = block->number;
    if (block->storedSize > kMaxStoredBlock)
      FatalMessage("Hfill: block %d does not end where the index says [%s]", k, b.fileName);
    const std::uint8_t *in = block->input ? block->input : block->stored;
    std::uint8_t *plain = block->output ? block->output : block->plain;
    if ((b.flags & kFlagChecked) && StoredCheck(in, block->storedSize) != block->storedCheck)
      FatalMessage("Hfill: block %d fails its check [%s]", k, b.fileName);
    switch (BlockDecode(in, block->storedSize, b.flags, plain)) {
    case BlockFault::None: break;
    case BlockFault::BitCount: FatalMessage("Hfill: bad bit count [%s]", b.fileName);
    case BlockFault::Size: FatalMessage("Hfill: block %d does not end where the index says [%s]", k, b.fileName);
    }
    if (b.flags & kFlagChecked) {
      block->decodedCheck = BlockCheck(plain);
      if (block->decodedCheck != block->plainCheck) FatalMessage("Hfill: block %d fails its check [%s]", k, b.fileName);
    }
  } catch (const Fault &) {
  }
}

void Work(void *raw) {
  auto *b = static_cast<Batch *>(raw);
  const FatalDivertFn previous = FatalDivert;
  FatalDivert = KeepFault;
  for (std::int32_t i; (i = b->next.fetch_add(1)) < b->count;) Code(*b, &b->blocks[i]);
  FatalDivert = previous;
}

} // namespace

bool BatchInit(Batch *b, std::int32_t threads, std::int32_t perThread) {
  if (threads < 1) threads = 1;
  if (threads > kMaxCodingThreads) threads = kMaxCodingThreads;
  b->threadCount = threads;
  b->capacity = threads * perThread;
  b->blocks = static_cast<BatchBlock *>(std::malloc(sizeof(BatchBlock) * static_cast<std::size_t>(b->capacity)));
  b->count = 0;
  b->running = false;
  for (PlatThread &t : b->threads) t.handle = nullptr;
  return b->blocks != nullptr;
}

void BatchFree(Batch *b) {
  BatchWait(b);
  std::free(b->blocks);
  b->blocks = nullptr;
}

void BatchStart(Batch *b) {
  b->next.store(0);
  b->running = true;
  std::int32_t started = 0;
  for (std::int32_t t = 0; t < b->threadCount; ++t)
    if (PlatThreadStart(&b->threads[t], Work, b)) ++started;
  if (started == 0) Work(b); // no thread at all: done here
}

void BatchWait(Batch *b) {
  if (!b->running) return;
  for (std::int32_t t = 0; t < b->threadCount; ++t) PlatThreadJoin(&b->threads[t]);
  b->running = false;
}

void BatchRun(Batch *b) {
  b->next.store(0);
  b->running = true;
  for (std::int32_t t = 0; t + 1 < b->threadCount; ++t) PlatThreadStart(&b->threads[t], Work, b);
  Work(b);
  BatchWait(b);
}
