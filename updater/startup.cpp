#include "updater/startup.h"

#include <cstdio>
#include <cstring>

#include "fileio/fatal.h"
#include "fileio/file.h"
#include "fileio/log.h"
#include "fileio/path.h"
#include "fileio/transaction.h"
#include "platform/notice.h"
#include "platform/process.h"
#include "platform/text.h"
#include "platform/system.h"
#include "updater/config.h"
#include "updater/dialogs.h"
#include "updater/location.h"
#include "updater/messages.h"
#include "updater/shell.h"
#include "updater/unattended.h"

std::int32_t LanguageDutch = 0;
std::int32_t LogEnabled = 0;
PlatInstance Instance = nullptr;
char InstallLocation[kLocationSize];
char InstalledVersion[kLocationSize];

namespace {

constexpr int kTokenSlots = 50; // placeholder, 48 tokens, end mark

} // namespace

bool CheckWindowsVersion() {
  const std::uint32_t version = PlatSystemVersion();
  const unsigned major = version & 0xff, minor = (version >> 8) & 0xff;
  if (major >= 4) return true;
  char text[100];
  std::snprintf(text, sizeof text, "Vorn werkt niet onder Windows 3.1 [%d, %d]", major, minor);
  PlatNotice(text, "Einde", PlatIcon::Information);
  return false;
}

namespace {

// Cuts text into blank-separated words in place, into tokens[1..]; a double
// quote starts or ends a stretch in which blanks do not cut (the quotes
// themselves are dropped), so that option values may hold blanks
// (-logfile="C:\My Logs\u.log"). starts[i] is where word i began in text.
int Words(char *text, const char **tokens, std::size_t *starts, int slots) {
  int n = 1;
  char *p = text;
  while (*p && n < slots) {
    while (*p == ' ') ++p;
    if (!*p) break;
    starts[n] = static_cast<std::size_t>(p - text);
    tokens[n++] = p;
    char *out = p;
    bool quoted = false;
    for (; *p && (quoted || *p != ' '); ++p) {
      if (*p == '"') quoted = !quoted;
      else *out++ = *p;
    }
    const bool more = *p != '\0';
    *out = '\0';
    if (more) ++p;
  }
  return n;
}

} // namespace

bool ParseOptions(const char *arguments) {
  static char buffer[260];
  std::memset(buffer, 0, sizeof buffer);
  std::strncpy(buffer, arguments, 259);
  buffer[259] = '\0';
  static const char placeholder[] = "update";
  const char *tokens[kTokenSlots];
  std::size_t starts[kTokenSlots];
  tokens[0] = placeholder;
  const int n = Words(buffer, tokens, starts, kTokenSlots - 1);
  tokens[n] = nullptr; // tokens past the 48th are not looked at
  // The unattended options must lie whole within the 259 characters and 48
  // words that count: one cut off, or cut short, would change what the run
  // does (nothing installed, or another folder), so the run is refused.
  static char whole[64 * 1024];
  CopyText(whole, sizeof whole, arguments);
  const char *all[4096];
  std::size_t allStarts[4096];
  all[0] = placeholder;
  const int total = Words(whole, all, allStarts, 4096);
  for (int i = 1; i < total; ++i) {
    const bool lost = i >= n || allStarts[i] != starts[i] || std::strcmp(all[i], tokens[i]) != 0;
    if (lost && IsUnattendedOption(all[i]))
      FatalMessage("Start: the option %.60s lies beyond the 259 characters and 48 words of the command line: "
                   "nothing was done",
                   all[i]);
  }
  for (int i = 1; i < n; ++i) {
    if (SameTextNoCase(tokens[i], "-log")) LogEnabled = 1;
    else if (SameTextNoCase(tokens[i], "-dut")) LanguageDutch = 1;
    else if (SameTextNoCase(tokens[i], "-eng")) LanguageDutch = 0;
    else TakeUnattendedOption(tokens[i]);
  }
  return true;
}

bool ProbeRunning(const char *name) { return PlatProbeRunning(name); }

void RecoverInterruptedInstall(const char *directory) {
  // An install that was interrupted (killed, a power loss) left its journal:
  // it is completed or undone before anything else looks at the files. An
  // install running now holds the directory and finishes its own.
  if (!JournalPending(directory) || !DirectoryHold(directory)) return;
  const JournalState state = JournalRecover(directory);
  DirectoryRelease();
  RunLog("interrupted install in %s: %s", directory,
         state == JournalState::Completed ? "completed"
         : state == JournalState::Undone  ? "undone"
                                          : "could not be put right");
}

bool CommonControlsReady() { return PlatDialogToolkitReady(); }

int UpdaterMain(PlatInstance instance, const char *arguments) {
  Instance = instance;
  LanguageDutch = (PlatSystemLanguage() & 0x3ff) == 0x13 ? 1 : 0;
  if (!CheckWindowsVersion()) PlatExit(0);
  ParseOptions(arguments);
  UnattendedStart(arguments);
  RunLog("system version: newer than 3.x");
  if (MainProductLine == 0) {
    if (ProbeRunning("Talvik")) {
      PlatNotice(MessageText(kMsgOtherRunning), MessageText(kMsgEndCaption), PlatIcon::Information);
      RunOutcome(kSilentRunning, "other software of the line is running");
      PlatExit(1);
    }
  } else if (ProbeRunning("Quillon")) {
    PlatNotice(MessageText(kMsgRunning), MessageText(kMsgEndCaption), PlatIcon::Information);
    RunOutcome(kSilentRunning, "the product is running");
    PlatExit(1);
  }
  RunLog("product running: no");
  if (!CommonControlsReady()) InternalError("UPDATER", 2283, 5679);
  RegistryReset();
  if (LogEnabled == 1) LogStart(0);
  const bool shell = StartDde();
  if (!shell || !LookupLocation()) {
    RunLog(shell ? "installation: not found" : "program manager: cannot be reached");
    PlatNotice(MessageText(MainProductLine == 1 ? kMsgNotFound : kMsgOtherNotFound), MessageText(kMsgEndCaption),
               PlatIcon::Error);
    RunOutcome(kSilentNotFound, "installation not found");
  } else if (MainProductLine == 1 && DemoMode == 0) {
    RunLog("installation: %s, version %s", InstallLocation, InstalledVersion);
    RecoverInterruptedInstall(InstallLocation);
    // The version gate: the first byte, as a signed value, must be at least '2'.
    if (static_cast<signed char>(InstalledVersion[0]) >= '2') {
      ShowInstallerDialog();
    } else {
      PlatNotice(MessageText(kMsgTooOld), MessageText(kMsgEndCaption), PlatIcon::Error);
      RunOutcome(kSilentTooOld, "installed version too old");
    }
  } else {
    RunLog("installation: %s", InstallLocation);
    RecoverInterruptedInstall(InstallLocation);
    ShowInstallerDialog();
  }
  if (LogEnabled == 1) LogStop();
  if (RegistryAnyOpen()) InternalError("UPDATER", 2317, 4000);
  return RunExitStatus();
}
