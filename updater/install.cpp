#include "updater/install.h"

#include <cstdio>

#include "fileio/file.h"
#include "fileio/path.h"
#include "lzx/lzx.h"
#include "lzx/versions.h"
#include "platform/notice.h"
#include "platform/system.h"
#include "updater/config.h"
#include "updater/messages.h"

void WriteTempArchive(char *path, std::int32_t leaveEmpty) {
  char directory[kPathSize] = {};
  PlatTempDirectory(directory, sizeof directory);
  std::snprintf(path, kPathSize, "%sTEMP.LZX", directory);
  FileRef ref;
  FileRefInit(&ref, 1, path);
  FileCreate(&ref);
  if (leaveEmpty == 0) FileWrite(&ref, EmbeddedArchiveLength, EmbeddedArchive);
  FileClose(&ref);
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
    return;
  }
  std::int32_t capacity = 0;
  ArchiveEntry *list = VersionListLoad(versionFile, &capacity);
  UnPackLZX(archivePath, installDirectory, list, capacity, 1);
  const VersionCounts counts = VersionListSettle(list, capacity);
  if (counts.unchanged > 0) {
    char text[1024];
    std::snprintf(text, sizeof text, "%s\n%d bestanden niet vervangen.", MessageText(13), counts.unchanged);
    PlatNotice(text, MessageText(14), PlatIcon::Information);
  }
  VersionListSave(versionFile, list, counts.used);
}

bool DeleteTempArchive(const char *path) {
  FileRef ref;
  FileRefInit(&ref, 1, path);
  return FileDelete(&ref);
}
