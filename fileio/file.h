// Plain files counted in elements, numbered fatal file errors, and the
// registry of every open file that the fatal path closes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/files.h"
#include "platform/text.h"

inline constexpr int kPathSize = 260; // 259 characters and the NUL

// The numbered file errors: "File Error : name = [NAME] code = N".
enum FileErrorCode : std::int32_t {
  kErrRead = 201,       // FileRead: the read call failed
  kErrDelete = 203,     // FileDelete: an existing file could not be deleted
  kErrRename = 204,     // FileRename, FileReplace
  kErrWrite = 205,      // FileWrite: fewer bytes written
  kErrReadOnly = 206,   // a writing open of a read-only file
  kErrPosition = 207,   // FileSeek, FileTell
  kErrSize = 208,       // FileSize
  kErrOpenRead = 209,   // FileOpenRead
  kErrOpenAppend = 210, // FileOpenAppend
  kErrCreate = 211,     // FileCreate (and any file that cannot be created)
  kErrOpenUpdate = 212, // FileOpenUpdate
  kErrOrigin = 432,     // FileSeek: an origin other than the three below
};

// Where FileSeek counts from.
enum SeekOrigin : std::int32_t { kSeekStart = kPlatFromStart, kSeekCurrent = kPlatFromCurrent, kSeekEnd = kPlatFromEnd };

struct FileRef {
  PlatFile handle;          // 0 when closed
  std::int32_t elementSize; // 1 for bytes, 432 for version records, -1 for a tolerant delete
  char name[kPathSize];
};

void FileRefInit(FileRef *ref, std::int32_t elementSize, const char *name);
void FileOpenRead(FileRef *ref);   // existing file; others may read; error 209
// Existing file, read while its directory is held (DirectoryHold): nobody
// else who has it open can make the read fail; error 209.
void FileOpenReadHeld(FileRef *ref);
void FileCreate(FileRef *ref);     // create or truncate; error 211
void FileOpenAppend(FileRef *ref); // open or create, at the end; error 210
void FileOpenUpdate(FileRef *ref); // read and write, open or create; error 212
// Creates the file for reading and writing only when its name is free, never through a
// link; false when it cannot (the name exists, or the platform refuses).
bool FileCreateNew(FileRef *ref);
void FileClose(FileRef *ref);
bool FileIsClosed(const FileRef *ref);

std::int32_t FileRead(FileRef *ref, std::int32_t count, void *buffer);
std::int32_t FileWrite(FileRef *ref, std::int32_t count, const void *buffer);
void FileSeek(FileRef *ref, std::int32_t offset, std::int32_t origin);
std::int32_t FileTell(FileRef *ref);
std::int32_t FileSize(FileRef *ref);

void FileRename(FileRef *ref, const char *newName); // error 204; fails when newName exists
// Puts the closed file in place of newName in one step (replacing it when it
// exists), so that newName is always either the old file or the new one;
// error 204 like a rename. The record takes the new name.
void FileReplace(FileRef *ref, const char *newName);
bool FileDelete(FileRef *ref);
void FileCopy(FileRef *source, FileRef *target, void *buffer, std::int32_t bufferBytes);
bool FileDosTime(FileRef *ref, std::uint32_t *out);

std::int32_t FileWriteLine(FileRef *ref, const char *text);
std::int32_t FilePrintf(FileRef *ref, const char *format, ...) __attribute__((format(printf, 2, 3)));

[[noreturn]] void FileError(const FileRef *ref, std::int32_t code);
bool IsPrinterName(const char *path);

inline constexpr int kRegistrySlots = 30;

struct RegistrySlot {
  PlatFile handle; // 0 = free
  char name[kPathSize];
  std::uint32_t serial; // ResourceNext when added
};

// The files open on this thread (each thread has its own registry).
extern thread_local constinit RegistrySlot OpenFileRegistry[kRegistrySlots];

void RegistryAdd(const FileRef *ref);
void RegistryRemove(const FileRef *ref);
void RegistryCloseAll();
// Closes this thread's files registered after mark.
void RegistryCloseSince(std::uint32_t mark);
bool RegistryAnyOpen();
int RegistryFreeSlots(); // on this thread
int RegistryReset();
