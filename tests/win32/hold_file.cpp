// Holds a file open without sharing it, as an editor or a scanner may:
// hold_file PATH SECONDS. Prints "held" once the file is open.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char **argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: hold_file PATH SECONDS\n");
    return 64;
  }
  const HANDLE h = CreateFileA(argv[1], GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return 1;
  std::printf("held\n");
  std::fflush(stdout);
  Sleep(static_cast<DWORD>(std::atoi(argv[2])) * 1000u);
  CloseHandle(h);
  return 0;
}
