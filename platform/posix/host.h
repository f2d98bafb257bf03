// What the POSIX layer's parts share: names as the system takes them, the
// environment, and the per-user directories of the freedesktop conventions.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <string>

namespace posix_layer {

// A name of the system's backslash convention as POSIX takes it.
inline std::string HostName(const char *name) {
  std::string s(name ? name : "");
  std::replace(s.begin(), s.end(), '\\', '/');
  return s;
}

inline std::string Env(const char *name) {
  const char *v = std::getenv(name);
  return v ? v : "";
}

// $variable, else $HOME (or /tmp) followed by belowHome: the XDG directories.
inline std::string UserDirectory(const char *variable, const char *belowHome) {
  const std::string set = Env(variable);
  if (!set.empty()) return set;
  const std::string home = Env("HOME");
  return (home.empty() ? "/tmp" : home) + belowHome;
}

} // namespace posix_layer
