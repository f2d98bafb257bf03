// Facts about the system the updater runs on.
#pragma once

#include <cstdint>

// The system's default language identifier: primary language in the low 10
// bits (0x13 Dutch, 0x09 English), sub-language above.
std::uint16_t PlatSystemLanguage();
// The packed system version: major in the lowest byte, minor in the next.
std::uint32_t PlatSystemVersion();
// The user's temporary directory, ending with a separator: a directory that
// only this user can use.
void PlatTempDirectory(char *out, std::uint32_t capacity);
// The current directory; false (out empty) when it does not fit.
bool PlatCurrentDirectory(char *out, std::uint32_t capacity);
// Where a program of this name is installed by default.
void PlatProgramDirectory(const char *name, char *out, std::uint32_t capacity);
// True when a product announcing itself under name is running, or when the
// updater cannot announce itself under that name. The announcement stays
// until the process ends.
bool PlatProbeRunning(const char *name);
// True when the dialog toolkit can be used; prepares it.
bool PlatDialogToolkitReady();
// The program's arguments in the encoding of its names (see names.h): on
// Windows read again from the wide command line, on POSIX as they are.
void PlatNameArguments(int *argc, char ***argv);
// Fills out with unpredictable bytes.
void PlatRandomBytes(void *out, std::uint32_t count);
