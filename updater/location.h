// Where the product is installed, and which version, from the per-user settings.
#pragma once

#include "platform/settings.h"

bool LookupLocation();
bool ReadProductKey(const char *productName);
bool OpenProductKey(const char *productName, PlatSettings **key);
