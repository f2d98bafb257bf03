// A modal notice: text, caption and icon; returns the button pressed.
#pragma once

enum class PlatIcon { Error, Information, Warning, Question };

inline constexpr int kPlatButtonOk = 1;

// Shows the notice and waits until it is acknowledged. Returns the button's
// code (kPlatButtonOk for the single OK button), or 0 when it cannot be shown.
int PlatNotice(const char *text, const char *caption, PlatIcon icon);
