// Names rather than open files: splitting paths, creating and removing
// directories, listing, and small tests on names.
#pragma once

#include <cstdint>

// Fills the wanted outputs (null = not wanted), each of 260 characters.
void PathSplit(const char *path, char *directory, char *base, char *extension);
void PathStripExtension(char *name);
// The directory part of path as the file system reads it (up to and including
// the last separator of the platform, or a drive's colon), into 260 characters.
void PathDirectory(const char *path, char *directory);
// True when a directory on the way from base down to the last component of
// relative (both separators count) is a link that base's owner did not
// make (PlatLinkIsTrusted): what is written there would land elsewhere.
// base itself may be a link.
bool PathHasLinkBelow(const char *base, const char *relative);
bool MakeDirectories(const char *path);
// When set, told of every directory MakeDirectories creates.
extern void (*DirectoryMade)(const char *name);

std::int32_t ListDirectory(char *buffer, std::int32_t capacity, const char *pattern);
bool RemoveDirectoryWithFiles(const char *directory, bool withFiles);

bool FileExists(const char *name);
// True when name is a pipe, device or socket: not a file to read or write.
bool FileIsSpecial(const char *name);
// Holds directory for this process alone (against other processes of any
// user) until DirectoryRelease or the end of the process; false when another
// holds it. A directory that cannot be opened counts as held: the file
// operations that follow report it.
bool DirectoryHold(const char *directory);
void DirectoryRelease();
// What reading name as a plain file would meet, without a fatal end.
enum class FileProbeResult { Readable, Missing, Directory, Unreadable, TooLarge };
// TooLarge: 2 GiB or more, beyond the signed 32-bit sizes. size gets the size
// of a readable file.
FileProbeResult FileProbe(const char *name, std::int32_t *size);
bool FileIsReadOnly(const char *name);
bool FileIsLocked(const char *name);
bool IsPlainName(const char *name);
