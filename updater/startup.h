// Start-up: language, system version, options, the running-product probe,
// the location lookup and the version gate, then the dialog.
#pragma once

#include <cstdint>

bool CheckWindowsVersion();
bool ParseOptions(const char *arguments);
bool ProbeRunning(const char *name);
// Completes or undoes an install that was interrupted in directory.
void RecoverInterruptedInstall(const char *directory);
bool CommonControlsReady();
