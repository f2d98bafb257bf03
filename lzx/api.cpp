// The library's interface for other programs (lzx/api.h). Each call runs
// the same code as the updater and the tool, with the fatal path diverted
// for its length: the text comes back here (an exception thrown by the
// divert hook), and what the call had opened, created, staged or allocated
// since its start is released before the status is returned.
#include "lzx/api.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "fileio/fatal.h"
#include "fileio/file.h"
#include "lzx/batch.h"
#include "lzx/block.h"
#include "lzx/check.h"
#include "lzx/listfile.h"
#include "lzx/lzx.h"

struct VornLzxFile {
  HILE *h;
  bool failed;
  VornLzxError failure; // the failure that ended its use
};

namespace {

struct Diverted {}; // thrown by Divert, caught by Boundary

thread_local constinit char t_text[kFatalTextSize] = {};
thread_local constinit std::int32_t t_fileCode = 0;

void Divert(const char *text, std::int32_t fileCode) {
  std::snprintf(t_text, sizeof t_text, "%s", text);
  t_fileCode = fileCode;
  throw Diverted{};
}

int Report(VornLzxError *err, int status, std::int32_t fileCode, const char *text) {
  if (err) {
    err->status = status;
    err->file_code = fileCode;
    std::snprintf(err->text, sizeof err->text, "%s", text);
  }
  return status;
}

int Ok(VornLzxError *err) { return Report(err, VORN_LZX_OK, 0, ""); }
int Refused(VornLzxError *err, const char *text) { return Report(err, VORN_LZX_EARGUMENT, 0, text); }

// Runs body with the fatal path diverted; on a fatal end, closes the files,
// frees the handles and blocks and removes the staging files that the call
// made, and reports the text. The thread's settings are put back either way.
template <class Body> int Boundary(VornLzxError *err, Body &&body) {
  const FatalDivertFn divert = FatalDivert;
  const bool host = HostCall;
  const std::int32_t staged = HopenStaged, plain = UnpackPlainNames;
  const char *packMode = PackMode, *protectedPath = UnpackProtectedPath;
  const BlockProgressFn progress = BlockProgress;
  const UnpackReportFn report = UnpackReport;
  const std::uint32_t mark = ResourceMark();
  FatalDivert = Divert;
  HostCall = true;
  BlockProgress = nullptr;
  UnpackReport = nullptr;
  UnpackProtectedPath = nullptr;
  int status = VORN_LZX_OK;
  try {
    body();
  } catch (const Diverted &) {
    RegistryCloseSince(mark);
    HreleaseSince(mark);
    StagingRemoveSince(mark);
    BlockReleaseSince(mark);
    status = t_fileCode != 0 ? VORN_LZX_EFILE : VORN_LZX_EDATA;
  } catch (const std::bad_alloc &) {
    RegistryCloseSince(mark);
    HreleaseSince(mark);
    StagingRemoveSince(mark);
    BlockReleaseSince(mark);
    std::snprintf(t_text, sizeof t_text, "out of memory");
    t_fileCode = 0;
    status = VORN_LZX_EDATA;
  }
  FatalDivert = divert;
  HostCall = host;
  HopenStaged = staged;
  UnpackPlainNames = plain;
  PackMode = packMode;
  UnpackProtectedPath = protectedPath;
  BlockProgress = progress;
  UnpackReport = report;
  if (status == VORN_LZX_OK) return Ok(err);
  return Report(err, status, t_fileCode, t_text);
}

// A call on an open file: its records join this thread's for the call.
template <class Body> int OnFile(VornLzxFile *file, VornLzxError *err, Body &&body) {
  if (!file) return Refused(err, "no file");
  if (file->failed) {
    if (err) *err = file->failure;
    return VORN_LZX_EFAILED;
  }
  // Its files join this thread's registry for the call: room for them and
  // for what the call opens, or the call is refused before anything.
  if (RegistryFreeSlots() < 4) return Refused(err, "too many files open on this thread");
  HandleAdopt(file->h);
  const int status = Boundary(err, body);
  HandleDisown(file->h);
  if (status != VORN_LZX_OK) {
    file->failed = true;
    Report(&file->failure, status, err ? err->file_code : t_fileCode, err ? err->text : t_text);
  }
  return status;
}

// A write mode text: "wb", a coding mode's letter or none, then 'c' or not.
bool WriteMode(const char *mode) {
  if (mode[0] != 'w' || mode[1] != 'b') return false;
  const char *at = mode + 2;
  if (CodingModeOf(*at)) ++at;
  if (*at == 'c') ++at;
  return *at == '\0';
}

std::int32_t FlagsOf(const char *mode) {
  const CodingMode *coding = CodingModeOf(mode[2]);
  return (coding ? coding->flag : 0) | (std::strchr(mode + 2, 'c') ? kFlagChecked : 0);
}

std::int32_t BlocksFor(std::int32_t length) { return length / kBlockSize + (length % kBlockSize != 0); }

// The memory form of the container's whole-file checks (lzx/container.cpp
// does the same over its files).
constexpr const char kMemoryName[] = "(memory)";

void CopyOut(HILE *in, const char *target, std::uint8_t *chunk, std::int32_t chunkSize) {
  Replacement out;
  ReplaceBegin(&out, target, 1);
  for (std::int32_t n; (n = Hread(chunk, chunkSize, in)) > 0;) FileWrite(&out.file, n, chunk);
  ReplaceCommit(&out);
}

constexpr std::int32_t kChunk = 65536;

} // namespace

extern "C" {

int vorn_lzx_set_threads(int threads) {
  const int before = HopenThreads;
  HopenThreads = threads < 1 ? 1 : threads > kMaxCodingThreads ? kMaxCodingThreads : threads;
  return before;
}

int vorn_lzx_open(const char *name, const char *mode, VornLzxFile **file, VornLzxError *err) {
  if (!name || !mode || !file) return Refused(err, "no name, mode or file");
  *file = nullptr;
  if (std::strcmp(mode, "rb") != 0 && !WriteMode(mode)) return Refused(err, "unknown mode");
  auto *f = new (std::nothrow) VornLzxFile{};
  if (!f) return Refused(err, "out of memory");
  const int status = Boundary(err, [&] {
    HopenStaged = 1;
    f->h = Hopen(name, mode);
  });
  if (status != VORN_LZX_OK) {
    delete f;
    return status;
  }
  HandleDisown(f->h);
  *file = f;
  return status;
}

int vorn_lzx_read(VornLzxFile *file, void *buffer, int32_t count, int32_t *got, VornLzxError *err) {
  if (got) *got = 0;
  if (!buffer || count < 0) return Refused(err, "no buffer");
  return OnFile(file, err, [&] {
    const std::int32_t n = Hread(buffer, count, file->h);
    if (got) *got = n;
  });
}

int vorn_lzx_seek(VornLzxFile *file, int32_t position, VornLzxError *err) {
  return OnFile(file, err, [&] { Hseek(file->h, position); });
}

int vorn_lzx_tell(VornLzxFile *file, int32_t *position, int32_t *length, VornLzxError *err) {
  return OnFile(file, err, [&] {
    const std::int32_t at = Htell(file->h);
    if (position) *position = at;
    if (length) *length = file->h->mode == 0 ? file->h->header.length : at;
  });
}

int vorn_lzx_write(VornLzxFile *file, const void *data, int32_t count, VornLzxError *err) {
  if (!data || count < 0) return Refused(err, "no data");
  return OnFile(file, err, [&] { Hwrite(data, count, file->h); });
}

int vorn_lzx_close(VornLzxFile *file, int32_t *size, VornLzxError *err) {
  if (size) *size = 0;
  if (!file) return Refused(err, "no file");
  if (RegistryFreeSlots() < 2) return Refused(err, "too many files open on this thread");
  int status;
  if (file->failed) {
    HandleAdopt(file->h);
    Boundary(nullptr, [&] { HandleDiscard(file->h); });
    if (err) *err = file->failure;
    status = VORN_LZX_EFAILED;
  } else {
    HandleAdopt(file->h);
    HILE *h = file->h;
    bool closed = false;
    status = Boundary(err, [&] {
      const std::int32_t n = Hclose(h);
      closed = true;
      if (size) *size = n;
    });
    // A close that failed part-way: the handle was not freed; what it had
    // not closed yet is closed and removed now.
    if (!closed) Boundary(nullptr, [&] { HandleDiscard(h); });
  }
  delete file;
  return status;
}

int32_t vorn_lzx_compress_bound(int32_t size) {
  if (size < 0) return 0;
  const std::int64_t blocks = BlocksFor(size);
  const std::int64_t bound = 16 + blocks * (kMaxStoredBlock + 12) + kTrailerTail;
  return bound > 0x7fffffff ? 0x7fffffff : static_cast<int32_t>(bound);
}

int vorn_lzx_compress_buffer(const void *data, int32_t size, const char *mode, void *out, int32_t capacity,
                             int32_t *written, VornLzxError *err) {
  if (written) *written = 0;
  if ((!data && size > 0) || size < 0 || !mode || !out) return Refused(err, "no data, mode or output");
  if (!WriteMode(mode)) return Refused(err, "unknown mode");
  if (capacity < vorn_lzx_compress_bound(size)) return Refused(err, "output smaller than vorn_lzx_compress_bound");
  const std::int32_t flags = FlagsOf(mode);
  const auto *from = static_cast<const std::uint8_t *>(data);
  auto *to = static_cast<std::uint8_t *>(out);
  return Boundary(err, [&] {
    const std::int32_t blocks = BlocksFor(size);
    // The stored blocks, then the index; checks kept apart for the trailer.
    // Freed on every way out, the fatal one included (it unwinds to Boundary).
    const std::unique_ptr<std::uint32_t[]> words(new std::uint32_t[3 * static_cast<std::size_t>(blocks) + 1]);
    std::uint32_t *offsets = words.get();
    std::uint32_t *checks = offsets + blocks;
    std::int32_t at = 16;
    static thread_local std::uint8_t plain[kBlockSize];
    for (std::int32_t k = 0; k < blocks; ++k) {
      const std::int32_t n = size - k * kBlockSize < kBlockSize ? size - k * kBlockSize : kBlockSize;
      std::memcpy(plain, from + static_cast<std::size_t>(k) * kBlockSize, static_cast<std::size_t>(n));
      std::memset(plain + n, 0, static_cast<std::size_t>(kBlockSize - n));
      const std::int32_t stored = BlockEncode(plain, flags, to + at);
      offsets[k] = static_cast<std::uint32_t>(at);
      if (flags & kFlagChecked) {
        checks[2 * k] = BlockCheck(plain);
        checks[2 * k + 1] = StoredCheck(to + at, stored);
      }
      at += stored;
    }
    const LzxHeader header{kLzxMagic, at, size, flags};
    std::memcpy(to, &header, sizeof header);
    std::memcpy(to + at, offsets, 4 * static_cast<std::size_t>(blocks));
    at += 4 * blocks;
    if (flags & kFlagChecked) {
      CheckStream framing, content;
      CheckStreamStart(&framing, 0);
      CheckStreamStart(&content, static_cast<std::uint64_t>(size));
      CheckStreamAdd(&framing, &header, sizeof header);
      CheckStreamAdd(&framing, offsets, 4 * blocks);
      CheckStreamAdd(&framing, checks, 8 * blocks);
      for (std::int32_t k = 0; k < blocks; ++k) CheckStreamAdd(&content, &checks[2 * k], 4);
      std::memcpy(to + at, checks, 8 * static_cast<std::size_t>(blocks));
      at += 8 * blocks;
      const std::uint64_t contentCheck = CheckStreamValue(&content);
      std::memcpy(to + at, &contentCheck, 8);
      CheckStreamAdd(&framing, to + at, 8);
      const auto framingCheck = static_cast<std::uint32_t>(CheckStreamValue(&framing));
      std::memcpy(to + at + 8, &framingCheck, 4);
      std::memcpy(to + at + 12, &kTrailerMagic, 4);
      at += kTrailerTail;
    }
    if (written) *written = at;
  });
}

int vorn_lzx_buffer_length(const void *data, int32_t size, int32_t *length, VornLzxError *err) {
  if (length) *length = 0;
  if (!data || !length) return Refused(err, "no data or length");
  LzxHeader header{};
  if (size < 16 || (std::memcpy(&header, data, 16), header.magic != kLzxMagic) || header.length < 0)
    return Report(err, VORN_LZX_EDATA, 0, "Hopen: not an LZX file");
  *length = header.length;
  return Ok(err);
}

int vorn_lzx_decompress_buffer(const void *data, int32_t size, void *out, int32_t capacity, int32_t *written,
                               VornLzxError *err) {
  if (written) *written = 0;
  if (!data || size < 0 || !out) return Refused(err, "no data or output");
  const auto *in = static_cast<const std::uint8_t *>(data);
  auto *to = static_cast<std::uint8_t *>(out);
  LzxHeader head{};
  if (size < 16 || (std::memcpy(&head, in, 16), head.magic != kLzxMagic))
    return Report(err, VORN_LZX_EDATA, 0, "Hopen: not an LZX file");
  if (head.length >= 0 && capacity < head.length) return Refused(err, "output smaller than the length");
  return Boundary(err, [&] {
    // The checks of Hopen's CheckStructure and of LoadBlock, on memory.
    const std::int32_t blocks = head.length >= 0 ? BlocksFor(head.length) : 0;
    const bool checked = (head.flags & kFlagChecked) != 0;
    const std::int64_t trailer = checked ? 8LL * blocks + kTrailerTail : 0;
    if ((head.flags & ~kFlagsKnown) != 0 || head.length < 0 || head.indexOffset < 16 || head.indexOffset > size ||
        static_cast<std::int64_t>(size) - head.indexOffset != 4LL * blocks + trailer)
      FatalMessage("Hopen: damaged or unfinished file [%s]", kMemoryName);
    const std::uint8_t *index = in + head.indexOffset;
    auto entry = [&](std::int32_t k) {
      std::int32_t v;
      std::memcpy(&v, index + 4 * k, 4);
      return v;
    };
    for (std::int32_t k = 0, previous = 0; k < blocks; ++k) {
      const std::int32_t offset = entry(k);
      if (k == 0 ? offset != 16 : offset <= previous || offset >= head.indexOffset)
        FatalMessage("Hopen: damaged block index [%s]", kMemoryName);
      previous = offset;
    }
    const std::uint8_t *checks = index + 4 * blocks;
    CheckStream content;
    std::uint64_t contentCheck = 0;
    if (checked) {
      CheckStream framing;
      CheckStreamStart(&framing, 0);
      CheckStreamAdd(&framing, in, 16);
      CheckStreamAdd(&framing, index, 12 * blocks + 8);
      const std::uint8_t *tail = checks + 8 * blocks;
      std::uint32_t stored = 0;
      std::int32_t magic = 0;
      std::memcpy(&contentCheck, tail, 8);
      std::memcpy(&stored, tail + 8, 4);
      std::memcpy(&magic, tail + 12, 4);
      if (magic != kTrailerMagic || stored != static_cast<std::uint32_t>(CheckStreamValue(&framing)))
        FatalMessage("Hopen: damaged trailer of checks [%s]", kMemoryName);
      CheckStreamStart(&content, static_cast<std::uint64_t>(head.length));
    }
    if (HopenThreads > 1 && blocks > 1) {
      // Batches of blocks on the threads, straight from the input into the
      // output (the last block through its own buffer); faults in block order.
      Batch batch;
      // Large batches (the blocks are decoded in place, so a slot costs no
      // copy): fewer thread starts; the caller's thread decodes too.
      if (!BatchInit(&batch, HopenThreads, 64)) {
        BatchFree(&batch);
        FatalMessage("decompress: out of mem");
      }
      batch.decode = true;
      batch.flags = head.flags;
      batch.fileName = kMemoryName;
      for (std::int32_t first = 0; first < blocks; first += batch.count) {
        batch.count = blocks - first < batch.capacity ? blocks - first : batch.capacity;
        for (std::int32_t i = 0; i < batch.count; ++i) {
          BatchBlock &block = batch.blocks[i];
          const std::int32_t k = first + i;
          const std::int32_t start = entry(k), end = k + 1 < blocks ? entry(k + 1) : head.indexOffset;
          block.number = k;
          block.storedSize = end - start;
          block.input = in + start;
          const bool whole = head.length - k * kBlockSize >= kBlockSize;
          block.output = whole ? to + static_cast<std::size_t>(k) * kBlockSize : nullptr;
          if (checked) std::memcpy(&block.plainCheck, checks + 8 * k, 4), std::memcpy(&block.storedCheck, checks + 8 * k + 4, 4);
        }
        BatchRun(&batch);
        for (std::int32_t i = 0; i < batch.count; ++i) {
          const BatchBlock &block = batch.blocks[i];
          char fault[kFatalTextSize];
          if (block.fault[0] != '\0') {
            std::snprintf(fault, sizeof fault, "%s", block.fault);
            BatchFree(&batch);
            FatalMessage("%s", fault);
          }
          if (!block.output)
            std::memcpy(to + static_cast<std::size_t>(block.number) * kBlockSize, block.plain,
                        static_cast<std::size_t>(head.length - block.number * kBlockSize));
          if (checked) CheckStreamAdd(&content, &block.decodedCheck, 4);
        }
      }
      BatchFree(&batch);
      if (checked && CheckStreamValue(&content) != contentCheck)
        FatalMessage("Hfill: content check failed [%s]", kMemoryName);
      if (written) *written = head.length;
      return;
    }
    static thread_local std::uint8_t plain[kBlockSize];
    for (std::int32_t k = 0; k < blocks; ++k) {
      const std::int32_t start = entry(k), end = k + 1 < blocks ? entry(k + 1) : head.indexOffset;
      const std::int32_t stored = end - start;
      if (stored > kMaxStoredBlock)
        FatalMessage("Hfill: block %d does not end where the index says [%s]", k, kMemoryName);
      std::uint32_t pair[2] = {};
      if (checked) {
        std::memcpy(pair, checks + 8 * k, 8);
        if (StoredCheck(in + start, stored) != pair[1]) FatalMessage("Hfill: block %d fails its check [%s]", k, kMemoryName);
      }
      switch (BlockDecode(in + start, stored, head.flags, plain)) {
      case BlockFault::None: break;
      case BlockFault::BitCount: FatalMessage("Hfill: bad bit count [%s]", kMemoryName);
      case BlockFault::Size: FatalMessage("Hfill: block %d does not end where the index says [%s]", k, kMemoryName);
      }
      if (checked) {
        const std::uint32_t check = BlockCheck(plain);
        if (check != pair[0]) FatalMessage("Hfill: block %d fails its check [%s]", k, kMemoryName);
        CheckStreamAdd(&content, &check, 4);
      }
      const std::int32_t n = head.length - k * kBlockSize < kBlockSize ? head.length - k * kBlockSize : kBlockSize;
      std::memcpy(to + static_cast<std::size_t>(k) * kBlockSize, plain, static_cast<std::size_t>(n));
    }
    if (checked && CheckStreamValue(&content) != contentCheck)
      FatalMessage("Hfill: content check failed [%s]", kMemoryName);
    if (written) *written = head.length;
  });
}

int vorn_lzx_compress_file(const char *source, const char *target, const char *mode, VornLzxError *err) {
  if (!source || !target || !mode) return Refused(err, "no source, target or mode");
  if (!WriteMode(mode)) return Refused(err, "unknown mode");
  return Boundary(err, [&] {
    const std::unique_ptr<std::uint8_t[]> buffer(new std::uint8_t[kChunk]); // freed on a fatal end too
    std::uint8_t *chunk = buffer.get();
    FileRef in;
    FileRefInit(&in, 1, source);
    // The format's length is signed 32-bit: FileSize refuses 2 GiB and more.
    FileSize(&in);
    FileOpenRead(&in);
    HopenStaged = 1;
    HILE *h = Hopen(target, mode);
    for (std::int32_t n; (n = FileRead(&in, kChunk, chunk)) > 0;) Hwrite(chunk, n, h);
    FileClose(&in);
    Hclose(h);
  });
}

int vorn_lzx_decompress_file(const char *source, const char *target, VornLzxError *err) {
  if (!source || !target) return Refused(err, "no source or target");
  return Boundary(err, [&] {
    static thread_local std::uint8_t chunk[16384];
    HILE *h = Hopen(source, "rb");
    CopyOut(h, target, chunk, sizeof chunk);
    Hclose(h);
  });
}

int vorn_lzx_test(const char *name, VornLzxTestResult *result, VornLzxError *err) {
  if (result) *result = VornLzxTestResult{};
  if (!name) return Refused(err, "no name");
  return Boundary(err, [&] {
    static thread_local std::uint8_t chunk[16384];
    HILE *h = Hopen(name, "rb");
    while (Hread(chunk, sizeof chunk, h) > 0) {
    }
    if (result) *result = VornLzxTestResult{(h->header.flags & kFlagChecked) != 0, h->header.length, h->blocks};
    Hclose(h);
  });
}

namespace {
struct FirstProblem {
  std::int32_t count;
  char text[kFatalTextSize];
};
void KeepFirst(std::int32_t line, const char *text, void *context) {
  auto *first = static_cast<FirstProblem *>(context);
  if (first->count++ == 0) std::snprintf(first->text, sizeof first->text, "PackLZX: line %d: %s", line, text);
}
} // namespace

int vorn_lzx_pack(const char *list_file, int32_t *files, VornLzxError *err) {
  if (files) *files = 0;
  if (!list_file) return Refused(err, "no list file");
  return Boundary(err, [&] {
    FirstProblem first{0, {}};
    ListSummary summary{};
    if (ListFileCheck(list_file, false, KeepFirst, &first, &summary) > 0) FatalMessage("%s", first.text);
    HopenStaged = 1;
    PackMode = "wbc";
    const std::int32_t n = PackLZX(list_file, nullptr, nullptr, nullptr, 0);
    if (files) *files = n;
  });
}

int vorn_lzx_unpack(const char *archive, const char *target, int overwrite, int32_t *files, VornLzxError *err) {
  if (files) *files = 0;
  if (!archive || !target) return Refused(err, "no archive or target");
  return Boundary(err, [&] {
    UnpackPlainNames = 0;
    const std::int32_t n = VerifyLZX(archive, target);
    UnPackLZX(archive, target, nullptr, 0, overwrite != 0 ? 1 : 0);
    if (files) *files = n;
  });
}

} // extern "C"
