// Blocks coded in parallel: a batch of blocks, each coded on its own by one
// of a few threads (the format codes every block independently), the
// results taken in block order by the container. A fault inside a block is
// kept as its text and raised only when the container reaches that block,
// so the fatal path sees what it would have seen one block at a time.
#pragma once

#include <atomic>
#include <cstdint>

#include "fileio/fatal.h"
#include "lzx/block.h"
#include "platform/thread.h"

inline constexpr int kMaxCodingThreads = 64;
inline constexpr int kBatchBlocksPerThread = 8; // blocks in flight per thread, per batch

struct BatchBlock {
  std::uint8_t plain[kBlockSize];
  std::uint8_t stored[kMaxStoredBlock]; // encode: the output; decode: the input
  std::int32_t storedSize;
  std::int32_t number;                     // the block's number in its file
  std::uint32_t plainCheck, storedCheck;   // encode: computed; decode: expected (checked files)
  std::uint32_t decodedCheck;              // decode, checked files: the check of the decoded bytes
  char fault[kFatalTextSize];              // "" when the block is good
  // Decode: where the stored bytes are and where the plain bytes go, when not
  // in stored and plain above (null: there).
  const std::uint8_t *input;
  std::uint8_t *output;
};

struct Batch {
  BatchBlock *blocks; // capacity of them
  std::int32_t capacity;
  std::int32_t count;   // blocks in this batch
  bool decode;          // direction
  std::int32_t flags;   // the file's flags
  const char *fileName; // for the texts
  std::atomic<std::int32_t> next; // the next block a thread takes
  std::int32_t threadCount;
  PlatThread threads[kMaxCodingThreads];
  bool running;
};

// A batch for threads coding threads, perThread blocks each; false when
// out of memory.
bool BatchInit(Batch *b, std::int32_t threads, std::int32_t perThread = kBatchBlocksPerThread);
void BatchFree(Batch *b); // waits for its threads first
// Starts coding the batch's blocks [0, count) on its threads; a thread the
// system refuses leaves its share to the others (the caller's, at worst).
void BatchStart(Batch *b);
// Waits until every block of a started batch is coded.
void BatchWait(Batch *b);
// Codes the batch on threads - 1 new threads and the caller's, and returns
// when every block is coded.
void BatchRun(Batch *b);
