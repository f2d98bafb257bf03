// Files and directories on POSIX.
//
// Share modes are emulated with advisory locks: a shared flock for read opens
// and an exclusive one for the writing opens, taken without blocking, so that a
// second writer (or a reader of a file being written) is refused as on a system
// with share modes. Backslashes in names become '/' here and nowhere else.
// No open ever blocks: a pipe or device without a partner is opened without
// waiting (or refused), and the descriptor is made blocking afterwards.
#include "platform/files.h"
#include "platform/process.h"

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "platform/posix/host.h"
#include "platform/posix/last_error.h"
#include "platform/text.h"

using posix_layer::HostName;

namespace {

int Fd(PlatFile file) { return static_cast<int>(file - 1); }

bool Fail() {
  posix_layer::SetLastError(errno);
  return false;
}

// The pinned name and the file it must be (see PlatPinFile).
std::string g_pinName;
dev_t g_pinDevice = 0;
ino_t g_pinInode = 0;

// The directory part of a host path ("." when it has none).
std::string HostDirectory(const std::string &path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Makes a rename in directory durable.
void SyncDirectory(const std::string &directory) {
  const int fd = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

// ---- the walk (see PlatWalkBegin) ----

struct Walk {
  bool active = false;
  std::string root; // host name, without a trailing '/'
  uid_t owner = 0;  // of root
  std::vector<std::pair<std::string, int>> folders; // relative name ("" for root) and its descriptor
};
thread_local Walk t_walk;

// The descriptor of folder name in the folder at, or -1 (errno set): a real
// folder of the owner's, root's or ours, reached without following a link
// unless it is one the owner made in a folder nobody else can write.
int OpenFolder(int at, const std::string &name) {
  int fd = openat(at, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0 && (errno == ELOOP || errno == ENOTDIR)) {
    struct stat link {}, holder {};
    const auto trusted = [](uid_t uid) { return uid == t_walk.owner || uid == 0; };
    if (fstatat(at, name.c_str(), &link, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISLNK(link.st_mode) || fstat(at, &holder) != 0 ||
        !trusted(link.st_uid) || !trusted(holder.st_uid) || (holder.st_mode & 022) != 0) {
      errno = ELOOP;
      return -1;
    }
    fd = openat(at, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  }
  if (fd < 0) return -1;
  struct stat st {};
  if (fstat(fd, &st) != 0 || (st.st_uid != t_walk.owner && st.st_uid != 0 && st.st_uid != geteuid())) {
    close(fd);
    errno = EPERM;
    return -1;
  }
  return fd;
}

// The descriptor of the folder relative (below the root, '/'-separated,
// "" for the root itself), opened once and kept; -1 with errno set.
int FolderFd(const std::string &relative) {
  for (const auto &[name, fd] : t_walk.folders)
    if (name == relative) return fd;
  const std::size_t slash = relative.rfind('/');
  const std::string parentName = slash == std::string::npos ? "" : relative.substr(0, slash);
  const std::string leaf = slash == std::string::npos ? relative : relative.substr(slash + 1);
  if (leaf == "..") {
    errno = EACCES;
    return -1;
  }
  const int parent = FolderFd(parentName);
  if (parent < 0) return -1;
  const int fd = OpenFolder(parent, leaf);
  if (fd >= 0) t_walk.folders.emplace_back(relative, fd);
  return fd;
}

// Where a host path is reached: a folder's descriptor and the name in it.
// Outside a walk, or for a name not below its root, the name as it is.
struct At {
  int dir = AT_FDCWD;
  std::string leaf;
  bool ok = true;
};

// path's components below the root, empty and "." ones dropped.
std::string Relative(const std::string &rest) {
  std::string out;
  for (std::size_t at = 0; at <= rest.size();) {
    std::size_t end = rest.find('/', at);
    if (end == std::string::npos) end = rest.size();
    const std::string part = rest.substr(at, end - at);
    if (!part.empty() && part != ".") out += (out.empty() ? "" : "/") + part;
    at = end + 1;
  }
  return out;
}

At Locate(const std::string &path) {
  At at;
  at.leaf = path;
  if (!t_walk.active || path.size() <= t_walk.root.size() + 1 || path.compare(0, t_walk.root.size(), t_walk.root) != 0 ||
      path[t_walk.root.size()] != '/')
    return at;
  const std::string relative = Relative(path.substr(t_walk.root.size() + 1));
  if (relative.empty()) return At{AT_FDCWD, path, true};
  const std::size_t slash = relative.rfind('/');
  at.leaf = slash == std::string::npos ? relative : relative.substr(slash + 1);
  at.dir = FolderFd(slash == std::string::npos ? "" : relative.substr(0, slash));
  if (at.dir < 0 || at.leaf == "..") {
    if (at.dir >= 0) errno = EACCES;
    at.ok = false;
    at.dir = AT_FDCWD;
  }
  return at;
}

// Forgets a removed folder and those below it.
void ForgetFolder(const std::string &path) {
  if (!t_walk.active || path.compare(0, t_walk.root.size(), t_walk.root) != 0 || path.size() <= t_walk.root.size()) return;
  const std::string relative = Relative(path.substr(t_walk.root.size() + 1));
  auto &folders = t_walk.folders;
  for (auto it = folders.begin(); it != folders.end();) {
    if (!relative.empty() && (it->first == relative || it->first.compare(0, relative.size() + 1, relative + "/") == 0)) {
      close(it->second);
      it = folders.erase(it);
    } else {
      ++it;
    }
  }
}

// Makes a rename in a folder durable.
void SyncFolder(const At &at, const std::string &path) {
  if (at.dir != AT_FDCWD) fsync(at.dir);
  else SyncDirectory(HostDirectory(path));
}

} // namespace

void PlatWalkBegin(const char *root) {
  PlatWalkEnd();
  std::string path = HostName(root);
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  const int fd = open(path.empty() ? "." : path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  struct stat st {};
  if (fd < 0 || fstat(fd, &st) != 0) {
    if (fd >= 0) close(fd);
    return; // the names are then used as given, and fail or not as before
  }
  t_walk.active = true;
  t_walk.root = path;
  t_walk.owner = st.st_uid;
  t_walk.folders.emplace_back("", fd);
}

void PlatWalkEnd() {
  for (const auto &folder : t_walk.folders) close(folder.second);
  t_walk = Walk{};
}

PlatFile PlatOpen(const char *name, PlatOpenMode mode) {
  const std::string path = HostName(name);
  int flags = O_CLOEXEC;
  int lock = LOCK_EX;
  switch (mode) {
  case PlatOpenMode::ReadShared: flags |= O_RDONLY; lock = LOCK_SH; break;
  case PlatOpenMode::CreateTruncate: flags |= O_WRONLY | O_CREAT; break;
  case PlatOpenMode::AppendOrCreate: flags |= O_WRONLY | O_CREAT; break;
  case PlatOpenMode::UpdateOrCreate: flags |= O_RDWR | O_CREAT; break;
  case PlatOpenMode::ReadExclusive: flags |= O_RDONLY; break;
  case PlatOpenMode::ReadHeld: flags |= O_RDONLY | O_NOFOLLOW; lock = 0; break;
  case PlatOpenMode::CreateNew: flags |= O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW; break;
  }
  if (path.empty()) {
    posix_layer::SetLastError(ENOENT);
    return 0;
  }
  const At at = Locate(path);
  const int fd = at.ok ? openat(at.dir, at.leaf.c_str(), flags | O_NONBLOCK, 0666) : -1;
  if (fd < 0) {
    Fail();
    return 0;
  }
  struct stat st {};
  if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    // A directory is not a file that can be opened.
    posix_layer::SetLastError(S_ISDIR(st.st_mode) ? EISDIR : errno);
    close(fd);
    return 0;
  }
  if (mode == PlatOpenMode::ReadShared && !g_pinName.empty() && path == g_pinName &&
      (st.st_dev != g_pinDevice || st.st_ino != g_pinInode)) {
    // Another file has taken the pinned name.
    posix_layer::SetLastError(ESTALE);
    close(fd);
    return 0;
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  if (lock != 0 && flock(fd, lock | LOCK_NB) != 0) {
    // Held by another opener: a sharing violation.
    Fail();
    close(fd);
    return 0;
  }
  // Truncate only once the exclusive lock is ours, so a refused create
  // leaves the other opener's file as it was.
  if (mode == PlatOpenMode::CreateTruncate && S_ISREG(st.st_mode) && ftruncate(fd, 0) != 0) {
    Fail();
    close(fd);
    return 0;
  }
  return static_cast<PlatFile>(fd) + 1;
}

namespace {
// Moves count bytes with read or write, as many calls as it takes (a call
// may move fewer, or be interrupted); stops early only at the end of a file.
template <typename Buffer, typename Call>
bool Transfer(Buffer *buffer, std::uint32_t count, std::uint32_t *moved, Call call) {
  std::uint32_t done = 0;
  while (done < count) {
    const ssize_t n = call(buffer + done, count - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      *moved = done;
      return Fail();
    }
    if (n == 0) break;
    done += static_cast<std::uint32_t>(n);
  }
  *moved = done;
  return true;
}
} // namespace

bool PlatRead(PlatFile file, void *buffer, std::uint32_t count, std::uint32_t *moved) {
  return Transfer(static_cast<unsigned char *>(buffer), count, moved,
                  [&](unsigned char *p, std::uint32_t n) { return read(Fd(file), p, n); });
}

bool PlatWrite(PlatFile file, const void *buffer, std::uint32_t count, std::uint32_t *moved) {
  return Transfer(static_cast<const unsigned char *>(buffer), count, moved,
                  [&](const unsigned char *p, std::uint32_t n) { return write(Fd(file), p, n); });
}

std::uint32_t PlatSeek(PlatFile file, std::int32_t offset, int origin) {
  const int whence = origin == kPlatFromStart ? SEEK_SET : origin == kPlatFromCurrent ? SEEK_CUR : SEEK_END;
  const off_t pos = lseek(Fd(file), offset, whence);
  if (pos < 0 || pos >= static_cast<off_t>(kPlatBadPosition)) {
    if (pos >= 0) errno = EOVERFLOW;
    Fail();
    return kPlatBadPosition;
  }
  return static_cast<std::uint32_t>(pos);
}

std::uint32_t PlatSize(PlatFile file) {
  struct stat st {};
  if (fstat(Fd(file), &st) != 0) {
    Fail();
    return kPlatBadPosition;
  }
  if (st.st_size >= static_cast<off_t>(kPlatBadPosition)) {
    posix_layer::SetLastError(EOVERFLOW);
    return kPlatBadPosition;
  }
  return static_cast<std::uint32_t>(st.st_size);
}

void PlatClose(PlatFile file) { close(Fd(file)); }

bool PlatLastWriteDosTime(PlatFile file, std::uint32_t *dosTime) {
  struct stat st {};
  if (fstat(Fd(file), &st) != 0) return Fail();
  struct tm t {};
  const time_t when = st.st_mtime;
  gmtime_r(&when, &t);
  if (t.tm_year < 80) { // the MS-DOS form starts in 1980
    t = tm{};
    t.tm_year = 80;
    t.tm_mday = 1;
  }
  const auto date = static_cast<std::uint32_t>(((t.tm_year - 80) << 9) | ((t.tm_mon + 1) << 5) | t.tm_mday);
  const auto tim = static_cast<std::uint32_t>((t.tm_hour << 11) | (t.tm_min << 5) | (t.tm_sec / 2));
  *dosTime = (date << 16) | tim;
  return true;
}

bool PlatRename(const char *from, const char *to) {
  const At a = Locate(HostName(from)), b = Locate(HostName(to));
  if (!a.ok || !b.ok) return Fail();
  if (renameat2(a.dir, a.leaf.c_str(), b.dir, b.leaf.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return Fail();
  // File systems without the no-replace rename: a hard link fails on an
  // existing target just the same.
  if (linkat(a.dir, a.leaf.c_str(), b.dir, b.leaf.c_str(), 0) != 0) return Fail();
  if (unlinkat(a.dir, a.leaf.c_str(), 0) != 0) return Fail();
  return true;
}

bool PlatReplace(const char *from, const char *to) {
  const std::string bName = HostName(to);
  const At a = Locate(HostName(from)), b = Locate(bName);
  if (!a.ok || !b.ok) return Fail();
  const int fd = openat(a.dir, a.leaf.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return Fail();
  // The replaced file's permissions and, for root, its owner go to the new
  // one (owner first: a change of owner clears the set-id bits).
  // The file put in place is one we made, and the only name it has: no
  // permissions or owner are handed on to a file someone linked in.
  struct stat source {}, old {};
  bool ok = fstat(fd, &source) == 0 && S_ISREG(source.st_mode) && source.st_nlink == 1 && source.st_uid == geteuid();
  if (!ok) errno = EPERM;
  if (ok && fstatat(b.dir, b.leaf.c_str(), &old, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(old.st_mode)) {
    if (geteuid() == 0 && fchown(fd, old.st_uid, old.st_gid) != 0) ok = false;
    if (ok && fchmod(fd, old.st_mode & 07777) != 0) ok = false;
  }
  // The data first, then the name: a crash between the two must not leave
  // the new name on an empty file.
  if (ok && fsync(fd) != 0) ok = false;
  const int error = errno;
  close(fd);
  if (!ok) {
    errno = error;
    return Fail();
  }
  if (renameat(a.dir, a.leaf.c_str(), b.dir, b.leaf.c_str()) != 0) return Fail();
  SyncFolder(b, bName);
  return true;
}

bool PlatOpenFilesBlockReplace() { return false; }

bool PlatNameIsAltered(const char *, std::size_t) { return false; }

bool PlatLinkIsTrusted(const char *name, const char *root) {
  const std::string link = HostName(name);
  struct stat l {}, d {}, r {};
  if (lstat(link.c_str(), &l) != 0 || !S_ISLNK(l.st_mode) || stat(HostDirectory(link).c_str(), &d) != 0 ||
      stat(HostName(root).c_str(), &r) != 0)
    return false;
  const auto trusted = [&](uid_t uid) { return uid == r.st_uid || uid == 0; };
  return trusted(l.st_uid) && trusted(d.st_uid) && (d.st_mode & 022) == 0;
}

PlatFile PlatOpenSharedLog(const char *name) {
  const std::string path = HostName(name);
  const int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
  if (fd < 0) {
    Fail();
    return 0;
  }
  struct stat st {}, dir {};
  bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  if (ok && st.st_uid != geteuid()) {
    // Root may write a user's log in that user's folder; nobody writes into
    // a file that another user put where we would look.
    ok = geteuid() == 0 && stat(HostDirectory(path).c_str(), &dir) == 0 && dir.st_uid == st.st_uid;
  }
  if (!ok) {
    close(fd);
    posix_layer::SetLastError(EPERM);
    return 0;
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return static_cast<PlatFile>(fd) + 1;
}

bool PlatAppend(PlatFile file, const char *text, std::uint32_t length) {
  const ssize_t n = write(Fd(file), text, length);
  if (n != static_cast<ssize_t>(length)) return Fail();
  return true;
}

bool PlatAbsoluteName(const char *name, char *out, std::uint32_t capacity) {
  if (name[0] == '/' || name[0] == '\\') return std::snprintf(out, capacity, "%s", name) < static_cast<int>(capacity);
  char here[4096];
  if (!getcwd(here, sizeof here)) return false;
  return std::snprintf(out, capacity, "%s/%s", here, name) < static_cast<int>(capacity);
}

bool PlatKeepAs(const char *name, const char *backup) {
  const At a = Locate(HostName(name)), b = Locate(HostName(backup));
  if (!a.ok || !b.ok) return Fail();
  // A second name for the same file; a link at name is kept as the link.
  if (linkat(a.dir, a.leaf.c_str(), b.dir, b.leaf.c_str(), 0) == 0) return true;
  if (errno != EPERM && errno != EOPNOTSUPP && errno != EXDEV) return Fail();
  return PlatRename(name, backup);
}

bool PlatSync(PlatFile file) {
  if (fsync(Fd(file)) != 0) return Fail();
  return true;
}

std::uint64_t PlatFreeBytes(const char *directory) {
  struct statvfs fs {};
  if (statvfs(HostName(directory[0] ? directory : ".").c_str(), &fs) != 0) return UINT64_MAX;
  return static_cast<std::uint64_t>(fs.f_bavail) * fs.f_frsize;
}

void PlatOwnLikeDirectory(const char *name, const char *directory) {
  struct stat dir {};
  if (geteuid() != 0 || stat(HostName(directory).c_str(), &dir) != 0) return;
  const At at = Locate(HostName(name));
  if (!at.ok || fchownat(at.dir, at.leaf.c_str(), dir.st_uid, dir.st_gid, AT_SYMLINK_NOFOLLOW) != 0)
    return; // the install goes on: the files are whole
}

bool PlatDelete(const char *name) {
  const At at = Locate(HostName(name));
  if (!at.ok || unlinkat(at.dir, at.leaf.c_str(), 0) != 0) return Fail();
  return true;
}

std::uint32_t PlatAttributes(const char *name) {
  struct stat st {};
  const std::string path = HostName(name);
  const At at = Locate(path);
  if (path.empty() || !at.ok || fstatat(at.dir, at.leaf.c_str(), &st, 0) != 0) {
    if (path.empty()) errno = ENOENT;
    Fail();
    return kPlatNoAttributes;
  }
  std::uint32_t attr = 0;
  if (S_ISDIR(st.st_mode)) attr |= kPlatAttrDirectory;
  // The read-only attribute is a property of the file, not an access check:
  // a file that nobody may write is read-only, for root as for anyone.
  if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) attr |= kPlatAttrReadOnly;
  return attr;
}

bool PlatMakeDirectory(const char *name) {
  const std::string path = HostName(name);
  if (path.empty()) {
    posix_layer::SetLastError(ENOENT);
    return false;
  }
  const At at = Locate(path);
  if (!at.ok || mkdirat(at.dir, at.leaf.c_str(), 0777) != 0) return Fail();
  return true;
}

bool PlatLeadingSeparatorIsRoot() { return true; }

PlatKind PlatNameKind(const char *name) {
  struct stat st {};
  const std::string path = HostName(name);
  if (path.empty()) return PlatKind::Missing;
  const At at = Locate(path);
  if (!at.ok) return PlatKind::Other; // a folder on the way that the walk refuses: nothing to write into
  if (fstatat(at.dir, at.leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return PlatKind::Missing;
  if (S_ISLNK(st.st_mode)) return PlatKind::Link;
  if (S_ISDIR(st.st_mode)) return PlatKind::Directory;
  if (S_ISREG(st.st_mode)) return PlatKind::Regular;
  return PlatKind::Other;
}

bool PlatOwnedByUs(const char *name) {
  struct stat st {};
  return lstat(HostName(name).c_str(), &st) == 0 && st.st_uid == geteuid();
}

bool PlatIsPrinterDevice(const char *) { return false; }

bool PlatIsSeparator(char c) { return c == '/' || c == '\\'; }

bool PlatFileIdentity(PlatFile file, PlatIdentity *identity) {
  struct stat st {};
  if (fstat(Fd(file), &st) != 0) return false;
  *identity = PlatIdentity{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
  return true;
}

void PlatPinFile(const char *name, PlatFile file) {
  struct stat st {};
  if (!name || fstat(Fd(file), &st) != 0) {
    g_pinName.clear();
    return;
  }
  g_pinName = HostName(name);
  g_pinDevice = st.st_dev;
  g_pinInode = st.st_ino;
}

namespace {
int g_directoryLock = -1;
}

namespace {
std::string g_lockName; // the lock file held, removed when given up
int g_lockCleanup = -1;
}

PlatLockResult PlatLockDirectory(const char *directory) {
  // A lock file of our own in the directory, mode 0600: nobody but its owner
  // (and the administrator) can open it, so no reader of the installation
  // can hold it and stop every update. A file of anyone else, or a link, at
  // its name is not ours: it goes and ours takes its place.
  const std::string dir = HostName(directory);
  struct stat d {};
  if (stat(dir.c_str(), &d) != 0 || !S_ISDIR(d.st_mode)) {
    if (errno == 0) errno = ENOTDIR;
    Fail();
    return PlatLockResult::Failed;
  }
  const std::string name = dir + "/lzx.lck";
  for (int attempt = 0; attempt < 8; ++attempt) {
    const int fd = open(name.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    struct stat st {};
    if (fd < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || (st.st_uid != geteuid() && st.st_uid != d.st_uid) ||
        (st.st_mode & 077) != 0) {
      if (fd < 0 && errno != ELOOP && errno != EACCES && errno != EPERM) {
        Fail();
        return PlatLockResult::Failed;
      }
      if (fd >= 0) close(fd);
      if (unlink(name.c_str()) != 0 && errno != ENOENT) {
        Fail();
        return PlatLockResult::Failed;
      }
      continue;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
      const bool busy = errno == EWOULDBLOCK;
      Fail();
      close(fd);
      return busy ? PlatLockResult::Busy : PlatLockResult::Failed;
    }
    // Still the file of that name? One who gave it up meanwhile removed it.
    struct stat now {};
    if (lstat(name.c_str(), &now) != 0 || now.st_ino != st.st_ino || now.st_dev != st.st_dev) {
      close(fd);
      continue;
    }
    PlatUnlockDirectory();
    g_directoryLock = fd;
    g_lockName = name;
    g_lockCleanup = PlatRemoveLater(name.c_str(), PlatRemoveWhen::AnyEnd); // not left in the installation
    return PlatLockResult::Held;
  }
  errno = EAGAIN;
  Fail();
  return PlatLockResult::Failed;
}

void PlatUnlockDirectory() {
  if (g_directoryLock >= 0) {
    unlink(g_lockName.c_str()); // while still held: a waiting opener sees another file
    close(g_directoryLock);
    PlatForgetLater(g_lockCleanup);
    g_lockCleanup = -1;
  }
  g_directoryLock = -1;
  g_lockName.clear();
}

bool PlatRemoveDirectory(const char *name) {
  const std::string path = HostName(name);
  const At at = Locate(path);
  if (!at.ok || unlinkat(at.dir, at.leaf.c_str(), AT_REMOVEDIR) != 0) return Fail();
  ForgetFolder(path);
  return true;
}

struct PlatFind {
  std::vector<std::string> names;
  std::size_t next = 0;
};

PlatFind *PlatFindFirst(const char *pattern, char *name, std::uint32_t nameSize) {
  const std::string path = HostName(pattern);
  const std::size_t slash = path.rfind('/');
  std::string dir = slash == std::string::npos ? "." : path.substr(0, slash);
  std::string wild = slash == std::string::npos ? path : path.substr(slash + 1);
  if (dir.empty()) dir = "/";
  if (wild == "*.*") wild = "*"; // as the find-file functions read it: every name
  const At at = Locate(dir);
  const int fd = !at.ok                  ? -1
                 : at.dir != AT_FDCWD ? OpenFolder(at.dir, at.leaf)
                                      : open(at.leaf.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  DIR *d = fd >= 0 ? fdopendir(fd) : nullptr;
  if (!d) {
    if (fd >= 0) close(fd);
    Fail();
    return nullptr;
  }
  auto *find = new PlatFind;
  while (const dirent *e = readdir(d)) {
    if (fnmatch(wild.c_str(), e->d_name, FNM_CASEFOLD) == 0) find->names.emplace_back(e->d_name);
  }
  closedir(d);
  if (find->names.empty()) {
    delete find;
    posix_layer::SetLastError(ENOENT);
    return nullptr;
  }
  // Name order, so listings do not depend on the file system's hash order.
  std::sort(find->names.begin(), find->names.end());
  CopyText(name, nameSize, find->names[0].c_str());
  find->next = 1;
  return find;
}

bool PlatFindNext(PlatFind *find, char *name, std::uint32_t nameSize) {
  if (find->next >= find->names.size()) return false;
  CopyText(name, nameSize, find->names[find->next++].c_str());
  return true;
}

void PlatFindClose(PlatFind *find) { delete find; }

bool PlatLastErrorIsInUse() { return false; } // an open file does not stop a rename

bool PlatWhoHolds(const char *, char *, std::size_t) { return false; }

bool PlatCopyModeBits(const char *from, const char *to) {
  struct stat source {};
  if (stat(HostName(from).c_str(), &source) != 0) return Fail();
  const std::string name = HostName(to);
  const int fd = open(name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return Fail();
  const bool ok = fchmod(fd, source.st_mode & 0777) == 0;
  const int error = errno;
  close(fd);
  errno = error;
  return ok || Fail();
}
