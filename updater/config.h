// The updater's process-wide values.
#pragma once

#include <cstdint>

#include "platform/entry.h"

// Build-time values: each program links a configuration that sets them.
extern std::int32_t MainProductLine; // 1 = Vorn, 0 = the other product line (Talvik)
extern std::int32_t DemoMode;        // 0 = update installer, 1 = demo installer

extern std::int32_t LanguageDutch; // 1 = Dutch texts
extern std::int32_t LogEnabled;    // "-log" given
extern PlatInstance Instance;

inline constexpr int kLocationSize = 260;
extern char InstallLocation[kLocationSize];
extern char InstalledVersion[kLocationSize];

// The archive the program carries, produced by the build.
extern const unsigned char EmbeddedArchive[];
extern const std::int32_t EmbeddedArchiveLength;

// What that archive holds, as the build listed it: each entry's stored
// name, size and version, and the version of the programs it was checked
// against (the highest entry version, 203 for 2.03).
struct CarriedEntry {
  const char *name;
  std::int32_t size, version;
};
extern const CarriedEntry EmbeddedEntries[];
extern const std::int32_t EmbeddedEntryCount;
