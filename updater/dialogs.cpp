#include "updater/dialogs.h"

#include <cstring>

#include "fileio/file.h"
#include "platform/notice.h"
#include "updater/config.h"
#include "updater/install.h"
#include "updater/messages.h"
#include "updater/shell.h"

namespace {

constexpr int kInstall = 1;
constexpr int kCancel = 2;

// Set from the moment the install button is accepted until the dialog has
// closed. The closing message has no owner window, so the dialog stays
// enabled behind it; a second click or Enter must not run the install again.
bool g_installing = false;

// Initialisation shared by both procedures, up to and including button 2.
void SetCommonTexts(PlatWindow dialog, int iconGroup) {
  CentreOnScreen(dialog);
  PlatDialogSetText(dialog, 2011, MessageText(9));
  if (PlatDialogSetIcon(dialog, 2001, iconGroup)) PlatDialogSetIcon(dialog, 2013, iconGroup);
  PlatDialogSetTitle(dialog, MessageText(5));
  PlatDialogSetText(dialog, 2012, MessageText(10));
  PlatDialogSetText(dialog, 2017, MessageText(4));
  PlatDialogSetText(dialog, 2014, MessageText(6));
  PlatDialogSetText(dialog, 2015, MessageText(7));
  PlatDialogSetText(dialog, 2016, MessageText(8));
  PlatDialogSetText(dialog, kInstall, MessageText(11));
  PlatDialogSetText(dialog, kCancel, MessageText(12));
}

void InstallRun(std::int32_t leaveEmpty) {
  char path[kPathSize];
  WriteTempArchive(path, leaveEmpty);
  ApplyArchive(path, InstallLocation);
  DeleteTempArchive(path);
}

void Closing(PlatWindow dialog) {
  PlatNotice(MessageText(13), MessageText(14), PlatIcon::Information);
  PlatDialogEnd(dialog, 0);
}

} // namespace

bool InstallerDialogProc(PlatWindow dialog, DialogEvent event, int id) {
  switch (event) {
  case DialogEvent::Init:
    g_installing = false;
    SetCommonTexts(dialog, 1002);
    PlatDialogSetText(dialog, 2020, MessageText(15));
    PlatDialogSetText(dialog, 2021, MessageText(16));
    if (DemoMode == 1) PlatDialogSetText(dialog, 2022, InstallLocation);
    return true;
  case DialogEvent::Command:
    if (g_installing) return true;
    if (id == kInstall) {
      if (DemoMode == 1) {
        char directory[kLocationSize];
        PlatDialogGetText(dialog, 2022, directory, kLocationSize);
        std::size_t n = std::strlen(directory);
        while (n > 1 && directory[n - 1] == '\\') directory[--n] = '\0';
        if (n < 4) return false; // refused silently; the dialog stays open
        std::memcpy(InstallLocation, directory, n + 1);
      }
      g_installing = true;
      InstallRun(0);
      if (DemoMode == 1) {
        InstallRun(1);
        CreateDemoShellEntries(dialog, InstallLocation);
      }
      Closing(dialog);
    } else if (id == kCancel) {
      PlatDialogEnd(dialog, 0);
    }
    return true;
  case DialogEvent::Destroy:
    return true;
  }
  return false;
}

bool OtherLineDialogProc(PlatWindow dialog, DialogEvent event, int id) {
  switch (event) {
  case DialogEvent::Init:
    g_installing = false;
    SetCommonTexts(dialog, 1004);
    // The language chooses which pair of contact lines stays.
    if (LanguageDutch == 1) {
      PlatDialogHide(dialog, 2020);
      PlatDialogHide(dialog, 2021);
    } else {
      PlatDialogHide(dialog, 2018);
      PlatDialogHide(dialog, 2019);
    }
    return true;
  case DialogEvent::Command:
    if (g_installing) return true;
    if (id == kInstall) {
      g_installing = true;
      InstallRun(0);
      Closing(dialog);
    } else if (id == kCancel) {
      PlatDialogEnd(dialog, 0);
    }
    return true;
  case DialogEvent::Destroy:
    return true;
  }
  return false;
}

bool ShowInstallerDialog() {
  if (MainProductLine == 0) PlatDialogRun(&kTemplate3002, OtherLineDialogProc);
  else if (DemoMode == 1) PlatDialogRun(&kTemplate3003, InstallerDialogProc);
  else PlatDialogRun(&kTemplate3001, InstallerDialogProc);
  return true;
}

void CentreOnScreen(PlatWindow window) {
  const PlatRect r = PlatWindowRect(window);
  const int w = r.right - r.left, h = r.bottom - r.top;
  PlatWindowMove(window, (ScreenMetric(8) - w) / 2, (ScreenMetric(10) - h) / 2, w, h);
}

int ScreenMetric(int index) { return PlatDisplayCaps(index); }
