// The "LZX1" compressed file: header, blocks, block index. A block is coded
// in memory by lzx/block.cpp; this file frames it, reads and writes it with
// one transfer, and keeps the file position and a window on the block index in
// the handle, so that reading a block costs one read.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <new>

#include "fileio/fatal.h"
#include "fileio/path.h"
#include "fileio/replace.h"
#include "lzx/batch.h"
#include "lzx/block.h"
#include "lzx/lzx.h"

thread_local constinit BlockProgressFn BlockProgress = nullptr;
thread_local constinit std::int32_t HopenStaged = 0;
thread_local constinit std::int32_t HopenThreads = 1;

struct ParallelState {
  Batch batch[2];
  int current = 0;          // write: the batch being filled; read: the batch being served
  bool inFlight = false;    // the other batch is being coded
  std::int32_t servedBase = -1; // read: the first block of the batch served
  std::int32_t flightBase = -1; // read: the first block of the batch in flight
};

namespace {

// One stored block on its way to or from the file.
thread_local constinit std::uint8_t g_stored[kMaxStoredBlock] = {};

void Check(const HILE *h, const char *operation) {
  if (!h || h->header.magic != kLzxMagic) FatalMessage("%s: not a valid HILE *", operation);
}

// The number of blocks that hold length bytes.
std::int32_t BlocksFor(std::int32_t length) { return length / kLzxBlock + (length % kLzxBlock != 0); }

// Bytes a file has past its block index: the trailer of a checked file.
std::int64_t TrailerSize(std::int32_t flags, std::int32_t blocks) {
  return (flags & kFlagChecked) ? 8LL * blocks + kTrailerTail : 0;
}

// Read handles: checks the header against the file's size and the whole block
// index (and, in a checked file, the trailer against the framing check), so
// that a damaged or unfinished file is refused before anything of it is
// delivered.
void CheckStructure(HILE *h) {
  const LzxHeader &head = h->header;
  const std::int32_t size = FileSize(&h->dataFile);
  const std::int32_t blocks = head.length >= 0 ? BlocksFor(head.length) : 0;
  const bool headerFits = (head.flags & ~kFlagsKnown) == 0 && head.length >= 0 && head.indexOffset >= 16 &&
                          head.indexOffset <= size &&
                          static_cast<std::int64_t>(size) - head.indexOffset ==
                              4LL * blocks + TrailerSize(head.flags, blocks);
  if (!headerFits) FatalMessage("Hopen: damaged or unfinished file [%s]", h->fileName);
  h->blocks = blocks;
  const bool checked = (head.flags & kFlagChecked) != 0;
  CheckStream framing;
  CheckStreamStart(&framing, 0);
  CheckStreamAdd(&framing, &head, sizeof head);
  DoFseek(&h->dataFile, head.indexOffset);
  std::int32_t previous = 0;
  for (std::int32_t k = 0; k < h->blocks;) {
    const std::int32_t n = h->blocks - k < kIndexWindow ? h->blocks - k : kIndexWindow;
    DoFread(h->window, 4 * n, &h->dataFile);
    CheckStreamAdd(&framing, h->window, 4 * n);
    for (std::int32_t i = 0; i < n; ++i, ++k) {
      const std::int32_t offset = h->window[i];
      if (k == 0 ? offset != 16 : offset <= previous || offset >= head.indexOffset)
        FatalMessage("Hopen: damaged block index [%s]", h->fileName);
      previous = offset;
    }
  }
  if (checked) {
    // The block checks (read in the same stretch), then the trailer's tail.
    for (std::int32_t k = 0; k < h->blocks;) {
      const std::int32_t n = h->blocks - k < kIndexWindow ? h->blocks - k : kIndexWindow;
      DoFread(h->checks, 8 * n, &h->dataFile);
      CheckStreamAdd(&framing, h->checks, 8 * n);
      k += n;
    }
    std::uint8_t tail[kTrailerTail];
    DoFread(tail, kTrailerTail, &h->dataFile);
    CheckStreamAdd(&framing, tail, 8);
    std::uint32_t stored = 0;
    std::int32_t magic = 0;
    std::memcpy(&h->contentCheck, tail, 8);
    std::memcpy(&stored, tail + 8, 4);
    std::memcpy(&magic, tail + 12, 4);
    if (magic != kTrailerMagic || stored != static_cast<std::uint32_t>(CheckStreamValue(&framing)))
      FatalMessage("Hopen: damaged trailer of checks [%s]", h->fileName);
    CheckStreamStart(&h->content, static_cast<std::uint64_t>(head.length));
  }
  h->windowFirst = 0;
  h->windowCount = 0;
  h->checksFirst = 0;
  h->checksCount = 0;
  DoFseek(&h->dataFile, 16);
  h->position = 16;
}

// Read handles: block k's offset from the index, through the window.
std::int32_t IndexEntry(HILE *h, std::int32_t k) {
  if (k < h->windowFirst || k >= h->windowFirst + h->windowCount) {
    const std::int32_t n = h->blocks - k < kIndexWindow ? h->blocks - k : kIndexWindow;
    DoFseek(&h->dataFile, static_cast<std::int32_t>(h->header.indexOffset + 4LL * k));
    DoFread(h->window, 4 * n, &h->dataFile);
    h->windowFirst = k;
    h->windowCount = n;
    h->position = -1; // the data file now stands in the index
  }
  return h->window[k - h->windowFirst];
}

// Read handles of checked files: block k's two checks from the trailer,
// through a window of their own.
const std::uint32_t *CheckEntry(HILE *h, std::int32_t k) {
  if (k < h->checksFirst || k >= h->checksFirst + h->checksCount) {
    const std::int32_t n = h->blocks - k < kIndexWindow ? h->blocks - k : kIndexWindow;
    DoFseek(&h->dataFile, static_cast<std::int32_t>(h->header.indexOffset + 4LL * h->blocks + 8LL * k));
    DoFread(h->checks, 8 * n, &h->dataFile);
    h->checksFirst = k;
    h->checksCount = n;
    h->position = -1;
  }
  return h->checks + 2 * (k - h->checksFirst);
}

// Checked files: block k as decoded against its check; blocks met in order
// from the first also make up the content check, compared after the last.
void AddToContent(HILE *h, std::int32_t k, std::uint32_t check) {
  if (k != h->verifiedBlocks) return;
  CheckStreamAdd(&h->content, &check, 4);
  if (++h->verifiedBlocks == h->blocks && CheckStreamValue(&h->content) != h->contentCheck)
    FatalMessage("Hfill: content check failed [%s]", h->fileName);
}

void VerifyBlock(HILE *h, std::int32_t k, std::uint32_t expected) {
  const std::uint32_t check = BlockCheck(h->block);
  if (check != expected) FatalMessage("Hfill: block %d fails its check [%s]", k, h->fileName);
  AddToContent(h, k, check);
}

// Read handles with threads: the stored bytes (and, checked, the expected
// checks) of blocks k.. into batch b, one transfer a block, as LoadBlock.
void PrepareBatch(HILE *h, Batch *b, std::int32_t k) {
  b->count = h->blocks - k < b->capacity ? h->blocks - k : b->capacity;
  b->decode = true;
  b->flags = h->header.flags;
  b->fileName = h->fileName;
  for (std::int32_t i = 0; i < b->count; ++i) {
    BatchBlock &block = b->blocks[i];
    const std::int32_t n = k + i;
    const std::int32_t start = IndexEntry(h, n);
    const std::int32_t end = n + 1 < h->blocks ? IndexEntry(h, n + 1) : h->header.indexOffset;
    block.number = n;
    block.storedSize = end - start;
    block.input = nullptr;
    block.output = nullptr;
    if (h->header.flags & kFlagChecked) {
      const std::uint32_t *checks = CheckEntry(h, n);
      block.plainCheck = checks[0];
      block.storedCheck = checks[1];
    }
    if (block.storedSize > kMaxStoredBlock) continue; // the thread reports it, at this block
    if (h->position != start) DoFseek(&h->dataFile, start);
    DoFread(block.stored, block.storedSize, &h->dataFile);
    h->position = end;
  }
}

// Read handles with threads: block k from the batch served, the batch
// decoded ahead, or a batch decoded now (after a seek); then the batch after
// it is started, to be decoded while this one is read.
void LoadFromBatch(HILE *h, std::int32_t k) {
  ParallelState &p = *h->par;
  Batch *served = &p.batch[p.current];
  if (p.servedBase < 0 || k < p.servedBase || k >= p.servedBase + served->count) {
    Batch *other = &p.batch[1 - p.current];
    if (p.inFlight) BatchWait(other);
    if (p.inFlight && p.flightBase == k) {
      p.current = 1 - p.current;
    } else {
      PrepareBatch(h, served, k);
      BatchStart(served);
      BatchWait(served);
    }
    p.inFlight = false;
    p.servedBase = k;
    served = &p.batch[p.current];
    const std::int32_t after = k + served->count;
    if (after < h->blocks) {
      Batch *ahead = &p.batch[1 - p.current];
      PrepareBatch(h, ahead, after);
      BatchStart(ahead);
      p.inFlight = true;
      p.flightBase = after;
    }
  }
  const BatchBlock &block = served->blocks[k - p.servedBase];
  if (block.fault[0] != '\0') FatalMessage("%s", block.fault);
  std::memcpy(h->block, block.plain, kLzxBlock);
  if (h->header.flags & kFlagChecked) AddToContent(h, k, block.decodedCheck);
}

// Reads block k whole with one transfer and decodes it into the handle.
void LoadBlock(HILE *h, std::int32_t k) {
  if (h->par) {
    LoadFromBatch(h, k);
    return;
  }
  const std::int32_t start = IndexEntry(h, k);
  const std::int32_t end = k + 1 < h->blocks ? IndexEntry(h, k + 1) : h->header.indexOffset;
  const std::int32_t size = end - start; // above 0: the index was checked
  if (size > kMaxStoredBlock) FatalMessage("Hfill: block %d does not end where the index says [%s]", k, h->fileName);
  if (h->position != start) DoFseek(&h->dataFile, start);
  DoFread(g_stored, size, &h->dataFile);
  h->position = end;
  // A checked file's stored bytes are checked before the decoder sees them.
  std::uint32_t checks[2] = {};
  if (h->header.flags & kFlagChecked) {
    std::memcpy(checks, CheckEntry(h, k), sizeof checks);
    if (StoredCheck(g_stored, size) != checks[1]) FatalMessage("Hfill: block %d fails its check [%s]", k, h->fileName);
  }
  switch (BlockDecode(g_stored, size, h->header.flags, h->block)) {
  case BlockFault::None: break;
  case BlockFault::BitCount: FatalMessage("Hfill: bad bit count [%s]", h->fileName);
  case BlockFault::Size: FatalMessage("Hfill: block %d does not end where the index says [%s]", k, h->fileName);
  }
  if (h->header.flags & kFlagChecked) VerifyBlock(h, k, checks[0]);
}

// Write handles: appends the pending index entries to the index file; in a
// checked file each entry is followed by its block's two checks.
void FlushIndex(HILE *h) {
  if (h->windowCount > 0 && (h->header.flags & kFlagChecked)) {
    std::uint32_t triples[3 * kIndexWindow];
    for (std::int32_t i = 0; i < h->windowCount; ++i) {
      triples[3 * i] = static_cast<std::uint32_t>(h->window[i]);
      triples[3 * i + 1] = h->checks[2 * i];
      triples[3 * i + 2] = h->checks[2 * i + 1];
    }
    DoFwrite(triples, 12 * h->windowCount, &h->indexFile);
  } else if (h->windowCount > 0) {
    DoFwrite(h->window, 4 * h->windowCount, &h->indexFile);
  }
  h->windowCount = 0;
}

// Write handles of checked files: the index (the first word of each of the
// index file's triples), the block checks (the other two) and the trailer's
// tail, appended to the data file. Returns the bytes appended.
std::int32_t AppendIndexAndTrailer(HILE *h, const LzxHeader &header, std::int32_t tripleBytes) {
  CheckStream framing, content;
  CheckStreamStart(&framing, 0);
  CheckStreamStart(&content, static_cast<std::uint64_t>(header.length));
  CheckStreamAdd(&framing, &header, sizeof header);
  std::uint32_t triples[3 * 32], words[2 * 32];
  for (int pass = 0; pass < 2; ++pass) {
    DoFseek(&h->indexFile, 0);
    for (std::int32_t left = tripleBytes; left > 0;) {
      const std::int32_t n = left < 12 * 32 ? left : 12 * 32, blocks = n / 12;
      DoFread(triples, n, &h->indexFile);
      std::int32_t count = 0;
      for (std::int32_t i = 0; i < blocks; ++i) {
        if (pass == 0) {
          words[count++] = triples[3 * i];
        } else {
          words[count++] = triples[3 * i + 1];
          words[count++] = triples[3 * i + 2];
          CheckStreamAdd(&content, &triples[3 * i + 1], 4);
        }
      }
      DoFwrite(words, 4 * count, &h->dataFile);
      CheckStreamAdd(&framing, words, 4 * count);
      left -= n;
    }
  }
  std::uint8_t tail[kTrailerTail];
  const std::uint64_t contentCheck = CheckStreamValue(&content);
  std::memcpy(tail, &contentCheck, 8);
  CheckStreamAdd(&framing, tail, 8);
  const auto framingCheck = static_cast<std::uint32_t>(CheckStreamValue(&framing));
  std::memcpy(tail + 8, &framingCheck, 4);
  std::memcpy(tail + 12, &kTrailerMagic, 4);
  DoFwrite(tail, kTrailerTail, &h->dataFile);
  return tripleBytes + kTrailerTail; // 4 bytes of index and 8 of checks a block
}

// Write handles: what follows the coding of a block of size stored bytes:
// its index entry and checks, the write, the progress.
void AppendBlock(HILE *h, const std::uint8_t *stored, std::int32_t size, std::uint32_t plainCheck,
                 std::uint32_t storedCheck) {
  if (h->windowCount == kIndexWindow) FlushIndex(h);
  if (h->header.flags & kFlagChecked) {
    h->checks[2 * h->windowCount] = plainCheck;
    h->checks[2 * h->windowCount + 1] = storedCheck;
  }
  h->window[h->windowCount++] = h->position;
  // The compressed file, like its content, stays below 2 GiB.
  if (size > 0x7fffffff - h->position) FatalMessage("Hflus: file too large [%s]", h->fileName);
  DoFwrite(stored, size, &h->dataFile);
  h->position += size;
  ++h->blocks;
}

// Write handles with threads: the blocks of a coded batch, in order.
void CommitBatch(HILE *h, Batch *b) {
  for (std::int32_t i = 0; i < b->count; ++i) {
    const BatchBlock &block = b->blocks[i];
    if (block.fault[0] != '\0') FatalMessage("%s", block.fault);
    AppendBlock(h, block.stored, block.storedSize, block.plainCheck, block.storedCheck);
    if (BlockProgress) BlockProgress(h);
  }
  b->count = 0;
}

// Write handles with threads: the batch filled is started, after the one
// before it is finished and written.
void SwapBatches(HILE *h) {
  ParallelState &p = *h->par;
  Batch *filled = &p.batch[p.current], *other = &p.batch[1 - p.current];
  if (p.inFlight) {
    BatchWait(other);
    p.inFlight = false;
    CommitBatch(h, other);
  }
  if (filled->count == 0) return;
  filled->decode = false;
  filled->flags = h->header.flags;
  filled->fileName = h->fileName;
  BatchStart(filled);
  p.inFlight = true;
  p.current = 1 - p.current;
}

void FreeParallel(HILE *h) {
  if (!h->par) return;
  for (Batch &b : h->par->batch) BatchFree(&b);
  delete h->par;
  h->par = nullptr;
}

// Write handles: creates the index file beside the data file, under a fresh
// name that nothing else has (never through a link).
void CreateIndexFile(HILE *h) {
  char directory[kPathSize];
  PathDirectory(h->fileName, directory);
  h->indexCleanup = StagingCreate(&h->indexFile, 1, directory, h->fileName);
  const char *base = h->indexFile.name + std::strlen(directory);
  if (std::strlen(base) >= sizeof h->tempName) FatalMessage("Hopen: tempname too long");
  std::strcpy(h->tempName, base);
}

} // namespace

void DoFopen(const char *name, const char *mode, FileRef *ref) {
  FileRefInit(ref, 1, name);
  if (SameTextNoCase(mode, "rb")) {
    FileOpenRead(ref);
  } else if (SameTextNoCase(mode, "wb")) {
    FileCreate(ref);
  } else if (SameTextNoCase(mode, "w+b")) {
    FileCreate(ref);
    FileClose(ref);
    FileOpenUpdate(ref);
  } else {
    FatalMessage("LZX DoFopen [%s] [%s] failed", name, mode);
  }
}

void DoFclose(FileRef *ref) { FileClose(ref); }

void DoFread(void *buffer, std::int32_t count, FileRef *ref) {
  if (FileRead(ref, count, buffer) < count) FatalMessage("LZX DoFread failed [%s, %d]", ref->name, count);
}

void DoFwrite(const void *buffer, std::int32_t count, FileRef *ref) {
  if (FileWrite(ref, count, buffer) < count) FatalMessage("LZX DoFwrite failed");
}

void DoFseek(FileRef *ref, std::int32_t position) { FileSeek(ref, position, kSeekStart); }

std::int32_t DoFtell(FileRef *ref) {
  const std::int32_t pos = FileTell(ref);
  if (pos < 0) FatalMessage("LZX DoFtell failed");
  return pos;
}

namespace {
thread_local constinit HILE *g_live = nullptr; // this thread's open handles, newest first

void Unlink(HILE *h) {
  if (h->livePrev) h->livePrev->liveNext = h->liveNext;
  else if (g_live == h) g_live = h->liveNext;
  if (h->liveNext) h->liveNext->livePrev = h->livePrev;
  h->liveNext = h->livePrev = nullptr;
}

void Link(HILE *h) {
  h->livePrev = nullptr;
  h->liveNext = g_live;
  if (g_live) g_live->livePrev = h;
  g_live = h;
}

// Removes the temporary index file and the staging file of h, and frees it;
// its files are closed already.
void Release(HILE *h) {
  FreeParallel(h);
  for (const char *name : {h->tempName[0] != '\0' ? h->indexFile.name : "", h->staged ? h->replace.staging : ""}) {
    if (name[0] == '\0') continue;
    FileRef gone;
    FileRefInit(&gone, -1, name);
    FileDelete(&gone);
  }
  StagingKept(h->indexCleanup);
  StagingKept(h->replace.cleanupSlot);
  std::free(h);
}
} // namespace

void HreleaseAll() { HreleaseSince(0); }

void HreleaseSince(std::uint32_t mark) {
  // Newest first: the handles opened after mark lead the list.
  while (HILE *h = g_live) {
    if (h->serial <= mark) break;
    Unlink(h);
    Release(h);
  }
}

void HandleDisown(HILE *h) {
  Unlink(h);
  for (FileRef *ref : {&h->dataFile, &h->indexFile})
    if (ref->handle != 0) RegistryRemove(ref);
}

void HandleAdopt(HILE *h) {
  for (FileRef *ref : {&h->dataFile, &h->indexFile})
    if (ref->handle != 0) RegistryAdd(ref);
  h->serial = ResourceNext();
  Link(h);
}

void HandleDiscard(HILE *h) {
  Unlink(h);
  for (FileRef *ref : {&h->dataFile, &h->indexFile}) FileClose(ref);
  Release(h);
}

HILE *Hopen(const char *name, const char *mode) {
  auto *h = static_cast<HILE *>(std::calloc(1, sizeof(HILE)));
  if (!h) FatalMessage("Hopen: out of mem");
  h->indexCleanup = -1;
  h->replace.cleanupSlot = -1;
  h->serial = ResourceNext();
  Link(h);
  std::int32_t flags = 0;
  if (mode[0] == 'r') h->mode = 0;
  else if (mode[0] == 'w') h->mode = 1;
  else FatalMessage("Hopen: bad mode");
  if (mode[1] != 'b') FatalMessage("Hopen: bad mode");
  if (const CodingMode *coding = CodingModeOf(mode[2])) flags |= coding->flag;
  else if (mode[2] != '\0' && mode[2] != 'c') FatalMessage("Hopen: bad mode");
  // 'c' (checked) stands in the third place or right after a mode's letter.
  if (mode[2] == 'c' || (mode[2] != '\0' && mode[3] == 'c')) flags |= kFlagChecked;
  if (std::strlen(name) >= sizeof h->fileName) FatalMessage("Hopen: filename too long");
  std::strcpy(h->fileName, name);
  if (h->mode == 1) {
    if (HopenStaged != 0) {
      // The data goes to a staging file; errors still name the file itself.
      ReplaceBegin(&h->replace, h->fileName, 1);
      h->dataFile = h->replace.file;
      h->replace.file.handle = 0;
      h->staged = true;
    } else {
      DoFopen(h->fileName, "wb", &h->dataFile);
    }
    CreateIndexFile(h);
    h->header = LzxHeader{kLzxMagic, 0, 0, flags};
    DoFwrite(&h->header, 16, &h->dataFile);
    h->position = 16;
    h->blockBase = 0;
    h->fill = 0;
  } else {
    DoFopen(h->fileName, "rb", &h->dataFile);
    DoFread(&h->header, 16, &h->dataFile);
    if (h->header.magic != kLzxMagic) FatalMessage("Hopen: not an LZX file");
    CheckStructure(h);
    h->blockBase = -kLzxBlock;
    h->fill = kLzxBlock;
  }
  if (HopenThreads > 1) {
    h->par = new (std::nothrow) ParallelState;
    if (!h->par) FatalMessage("Hopen: out of mem");
    const bool made = BatchInit(&h->par->batch[0], HopenThreads);
    if (!BatchInit(&h->par->batch[1], HopenThreads) || !made) FatalMessage("Hopen: out of mem");
  }
  return h;
}

void Hflus(HILE *h) {
  if (h->fill < kLzxBlock) FatalMessage("Hflus: early");
  if (h->par) {
    Batch *filling = &h->par->batch[h->par->current];
    BatchBlock &block = filling->blocks[filling->count++];
    std::memcpy(block.plain, h->block, kLzxBlock);
    block.number = h->blockBase / kLzxBlock + 1;
    h->blockBase += kLzxBlock;
    h->fill = 0;
    if (filling->count == filling->capacity) SwapBatches(h);
    return;
  }
  const std::int32_t size = BlockEncode(h->block, h->header.flags, g_stored);
  const bool checked = (h->header.flags & kFlagChecked) != 0;
  AppendBlock(h, g_stored, size, checked ? BlockCheck(h->block) : 0, checked ? StoredCheck(g_stored, size) : 0);
  h->blockBase += kLzxBlock;
  h->fill = 0;
  if (BlockProgress) BlockProgress(h);
}

void Hwrite(const void *source, std::int32_t count, HILE *h) {
  Check(h, "Hwrite");
  if (h->mode != 1) FatalMessage("Hwrite: not allowed on read-file");
  // The length is a signed 32-bit field: it may not reach 2^31.
  if (count > 0x7fffffff - (h->blockBase + h->fill)) FatalMessage("Hwrite: file too large [%s]", h->fileName);
  const auto *from = static_cast<const std::uint8_t *>(source);
  while (count > 0) {
    if (h->fill >= kLzxBlock) Hflus(h);
    const std::int32_t n = count < kLzxBlock - h->fill ? count : kLzxBlock - h->fill;
    std::memcpy(h->block + h->fill, from, static_cast<std::size_t>(n));
    h->fill += n;
    from += n;
    count -= n;
  }
}

void Hputc(std::int32_t c, HILE *h) {
  if (h->blockBase + h->fill == 0x7fffffff) FatalMessage("Hwrite: file too large [%s]", h->fileName);
  if (h->fill >= kLzxBlock) Hflus(h);
  h->block[h->fill++] = static_cast<std::uint8_t>(c);
}

void Hfill(HILE *h) {
  if (h->fill < kLzxBlock) FatalMessage("Hfill: early");
  // Past the last block (reading on at the end of a file whose length is a
  // multiple of the block size) the block keeps its bytes and nothing is served.
  const std::int32_t k = h->blockBase / kLzxBlock + 1;
  if (k < h->blocks) LoadBlock(h, k);
  h->blockBase += kLzxBlock;
  h->fill = 0;
  if (BlockProgress) BlockProgress(h);
}

std::int32_t Hread(void *destination, std::int32_t count, HILE *h) {
  Check(h, "Hread");
  if (h->mode != 0) FatalMessage("Hread: not allowed on write-file");
  auto *to = static_cast<std::uint8_t *>(destination);
  std::int32_t copied = 0;
  while (count > 0) {
    if (h->fill >= kLzxBlock) Hfill(h);
    const std::int32_t left = h->header.length - h->blockBase;
    const std::int32_t end = left < kLzxBlock ? left : kLzxBlock;
    std::int32_t n = end - h->fill;
    if (n > count) n = count;
    if (n > 0) {
      std::memcpy(to, h->block + h->fill, static_cast<std::size_t>(n));
      h->fill += n;
      to += n;
      count -= n;
      copied += n;
    }
    if (h->blockBase + h->fill >= h->header.length) break;
  }
  if (count > 0) h->atEof = 1;
  return copied;
}

std::int32_t Hgetc(HILE *h) {
  if (h->fill >= kLzxBlock) Hfill(h);
  if (h->blockBase + h->fill >= h->header.length) {
    h->atEof = 1;
    return -1;
  }
  return h->block[h->fill++];
}

std::int32_t Heof(HILE *h) { return h->atEof; }

void Hseek(HILE *h, std::int32_t position) {
  Check(h, "Hseek");
  if (h->mode != 0) FatalMessage("Hseek: not allowed on write-file");
  if (position < 0 || position >= h->header.length) FatalMessage("Hseek: >= EOF causes deep shit");
  if (h->blockBase <= position && position < h->blockBase + kLzxBlock) {
    h->fill = position - h->blockBase;
  } else {
    const std::int32_t k = position / kLzxBlock;
    h->blockBase = kLzxBlock * k - kLzxBlock;
    h->fill = kLzxBlock;
    Hfill(h); // decodes block k through the index
    h->fill = position - h->blockBase;
  }
  h->atEof = 0;
}

std::int32_t HblockOffset(HILE *h, std::int32_t k) {
  if (k >= h->blocks) return h->header.indexOffset;
  return IndexEntry(h, k);
}

std::int32_t Htell(HILE *h) {
  Check(h, "Htell");
  return h->blockBase + h->fill;
}

std::int32_t Hclose(HILE *h) {
  Check(h, "Hclose");
  std::int32_t size = 0;
  if (h->mode == 1) {
    const std::int32_t total = h->blockBase + h->fill;
    if (h->fill > 0) {
      std::memset(h->block + h->fill, 0, static_cast<std::size_t>(kLzxBlock - h->fill));
      h->fill = kLzxBlock;
      Hflus(h);
    }
    if (h->par) {
      SwapBatches(h); // the last batch started, the one before it written
      SwapBatches(h); // the last batch written
    }
    FlushIndex(h);
    const std::int32_t indexOffset = h->position;
    std::int32_t indexSize = DoFtell(&h->indexFile);
    const LzxHeader header{kLzxMagic, indexOffset, total, h->header.flags};
    if (h->header.flags & kFlagChecked) {
      indexSize = AppendIndexAndTrailer(h, header, indexSize);
    } else {
      DoFseek(&h->indexFile, 0);
      std::uint8_t piece[256];
      for (std::int32_t left = indexSize; left > 0;) {
        const std::int32_t n = left < 256 ? left : 256;
        DoFread(piece, n, &h->indexFile);
        DoFwrite(piece, n, &h->dataFile);
        left -= n;
      }
    }
    DoFclose(&h->indexFile);
    FileRef index;
    FileRefInit(&index, -1, h->indexFile.name);
    if (!FileDelete(&index)) FatalMessage("Hclose: remove failed");
    StagingKept(h->indexCleanup);
    h->indexCleanup = -1;
    size = DoFtell(&h->dataFile);
    h->header = header;
    DoFseek(&h->dataFile, 0);
    DoFwrite(&h->header, 16, &h->dataFile);
    DoFclose(&h->dataFile);
    if (size != indexOffset + indexSize) FatalMessage("Hclose: BUG?");
    if (h->staged) ReplaceCommit(&h->replace);
  } else {
    DoFclose(&h->dataFile);
  }
  FreeParallel(h);
  Unlink(h);
  std::memset(h, 0, sizeof *h);
  std::free(h);
  return size;
}
