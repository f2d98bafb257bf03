// System facts on POSIX: the language from the locale variables, the
// running-product marker as a lock file, and the per-user directories.
//
// The temporary directory is private: a directory of this user's alone, mode
// 0700, below $TMPDIR (else /tmp), checked each time it is handed out. Others
// can write in the shared folder above it, so its per-user name may already
// be taken by someone else; then a fresh directory with an unpredictable name
// serves instead, so nobody can make us use theirs or keep us out.
#include "platform/system.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/posix/host.h"
#include "platform/text.h"

namespace {

using posix_layer::Env;

// A real directory (not a link), ours, that nobody else may enter.
bool IsPrivateDirectory(const std::string &path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == geteuid() && (st.st_mode & 077) == 0;
}

// A directory of ours that others cannot write into: a runtime directory is
// used only when it is one.
bool IsSafeDirectory(const std::string &path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == geteuid() && (st.st_mode & 022) == 0;
}

std::string g_fallback; // the unpredictable directory, once one was needed

void RemoveFallback() {
  if (!g_fallback.empty()) rmdir(g_fallback.c_str()); // only when empty
}

// The private temporary directory, without the trailing '/'. When none can be
// had (the shared folder is missing), the per-user name: creating a file in
// it then fails and names it.
// True when nobody but root and us can rename or replace what lies in real
// (a path without links) or in any folder above it: each is root's or ours,
// and one that others may write in has the sticky bit. A name our layer
// would read otherwise ('\\' is a separator to it) is not trusted either.
bool NobodyElseCanSwap(const std::string &real) {
  if (real.empty() || real[0] != '/' || real.find('\\') != std::string::npos) return false;
  const uid_t me = geteuid();
  for (std::size_t end = 1;; end = real.find('/', end + 1)) {
    const std::string prefix = end == std::string::npos ? real : real.substr(0, end == 1 ? 1 : end);
    struct stat st {};
    if (lstat(prefix.c_str(), &st) != 0) return false;
    if (S_ISDIR(st.st_mode)) {
      if (st.st_uid != 0 && st.st_uid != me) return false;
      if ((st.st_mode & 022) != 0 && (st.st_mode & S_ISVTX) == 0) return false;
    }
    if (end == std::string::npos) return true;
  }
}

// The folder for our private one: TMPDIR (else /tmp) resolved once to its
// real name, which is then checked and used; one that another user could
// swap under us is not used, /tmp serving instead. A TMPDIR that does not
// resolve (missing) stays as given: creating in it fails and names it.
std::string TemporaryBase() {
  std::string given = Env("TMPDIR");
  if (given.empty()) given = "/tmp";
  for (const std::string &candidate : {given, std::string("/tmp")}) {
    char real[PATH_MAX];
    if (realpath(candidate.c_str(), real) == nullptr) {
      if (candidate == given) return given;
      continue;
    }
    if (NobodyElseCanSwap(real)) return real;
  }
  // Neither is safe: a name that cannot be created, and says why.
  return "/(no safe temporary folder: TMPDIR and /tmp can be changed by other users)";
}

std::string PrivateTemporary() {
  std::string base = TemporaryBase();
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  const std::string mine = (base == "/" ? "" : base) + "/vorn-" + std::to_string(geteuid());
  mkdir(mine.c_str(), 0700);
  if (IsPrivateDirectory(mine)) return mine;
  if (!g_fallback.empty() && g_fallback.compare(0, mine.size() + 1, mine + "-") == 0 && IsPrivateDirectory(g_fallback))
    return g_fallback;
  std::string pattern = mine + "-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) return mine;
  if (g_fallback.empty()) std::atexit(RemoveFallback);
  RemoveFallback();
  g_fallback = pattern;
  return g_fallback;
}

} // namespace

std::uint16_t PlatSystemLanguage() {
  std::string locale = Env("LC_ALL");
  if (locale.empty()) locale = Env("LC_MESSAGES");
  if (locale.empty()) locale = Env("LANG");
  const std::string language = locale.substr(0, locale.find_first_of("_.@"));
  if (language == "nl" || language == "NL") {
    const std::size_t under = locale.find('_');
    const bool belgian = under != std::string::npos && locale.compare(under + 1, 2, "BE") == 0;
    return belgian ? 0x0813 : 0x0413;
  }
  return 0x0409;
}

std::uint32_t PlatSystemVersion() { return 6u | (1u << 8); } // newer than 3.x, like any current system

bool PlatCurrentDirectory(char *out, std::uint32_t capacity) {
  if (capacity > 0 && getcwd(out, capacity) != nullptr) return true;
  if (capacity > 0) out[0] = '\0';
  return false;
}

void PlatTempDirectory(char *out, std::uint32_t capacity) {
  CopyText(out, capacity, (PrivateTemporary() + "/").c_str());
}

void PlatProgramDirectory(const char *name, char *out, std::uint32_t capacity) {
  CopyText(out, capacity, (posix_layer::UserDirectory("XDG_DATA_HOME", "/.local/share") + "/" + name).c_str());
}

bool PlatProbeRunning(const char *name) {
  // The product announces itself in the user's runtime directory: the one
  // the session names, or, started without one (cron, a system unit), the
  // one the system keeps for the user, /run/user/UID, so that the product
  // and the updater meet. Where neither is there and ours alone, our
  // private directory serves.
  std::string dir = Env("XDG_RUNTIME_DIR");
  if (dir.empty()) dir = "/run/user/" + std::to_string(geteuid());
  if (!IsSafeDirectory(dir)) dir = PrivateTemporary();
  const std::string path = dir + "/" + name + ".lock";
  int fd = -1;
  for (int attempt = 0; attempt < 2 && fd < 0; ++attempt) {
    fd = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | (attempt ? O_EXCL : 0), 0600);
    struct stat st {};
    if (fd >= 0 && fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == geteuid()) break;
    // A link, or a file that is not ours: it cannot be the product's, so it
    // goes and a lock file of our own takes its place.
    if (fd >= 0) close(fd);
    fd = -1;
    unlink(path.c_str());
  }
  if (fd < 0) return true; // cannot announce ourselves: counts as running
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    close(fd);
    return true;
  }
  return false; // the lock is held until the process ends
}

void PlatRandomBytes(void *out, std::uint32_t count) {
  auto *p = static_cast<unsigned char *>(out);
  while (count > 0) {
    const ssize_t n = getrandom(p, count, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    p += n;
    count -= static_cast<std::uint32_t>(n);
  }
  if (count == 0) return;
  // A kernel without the call: the random device.
  const int fd = open("/dev/urandom", O_RDONLY | O_CLOEXEC);
  while (fd >= 0 && count > 0) {
    const ssize_t n = read(fd, p, count);
    if (n <= 0) break;
    p += n;
    count -= static_cast<std::uint32_t>(n);
  }
  if (fd >= 0) close(fd);
}

bool PlatDialogToolkitReady() { return true; }

void PlatNameArguments(int *, char ***) {} // names are the bytes the system gave
