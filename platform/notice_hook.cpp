// The notice hook, the same on every platform: a notice goes to the hook when
// one is set, else it is shown the platform's way (notice.cpp of each).
#include "platform/notice.h"

namespace {
PlatNoticeHook g_hook = nullptr;
}

void PlatSetNoticeHook(PlatNoticeHook hook) { g_hook = hook; }

int PlatNotice(const char *text, const char *caption, PlatIcon icon, PlatWindow owner) {
  return g_hook ? g_hook(text, caption, icon, owner) : PlatNoticeShow(text, caption, icon, owner);
}
