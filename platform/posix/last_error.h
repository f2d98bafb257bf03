// The POSIX layer's record of the last failed call, like the system's own
// last-error value on the other platform.
#pragma once

namespace posix_layer {
void SetLastError(int error);
int LastError();
} // namespace posix_layer
