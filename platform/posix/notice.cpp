// Notices on POSIX go to standard error: the caption on a line of its own, then
// the text with its line breaks. Nobody is asked; the notice counts as
// acknowledged with OK at once.
#include "platform/notice.h"

#include <cstdio>

int PlatNotice(const char *text, const char *caption, PlatIcon, PlatWindow) {
  std::fflush(stdout);
  std::fprintf(stderr, "[%s]\n%s\n", caption ? caption : "", text ? text : "");
  std::fflush(stderr);
  return kPlatButtonOk;
}
