// Files and directories on Windows: the system's own calls, with the access,
// share and creation values of each way of opening.
#include "platform/files.h"

#include <windows.h>
#include <restartmanager.h>

#include <cstring>
#include <string>

#include "platform/text.h"
#include "platform/win32/wide.h"

namespace {

HANDLE Handle(PlatFile file) { return reinterpret_cast<HANDLE>(file); }

// The pinned name and the file it must be (see PlatPinFile).
char g_pinName[MAX_PATH];
BY_HANDLE_FILE_INFORMATION g_pinFile;

bool SameFile(const BY_HANDLE_FILE_INFORMATION &a, const BY_HANDLE_FILE_INFORMATION &b) {
  return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
         a.nFileIndexLow == b.nFileIndexLow;
}

// The last component of name.
const char *LastComponent(const char *name) {
  const char *base = name;
  for (const char *p = name; *p; ++p)
    if (*p == '\\' || *p == '/' || *p == ':') base = p + 1;
  return base;
}

// True when the last component is the device name device, bare or with an extension.
bool IsDeviceName(const char *name, const char *device) {
  const char *base = LastComponent(name);
  const std::size_t n = std::strlen(device);
  return CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, base, static_cast<int>(n), device, static_cast<int>(n)) == CSTR_EQUAL &&
         (base[n] == '\0' || base[n] == '.');
}

bool IsAnyDevice(const char *name) {
  static const char *const devices[] = {"CON", "PRN", "AUX", "NUL", "COM1", "COM2", "COM3", "COM4", "COM5",
                                        "COM6", "COM7", "COM8", "COM9", "LPT1", "LPT2", "LPT3", "LPT4", "LPT5",
                                        "LPT6", "LPT7", "LPT8", "LPT9"};
  for (const char *device : devices)
    if (IsDeviceName(name, device)) return true;
  return false;
}

} // namespace

PlatFile PlatOpen(const char *name, PlatOpenMode mode) {
  DWORD access = GENERIC_WRITE, share = 0, creation = OPEN_ALWAYS;
  switch (mode) {
  case PlatOpenMode::ReadShared: access = GENERIC_READ; share = FILE_SHARE_READ; creation = OPEN_EXISTING; break;
  case PlatOpenMode::CreateTruncate: creation = CREATE_ALWAYS; break;
  case PlatOpenMode::AppendOrCreate: break;
  case PlatOpenMode::UpdateOrCreate: access = GENERIC_READ | GENERIC_WRITE; break;
  case PlatOpenMode::ReadExclusive: access = GENERIC_READ; creation = OPEN_EXISTING; break;
  case PlatOpenMode::ReadHeld:
    access = GENERIC_READ;
    share = FILE_SHARE_READ | FILE_SHARE_WRITE;
    creation = OPEN_EXISTING;
    break;
  case PlatOpenMode::CreateNew: access = GENERIC_READ | GENERIC_WRITE; creation = CREATE_NEW; break;
  }
  const HANDLE h = CreateFileW(Wide(name).c_str(), access, share, nullptr, creation, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return 0;
  if (mode == PlatOpenMode::ReadShared && g_pinName[0] != '\0' && lstrcmpiA(name, g_pinName) == 0) {
    BY_HANDLE_FILE_INFORMATION found;
    if (!GetFileInformationByHandle(h, &found) || !SameFile(found, g_pinFile)) {
      CloseHandle(h); // another file has taken the pinned name
      SetLastError(ERROR_FILE_INVALID);
      return 0;
    }
  }
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
  const DWORD method = origin == kPlatFromStart ? FILE_BEGIN : origin == kPlatFromCurrent ? FILE_CURRENT : FILE_END;
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

bool PlatRename(const char *from, const char *to) { return MoveFileW(Wide(from).c_str(), Wide(to).c_str()) != 0; }

bool PlatReplace(const char *from, const char *to) {
  return MoveFileExW(Wide(from).c_str(), Wide(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool PlatDelete(const char *name) { return DeleteFileW(Wide(name).c_str()) != 0; }

bool PlatLinkIsTrusted(const char *, const char *) { return false; } // reparse points stay refused

bool PlatOpenFilesBlockReplace() { return true; }

bool PlatNameIsAltered(const char *name, std::size_t length) {
  if (length == 0) return false;
  if (length > 0 && (name[length - 1] == '.' || name[length - 1] == ' ')) return !(length <= 2 && name[0] == '.');
  // The part before the first dot is what names a device.
  std::size_t stem = 0;
  while (stem < length && name[stem] != '.') ++stem;
  char base[8] = {};
  if (stem > 7) return false;
  for (std::size_t i = 0; i < stem; ++i) base[i] = static_cast<char>(name[i] >= 'a' && name[i] <= 'z' ? name[i] - 32 : name[i]);
  static const char *const devices[] = {"CON", "AUX", "NUL", "CONIN$", "CONOUT$"};
  for (const char *d : devices)
    if (std::strcmp(base, d) == 0) return true;
  return stem == 4 && (std::strncmp(base, "COM", 3) == 0 || std::strncmp(base, "LPT", 3) == 0) && base[3] >= '1' &&
         base[3] <= '9';
}

PlatFile PlatOpenSharedLog(const char *name) {
  // Append-only, shared with every other writer and reader; a reparse point
  // (a link) is opened as itself and refused.
  HANDLE h = CreateFileW(Wide(name).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) return 0;
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(h, &info) || (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY))) {
    CloseHandle(h);
    SetLastError(ERROR_ACCESS_DENIED);
    return 0;
  }
  return reinterpret_cast<PlatFile>(h);
}

bool PlatAppend(PlatFile file, const char *text, std::uint32_t length) {
  DWORD n = 0;
  return WriteFile(Handle(file), text, length, &n, nullptr) && n == length;
}

bool PlatAbsoluteName(const char *name, char *out, std::uint32_t capacity) {
  wchar_t full[MAX_PATH * 4];
  const DWORD n = GetFullPathNameW(Wide(name).c_str(), MAX_PATH * 4, full, nullptr);
  return n > 0 && n < MAX_PATH * 4 && Narrow(full, out, capacity);
}

bool PlatKeepAs(const char *name, const char *backup) {
  // A file in use by another program cannot be moved for a moment: a few
  // tries before it counts as a failure.
  for (int attempt = 0;; ++attempt) {
    if (MoveFileW(Wide(name).c_str(), Wide(backup).c_str()) != 0) return true;
    const DWORD error = GetLastError();
    if ((error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED && error != ERROR_LOCK_VIOLATION) ||
        attempt == 10)
      return false;
    Sleep(100);
  }
}

bool PlatSync(PlatFile file) { return FlushFileBuffers(Handle(file)) != 0; }

std::uint64_t PlatFreeBytes(const char *directory) {
  ULARGE_INTEGER free{};
  if (!GetDiskFreeSpaceExW(directory[0] ? Wide(directory).c_str() : nullptr, &free, nullptr, nullptr)) return UINT64_MAX;
  return free.QuadPart;
}

void PlatOwnLikeDirectory(const char *, const char *) {} // new files inherit the folder's permissions

std::uint32_t PlatAttributes(const char *name) {
  const DWORD attr = GetFileAttributesW(Wide(name).c_str());
  if (attr == INVALID_FILE_ATTRIBUTES) return kPlatNoAttributes;
  std::uint32_t out = 0;
  if (attr & FILE_ATTRIBUTE_READONLY) out |= kPlatAttrReadOnly;
  if (attr & FILE_ATTRIBUTE_DIRECTORY) out |= kPlatAttrDirectory;
  return out;
}

bool PlatMakeDirectory(const char *name) { return CreateDirectoryW(Wide(name).c_str(), nullptr) != 0; }

bool PlatLeadingSeparatorIsRoot() { return false; }

PlatKind PlatNameKind(const char *name) {
  if (IsAnyDevice(name)) return PlatKind::Other;
  const DWORD attr = GetFileAttributesW(Wide(name).c_str());
  if (attr == INVALID_FILE_ATTRIBUTES) return PlatKind::Missing;
  if (attr & FILE_ATTRIBUTE_REPARSE_POINT) return PlatKind::Link;
  if (attr & FILE_ATTRIBUTE_DIRECTORY) return PlatKind::Directory;
  if (attr & FILE_ATTRIBUTE_DEVICE) return PlatKind::Other;
  return PlatKind::Regular;
}

// The profile's files and folders are the user's own; what others may do in
// them is the business of their access lists.
bool PlatOwnedByUs(const char *name) { return GetFileAttributesW(Wide(name).c_str()) != INVALID_FILE_ATTRIBUTES; }

bool PlatIsPrinterDevice(const char *name) { return IsDeviceName(name, "PRN"); }

bool PlatIsSeparator(char c) { return c == '\\' || c == '/'; }

bool PlatFileIdentity(PlatFile file, PlatIdentity *identity) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(Handle(file), &info)) return false;
  *identity = PlatIdentity{info.dwVolumeSerialNumber,
                           (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
  return true;
}

void PlatPinFile(const char *name, PlatFile file) {
  g_pinName[0] = '\0';
  if (!name || std::strlen(name) >= sizeof g_pinName || !GetFileInformationByHandle(Handle(file), &g_pinFile)) return;
  std::strcpy(g_pinName, name);
}

namespace {
HANDLE g_directoryLock = INVALID_HANDLE_VALUE;
}

PlatLockResult PlatLockDirectory(const char *directory) {
  // A lock file that nobody else may open while we hold it, and that goes
  // with our handle (also when the process is ended).
  char name[MAX_PATH];
  if (std::strlen(directory) + 9 >= sizeof name) return PlatLockResult::Failed;
  wsprintfA(name, "%s\\lzx.lck", directory);
  const HANDLE h = CreateFileW(Wide(name).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                               FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED ? PlatLockResult::Busy
                                                                            : PlatLockResult::Failed;
  }
  PlatUnlockDirectory();
  g_directoryLock = h;
  return PlatLockResult::Held;
}

void PlatUnlockDirectory() {
  if (g_directoryLock != INVALID_HANDLE_VALUE) CloseHandle(g_directoryLock);
  g_directoryLock = INVALID_HANDLE_VALUE;
}

bool PlatRemoveDirectory(const char *name) { return RemoveDirectoryW(Wide(name).c_str()) != 0; }

struct PlatFind {
  HANDLE handle;
  WIN32_FIND_DATAW data;
};

PlatFind *PlatFindFirst(const char *pattern, char *name, std::uint32_t nameSize) {
  auto *find = new PlatFind;
  find->handle = FindFirstFileW(Wide(pattern).c_str(), &find->data);
  if (find->handle == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    delete find;
    SetLastError(error);
    return nullptr;
  }
  Narrow(find->data.cFileName, name, nameSize);
  return find;
}

bool PlatFindNext(PlatFind *find, char *name, std::uint32_t nameSize) {
  if (!FindNextFileW(find->handle, &find->data)) return false;
  Narrow(find->data.cFileName, name, nameSize);
  return true;
}

void PlatFindClose(PlatFind *find) {
  FindClose(find->handle);
  delete find;
}

bool PlatLastErrorIsInUse() {
  const DWORD error = GetLastError();
  return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

namespace {
// The restart manager (Vista and later) is loaded when asked for, so that
// the programs still start where it does not exist.
using RmStartSessionFn = DWORD(WINAPI *)(DWORD *, DWORD, WCHAR *);
using RmRegisterResourcesFn = DWORD(WINAPI *)(DWORD, UINT, LPCWSTR *, UINT, RM_UNIQUE_PROCESS *, UINT, LPCWSTR *);
using RmGetListFn = DWORD(WINAPI *)(DWORD, UINT *, UINT *, RM_PROCESS_INFO *, DWORD *);
using RmEndSessionFn = DWORD(WINAPI *)(DWORD);
template <typename F> F Proc(HMODULE library, const char *name) {
  return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(library, name)));
}
} // namespace

bool PlatWhoHolds(const char *name, char *out, std::size_t size) {
  const DWORD error = GetLastError();
  bool found = false;
  if (size > 0) out[0] = '\0';
  const HMODULE library = LoadLibraryW(L"rstrtmgr.dll");
  const auto start = library ? Proc<RmStartSessionFn>(library, "RmStartSession") : nullptr;
  const auto add = library ? Proc<RmRegisterResourcesFn>(library, "RmRegisterResources") : nullptr;
  const auto list = library ? Proc<RmGetListFn>(library, "RmGetList") : nullptr;
  const auto end = library ? Proc<RmEndSessionFn>(library, "RmEndSession") : nullptr;
  DWORD session = 0;
  WCHAR key[CCH_RM_SESSION_KEY + 1] = {};
  if (start && add && list && end && start(&session, 0, key) == ERROR_SUCCESS) {
    const std::wstring wide = Wide(name);
    LPCWSTR files[] = {wide.c_str()};
    RM_PROCESS_INFO apps[8];
    UINT needed = 0, count = 8;
    DWORD reasons = 0;
    if (add(session, 1, files, 0, nullptr, 0, nullptr) == ERROR_SUCCESS &&
        list(session, &needed, &count, apps, &reasons) == ERROR_SUCCESS) {
      std::string names;
      for (UINT i = 0; i < count && i < 8; ++i) {
        char app[3 * CCH_RM_MAX_APP_NAME + 3];
        if (!Narrow(apps[i].strAppName, app, sizeof app) || app[0] == '\0') continue;
        if (!names.empty()) names += ", ";
        names += app;
      }
      if (!names.empty() && names.size() < size) {
        std::memcpy(out, names.c_str(), names.size() + 1);
        found = true;
      }
    }
    end(session);
  }
  if (library) FreeLibrary(library);
  SetLastError(error);
  return found;
}

bool PlatCopyModeBits(const char *, const char *) { return true; } // access lists are inherited from the folder

// Windows opens names as given; reparse points on the way stay refused by
// the checks before and after each step (see PlatNameKind).
void PlatWalkBegin(const char *) {}
void PlatWalkEnd() {}
