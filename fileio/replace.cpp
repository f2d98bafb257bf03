#include "fileio/replace.h"

#include <atomic>
#include <cstdio>
#include <cstring>

#include "fileio/fatal.h"
#include "fileio/path.h"
#include "fileio/transaction.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/system.h"
#include "platform/text.h"
#include "platform/thread.h"

namespace {

// Each process that creates staging files keeps a record of them in the
// user's private temporary directory: "~lzrec" + 8 hexadecimal digits +
// ".lst", held open (so locked) while the process runs and removed at its
// end, two lines per staging file: "- NAME" before it is created, then
// "VOLUME FILE NAME" (hexadecimal) once it exists, or "!" when the name was
// taken and another is tried. A record nobody holds is
// that of a run that was killed: each file it names with an identity is
// removed when it is still that very file; a name without one (the run died
// while creating it) only when the file is empty, as the run left it.
// Nothing else is ever removed, whatever its name.
constexpr char kRecordPattern[] = "~lzrec????????.lst";
PlatFile g_record = 0;   // this process's record, once it has one (not a
                         // registered file: it outlives every other)
bool g_recordFailed = false;
bool g_swept = false;
PlatLock g_recordLock; // the record, the sweep and the table below, one thread at a time

// Every staging file not yet kept, for the boundary of a call that fails
// (StagingRemoveSince): its thread, its number in that thread's count, its
// slot for removal at the end, its name.
constexpr int kTracked = 64;
struct Tracked {
  const void *thread; // null: free
  std::uint32_t serial;
  int endSlot;
  char name[kPathSize];
};
Tracked g_tracked[kTracked];
thread_local constinit char t_threadTag = 0; // its address tells the threads apart

// identity null: the file must be empty instead.
// The shared open fails while a writer holds the file (a live run's staging
// file); another sweeper's shared open does not stop it.
void RemoveIfOurs(const char *name, const PlatIdentity *identity) {
  if (PlatNameKind(name) != PlatKind::Regular || !PlatOwnedByUs(name)) return;
  const PlatFile file = PlatOpen(name, PlatOpenMode::ReadShared);
  if (!file) return;
  PlatIdentity now{};
  const bool ours = identity ? PlatFileIdentity(file, &now) && now.volume == identity->volume && now.file == identity->file
                             : PlatSize(file) == 0;
  PlatClose(file);
  if (ours) PlatDelete(name);
}

// Removes what the records of killed runs name, then those records.
void SweepRecords();

} // namespace

void StagingSweep() {
  if (HostCall) return; // a host's process keeps no records of ours
  const PlatLockHeld held(&g_recordLock);
  SweepRecords();
}

namespace {

void SweepRecords() {
  if (g_swept) return;
  g_swept = true;
  char directory[kPathSize] = {};
  PlatTempDirectory(directory, sizeof directory);
  char pattern[kPathSize];
  if (std::snprintf(pattern, sizeof pattern, "%s%s", directory, kRecordPattern) >= kPathSize) return;
  static char names[4192];
  const std::int32_t count = ListDirectory(names, sizeof names - 1, pattern);
  const char *name = names;
  for (std::int32_t i = 0; i < count; ++i, name += std::strlen(name) + 1) {
    char path[kPathSize];
    if (std::snprintf(path, sizeof path, "%s%s", directory, name) >= kPathSize) continue;
    // A live run holds its record for writing, so the shared open fails; a
    // record that another run is sweeping (reading it, shared) is read here
    // too, so that its files go even if that run is killed meanwhile.
    if (PlatNameKind(path) != PlatKind::Regular || !PlatOwnedByUs(path)) continue;
    const PlatFile record = PlatOpen(path, PlatOpenMode::ReadShared);
    if (!record) continue;
    // Line by line; a line cut by the kill, or too long, is passed over.
    static char buffer[2 * kPathSize + 64];
    static char pending[2 * kPathSize + 2];
    pending[0] = '\0';
    std::uint32_t held = 0, moved = 0;
    for (bool more = true; more;) {
      more = PlatRead(record, buffer + held, static_cast<std::uint32_t>(sizeof buffer - 1 - held), &moved) && moved > 0;
      held += moved;
      buffer[held] = '\0';
      char *start = buffer;
      for (char *end; (end = std::strchr(start, '\n')) != nullptr; start = end + 1) {
        *end = '\0';
        unsigned long long volume = 0, file = 0;
        int used = 0;
        if (start[0] == '!') {
          pending[0] = '\0';
        } else if (start[0] == '-' && start[1] == ' ' && start[2] != '\0') {
          // Only the latest file can lack its identity line: the run died there.
          CopyText(pending, sizeof pending, start + 2);
        } else if (std::sscanf(start, "%llx %llx %n", &volume, &file, &used) == 2 && used > 0 && start[used] != '\0') {
          const PlatIdentity identity{volume, file};
          RemoveIfOurs(start + used, &identity);
          pending[0] = '\0';
        }
      }
      held = static_cast<std::uint32_t>(buffer + held - start);
      if (held == sizeof buffer - 1) held = 0; // no line end in a full buffer: not a line of ours
      std::memmove(buffer, start, held);
    }
    PlatClose(record);
    if (pending[0] != '\0') RemoveIfOurs(pending, nullptr);
    PlatDelete(path);
  }
}

// Appends a line to this process's record, made at the first line.
void RecordLine(const char *line) {
  if (g_recordFailed) return;
  if (g_record == 0) {
    char directory[kPathSize] = {};
    PlatTempDirectory(directory, sizeof directory);
    char name[kPathSize];
    for (int attempt = 0; g_record == 0; ++attempt) {
      std::uint32_t random = 0;
      PlatRandomBytes(&random, sizeof random);
      if (attempt == 20 || std::snprintf(name, sizeof name, "%s~lzrec%08X.lst", directory, static_cast<unsigned>(random)) >= kPathSize) {
        g_recordFailed = true; // without a record, leftovers stay: nothing of anyone's is at risk
        return;
      }
      const int slot = PlatRemoveLater(name, PlatRemoveWhen::AnyEnd);
      g_record = PlatOpen(name, PlatOpenMode::CreateNew);
      if (g_record == 0) PlatForgetLater(slot);
    }
  }
  std::uint32_t moved = 0;
  PlatWrite(g_record, line, static_cast<std::uint32_t>(std::strlen(line)), &moved);
}

// The record's lines for a staging file: before it is created (identity
// null), and once it exists. The name is made absolute: the run that
// sweeps the record may stand in another directory.
void Record(const char *relative, const PlatFile *created) {
  if (std::strchr(relative, '\n')) return; // such a name could not be read back
  char name[2 * kPathSize + 2];
  const bool absolute = relative[0] == '\\' || relative[0] == '/' || (relative[0] != '\0' && relative[1] == ':');
  char current[kPathSize + 2];
  if (absolute) CopyText(name, sizeof name, relative);
  else if (!PlatCurrentDirectory(current, sizeof current) ||
           std::snprintf(name, sizeof name, "%s\\%s", current, relative) >= static_cast<int>(sizeof name))
    return; // not recorded: a leftover stays, nothing of anyone's is at risk
  char line[sizeof name + 40];
  PlatIdentity identity{};
  if (!created) std::snprintf(line, sizeof line, "- %s\n", name);
  else if (PlatFileIdentity(*created, &identity))
    std::snprintf(line, sizeof line, "%llx %llx %s\n", static_cast<unsigned long long>(identity.volume),
                  static_cast<unsigned long long>(identity.file), name);
  else return;
  RecordLine(line);
}

} // namespace

bool StagingName(const char *directory, std::uint32_t random, const char *suffix, char *out) {
  const auto fits = [&](int n) { return n > 0 && n < kPathSize; };
  if (fits(std::snprintf(out, kPathSize, "%s~lz%08X%s", directory, static_cast<unsigned>(random), suffix))) return true;
  if (fits(std::snprintf(out, kPathSize, "%s~%08X", directory, static_cast<unsigned>(random)))) return true;
  return fits(std::snprintf(out, kPathSize, "%s~%04X", directory, static_cast<unsigned>(random & 0xffffu)));
}

namespace {

// The table entry for a staging file just created; -1 when the table is full.
int Track(const char *name, int endSlot) {
  const PlatLockHeld held(&g_recordLock);
  for (int i = 0; i < kTracked; ++i) {
    Tracked &t = g_tracked[i];
    if (t.thread != nullptr) continue;
    t.thread = &t_threadTag;
    t.serial = ResourceNext();
    t.endSlot = endSlot;
    CopyText(t.name, sizeof t.name, name);
    return i;
  }
  PlatForgetLater(endSlot); // untracked: the slot would never be given back
  return -1;
}

} // namespace

int StagingCreate(FileRef *ref, std::int32_t elementSize, const char *directory, const char *errorName) {
  char probe[kPathSize];
  if (!StagingName(directory, 0, ".tmp", probe)) FatalMessage("StagingCreate: name too long [%s]", errorName);
  // A host's process keeps no record and no handler of ours: its call
  // removes what it staged when it fails.
  const bool recorded = !HostCall;
  if (recorded) {
    const PlatLockHeld held(&g_recordLock);
    SweepRecords();
  }
  static std::atomic<std::uint32_t> serial{0};
  char name[kPathSize];
  for (int attempt = 0;; ++attempt) {
    std::uint32_t random = 0;
    PlatRandomBytes(&random, sizeof random);
    random ^= (serial.fetch_add(1) + 1) * 0x9E3779B9u; // distinct even if the random source failed
    StagingName(directory, random, ".tmp", name);
    FileRefInit(ref, elementSize, name);
    // Registered before it exists, so that no moment is left in which an
    // interrupt would leave it behind.
    const int slot = recorded ? PlatRemoveLater(name, PlatRemoveWhen::AnyEnd) : -1;
    if (recorded) {
      const PlatLockHeld held(&g_recordLock);
      Record(name, nullptr);
    }
    if (FileCreateNew(ref)) {
      if (recorded) {
        const PlatLockHeld held(&g_recordLock);
        Record(name, &ref->handle);
      }
      return Track(name, slot);
    }
    PlatForgetLater(slot);
    if (recorded) {
      const PlatLockHeld held(&g_recordLock);
      RecordLine("!\n"); // the name was not ours to create: nothing pending
    }
    // A name that is free but cannot be created: the directory refuses. A
    // taken name (by chance, or planted) gets another try.
    if (PlatNameKind(name) == PlatKind::Missing || attempt == 100) {
      FileRefInit(ref, elementSize, errorName);
      FileError(ref, kErrCreate);
    }
  }
}

void StagingKept(int slot) {
  if (slot < 0 || slot >= kTracked) return;
  int endSlot = -1;
  {
    const PlatLockHeld held(&g_recordLock);
    endSlot = g_tracked[slot].endSlot;
    g_tracked[slot].thread = nullptr;
  }
  PlatForgetLater(endSlot);
}

void StagingRemoveSince(std::uint32_t mark) {
  for (int i = 0; i < kTracked; ++i) {
    char name[kPathSize];
    {
      const PlatLockHeld held(&g_recordLock);
      const Tracked &t = g_tracked[i];
      if (t.thread != &t_threadTag || t.serial <= mark) continue;
      CopyText(name, sizeof name, t.name);
    }
    if (PlatNameKind(name) == PlatKind::Regular) PlatDelete(name);
    StagingKept(i);
  }
}

void ReplaceBegin(Replacement *r, const char *target, std::int32_t elementSize) {
  std::memset(r, 0, sizeof *r);
  r->cleanupSlot = -1;
  if (std::strlen(target) >= sizeof r->target) FatalMessage("ReplaceBegin: name too long [%s]", target);
  CopyText(r->target, sizeof r->target, target);
  FileRefInit(&r->file, elementSize, target);
  if (PlatIsPrinterDevice(target)) {
    FileCreate(&r->file);
    return;
  }
  // The refusals that creating the target itself would give, decided on the
  // name: nothing here opens a pipe or device, or follows a link.
  switch (PlatNameKind(target)) {
  case PlatKind::Directory:
  case PlatKind::Other: FileError(&r->file, kErrCreate);
  case PlatKind::Regular:
    // Where a file open elsewhere cannot be replaced (Windows), that is
    // refused now, unless the person asked closes the other program and
    // tries again; on POSIX the rename replaces it all the same, so nobody
    // who can merely read an installed file can stop an update.
    if (PlatOpenFilesBlockReplace()) {
      bool locked;
      while ((locked = FileIsLocked(target)) && PlatLastErrorIsInUse() && TransactionFileInUse &&
             TransactionFileInUse(target)) {
      }
      if (locked) FileError(&r->file, kErrCreate);
    }
    if (FileIsReadOnly(target)) FileError(&r->file, kErrReadOnly);
    break;
  case PlatKind::Link:    // replaced by the new file, not followed
  case PlatKind::Missing: break;
  }
  char directory[kPathSize];
  PathDirectory(target, directory);
  FileRef staging;
  r->cleanupSlot = StagingCreate(&staging, elementSize, directory, target);
  CopyText(r->staging, sizeof r->staging, staging.name);
  r->file.handle = staging.handle;
}

void ReplaceCommit(Replacement *r) {
  // In an install, the staged file is flushed and waits for the commit.
  if (TransactionActive() && r->staging[0] != '\0') {
    // Closed already when it was passed through the scrambler by name; to
    // flush it, Windows wants it open for writing.
    const PlatFile file = r->file.handle != 0 ? r->file.handle : PlatOpen(r->staging, PlatOpenMode::UpdateOrCreate);
    if (file == 0 || !PlatSync(file)) FileError(&r->file, kErrWrite);
    if (r->file.handle == 0) PlatClose(file);
    FileClose(&r->file);
    TransactionAddSwap(r->staging, r->target);
    StagingKept(r->cleanupSlot);
    r->cleanupSlot = -1;
    return;
  }
  FileClose(&r->file);
  if (r->staging[0] == '\0') return;
  if (!PlatReplace(r->staging, r->target)) FileError(&r->file, kErrRename);
  StagingKept(r->cleanupSlot);
  r->cleanupSlot = -1;
}

const char *ReplaceWrittenName(const Replacement *r) { return r->staging[0] != '\0' ? r->staging : r->target; }
