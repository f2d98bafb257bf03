#include "updater/shell.h"

#include <cstdio>

#include "platform/shell.h"
#include "updater/config.h"

bool StartDde() { return PlatShellStart(); }

bool SendShellCommand(const char *command) { return PlatShellCommand(command); }

bool AddShellItem(PlatWindow owner, const char *programFile, const char *itemName, const char *parameters,
                  const char *directory) {
  char command[256];
  if (std::snprintf(command, sizeof command, "[ReplaceItem(%s)]", itemName) < static_cast<int>(sizeof command))
    SendShellCommand(command); // the item need not exist
  // A command that does not fit its buffer (a long directory) is refused, not cut.
  const int length = std::snprintf(command, sizeof command, "[AddItem(\"%s\\%s\" %s, \"%s\",,,,,\"%s\")]", directory,
                                   programFile, parameters, itemName, directory);
  if (length >= static_cast<int>(sizeof command) || !SendShellCommand(command)) {
    PlatNotice("SendShellCommand(AddItem) failed", "Error", PlatIcon::None, owner);
    return false;
  }
  return true;
}

bool CreateDemoShellEntries(PlatWindow owner, const char *directory) {
  if (MainProductLine == 1 && DemoMode == 1) {
    if (!SendShellCommand("[CreateGroup(Vorn Demo)]")) {
      PlatNotice("SendShellCommand(CreateGroup) failed!", "Error", PlatIcon::None, owner);
      return false;
    }
    if (!AddShellItem(owner, "VornDemo.exe", "Vorn Demo", "", directory)) return false;
  }
  char command[320];
  const int length = std::snprintf(command, sizeof command, "[AddItem(\"%s\\Uninstall.exe\", \"UnInstall\",,,,,\"%s\")]",
                                   directory, directory);
  if (length >= static_cast<int>(sizeof command) || !SendShellCommand(command)) {
    PlatNotice("Creating UnInstall failed", "Error", PlatIcon::None, owner);
    return false;
  }
  return true;
}
