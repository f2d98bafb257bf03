#include "fileio/transaction.h"

#include <cstdio>
#include <cstring>

#include "fileio/fatal.h"
#include "fileio/file.h"
#include "fileio/path.h"
#include "fileio/replace.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/system.h"
#include "platform/text.h"

namespace {

constexpr char kJournalName[] = "lzx.jnl";
constexpr char kHeader[] = "lzx journal 1";

char g_directory[kPathSize];
PlatFile g_journal = 0;
bool g_active = false;
bool g_committing = false;

bool Exists(const char *name) { return PlatNameKind(name) != PlatKind::Missing; }

// ---- names in journal lines ----

// A name as a field: relative to the directory where it lies below it
// (written ".\REST"), every byte that could cut or fake a field as %HH.
void Field(const char *directory, const char *name, char *out, std::size_t size) {
  const std::size_t n = std::strlen(directory);
  const bool below = n > 0 && std::strncmp(name, directory, n) == 0 && (name[n] == '\\' || name[n] == '/');
  std::size_t at = 0;
  if (below) {
    out[at++] = '.';
    name += n; // the separator stays
  }
  for (const char *p = name; *p && at + 4 < size; ++p) {
    const auto c = static_cast<unsigned char>(*p);
    if (c <= ' ' || c == '%' || c == 0x7f || (p == name && !below && c == '.')) {
      std::snprintf(out + at, size - at, "%%%02X", c);
      at += 3;
    } else {
      out[at++] = static_cast<char>(c);
    }
  }
  out[at] = '\0';
}

// The name a field stands for; false when it does not fit.
bool Unfield(const char *directory, const char *field, std::size_t length, char *out) {
  std::size_t at = 0;
  if (length >= 2 && field[0] == '.' && (field[1] == '\\' || field[1] == '/')) {
    const std::size_t n = std::strlen(directory);
    if (n >= kPathSize) return false;
    std::memcpy(out, directory, n);
    at = n;
    ++field;
    --length;
  }
  for (std::size_t i = 0; i < length; ++i) {
    char c = field[i];
    if (c == '%' && i + 2 < length) {
      unsigned value = 0;
      if (std::sscanf(field + i + 1, "%2x", &value) != 1) return false;
      c = static_cast<char>(value);
      i += 2;
    }
    if (at + 1 >= kPathSize) return false;
    out[at++] = c;
  }
  out[at] = '\0';
  return true;
}

bool g_changed = false; // anything staged, made or noted since the journal began

void WriteLine(const char *line) {
  std::uint32_t moved = 0;
  const auto n = static_cast<std::uint32_t>(std::strlen(line));
  if (!PlatWrite(g_journal, line, n, &moved) || moved != n)
    FatalMessage("Install: the journal cannot be written [%s\\%s]: %s", g_directory, kJournalName, PlatLastErrorText());
}

void SyncJournal() {
  if (!PlatSync(g_journal))
    FatalMessage("Install: the journal cannot be written [%s\\%s]: %s", g_directory, kJournalName, PlatLastErrorText());
}

// A name in target's directory that nothing has: "~lz" + 8 hex + suffix.
void FreshName(const char *target, const char *suffix, char *out) {
  char directory[kPathSize];
  PathDirectory(target, directory);
  for (;;) {
    std::uint32_t random = 0;
    PlatRandomBytes(&random, sizeof random);
    if (!StagingName(directory, random, suffix, out)) FatalMessage("Install: name too long [%s]", target);
    if (!Exists(out)) return;
  }
}

// ---- the journal's lines, read back ----

// One parsed line: its word and up to three names.
struct Line {
  char word[8];
  char name[3][kPathSize];
  int names;
};

bool Parse(const char *directory, const char *text, std::size_t length, Line *line) {
  std::memset(line->word, 0, sizeof line->word);
  line->names = 0;
  std::size_t i = 0;
  std::size_t w = 0;
  while (i < length && text[i] != ' ' && w + 1 < sizeof line->word) line->word[w++] = text[i++];
  while (i < length && line->names < 3) {
    ++i; // the blank
    const std::size_t start = i;
    while (i < length && text[i] != ' ') ++i;
    if (!Unfield(directory, text + start, i - start, line->name[line->names])) return false;
    ++line->names;
  }
  return true;
}

// The whole journal in a tracked block (size in *length), or null.
char *ReadJournal(PlatFile file, std::uint32_t *length) {
  const std::uint32_t size = PlatSize(file);
  if (size == kPlatBadPosition || PlatSeek(file, 0, kPlatFromStart) == kPlatBadPosition) return nullptr;
  auto *text = static_cast<char *>(BlockAlloc(static_cast<std::int32_t>(size) + 1, "Journal"));
  std::uint32_t moved = 0;
  if (!PlatRead(file, text, size, &moved) || moved != size) {
    BlockFree(text, "Journal");
    return nullptr;
  }
  text[size] = '\0';
  *length = size;
  return text;
}

// The journal's complete lines (a run killed while writing one leaves the
// rest of it, which never counts), each as its start and end in text.
struct Lines {
  char *text = nullptr;
  std::uint32_t *start = nullptr, *end = nullptr;
  std::int32_t count = 0;
};

bool LoadLines(PlatFile file, Lines *lines) {
  std::uint32_t length = 0;
  lines->text = ReadJournal(file, &length);
  if (!lines->text) return false;
  while (length > 0 && lines->text[length - 1] != '\n') --length;
  std::int32_t count = 0;
  for (std::uint32_t i = 0; i < length; ++i) count += lines->text[i] == '\n';
  lines->start = static_cast<std::uint32_t *>(BlockAlloc(4 * count + 4, "Journal lines"));
  lines->end = static_cast<std::uint32_t *>(BlockAlloc(4 * count + 4, "Journal lines"));
  std::uint32_t at = 0;
  for (std::uint32_t i = 0; i < length; ++i) {
    if (lines->text[i] != '\n') continue;
    lines->start[lines->count] = at;
    lines->end[lines->count++] = i;
    at = i + 1;
  }
  return true;
}

void FreeLines(Lines *lines) {
  BlockFree(lines->start, "Journal lines");
  BlockFree(lines->end, "Journal lines");
  BlockFree(lines->text, "Journal");
}

bool LineAt(const char *directory, const Lines &lines, std::int32_t i, Line *line) {
  return Parse(directory, lines.text + lines.start[i], lines.end[i] - lines.start[i], line);
}

bool Has(const Lines &lines, const char *word) {
  const std::size_t n = std::strlen(word);
  for (std::int32_t i = 0; i < lines.count; ++i)
    if (lines.end[i] - lines.start[i] == n && std::strncmp(lines.text + lines.start[i], word, n) == 0) return true;
  return false;
}

bool Put(const char *from, const char *to) { return PlatReplace(from, to); }

// target kept as backup, asking again while another program holds it.
bool KeepAs(const char *target, const char *backup) {
  while (!PlatKeepAs(target, backup))
    if (!PlatLastErrorIsInUse() || !TransactionFileInUse || !TransactionFileInUse(target)) return false;
  return true;
}

// Puts back what one swap or delete changed. Each step leaves a state from
// which this same function, run again after a kill, goes on correctly; the
// caller marks the line "undid" as soon as it returns true, before anything
// is tidied. committed: the swaps had begun, so a staged file that is gone
// was put in place.
bool RestoreLine(const Line &line, bool committed) {
  const char *target = nullptr, *backup = nullptr;
  if (std::strcmp(line.word, "swap") == 0 && line.names == 3) {
    const char *staged = line.name[0];
    target = line.name[1];
    backup = line.name[2];
    // The new file goes back to its staged name (removed when tidying).
    if (committed && !Exists(staged) && Exists(target) && !PlatRename(target, staged)) return false;
  } else if (std::strcmp(line.word, "delete") == 0 && line.names == 2) {
    target = line.name[0];
    backup = line.name[1];
  } else {
    return true;
  }
  if (!Exists(backup)) return true;
  // A backup beside its target is a second name of it, made just before the
  // run ended; otherwise it is the old file, which goes back.
  return Exists(target) ? PlatDelete(backup) : Put(backup, target);
}

// Undoes an install from its journal (open for reading and writing): every
// swap and delete from the last to the first, each marked "undid N" in the
// journal once done, then the staged files and the directories it made.
bool UndoFromJournal(const char *directory, PlatFile file) {
  Lines lines;
  if (!LoadLines(file, &lines)) return false;
  const bool committed = Has(lines, "commit");
  auto *undid = static_cast<std::uint8_t *>(BlockAlloc(lines.count + 1, "Journal lines"));
  std::memset(undid, 0, static_cast<std::size_t>(lines.count) + 1);
  for (std::int32_t i = 0; i < lines.count; ++i) {
    int n = -1;
    if (std::sscanf(lines.text + lines.start[i], "undid %d", &n) == 1 && n >= 0 && n < lines.count) undid[n] = 1;
  }
  PlatSeek(file, 0, kPlatFromEnd);
  bool ok = true;
  Line line;
  for (std::int32_t i = lines.count - 1; i >= 0; --i) {
    if (undid[i] || !LineAt(directory, lines, i, &line)) continue;
    if (!RestoreLine(line, committed)) {
      ok = false;
      continue;
    }
    char mark[32];
    std::snprintf(mark, sizeof mark, "undid %d\n", static_cast<int>(i));
    std::uint32_t moved = 0;
    PlatWrite(file, mark, static_cast<std::uint32_t>(std::strlen(mark)), &moved);
  }
  if (ok) {
    // Tidying: the staged files, then the directories made (last first).
    for (std::int32_t i = lines.count - 1; i >= 0; --i) {
      if (!LineAt(directory, lines, i, &line)) continue;
      if (std::strcmp(line.word, "swap") == 0 && line.names == 3 && Exists(line.name[0])) PlatDelete(line.name[0]);
      if (std::strcmp(line.word, "dir") == 0 && line.names == 1) PlatRemoveDirectory(line.name[0]);
    }
  }
  BlockFree(undid, "Journal lines");
  FreeLines(&lines);
  return ok;
}

// Removes the backups of a finished install.
void FinishFromJournal(const char *directory, PlatFile file) {
  Lines lines;
  if (!LoadLines(file, &lines)) return;
  Line line;
  for (std::int32_t i = 0; i < lines.count; ++i) {
    if (!LineAt(directory, lines, i, &line)) continue;
    const char *backup = std::strcmp(line.word, "swap") == 0 && line.names == 3     ? line.name[2]
                         : std::strcmp(line.word, "delete") == 0 && line.names == 2 ? line.name[1]
                                                                                    : nullptr;
    if (backup && Exists(backup)) PlatDelete(backup);
  }
  FreeLines(&lines);
}

void DeleteJournal(const char *directory) {
  char name[kPathSize];
  JournalName(directory, name);
  PlatDelete(name);
}

int FatalUndoHere() { return TransactionUndo(); }

void NoteDirectory(const char *name) {
  if (!g_active || g_committing) return;
  PlatOwnLikeDirectory(name, g_directory);
  char field[3 * kPathSize + 8], line[3 * kPathSize + 16];
  Field(g_directory, name, field, sizeof field);
  std::snprintf(line, sizeof line, "dir %s\n", field);
  WriteLine(line);
  g_changed = true;
}

} // namespace

void JournalName(const char *directory, char *name) {
  std::snprintf(name, kPathSize, "%s\\%s", directory, kJournalName);
}

bool JournalPending(const char *directory) {
  char name[kPathSize];
  JournalName(directory, name);
  return Exists(name);
}

void TransactionBegin(const char *directory) {
  CopyText(g_directory, sizeof g_directory, directory);
  PlatWalkBegin(directory); // every file below it from here through folders opened once
  char name[kPathSize];
  // A cut name would be another file's.
  if (std::strlen(directory) + sizeof kJournalName + 1 > kPathSize) FatalMessage("Install: name too long [%s]", directory);
  JournalName(directory, name);
  g_journal = PlatOpen(name, PlatOpenMode::CreateNew);
  if (!g_journal) {
    FileRef ref;
    FileRefInit(&ref, 1, name);
    FileError(&ref, kErrCreate);
  }
  g_active = true;
  g_changed = false;
  g_committing = false;
  FatalUndo = FatalUndoHere;
  DirectoryMade = NoteDirectory;
  char line[64];
  std::snprintf(line, sizeof line, "%s\n", kHeader);
  WriteLine(line);
}

bool TransactionActive() { return g_active; }

void TransactionAddSwap(const char *staging, const char *target) {
  // Under a name of the journal's own, so that nothing that sweeps up after
  // killed runs takes it for a leftover. The line comes first: killed before
  // the rename, the file is still a recorded staging file, swept as such.
  char staged[kPathSize], backup[kPathSize];
  FreshName(target, ".new", staged);
  FreshName(target, ".old", backup);
  char a[3 * kPathSize + 8], b[3 * kPathSize + 8], c[3 * kPathSize + 8], line[9 * kPathSize + 40];
  Field(g_directory, staged, a, sizeof a);
  Field(g_directory, target, b, sizeof b);
  Field(g_directory, backup, c, sizeof c);
  std::snprintf(line, sizeof line, "swap %s %s %s\n", a, b, c);
  WriteLine(line);
  g_changed = true;
  if (!PlatRename(staging, staged)) {
    FileRef ref;
    FileRefInit(&ref, 1, target);
    FileError(&ref, kErrRename);
  }
}

void TransactionAddDelete(const char *target) {
  char backup[kPathSize];
  FreshName(target, ".old", backup);
  char a[3 * kPathSize + 8], b[3 * kPathSize + 8], line[6 * kPathSize + 40];
  Field(g_directory, target, a, sizeof a);
  Field(g_directory, backup, b, sizeof b);
  std::snprintf(line, sizeof line, "delete %s %s\n", a, b);
  WriteLine(line);
  g_changed = true;
}

thread_local constinit TransactionFileInUseFn TransactionFileInUse = nullptr;

void TransactionCommit() {
  // A signal from here to the end waits: the swaps run whole, and the run
  // ends with the installation all new rather than leaving the next run to
  // put it right.
  PlatHoldSignals(true);
  WriteLine("commit\n");
  SyncJournal();
  g_committing = true;
  Lines lines;
  if (!LoadLines(g_journal, &lines)) FatalMessage("Install: the journal cannot be read [%s\\%s]", g_directory, kJournalName);
  PlatSeek(g_journal, 0, kPlatFromEnd);
  Line line;
  for (std::int32_t i = 0; i < lines.count; ++i) {
    if (!LineAt(g_directory, lines, i, &line)) continue;
    if (std::strcmp(line.word, "swap") == 0 && line.names == 3) {
      const char *staged = line.name[0], *target = line.name[1], *backup = line.name[2];
      const bool existed = Exists(target);
      if (existed && !KeepAs(target, backup))
        FatalMessage("Install: cannot replace [%s]: %s", target, PlatLastErrorText());
      if (!Put(staged, target)) FatalMessage("Install: cannot replace [%s]: %s", target, PlatLastErrorText());
      if (!existed) PlatOwnLikeDirectory(target, g_directory);
    } else if (std::strcmp(line.word, "delete") == 0 && line.names == 2) {
      const char *target = line.name[0], *backup = line.name[1];
      if (PlatNameKind(target) == PlatKind::Regular || PlatNameKind(target) == PlatKind::Link) {
        if (!KeepAs(target, backup) || (Exists(target) && !PlatDelete(target)))
          FatalMessage("Install: cannot delete [%s]: %s", target, PlatLastErrorText());
      }
    }
  }
  FreeLines(&lines);
  WriteLine("done\n");
  SyncJournal();
  // From here on the install stands; what is left is tidying.
  FatalUndo = nullptr;
  DirectoryMade = nullptr;
  FinishFromJournal(g_directory, g_journal);
  PlatClose(g_journal);
  g_journal = 0;
  DeleteJournal(g_directory);
  g_active = false;
  g_committing = false;
  PlatWalkEnd();
  PlatHoldSignals(false);
}

int TransactionUndo() {
  if (!g_active) return kUndoNothing;
  FatalUndo = nullptr;
  DirectoryMade = nullptr;
  const bool ok = UndoFromJournal(g_directory, g_journal);
  PlatClose(g_journal);
  g_journal = 0;
  if (ok) DeleteJournal(g_directory);
  g_active = false;
  g_committing = false;
  PlatWalkEnd();
  return !ok ? kUndoFailed : g_changed ? kUndoDone : kUndoNothing;
}

JournalState JournalRecover(const char *directory) {
  StagingSweep(); // staging files of killed runs that had not reached the journal
  char name[kPathSize];
  JournalName(directory, name);
  if (!Exists(name)) return JournalState::None;
  // Put right through the folders as they are now, each opened once.
  struct Walking {
    explicit Walking(const char *root) { PlatWalkBegin(root); }
    ~Walking() { PlatWalkEnd(); }
  } walking(directory);
  const PlatFile file = PlatOpen(name, PlatOpenMode::UpdateOrCreate);
  if (!file) return JournalState::Failed;
  char head[sizeof kHeader + 1] = {};
  std::uint32_t moved = 0;
  const bool read = PlatRead(file, head, sizeof kHeader, &moved);
  if (read && moved < sizeof kHeader && std::strncmp(head, kHeader, moved) == 0) {
    // Killed before its first line was whole: nothing else was done yet.
    PlatClose(file);
    DeleteJournal(directory);
    return JournalState::Undone;
  }
  if (!read || std::strncmp(head, kHeader, sizeof kHeader - 1) != 0 || head[sizeof kHeader - 1] != '\n') {
    PlatClose(file);
    return JournalState::Failed;
  }
  Lines lines;
  const bool loaded = LoadLines(file, &lines);
  const bool done = loaded && Has(lines, "done");
  if (loaded) FreeLines(&lines);
  bool ok = loaded;
  if (done) FinishFromJournal(directory, file);
  else if (ok) ok = UndoFromJournal(directory, file);
  PlatClose(file);
  if (!ok) return JournalState::Failed;
  DeleteJournal(directory);
  return done ? JournalState::Completed : JournalState::Undone;
}
