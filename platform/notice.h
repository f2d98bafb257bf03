// A modal notice: text, caption and icon; returns the button pressed.
#pragma once

// A window that owns notices and dialogs; null for none.
using PlatWindow = void *;

enum class PlatIcon { None, Error, Information };

inline constexpr int kPlatButtonOk = 1;

// Shows the notice and waits until it is acknowledged. Returns the button's
// code (kPlatButtonOk for the single OK button), or 0 when it cannot be shown
// (no display for a box, standard error not writable).
// When a hook is set, the notice goes to the hook instead.
int PlatNotice(const char *text, const char *caption, PlatIcon icon, PlatWindow owner = nullptr);

// Asks whether to try again (text and caption, with Retry and Cancel
// buttons): true for Retry. False where nobody can be asked (no display, or
// a system whose notices are only written out), and for a test build
// answering its notices itself. The system's last error is kept.
bool PlatAskRetry(const char *text, const char *caption, PlatWindow owner = nullptr);

// A program that answers its notices itself (an unattended run, a log) sets
// a hook; PlatNoticeShow shows a notice the platform's way, hook or not.
using PlatNoticeHook = int (*)(const char *text, const char *caption, PlatIcon icon, PlatWindow owner);
void PlatSetNoticeHook(PlatNoticeHook hook);
int PlatNoticeShow(const char *text, const char *caption, PlatIcon icon, PlatWindow owner);
// True where showing a notice waits for a person (a message box), false
// where it is only written out (standard error).
bool PlatNoticeWaitsForPerson();
