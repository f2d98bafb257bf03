// Names inside archives are Windows-1252, the code page the Windows programs
// of the product use, whatever the system they run on. The programs' own
// names are the system's (its locale's encoding on POSIX, UTF-8 on Windows,
// where the platform layer turns them into the system's UTF-16). These
// convert between the two, at the archive's edge only.
#pragma once

#include <cstddef>

// The archive's bytes for a name of the system, into out of size bytes;
// false when a character has no Windows-1252 byte, the name is not valid in
// the system's encoding, or out is too small.
bool ArchiveNameFromSystem(const char *name, char *out, std::size_t size);

// The system's name for an archive name; false when the system's encoding
// lacks one of its characters or out is too small.
bool ArchiveNameToSystem(const char *stored, char *out, std::size_t size);

// For texts (listings, logs, messages): the system's name for stored where
// it has one, else stored's bytes as they are; returns out.
const char *ArchiveNameForText(const char *stored, char *out, std::size_t size);

// The two halves, for the tests and for texts that are UTF-8 already.
bool Cp1252FromUtf8(const char *utf8, char *out, std::size_t size);
bool Cp1252ToUtf8(const char *cp1252, char *out, std::size_t size);
