// The one fatal path, and the tracked allocator for large working blocks.
#pragma once

#include <cstdint>

#include "platform/memory.h"

// Formats the text (cut to the 200-character buffer), shows it in a notice
// captioned "Einde programma", closes every registered file and ends the
// process with the notice's result + 1 (2 after OK, 1 when it could not be
// shown).
[[noreturn]] void FatalMessage(const char *format, ...) __attribute__((format(printf, 1, 2)));

// A broken invariant in module ("UPDATER", "FILEIO" or "LZX") at line; a
// negative code means "no code".
[[noreturn]] void InternalError(const char *module, std::int32_t line, std::int32_t code);

// The fatal path's state is per thread, so that threads coding blocks of
// their own never meet in it.
//
// When set, called with the text after every registered file is closed, in
// place of ending the process. It must not return (a fuzzing harness jumps
// back to its loop); if it does, the process ends as usual.
using FatalEndFn = void (*)(const char *text);
extern thread_local constinit FatalEndFn FatalEndHook;

// When set, the fatal path shows nothing and closes nothing: it calls this
// with the text (and the file error code, 0 for none) and the caller's
// boundary takes over, releasing what was opened since it began
// (ResourceMark). It must not return. The library's own interface for
// other programs (lzx/api.h) sets it for the length of each of its calls.
using FatalDivertFn = void (*)(const char *text, std::int32_t fileCode);
extern thread_local constinit FatalDivertFn FatalDivert;

// True while a call of another program runs on this thread (lzx/api.h):
// the process is the host's, so nothing here installs a signal or exit
// handler or keeps a record file open; the call removes its own staging
// files when it fails.
extern thread_local constinit bool HostCall;

// Every registered file, tracked block, handle and staging file takes the
// next number of its thread's count, so that a boundary can release what was
// made after its mark.
std::uint32_t ResourceMark();
std::uint32_t ResourceNext();
// The file error code that the next fatal text of this thread reports to FatalDivert.
void FatalFileCode(std::int32_t code);

// When set, called once at a fatal end, after every registered file is
// closed and before the notice: it puts back what the failed step changed
// (an install's staged and swapped files) and returns kUndoNothing (nothing
// had been changed yet), kUndoDone or kUndoFailed. A done undo is told in
// the notice (FatalUndoneText) and, when FatalUndoneStatus is not 0, by that
// exit status.
inline constexpr int kUndoNothing = 0, kUndoDone = 1, kUndoFailed = -1;
extern int (*FatalUndo)();
extern const char *FatalUndoneText;
extern int FatalUndoneStatus;

// When set, a line put before every fatal text in the notice (what the
// failure means to the user, such as "the update is damaged"). Null: none.
extern const char *FatalPrefix;

inline constexpr int kFatalTextSize = 200;
inline constexpr int kBlockSlots = 200;

struct BlockSlot {
  PlatBlock handle; // null marks a free slot
  void *pointer;
  std::int32_t size;
  std::uint32_t serial; // ResourceNext at allocation
};

// Every live block of this thread; a slot is free exactly when its handle is null.
extern thread_local constinit BlockSlot BlockTable[kBlockSlots];

// At least size bytes (rounded up to an even count, at least 2), never null.
// The purpose text names the block and plays no part in the allocation.
void *BlockAlloc(std::int32_t size, const char *purpose);
// Releases a block that BlockAlloc returned; any other pointer is ignored.
void BlockFree(void *pointer, const char *purpose);
// Releases this thread's blocks allocated after mark.
void BlockReleaseSince(std::uint32_t mark);
