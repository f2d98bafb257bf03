// Names rather than open files: splitting paths, creating and removing
// directories, listing, and small tests on names.
#pragma once

#include <cstdint>

// Fills the wanted outputs (null = not wanted), each of 260 characters.
void PathSplit(const char *path, char *directory, char *base, char *extension);
void PathStripExtension(char *name);
bool MakeDirectories(const char *path);

std::int32_t ListDirectory(char *buffer, std::int32_t capacity, const char *pattern);
bool RemoveDirectoryWithFiles(const char *directory, bool withFiles);

bool FileExists(const char *name);
bool FileIsReadOnly(const char *name);
bool FileIsLocked(const char *name);
bool IsPlainName(const char *name);
