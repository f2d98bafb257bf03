#include "fileio/replace.h"

#include <cstdio>
#include <cstring>

#include "fileio/fatal.h"
#include "fileio/path.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/system.h"

namespace {

// Removes the staging files of earlier runs in directory: our own regular
// files of the staging pattern that nobody has open. Each directory once.
void RemoveLeftovers(const char *directory) {
  static char done[16][kPathSize]; // directories cleaned, the current one as "."
  static int next = 0;
  const char *key = directory[0] != '\0' ? directory : ".";
  for (const auto &d : done)
    if (std::strcmp(d, key) == 0) return;
  CopyText(done[next], kPathSize, key);
  next = (next + 1) % 16;

  static char names[4192];
  char pattern[kPathSize];
  if (std::snprintf(pattern, sizeof pattern, "%s%s", directory, kStagingPattern) >= kPathSize) return;
  const std::int32_t count = ListDirectory(names, sizeof names - 1, pattern);
  const char *name = names;
  for (std::int32_t i = 0; i < count; ++i, name += std::strlen(name) + 1) {
    char path[kPathSize];
    if (std::snprintf(path, sizeof path, "%s%s", directory, name) >= kPathSize) continue;
    if (PlatNameKind(path) == PlatKind::Regular && PlatOwnedByUs(path) && !FileIsLocked(path)) PlatDelete(path);
  }
}

} // namespace

int StagingCreate(FileRef *ref, std::int32_t elementSize, const char *directory, const char *errorName) {
  if (std::strlen(directory) + sizeof kStagingPattern > kPathSize) FatalMessage("StagingCreate: name too long [%s]", errorName);
  static std::uint32_t serial = 0;
  char name[kPathSize];
  for (int attempt = 0;; ++attempt) {
    std::uint32_t random = 0;
    PlatRandomBytes(&random, sizeof random);
    random ^= ++serial * 0x9E3779B9u; // distinct even if the random source failed
    std::snprintf(name, sizeof name, "%s~lz%08X.tmp", directory, static_cast<unsigned>(random));
    FileRefInit(ref, elementSize, name);
    // Registered before it exists, so that no moment is left in which an
    // interrupt would leave it behind.
    const int slot = PlatRemoveLater(name, PlatRemoveWhen::AnyEnd);
    if (FileCreateNew(ref)) return slot;
    PlatForgetLater(slot);
    // A name that is free but cannot be created: the directory refuses. A
    // taken name (by chance, or planted) gets another try.
    if (PlatNameKind(name) == PlatKind::Missing || attempt == 100) {
      FileRefInit(ref, elementSize, errorName);
      FileError(ref, kErrCreate);
    }
  }
}

void StagingKept(int slot) { PlatForgetLater(slot); }

void ReplaceBegin(Replacement *r, const char *target, std::int32_t elementSize) {
  std::memset(r, 0, sizeof *r);
  r->cleanupSlot = -1;
  if (std::strlen(target) >= sizeof r->target) FatalMessage("ReplaceBegin: name too long [%s]", target);
  CopyText(r->target, sizeof r->target, target);
  FileRefInit(&r->file, elementSize, target);
  if (PlatIsPrinterDevice(target)) {
    FileCreate(&r->file);
    return;
  }
  // The refusals that creating the target itself would give, decided on the
  // name: nothing here opens a pipe or device, or follows a link.
  switch (PlatNameKind(target)) {
  case PlatKind::Directory:
  case PlatKind::Other: FileError(&r->file, kErrCreate);
  case PlatKind::Regular:
    if (FileIsLocked(target)) FileError(&r->file, kErrCreate);
    if (FileIsReadOnly(target)) FileError(&r->file, kErrReadOnly);
    break;
  case PlatKind::Link:    // replaced by the new file, not followed
  case PlatKind::Missing: break;
  }
  char directory[kPathSize];
  PathDirectory(target, directory);
  RemoveLeftovers(directory);
  FileRef staging;
  r->cleanupSlot = StagingCreate(&staging, elementSize, directory, target);
  CopyText(r->staging, sizeof r->staging, staging.name);
  r->file.handle = staging.handle;
}

void ReplaceCommit(Replacement *r) {
  FileClose(&r->file);
  if (r->staging[0] == '\0') return;
  if (!PlatReplace(r->staging, r->target)) FileError(&r->file, kErrRename);
  StagingKept(r->cleanupSlot);
  r->cleanupSlot = -1;
}

const char *ReplaceWrittenName(const Replacement *r) { return r->staging[0] != '\0' ? r->staging : r->target; }
