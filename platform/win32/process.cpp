#include "platform/process.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>

void PlatExit(int status) {
  // The C runtime's exit flushes the streams and runs the exit handlers, as
  // on POSIX, and then ends the process with ExitProcess.
  std::exit(status);
}

std::uint32_t PlatProcessId() { return GetCurrentProcessId(); }

bool PlatErrorIsTerminal() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}
