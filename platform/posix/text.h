// Small helpers of the POSIX layer.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

namespace posix_layer {

// Copies text into out of capacity bytes, cut to fit, always terminated.
inline void CopyOut(const std::string &text, char *out, std::uint32_t capacity) {
  if (capacity == 0) return;
  const std::size_t n = text.size() < capacity - 1 ? text.size() : capacity - 1;
  std::memcpy(out, text.data(), n);
  out[n] = '\0';
}

} // namespace posix_layer
