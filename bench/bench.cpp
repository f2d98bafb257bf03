// The LZX1 coders against their own earlier version, zlib, libdeflate, lz4
// and zstd, in one process on the same in-memory data.
//
// Each round runs every codec once on a file, compressing and then
// decompressing, in an order that rotates from round to round; after the
// rounds the table gives, per codec, the best and the median speed in MB/s of
// uncompressed data and the ratios to zlib level 6 and to the earlier coders
// taken round by round (the median of the per-round ratios; "best" is the
// ratio of the best times). Every output of every round is checked: each
// decompression must give the file back, each compression the bytes of the
// first one, and our compressed bytes must equal the earlier coders'.
//
// LZX1 is timed three ways: the block loop (row transform, run-length stage,
// LZ or Huffman byte coder on 16384-byte blocks, in memory, as the container
// codes them), Hread over a compressed file, and the lzx tool (compress and
// decompress of the file, process start included) when given with --tool.
//
//   vorn-bench [--rounds N] [--codec NAME[,NAME...]] [--all]
//              [--tool LZX] [--tool-base LZX] [--work DIR] FILE...
//
// --codec keeps the codecs whose names contain one of the words (zlib 6 is
// always kept, for the ratios); --all adds the slow levels (zlib 9,
// libdeflate 12, lz4 hc, zstd 19). Besides the files named it measures
// "rows.bin", a generated 4 MB sheet of 64-byte rows with blank (0xff) rows
// among them, the kind of data the row transform is for.
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
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "lzx/block.h"
#include "lzx/check.h"
#include "lzx/api.h"
#include "lzx/lzx.h"
#ifdef VORN_BENCH_BASELINE
#include "bench/baseline.h"
#define VORN_BENCH_BASE_NAME VORN_BENCH_BASELINE
#else
#define VORN_BENCH_BASE_NAME "base"
#endif

namespace {

using Bytes = std::vector<std::uint8_t>;

// ---- LZX1, block by block as the container codes them ----

// One block pipeline (lzx/block.cpp): ours, or the same pipeline over the
// earlier coders of namespace base.
struct Coders {
  std::function<std::int32_t(const std::uint8_t *, std::int32_t, std::uint8_t *)> encode;
  std::function<void(const std::uint8_t *, std::int32_t, std::int32_t, std::uint8_t *)> decode;
};

const Coders kOurs{BlockEncode, [](const std::uint8_t *stored, std::int32_t size, std::int32_t flags, std::uint8_t *plain) {
                     BlockDecode(stored, size, flags, plain);
                   }};
#ifdef VORN_BENCH_BASELINE
const Coders kBase{base::BlockEncode,
                   [](const std::uint8_t *stored, std::int32_t size, std::int32_t flags, std::uint8_t *plain) {
                     base::BlockDecode(stored, size, flags, plain);
                   }};
#endif

// The blocks in their stored form, one after another; the last block is
// filled with zeros.
Bytes LzxCompress(const Coders &k, const Bytes &in, std::int32_t flags) {
  Bytes out(in.size() / kBlockSize * kMaxStoredBlock + kMaxStoredBlock);
  std::size_t used = 0;
  std::uint8_t block[kBlockSize];
  for (std::size_t at = 0; at < in.size(); at += kBlockSize) {
    const std::size_t n = std::min<std::size_t>(kBlockSize, in.size() - at);
    std::memcpy(block, in.data() + at, n);
    std::memset(block + n, 0, kBlockSize - n);
    used += static_cast<std::size_t>(k.encode(block, flags, out.data() + used));
  }
  out.resize(used);
  return out;
}

void LzxDecompress(const Coders &k, const Bytes &in, std::int32_t flags, Bytes &out) {
  std::size_t written = 0;
  for (std::size_t at = 0; at < in.size();) {
    const std::int32_t size = BlockStoredSize(in.data() + at, static_cast<std::int32_t>(in.size() - at), flags);
    if (size < 0) break; // checked afterwards: the output would differ
    k.decode(in.data() + at, size, flags, out.data() + written);
    at += static_cast<std::size_t>(size);
    written += kBlockSize;
  }
}

// As a checked file holds them: 4 bytes of stored size, the stored blocks,
// then for each block the check of its plain bytes and of its stored bytes.
Bytes LzxCompressChecked(const Bytes &in) {
  Bytes out(4 + in.size() / kBlockSize * (kMaxStoredBlock + 8) + kMaxStoredBlock + 8);
  std::vector<std::uint32_t> checks;
  std::size_t used = 4;
  std::uint8_t block[kBlockSize];
  for (std::size_t at = 0; at < in.size(); at += kBlockSize) {
    const std::size_t n = std::min<std::size_t>(kBlockSize, in.size() - at);
    std::memcpy(block, in.data() + at, n);
    std::memset(block + n, 0, kBlockSize - n);
    const std::int32_t size = BlockEncode(block, 0, out.data() + used);
    checks.push_back(BlockCheck(block));
    checks.push_back(StoredCheck(out.data() + used, size));
    used += static_cast<std::size_t>(size);
  }
  const auto stored = static_cast<std::uint32_t>(used - 4);
  std::memcpy(out.data(), &stored, 4);
  std::memcpy(out.data() + used, checks.data(), 4 * checks.size());
  out.resize(used + 4 * checks.size());
  return out;
}

void LzxDecompressChecked(const Bytes &in, Bytes &out) {
  std::uint32_t stored = 0;
  std::memcpy(&stored, in.data(), 4);
  const std::uint8_t *checks = in.data() + 4 + stored;
  std::size_t written = 0;
  for (std::size_t at = 4; at < 4 + stored; checks += 8) {
    const std::int32_t size = BlockStoredSize(in.data() + at, static_cast<std::int32_t>(4 + stored - at), 0);
    std::uint32_t expected[2];
    std::memcpy(expected, checks, 8);
    if (size < 0 || StoredCheck(in.data() + at, size) != expected[1]) break; // the output would differ
    BlockDecode(in.data() + at, size, 0, out.data() + written);
    if (BlockCheck(out.data() + written) != expected[0]) break;
    at += static_cast<std::size_t>(size);
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
  const auto *src = reinterpret_cast<const char *>(in.data());
  auto *dst = reinterpret_cast<char *>(out.data());
  const int size = static_cast<int>(in.size()), room = static_cast<int>(out.size());
  const int n = hcLevel > 0 ? LZ4_compress_HC(src, dst, size, room, hcLevel) : LZ4_compress_default(src, dst, size, room);
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

// ---- the whole path: Hread over a file, the lzx tool ----

Bytes ReadFile(const std::filesystem::path &name) {
  std::ifstream in(name, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::filesystem::path &name, const Bytes &data) {
  std::ofstream out(name, std::ios::binary);
  out.write(reinterpret_cast<const char *>(data.data()), static_cast<std::streamsize>(data.size()));
}

// The compressed file as the container writes it, through Hwrite.
Bytes HwriteFile(const std::filesystem::path &name, const Bytes &data, const char *mode = "wb") {
  HILE *h = Hopen(name.string().c_str(), mode);
  for (std::size_t at = 0; at < data.size(); at += 65536)
    Hwrite(data.data() + at, static_cast<std::int32_t>(std::min<std::size_t>(65536, data.size() - at)), h);
  Hclose(h);
  return ReadFile(name);
}

void HreadFile(const std::filesystem::path &name, Bytes &out) {
  HILE *h = Hopen(name.string().c_str(), "rb");
  std::size_t at = 0;
  for (std::int32_t n; (n = Hread(out.data() + at, 65536, h)) > 0;) at += static_cast<std::size_t>(n);
  Hclose(h);
}

std::string Quoted(const std::string &s) { return "'" + s + "'"; }

void Run(const std::string &command) {
  if (std::system(command.c_str()) != 0) {
    std::fprintf(stderr, "vorn-bench: failed: %s\n", command.c_str());
    std::exit(1);
  }
}

// ---- codecs and rounds ----

// A codec gets its input file once (for the codecs that need it on disk) and
// then runs rounds. Compress returns the compressed bytes, Decompress fills
// the output buffer; the harness checks both.
struct Codec {
  std::string name;
  std::function<Bytes(const Bytes &)> compress;
  std::function<void(const Bytes &, Bytes &)> decompress;
  bool onlyRows; // the row transform needs blank rows in every block
  std::string sameBytesAs; // its compressed bytes must equal this codec's
  Codec(std::string n, std::function<Bytes(const Bytes &)> c, std::function<void(const Bytes &, Bytes &)> d,
        bool rows = false, std::string same = "")
      : name(std::move(n)), compress(std::move(c)), decompress(std::move(d)), onlyRows(rows),
        sameBytesAs(std::move(same)) {}
};

struct Options {
  int rounds = 15;
  std::vector<std::string> only;
  bool all = false;
  std::string tool, toolBase;
  std::filesystem::path work = "vorn-bench-work";
};

// The paths of the file being measured, for the codecs that go through files.
struct FilePaths {
  std::filesystem::path plain, packed, scratch, scratchPacked, checked;
};
FilePaths g_paths;

void AddLzx(std::vector<Codec> &c, const std::string &prefix, const Coders *k, const std::string &same) {
  // One codec per coding mode of lzx/block.h.
  for (const CodingMode &m : kCodingModes) {
    const std::int32_t flags = m.flag;
    Codec codec{prefix + m.name, [k, flags](const Bytes &in) { return LzxCompress(*k, in, flags); },
                [k, flags](const Bytes &in, Bytes &out) { LzxDecompress(*k, in, flags, out); }};
    codec.onlyRows = (flags & kFlagRows) != 0;
    if (!same.empty()) codec.sameBytesAs = same + m.name;
    c.push_back(codec);
  }
}

std::vector<Codec> Codecs(const Options &o) {
  std::vector<Codec> c;
  AddLzx(c, "lzx1 ", &kOurs, "");
#ifdef VORN_BENCH_BASELINE
  AddLzx(c, VORN_BENCH_BASELINE " ", &kBase, "lzx1 ");
#endif
  // Hread over the compressed file written once by Hwrite (the file is in
  // the page cache after the first round).
  c.push_back(Codec{"lzx1 lz Hread", [](const Bytes &) { return ReadFile(g_paths.packed); },
               [](const Bytes &, Bytes &out) { HreadFile(g_paths.packed, out); }});
  // The library's buffer interface (the bytes of a file without checks),
  // decoded on one thread and on two.
  for (const int threads : {1, 2}) {
    c.push_back(Codec{"lzx1 lz buffer T" + std::to_string(threads),
                      [](const Bytes &in) {
                        Bytes out(static_cast<std::size_t>(vorn_lzx_compress_bound(static_cast<std::int32_t>(in.size()))));
                        std::int32_t n = 0;
                        vorn_lzx_compress_buffer(in.data(), static_cast<std::int32_t>(in.size()), "wb", out.data(),
                                                 static_cast<std::int32_t>(out.size()), &n, nullptr);
                        out.resize(static_cast<std::size_t>(n));
                        return out;
                      },
                      [threads](const Bytes &in, Bytes &out) {
                        const int before = vorn_lzx_set_threads(threads);
                        std::int32_t n = 0;
                        vorn_lzx_decompress_buffer(in.data(), static_cast<std::int32_t>(in.size()), out.data(),
                                                   static_cast<std::int32_t>(out.size()), &n, nullptr);
                        vorn_lzx_set_threads(before);
                      }});
  }
  // The same with the checks a checked file carries, verified on the way.
  c.push_back(Codec{"lzx1 lz checked", LzxCompressChecked, LzxDecompressChecked});
  c.push_back(Codec{"lzx1 lz Hread checked", [](const Bytes &) { return ReadFile(g_paths.checked); },
               [](const Bytes &, Bytes &out) { HreadFile(g_paths.checked, out); }});
  // Our tool writes checked files by default (and reads them back); the
  // earlier one wrote files without checks.
  const struct {
    const std::string &path;
    const char *name;
    bool checked;
  } tools[] = {{o.tool, "lzx1 lz tool", true}, {o.toolBase, "lzx1 lz tool " VORN_BENCH_BASE_NAME, false}};
  for (const auto &t : tools) {
    if (t.path.empty()) continue;
    const std::string tool = t.path;
    const bool checked = t.checked;
    c.push_back(Codec{t.name,
                 [tool](const Bytes &) {
                   // Removed first: the tool keeps an existing output (the earlier one overwrote it).
                   std::filesystem::remove(g_paths.scratchPacked);
                   Run(Quoted(tool) + " compress " + Quoted(g_paths.plain.string()) + " " +
                       Quoted(g_paths.scratchPacked.string()) + " >/dev/null");
                   return ReadFile(g_paths.scratchPacked);
                 },
                 [tool, checked](const Bytes &, Bytes &out) {
                   std::filesystem::remove(g_paths.scratch);
                   Run(Quoted(tool) + " decompress " + Quoted((checked ? g_paths.checked : g_paths.packed).string()) + " " +
                       Quoted(g_paths.scratch.string()));
                   const Bytes back = ReadFile(g_paths.scratch);
                   std::memcpy(out.data(), back.data(), std::min(back.size(), out.size()));
                 },
                 false, checked ? "lzx1 lz Hread checked" : "lzx1 lz Hread"});
  }
  const std::vector<int> zlibLevels = o.all ? std::vector<int>{1, 6, 9} : std::vector<int>{1, 6};
  for (int level : zlibLevels)
    c.push_back(Codec{"zlib " + std::to_string(level), [level](const Bytes &in) { return ZlibCompress(in, level); },
                 ZlibDecompress});
  c.push_back(Codec{"zlib 6 16k", [](const Bytes &in) { return ZlibBlocks(in, 6); }, ZlibBlocksDecompress});
  for (int level : o.all ? std::vector<int>{6, 12} : std::vector<int>{6})
    c.push_back(Codec{"libdeflate " + std::to_string(level), [level](const Bytes &in) { return DeflateCompress(in, level); },
                 DeflateDecompress});
  c.push_back(Codec{"lz4", [](const Bytes &in) { return Lz4Compress(in, 0); }, Lz4Decompress});
  if (o.all)
    c.push_back(Codec{"lz4 hc", [](const Bytes &in) { return Lz4Compress(in, LZ4HC_CLEVEL_DEFAULT); }, Lz4Decompress});
  for (int level : o.all ? std::vector<int>{1, 3, 19} : std::vector<int>{1, 3})
    c.push_back(Codec{"zstd " + std::to_string(level), [level](const Bytes &in) { return ZstdCompress(in, level); },
                 ZstdDecompress});
  c.push_back(Codec{"memcpy", [](const Bytes &in) { return in; },
               [](const Bytes &in, Bytes &out) { std::memcpy(out.data(), in.data(), in.size()); }});
  if (o.only.empty()) return c;
  std::vector<Codec> kept;
  for (const Codec &codec : c) {
    bool keep = codec.name == "zlib 6";
    for (const std::string &word : o.only) keep = keep || codec.name.find(word) != std::string::npos;
    if (keep) kept.push_back(codec);
  }
  return kept;
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

double Seconds(const std::function<void()> &f) {
  const auto start = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  return n % 2 == 1 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

struct Times {
  std::vector<double> compress, decompress;
  std::size_t packedSize = 0;
};

// "a/b": the ratio of the best times, then the median of the per-round ratios.
std::string Ratio(const std::vector<double> &ref, const std::vector<double> &t) {
  std::vector<double> perRound;
  for (std::size_t r = 0; r < t.size(); ++r) perRound.push_back(ref[r] / t[r]);
  char s[32];
  std::snprintf(s, sizeof s, "%.2f/%.2f", *std::min_element(ref.begin(), ref.end()) / *std::min_element(t.begin(), t.end()),
                Median(perRound));
  return s;
}

[[noreturn]] void Fail(const std::string &what) {
  std::fprintf(stderr, "vorn-bench: %s\n", what.c_str());
  std::exit(1);
}

void Measure(const std::string &name, const Bytes &data, const std::vector<Codec> &all, const Options &o) {
  std::vector<const Codec *> codecs;
  for (const Codec &c : all)
    if (!c.onlyRows || name == "rows.bin") codecs.push_back(&c);
  g_paths = FilePaths{o.work / name, o.work / (name + ".lzx"), o.work / (name + ".out"), o.work / (name + ".out.lzx"),
                      o.work / (name + ".checked.lzx")};
  WriteFile(g_paths.plain, data);
  const Bytes hwritten = HwriteFile(g_paths.packed, data);
  const Bytes hwrittenChecked = HwriteFile(g_paths.checked, data, "wbc");

  // The first compression of each codec is the reference for every later one.
  std::vector<Bytes> packed(codecs.size());
  for (std::size_t i = 0; i < codecs.size(); ++i) packed[i] = codecs[i]->compress(data);
  auto find = [&](const std::string &n) {
    for (std::size_t i = 0; i < codecs.size(); ++i)
      if (codecs[i]->name == n) return static_cast<int>(i);
    return -1;
  };
  for (std::size_t i = 0; i < codecs.size(); ++i)
    if (codecs[i]->name == "lzx1 lz Hread") packed[i] = hwritten;
    else if (codecs[i]->name == "lzx1 lz Hread checked") packed[i] = hwrittenChecked;
  for (std::size_t i = 0; i < codecs.size(); ++i) {
    const int j = find(codecs[i]->sameBytesAs);
    if (j >= 0 && packed[static_cast<std::size_t>(j)] != packed[i])
      Fail(codecs[i]->name + " and " + codecs[static_cast<std::size_t>(j)]->name + " compress " + name + " differently");
  }

  std::vector<Times> times(codecs.size());
  Bytes back(data.size() + kBlockSize);
  for (int round = 0; round < o.rounds; ++round) {
    for (std::size_t step = 0; step < codecs.size(); ++step) {
      const std::size_t i = (step + static_cast<std::size_t>(round)) % codecs.size();
      const Codec &c = *codecs[i];
      Bytes out;
      times[i].compress.push_back(Seconds([&] { out = c.compress(data); }));
      if (out != packed[i]) Fail(c.name + " compressed " + name + " differently in round " + std::to_string(round));
      times[i].packedSize = out.size();
      std::fill(back.begin(), back.end(), static_cast<std::uint8_t>(round * 37 + 1));
      times[i].decompress.push_back(Seconds([&] { c.decompress(out, back); }));
      if (std::memcmp(back.data(), data.data(), data.size()) != 0)
        Fail(c.name + " did not give " + name + " back in round " + std::to_string(round));
    }
  }

  const double mb = static_cast<double>(data.size()) / 1e6;
  const int z6 = find("zlib 6");
  const int baseLz = find(VORN_BENCH_BASE_NAME " lz");
  std::printf("\n%s, %zu bytes, %d rounds%s\n", name.c_str(), data.size(), o.rounds,
              baseLz >= 0 ? "; our compressed bytes equal " VORN_BENCH_BASE_NAME "'s in every mode" : "");
  std::printf("%-26s %8s %8s %8s %8s %7s %11s %11s %11s %11s\n", "codec", "comp", "comp", "dec", "dec", "size",
              "comp", "dec", "comp", "dec");
  std::printf("%-26s %8s %8s %8s %8s %7s %11s %11s %11s %11s\n", "", "best", "median", "best", "median", "",
              "x zlib 6", "x zlib 6", "x " VORN_BENCH_BASE_NAME, "x " VORN_BENCH_BASE_NAME);
  for (std::size_t i = 0; i < codecs.size(); ++i) {
    const Codec &c = *codecs[i];
    const Times &t = times[i];
    std::string vsZ6c = "-", vsZ6d = "-", vsBc = "-", vsBd = "-";
    if (z6 >= 0) {
      vsZ6c = Ratio(times[static_cast<std::size_t>(z6)].compress, t.compress);
      vsZ6d = Ratio(times[static_cast<std::size_t>(z6)].decompress, t.decompress);
    }
    // Ours against the earlier coders of the same mode.
    if (c.name.rfind("lzx1 ", 0) == 0 && c.name.find("Hread") == std::string::npos &&
        c.name.find("tool") == std::string::npos) {
      const int b = find(std::string(VORN_BENCH_BASE_NAME " ") + c.name.substr(5));
      if (b >= 0) {
        vsBc = Ratio(times[static_cast<std::size_t>(b)].compress, t.compress);
        vsBd = Ratio(times[static_cast<std::size_t>(b)].decompress, t.decompress);
      }
    }
    if (c.name == "lzx1 lz tool") {
      const int b = find("lzx1 lz tool " VORN_BENCH_BASE_NAME);
      if (b >= 0) {
        vsBc = Ratio(times[static_cast<std::size_t>(b)].compress, t.compress);
        vsBd = Ratio(times[static_cast<std::size_t>(b)].decompress, t.decompress);
      }
    }
    const bool path = c.name.find("Hread") != std::string::npos; // no compression of its own
    auto mbs = [mb](double s) { return mb / s; };
    const std::string none = "-";
    char cb[16], cm[16];
    std::snprintf(cb, sizeof cb, "%.1f", mbs(*std::min_element(t.compress.begin(), t.compress.end())));
    std::snprintf(cm, sizeof cm, "%.1f", mbs(Median(t.compress)));
    std::printf("%-26s %8s %8s %8.1f %8.1f %7.3f %11s %11s %11s %11s\n", c.name.c_str(), path ? "-" : cb,
                path ? "-" : cm, mbs(*std::min_element(t.decompress.begin(), t.decompress.end())),
                mbs(Median(t.decompress)), static_cast<double>(t.packedSize) / static_cast<double>(data.size()),
                path ? "-" : vsZ6c.c_str(), vsZ6d.c_str(), path ? "-" : vsBc.c_str(), vsBd.c_str());
  }
  // What verifying the checks costs, within the same rounds.
  for (const auto &[checkedName, plainName] : {std::pair<const char *, const char *>{"lzx1 lz checked", "lzx1 lz"},
                                               {"lzx1 lz Hread checked", "lzx1 lz Hread"}}) {
    const int a = find(checkedName), b = find(plainName);
    if (a >= 0 && b >= 0)
      std::printf("%s: decompression %s of %s's speed (best/median)\n", checkedName,
                  Ratio(times[static_cast<std::size_t>(b)].decompress, times[static_cast<std::size_t>(a)].decompress).c_str(),
                  plainName);
  }
  std::fflush(stdout);
  std::filesystem::remove(g_paths.checked);
  std::filesystem::remove(g_paths.plain);
  std::filesystem::remove(g_paths.packed);
  std::filesystem::remove(g_paths.scratch);
  std::filesystem::remove(g_paths.scratchPacked);
}

} // namespace

int main(int argc, char **argv) {
  Options o;
  std::vector<std::pair<std::string, Bytes>> files;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool hasValue = i + 1 < argc;
    if (a == "--rounds" && hasValue) {
      o.rounds = std::max(1, std::atoi(argv[++i]));
    } else if (a == "--codec" && hasValue) {
      std::string list = argv[++i];
      for (std::size_t at = 0; at <= list.size();) {
        const std::size_t comma = std::min(list.find(',', at), list.size());
        if (comma > at) o.only.push_back(list.substr(at, comma - at));
        at = comma + 1;
      }
    } else if (a == "--all") {
      o.all = true;
    } else if (a == "--tool" && hasValue) {
      o.tool = std::filesystem::absolute(argv[++i]).string();
    } else if (a == "--tool-base" && hasValue) {
      o.toolBase = std::filesystem::absolute(argv[++i]).string();
    } else if (a == "--work" && hasValue) {
      o.work = argv[++i];
    } else {
      std::ifstream in(a, std::ios::binary);
      if (!in) {
        std::fprintf(stderr, "vorn-bench: cannot read %s\n", a.c_str());
        return 64;
      }
      files.emplace_back(a.substr(a.find_last_of('/') + 1),
                         Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
    }
  }
  if (o.rounds < 15) std::printf("note: %d rounds; the figures to quote come from 15 or more\n", o.rounds);
  files.emplace_back("rows.bin", RowsSheet());
  std::filesystem::create_directories(o.work);
  const std::vector<Codec> codecs = Codecs(o);
  std::printf("MB/s of uncompressed data; size = compressed / original; ratios best/median of rounds\n");
  for (const auto &file : files) Measure(file.first, file.second, codecs, o);
  std::filesystem::remove(o.work);
  return 0;
}
