// Holds a running-product marker for a while, as the running product does:
// hold_marker NAME SECONDS. Prints "held" once the marker is taken.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char **argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: hold_marker NAME SECONDS\n");
    return 64;
  }
  const HANDLE h = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READONLY, 0, 32, argv[1]);
  if (h == nullptr) return 1;
  std::printf("held\n");
  std::fflush(stdout);
  Sleep(static_cast<DWORD>(std::atoi(argv[2])) * 1000u);
  CloseHandle(h);
  return 0;
}
