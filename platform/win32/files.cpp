// Files and directories on Windows: the system's own calls, with the access,
// share and creation values of each way of opening.
#include "platform/files.h"

#include <windows.h>

#include <cstring>

namespace {

HANDLE Handle(PlatFile file) { return reinterpret_cast<HANDLE>(file); }

} // namespace

PlatFile PlatOpen(const char *name, PlatOpenMode mode) {
  DWORD access = GENERIC_WRITE, share = 0, creation = OPEN_ALWAYS;
  switch (mode) {
  case PlatOpenMode::ReadShared: access = GENERIC_READ; share = FILE_SHARE_READ; creation = OPEN_EXISTING; break;
  case PlatOpenMode::CreateTruncate: creation = CREATE_ALWAYS; break;
  case PlatOpenMode::AppendOrCreate: break;
  case PlatOpenMode::UpdateOrCreate: access = GENERIC_READ | GENERIC_WRITE; break;
  case PlatOpenMode::ReadExclusive: access = GENERIC_READ; creation = OPEN_EXISTING; break;
  }
  const HANDLE h = CreateFileA(name, access, share, nullptr, creation, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return 0;
  return reinterpret_cast<PlatFile>(h);
}

bool PlatRead(PlatFile file, void *buffer, std::uint32_t count, std::uint32_t *moved) {
  DWORD n = 0;
  const BOOL ok = ReadFile(Handle(file), buffer, count, &n, nullptr);
  *moved = n;
  return ok != 0;
}

bool PlatWrite(PlatFile file, const void *buffer, std::uint32_t count, std::uint32_t *moved) {
  DWORD n = 0;
  const BOOL ok = WriteFile(Handle(file), buffer, count, &n, nullptr);
  *moved = n;
  return ok != 0;
}

std::uint32_t PlatSeek(PlatFile file, std::int32_t offset, int origin) {
  const DWORD method = origin == 0 ? FILE_BEGIN : origin == 1 ? FILE_CURRENT : FILE_END;
  return SetFilePointer(Handle(file), offset, nullptr, method);
}

std::uint32_t PlatSize(PlatFile file) { return GetFileSize(Handle(file), nullptr); }

void PlatClose(PlatFile file) { CloseHandle(Handle(file)); }

bool PlatLastWriteDosTime(PlatFile file, std::uint32_t *dosTime) {
  FILETIME written;
  WORD date = 0, time = 0;
  if (!GetFileTime(Handle(file), nullptr, nullptr, &written)) return false;
  if (!FileTimeToDosDateTime(&written, &date, &time)) return false;
  *dosTime = (static_cast<std::uint32_t>(date) << 16) | time;
  return true;
}

bool PlatRename(const char *from, const char *to) { return MoveFileA(from, to) != 0; }

bool PlatReplace(const char *from, const char *to) {
  return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool PlatDelete(const char *name) { return DeleteFileA(name) != 0; }

std::uint32_t PlatAttributes(const char *name) {
  const DWORD attr = GetFileAttributesA(name);
  if (attr == INVALID_FILE_ATTRIBUTES) return kPlatNoAttributes;
  std::uint32_t out = 0;
  if (attr & FILE_ATTRIBUTE_READONLY) out |= kPlatAttrReadOnly;
  if (attr & FILE_ATTRIBUTE_DIRECTORY) out |= kPlatAttrDirectory;
  return out;
}

bool PlatMakeDirectory(const char *name) { return CreateDirectoryA(name, nullptr) != 0; }

bool PlatLeadingSeparatorIsRoot() { return false; }

bool PlatRemoveDirectory(const char *name) { return RemoveDirectoryA(name) != 0; }

struct PlatFind {
  HANDLE handle;
  WIN32_FIND_DATAA data;
};

namespace {
void CopyName(const char *from, char *to, std::uint32_t size) {
  if (size == 0) return;
  const std::size_t n = std::strlen(from) < size - 1 ? std::strlen(from) : size - 1;
  std::memcpy(to, from, n);
  to[n] = '\0';
}
} // namespace

PlatFind *PlatFindFirst(const char *pattern, char *name, std::uint32_t nameSize) {
  auto *find = new PlatFind;
  find->handle = FindFirstFileA(pattern, &find->data);
  if (find->handle == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    delete find;
    SetLastError(error);
    return nullptr;
  }
  CopyName(find->data.cFileName, name, nameSize);
  return find;
}

bool PlatFindNext(PlatFind *find, char *name, std::uint32_t nameSize) {
  if (!FindNextFileA(find->handle, &find->data)) return false;
  CopyName(find->data.cFileName, name, nameSize);
  return true;
}

void PlatFindClose(PlatFind *find) {
  FindClose(find->handle);
  delete find;
}
