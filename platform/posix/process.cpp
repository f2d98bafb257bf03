#include "platform/process.h"

#include <unistd.h>

#include <cstdlib>

void PlatExit(int status) { std::exit(status); }

std::uint32_t PlatProcessId() { return static_cast<std::uint32_t>(getpid()); }

bool PlatErrorIsTerminal() { return isatty(2) == 1; }
