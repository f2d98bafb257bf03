#include "updater/install.h"

#include <cstdio>

#include "fileio/fatal.h"
#include "fileio/file.h"
#include "fileio/path.h"
#include "fileio/transaction.h"
#include "lzx/lzx.h"
#include "lzx/versions.h"
#include "fileio/fatal.h"
#include "platform/files.h"
#include "platform/notice.h"
#include "platform/process.h"
#include "platform/system.h"
#include "platform/text.h"
#include "updater/config.h"
#include "updater/messages.h"
#include "updater/unattended.h"

namespace {
int g_tempCleanup = -1; // removes TEMP.LZX when a signal ends the run

// A file to be replaced that another program holds open: the person at the
// dialog may close that program and try again, or cancel (all is undone).
bool AskFileInUse(const char *target) {
  char holders[512], shown[4 * kPathSize], text[2048];
  const bool known = PlatWhoHolds(target, holders, sizeof holders);
  ShownText(target, shown, sizeof shown);
  if (known) std::snprintf(text, sizeof text, FileInUseFormat(true), shown, holders);
  else std::snprintf(text, sizeof text, FileInUseFormat(false), shown);
  RunLog("in use: %s%s%s", shown, known ? " by " : "", known ? holders : "");
  return PlatAskRetry(text, MessageText(kMsgDoneCaption));
}
} // namespace

void WriteTempArchive(char *path, std::int32_t leaveEmpty) {
  char directory[kPathSize] = {};
  PlatTempDirectory(directory, sizeof directory); // the user's private directory
  // A name cut to fit would be another file's.
  if (std::snprintf(path, kPathSize, "%sTEMP.LZX", directory) >= kPathSize)
    FatalMessage("WriteTempArchive: name too long [%s]", directory);
  // A stale copy of an earlier run goes first; the new file is created only
  // where the name is free, never through a link.
  FileRef ref;
  FileRefInit(&ref, -1, path);
  FileDelete(&ref);
  FileRefInit(&ref, 1, path);
  // Registered first: whatever has this name in our private directory is ours.
  if (g_tempCleanup < 0) g_tempCleanup = PlatRemoveLater(path, PlatRemoveWhen::Signal);
  if (!FileCreateNew(&ref)) FileError(&ref, kErrCreate);
  if (leaveEmpty == 0) FileWrite(&ref, EmbeddedArchiveLength, EmbeddedArchive);
  // What is unpacked must be this very file, not one put in its place.
  PlatPinFile(path, ref.handle);
  FileClose(&ref);
}

void VerifyUpdate(const char *archivePath, const char *installDirectory) {
  // The whole archive is read once before the installation is touched: its
  // blocks and checks, its records, and every entry that unpacking would
  // refuse. A fault ends the run saying that nothing was changed, and
  // TEMP.LZX goes with it.
  const int removal = PlatRemoveLater(archivePath, PlatRemoveWhen::AnyEnd);
  FatalPrefix = DamagedUpdateText();
  std::int64_t bytes = 0;
  const std::int32_t entries = VerifyLZX(archivePath, installDirectory, &bytes);
  FatalPrefix = nullptr;
  PlatForgetLater(removal);
  RunLog("update verified: %d entries, %lld bytes", static_cast<int>(entries), static_cast<long long>(bytes));
  // Every new file is staged beside the old one before any takes its place:
  // the whole update, and a copy of the version file, must fit at once.
  const std::uint64_t need = static_cast<std::uint64_t>(bytes) + 1000000u, free = PlatFreeBytes(installDirectory);
  if (free < need)
    FatalMessage("ApplyArchive: not enough free space in [%s]: %llu more bytes are needed", installDirectory,
                 static_cast<unsigned long long>(need - free));
}

void ApplyArchive(const char *archivePath, const char *installDirectory) {
  // An empty archive (the second run of a demo install) holds no entries:
  // there is nothing to unpack and the version file stays as it is.
  FileRef archive;
  FileRefInit(&archive, 1, archivePath);
  if (FileSize(&archive) == 0) return;

  char versionFile[kPathSize];
  std::snprintf(versionFile, sizeof versionFile, "%s\\%s", installDirectory, "lzx.ver");
  if (!FileExists(versionFile) && MainProductLine == 1 && DemoMode == 0) {
    char text[1024];
    std::snprintf(text, sizeof text, "%s not found", versionFile);
    PlatNotice(text, "Einde", PlatIcon::Information);
    RunOutcome(kSilentNoVersionFile, "version file missing, nothing installed");
    return;
  }
  // From loading the version file to writing it back, the installation is
  // this run's alone, and the install one step: a failure puts it back.
  FatalUndoneText = UndoneText();
  if (SilentMode) FatalUndoneStatus = kSilentRolledBack;
  else TransactionFileInUse = AskFileInUse;
  VersionListLock(installDirectory, versionFile);
  VerifyUpdate(archivePath, installDirectory);
  std::int32_t capacity = 0;
  ArchiveEntry *list = VersionListLoad(versionFile, &capacity);
  UnPackLZX(archivePath, installDirectory, list, capacity, 1);
  const VersionCounts counts = VersionListSettle(list, capacity);
  if (counts.unchanged > 0) {
    char text[1024];
    std::snprintf(text, sizeof text, "%s\n%d bestanden niet vervangen.", MessageText(kMsgDone), counts.unchanged);
    PlatNotice(text, MessageText(kMsgDoneCaption), PlatIcon::Information);
  }
  VersionListSave(versionFile, list, counts.used);
}

bool DeleteTempArchive(const char *path) {
  FileRef ref;
  FileRefInit(&ref, 1, path);
  const bool deleted = FileDelete(&ref);
  PlatPinFile(nullptr, 0);
  PlatForgetLater(g_tempCleanup);
  g_tempCleanup = -1;
  return deleted;
}
