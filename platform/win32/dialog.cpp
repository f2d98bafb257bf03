// The dialog on Windows: the template is a resource of the program, run
// modally with DialogBoxParamA; the application's procedure gets the
// initialisation, the commands (control id in the low 16 bits) and the
// destruction.
#include "platform/dialog.h"
#include "platform/system.h"

#include <windows.h>
#include <commctrl.h>
#include <shlwapi.h>

#include <cstring>

namespace {

DialogProc g_procedure = nullptr; // one modal dialog at a time

INT_PTR CALLBACK Dispatch(HWND window, UINT message, WPARAM first, LPARAM second) {
  switch (message) {
  case WM_INITDIALOG:
    g_procedure = reinterpret_cast<DialogProc>(second);
    return g_procedure(window, DialogEvent::Init, 0) ? TRUE : FALSE;
  case WM_COMMAND:
    return g_procedure && g_procedure(window, DialogEvent::Command, LOWORD(first)) ? TRUE : FALSE;
  case WM_DESTROY:
    return g_procedure && g_procedure(window, DialogEvent::Destroy, 0) ? TRUE : FALSE;
  default:
    return FALSE;
  }
}

HWND Window(PlatWindow window) { return static_cast<HWND>(window); }

} // namespace

int PlatDialogRun(const DialogTemplate *dialogTemplate, DialogProc procedure) {
  const INT_PTR result = DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(dialogTemplate->resourceId),
                                         nullptr, Dispatch, reinterpret_cast<LPARAM>(procedure));
  g_procedure = nullptr;
  return static_cast<int>(result);
}

void PlatDialogEnd(PlatWindow dialog, int result) { EndDialog(Window(dialog), result); }

void PlatDialogSetTitle(PlatWindow dialog, const char *text) { SetWindowTextA(Window(dialog), text); }

void PlatDialogSetText(PlatWindow dialog, int id, const char *text) { SetDlgItemTextA(Window(dialog), id, text); }

void PlatDialogGetText(PlatWindow dialog, int id, char *out, int capacity) {
  if (capacity <= 0) return;
  out[0] = '\0';
  GetDlgItemTextA(Window(dialog), id, out, capacity);
}

void PlatDialogHide(PlatWindow dialog, int id) { ShowWindow(GetDlgItem(Window(dialog), id), SW_HIDE); }

bool PlatDialogSetIcon(PlatWindow dialog, int id, int iconGroup) {
  const HICON icon = LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(iconGroup));
  if (icon == nullptr) return false;
  SendDlgItemMessageA(Window(dialog), id, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
  return true;
}

PlatRect PlatWindowRect(PlatWindow window) {
  RECT r{};
  GetWindowRect(Window(window), &r);
  return PlatRect{r.left, r.top, r.right, r.bottom};
}

void PlatWindowMove(PlatWindow window, int x, int y, int w, int h) { MoveWindow(Window(window), x, y, w, h, FALSE); }

int PlatDisplayCaps(int index) {
  const HDC context = CreateICA("DISPLAY", nullptr, nullptr, nullptr);
  const int value = GetDeviceCaps(context, index);
  DeleteDC(context);
  return value;
}

// Here rather than with the other system facts: only programs with dialogs
// should load the common controls (loading them sets up the desktop).
namespace {
using DllGetVersionProc = HRESULT(CALLBACK *)(DLLVERSIONINFO *);
}

bool PlatDialogToolkitReady() {
  const HMODULE library = LoadLibraryA("comctl32.dll");
  if (library == nullptr) return false;
  bool ready = true;
  const auto proc = reinterpret_cast<DllGetVersionProc>(
      reinterpret_cast<void (*)()>(GetProcAddress(library, "DllGetVersion")));
  if (proc != nullptr) {
    DLLVERSIONINFO info;
    std::memset(&info, 0, sizeof info);
    info.cbSize = sizeof info; // 20 bytes
    ready = proc(&info) == 0;
  }
  FreeLibrary(library);
  if (ready) InitCommonControls();
  return ready;
}
