// The install run: the embedded archive to a temporary file, unpacked into the
// installation with its version file, then removed.
#pragma once

#include <cstdint>

void WriteTempArchive(char *path, std::int32_t leaveEmpty);
void ApplyArchive(const char *archivePath, const char *installDirectory);
bool DeleteTempArchive(const char *path);
