// The settings store on POSIX: ${XDG_CONFIG_HOME:-~/.config}/PRODUCT/settings.ini,
// lines of "Name=Value" outside any [section]; blank lines and lines starting
// with ';' or '#' are comments. Read by a small reader of our own because
// values must be readable up to 259 characters, longer than the lines the
// packaged INI library accepts.
#include "platform/settings.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
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
  const std::string path = dir + "/settings.ini";
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) {
    FILE *f = std::fopen(path.c_str(), "w"); // "creating the key": an empty store
    if (!f) return nullptr;
    std::fclose(f);
  } else if (!S_ISREG(st.st_mode)) {
    return nullptr;
  }
  return new PlatSettings{path};
}

bool PlatSettingsQuery(PlatSettings *settings, const char *value, char *out, std::uint32_t capacity) {
  std::ifstream in(settings->path);
  if (!in) return false;
  bool inSection = false, found = false;
  std::string result;
  for (std::string line; std::getline(in, line);) {
    const std::string t = Trim(line);
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
  if (!found || result.size() + 1 > capacity) return false;
  std::memcpy(out, result.c_str(), result.size() + 1);
  return true;
}

void PlatSettingsClose(PlatSettings *settings) { delete settings; }
