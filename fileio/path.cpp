#include "fileio/path.h"

#include <cstdio>
#include <cstring>

#include "fileio/file.h"
#include "platform/files.h"

namespace {
void Copy(char *to, const char *from) { CopyText(to, kPathSize, from); }
} // namespace

void PathSplit(const char *path, char *directory, char *base, char *extension) {
  std::size_t cut = 0;
  for (std::size_t i = 0; path[i]; ++i)
    if (path[i] == '\\' || path[i] == ':') cut = i + 1;
  if (base) {
    Copy(base, path + cut);
    PathStripExtension(base);
  }
  if (extension) {
    extension[0] = '\0';
    for (std::size_t i = std::strlen(path); i-- > 0;) {
      if (path[i] == '.') {
        Copy(extension, path + i + 1);
        break;
      }
      if (path[i] == '\\') break;
    }
  }
  if (directory) {
    const std::size_t n = cut < kPathSize - 1 ? cut : kPathSize - 1;
    std::memcpy(directory, path, n);
    directory[n] = '\0';
  }
}

void PathStripExtension(char *name) {
  for (std::size_t i = std::strlen(name); i-- > 0;) {
    if (name[i] == '.') {
      name[i] = '\0';
      return;
    }
    if (name[i] == '\\') return;
  }
}

void PathDirectory(const char *path, char *directory) {
  const bool drives = !PlatLeadingSeparatorIsRoot();
  std::size_t cut = 0;
  for (std::size_t i = 0; path[i]; ++i)
    if (PlatIsSeparator(path[i]) || (drives && path[i] == ':')) cut = i + 1;
  const std::size_t n = cut < kPathSize - 1 ? cut : kPathSize - 1;
  std::memcpy(directory, path, n);
  directory[n] = '\0';
}

bool PathHasLinkBelow(const char *base, const char *relative) {
  char path[kPathSize];
  std::size_t used = static_cast<std::size_t>(std::snprintf(path, sizeof path, "%s", base));
  for (const char *part = relative; *part && used < sizeof path - 1;) {
    const char *end = part;
    while (*end && *end != '\\' && *end != '/') ++end;
    if (*end == '\0') break; // the last component is the file itself
    const int n = std::snprintf(path + used, sizeof path - used, "\\%.*s", static_cast<int>(end - part), part);
    if (n < 0 || used + static_cast<std::size_t>(n) >= sizeof path) break;
    used += static_cast<std::size_t>(n);
    // A link the installation's owner made (data kept on another disk) is
    // followed; one that another user could have planted is not.
    if (PlatNameKind(path) == PlatKind::Link && !PlatLinkIsTrusted(path, base)) return true;
    part = end + 1;
  }
  return false;
}

void (*DirectoryMade)(const char *name) = nullptr;

bool MakeDirectories(const char *path) {
  char copy[kPathSize];
  char whole[kPathSize];
  Copy(whole, path);
  for (int n = 1;; ++n) {
    Copy(copy, whole);
    int seen = 0;
    for (std::size_t i = 0; copy[i]; ++i) {
      const bool separator = copy[i] == '\\' || copy[i] == '/';
      // The separator after a drive's colon never cuts; a leading one cuts
      // (an empty first prefix) except where it is the file-system root.
      const bool cuts = i == 0 ? !PlatLeadingSeparatorIsRoot() : copy[i - 1] != ':';
      if (separator && cuts && ++seen == n) {
        copy[i] = '\0';
        break;
      }
    }
    if (!FileExists(copy)) {
      if (!PlatMakeDirectory(copy)) return false;
      if (DirectoryMade) DirectoryMade(copy);
    }
    if (std::strcmp(copy, whole) == 0) return true;
  }
}

std::int32_t ListDirectory(char *buffer, std::int32_t capacity, const char *pattern) {
  char name[kPathSize];
  PlatFind *find = PlatFindFirst(pattern, name, sizeof name);
  if (!find) return 0;
  std::int32_t used = 0, count = 0;
  bool more = true;
  while (more) {
    const auto length = static_cast<std::int32_t>(std::strlen(name));
    if (used + length + 1 >= capacity) break;
    std::memcpy(buffer + used, name, static_cast<std::size_t>(length) + 1);
    used += length + 1;
    ++count;
    more = PlatFindNext(find, name, sizeof name);
  }
  PlatFindClose(find);
  return count;
}

bool RemoveDirectoryWithFiles(const char *directory, bool withFiles) {
  bool ok = true;
  if (withFiles) {
    static char names[4192];
    std::memset(names, 0, sizeof names);
    char pattern[kPathSize];
    std::snprintf(pattern, sizeof pattern, "%s\\*.*", directory);
    const std::int32_t count = ListDirectory(names, 4191, pattern);
    const char *name = names;
    for (std::int32_t i = 0; i < count; ++i, name += std::strlen(name) + 1) {
      if (name[0] == '.') continue;
      char path[kPathSize];
      if (std::snprintf(path, sizeof path, "%s\\%s", directory, name) >= kPathSize) {
        ok = false; // a cut name could be another file's
        continue;
      }
      FileRef ref;
      FileRefInit(&ref, -1, path);
      ok = FileDelete(&ref) && ok;
    }
  }
  if (ok) ok = PlatRemoveDirectory(directory);
  return ok;
}

bool FileExists(const char *name) { return PlatAttributes(name) != kPlatNoAttributes; }

FileProbeResult FileProbe(const char *name, std::int32_t *size) {
  const std::uint32_t attributes = PlatAttributes(name);
  if (attributes == kPlatNoAttributes) return FileProbeResult::Missing;
  if (attributes & kPlatAttrDirectory) return FileProbeResult::Directory;
  const PlatFile file = PlatOpen(name, PlatOpenMode::ReadShared);
  if (file == 0) return FileProbeResult::Unreadable;
  const std::uint32_t bytes = PlatSize(file);
  PlatClose(file);
  if (bytes == kPlatBadPosition || bytes > 0x7fffffffu) return FileProbeResult::TooLarge;
  *size = static_cast<std::int32_t>(bytes);
  return FileProbeResult::Readable;
}

bool FileIsSpecial(const char *name) { return PlatNameKind(name) == PlatKind::Other; }

bool DirectoryHold(const char *directory) { return PlatLockDirectory(directory) != PlatLockResult::Busy; }

void DirectoryRelease() { PlatUnlockDirectory(); }

bool FileIsReadOnly(const char *name) {
  const std::uint32_t attr = PlatAttributes(name);
  return attr == kPlatNoAttributes || (attr & kPlatAttrReadOnly) != 0;
}

bool FileIsLocked(const char *name) {
  const PlatFile file = PlatOpen(name, PlatOpenMode::ReadExclusive);
  if (file == 0) return true;
  PlatClose(file);
  return false;
}

bool IsPlainName(const char *name) {
  if (!name) return false;
  return std::strpbrk(name, ".\"/\\[]:;=,") == nullptr;
}
