// Files and directories as the runtime services need them.
//
// Names use the system's backslash convention; each implementation turns them
// into what its operating system expects. Failures are reported by the plain
// result of each call; the text of the last failure is PlatLastErrorText().
#pragma once

#include <cstddef>
#include <cstdint>

// An open file. 0 is never a valid handle, so records can use it for "closed".
using PlatFile = std::intptr_t;

// The four ways a file is opened. Sharing follows the platform's share modes
// (or an emulation of them): a read open lets others read, the writing opens
// let nobody else in.
enum class PlatOpenMode {
  ReadShared,     // existing file, read; others may read
  CreateTruncate, // write; created, or truncated to 0
  AppendOrCreate, // write; opened, or created when missing (positioned at 0)
  UpdateOrCreate, // read and write; opened, or created when missing
  ReadExclusive,  // existing file, read, nobody else may have it open
  CreateNew,      // read and write; created, refused when the name exists (a link there included)
  ReadHeld,       // existing file, read, everyone else may have it open: for a file that
                  // only the holder of its directory (PlatLockDirectory) writes
};

inline constexpr std::uint32_t kPlatNoAttributes = 0xFFFFFFFFu;
inline constexpr std::uint32_t kPlatAttrReadOnly = 0x1u;
inline constexpr std::uint32_t kPlatAttrDirectory = 0x10u;
inline constexpr std::uint32_t kPlatBadPosition = 0xFFFFFFFFu;

// Returns 0 when the file cannot be opened.
PlatFile PlatOpen(const char *name, PlatOpenMode mode);
// Reads up to count bytes; false only when the read itself fails (a short
// read at the end of the file is not a failure).
bool PlatRead(PlatFile file, void *buffer, std::uint32_t count, std::uint32_t *moved);
// Writes count bytes; *moved tells how many were stored.
bool PlatWrite(PlatFile file, const void *buffer, std::uint32_t count, std::uint32_t *moved);
// Where a seek counts from.
inline constexpr int kPlatFromStart = 0, kPlatFromCurrent = 1, kPlatFromEnd = 2;
// Returns the new position or kPlatBadPosition.
std::uint32_t PlatSeek(PlatFile file, std::int32_t offset, int origin);
// Size in bytes, or kPlatBadPosition.
std::uint32_t PlatSize(PlatFile file);
void PlatClose(PlatFile file);
// Last-write time of an open file in MS-DOS form: date in the high 16 bits,
// time in the low 16 bits, taken from UTC without a time-zone adjustment.
bool PlatLastWriteDosTime(PlatFile file, std::uint32_t *dosTime);

// A log that many processes append to at once: opened for appending, created
// when missing, never through a link, and refused (0) unless it is a regular
// file of the running user (or, for the administrator, of the owner of the
// folder it lies in). Nothing is locked, so nobody can make a write wait.
PlatFile PlatOpenSharedLog(const char *name);
// Appends text in one write: lines from several writers never interleave.
bool PlatAppend(PlatFile file, const char *text, std::uint32_t length);

// Renames; fails when the target exists.
bool PlatRename(const char *from, const char *to);
// Puts from in place of to in one step, replacing to when it exists: after
// a failure or a crash, to is either the old file or the new one, whole.
// The new content is on the disk before the name changes, and the name
// change after the call. A regular file that is replaced hands its
// permissions (and, where the caller may set them, its owner and group) on
// to the new one; a link in to's place is replaced, not followed.
bool PlatReplace(const char *from, const char *to);
bool PlatDelete(const char *name);
// Makes backup a second name of the file at name (which keeps its own), so
// that replacing name later leaves the old file under backup; fails when
// backup exists. Where the file system has no second names, name is moved.
bool PlatKeepAs(const char *name, const char *backup);
// From PlatWalkBegin to PlatWalkEnd, every name below root is reached
// through folders opened once, from root down, each without following a
// link (but for one its owner made, as PlatLinkIsTrusted says) and each
// checked to be the owner's, root's or ours; files in them are created,
// renamed and removed relative to those folders. A folder exchanged under
// the walk meanwhile cannot redirect a write, a rename or a delete: what was
// opened stays what is used. Where the system has no such calls, names are
// used as given (see the implementations).
void PlatWalkBegin(const char *root);
void PlatWalkEnd();

// True when the last failure was a file that another program holds open
// (on Windows, where such a file cannot be renamed): worth trying again
// once that program lets go.
bool PlatLastErrorIsInUse();
// The programs that hold name open, as the system can tell ("editor.exe,
// viewer.exe"); false when it cannot. The last error is kept.
bool PlatWhoHolds(const char *name, char *out, std::size_t size);
// The file's content is on the disk.
bool PlatSync(PlatFile file);
// Bytes free for this user on the file system that holds directory, or
// UINT64_MAX when the system cannot say.
std::uint64_t PlatFreeBytes(const char *directory);
// Run by the administrator for another user: the file or directory at name
// gets the owner and group of directory. Elsewhere nothing happens.
void PlatOwnLikeDirectory(const char *name, const char *directory);
// Attribute bits (kPlatAttr...), or kPlatNoAttributes when the name cannot be read.
std::uint32_t PlatAttributes(const char *name);
bool PlatMakeDirectory(const char *name);
// True where a name that begins with a separator starts at the file-system
// root, as POSIX names do; false where it is relative to the current drive.
bool PlatLeadingSeparatorIsRoot();
// Removes an empty directory.
bool PlatRemoveDirectory(const char *name);

// What a name is, looking at the name itself: a link (a reparse point) at its
// last component is reported, not followed.
enum class PlatKind { Missing, Regular, Directory, Link, Other };
PlatKind PlatNameKind(const char *name);
// True when the name (not followed) belongs to the user this process runs as.
bool PlatOwnedByUs(const char *name);
// to gets the permission bits of from (read, write, execute for owner, group
// and others; never set-id bits), as a compressor's output takes its
// input's. Where files have no such bits, nothing happens.
bool PlatCopyModeBits(const char *from, const char *to);
// True when the link at name can only have been made by whoever owns root
// (the installation): the link and the folder holding it belong to root's
// owner or to the administrator, and nobody else may write in that folder.
// Where links cannot be told apart that way, false.
bool PlatLinkIsTrusted(const char *name, const char *root);
// True when writing to name reaches the printer device, which is written in
// place: the device names PRN and PRN.ext on Windows, nothing on POSIX.
bool PlatIsPrinterDevice(const char *name);
// True when the system would open the path component (length bytes at
// name) under another name than it reads: on Windows one that ends with a
// dot or a blank (dropped), or a device (CON, AUX, NUL, COM1-9, LPT1-9,
// CONIN$, CONOUT$, with or without an extension). The printer PRN is
// written on purpose and not counted. Nothing on POSIX.
bool PlatNameIsAltered(const char *name, std::size_t length);
// True where a file that another process has open cannot be replaced.
bool PlatOpenFilesBlockReplace();
// True when c separates path components for the file system.
bool PlatIsSeparator(char c);
// name as it reads from any current directory (the current one put in front
// of a relative name); false when it does not fit.
bool PlatAbsoluteName(const char *name, char *out, std::uint32_t capacity);

// What tells an open file from every other file now on the system (volume
// or device, and file number), for recognising it later by name.
struct PlatIdentity {
  std::uint64_t volume, file;
};
bool PlatFileIdentity(PlatFile file, PlatIdentity *identity);

// From now on a read open of name succeeds only when it finds the very file
// that file is open on (same volume and file number): a file of the same name
// put in its place is refused like a file that cannot be opened. A null name
// forgets the pin.
void PlatPinFile(const char *name, PlatFile file);

// An exclusive hold on a directory for one process at a time, of any user.
enum class PlatLockResult { Held, Busy, Failed };
PlatLockResult PlatLockDirectory(const char *directory);
// Gives up the hold taken last (it also ends with the process).
void PlatUnlockDirectory();

// Wildcard search ("*", "?", "*.*") over one directory, "." and ".." included,
// as the platform's find-file functions do.
struct PlatFind;
// Starts a search; returns null when nothing matches. The first name is in name.
PlatFind *PlatFindFirst(const char *pattern, char *name, std::uint32_t nameSize);
bool PlatFindNext(PlatFind *find, char *name, std::uint32_t nameSize);
void PlatFindClose(PlatFind *find);
