// The settings store on POSIX: ${XDG_CONFIG_HOME:-~/.config}/PRODUCT/settings.ini,
// lines of "Name=Value" outside any [section]; blank lines and lines starting
// with ';' or '#' are comments. Read by a small reader of our own because
// values must be readable up to 259 characters, longer than the lines the
// packaged INI library accepts.
#include "platform/settings.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/posix/host.h"

struct PlatSettings {
  std::string path;
};

namespace {

std::string ConfigHome() { return posix_layer::UserDirectory("XDG_CONFIG_HOME", "/.config"); }

std::string Trim(const std::string &s) {
  const std::size_t a = s.find_first_not_of(" \t\r");
  if (a == std::string::npos) return "";
  return s.substr(a, s.find_last_not_of(" \t\r") - a + 1);
}

} // namespace

PlatSettings *PlatSettingsOpen(const char *product) {
  const std::string dir = ConfigHome() + "/" + product;
  mkdir(ConfigHome().c_str(), 0777);
  mkdir(dir.c_str(), 0777);
  // Only a store in a folder of ours (or root's) that nobody else may write
  // in is read or made: another user could otherwise put a link there, and
  // what we create or read would be theirs to choose.
  struct stat d {};
  if (lstat(dir.c_str(), &d) != 0 || !S_ISDIR(d.st_mode) || (d.st_uid != geteuid() && d.st_uid != 0) ||
      (d.st_mode & 022) != 0)
    return nullptr;
  const std::string path = dir + "/settings.ini";
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0) {
    // "Creating the key": an empty store, made only where the name is free
    // and never through a link.
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) return nullptr;
    close(fd);
  } else if (!S_ISREG(st.st_mode)) {
    return nullptr; // a link, or anything but a plain file, is not a store
  }
  return new PlatSettings{path};
}

bool PlatSettingsQuery(PlatSettings *settings, const char *value, char *out, std::uint32_t capacity) {
  const int fd = open(settings->path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  FILE *file = fd >= 0 ? fdopen(fd, "r") : nullptr;
  if (!file) {
    if (fd >= 0) close(fd);
    return false;
  }
  bool inSection = false, found = false;
  std::string result, line;
  for (int c; (c = std::fgetc(file)) != EOF || !line.empty();) {
    if (c != EOF && c != '\n') {
      line += static_cast<char>(c);
      continue;
    }
    const std::string t = Trim(line);
    line.clear();
    if (t.empty() || t[0] == ';' || t[0] == '#') continue;
    if (t[0] == '[') {
      inSection = true;
      continue;
    }
    const std::size_t eq = t.find('=');
    if (inSection || eq == std::string::npos || Trim(t.substr(0, eq)) != value) continue;
    result = Trim(t.substr(eq + 1));
    found = true;
  }
  std::fclose(file);
  if (!found || result.size() + 1 > capacity) return false;
  std::memcpy(out, result.c_str(), result.size() + 1);
  return true;
}

void PlatSettingsClose(PlatSettings *settings) { delete settings; }
