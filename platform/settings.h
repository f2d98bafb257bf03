// The per-user settings store: per product, text values such as "Location".
#pragma once

#include <cstdint>

struct PlatSettings;

// Opens the product's settings, creating them empty when missing; null on failure.
PlatSettings *PlatSettingsOpen(const char *product);
// Reads a text value with its NUL into out; false when it is missing or does
// not fit capacity bytes.
bool PlatSettingsQuery(PlatSettings *settings, const char *value, char *out, std::uint32_t capacity);
void PlatSettingsClose(PlatSettings *settings);
