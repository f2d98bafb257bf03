#include "lzx/replace.h"

#include <cstdio>
#include <cstdlib>

#include "fileio/fatal.h"
#include "fileio/path.h"
#include "platform/files.h"
#include "platform/process.h"

namespace {

// The temporary file of the write in progress, removed when the program
// ends before it took its name (the fatal path ends through exit).
char g_pending[kPathSize];

void RemovePending() {
  if (g_pending[0] != '\0') PlatDelete(g_pending);
  g_pending[0] = '\0';
}

} // namespace

void ReplaceBegin(Replacement *r, const char *target, std::int32_t elementSize) {
  CopyText(r->target, sizeof r->target, target);
  r->direct = IsPrinterName(target);
  if (r->direct) {
    FileRefInit(&r->file, elementSize, target);
    FileCreate(&r->file);
    return;
  }
  // The refusals that creating the target itself would give.
  FileRef probe;
  FileRefInit(&probe, elementSize, target);
  const std::uint32_t attributes = PlatAttributes(target);
  if (attributes != kPlatNoAttributes) {
    if ((attributes & kPlatAttrDirectory) != 0 || FileIsLocked(target)) FileError(&probe, 211);
    if ((attributes & kPlatAttrReadOnly) != 0) FileError(&probe, 206);
  }
  static bool registered = false;
  if (!registered) {
    std::atexit(RemovePending);
    registered = true;
  }
  char directory[kPathSize];
  PathSplit(target, directory, nullptr, nullptr);
  char temp[kPathSize + 32];
  const int length = std::snprintf(temp, sizeof temp, "%s~lzx%05u.tmp", directory, PlatProcessId() % 100000u);
  if (length >= kPathSize) FatalMessage("ReplaceBegin: path too long");
  FileRefInit(&r->file, elementSize, temp);
  CopyText(g_pending, sizeof g_pending, temp);
  FileCreate(&r->file);
}

void ReplaceCommit(Replacement *r) {
  FileClose(&r->file);
  if (r->direct) return;
  FileReplace(&r->file, r->target);
  g_pending[0] = '\0';
}
