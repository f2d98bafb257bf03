// The last failure of the POSIX layer, kept like the system's own last-error
// value on the other platform, and its text.
#include "platform/error.h"

#include <cstring>

#include "platform/posix/last_error.h"

namespace {
int g_lastError = 0;
}

namespace posix_layer {
void SetLastError(int error) { g_lastError = error; }
int LastError() { return g_lastError; }
} // namespace posix_layer

const char *PlatLastErrorText() { return std::strerror(posix_layer::LastError()); }
