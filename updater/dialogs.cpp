#include "updater/dialogs.h"

#include <cstring>

#include "fileio/file.h"
#include "platform/notice.h"
#include "updater/config.h"
#include "updater/install.h"
#include "updater/messages.h"
#include "updater/resource.h"
#include "updater/shell.h"
#include "updater/unattended.h"

namespace {

// Set from the moment the install button is accepted until the dialog has
// closed. The closing message has no owner window, so the dialog stays
// enabled behind it; a second click or Enter must not run the install again.
bool g_installing = false;

// Initialisation shared by both procedures, up to and including button 2.
void SetCommonTexts(PlatWindow dialog, int iconGroup) {
  CentreOnScreen(dialog);
  PlatDialogSetText(dialog, IDC_COPYRIGHT, MessageText(kMsgCopyright));
  if (PlatDialogSetIcon(dialog, IDC_ICON_LEFT, iconGroup)) PlatDialogSetIcon(dialog, IDC_ICON_RIGHT, iconGroup);
  PlatDialogSetTitle(dialog, MessageText(kMsgTitle));
  PlatDialogSetText(dialog, IDC_TEAM_BOX, MessageText(kMsgTeamCaption));
  PlatDialogSetText(dialog, IDC_INFO_BOX, MessageText(kMsgInfoCaption));
  PlatDialogSetText(dialog, IDC_INFO_1, MessageText(kMsgInfoLine1));
  PlatDialogSetText(dialog, IDC_INFO_2, MessageText(kMsgInfoLine2));
  PlatDialogSetText(dialog, IDC_INFO_3, MessageText(kMsgInfoLine3));
  PlatDialogSetText(dialog, IDC_INSTALL, MessageText(kMsgInstall));
  PlatDialogSetText(dialog, IDC_CANCEL, MessageText(kMsgCancel));
}

void InstallRun(std::int32_t leaveEmpty) {
  char path[kPathSize];
  WriteTempArchive(path, leaveEmpty);
  ApplyArchive(path, InstallLocation);
  DeleteTempArchive(path);
}

// The closing message, then the dialog's end (no dialog in a silent run).
void Closing(PlatWindow dialog) {
  PlatNotice(MessageText(kMsgDone), MessageText(kMsgDoneCaption), PlatIcon::Information);
  RunOutcome(kSilentDone, "installed");
  if (dialog) PlatDialogEnd(dialog, 0);
}

// The dialog's rule for a typed demo directory: trailing backslashes go, and
// fewer than 4 characters are refused. Takes it as the install location.
bool AcceptDirectory(const char *typed) {
  char directory[kLocationSize];
  CopyText(directory, sizeof directory, typed);
  std::size_t n = std::strlen(directory);
  while (n > 1 && directory[n - 1] == '\\') directory[--n] = '\0';
  if (n < 4) return false;
  std::memcpy(InstallLocation, directory, n + 1);
  return true;
}

// What the install button does once accepted: the install run (twice in
// demo mode, then the program-manager entries) and the closing message.
void InstallAndClose(PlatWindow dialog, bool demoSteps) {
  g_installing = true;
  InstallRun(0);
  if (demoSteps) {
    InstallRun(1);
    if (!CreateDemoShellEntries(dialog, InstallLocation)) RunOutcome(kSilentShellFailed, "program-manager entries failed");
  }
  Closing(dialog);
}

// The two buttons, for both procedures: install (with the demo directory
// and the demo steps when asked), or cancel. Commands are ignored from the
// accepted install press on. False when the typed directory is refused: the
// dialog stays open, without a message.
bool Command(PlatWindow dialog, int id, bool demoSteps) {
  if (g_installing) return true;
  if (id == IDC_INSTALL) {
    if (demoSteps) {
      char directory[kLocationSize];
      PlatDialogGetText(dialog, IDC_DIRECTORY, directory, kLocationSize);
      if (!AcceptDirectory(directory)) return false;
    }
    InstallAndClose(dialog, demoSteps);
  } else if (id == IDC_CANCEL) {
    RunOutcome(kSilentDone, "cancelled");
    PlatDialogEnd(dialog, 0);
  }
  return true;
}

} // namespace

bool InstallerDialogProc(PlatWindow dialog, DialogEvent event, int id) {
  switch (event) {
  case DialogEvent::Init:
    g_installing = false;
    SetCommonTexts(dialog, IDI_VORN);
    PlatDialogSetText(dialog, IDC_MAIL, MessageText(kMsgMail));
    PlatDialogSetText(dialog, IDC_WEB, MessageText(kMsgWeb));
    if (DemoMode == 1) PlatDialogSetText(dialog, IDC_DIRECTORY, InstallLocation);
    return true;
  case DialogEvent::Command:
    return Command(dialog, id, DemoMode == 1);
  case DialogEvent::Destroy:
    return true;
  }
  return false;
}

bool OtherLineDialogProc(PlatWindow dialog, DialogEvent event, int id) {
  switch (event) {
  case DialogEvent::Init:
    g_installing = false;
    SetCommonTexts(dialog, IDI_TALVIK);
    // The language chooses which pair of contact lines stays.
    if (LanguageDutch == 1) {
      PlatDialogHide(dialog, IDC_MAIL);
      PlatDialogHide(dialog, IDC_WEB);
    } else {
      PlatDialogHide(dialog, IDC_OTHER_MAIL);
      PlatDialogHide(dialog, IDC_OTHER_WEB);
    }
    return true;
  case DialogEvent::Command:
    return Command(dialog, id, false);
  case DialogEvent::Destroy:
    return true;
  }
  return false;
}

namespace {

// A silent run: no dialog; what pressing the install button does, with the
// proposed demo directory (or the one of -dir=PATH) under the dialog's rules.
void SilentInstall() {
  const bool directoryField = MainProductLine == 1 && DemoMode == 1;
  if (directoryField) {
    const char *typed = DemoDirectoryOption[0] != '\0' ? DemoDirectoryOption : InstallLocation;
    RunLog("demo directory: %s", typed);
    if (!AcceptDirectory(typed)) {
      RunOutcome(kSilentDirectoryRefused, "demo directory refused (fewer than 4 characters)");
      return;
    }
  }
  InstallAndClose(nullptr, directoryField);
}

} // namespace

bool ShowInstallerDialog() {
  if (SilentMode == 1) {
    SilentInstall();
    return true;
  }
  if (MainProductLine == 1 && DemoMode == 1 && DemoDirectoryOption[0] != '\0')
    CopyText(InstallLocation, sizeof InstallLocation, DemoDirectoryOption); // the dialog proposes it
  if (MainProductLine == 0) PlatDialogRun(&kTemplate3002, OtherLineDialogProc);
  else if (DemoMode == 1) PlatDialogRun(&kTemplate3003, InstallerDialogProc);
  else PlatDialogRun(&kTemplate3001, InstallerDialogProc);
  return true;
}

void CentreOnScreen(PlatWindow window) {
  const PlatRect r = PlatWindowRect(window);
  const int w = r.right - r.left, h = r.bottom - r.top;
  PlatWindowMove(window, (ScreenMetric(kDisplayWidth) - w) / 2, (ScreenMetric(kDisplayHeight) - h) / 2, w, h);
}

int ScreenMetric(int index) { return PlatDisplayCaps(index); }
