// The language-dependent texts of the updater, by number (4 to 22).
#pragma once

#include <cstdint>

// Never null; "Unknown" outside 4 to 22. Reads the configuration at each call.
const char *MessageText(std::int32_t id);
