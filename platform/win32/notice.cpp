// Notices are message boxes. A test build (VORN_UNATTENDED) answers them
// without a person when the environment variable VORN_UNATTENDED is set: the
// caption and text go to standard error as on POSIX, and OK counts as pressed.
// Any other value (the GUI tests set 0) leaves the boxes to be answered.
// A box that cannot appear counts as not shown (0).
#include "platform/notice.h"

#include <windows.h>

#include <cstdio>

#include "platform/win32/wide.h"

bool PlatNoticeWaitsForPerson() { return true; }

namespace {
// A test build answers its boxes itself when VORN_UNATTENDED is 1: the
// caption and text go to standard error, and the box counts as answered.
bool AnsweredUnattended([[maybe_unused]] const char *text, [[maybe_unused]] const char *caption) {
#ifdef VORN_UNATTENDED
  char unattended[4] = {};
  if (GetEnvironmentVariableA("VORN_UNATTENDED", unattended, sizeof unattended) == 1 && unattended[0] == '1') {
    std::fflush(stdout);
    std::fprintf(stderr, "[%s]\n%s\n", caption ? caption : "", text ? text : "");
    std::fflush(stderr);
    return true;
  }
#endif
  return false;
}
} // namespace

bool PlatAskRetry(const char *text, const char *caption, PlatWindow owner) {
  const DWORD error = GetLastError();
  if (AnsweredUnattended(text, caption)) {
    SetLastError(error);
    return false; // Cancel: a test build never waits
  }
  const std::wstring wideText = Wide(text), wideCaption = Wide(caption);
  const int button = MessageBoxW(static_cast<HWND>(owner), wideText.c_str(), wideCaption.c_str(),
                                 MB_RETRYCANCEL | MB_ICONWARNING);
  SetLastError(error);
  return button == IDRETRY;
}

int PlatNoticeShow(const char *text, const char *caption, PlatIcon icon, PlatWindow owner) {
  if (AnsweredUnattended(text, caption)) return kPlatButtonOk;
  UINT style = MB_OK;
  if (icon == PlatIcon::Error) style |= MB_ICONERROR;
  else if (icon == PlatIcon::Information) style |= MB_ICONINFORMATION;
  const std::wstring wideText = Wide(text), wideCaption = Wide(caption);
  const int button = MessageBoxW(static_cast<HWND>(owner), text ? wideText.c_str() : nullptr,
                                 caption ? wideCaption.c_str() : nullptr, style);
  if (button > 0) return button;
  // No box could appear (no desktop or display: Windows answers 0, Wine
  // -1). The text goes to standard error, where a console or a redirection
  // sees it, and the notice counts as not shown.
  std::fflush(stdout);
  std::fprintf(stderr, "[%s]\n%s\n", caption ? caption : "", text ? text : "");
  std::fflush(stderr);
  return 0;
}
