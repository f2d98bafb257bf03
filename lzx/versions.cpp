#include "lzx/versions.h"

#include <cstring>

#include "fileio/fatal.h"
#include "fileio/path.h"
#include "fileio/replace.h"
#include "fileio/transaction.h"

void VersionListLock(const char *directory, const char *versionFile) {
  if (!FileExists(directory)) MakeDirectories(directory);
  // A directory that cannot be opened is left to the file errors that follow.
  if (!DirectoryHold(directory))
    FatalMessage("VersionListLock: another install is running in [%s]", directory);
  // An install that was interrupted is completed or undone first; this one
  // is then a single step of its own (fileio/transaction.h).
  if (JournalRecover(directory) == JournalState::Failed)
    FatalMessage("VersionListLock: an interrupted install cannot be put right in [%s]", directory);
  TransactionBegin(directory);
  UnpackProtectedPath = versionFile;
}

ArchiveEntry *VersionListLoad(const char *path, std::int32_t *capacity) {
  FileRef ref;
  FileRefInit(&ref, static_cast<std::int32_t>(sizeof(ArchiveEntry)), path);
  // A pipe or device in the version file's place is refused before it is
  // opened (reading it could wait for ever).
  if (FileIsSpecial(path)) FileError(&ref, kErrOpenRead);
  const bool exists = FileExists(path);
  // Opened once, while the installation is held: a lock that a reader of
  // the file holds must not stop the install.
  if (exists) FileOpenReadHeld(&ref);
  const std::int32_t records = exists ? FileSize(&ref) : 0;
  // The list's size in bytes must fit before it is computed.
  constexpr std::int32_t kMostRecords = 0x7fffffff / static_cast<std::int32_t>(sizeof(ArchiveEntry)) - kSpareVersionSlots;
  if (records > kMostRecords) FileError(&ref, kErrSize);
  *capacity = records + kSpareVersionSlots;
  auto *list = static_cast<ArchiveEntry *>(BlockAlloc(*capacity * static_cast<std::int32_t>(sizeof(ArchiveEntry)), "Version file"));
  std::memset(list, 0, static_cast<std::size_t>(*capacity) * sizeof(ArchiveEntry));
  if (exists) {
    FileRead(&ref, *capacity, list);
    FileClose(&ref);
    // An empty name ends the list. Records behind it are dropped here, or the
    // first new entry would fill the gap and bring them back into the list.
    std::int32_t end = 0;
    while (end < records && list[end].name[0] != '\0') ++end;
    std::memset(list + end, 0, static_cast<std::size_t>(*capacity - end) * sizeof(ArchiveEntry));
  }
  return list;
}

VersionCounts VersionListSettle(ArchiveEntry *list, std::int32_t capacity) {
  VersionCounts counts{0, 0, 0, 0};
  for (; counts.used < capacity && list[counts.used].name[0] != '\0'; ++counts.used) {
    ArchiveEntry &e = list[counts.used];
    if (e.state == kStateNew) ++counts.added;
    else if (e.state == kStateUpdated) ++counts.updated;
    else if (e.state == kStateUnchanged) ++counts.unchanged;
    e.state = 0;
  }
  return counts;
}

void VersionListSave(const char *path, ArchiveEntry *list, std::int32_t used) {
  // Written beside the old version file and then put in its place, so that a
  // failed write leaves the old list whole.
  Replacement r;
  ReplaceBegin(&r, path, static_cast<std::int32_t>(sizeof(ArchiveEntry)));
  FileWrite(&r.file, used, list);
  ReplaceCommit(&r);
  if (TransactionActive()) TransactionCommit(); // the version file is the last change
  BlockFree(list, "Version file");
  UnpackProtectedPath = nullptr;
  DirectoryRelease();
}
