// Notices on POSIX go to standard error: the caption on a line of its own, then
// the text with its line breaks. Nobody is asked; the notice counts as
// acknowledged with OK at once (one that cannot be written, as not shown). Control characters other than the line feed
// (say, an escape sequence in a file name from an archive) are shown as
// \xHH, never sent to the terminal as they are.
#include "platform/notice.h"

#include <cstdio>

namespace {

void PutSafely(const char *text) {
  for (const char *p = text ? text : ""; *p; ++p) {
    const auto c = static_cast<unsigned char>(*p);
    if ((c < 0x20 && c != '\n') || c == 0x7f) std::fprintf(stderr, "\\x%02X", c);
    else std::fputc(c, stderr);
  }
}

} // namespace

bool PlatNoticeWaitsForPerson() { return false; }

int PlatNoticeShow(const char *text, const char *caption, PlatIcon, PlatWindow) {
  std::fflush(stdout);
  std::clearerr(stderr);
  std::fputc('[', stderr);
  PutSafely(caption);
  std::fputs("]\n", stderr);
  PutSafely(text);
  std::fputc('\n', stderr);
  // A notice that could not be written (standard error closed or full) was
  // not shown.
  return std::fflush(stderr) == 0 && !std::ferror(stderr) ? kPlatButtonOk : 0;
}
