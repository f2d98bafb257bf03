#include "updater/location.h"

#include "platform/system.h"
#include "updater/config.h"

bool OpenProductKey(const char *productName, PlatSettings **key) {
  *key = PlatSettingsOpen(productName);
  return *key != nullptr;
}

bool ReadProductKey(const char *productName) {
  PlatSettings *key = nullptr;
  if (!OpenProductKey(productName, &key)) return false;
  bool ok = PlatSettingsQuery(key, "Location", InstallLocation, kLocationSize);
  if (ok && MainProductLine == 1 && DemoMode == 0) ok = PlatSettingsQuery(key, "Version", InstalledVersion, kLocationSize);
  PlatSettingsClose(key);
  return ok;
}

bool LookupLocation() {
  if (MainProductLine == 1 && DemoMode == 1) {
    PlatProgramDirectory("Vorn Demo", InstallLocation, kLocationSize);
    return true;
  }
  return ReadProductKey(MainProductLine == 1 ? "Vorn" : "Talvik");
}
