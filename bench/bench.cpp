// The LZX1 coders against zlib, libdeflate, lz4 and zstd, in one run on the
// same in-memory data: compress and decompress speed in MB/s of uncompressed
// data (median of several repetitions) and the compressed size as a share of
// the original. LZX1 is measured block by block exactly as the container
// codes its 16384-byte blocks (row transform, run-length stage, LZ or Huffman
// byte coder), without the file around them.
//
//   vorn-bench [--reps N] [--codec NAME] FILE...   (--codec: only that one, e.g. "lzx1 lz")
//
// Besides the files named, it measures "rows.bin", a generated 4 MB sheet of
// 64-byte rows with blank (0xff) rows among them, the kind of data the row
// transform is for.
#include <libdeflate.h>
#include <lz4.h>
#include <lz4hc.h>
#include <zlib.h>
#include <zstd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "lzx/codec/bits.h"
#include "lzx/codec/huf.h"
#include "lzx/codec/lz.h"
#include "lzx/codec/rle.h"
#include "lzx/codec/rows.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
int g_reps = 5;
std::string g_only;

// ---- LZX1, block by block as the container codes them ----

enum class LzxMode { Lz, Huffman, Rows };

Bytes LzxCompress(const Bytes &in, LzxMode mode) {
  Bytes out;
  out.reserve(in.size() / 2 + 1024);
  std::uint8_t block[kBlockSize];
  std::uint8_t table[256];
  for (std::size_t at = 0; at < in.size(); at += kBlockSize) {
    const std::size_t n = std::min<std::size_t>(kBlockSize, in.size() - at);
    std::memcpy(block, in.data() + at, n);
    std::memset(block + n, 0, kBlockSize - n); // the last block is filled with zeros
    const std::uint8_t *source = block;
    if (mode == LzxMode::Rows) {
      const std::int32_t rows = SorPack(block, BitBuffer, table);
      out.push_back(static_cast<std::uint8_t>(rows));
      out.insert(out.end(), table, table + rows);
      source = BitBuffer;
    }
    const std::int32_t length = RlePack(source);
    const std::int32_t bits = mode == LzxMode::Huffman ? HufPack(length) : LzxPack(length);
    const auto *b = reinterpret_cast<const std::uint8_t *>(&bits);
    out.insert(out.end(), b, b + 4);
    out.insert(out.end(), BitBuffer, BitBuffer + (bits + 7) / 8);
  }
  return out;
}

void LzxDecompress(const Bytes &in, LzxMode mode, Bytes &out) {
  std::size_t at = 0, written = 0;
  std::uint8_t table[256];
  std::uint8_t rows = 0;
  while (at < in.size()) {
    if (mode == LzxMode::Rows) {
      rows = in[at++];
      std::memcpy(table, in.data() + at, rows);
      at += rows;
    }
    std::int32_t bits;
    std::memcpy(&bits, in.data() + at, 4);
    at += 4;
    const auto bytes = static_cast<std::size_t>((bits + 7) / 8);
    std::memcpy(BitBuffer, in.data() + at, bytes);
    at += bytes;
    const std::int32_t length = mode == LzxMode::Huffman ? HufUnpack(bits) : LzxUnpack(bits);
    std::uint8_t *dest = out.data() + written;
    if (mode == LzxMode::Rows) {
      RleUnpack(length, BitBuffer);
      SorUnpack(BitBuffer, dest, table, rows);
    } else {
      RleUnpack(length, dest);
    }
    written += kBlockSize;
  }
}

// ---- the others ----

Bytes ZlibCompress(const Bytes &in, int level) {
  uLongf n = compressBound(static_cast<uLong>(in.size()));
  Bytes out(n);
  compress2(out.data(), &n, in.data(), static_cast<uLong>(in.size()), level);
  out.resize(n);
  return out;
}

void ZlibDecompress(const Bytes &in, Bytes &out) {
  uLongf n = static_cast<uLongf>(out.size());
  uncompress(out.data(), &n, in.data(), static_cast<uLong>(in.size()));
}

// Every 16 KiB block compressed on its own, like LZX1 does; each prefixed with its size.
Bytes ZlibBlocks(const Bytes &in, int level) {
  Bytes out;
  Bytes piece(compressBound(16384));
  for (std::size_t at = 0; at < in.size(); at += 16384) {
    const std::size_t len = std::min<std::size_t>(16384, in.size() - at);
    uLongf n = static_cast<uLongf>(piece.size());
    compress2(piece.data(), &n, in.data() + at, static_cast<uLong>(len), level);
    const auto size = static_cast<std::uint32_t>(n);
    const auto *s = reinterpret_cast<const std::uint8_t *>(&size);
    out.insert(out.end(), s, s + 4);
    out.insert(out.end(), piece.begin(), piece.begin() + static_cast<std::ptrdiff_t>(n));
  }
  return out;
}

void ZlibBlocksDecompress(const Bytes &in, Bytes &out) {
  std::size_t at = 0, written = 0;
  while (at < in.size()) {
    std::uint32_t size;
    std::memcpy(&size, in.data() + at, 4);
    at += 4;
    uLongf n = static_cast<uLongf>(std::min<std::size_t>(16384, out.size() - written));
    uncompress(out.data() + written, &n, in.data() + at, size);
    at += size;
    written += n;
  }
}

Bytes DeflateCompress(const Bytes &in, int level) {
  libdeflate_compressor *c = libdeflate_alloc_compressor(level);
  Bytes out(libdeflate_deflate_compress_bound(c, in.size()));
  out.resize(libdeflate_deflate_compress(c, in.data(), in.size(), out.data(), out.size()));
  libdeflate_free_compressor(c);
  return out;
}

void DeflateDecompress(const Bytes &in, Bytes &out) {
  static libdeflate_decompressor *d = libdeflate_alloc_decompressor();
  libdeflate_deflate_decompress(d, in.data(), in.size(), out.data(), out.size(), nullptr);
}

Bytes Lz4Compress(const Bytes &in, int hcLevel) {
  Bytes out(static_cast<std::size_t>(LZ4_compressBound(static_cast<int>(in.size()))));
  const int n = hcLevel > 0 ? LZ4_compress_HC(reinterpret_cast<const char *>(in.data()), reinterpret_cast<char *>(out.data()),
                                              static_cast<int>(in.size()), static_cast<int>(out.size()), hcLevel)
                            : LZ4_compress_default(reinterpret_cast<const char *>(in.data()),
                                                   reinterpret_cast<char *>(out.data()), static_cast<int>(in.size()),
                                                   static_cast<int>(out.size()));
  out.resize(static_cast<std::size_t>(n));
  return out;
}

void Lz4Decompress(const Bytes &in, Bytes &out) {
  LZ4_decompress_safe(reinterpret_cast<const char *>(in.data()), reinterpret_cast<char *>(out.data()),
                      static_cast<int>(in.size()), static_cast<int>(out.size()));
}

Bytes ZstdCompress(const Bytes &in, int level) {
  Bytes out(ZSTD_compressBound(in.size()));
  out.resize(ZSTD_compress(out.data(), out.size(), in.data(), in.size(), level));
  return out;
}

void ZstdDecompress(const Bytes &in, Bytes &out) { ZSTD_decompress(out.data(), out.size(), in.data(), in.size()); }

// ---- measuring ----

double Seconds(const std::function<void()> &f) {
  const auto start = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Median of the repetitions; slow codecs get fewer (at least one after the first).
double Median(const std::function<void()> &f) {
  std::vector<double> t{Seconds(f)};
  const int reps = t[0] > 2.0 ? 1 : t[0] > 0.5 ? 3 : g_reps;
  for (int i = 1; i < reps; ++i) t.push_back(Seconds(f));
  std::sort(t.begin(), t.end());
  return t[t.size() / 2];
}

struct Codec {
  std::string name;
  std::function<Bytes(const Bytes &)> compress;
  std::function<void(const Bytes &, Bytes &)> decompress;
};

struct Result {
  double compressMBs, decompressMBs, ratio;
};

std::vector<Codec> Codecs() {
  std::vector<Codec> c;
  const struct { const char *name; LzxMode mode; } lzx[] = {
      {"lzx1 lz", LzxMode::Lz}, {"lzx1 huffman", LzxMode::Huffman}, {"lzx1 rows", LzxMode::Rows}};
  for (const auto &m : lzx) {
    const LzxMode mode = m.mode;
    c.push_back({m.name, [mode](const Bytes &in) { return LzxCompress(in, mode); },
                 [mode](const Bytes &in, Bytes &out) { LzxDecompress(in, mode, out); }});
  }
  for (int level : {1, 6, 9})
    c.push_back({"zlib " + std::to_string(level), [level](const Bytes &in) { return ZlibCompress(in, level); },
                 ZlibDecompress});
  c.push_back({"zlib 6 16k", [](const Bytes &in) { return ZlibBlocks(in, 6); }, ZlibBlocksDecompress});
  for (int level : {6, 12})
    c.push_back({"libdeflate " + std::to_string(level), [level](const Bytes &in) { return DeflateCompress(in, level); },
                 DeflateDecompress});
  c.push_back({"lz4", [](const Bytes &in) { return Lz4Compress(in, 0); }, Lz4Decompress});
  c.push_back({"lz4 hc", [](const Bytes &in) { return Lz4Compress(in, LZ4HC_CLEVEL_DEFAULT); }, Lz4Decompress});
  for (int level : {1, 3, 19})
    c.push_back({"zstd " + std::to_string(level), [level](const Bytes &in) { return ZstdCompress(in, level); },
                 ZstdDecompress});
  c.push_back({"memcpy", [](const Bytes &in) { return in; },
               [](const Bytes &in, Bytes &out) { std::memcpy(out.data(), in.data(), in.size()); }});
  return c;
}

// A sheet of 64-byte rows: text-like rows with blank rows among them.
Bytes RowsSheet() {
  std::mt19937 rng(64);
  Bytes out;
  while (out.size() < 4u << 20) {
    const auto r = static_cast<std::uint32_t>(rng());
    for (int c = 0; c < 64; ++c)
      out.push_back(static_cast<std::uint8_t>(r % 4 == 0 || c < 8 || c > 56 ? 0xffu : (r >> (c % 24)) & 0x3fu));
  }
  return out;
}

} // namespace

int main(int argc, char **argv) {
  std::vector<std::pair<std::string, Bytes>> files;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--reps") == 0 && i + 1 < argc) {
      g_reps = std::max(1, std::atoi(argv[++i]));
      continue;
    }
    if (std::strcmp(argv[i], "--codec") == 0 && i + 1 < argc) {
      g_only = argv[++i];
      continue;
    }
    std::ifstream in(argv[i], std::ios::binary);
    if (!in) {
      std::fprintf(stderr, "vorn-bench: cannot read %s\n", argv[i]);
      return 64;
    }
    std::string name = argv[i];
    name = name.substr(name.find_last_of('/') + 1);
    files.emplace_back(name, Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
  }
  files.emplace_back("rows.bin", RowsSheet());
  const std::vector<Codec> codecs = Codecs();

  std::printf("%-12s %-14s %10s %12s %12s %8s\n", "file", "codec", "size", "comp MB/s", "decomp MB/s", "ratio");
  for (const auto &file : files) {
    const std::string &name = file.first;
    const Bytes &data = file.second;
    const double mb = static_cast<double>(data.size()) / 1e6;
    std::map<std::string, Result> results;
    for (const Codec &codec : codecs) {
      if (codec.name == "lzx1 rows" && name != "rows.bin") continue; // needs blank rows in every block
      if (!g_only.empty() && codec.name != g_only) continue;
      Bytes packed;
      const double tc = Median([&] { packed = codec.compress(data); });
      Bytes back(data.size() + kBlockSize);
      const double td = Median([&] { codec.decompress(packed, back); });
      if (std::memcmp(back.data(), data.data(), data.size()) != 0) {
        std::fprintf(stderr, "vorn-bench: %s did not give %s back\n", codec.name.c_str(), name.c_str());
        return 1;
      }
      const Result r{mb / tc, mb / td, static_cast<double>(packed.size()) / static_cast<double>(data.size())};
      results[codec.name] = r;
      std::printf("%-12s %-14s %10zu %12.1f %12.1f %8.3f\n", name.c_str(), codec.name.c_str(), data.size(),
                  r.compressMBs, r.decompressMBs, r.ratio);
      std::fflush(stdout);
    }
    if (!results.count("zlib 6")) continue;
    const Result &z = results["zlib 6"];
    for (const char *ours : {"lzx1 lz", "lzx1 huffman", "lzx1 rows"}) {
      if (!results.count(ours)) continue;
      const Result &r = results[ours];
      std::printf("%-12s %-14s against zlib 6: compress %.2fx, decompress %.2fx\n", name.c_str(), ours,
                  r.compressMBs / z.compressMBs, r.decompressMBs / z.decompressMBs);
    }
  }
  return 0;
}
