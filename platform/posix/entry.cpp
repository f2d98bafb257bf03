// The POSIX entry point: the arguments, joined with blanks, are the argument
// text that the updater parses as a Windows program gets its command line.
// An argument that holds a blank is put in double quotes, as a Windows
// command line writes it, so that it stays one word (one with quotes of its
// own, -logfile="a b", is taken as written).
#include <string>

#include "platform/entry.h"

int main(int argc, char **argv) {
  std::string arguments;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) arguments += ' ';
    const std::string word = argv[i];
    const bool blank = word.find(' ') != std::string::npos && word.find('"') == std::string::npos;
    if (blank) arguments += '"';
    arguments += argv[i];
    if (blank) arguments += '"';
  }
  return UpdaterMain(nullptr, arguments.c_str());
}
