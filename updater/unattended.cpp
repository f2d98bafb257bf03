#include "updater/unattended.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include "fileio/fatal.h"
#include "fileio/file.h"
#include "lzx/lzx.h"
#include "lzx/names.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/notice.h"
#include "platform/text.h"
#include "updater/config.h"

std::int32_t SilentMode = 0;
char LogFilePath[kLocationSize];
char DemoDirectoryOption[kLocationSize];

namespace {

SilentStatus g_outcome = kSilentDone;
bool g_outcomeSet = false;
bool g_writing = false; // a failure while a line is written must not write again
bool g_logFailed = false;
PlatFile g_log = 0; // the log, open from its first line to the end

// The text of an option of the form NAME=VALUE, or null.
const char *OptionValue(const char *token, const char *name) {
  const std::size_t n = std::strlen(name);
  char head[16];
  if (n >= sizeof head || std::strlen(token) < n) return nullptr;
  std::memcpy(head, token, n);
  head[n] = '\0';
  return SameTextNoCase(head, name) ? token + n : nullptr;
}

// One line for one event: line breaks of a message become " / ".
std::string OneLine(const char *text) {
  std::string out;
  for (const char *p = text ? text : ""; *p; ++p) {
    if (*p == '\r') continue;
    if (*p == '\n') out += " / ";
    else out += *p;
  }
  return out;
}

int LogNotice(const char *text, const char *caption, PlatIcon icon, PlatWindow owner) {
  RunLog("message [%s] %s", OneLine(caption).c_str(), OneLine(text).c_str());
  if (!SilentMode) return PlatNoticeShow(text, caption, icon, owner);
  // Silent: nothing waits for a person; where notices are only written out
  // (standard error on POSIX), they still are.
  if (!PlatNoticeWaitsForPerson()) PlatNoticeShow(text, caption, icon, owner);
  return kPlatButtonOk;
}

// An archive's name (Windows-1252) as the log, in the system's encoding, shows it.
std::string SystemName(const char *stored) {
  char name[3 * kPathSize];
  return ArchiveNameForText(stored, name, sizeof name);
}

void LogFatalEnd(const char *) { RunLog("end: fatal error, status %d", kSilentFatal); }

void LogEntry(const ArchiveEntry &entry, const char *target, UnpackEvent event) {
  // One text per event, in the order of UnpackEvent.
  static const char *const kWhat[] = {"new", "updated", "unchanged (a higher version is installed)",
                                      "not written (it only replaces an existing file)", "deleted"};
  static_assert(sizeof kWhat / sizeof kWhat[0] == static_cast<std::size_t>(UnpackEvent::Deleted) + 1);
  RunLog("entry %s version %d: %s: %s", SystemName(entry.name).c_str(), static_cast<int>(entry.version), kWhat[static_cast<int>(event)],
         target);
}

const char *ProgramName() {
  if (MainProductLine == 1) return DemoMode == 1 ? "vorn-demo" : "vorn-update";
  return DemoMode == 1 ? "talvik-demo" : "talvik-update";
}

} // namespace

bool IsUnattendedOption(const char *token) {
  return SameTextNoCase(token, "-silent") || OptionValue(token, "-logfile=") || OptionValue(token, "-dir=");
}

bool TakeUnattendedOption(const char *token) {
  if (SameTextNoCase(token, "-silent")) {
    SilentMode = 1;
  } else if (const char *path = OptionValue(token, "-logfile=")) {
    CopyText(LogFilePath, sizeof LogFilePath, path);
  } else if (const char *dir = OptionValue(token, "-dir=")) {
    CopyText(DemoDirectoryOption, sizeof DemoDirectoryOption, dir);
  } else {
    return false;
  }
  return true;
}

void UnattendedStart(const char *arguments) {
  if (SilentMode == 0 && LogFilePath[0] == '\0') return;
  PlatSetNoticeHook(LogNotice);
  FatalEndHook = LogFatalEnd;
  UnpackReport = LogEntry;
  RunLog("start: %s (%s, %s mode), %s, options: %s", ProgramName(), MainProductLine == 1 ? "Vorn" : "Talvik",
         DemoMode == 1 ? "demo" : "update", LanguageDutch == 1 ? "Dutch" : "English", arguments);
  // Which update this program carries, as the build listed it.
  std::int32_t highest = 0;
  for (std::int32_t i = 0; i < EmbeddedEntryCount; ++i)
    if (EmbeddedEntries[i].version > highest) highest = EmbeddedEntries[i].version;
  RunLog("carried update: version %d.%02d, %d %s, %d bytes packed", static_cast<int>(highest / 100),
         static_cast<int>(highest % 100), static_cast<int>(EmbeddedEntryCount), EmbeddedEntryCount == 1 ? "entry" : "entries",
         static_cast<int>(EmbeddedArchiveLength));
  for (std::int32_t i = 0; i < EmbeddedEntryCount; ++i)
    RunLog("carried: %s version %d, %d bytes", SystemName(EmbeddedEntries[i].name).c_str(), static_cast<int>(EmbeddedEntries[i].version),
           static_cast<int>(EmbeddedEntries[i].size));
}

void RunLog(const char *format, ...) {
  if (LogFilePath[0] == '\0' || g_writing || g_logFailed) return;
  g_writing = true;
  char text[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  // One line whatever a name in it holds (no line feed, no control byte),
  // stamped, and appended in one write: lines of runs logging to the same
  // file at once never mix, and no lock can make a run wait or fail.
  char line[1024 * 4 + 32];
  const std::time_t now = std::time(nullptr);
  const std::size_t stamp = std::strftime(line, sizeof line, "%Y-%m-%d %H:%M:%S ", std::localtime(&now));
  ShownText(text, line + stamp, sizeof line - stamp - 1);
  std::strcat(line, "\n");
  if (g_log == 0) g_log = PlatOpenSharedLog(LogFilePath);
  if (g_log == 0 || !PlatAppend(g_log, line, static_cast<std::uint32_t>(std::strlen(line)))) {
    // Told once; the install goes on as it would without a log.
    g_logFailed = true;
    char why[kLocationSize + 256];
    std::snprintf(why, sizeof why, "The log cannot be written: %s\n%s", LogFilePath, PlatLastErrorText());
    if (!SilentMode || !PlatNoticeWaitsForPerson()) PlatNoticeShow(why, "Log", PlatIcon::Information, nullptr);
  }
  g_writing = false;
}

void RunOutcome(SilentStatus status, const char *what) {
  if (g_outcomeSet) return;
  g_outcomeSet = true;
  g_outcome = status;
  // Without -silent only the running product and a fatal error have statuses of their own.
  RunLog("end: %s, status %d", what, SilentMode || status == kSilentRunning ? status : 0);
}

int RunExitStatus() { return SilentMode ? g_outcome : 0; }
