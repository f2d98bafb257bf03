// A modal dialog built from a control table, driven by a dialog procedure.
#pragma once

#include <cstdint>

#include "platform/notice.h"

enum class ControlKind { Icon, GroupBox, Text, CentredText, Edit, DefaultButton, Button };

struct DialogControl {
  int id; // -1 for controls without an id
  ControlKind kind;
  short x, y, w, h; // dialog units
  const char *text; // the template's text
};

struct DialogTemplate {
  int resourceId;
  short w, h;
  const char *title;
  const DialogControl *controls;
  int count;
};

enum class DialogEvent { Init, Command, Destroy };

// Returns true when the event was handled. For Command, id is the control.
using DialogProc = bool (*)(PlatWindow dialog, DialogEvent event, int id);

// Runs the dialog modally until the procedure ends it; returns its result.
int PlatDialogRun(const DialogTemplate *dialogTemplate, DialogProc procedure);
void PlatDialogEnd(PlatWindow dialog, int result);
void PlatDialogSetTitle(PlatWindow dialog, const char *text);
void PlatDialogSetText(PlatWindow dialog, int id, const char *text);
// Reads at most capacity - 1 characters and the NUL.
void PlatDialogGetText(PlatWindow dialog, int id, char *out, int capacity);
void PlatDialogHide(PlatWindow dialog, int id);
// Loads the icon group and sets it into the icon control; false when it does not load.
bool PlatDialogSetIcon(PlatWindow dialog, int id, int iconGroup);

struct PlatRect {
  int left, top, right, bottom;
};
PlatRect PlatWindowRect(PlatWindow window);
void PlatWindowMove(PlatWindow window, int x, int y, int w, int h);
// The display's capability values used: horizontal and vertical resolution.
inline constexpr int kDisplayWidth = 8;
inline constexpr int kDisplayHeight = 10;
// The display's capability value of that index (kDisplayWidth, kDisplayHeight).
int PlatDisplayCaps(int index);
