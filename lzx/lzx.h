// "LZX1" compressed files, archives of files with their versions, the
// list-file packer and the file scrambler.
//
// A compressed file is a 16-byte header, blocks of 16384 bytes each coded on
// its own, and an index of block offsets at the end, so that a reader can jump
// to any position and decode one block only.
#pragma once

#include <cstdint>

#include "fileio/file.h"
#include "fileio/replace.h"
#include "lzx/block.h"
#include "lzx/check.h"

inline constexpr std::int32_t kLzxMagic = 0x31585a4c; // "LZX1"
inline constexpr std::int32_t kLzxBlock = kBlockSize;
inline constexpr std::int32_t kIndexWindow = 128; // block index entries a handle keeps at hand

struct LzxHeader {
  std::int32_t magic;
  std::int32_t indexOffset; // where the block index starts: the end of the last block
  std::int32_t length;      // uncompressed bytes
  std::int32_t flags;
};
static_assert(sizeof(LzxHeader) == 16);

struct ParallelState; // blocks coded on several threads (lzx/batch.h)

struct HILE {
  std::int32_t mode; // 0 read, 1 write
  char fileName[80];
  char tempName[16]; // write handles: the temporary index file
  FileRef dataFile;
  FileRef indexFile;
  LzxHeader header; // its magic also marks the handle valid
  std::uint8_t block[kLzxBlock];
  std::int32_t blockBase; // uncompressed position of block[0]
  std::int32_t fill;      // write: bytes buffered; read: next byte; 16384 = used up
  std::int32_t atEof;
  HILE *liveNext, *livePrev; // every handle of this thread not yet closed, for HreleaseAll
  std::uint32_t serial;      // ResourceNext when opened
  std::int32_t position;     // where dataFile stands, kept here rather than asked for
  std::int32_t blocks;       // read: blocks in the file; write: blocks flushed
  // Read: index entries [windowFirst, windowFirst + windowCount) of the block
  // index. Write: the entries not yet appended to indexFile.
  std::int32_t window[kIndexWindow];
  std::int32_t windowFirst, windowCount;
  // Checked files (kFlagChecked), two words a block: the check of its plain
  // bytes and of its stored bytes. Read: those of blocks [checksFirst,
  // checksFirst + checksCount) from the trailer; write: those of the pending
  // index entries in window.
  std::uint32_t checks[2 * kIndexWindow];
  std::int32_t checksFirst, checksCount;
  std::int32_t verifiedBlocks;   // read: blocks 0.. checked in order and added to content
  CheckStream content;           // read: the content check of the blocks verified so far
  std::uint64_t contentCheck;    // read: the content check the trailer holds
  int indexCleanup;    // write: removes indexFile should the process end early
  bool staged;         // write: dataFile is a staging file that Hclose puts in place
  Replacement replace; // write, staged: the staging file and its target
  ParallelState *par;  // null: blocks coded one at a time on the caller's thread
};

// Mode text: "rb" or "wb", optionally followed by 'h' (Huffman byte coder) or
// 's' (row transform), then optionally 'c': a write handle writes a checked
// file ("wbc", "wbhc", "wbsc"), whose trailer after the block index holds a
// check of every block, of the whole content and of the framing. Read handles
// take the flags from the file and verify every check a file holds: the
// framing at open, each block as it is decoded, the content when the blocks
// have been read in order to the end. Never returns without a handle.
//
// A read handle refuses (fatally, naming the file) a file that no writer of
// the format produces: a header with unknown flag bits, a negative length, an
// index offset outside [16, file size] or an index of the wrong size for the
// length (an unfinished file has index offset 0), and a block index whose
// entries do not start at 16 and increase below the index offset. Each block
// must then fill exactly the bytes from its index entry to the next.
HILE *Hopen(const char *name, const char *mode);
// 1: write handles write to a staging file beside their file, which takes
// its place only in Hclose, so the file named is never left unfinished (a
// tool that replaces its output). 0 (the default): the file is written in place.
extern thread_local constinit std::int32_t HopenStaged;
// Threads that code the blocks of the handles Hopen makes: 1 (the default)
// codes each block on the caller's thread when it is reached; N > 1 codes
// batches of 8 N blocks on N threads, written in order (write handles) or
// decoded ahead of a sequential reader (read handles). The bytes written and
// read, the fatal texts and the block at which they come are the same.
extern thread_local constinit std::int32_t HopenThreads;
// Write handles: finishes the file and returns its size. Read handles: 0.
std::int32_t Hclose(HILE *h);
std::int32_t Hread(void *destination, std::int32_t count, HILE *h);
void Hwrite(const void *source, std::int32_t count, HILE *h);
void Hseek(HILE *h, std::int32_t position);
std::int32_t Htell(HILE *h);
std::int32_t Hgetc(HILE *h);
void Hputc(std::int32_t c, HILE *h);
std::int32_t Heof(HILE *h);
void Hfill(HILE *h);
void Hflus(HILE *h);
// Read handles: the file offset of block k (0 <= k < blocks) from the checked
// block index; block k ends where block k + 1 (or the index) begins.
std::int32_t HblockOffset(HILE *h, std::int32_t k);
// Frees every handle of this thread that is still open, without finishing
// it, and removes the temporary index files of write handles. For a process
// that goes on after a fatal end (a fuzzing harness); the files were closed
// by the fatal path.
void HreleaseAll();
// The same for this thread's handles opened after mark (ResourceMark).
void HreleaseSince(std::uint32_t mark);
// Takes a handle out of this thread's records (its open files and the list
// that HreleaseAll walks), for an owner that keeps it between calls and may
// use it from another thread; HandleAdopt puts it back into the records of
// the thread that uses it next.
void HandleDisown(HILE *h);
void HandleAdopt(HILE *h);
// Closes a handle's files, removes its temporary and staging files and frees
// it, without finishing a file being written: what was there stays.
void HandleDiscard(HILE *h);

// The settings above and below are per thread, like the handles.
//
// Called after each block is coded, with the handle; null (the default) for none.
using BlockProgressFn = void (*)(const HILE *h);
extern thread_local constinit BlockProgressFn BlockProgress;

// The raw-file layer under a handle: every short transfer is fatal.
void DoFopen(const char *name, const char *mode, FileRef *ref);
void DoFclose(FileRef *ref);
void DoFread(void *buffer, std::int32_t count, FileRef *ref);
void DoFwrite(const void *buffer, std::int32_t count, FileRef *ref);
void DoFseek(FileRef *ref, std::int32_t position);
std::int32_t DoFtell(FileRef *ref);

// One file of an archive, in archives, version lists and "lzx.ver" alike.
struct ArchiveEntry {
  char name[256]; // a leading '#' places it under the target directory
  std::int32_t size;
  std::int32_t version;
  std::int32_t state; // in a version list: 1 new, 2 updated, 3 unchanged
  std::int32_t scrambled;
  std::int32_t deleteAfter;
  std::int32_t replaceOnly;
  std::uint8_t reserved[152];
};
static_assert(sizeof(ArchiveEntry) == 432);

inline constexpr std::int32_t kStateNew = 1;
inline constexpr std::int32_t kStateUpdated = 2;
inline constexpr std::int32_t kStateUnchanged = 3;

// Unpacks archive under target, deciding each file against the version list
// (count records; none = decide by existence and flag). Returns 0.
// A '#' name that would climb out of target (a ".." component, a drive or a
// leading separator), or lead through a link below target, is refused with a
// fatal text before anything of it is written or deleted.
std::int32_t UnPackLZX(const char *archive, const char *target, ArchiveEntry *list, std::int32_t count,
                       std::int32_t flag);
// Reads the whole archive as UnPackLZX would, writing nothing: every block
// (and every check of a checked archive), every record and size, and every
// refusal of an entry's name under target (as UnPackLZX makes them, with
// UnpackPlainNames and UnpackProtectedPath). Damage is fatal, as there.
// Returns the number of entries.
std::int32_t VerifyLZX(const char *archive, const char *target, std::int64_t *contentBytes = nullptr);
// 1 (the default): a name without '#' is used as the path, absolute or
// relative to the current directory. 0: such a name is refused with a fatal
// text, for archives of unknown origin.
extern thread_local constinit std::int32_t UnpackPlainNames;
// What happened to an entry's target: written (new or over an older one),
// left as it was, not written because it may only replace an existing file,
// and deleted (by the entry's delete option, after its write step).
enum class UnpackEvent { New, Updated, Unchanged, ReplaceOnlyMissing, Deleted };
// Called for each entry, and again when its delete option removed the target;
// null (the default) for none.
using UnpackReportFn = void (*)(const ArchiveEntry &entry, const char *target, UnpackEvent event);
extern thread_local constinit UnpackReportFn UnpackReport;
// When set, an entry whose target is this path (the caller's version file) is
// refused with a fatal text before anything of it is written or deleted.
extern thread_local constinit const char *UnpackProtectedPath;

// The mode text PackLZX opens its archive with: "wb" (the default, the LZ
// coder without checks), or "wbc" for a checked archive.
extern thread_local constinit const char *PackMode;
// Packs the files of a list file into the archive it names. Returns the number
// of files; total and packed receive the bytes in and out when given.
std::int32_t PackLZX(const char *listFile, std::int32_t *total, std::int32_t *packed, ArchiveEntry *records,
                     std::int32_t capacity);
// Reads the next non-empty line (at most limit characters) into buffer, which
// holds limit + 1; null buffer drops the line. False at the end of the file.
bool FileReadLine(FileRef *ref, char *buffer, std::int32_t limit);

// Scrambles, or unscrambles, the named file in place.
void ScrambleFile(FileRef *ref);
// The same for a file open for reading and writing, through its handle
// (never reopened by name, which another could have taken meanwhile); it
// stays open.
void ScrambleOpenFile(FileRef *ref);
