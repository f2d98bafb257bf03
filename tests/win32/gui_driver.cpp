// Drives the updater's dialogs from a second process in the same Wine
// prefix, the way a person would, and reports what it sees on standard output.
//
//   gui_driver dump TITLE          wait for the dialog TITLE; print its window
//                                  rectangle and one line per control:
//                                  "id|class|visible|text"
//   gui_driver set TITLE ID TEXT   put TEXT into control ID (an edit field)
//   gui_driver press TITLE ID      press button ID
//   gui_driver box TITLE           wait for a message box other than TITLE,
//                                  print "caption|text" and press its OK
//   gui_driver nobox TITLE MS      succeed when for MS milliseconds no box
//                                  besides TITLE appears and TITLE stays open
//   gui_driver gone TITLE          wait until no window TITLE is left
//
// Every wait gives up after 20 seconds with status 3.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr int kWaitMs = 20000;
constexpr int kStepMs = 25;

std::string TextOf(HWND window) {
  char text[1024] = {};
  // WM_GETTEXT crosses process boundaries; GetWindowTextA does not for controls.
  SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 2000,
                      nullptr);
  return text;
}

// Line breaks shown as "\n", so that each control stays on one line.
std::string OneLine(const std::string &text) {
  std::string out;
  for (char c : text) {
    if (c == '\r') continue;
    if (c == '\n') out += "\\n";
    else out += c;
  }
  return out;
}

HWND FindDialog(const char *title, bool exclude) {
  for (HWND w = nullptr; (w = FindWindowExA(nullptr, w, "#32770", nullptr)) != nullptr;) {
    if (!IsWindowVisible(w)) continue;
    const bool same = TextOf(w) == title;
    if (same != exclude) return w;
  }
  return nullptr;
}

HWND WaitFor(const char *title, bool exclude) {
  for (int waited = 0; waited < kWaitMs; waited += kStepMs) {
    if (HWND w = FindDialog(title, exclude)) return w;
    Sleep(kStepMs);
  }
  std::fprintf(stderr, "gui_driver: no %s \"%s\" appeared\n", exclude ? "box besides" : "dialog", title);
  std::exit(3);
}

void Press(HWND dialog, int id) {
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

BOOL CALLBACK PrintControl(HWND control, LPARAM) {
  char kind[64] = {};
  GetClassNameA(control, kind, sizeof kind);
  std::printf("%d|%s|%d|%s\n", static_cast<short>(GetDlgCtrlID(control)), kind, IsWindowVisible(control) ? 1 : 0,
              OneLine(TextOf(control)).c_str());
  return TRUE;
}

} // namespace

int main(int argc, char **argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: gui_driver dump|set|press|box|gone TITLE [ID [TEXT]]\n");
    return 64;
  }
  const std::string action = argv[1];
  const char *title = argv[2];
  if (action == "dump") {
    const HWND dialog = WaitFor(title, false);
    Sleep(200); // let the initialisation finish drawing
    RECT r{};
    GetWindowRect(dialog, &r);
    std::printf("rect|%ld|%ld|%ld|%ld\n", r.left, r.top, r.right, r.bottom);
    std::printf("title|%s\n", TextOf(dialog).c_str());
    EnumChildWindows(dialog, PrintControl, 0);
  } else if (action == "set" && argc == 5) {
    const HWND dialog = WaitFor(title, false);
    SendMessageA(GetDlgItem(dialog, std::atoi(argv[3])), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(argv[4]));
  } else if (action == "press" && argc == 4) {
    Press(WaitFor(title, false), std::atoi(argv[3]));
  } else if (action == "box") {
    const HWND box = WaitFor(title, true);
    Sleep(100);
    std::printf("%s|%s\n", TextOf(box).c_str(), OneLine(TextOf(GetDlgItem(box, 0xFFFF))).c_str());
    std::fflush(stdout);
    Press(box, IDOK);
  } else if (action == "nobox" && argc == 4) {
    for (int waited = 0; waited < std::atoi(argv[3]); waited += kStepMs) {
      if (const HWND box = FindDialog(title, true)) {
        std::printf("%s|%s\n", TextOf(box).c_str(), OneLine(TextOf(GetDlgItem(box, 0xFFFF))).c_str());
        return 1;
      }
      if (!FindDialog(title, false)) {
        std::printf("the dialog closed\n");
        return 1;
      }
      Sleep(kStepMs);
    }
  } else if (action == "gone") {
    for (int waited = 0; FindDialog(title, false); waited += kStepMs) {
      if (waited >= kWaitMs) return 3;
      Sleep(kStepMs);
    }
  } else {
    std::fprintf(stderr, "gui_driver: bad action %s\n", action.c_str());
    return 64;
  }
  std::fflush(stdout);
  return 0;
}
