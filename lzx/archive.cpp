// Unpacking an archive: each record, then its content, written or read past
// according to the version list, the target's existence and the entry's options.
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "fileio/fatal.h"
#include "fileio/path.h"
#include "lzx/lzx.h"
#include "lzx/names.h"
#include "platform/files.h"
#include "platform/text.h"
#include "fileio/replace.h"
#include "fileio/transaction.h"

namespace {

thread_local constinit std::uint8_t g_copy[15011] = {};

// Decides against the version list; updates the list and the entry's state,
// which it returns (kStateNew and kStateUpdated: write).
std::int32_t DecideByList(const ArchiveEntry &entry, ArchiveEntry *list, std::int32_t count, std::int32_t flag) {
  std::int32_t i = 0;
  for (; i < count && list[i].name[0] != '\0'; ++i) {
    if (!SameTextNoCase(list[i].name, entry.name)) continue;
    const bool write = flag != 0 ? list[i].version <= entry.version : list[i].version < entry.version;
    if (write) {
      list[i] = entry;
      list[i].state = kStateUpdated;
    } else {
      list[i].state = kStateUnchanged;
    }
    return list[i].state;
  }
  if (i == count) FatalMessage("UnPackLZX too many files");
  list[i] = entry;
  list[i].state = kStateNew;
  return kStateNew;
}

void Report(const ArchiveEntry &entry, const char *path, UnpackEvent event) {
  if (UnpackReport) UnpackReport(entry, path, event);
}

// A '#' name must stay under the target directory: no leading separator, no
// drive (nor any colon), no ".." component. Both separators count, since
// either reaches the file system on one of the platforms.
bool StaysUnderTarget(const char *relative) {
  if (*relative == '\\' || *relative == '/') return false;
  for (const char *part = relative; *part;) {
    const char *end = part;
    while (*end && *end != '\\' && *end != '/') {
      if (*end == ':') return false;
      ++end;
    }
    if (end - part == 2 && part[0] == '.' && part[1] == '.') return false;
    part = *end ? end + 1 : end;
  }
  return true;
}

// True when a component is one the system would open under another name (a
// trailing dot or blank, a device): such a name could reach a file the
// checks never saw, the version file too, or merge with another entry.
bool SystemAltersName(const char *relative) {
  for (const char *part = relative; *part;) {
    const char *end = part;
    while (*end && *end != '\\' && *end != '/') ++end;
    if (PlatNameIsAltered(part, static_cast<std::size_t>(end - part))) return true;
    part = *end ? end + 1 : end;
  }
  return false;
}

// path with both separators as '\\', "." components dropped and letters
// lowered: two names that give the same text name the same file.
void Canonical(const char *path, char *out) {
  std::size_t n = 0;
  for (const char *p = path; *p && n < kPathSize - 1; ++p) {
    const char c = *p == '/' ? '\\' : *p;
    const bool atStart = p == path || p[-1] == '\\' || p[-1] == '/';
    if (c == '.' && atStart && (p[1] == '\\' || p[1] == '/')) { // "." component
      ++p;
      continue;
    }
    out[n++] = LowerAscii(c);
  }
  out[n] = '\0';
}

// The version file and, beside it, the install's journal.
bool IsProtected(const char *path) {
  if (!UnpackProtectedPath) return false;
  char a[kPathSize], b[kPathSize], directory[kPathSize], journal[kPathSize];
  Canonical(path, a);
  Canonical(UnpackProtectedPath, b);
  PathDirectory(UnpackProtectedPath, directory);
  for (const char *own : {"lzx.jnl", "lzx.lck"}) { // the install's journal and lock
    char name[kPathSize];
    std::snprintf(journal, sizeof journal, "%s%s", directory, own);
    Canonical(journal, name);
    if (std::strcmp(a, name) == 0) return true;
  }
  return std::strcmp(a, b) == 0;
}

} // namespace

thread_local constinit std::int32_t UnpackPlainNames = 1;
thread_local constinit UnpackReportFn UnpackReport = nullptr;
thread_local constinit const char *UnpackProtectedPath = nullptr;

namespace {

// The entry's name as fatal texts show it, in the system's encoding where it
// has the characters: a line feed or a control byte in it could fake another
// line of the text.
const char *Shown(const ArchiveEntry &entry) {
  static char shown[4 * 3 * sizeof entry.name + 1];
  char name[3 * sizeof entry.name];
  ShownText(ArchiveNameForText(entry.name, name, sizeof name), shown, sizeof shown);
  return shown;
}

// The next record of h, checked; false at the end of the archive.
bool NextEntry(HILE *h, ArchiveEntry *entry) {
  const std::int32_t got = Hread(entry, sizeof *entry, h);
  if (got == 0) return false;
  if (got < static_cast<std::int32_t>(sizeof *entry)) FatalMessage("UnPackLZX: target fail");
  entry->name[sizeof entry->name - 1] = '\0'; // a damaged record may lack its terminator
  // A size below 0 is damage; one beyond what the archive still holds would
  // end in the middle of the content: both are refused before any write.
  if (entry->size < 0) FatalMessage("UnPackLZX: bad entry size %d: %s", entry->size, Shown(*entry));
  if (entry->size > h->header.length - Htell(h)) FatalMessage("UnPackLZX: unexpected eof");
  return true;
}

// The entry's target path, after every refusal that its name and the tree
// under target call for; relative gets the part after '#' as the system
// names it (the archive's Windows-1252 converted).
void EntryPath(const ArchiveEntry &entry, const char *target, char *path, char *relative) {
  int length;
  char name[3 * kPathSize];
  if (!ArchiveNameToSystem(entry.name, name, sizeof name))
    FatalMessage("UnPackLZX: a name this system cannot write: %s", Shown(entry));
  CopyText(relative, kPathSize, name[0] == '#' ? name + 1 : "");
  if (name[0] == '#') {
    if (!target) FatalMessage("UnPackLZX no target");
    if (!StaysUnderTarget(relative)) FatalMessage("UnPackLZX: name leaves the target: %s", Shown(entry));
    if (SystemAltersName(relative))
      FatalMessage("UnPackLZX: the system would open this name as another: %s", Shown(entry));
    if (PathHasLinkBelow(target, relative)) FatalMessage("UnPackLZX: link on the way: %s", Shown(entry));
    length = std::snprintf(path, kPathSize, "%s\\%s", target, relative);
  } else {
    if (UnpackPlainNames == 0) FatalMessage("UnPackLZX: name without '#' refused: %s", Shown(entry));
    char shown[4 * kPathSize];
    ShownText(name, shown, sizeof shown);
    length = std::snprintf(path, kPathSize, "%s", shown);
  }
  if (length > 255) FatalMessage("UnPackLZX: path too long: %s", Shown(entry));
  if (IsProtected(path)) FatalMessage("UnPackLZX: entry names the version file: %s", Shown(entry));
}

} // namespace

std::int32_t VerifyLZX(const char *archive, const char *target, std::int64_t *contentBytes) {
  HILE *h = Hopen(archive, "rb");
  std::int32_t entries = 0;
  if (contentBytes) *contentBytes = 0;
  for (ArchiveEntry entry; NextEntry(h, &entry); ++entries) {
    if (contentBytes) *contentBytes += entry.size;
    char path[kPathSize], relative[kPathSize];
    EntryPath(entry, target, path, relative);
    for (std::int32_t left = entry.size; left > 0;) {
      const std::int32_t want = left < static_cast<std::int32_t>(sizeof g_copy) ? left : static_cast<std::int32_t>(sizeof g_copy);
      const std::int32_t n = Hread(g_copy, want, h);
      if (n == 0) FatalMessage("UnPackLZX: unexpected eof");
      left -= n;
    }
  }
  Hclose(h);
  return entries;
}

std::int32_t UnPackLZX(const char *archive, const char *target, ArchiveEntry *list, std::int32_t count,
                       std::int32_t flag) {
  HILE *h = Hopen(archive, "rb");
  if (!h) FatalMessage("UnPackLZX: open fail");
  for (ArchiveEntry entry; NextEntry(h, &entry);) {
    char path[kPathSize], relative[kPathSize];
    EntryPath(entry, target, path, relative);

    char directory[kPathSize];
    PathSplit(path, directory, nullptr, nullptr);
    MakeDirectories(directory); // a failure shows when the file is created
    // Checked again now that the directories exist: one put in place of a
    // directory meanwhile is caught before the write.
    if (entry.name[0] == '#' && PathHasLinkBelow(target, relative))
      FatalMessage("UnPackLZX: link on the way: %s", Shown(entry));

    const bool existed = FileExists(path);
    std::int32_t state = existed ? kStateUpdated : kStateNew; // without a list
    if (list) state = DecideByList(entry, list, count, flag);
    else if (flag == 0 && existed) state = kStateUnchanged;
    bool write = state != kStateUnchanged;
    const bool onlyOver = entry.replaceOnly != 0 && !existed;
    if (onlyOver) write = false;

    // A written entry goes to a temporary file beside its target, which takes
    // the target's place only when it is complete (and unscrambled): a
    // failure part-way leaves the installed file as it was.
    Replacement out;
    if (write) ReplaceBegin(&out, path, 1);
    for (std::int32_t left = entry.size; left > 0;) {
      const std::int32_t want = left < static_cast<std::int32_t>(sizeof g_copy) ? left : static_cast<std::int32_t>(sizeof g_copy);
      const std::int32_t n = Hread(g_copy, want, h);
      if (n == 0) FatalMessage("UnPackLZX: unexpected eof");
      if (write) FileWrite(&out.file, n, g_copy);
      left -= n;
    }
    if (write) {
      // Unscrambled through the staged file's own handle: its name could
      // have been taken by another file meanwhile.
      if (entry.scrambled == 1) ScrambleOpenFile(&out.file);
      ReplaceCommit(&out);
    }
    Report(entry, path, onlyOver && state != kStateUnchanged ? UnpackEvent::ReplaceOnlyMissing
                        : state == kStateNew                  ? UnpackEvent::New
                        : state == kStateUpdated              ? UnpackEvent::Updated
                                                              : UnpackEvent::Unchanged);
    if (entry.deleteAfter != 0) {
      const bool there = FileExists(path) || write;
      if (TransactionActive()) {
        TransactionAddDelete(path); // at the commit, after the entry's own write
      } else {
        FileRef gone;
        FileRefInit(&gone, 1, path);
        FileDelete(&gone);
      }
      if (there) Report(entry, path, UnpackEvent::Deleted);
    }
  }
  return Hclose(h);
}
