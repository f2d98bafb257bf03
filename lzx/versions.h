// Version lists as the install run keeps them in "lzx.ver": a bare array of
// ArchiveEntry records, loaded with 1000 spare slots and saved with state 0.
#pragma once

#include <cstdint>

#include "lzx/lzx.h"

inline constexpr std::int32_t kSpareVersionSlots = 1000;

// Loads the version file at path, or makes an empty list when it does not
// exist; the list is a zero-filled BlockAlloc block ("Version file").
ArchiveEntry *VersionListLoad(const char *path, std::int32_t *capacity);

struct VersionCounts {
  std::int32_t added, updated, unchanged, used;
};

// Counts the states of the used records and resets them to 0.
VersionCounts VersionListSettle(ArchiveEntry *list, std::int32_t capacity);

// Writes the used records to path and frees the list; ends the hold of
// VersionListLock.
void VersionListSave(const char *path, ArchiveEntry *list, std::int32_t used);

// Holds directory (created when missing) for this run alone until
// VersionListSave: a run of any user that holds it already makes this a fatal
// error, so two runs never interleave. Until then UnPackLZX refuses an entry
// whose target is versionFile.
void VersionListLock(const char *directory, const char *versionFile);
