// Unattended runs: "-silent" (no dialog, no message box, an exit status per
// outcome), "-logfile=PATH" (a line per event, appended, with a timestamp) and
// "-dir=PATH" (the demo directory). Without these options nothing here acts.
#pragma once

#include <cstdint>

#include "updater/config.h"

extern std::int32_t SilentMode;                 // "-silent" given
extern char LogFilePath[kLocationSize];         // "-logfile=PATH"; empty for none
extern char DemoDirectoryOption[kLocationSize]; // "-dir=PATH"; empty for none

// The exit statuses of a silent run, one per outcome.
enum SilentStatus : int {
  kSilentDone = 0,            // installed (or, in the dialog, cancelled)
  kSilentRunning = 1,         // the product is running (as without -silent)
  kSilentFatal = 2,           // a fatal error (as without -silent)
  kSilentNotFound = 3,        // installation not found (message 17 or 19)
  kSilentTooOld = 4,          // installed version below 2 (message 22)
  kSilentNoVersionFile = 5,   // "lzx.ver not found": nothing installed
  kSilentDirectoryRefused = 6, // the demo directory fails the dialog's rules
  kSilentShellFailed = 7,     // program-manager entries failed after a complete install
  kSilentRolledBack = 8,      // the install failed part-way and was undone: nothing changed
};

// Takes the new options from a token (false when it is none of them).
bool TakeUnattendedOption(const char *token);
// True when token is one of them (without taking it).
bool IsUnattendedOption(const char *token);
// After the options: routes every notice (and the fatal end) through the log,
// and in silent mode keeps them off the screen; logs the start.
void UnattendedStart(const char *arguments);
// A line in the log (when there is one): the local time, then the text.
void RunLog(const char *format, ...) __attribute__((format(printf, 1, 2)));
// Records the run's outcome (the first one recorded stands) and logs it.
void RunOutcome(SilentStatus status, const char *what);
// The process's exit status for a run that reached its normal end: the
// outcome's with -silent, 0 without (as always).
int RunExitStatus();
