// The installer dialog: three templates, two procedures.
#pragma once

#include "platform/dialog.h"

extern const DialogTemplate kTemplate3001; // main line, update mode
extern const DialogTemplate kTemplate3002; // other product line
extern const DialogTemplate kTemplate3003; // main line, demo mode

bool ShowInstallerDialog();
bool InstallerDialogProc(PlatWindow dialog, DialogEvent event, int id);
bool OtherLineDialogProc(PlatWindow dialog, DialogEvent event, int id);
void CentreOnScreen(PlatWindow window);
int ScreenMetric(int index);
