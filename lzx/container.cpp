// The "LZX1" compressed file: header, blocks, block index, and the block
// pipeline (row transform, run-length stage, entropy coder) in both directions.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "fileio/fatal.h"
#include "fileio/path.h"
#include "lzx/codec/bits.h"
#include "lzx/codec/huf.h"
#include "lzx/codec/lz.h"
#include "lzx/codec/rle.h"
#include "lzx/codec/rows.h"
#include "lzx/lzx.h"
#include "platform/process.h"

void (*BlockProgress)(const HILE *h) = nullptr;

namespace {

bool SameText(const char *a, const char *b) {
  for (; *a && *b; ++a, ++b) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(*a) != lower(*b)) return false;
  }
  return *a == *b;
}

void Check(const HILE *h, const char *operation) {
  if (!h || h->header.magic != kLzxMagic) FatalMessage("%s: not a valid HILE *", operation);
}

void WriteInt(std::int32_t v, FileRef *ref) { DoFwrite(&v, 4, ref); }

std::int32_t ReadInt(FileRef *ref) {
  std::int32_t v;
  DoFread(&v, 4, ref);
  return v;
}

// A short name, unused in the current directory, for the index being written.
void TempName(char *name) {
  static std::uint32_t serial = 0;
  const std::uint32_t id = PlatProcessId() & 0xfffff;
  do {
    std::snprintf(name, 16, "~lz%05X%03X.tmp", id, serial++ & 0xfff);
  } while (FileExists(name));
}

void PackBlock(HILE *h) {
  const std::int32_t flags = h->header.flags;
  std::uint8_t table[256];
  std::int32_t rows = 0;
  const std::uint8_t *source = h->block;
  if (flags & kFlagRows) {
    rows = SorPack(h->block, BitBuffer, table);
    source = BitBuffer;
  }
  const std::int32_t length = RlePack(source);
  const std::int32_t bits = (flags & kFlagHuffman) ? HufPack(length) : LzxPack(length);
  if (flags & kFlagRows) {
    const auto n = static_cast<std::uint8_t>(rows);
    DoFwrite(&n, 1, &h->dataFile);
    DoFwrite(table, rows, &h->dataFile);
  }
  WriteInt(bits, &h->dataFile);
  DoFwrite(BitBuffer, (bits + 7) / 8, &h->dataFile);
}

void UnpackBlock(HILE *h) {
  const std::int32_t flags = h->header.flags;
  std::uint8_t table[256];
  std::uint8_t rows = 0;
  if (flags & kFlagRows) {
    DoFread(&rows, 1, &h->dataFile);
    DoFread(table, rows, &h->dataFile);
  }
  const std::int32_t bits = ReadInt(&h->dataFile);
  // A damaged count must not lead the read past BitBuffer.
  if (bits < 0 || bits > kBitBufferSize * 8) FatalMessage("Hfill: bad bit count [%s]", h->fileName);
  DoFread(BitBuffer, (bits + 7) / 8, &h->dataFile);
  const std::int32_t length = (flags & kFlagHuffman) ? HufUnpack(bits) : LzxUnpack(bits);
  if (flags & kFlagRows) {
    RleUnpack(length, BitBuffer);
    SorUnpack(BitBuffer, h->block, table, rows);
  } else {
    RleUnpack(length, h->block);
  }
}

} // namespace

void DoFopen(const char *name, const char *mode, FileRef *ref) {
  FileRefInit(ref, 1, name);
  if (SameText(mode, "rb")) {
    FileOpenRead(ref);
  } else if (SameText(mode, "wb")) {
    FileCreate(ref);
  } else if (SameText(mode, "w+b")) {
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

void DoFseek(FileRef *ref, std::int32_t position) { FileSeek(ref, position, 0); }

std::int32_t DoFtell(FileRef *ref) {
  const std::int32_t pos = FileTell(ref);
  if (pos < 0) FatalMessage("LZX DoFtell failed");
  return pos;
}

namespace {
HILE *g_live = nullptr; // the open handles, newest first
}

void HreleaseAll() {
  while (HILE *h = g_live) {
    g_live = h->liveNext;
    if (h->tempName[0] != '\0') std::remove(h->tempName);
    std::free(h);
  }
}

HILE *Hopen(const char *name, const char *mode) {
  auto *h = static_cast<HILE *>(std::calloc(1, sizeof(HILE)));
  if (!h) FatalMessage("Hopen: out of mem");
  h->liveNext = g_live;
  if (g_live) g_live->livePrev = h;
  g_live = h;
  std::int32_t flags = 0;
  if (mode[0] == 'r') h->mode = 0;
  else if (mode[0] == 'w') h->mode = 1;
  else FatalMessage("Hopen: bad mode");
  if (mode[1] != 'b') FatalMessage("Hopen: bad mode");
  if (mode[2] == 'h') flags |= kFlagHuffman;
  else if (mode[2] == 's') flags |= kFlagRows;
  else if (mode[2] != '\0') FatalMessage("Hopen: bad mode");
  if (std::strlen(name) >= sizeof h->fileName) FatalMessage("Hopen: filename too long");
  std::strcpy(h->fileName, name);
  DoFopen(h->fileName, h->mode == 1 ? "wb" : "rb", &h->dataFile);
  if (h->mode == 1) {
    char temp[32];
    TempName(temp);
    if (std::strlen(temp) >= sizeof h->tempName) FatalMessage("Hopen: tempname too long");
    std::strcpy(h->tempName, temp);
    DoFopen(h->tempName, "w+b", &h->indexFile);
    h->header = LzxHeader{kLzxMagic, 0, 0, flags};
    DoFwrite(&h->header, 16, &h->dataFile);
    h->blockBase = 0;
    h->fill = 0;
  } else {
    DoFread(&h->header, 16, &h->dataFile);
    if (h->header.magic != kLzxMagic) FatalMessage("Hopen: not an LZX file");
    h->blockBase = -kLzxBlock;
    h->fill = kLzxBlock;
  }
  return h;
}

void Hflus(HILE *h) {
  if (h->fill < kLzxBlock) FatalMessage("Hflus: early");
  WriteInt(DoFtell(&h->dataFile), &h->indexFile);
  PackBlock(h);
  h->blockBase += kLzxBlock;
  h->fill = 0;
  if (BlockProgress) BlockProgress(h);
}

void Hwrite(const void *source, std::int32_t count, HILE *h) {
  Check(h, "Hwrite");
  if (h->mode != 1) FatalMessage("Hwrite: not allowed on read-file");
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
  if (h->fill >= kLzxBlock) Hflus(h);
  h->block[h->fill++] = static_cast<std::uint8_t>(c);
}

void Hfill(HILE *h) {
  if (h->fill < kLzxBlock) FatalMessage("Hfill: early");
  if (DoFtell(&h->dataFile) < h->header.indexOffset) UnpackBlock(h);
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
    DoFseek(&h->dataFile, h->header.indexOffset + 4 * k);
    const std::int32_t offset = ReadInt(&h->dataFile);
    // Blocks lie between the header and the index; anything else is damage.
    if (offset < 16 || offset >= h->header.indexOffset) FatalMessage("Hseek: bad block offset [%s]", h->fileName);
    DoFseek(&h->dataFile, offset);
    h->blockBase = kLzxBlock * k - kLzxBlock;
    h->fill = kLzxBlock;
    Hfill(h);
    h->fill = position - h->blockBase;
  }
  h->atEof = 0;
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
    const std::int32_t indexOffset = DoFtell(&h->dataFile);
    const std::int32_t indexSize = DoFtell(&h->indexFile);
    DoFseek(&h->indexFile, 0);
    std::uint8_t piece[256];
    for (std::int32_t left = indexSize; left > 0;) {
      const std::int32_t n = left < 256 ? left : 256;
      DoFread(piece, n, &h->indexFile);
      DoFwrite(piece, n, &h->dataFile);
      left -= n;
    }
    DoFclose(&h->indexFile);
    if (std::remove(h->tempName) != 0) FatalMessage("Hclose: remove failed");
    size = DoFtell(&h->dataFile);
    h->header = LzxHeader{kLzxMagic, indexOffset, total, h->header.flags};
    DoFseek(&h->dataFile, 0);
    DoFwrite(&h->header, 16, &h->dataFile);
    DoFclose(&h->dataFile);
    if (size != indexOffset + indexSize) FatalMessage("Hclose: BUG?");
  } else {
    DoFclose(&h->dataFile);
  }
  if (h->livePrev) h->livePrev->liveNext = h->liveNext;
  else g_live = h->liveNext;
  if (h->liveNext) h->liveNext->livePrev = h->livePrev;
  std::memset(h, 0, sizeof *h);
  std::free(h);
  return size;
}
