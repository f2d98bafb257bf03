// Notices on POSIX go to standard error: the caption on a line of its own, then
// the text with its line breaks. Nobody is asked; the notice counts as
// acknowledged with OK at once (one that cannot be written, as not shown).
// Control characters other than the line feed (say, an escape sequence in a
// file name from an archive) and stray bytes 0x80-0x9F are shown as \xHH,
// never sent to the terminal as they are.
#include "platform/notice.h"

#include <cstdio>
#include <cstring>

#include "platform/text.h"

namespace {

void PutSafely(const char *text) {
  // Line by line, each as ShownText writes it (a stray 0x9B, the one-byte
  // control sequence introducer of some terminals, included).
  static char piece[4096], shown[4 * sizeof piece + 1];
  for (const char *p = text ? text : ""; *p;) {
    const char *end = std::strchr(p, '\n');
    const std::size_t n = end ? static_cast<std::size_t>(end - p) : std::strlen(p);
    const std::size_t take = n < sizeof piece - 1 ? n : sizeof piece - 1;
    std::memcpy(piece, p, take);
    piece[take] = '\0';
    ShownText(piece, shown, sizeof shown);
    std::fputs(shown, stderr);
    if (end) std::fputc('\n', stderr);
    p += n + (end ? 1 : 0);
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

bool PlatAskRetry(const char *, const char *, PlatWindow) { return false; } // renames never wait for readers here
