// The install run: the embedded archive to a temporary file, unpacked into the
// installation with its version file, then removed.
#pragma once

#include <cstdint>

void WriteTempArchive(char *path, std::int32_t leaveEmpty);
// Reads the whole archive before anything is installed (every block, check,
// record and refusal); a fault is fatal, says that nothing was changed and
// removes the archive.
void VerifyUpdate(const char *archivePath, const char *installDirectory);
void ApplyArchive(const char *archivePath, const char *installDirectory);
bool DeleteTempArchive(const char *path);
