// Facts about the running process, and its end.
#pragma once

#include <cstdint>

// Ends the process with the given status; exit handlers run.
[[noreturn]] void PlatExit(int status);
// A number that tells this process from others running now.
std::uint32_t PlatProcessId();
// True when standard error is a terminal that a person watches.
bool PlatErrorIsTerminal();
