// Program-manager entries of a demo install.
#pragma once

#include "platform/notice.h"

bool StartDde();
bool SendShellCommand(const char *command);
bool AddShellItem(PlatWindow owner, const char *programFile, const char *itemName, const char *parameters,
                  const char *directory);
bool CreateDemoShellEntries(PlatWindow owner, const char *directory);
