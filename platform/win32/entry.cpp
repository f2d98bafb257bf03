// The Windows entry point: the instance handle and the argument text of the
// command line (the previous instance and the show state are not used).
#include <windows.h>

#include "platform/entry.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR arguments, int) {
  return UpdaterMain(instance, arguments ? arguments : "");
}
