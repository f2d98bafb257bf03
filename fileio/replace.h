// Writing a file so that a failure part-way never damages the one it
// replaces: the content goes to a staging file in the same directory, which
// then takes the target's name in one step. After any failure the target is
// the old file or the new one, whole.
//
// Staging files are named "~lz" + 8 random hexadecimal digits + ".tmp" and
// created only where the name is free, never through a link, so nobody can
// predict or redirect them. Each is entered in its process's record in the
// private temporary directory; a staging file left by a run that was killed
// is removed by the next run that stages a file, when it is still the very
// file that run created. A file is never removed for its name alone.
#pragma once

#include <cstdint>

#include "fileio/file.h"

struct Replacement {
  FileRef file;            // open for writing after ReplaceBegin; its name is the target's, so errors name that
  char staging[kPathSize]; // the staging file's own name ("" when written in place)
  char target[kPathSize];  // the name it takes on ReplaceCommit
  int cleanupSlot;         // the staging file is removed if the process ends before the commit
};

// Refuses a target that could not be replaced (a directory, a pipe, device or
// socket, a file in use or read-only: file errors 211 and 206, naming it)
// without opening it, then creates the staging file. The printer device is
// written in place.
void ReplaceBegin(Replacement *r, const char *target, std::int32_t elementSize);
// Closes the staging file (when still open) and puts it in the target's place.
void ReplaceCommit(Replacement *r);
// The name of the file being written: the staging file, or the target itself.
const char *ReplaceWrittenName(const Replacement *r);
// The name pattern of staging files, for finding them.
inline constexpr char kStagingPattern[] = "~lz????????.tmp";
// A fresh name in directory for a file of an install or a write: "~lz" + 8
// hexadecimal digits + suffix, or, where that would not fit the 259
// characters of a name, a shorter "~" + 8 or 4 digits, so that any target
// that fits can be staged beside. False when even the shortest does not fit.
bool StagingName(const char *directory, std::uint32_t random, const char *suffix, char *out);
// Creates a fresh staging file in directory (its name ends the path in
// ref), open for reading and writing, never through a link; it is removed
// should the process end before StagingKept. Failure is file error 211,
// naming errorName. Returns the slot for StagingKept.
int StagingCreate(FileRef *ref, std::int32_t elementSize, const char *directory, const char *errorName);
// The staging file took its place, or was removed: nothing to do at the end.
void StagingKept(int slot);
// Removes what the records of killed runs name (once per process; the first
// staging does it anyway).
void StagingSweep();
// Removes this thread's staging files created after mark (ResourceMark) and
// not yet kept: the end of a call that failed part-way.
void StagingRemoveSince(std::uint32_t mark);
