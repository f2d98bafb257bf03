// The dialog in a terminal: drawn from the template's control table on
// standard output, answered from standard input. Enter or "i" presses the
// default button (1), "c" or the end of input cancels (2); an edit field is
// read as a line first, an empty line keeping its text.
#include "platform/dialog.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string>

#include "platform/text.h"

namespace {

struct TerminalDialog {
  const DialogTemplate *tmpl;
  std::string title;
  std::map<int, std::string> texts;
  std::set<int> hidden;
  bool ended = false;
  int result = 0;
  PlatRect rect{};
};

TerminalDialog *Of(PlatWindow w) { return static_cast<TerminalDialog *>(w); }

std::string TextOf(const TerminalDialog &d, const DialogControl &c) {
  auto it = d.texts.find(c.id);
  return c.id >= 0 && it != d.texts.end() ? it->second : (c.text ? c.text : "");
}

bool Visible(const TerminalDialog &d, const DialogControl &c) { return c.id < 0 || !d.hidden.count(c.id); }

bool Inside(const DialogControl &box, const DialogControl &c) {
  return c.x >= box.x && c.y >= box.y && c.x < box.x + box.w && c.y < box.y + box.h;
}

void PrintLines(const std::string &indent, const std::string &text) {
  std::size_t start = 0;
  for (std::size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1)
    std::printf("%s%s\n", indent.c_str(), text.substr(start, nl - start).c_str());
  std::printf("%s%s\n", indent.c_str(), text.substr(start).c_str());
}

void Draw(const TerminalDialog &d) {
  const DialogTemplate &t = *d.tmpl;
  std::printf("\n==== %s ====\n", d.title.c_str());
  std::set<int> drawn;
  for (int i = 0; i < t.count; ++i) {
    const DialogControl &box = t.controls[i];
    if (box.kind != ControlKind::GroupBox || !Visible(d, box)) continue;
    std::printf("-- %s --\n", TextOf(d, box).c_str());
    for (int j = 0; j < t.count; ++j) {
      const DialogControl &c = t.controls[j];
      if ((c.kind == ControlKind::Text || c.kind == ControlKind::CentredText) && Visible(d, c) && Inside(box, c)) {
        PrintLines("   ", TextOf(d, c));
        drawn.insert(j);
      }
    }
  }
  for (int j = 0; j < t.count; ++j) {
    const DialogControl &c = t.controls[j];
    if ((c.kind == ControlKind::Text || c.kind == ControlKind::CentredText) && Visible(d, c) && !drawn.count(j))
      PrintLines("", TextOf(d, c));
  }
  for (int j = 0; j < t.count; ++j) {
    const DialogControl &c = t.controls[j];
    if (c.kind == ControlKind::Edit && Visible(d, c)) std::printf("[%s]\n", TextOf(d, c).c_str());
  }
  std::string buttons;
  for (int j = 0; j < t.count; ++j) {
    const DialogControl &c = t.controls[j];
    if (c.kind == ControlKind::DefaultButton && Visible(d, c)) buttons += "< " + TextOf(d, c) + " >  ";
    if (c.kind == ControlKind::Button && Visible(d, c)) buttons += "[ " + TextOf(d, c) + " ]  ";
  }
  std::printf("%s\n", buttons.c_str());
}

// Started where nobody can answer (from a desktop launcher or cron: standard
// input is no terminal but a device such as /dev/null, or closed), as
// opposed to input given by a file or a pipe.
bool NobodyToAsk() {
  struct stat st {};
  return isatty(0) == 0 && (fstat(0, &st) != 0 || S_ISCHR(st.st_mode));
}

bool g_answered = false; // some input came

bool ReadLine(std::string &line) {
  char buf[1024];
  if (!std::fgets(buf, sizeof buf, stdin)) {
    // The end of input cancels. Said aloud where nobody could have answered.
    if (!g_answered && NobodyToAsk())
      std::fprintf(stderr, "There is no terminal to show the dialog on, so nothing was installed.\n"
                           "To install without the dialog, run the program with -silent "
                           "(and -logfile=FILE for a log).\n");
    return false;
  }
  g_answered = true;
  line = buf;
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  return true;
}

const DialogControl *EditControl(const DialogTemplate &t) {
  for (int i = 0; i < t.count; ++i)
    if (t.controls[i].kind == ControlKind::Edit) return &t.controls[i];
  return nullptr;
}

} // namespace

int PlatDialogRun(const DialogTemplate *dialogTemplate, DialogProc procedure) {
  TerminalDialog d;
  d.tmpl = dialogTemplate;
  d.title = dialogTemplate->title;
  d.rect = PlatRect{0, 0, dialogTemplate->w, dialogTemplate->h};
  procedure(&d, DialogEvent::Init, 0);
  bool drawn = false;
  while (!d.ended) {
    if (!drawn) Draw(d);
    drawn = true;
    int press = 2;
    const DialogControl *edit = EditControl(*dialogTemplate);
    std::string line;
    if (edit && Visible(d, *edit)) {
      std::printf("%s [%s]: ", "directory", TextOf(d, *edit).c_str());
      std::fflush(stdout);
      if (!ReadLine(line)) {
        procedure(&d, DialogEvent::Command, 2);
        break;
      }
      if (!line.empty()) d.texts[edit->id] = line;
    }
    std::string install = "install", cancel = "cancel";
    for (int j = 0; j < dialogTemplate->count; ++j) {
      const DialogControl &c = dialogTemplate->controls[j];
      if (c.kind == ControlKind::DefaultButton) install = TextOf(d, c);
      if (c.kind == ControlKind::Button) cancel = TextOf(d, c);
    }
    std::printf("Enter or i: %s, c: %s > ", install.c_str(), cancel.c_str());
    std::fflush(stdout);
    if (!ReadLine(line)) press = 2; // end of input cancels
    else if (line.empty() || line == "i" || line == "I") press = 1;
    else if (line == "c" || line == "C") press = 2;
    else continue;
    std::printf("\n");
    procedure(&d, DialogEvent::Command, press);
  }
  procedure(&d, DialogEvent::Destroy, 0);
  return d.result;
}

void PlatDialogEnd(PlatWindow dialog, int result) {
  Of(dialog)->ended = true;
  Of(dialog)->result = result;
}

void PlatDialogSetTitle(PlatWindow dialog, const char *text) { Of(dialog)->title = text; }
void PlatDialogSetText(PlatWindow dialog, int id, const char *text) { Of(dialog)->texts[id] = text; }

void PlatDialogGetText(PlatWindow dialog, int id, char *out, int capacity) {
  const TerminalDialog &d = *Of(dialog);
  std::string text;
  for (int i = 0; i < d.tmpl->count; ++i)
    if (d.tmpl->controls[i].id == id) text = TextOf(d, d.tmpl->controls[i]);
  CopyText(out, static_cast<std::size_t>(capacity), text.c_str());
}

void PlatDialogHide(PlatWindow dialog, int id) { Of(dialog)->hidden.insert(id); }
bool PlatDialogSetIcon(PlatWindow, int, int) { return true; }
PlatRect PlatWindowRect(PlatWindow window) { return Of(window)->rect; }

void PlatWindowMove(PlatWindow window, int x, int y, int w, int h) { Of(window)->rect = PlatRect{x, y, x + w, y + h}; }

int PlatDisplayCaps(int index) { return index == kDisplayWidth ? 80 : index == kDisplayHeight ? 24 : 0; } // a terminal of 80 x 24
