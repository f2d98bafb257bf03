// Shared by the fuzz targets. A fatal end (the system's answer to damaged
// input) jumps back to the target instead of ending the process, and the
// tracked blocks it left behind are released. Every target works inside a
// scratch directory of its own, emptied before each input.
#pragma once

#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <string>

namespace fuzz {

extern std::jmp_buf g_fatal;
extern char g_lastFatal[256]; // the text of the last fatal end

// Once per process: the scratch directory (current directory from then on)
// and the fatal hook.
void SetUp();
// Empties the scratch directory.
void Clean();
// Aborts (a finding) when anything but the scratch directory appeared in its
// parent, that is, when an input made the code write outside it.
void CheckNothingEscaped();
// Frees what BlockAlloc handed out before a fatal end.
void ReleaseBlocks();
void WriteBytes(const std::string &name, const std::uint8_t *data, std::size_t size);

} // namespace fuzz

// Runs statement; true when it ended normally, false after a fatal end.
#define FUZZ_GUARDED(statement)                                                                    \
  (setjmp(::fuzz::g_fatal) == 0 ? ((statement), true) : (::fuzz::ReleaseBlocks(), false))
