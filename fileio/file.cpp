#include "fileio/file.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "fileio/fatal.h"
#include "fileio/log.h"
#include "fileio/path.h"

thread_local constinit RegistrySlot OpenFileRegistry[kRegistrySlots] = {};

namespace {

void CopyName(char *to, const char *from) { CopyText(to, kPathSize, from); } // a FileRef or registry name

// count elements as a byte count, in the signed 32-bit arithmetic of the
// format; a negative product moves nothing.
std::uint32_t ByteCount(const FileRef *ref, std::int32_t count) {
  const auto bytes = static_cast<std::int32_t>(static_cast<std::uint32_t>(count) *
                                               static_cast<std::uint32_t>(ref->elementSize));
  return bytes < 0 ? 0u : static_cast<std::uint32_t>(bytes);
}

void Opened(FileRef *ref, PlatOpenMode mode);

void Open(FileRef *ref, PlatOpenMode mode, std::int32_t code) {
  ref->handle = PlatOpen(ref->name, mode);
  if (ref->handle == 0) FileError(ref, code);
  Opened(ref, mode);
}

// What follows every successful open: the position, the registry and the
// writability check of the writing opens.
void Opened(FileRef *ref, PlatOpenMode mode) {
  if (mode == PlatOpenMode::AppendOrCreate) FileSeek(ref, 0, kSeekEnd);
  RegistryAdd(ref);
  if (mode != PlatOpenMode::ReadShared) {
    const std::uint32_t attr = PlatAttributes(ref->name);
    if ((attr == kPlatNoAttributes || (attr & kPlatAttrReadOnly) != 0) && !IsPrinterName(ref->name))
      FileError(ref, kErrReadOnly);
  }
}

} // namespace

void FileRefInit(FileRef *ref, std::int32_t elementSize, const char *name) {
  std::memset(ref, 0, sizeof *ref);
  ref->elementSize = elementSize;
  // A longer name would be cut into the name of another file.
  if (name && std::strlen(name) >= sizeof ref->name) FatalMessage("FileRefInit: name too long [%s]", name);
  if (name) CopyName(ref->name, name);
}

void FileOpenRead(FileRef *ref) { Open(ref, PlatOpenMode::ReadShared, kErrOpenRead); }
void FileOpenReadHeld(FileRef *ref) { Open(ref, PlatOpenMode::ReadHeld, kErrOpenRead); }
void FileCreate(FileRef *ref) { Open(ref, PlatOpenMode::CreateTruncate, kErrCreate); }
void FileOpenAppend(FileRef *ref) { Open(ref, PlatOpenMode::AppendOrCreate, kErrOpenAppend); }
void FileOpenUpdate(FileRef *ref) { Open(ref, PlatOpenMode::UpdateOrCreate, kErrOpenUpdate); }

bool FileCreateNew(FileRef *ref) {
  ref->handle = PlatOpen(ref->name, PlatOpenMode::CreateNew);
  if (ref->handle == 0) return false;
  Opened(ref, PlatOpenMode::CreateNew);
  return true;
}

void FileClose(FileRef *ref) {
  if (ref->handle == 0) return;
  PlatClose(ref->handle);
  RegistryRemove(ref);
  ref->handle = 0;
}

bool FileIsClosed(const FileRef *ref) { return ref->handle == 0; }

std::int32_t FileRead(FileRef *ref, std::int32_t count, void *buffer) {
  std::uint32_t moved = 0;
  if (!PlatRead(ref->handle, buffer, ByteCount(ref, count), &moved)) FileError(ref, kErrRead);
  return static_cast<std::int32_t>(moved / static_cast<std::uint32_t>(ref->elementSize));
}

std::int32_t FileWrite(FileRef *ref, std::int32_t count, const void *buffer) {
  const std::uint32_t bytes = ByteCount(ref, count);
  std::uint32_t moved = 0;
  PlatWrite(ref->handle, buffer, bytes, &moved);
  if (moved < bytes) FileError(ref, kErrWrite);
  return count;
}

void FileSeek(FileRef *ref, std::int32_t offset, std::int32_t origin) {
  if (origin < kSeekStart || origin > kSeekEnd) FileError(ref, kErrOrigin);
  const auto bytes = static_cast<std::int32_t>(static_cast<std::uint32_t>(offset) *
                                               static_cast<std::uint32_t>(ref->elementSize));
  if (PlatSeek(ref->handle, bytes, origin) == kPlatBadPosition) FileError(ref, kErrPosition);
}

std::int32_t FileTell(FileRef *ref) {
  const std::uint32_t pos = PlatSeek(ref->handle, 0, kPlatFromCurrent);
  if (pos == kPlatBadPosition) FileError(ref, kErrPosition);
  return static_cast<std::int32_t>(pos / static_cast<std::uint32_t>(ref->elementSize));
}

std::int32_t FileSize(FileRef *ref) {
  const bool wasClosed = FileIsClosed(ref);
  if (wasClosed) FileOpenRead(ref);
  const std::uint32_t size = PlatSize(ref->handle);
  // Sizes are signed 32-bit: a file of 2 GiB or more has none.
  if (size == kPlatBadPosition || size > 0x7fffffffu) FileError(ref, kErrSize);
  if (wasClosed) FileClose(ref);
  return static_cast<std::int32_t>(size) / ref->elementSize;
}

void FileRename(FileRef *ref, const char *newName) {
  if (!PlatRename(ref->name, newName)) FileError(ref, kErrRename);
  CopyName(ref->name, newName);
}

void FileReplace(FileRef *ref, const char *newName) {
  if (!PlatReplace(ref->name, newName)) FileError(ref, kErrRename);
  CopyName(ref->name, newName);
}

bool FileDelete(FileRef *ref) {
  if (FileExists(ref->name) && !PlatDelete(ref->name)) {
    if (ref->elementSize < 0) return false;
    FileError(ref, kErrDelete);
  }
  return true;
}

void FileCopy(FileRef *source, FileRef *target, void *buffer, std::int32_t bufferBytes) {
  const std::int32_t count = bufferBytes / source->elementSize;
  FileOpenRead(source);
  FileCreate(target);
  std::int32_t n;
  do {
    n = FileRead(source, count, buffer);
    FileWrite(target, n, buffer);
  } while (n == count);
  FileClose(target);
  FileClose(source);
}

bool FileDosTime(FileRef *ref, std::uint32_t *out) {
  const bool wasClosed = FileIsClosed(ref);
  if (wasClosed) FileOpenRead(ref);
  std::uint32_t when = 0;
  PlatLastWriteDosTime(ref->handle, &when);
  if (wasClosed) FileClose(ref);
  if (out) *out = when;
  return true;
}

std::int32_t FileWriteLine(FileRef *ref, const char *text) {
  const std::int32_t n = FileWrite(ref, static_cast<std::int32_t>(std::strlen(text)), text);
  return n + FileWrite(ref, 2, "\r\n");
}

std::int32_t FilePrintf(FileRef *ref, const char *format, ...) {
  char text[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args); // cut to the buffer
  va_end(args);
  return FileWrite(ref, static_cast<std::int32_t>(std::strlen(text)), text);
}

void FileError(const FileRef *ref, std::int32_t code) {
  LogLine("\nFile Error : name = [%s] code = %d", ref->name, code);
  FatalFileCode(code);
  FatalMessage("\nFile Error : name = [%s] code = %d", ref->name, code);
}

bool IsPrinterName(const char *path) {
  const char *last = std::strrchr(path, '\\');
  const char *base = last ? last + 1 : path;
  static const char prn[] = "prn";
  for (int i = 0; i < 3; ++i) {
    if (LowerAscii(base[i]) != prn[i]) return false;
  }
  return true;
}

void RegistryAdd(const FileRef *ref) {
  for (RegistrySlot &slot : OpenFileRegistry) {
    if (slot.handle == 0) {
      slot.handle = ref->handle;
      CopyName(slot.name, ref->name);
      slot.serial = ResourceNext();
      return;
    }
    if (slot.handle == ref->handle) InternalError("FILEIO", 128, 95);
  }
  InternalError("FILEIO", 131, 94);
}

void RegistryRemove(const FileRef *ref) {
  for (RegistrySlot &slot : OpenFileRegistry) {
    if (slot.handle == ref->handle) {
      slot.handle = 0;
      slot.name[0] = '\0';
      return;
    }
  }
  FatalMessage("Illegal unstack [%s]", ref->name);
}

void RegistryCloseAll() {
  for (RegistrySlot &slot : OpenFileRegistry) {
    if (slot.handle != 0) {
      PlatClose(slot.handle);
      slot.handle = 0;
    }
  }
}

void RegistryCloseSince(std::uint32_t mark) {
  for (RegistrySlot &slot : OpenFileRegistry) {
    if (slot.handle != 0 && slot.serial > mark) {
      PlatClose(slot.handle);
      slot.handle = 0;
      slot.name[0] = '\0';
    }
  }
}

int RegistryFreeSlots() {
  int n = 0;
  for (const RegistrySlot &slot : OpenFileRegistry) n += slot.handle == 0;
  return n;
}

bool RegistryAnyOpen() {
  for (const RegistrySlot &slot : OpenFileRegistry) {
    if (slot.handle != 0) {
      LogLine("\nFile not closed [%s]", slot.name);
      return true;
    }
  }
  return false;
}

int RegistryReset() {
  for (RegistrySlot &slot : OpenFileRegistry) slot.handle = 0;
  return 0;
}
