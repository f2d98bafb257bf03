// The POSIX entry point: the arguments, joined with blanks, are the argument
// text that the updater parses as a Windows program gets its command line.
#include <string>

#include "platform/entry.h"

int main(int argc, char **argv) {
  std::string arguments;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) arguments += ' ';
    arguments += argv[i];
  }
  return UpdaterMain(nullptr, arguments.c_str());
}
