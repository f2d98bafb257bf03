// Checking a packer's list file before anything is written: every mistake
// that would stop PackLZX part-way, or make an archive that the unpacker
// refuses or reads otherwise than meant, with the line it is on.
#pragma once

#include <cstdint>

// Called once per mistake: the physical line (from 1; 0 for the file as a
// whole) and a text that says what is wrong.
using ListProblemFn = void (*)(std::int32_t line, const char *text, void *context);

struct ListSummary {
  char archive[257];   // the archive's name (line 1)
  std::int32_t files;  // source and stored-name pairs
  std::int32_t total;  // the sources' bytes together
};

// Reads listFile as PackLZX does (sources relative to the current directory)
// and reports: lines longer than the reader takes (it would cut them and read
// the rest as the next line); an archive name of 80 characters or more;
// source lines without a name, with unknown options, too many options, a
// value that is no number or lies outside the signed 32-bit range, or a
// version below 100; a stored name missing after its source line, of 256
// characters or more, used twice (letters compared without case), holding a
// '/', or after '#' a ".." component, a drive or a leading separator; a name
// without '#' unless plainNames; a source that is missing, a directory,
// unreadable or of 2 GiB or more; sources of 2 GiB or more together.
// Returns the number of mistakes.
std::int32_t ListFileCheck(const char *listFile, bool plainNames, ListProblemFn report, void *context,
                           ListSummary *summary);
