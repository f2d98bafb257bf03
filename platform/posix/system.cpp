// System facts on POSIX: the language from the locale variables, the
// running-product marker as a lock file, and the per-user directories.
#include "platform/system.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/posix/text.h"

namespace {

std::string Env(const char *name) {
  const char *v = std::getenv(name);
  return v ? v : "";
}

std::string HomeDir() {
  const std::string home = Env("HOME");
  return home.empty() ? "/tmp" : home;
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

void PlatTempDirectory(char *out, std::uint32_t capacity) {
  std::string dir = Env("TMPDIR");
  if (dir.empty()) dir = "/tmp";
  if (dir.back() != '/') dir += '/';
  posix_layer::CopyOut(dir, out, capacity);
}

void PlatProgramDirectory(const char *name, char *out, std::uint32_t capacity) {
  std::string data = Env("XDG_DATA_HOME");
  if (data.empty()) data = HomeDir() + "/.local/share";
  posix_layer::CopyOut(data + "/" + name, out, capacity);
}

bool PlatProbeRunning(const char *name) {
  std::string dir = Env("XDG_RUNTIME_DIR");
  if (dir.empty()) dir = "/tmp";
  const std::string path = dir + "/" + name + ".lock";
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return true; // cannot announce ourselves: counts as running
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    close(fd);
    return true;
  }
  return false; // the lock is held until the process ends
}

bool PlatDialogToolkitReady() { return true; }
