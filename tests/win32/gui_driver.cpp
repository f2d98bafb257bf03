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
//   gui_driver fit TITLE EXE TEMPLATE
//                                  measure each text of dialog TITLE with the
//                                  font of EXE's dialog TEMPLATE against its
//                                  control: print "id|text|needed|room" and
//                                  fail when a text is clipped
//   gui_driver icons TITLE EXE TEMPLATE ID...
//                                  fail unless each icon control ID is as large
//                                  as 18x20 dialog units of that template
//   gui_driver pressagain TITLE ID MS
//                                  once a message box is up, press button ID of
//                                  TITLE again (a click, then Enter), then
//                                  print the most message boxes seen at once
//                                  within MS milliseconds; no box is answered
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

INT_PTR CALLBACK Inert(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

// A hidden copy of the program's dialog template, made in this process from
// the program file's resources: the dialog manager gives it the same font and
// dialog units as the dialog on the screen (whose font handle and dialog
// units cannot be asked for from another process).
struct Twin {
  HMODULE module = nullptr;
  HWND dialog = nullptr;
  Twin(const char *exe, int templateId) {
    module = LoadLibraryExA(exe, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (module != nullptr) dialog = CreateDialogParamA(module, MAKEINTRESOURCEA(templateId), nullptr, Inert, 0);
    if (dialog == nullptr) {
      std::fprintf(stderr, "gui_driver: cannot make dialog %d of %s\n", templateId, exe);
      std::exit(2);
    }
  }
  ~Twin() {
    DestroyWindow(dialog);
    FreeLibrary(module);
  }
  RECT Pixels(int w, int h) const {
    RECT r{0, 0, w, h};
    MapDialogRect(dialog, &r);
    return r;
  }
};

int Fit(HWND dialog, const Twin &twin) {
  const HDC dc = GetDC(nullptr);
  const HGDIOBJ previous = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(twin.dialog, WM_GETFONT, 0, 0)));
  // Group boxes and push buttons draw a frame around their text: it needs
  // 5 dialog units on each side.
  const LONG frame = twin.Pixels(5, 0).right;
  int clipped = 0;
  for (HWND c = GetWindow(dialog, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) {
    char kind[64] = {};
    GetClassNameA(c, kind, sizeof kind);
    const LONG type = GetWindowLongA(c, GWL_STYLE) & SS_TYPEMASK;
    LONG margin = 0;
    if (lstrcmpiA(kind, "Button") == 0) margin = frame;
    else if (lstrcmpiA(kind, "Static") != 0 || type == SS_ICON) continue; // the edit field scrolls
    const std::string text = TextOf(c);
    if (text.empty()) continue;
    SIZE need{};
    GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &need);
    need.cx += 2 * margin;
    RECT room{};
    GetClientRect(c, &room);
    const bool fits = need.cx <= room.right && need.cy <= room.bottom;
    std::printf("%d|%s|%ldx%ld|%ldx%ld%s\n", static_cast<short>(GetDlgCtrlID(c)), text.c_str(), need.cx, need.cy,
                room.right, room.bottom, fits ? "" : "|clipped");
    if (!fits) ++clipped;
  }
  SelectObject(dc, previous);
  ReleaseDC(nullptr, dc);
  return clipped == 0 ? 0 : 1;
}

int IconSizes(HWND dialog, const Twin &twin, int count, char **ids) {
  const RECT want = twin.Pixels(18, 20);
  int wrong = 0;
  for (int i = 0; i < count; ++i) {
    RECT has{};
    GetClientRect(GetDlgItem(dialog, std::atoi(ids[i])), &has);
    const bool same = has.right == want.right && has.bottom == want.bottom;
    std::printf("%s|%ldx%ld|%ldx%ld%s\n", ids[i], has.right, has.bottom, want.right, want.bottom, same ? "" : "|wrong");
    if (!same) ++wrong;
  }
  return wrong == 0 ? 0 : 1;
}

int CountBoxes(const char *title) {
  int n = 0;
  for (HWND w = nullptr; (w = FindWindowExA(nullptr, w, "#32770", nullptr)) != nullptr;) {
    if (IsWindowVisible(w) && TextOf(w) != title) ++n;
  }
  return n;
}

} // namespace

int main(int argc, char **argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: gui_driver dump|set|press|box|nobox|gone|fit|icons|pressagain|nowindow TITLE [ARGS]\n");
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
    Press(box, argc == 4 ? std::atoi(argv[3]) : IDOK); // OK, or the button given (4 Retry, 2 Cancel)
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
  } else if ((action == "fit" && argc == 5) || (action == "icons" && argc > 5)) {
    const HWND dialog = WaitFor(title, false);
    Sleep(200);
    const Twin twin(argv[3], std::atoi(argv[4]));
    const int status = action == "fit" ? Fit(dialog, twin) : IconSizes(dialog, twin, argc - 5, argv + 5);
    std::fflush(stdout);
    return status;
  } else if (action == "pressagain" && argc == 5) {
    const HWND dialog = WaitFor(title, false);
    WaitFor(title, true);
    const int id = std::atoi(argv[3]);
    // A click, then Enter: the dialog manager turns Enter into the same
    // command of the default button.
    Press(dialog, id);
    Press(dialog, id);
    int most = 0;
    for (int waited = 0; waited < std::atoi(argv[4]); waited += kStepMs) {
      const int n = CountBoxes(title);
      if (n > most) most = n;
      Sleep(kStepMs);
    }
    std::printf("%d\n", most);
  } else if (action == "nowindow" && argc == 4) {
    // While a program runs that must show nothing: any dialog or message box
    // that becomes visible within the time is reported (TITLE is not used).
    for (int waited = 0; waited < std::atoi(argv[3]); waited += kStepMs) {
      for (HWND w = nullptr; (w = FindWindowExA(nullptr, w, "#32770", nullptr)) != nullptr;) {
        if (!IsWindowVisible(w)) continue;
        std::printf("window|%s\n", TextOf(w).c_str());
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
