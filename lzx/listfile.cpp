#include "lzx/listfile.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fileio/fatal.h"
#include "fileio/file.h"
#include "fileio/path.h"
#include "lzx/names.h"

namespace {

struct Line {
  std::int32_t number; // physical line, from 1
  std::string text;
};

// The non-empty lines of the file with their physical numbers (CR, LF and
// CR LF each end a line).
std::vector<Line> ReadLines(const char *listFile) {
  FileRef ref;
  FileRefInit(&ref, 1, listFile);
  const std::int32_t size = FileSize(&ref);
  std::string all(static_cast<std::size_t>(size), '\0');
  FileOpenRead(&ref);
  all.resize(static_cast<std::size_t>(FileRead(&ref, size, all.data())));
  FileClose(&ref);
  std::vector<Line> lines;
  std::int32_t number = 1;
  std::string current;
  for (std::size_t i = 0; i <= all.size(); ++i) {
    const bool end = i == all.size();
    const char c = end ? '\n' : all[i];
    if (c != '\r' && c != '\n') {
      current += c;
      continue;
    }
    if (!current.empty()) lines.push_back({number, current});
    current.clear();
    if (end) break;
    if (c == '\r' && i + 1 < all.size() && all[i + 1] == '\n') ++i;
    ++number;
  }
  return lines;
}

// What is wrong with a stored name for the unpacker, or null.
const char *StoredNameFault(const std::string &name, bool plainNames) {
  if (name.size() >= 256) return "stored name of 256 characters or more";
  if (name.find('/') != std::string::npos) return "stored name with '/' (the separator is '\\')";
  char stored[256];
  if (!ArchiveNameFromSystem(name.c_str(), stored, sizeof stored))
    return "stored name with a character that Windows-1252 (the archive's names) cannot hold, or not in this "
           "system's encoding";
  if (name[0] != '#') return plainNames ? nullptr : "stored name without '#' (it would be written where it points)";
  const std::string rest = name.substr(1);
  if (rest.empty()) return "stored name '#' without a file name";
  if (rest[0] == '\\') return "stored name with a leading separator after '#'";
  if (rest.find(':') != std::string::npos) return "stored name with a drive after '#'";
  for (std::size_t at = 0; at <= rest.size();) {
    const std::size_t end = std::min(rest.find('\\', at), rest.size());
    if (rest.compare(at, end - at, "..") == 0 && end - at == 2) return "stored name with a '..' component";
    at = end + 1;
  }
  return nullptr;
}

// A decimal value as PackLZX reads it (leading white space and a sign), whole.
bool ReadValue(const char *text, std::int32_t *value) {
  errno = 0;
  char *end = nullptr;
  const long long v = std::strtoll(text, &end, 10);
  if (end == text || errno == ERANGE || v < INT32_MIN || v > INT32_MAX) return false;
  while (*end == ' ') ++end;
  if (*end != '\0') return false;
  *value = static_cast<std::int32_t>(v);
  return true;
}

struct Checker {
  ListProblemFn report;
  void *context;
  std::int32_t problems = 0;
  void Problem(std::int32_t line, const std::string &text) {
    ++problems;
    report(line, text.c_str(), context);
  }
  bool Fits(const Line &l, std::size_t limit, const char *what) {
    if (l.text.size() <= limit) return true;
    Problem(l.number, std::string(what) + " longer than " + std::to_string(limit) + " characters (" +
                          std::to_string(l.text.size()) + ")");
    return false;
  }
};

} // namespace

std::int32_t ListFileCheck(const char *listFile, bool plainNames, ListProblemFn report, void *context,
                           ListSummary *summary) {
  std::memset(summary, 0, sizeof *summary);
  Checker check{report, context};
  const std::vector<Line> lines = ReadLines(listFile);
  if (lines.empty()) {
    check.Problem(0, "no archive name (the list is empty)");
    return check.problems;
  }
  if (check.Fits(lines[0], 256, "archive name line")) {
    std::snprintf(summary->archive, sizeof summary->archive, "%s", lines[0].text.c_str());
    if (lines[0].text.size() >= 80) check.Problem(lines[0].number, "archive name of 80 characters or more");
  }
  if (lines.size() < 2) {
    check.Problem(0, "no base directory (the list has one line)");
    return check.problems;
  }
  check.Fits(lines[1], 256, "base directory line");
  const std::string base = lines[1].text.substr(0, 256);

  std::vector<std::pair<std::string, std::int32_t>> stored; // names seen, with their lines
  std::int64_t total = 0;
  for (std::size_t i = 2; i < lines.size(); i += 2) {
    const Line &source = lines[i];
    ++summary->files;
    const bool sourceFits = check.Fits(source, 256, "source line");
    if (i + 1 >= lines.size()) {
      check.Problem(source.number, "source line without a stored name after it");
      break;
    }
    const Line &name = lines[i + 1];
    const bool nameFits = check.Fits(name, 128, "stored name line");
    if (!sourceFits || !nameFits) continue; // the reader would take the rest as other lines

    // The source line: tokens at runs of '|', the first the source name.
    std::vector<std::string> tokens;
    for (std::size_t at = 0; at < source.text.size();) {
      while (at < source.text.size() && source.text[at] == '|') ++at;
      if (at >= source.text.size()) break;
      const std::size_t end = std::min(source.text.find('|', at), source.text.size());
      tokens.push_back(source.text.substr(at, end - at));
      at = end;
    }
    if (tokens.empty()) {
      check.Problem(source.number, "source line without a file name");
      continue;
    }
    if (tokens.size() > 48) check.Problem(source.number, "more than 47 options");
    std::int32_t version = 0;
    for (std::size_t t = 1; t < tokens.size() && t < 48; ++t) {
      std::string option = tokens[t];
      option.erase(0, option.find_first_not_of(' '));
      const char letter = option.size() >= 2 && option[1] == '=' ? static_cast<char>(option[0] & ~0x20) : '\0';
      if (letter != 'V' && letter != 'E' && letter != 'D' && letter != 'R') {
        check.Problem(source.number, "unknown option [" + tokens[t] + "]");
        continue;
      }
      std::int32_t value = 0;
      if (!ReadValue(option.c_str() + 2, &value)) {
        check.Problem(source.number, "option [" + tokens[t] + "] is not a number in the signed 32-bit range");
        continue;
      }
      if (letter == 'V') version = value;
    }
    if (version < 100) check.Problem(source.number, "version missing or below 100");

    const std::string &first = tokens[0];
    const std::string path = first[0] == '#' ? first.substr(1) : base + first;
    std::int32_t size = 0;
    const char *fault = nullptr;
    if (path.size() >= kPathSize) fault = "source name of 260 characters or more";
    else {
      switch (FileProbe(path.c_str(), &size)) {
      case FileProbeResult::Readable: total += size; break;
      case FileProbeResult::Missing: fault = "source not found"; break;
      case FileProbeResult::Directory: fault = "source is a directory"; break;
      case FileProbeResult::Unreadable: fault = "source cannot be read"; break;
      case FileProbeResult::TooLarge: fault = "source of 2 GiB or more"; break;
      }
    }
    if (fault) check.Problem(source.number, std::string(fault) + " [" + path + "]");

    if (const char *bad = StoredNameFault(name.text, plainNames)) check.Problem(name.number, bad);
    for (const auto &[seen, line] : stored)
      if (SameTextNoCase(seen.c_str(), name.text.c_str()))
        check.Problem(name.number, "stored name also on line " + std::to_string(line) + " (letter case aside)");
    stored.emplace_back(name.text, name.number);
  }
  if (total > INT32_MAX) check.Problem(0, "the sources together are 2 GiB or more");
  summary->total = total > INT32_MAX ? INT32_MAX : static_cast<std::int32_t>(total);
  return check.problems;
}
