// The coders' output is part of the format: every byte of a compressed file
// must stay what it was when these hashes were taken, whatever is done to
// make the coders faster. The inputs are generated from a fixed seed (raw
// mt19937 output, which the standard fixes), so every platform makes the
// same ones.
#include <random>
#include <string>
#include <vector>

#include "tests/lzx_support.h"
#include "tests/sha256.h"

namespace {

using vorn_test::Bytes;

Bytes Generate(const std::string &kind, std::size_t size) {
  std::mt19937 rng(20031020);
  Bytes out;
  out.reserve(size);
  static const char *const words[] = {"the", "update", "of", "Vorn", "help", "file", "version", "install", "and",
                                      "directory", "a", "to", "is", "program", "manager", "dialog", "block",
                                      "compressed", "archive", "with", "for", "user", "Dutch", "online", "not"};
  if (kind == "text") {
    while (out.size() < size) {
      const auto r = static_cast<std::uint32_t>(rng());
      const std::string w = words[(r % 25) * (r % 25) / 25]; // favours the first words
      out.insert(out.end(), w.begin(), w.end());
      out.push_back((r >> 8) % 11 == 0 ? '\n' : ' ');
    }
  } else if (kind == "source") {
    for (int line = 0; out.size() < size; ++line) {
      const auto r = static_cast<std::uint32_t>(rng());
      const std::string s = "  if (" + std::string(words[r % 25]) + "_" + std::to_string(r % 97) + " > " +
                            std::to_string((r >> 8) % 1000) + ") return Hread(block, " + std::to_string(line % 64) +
                            ", h);\n";
      out.insert(out.end(), s.begin(), s.end());
    }
  } else if (kind == "binary") {
    while (out.size() < size) {
      const auto r = static_cast<std::uint32_t>(rng());
      const std::uint32_t pick = r % 4;
      const std::uint32_t value = pick == 0 ? r : pick == 1 ? (r >> 20) : pick == 2 ? 0x8b48u : 0;
      for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
  } else if (kind == "random") {
    while (out.size() < size) out.push_back(static_cast<std::uint8_t>(rng()));
  } else if (kind == "rows") {
    for (int row = 0; out.size() < size; ++row) {
      for (int c = 0; c < 64; ++c)
        out.push_back(row % 3 == 2 ? 0xff : static_cast<std::uint8_t>(row % 3 == 0 ? c * 3 : static_cast<int>(rng() % 8)));
    }
  } else { // runs, with bytes in 0x80-0x8f among them
    while (out.size() < size) {
      const auto r = static_cast<std::uint32_t>(rng());
      out.insert(out.end(), 1 + r % 40, static_cast<std::uint8_t>(0x78 + (r >> 8) % 24));
    }
  }
  out.resize(size);
  return out;
}

struct Golden {
  const char *kind;
  const char *mode;
  const char *sha256; // of the whole compressed file
};

// Taken with the coders as first written, before any optimisation.
const Golden kGolden[] = {
#include "tests/golden_hashes.inc"
};

class GoldenOutput : public vorn_test::ScratchTest {};

TEST_F(GoldenOutput, CompressedFilesKeepEveryByte) {
  for (const Golden &g : kGolden) {
    const Bytes input = Generate(g.kind, 150000);
    const std::string name = std::string("golden-") + g.kind + ".lzx";
    vorn_test::WriteCompressed(name, input, g.mode);
    EXPECT_EQ(vorn_test::Sha256(vorn_test::ReadFile(name)), g.sha256) << g.kind << " " << g.mode;
    EXPECT_EQ(vorn_test::ReadCompressed(name), input) << g.kind << " " << g.mode;
  }
}

} // namespace
