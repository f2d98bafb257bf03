// The file-by-file front end: lzx FILE..., -d, -c, -k, --rm, -t, -l, -o.
#pragma once

#include <cstddef>
#include <string>

namespace lzx_tool {

struct FrontOptions {
  bool decompress = false, toStdout = false, remove = false;
  std::string output; // -o: the one output's name
  std::string mode;   // Hopen's mode for compressing
};

// True when the words call for the front end: the first word that is not an
// option is no command (a file, "-" or what follows "--"), or there is no
// such word but an option of the front end's own.
bool ChoosesFrontEnd(int argc, char **argv, const char *const *commands, std::size_t count);
// Runs it; returns the exit status of the whole call.
int RunFrontEnd(int argc, char **argv);

} // namespace lzx_tool
