// The Windows entry point: the instance handle and the argument text of the
// command line (the previous instance and the show state are not used). The
// text is taken from the wide command line and handed on as UTF-8, so that a
// folder named outside the system's code page comes through whole.
#include <windows.h>

#include <string>

#include "platform/entry.h"
#include "platform/win32/wide.h"

namespace {

// The command line after the program's name, as the runtime finds it for
// WinMain: the name ends at its closing quote or at the first blank.
const wchar_t *AfterProgramName(const wchar_t *line) {
  if (*line == L'"') {
    ++line;
    while (*line && *line != L'"') ++line;
    if (*line == L'"') ++line;
  } else {
    while (*line && *line != L' ' && *line != L'\t') ++line;
  }
  while (*line == L' ' || *line == L'\t') ++line;
  return line;
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  const wchar_t *rest = AfterProgramName(GetCommandLineW());
  const int n = WideCharToMultiByte(CP_UTF8, 0, rest, -1, nullptr, 0, nullptr, nullptr);
  std::string arguments(n > 0 ? static_cast<std::size_t>(n) : 1, '\0');
  if (n > 0) WideCharToMultiByte(CP_UTF8, 0, rest, -1, arguments.data(), n, nullptr, nullptr);
  return UpdaterMain(instance, arguments.c_str());
}
