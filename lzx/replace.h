// Writing a file so that a failure part-way never damages the one it
// replaces: the content goes to a temporary file in the same directory,
// which then takes the target's name in one step. After any failure the
// target is the old file or the new one, whole.
#pragma once

#include <cstdint>

#include "fileio/file.h"

struct Replacement {
  FileRef file;           // the temporary file, open for writing after ReplaceBegin
  char target[kPathSize]; // the name it takes on ReplaceCommit
  bool direct;            // a device (the printer) is written directly
};

// Refuses a target that could not be created (a directory, a file in use or
// read-only: the file errors of FileCreate), then creates the temporary file.
void ReplaceBegin(Replacement *r, const char *target, std::int32_t elementSize);
// Closes the temporary file (when still open) and puts it in the target's place.
void ReplaceCommit(Replacement *r);
