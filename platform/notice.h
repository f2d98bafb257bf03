// A modal notice: text, caption and icon; returns the button pressed.
#pragma once

// A window that owns notices and dialogs; null for none.
using PlatWindow = void *;

enum class PlatIcon { None, Error, Information };

inline constexpr int kPlatButtonOk = 1;

// Shows the notice and waits until it is acknowledged. Returns the button's
// code (kPlatButtonOk for the single OK button), or 0 when it cannot be shown.
int PlatNotice(const char *text, const char *caption, PlatIcon icon, PlatWindow owner = nullptr);
