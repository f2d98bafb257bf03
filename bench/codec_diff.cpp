// Our coders against those of the baseline commit (namespace base), on
// generated blocks, on the blocks of any files named, and on damaged copies
// of their coded forms: every coded and decoded byte, every returned count
// and every fatal text must be the same. Prints the count of cases, or the
// first one where the two part, and exits 1.
//
//   vorn-codec-diff [--cases N] [--seed S] [FILE...]
#include <algorithm>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "bench/baseline.h"
#include "fileio/fatal.h"
#include "lzx/codec/bits.h"
#include "lzx/codec/huf.h"
#include "lzx/codec/lz.h"
#include "lzx/codec/rle.h"
#include "lzx/codec/rows.h"

namespace {

std::jmp_buf g_jump;
std::string g_fatal;

[[noreturn]] void OnFatal(const char *text) {
  g_fatal = text;
  std::longjmp(g_jump, 1);
}

// What one call left: its result or its fatal text, and the bytes it wrote.
struct Outcome {
  std::string fatal;
  std::int64_t result = 0;
  std::vector<std::uint8_t> bytes;
  bool operator==(const Outcome &) const = default;
};

template <class F> Outcome Guarded(F f) {
  Outcome o;
  g_fatal.clear();
  if (setjmp(g_jump) == 0) o.result = f();
  else o.fatal = g_fatal;
  return o;
}

std::mt19937 g_rng;
std::uint32_t Below(std::uint32_t n) { return static_cast<std::uint32_t>(g_rng() % n); }

constexpr int kBitBytes = kBitBufferSize + 16; // both BitBuffers are at least this long

// A block with some of everything: runs, repeats at every distance, bytes
// from small and full alphabets, escapes of the run-length stage.
void MakeBlock(std::uint8_t *b) {
  const std::uint32_t alphabet = 1u + Below(256);
  const std::uint32_t style = Below(5);
  for (int i = 0; i < kBlockSize;) {
    const std::uint32_t what = Below(10);
    if (style == 0 || what < 4 || i < 8) {
      b[i++] = static_cast<std::uint8_t>(Below(alphabet) + (style == 1 ? 0x78 : 0));
    } else if (what < 6) {
      const int n = 1 + static_cast<int>(Below(40));
      const auto v = static_cast<std::uint8_t>(Below(256));
      for (int k = 0; k < n && i < kBlockSize; ++k) b[i++] = v;
    } else {
      const int d = 1 + static_cast<int>(Below(static_cast<std::uint32_t>(std::min(i, 1100))));
      const int n = 3 + static_cast<int>(Below(what == 9 ? 300 : 20));
      for (int k = 0; k < n && i < kBlockSize; ++k, ++i) b[i] = b[i - d];
    }
  }
}

long g_cases = 0;

[[noreturn]] void Differ(const char *what, const Outcome &ours, const Outcome &base) {
  std::fprintf(stdout, "vorn-codec-diff: %s differs after %ld cases: ours \"%s\" %lld (%zu bytes), base \"%s\" %lld (%zu bytes)\n",
               what, g_cases, ours.fatal.c_str(), static_cast<long long>(ours.result), ours.bytes.size(),
               base.fatal.c_str(), static_cast<long long>(base.result), base.bytes.size());
  std::exit(1);
}

void Same(const char *what, const Outcome &ours, const Outcome &base) {
  ++g_cases;
  if (!(ours == base)) Differ(what, ours, base);
}

// Decodes the coded bytes with both decoders (huffman or LZ) for bit count bits.
void Decode(bool huffman, const std::vector<std::uint8_t> &coded, std::int32_t bits) {
  std::memcpy(BitBuffer, coded.data(), kBitBytes);
  std::memcpy(base::BitBuffer, coded.data(), kBitBytes);
  Outcome ours = Guarded([&] { return huffman ? HufUnpack(bits) : LzxUnpack(bits); });
  Outcome base = Guarded([&] { return huffman ? base::HufUnpack(bits) : base::LzxUnpack(bits); });
  if (ours.fatal.empty()) ours.bytes.assign(BlockBuffer, BlockBuffer + ours.result);
  if (base.fatal.empty()) base.bytes.assign(base::BlockBuffer, base::BlockBuffer + base.result);
  Same(huffman ? "HufUnpack" : "LzxUnpack", ours, base);
  if (!ours.fatal.empty()) return;
  // The run-length stage on what came out.
  std::uint8_t a[kBlockSize], b[kBlockSize];
  const auto length = static_cast<std::int32_t>(ours.result);
  Outcome ro = Guarded([&] { RleUnpack(length, a); return 0; });
  Outcome rb = Guarded([&] { base::RleUnpack(length, b); return 0; });
  if (ro.fatal.empty()) ro.bytes.assign(a, a + kBlockSize);
  if (rb.fatal.empty()) rb.bytes.assign(b, b + kBlockSize);
  Same("RleUnpack", ro, rb);
}

// One block through both packers (same bytes), both decoders, and damaged copies.
void Block(const std::uint8_t *block, bool huffman) {
  Outcome ro = Guarded([&] { return RlePack(block); });
  Outcome rb = Guarded([&] { return base::RlePack(block); });
  ro.bytes.assign(BlockBuffer, BlockBuffer + ro.result);
  rb.bytes.assign(base::BlockBuffer, base::BlockBuffer + rb.result);
  Same("RlePack", ro, rb);
  const auto length = static_cast<std::int32_t>(ro.result);
  Outcome po = Guarded([&] { return huffman ? HufPack(length) : LzxPack(length); });
  Outcome pb = Guarded([&] { return huffman ? base::HufPack(length) : base::LzxPack(length); });
  po.bytes.assign(BitBuffer, BitBuffer + (po.result + 7) / 8);
  pb.bytes.assign(base::BitBuffer, base::BitBuffer + (pb.result + 7) / 8);
  Same(huffman ? "HufPack" : "LzxPack", po, pb);
  const auto bits = static_cast<std::int32_t>(po.result);

  std::vector<std::uint8_t> coded(kBitBytes);
  for (auto &c : coded) c = static_cast<std::uint8_t>(g_rng()); // what lies past the block is anything
  std::memcpy(coded.data(), po.bytes.data(), po.bytes.size());
  Decode(huffman, coded, bits);
  // Damage: flipped bits, a wrong bit count, cut-off data.
  for (int k = 0; k < 6; ++k) {
    std::vector<std::uint8_t> bad = coded;
    std::int32_t badBits = bits;
    switch (Below(4)) {
    case 0:
      for (std::uint32_t f = 1 + Below(3); f > 0; --f) {
        const std::uint32_t at = Below(static_cast<std::uint32_t>(bits));
        bad[at / 8] ^= static_cast<std::uint8_t>(1u << (at % 8));
      }
      break;
    case 1: badBits = bits + static_cast<std::int32_t>(Below(80)) - 40; break;
    case 2: badBits = static_cast<std::int32_t>(Below(static_cast<std::uint32_t>(bits) + 1)); break;
    default: {
      const std::uint32_t at = Below(static_cast<std::uint32_t>(bits));
      bad[at / 8] = static_cast<std::uint8_t>(g_rng());
      badBits = bits + static_cast<std::int32_t>(Below(16)) - 8;
    }
    }
    Decode(huffman, bad, badBits);
  }
}

// Coded bytes that no packer made: noise, and noise behind a valid head.
void Noise() {
  std::vector<std::uint8_t> coded(kBitBytes);
  for (auto &c : coded) c = static_cast<std::uint8_t>(g_rng());
  const bool huffman = Below(2) == 0;
  Decode(huffman, coded, static_cast<std::int32_t>(Below(kBitBufferSize * 8 + 64)));
  // The run-length decoder on noise with escapes.
  const auto length = static_cast<std::int32_t>(Below(kBlockSize + 2));
  for (int i = 0; i < kBlockBufferSize; ++i) {
    const auto v = static_cast<std::uint8_t>(Below(3) == 0 ? 0x80 + Below(16) : g_rng());
    BlockBuffer[i] = base::BlockBuffer[i] = v;
  }
  std::uint8_t a[kBlockSize], b[kBlockSize];
  Outcome ro = Guarded([&] { RleUnpack(length, a); return 0; });
  Outcome rb = Guarded([&] { base::RleUnpack(length, b); return 0; });
  if (ro.fatal.empty()) ro.bytes.assign(a, a + kBlockSize);
  if (rb.fatal.empty()) rb.bytes.assign(b, b + kBlockSize);
  Same("RleUnpack on noise", ro, rb);
}

// The row transform both ways on a sheet with blank rows.
void Rows() {
  std::uint8_t block[kBlockSize], table[256], tableBase[256], outA[kBlockSize], outB[kBlockSize];
  for (int r = 0; r < 256; ++r)
    for (int c = 0; c < 64; ++c)
      block[64 * r + c] = static_cast<std::uint8_t>(r % 3 == 0 || Below(4) == 0 ? 0xff : Below(8 + static_cast<std::uint32_t>(r)));
  Outcome po = Guarded([&] { return SorPack(block, outA, table); });
  Outcome pb = Guarded([&] { return base::SorPack(block, outB, tableBase); });
  po.bytes.assign(outA, outA + kBlockSize);
  po.bytes.insert(po.bytes.end(), table, table + po.result);
  pb.bytes.assign(outB, outB + kBlockSize);
  pb.bytes.insert(pb.bytes.end(), tableBase, tableBase + pb.result);
  Same("SorPack", po, pb);
  const auto n = static_cast<std::int32_t>(Below(256));
  for (int k = 0; k < 256; ++k) table[k] = static_cast<std::uint8_t>(g_rng());
  Outcome uo = Guarded([&] { SorUnpack(block, outA, table, n); return 0; });
  Outcome ub = Guarded([&] { base::SorUnpack(block, outB, table, n); return 0; });
  uo.bytes.assign(outA, outA + kBlockSize);
  ub.bytes.assign(outB, outB + kBlockSize);
  Same("SorUnpack", uo, ub);
}

} // namespace

int main(int argc, char **argv) {
  long cases = 2000;
  unsigned seed = 16;
  std::vector<std::vector<std::uint8_t>> files;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--cases" && i + 1 < argc) cases = std::atol(argv[++i]);
    else if (a == "--seed" && i + 1 < argc) seed = static_cast<unsigned>(std::atol(argv[++i]));
    else {
      std::ifstream in(a, std::ios::binary);
      if (!in) {
        std::fprintf(stderr, "vorn-codec-diff: cannot read %s\n", a.c_str());
        return 64;
      }
      files.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
  }
  g_rng.seed(seed);
  FatalEndHook = OnFatal;
  // The fatal notices of the damaged blocks would fill the terminal.
  if (!std::freopen("/dev/null", "w", stderr)) return 1;
  std::uint8_t block[kBlockSize];
  for (long c = 0; c < cases; ++c) {
    const std::uint32_t what = Below(10);
    if (what < 2 && !files.empty()) {
      const auto &f = files[Below(static_cast<std::uint32_t>(files.size()))];
      const std::size_t at = f.size() > kBlockSize ? Below(static_cast<std::uint32_t>(f.size() - kBlockSize)) : 0;
      std::memset(block, 0, kBlockSize);
      std::memcpy(block, f.data() + at, std::min<std::size_t>(kBlockSize, f.size()));
      Block(block, Below(3) == 0);
    } else if (what < 8) {
      MakeBlock(block);
      Block(block, Below(3) == 0);
    } else if (what < 9) {
      Noise();
    } else {
      Rows();
    }
  }
  std::printf("vorn-codec-diff: %ld cases, the same bytes and fatal texts from both\n", g_cases);
  return 0;
}
