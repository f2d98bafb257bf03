// Helpers for tests of compressed files and archives.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "lzx/lzx.h"
#include "tests/support.h"

namespace vorn_test {

// Writes data as a compressed file in the given mode; returns Hclose's size.
inline std::int32_t WriteCompressed(const std::string &name, const Bytes &data, const char *mode = "wb") {
  HILE *h = Hopen(name.c_str(), mode);
  if (!data.empty()) Hwrite(data.data(), static_cast<std::int32_t>(data.size()), h);
  return Hclose(h);
}

inline Bytes ReadCompressed(const std::string &name) {
  HILE *h = Hopen(name.c_str(), "rb");
  Bytes out(static_cast<std::size_t>(h->header.length) + 1);
  const std::int32_t n = Hread(out.data(), static_cast<std::int32_t>(out.size()), h);
  out.resize(static_cast<std::size_t>(n));
  Hclose(h);
  return out;
}

struct StoredFile {
  std::string name;
  Bytes content;
  std::int32_t version = 100;
  std::int32_t scrambled = 0, deleteAfter = 0, replaceOnly = 0;
};

inline ArchiveEntry Record(const StoredFile &f) {
  ArchiveEntry e;
  std::memset(&e, 0, sizeof e);
  std::strncpy(e.name, f.name.c_str(), sizeof e.name - 1);
  e.size = static_cast<std::int32_t>(f.content.size());
  e.version = f.version;
  e.scrambled = f.scrambled;
  e.deleteAfter = f.deleteAfter;
  e.replaceOnly = f.replaceOnly;
  return e;
}

// The uncompressed archive content: record, content, record, content, ...
inline Bytes ArchiveBytes(const std::vector<StoredFile> &files) {
  Bytes out;
  for (const StoredFile &f : files) {
    const ArchiveEntry e = Record(f);
    const auto *p = reinterpret_cast<const std::uint8_t *>(&e);
    out.insert(out.end(), p, p + sizeof e);
    out.insert(out.end(), f.content.begin(), f.content.end());
  }
  return out;
}

inline void WriteArchive(const std::string &name, const std::vector<StoredFile> &files) {
  WriteCompressed(name, ArchiveBytes(files));
}

inline std::string AsText(const Bytes &b) { return std::string(b.begin(), b.end()); }

} // namespace vorn_test
