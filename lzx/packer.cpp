// Packing the files of a list file into an archive.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "fileio/fatal.h"
#include "lzx/lzx.h"
#include "lzx/names.h"
#include "platform/text.h"

thread_local constinit const char *PackMode = "wb";

namespace {

constexpr int kMaxTokens = 48; // the source name and 47 options
thread_local constinit std::uint8_t g_copy[8192] = {};

// Cuts line at '|' like the standard tokenizer: runs of separators count as
// one and yield no empty tokens. Returns the number of tokens.
int Tokenize(char *line, char **tokens) {
  int n = 0;
  for (char *p = line; *p;) {
    while (*p == '|') ++p;
    if (!*p) break;
    if (n == kMaxTokens) FatalMessage("PackLZX: Too many options [%s]", tokens[0]);
    tokens[n++] = p;
    while (*p && *p != '|') ++p;
    if (*p) *p++ = '\0';
  }
  return n;
}

} // namespace

bool FileReadLine(FileRef *ref, char *buffer, std::int32_t limit) {
  if (buffer) std::memset(buffer, 0, static_cast<std::size_t>(limit));
  std::int32_t taken = 0;
  bool found = false;
  char c = '\0';
  bool came;
  do {
    came = FileRead(ref, 1, &c) == 1;
    if (came && c != '\r' && c != '\n') {
      if (buffer) buffer[taken] = c;
      ++taken;
      found = true;
    }
  } while (came && taken < limit && ((c != '\r' && c != '\n') || taken == 0));
  if (buffer) buffer[taken] = '\0';
  return found;
}

std::int32_t PackLZX(const char *listFile, std::int32_t *total, std::int32_t *packed, ArchiveEntry *records,
                     std::int32_t capacity) {
  FileRef list;
  FileRefInit(&list, 1, listFile);
  FileOpenRead(&list);
  char archive[257], base[257];
  if (!FileReadLine(&list, archive, 256)) FatalMessage("PackLZX: No first line");
  if (!FileReadLine(&list, base, 256)) FatalMessage("PackLZX: No base directory");
  HILE *h = Hopen(archive, PackMode);
  if (!h) FatalMessage("PackFile: dest fail");
  std::int32_t sum = 0, files = 0;
  char line[257];
  while (FileReadLine(&list, line, 256)) {
    char *tokens[kMaxTokens];
    const int n = Tokenize(line, tokens);
    ArchiveEntry entry;
    std::memset(&entry, 0, sizeof entry);
    if (n == 0) FatalMessage("PackLZX: No filename found");
    char source[kPathSize];
    if (tokens[0][0] == '#') CopyText(source, sizeof source, tokens[0] + 1);
    else if (std::snprintf(source, sizeof source, "%s%s", base, tokens[0]) >= kPathSize)
      FatalMessage("PackLZX: name too long [%s%s]", base, tokens[0]);
    for (int t = 1; t < n; ++t) {
      const char *option = tokens[t];
      while (*option == ' ') ++option;
      // An option of blanks only ends at its terminator: nothing behind it is read.
      const bool assigned = option[0] != '\0' && option[1] == '=';
      const int value = assigned ? std::atoi(option + 2) : 0;
      switch (assigned ? LowerAscii(option[0]) : '\0') {
      case 'v': entry.version = value; break;
      case 'e': entry.scrambled = value; break;
      case 'd': entry.deleteAfter = value; break;
      case 'r': entry.replaceOnly = value; break;
      default: FatalMessage("PackLZX: Unknown option [%s]", tokens[t]);
      }
    }
    if (entry.version < 100) FatalMessage("PackLZX: Version error [%s]", source);
    char stored[129];
    if (!FileReadLine(&list, stored, 128)) FatalMessage("PackLZX: No first line");
    if (std::strlen(stored) >= 256) FatalMessage("PackLZX: Filename");
    // The archive holds the name in Windows-1252, whatever this system uses.
    if (!ArchiveNameFromSystem(stored, entry.name, sizeof entry.name)) {
      char shown[4 * sizeof stored + 1];
      ShownText(stored, shown, sizeof shown);
      FatalMessage("PackLZX: name not in Windows-1252 [%s]", shown);
    }

    FileRef file;
    FileRefInit(&file, 1, source);
    entry.size = FileSize(&file);
    FileOpenRead(&file);
    if (records && files < capacity) records[files] = entry;
    ++files;
    // The total is a signed 32-bit count, like the archive's own length.
    if (entry.size > 0x7fffffff - sum) FatalMessage("PackLZX: files too large [%s]", source);
    Hwrite(&entry, sizeof entry, h);
    sum += entry.size;
    for (std::int32_t got; (got = FileRead(&file, sizeof g_copy, g_copy)) > 0;) Hwrite(g_copy, got, h);
    FileClose(&file);
  }
  const std::int32_t size = Hclose(h);
  if (packed) *packed = size;
  if (total) *total = sum;
  FileClose(&list);
  return files;
}
