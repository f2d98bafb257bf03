// The program-manager command language on POSIX: groups and items become
// freedesktop menu entries under ${XDG_DATA_HOME:-~/.local/share}. Each
// command and its answer is also written to standard output.
#include "platform/shell.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/posix/host.h"
#include "platform/text.h"

namespace {

std::string g_group; // the group that item commands work in, as the program manager keeps it

std::string DataHome() { return posix_layer::UserDirectory("XDG_DATA_HOME", "/.local/share"); }

// A file name for a menu entry: lower case, blanks as '-', nothing unsafe.
std::string EntryId(const std::string &name) {
  std::string id;
  for (char c : name) {
    if (c >= 'A' && c <= 'Z') id += LowerAscii(c);
    else if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_') id += c;
    else if (c == ' ') id += '-';
  }
  return id.empty() ? "entry" : id;
}

// Makes the directory and any missing parents; true when it exists afterwards.
bool MakeDir(const std::string &path) {
  for (std::size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1))
    mkdir(path.substr(0, slash).c_str(), 0777);
  mkdir(path.c_str(), 0777);
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool WriteText(const std::string &path, const std::string &text) {
  FILE *f = std::fopen(path.c_str(), "w");
  if (!f) return false;
  const bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  return std::fclose(f) == 0 && ok;
}

// Values of desktop entries escape the backslash and line breaks.
std::string DesktopString(const std::string &s) {
  std::string out;
  for (char c : s) {
    if (c == '\\') out += "\\\\";
    else if (c == '\n') out += "\\n";
    else out += c;
  }
  return out;
}

// One argument of an Exec line, quoted as the desktop entry format asks.
std::string ExecArgument(const std::string &s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') out += '\\';
    if (c == '%') out += '%';
    out += c;
  }
  return out + "\"";
}

// Reads a quoted field at p; false when there is none.
bool Quoted(const char *&p, std::string &out) {
  while (*p == ' ') ++p;
  if (*p != '"') return false;
  const char *end = std::strchr(++p, '"');
  if (!end) return false;
  out.assign(p, end);
  p = end + 1;
  return true;
}

bool Argument(const std::string &command, const char *verb, std::string &inside) {
  const std::string head = std::string("[") + verb + "(";
  if (command.compare(0, head.size(), head) != 0 || command.size() < head.size() + 2 ||
      command.compare(command.size() - 2, 2, ")]") != 0)
    return false;
  inside = command.substr(head.size(), command.size() - head.size() - 2);
  return true;
}

std::string GroupDir() { return DataHome() + "/applications/" + EntryId(g_group); }

bool CreateGroup(const std::string &name) {
  const std::string data = DataHome();
  if (name.empty() || !MakeDir(data) || !MakeDir(data + "/applications") || !MakeDir(data + "/desktop-directories"))
    return false;
  g_group = name;
  if (!MakeDir(GroupDir())) return false;
  return WriteText(data + "/desktop-directories/" + EntryId(name) + ".directory",
                   "[Desktop Entry]\nVersion=1.4\nType=Directory\nName=" + DesktopString(name) + "\n");
}

bool ReplaceItem(const std::string &name) {
  if (g_group.empty()) return false;
  const std::string path = GroupDir() + "/" + EntryId(name) + ".desktop";
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return true; // nothing to replace
  return S_ISREG(st.st_mode) && unlink(path.c_str()) == 0;
}

// AddItem("program" parameters, "name",,,,,"directory")
bool AddItem(const std::string &inside) {
  if (g_group.empty()) return false;
  const char *p = inside.c_str();
  std::string program, name, directory;
  if (!Quoted(p, program)) return false;
  const char *comma = std::strchr(p, ',');
  if (!comma) return false;
  std::string parameters(p, comma);
  parameters.erase(0, parameters.find_first_not_of(' '));
  parameters.erase(parameters.find_last_not_of(' ') + 1);
  p = comma + 1;
  if (!Quoted(p, name) || std::strncmp(p, ",,,,,", 5) != 0) return false;
  p += 5;
  if (!Quoted(p, directory) || *p != '\0') return false;
  std::string exec = ExecArgument(posix_layer::HostName(program.c_str()));
  if (!parameters.empty()) exec += " " + parameters;
  const std::string text = "[Desktop Entry]\nVersion=1.4\nType=Application\nName=" + DesktopString(name) +
                           "\nExec=" + DesktopString(exec) + "\nPath=" + DesktopString(posix_layer::HostName(directory.c_str())) +
                           "\nTerminal=false\nCategories=Utility;\n";
  return WriteText(GroupDir() + "/" + EntryId(name) + ".desktop", text);
}

} // namespace

bool PlatShellStart() { return !DataHome().empty(); }

bool PlatShellCommand(const char *command) {
  const std::string c = command;
  std::string inside;
  bool ok = false;
  if (Argument(c, "CreateGroup", inside)) ok = CreateGroup(inside);
  else if (Argument(c, "ReplaceItem", inside)) ok = ReplaceItem(inside);
  else if (Argument(c, "AddItem", inside)) ok = AddItem(inside);
  std::printf("shell: %s -> %s\n", command, ok ? "ok" : "refused");
  std::fflush(stdout);
  return ok;
}
