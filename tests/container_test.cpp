// The "LZX1" compressed file: layout, reading, seeking, modes and damage.
#include <cstring>
#include <random>
#include <string>

#include "lzx/codec/bits.h"
#include "lzx/codec/lz.h"
#include "lzx/codec/rle.h"
#include "lzx/lzx.h"
#include "platform/notice.h"
#include "tests/lzx_support.h"
#include "fileio/fatal.h"
#include <csetjmp>

namespace {

using vorn_test::Bytes;
using vorn_test::RandomBytes;
using vorn_test::ReadCompressed;
using vorn_test::ReadFile;
using vorn_test::WriteCompressed;
using vorn_test::WriteFile;

class ContainerTest : public vorn_test::ScratchTest {};

std::int32_t Int(const Bytes &b, std::size_t at) {
  std::int32_t v;
  std::memcpy(&v, b.data() + at, 4);
  return v;
}

Bytes SampleText(std::size_t n) {
  std::string s;
  for (int i = 0; s.size() < n; ++i) s += "record " + std::to_string(i) + ": the installer writes what is newer\n";
  s.resize(n);
  return Bytes(s.begin(), s.end());
}

// Bytes that allow the row transform: rows of 0xff between rows of data.
Bytes RowFriendly(std::size_t n) {
  Bytes b(n, 0xff);
  for (std::size_t i = 0; i < n; ++i)
    if ((i / 64) % 3 == 0) b[i] = static_cast<std::uint8_t>(i % 64 < 40 ? 'a' + (i / 192) % 7 : i % 5);
  return b;
}

TEST_F(ContainerTest, AnEmptyFileIsTheSixteenByteHeader) {
  EXPECT_EQ(WriteCompressed("e.lzx", {}, "wbh"), 16);
  const Bytes file = ReadFile("e.lzx");
  ASSERT_EQ(file.size(), 16u);
  EXPECT_EQ(std::string(file.begin(), file.begin() + 4), "LZX1");
  EXPECT_EQ(Int(file, 4), 16);
  EXPECT_EQ(Int(file, 8), 0);
  EXPECT_EQ(Int(file, 12), 1);
  HILE *h = Hopen("e.lzx", "rb");
  std::uint8_t c;
  EXPECT_EQ(Hread(&c, 1, h), 0);
  EXPECT_EQ(Heof(h), 1);
  EXPECT_EQ(Hgetc(h), -1);
  EXPECT_EQ(Hclose(h), 0);
}

TEST_F(ContainerTest, BlocksAndTheIndex) {
  const Bytes data = SampleText(16385);
  WriteCompressed("one.lzx", Bytes(data.begin(), data.begin() + 16384));
  Bytes file = ReadFile("one.lzx");
  EXPECT_EQ(Int(file, 8), 16384);
  EXPECT_EQ(file.size() - static_cast<std::size_t>(Int(file, 4)), 4u); // one block
  EXPECT_EQ(Int(file, static_cast<std::size_t>(Int(file, 4))), 16);                            // at offset 16
  // Block 0 is its bit count and bytes; the index follows right behind it.
  EXPECT_EQ(16 + 4 + (Int(file, 16) + 7) / 8, Int(file, 4));

  WriteCompressed("two.lzx", data);
  file = ReadFile("two.lzx");
  const std::int32_t index = Int(file, 4);
  EXPECT_EQ(Int(file, 8), 16385);
  ASSERT_EQ(file.size() - static_cast<std::size_t>(index), 8u);
  const std::int32_t second = Int(file, static_cast<std::size_t>(index) + 4);
  EXPECT_EQ(second, 16 + 4 + (Int(file, 16) + 7) / 8);
  // The second block holds one data byte and 16383 zeros.
  const std::int32_t bits = Int(file, static_cast<std::size_t>(second));
  std::memcpy(BitBuffer, file.data() + second + 4, static_cast<std::size_t>((bits + 7) / 8));
  Bytes block(16384, 0x77);
  RleUnpack(LzxUnpack(bits), block.data());
  EXPECT_EQ(block[0], data[16384]);
  EXPECT_EQ(Bytes(block.begin() + 1, block.end()), Bytes(16383, 0));
  EXPECT_EQ(ReadCompressed("two.lzx"), data);
}

TEST_F(ContainerTest, RoundTripsInEveryMode) {
  const Bytes cases[] = {Bytes{42}, SampleText(16383), SampleText(16384), SampleText(16385),
                         SampleText(3 * 1024 * 1024 + 17), RandomBytes(200000, 3)};
  for (const char *mode : {"wb", "wbh", "wbc", "wbhc"}) {
    for (const Bytes &data : cases) {
      WriteCompressed("rt.lzx", data, mode);
      EXPECT_EQ(ReadCompressed("rt.lzx"), data) << mode << " " << data.size();
    }
  }
  // The last block is filled up with zeros, so it too needs a row of 0xff.
  for (std::size_t n : {200u, 16384u, 16384u + 200u, 500000u}) {
    const Bytes data = RowFriendly(n);
    WriteCompressed("rows.lzx", data, "wbs");
    EXPECT_EQ(Int(ReadFile("rows.lzx"), 12), 2);
    EXPECT_EQ(ReadCompressed("rows.lzx"), data) << n;
    WriteCompressed("rows.lzx", data, "wbsc");
    EXPECT_EQ(Int(ReadFile("rows.lzx"), 12), 6);
    EXPECT_EQ(ReadCompressed("rows.lzx"), data) << n;
  }
}

TEST_F(ContainerTest, ReadingToTheEndOfWholeBlocks) {
  const Bytes data = SampleText(2 * 16384);
  WriteCompressed("w.lzx", data);
  HILE *h = Hopen("w.lzx", "rb");
  EXPECT_EQ(Htell(h), 0);
  Bytes got(data.size());
  EXPECT_EQ(Hread(got.data(), static_cast<std::int32_t>(got.size()), h), 32768);
  EXPECT_EQ(Heof(h), 0); // everything asked for arrived
  EXPECT_EQ(got, data);
  std::uint8_t more[10];
  EXPECT_EQ(Hread(more, 10, h), 0); // the index is not decoded as a block
  EXPECT_EQ(Heof(h), 1);
  Hclose(h);
}

TEST_F(ContainerTest, ShortReadsSetEofAndSeekClearsIt) {
  const Bytes data = SampleText(40000);
  WriteCompressed("s.lzx", data);
  HILE *h = Hopen("s.lzx", "rb");
  Hseek(h, 39990);
  std::uint8_t tail[64];
  EXPECT_EQ(Hread(tail, 64, h), 10);
  EXPECT_EQ(Heof(h), 1);
  EXPECT_EQ(Bytes(tail, tail + 10), Bytes(data.end() - 10, data.end()));
  Hseek(h, 39999);
  EXPECT_EQ(Heof(h), 0);
  EXPECT_EQ(Hgetc(h), data.back());
  EXPECT_EQ(Hgetc(h), -1);
  EXPECT_EQ(Hread(tail, 0, h), 0);
  Hclose(h);
}

TEST_F(ContainerTest, RandomAccessMatchesTheInput) {
  const Bytes data = SampleText(300000);
  WriteCompressed("r.lzx", data);
  HILE *h = Hopen("r.lzx", "rb");
  std::mt19937 rng(7);
  for (int i = 0; i < 200; ++i) {
    const auto at = static_cast<std::int32_t>(rng() % data.size());
    Hseek(h, at);
    EXPECT_EQ(Htell(h), at);
    std::uint8_t buf[100];
    const std::int32_t n = Hread(buf, 100, h);
    const auto expect = std::min<std::size_t>(100, data.size() - static_cast<std::size_t>(at));
    ASSERT_EQ(static_cast<std::size_t>(n), expect);
    EXPECT_EQ(std::memcmp(buf, data.data() + at, expect), 0) << at;
  }
  // A seek inside the current block moves only the fill and reads nothing.
  Hseek(h, 16384 * 5 + 10);
  const std::int32_t before = FileTell(&h->dataFile);
  Hseek(h, 16384 * 5 + 9000);
  EXPECT_EQ(FileTell(&h->dataFile), before);
  EXPECT_EQ(Hgetc(h), data[16384 * 5 + 9000]);
  Hclose(h);
}

TEST_F(ContainerTest, SeeksOutsideTheDataAreRefused) {
  WriteCompressed("x.lzx", SampleText(100));
  EXPECT_FATAL(
      {
        HILE *h = Hopen("x.lzx", "rb");
        Hseek(h, 100);
      },
      "Hseek: >= EOF causes deep shit");
  EXPECT_FATAL(
      {
        HILE *h = Hopen("x.lzx", "rb");
        Hseek(h, -1);
      },
      "Hseek: >= EOF causes deep shit");
  EXPECT_FATAL(
      {
        HILE *h = Hopen("y.lzx", "wb");
        Hseek(h, 0);
      },
      "Hseek: not allowed on write-file");
}

TEST_F(ContainerTest, TellCountsWrittenBytes) {
  HILE *h = Hopen("t.lzx", "wb");
  EXPECT_EQ(Htell(h), 0);
  const Bytes data = SampleText(20000);
  Hwrite(data.data(), 20000, h);
  Hputc('!', h);
  EXPECT_EQ(Htell(h), 20001);
  Hclose(h);
  Bytes expect = data;
  expect.push_back('!');
  EXPECT_EQ(ReadCompressed("t.lzx"), expect);
}

TEST_F(ContainerTest, ModeTexts) {
  WriteCompressed("h.lzx", SampleText(1000), "wbhs"); // only the third place counts
  EXPECT_EQ(Int(ReadFile("h.lzx"), 12), 1);
  WriteCompressed("z.lzx", SampleText(1000), "wb");
  EXPECT_EQ(Int(ReadFile("z.lzx"), 12), 0);
  HILE *h = Hopen("h.lzx", "rbs"); // a read handle takes the file's flags
  EXPECT_EQ(h->header.flags, 1);
  EXPECT_EQ(Hread(nullptr, 0, h), 0);
  Hclose(h);
  EXPECT_EQ(ReadCompressed("h.lzx"), SampleText(1000));
  for (const char *bad : {"w", "rx", "wbz", "ab", ""}) EXPECT_FATAL(Hopen("m.lzx", bad), "Hopen: bad mode") << bad;
}

TEST_F(ContainerTest, NamesUpTo79Characters) {
  const std::string ok(79, 'n');
  WriteCompressed(ok, SampleText(10));
  EXPECT_EQ(ReadCompressed(ok), SampleText(10));
  const std::string tooLong(80, 'n');
  EXPECT_FATAL(Hopen(tooLong.c_str(), "wb"), "Hopen: filename too long");
}

TEST_F(ContainerTest, GuardsOnHandles) {
  WriteCompressed("g.lzx", SampleText(10));
  EXPECT_FATAL(Hread(nullptr, 1, nullptr), "Hread: not a valid HILE *");
  EXPECT_FATAL(Htell(nullptr), "Htell: not a valid HILE *");
  EXPECT_FATAL(Hclose(nullptr), "Hclose: not a valid HILE *");
  EXPECT_FATAL(
      {
        HILE *h = Hopen("g.lzx", "rb");
        Hwrite("x", 1, h);
      },
      "Hwrite: not allowed on read-file");
  EXPECT_FATAL(
      {
        HILE *h = Hopen("w.lzx", "wb");
        std::uint8_t c;
        Hread(&c, 1, h);
      },
      "Hread: not allowed on write-file");
  WriteFile("plain.txt", "not compressed at all");
  EXPECT_FATAL(Hopen("plain.txt", "rb"), "Hopen: not an LZX file");
  EXPECT_FATAL(
      {
        FileRef ref;
        DoFopen("plain.txt", "a+", &ref);
      },
      "LZX DoFopen [plain.txt] [a+] failed");
}

TEST_F(ContainerTest, DamagedOrUnfinishedFilesAreRefusedBeforeAnythingIsServed) {
  const Bytes data = SampleText(50000); // 4 blocks
  WriteCompressed("d.lzx", data);
  const Bytes good = ReadFile("d.lzx");
  const std::int32_t index = Int(good, 4);
  const auto with = [&](std::size_t at, std::int32_t value) {
    Bytes b = good;
    std::memcpy(b.data() + at, &value, 4);
    return b;
  };
  Bytes bomb(16, 0); // a length of 2 GiB - 1 and no blocks
  std::memcpy(bomb.data(), "LZX1", 4);
  std::memcpy(bomb.data() + 4, "\x10\0\0\0\xff\xff\xff\x7f", 8);
  const std::string header = "Hopen: damaged or unfinished file [x.lzx]";
  const std::string blockIndex = "Hopen: damaged block index [x.lzx]";
  const struct {
    const char *what;
    Bytes file;
    std::string text;
  } cases[] = {
      {"unfinished: index offset and length 0", with(4, 0), header},
      {"unfinished, length written", with(8, 0), header},
      {"16-byte bomb", bomb, header},
      {"length beyond the data", with(8, 50000 + 16384), header},
      {"negative length", with(8, -1), header},
      {"index offset too small", with(4, index - 4), header},
      {"index offset past the end", with(4, static_cast<std::int32_t>(good.size()) + 4), header},
      {"unknown flag bit", with(12, 8), header},
      {"checked flag without a trailer", with(12, 4), header},
      {"cut inside a block", Bytes(good.begin(), good.begin() + 300), header},
      {"first entry not 16", with(static_cast<std::size_t>(index), 17), blockIndex},
      {"entries not increasing", with(static_cast<std::size_t>(index) + 8, Int(good, static_cast<std::size_t>(index) + 4)), blockIndex},
      {"entry at the index", with(static_cast<std::size_t>(index) + 12, index), blockIndex},
      {"entry far outside", with(static_cast<std::size_t>(index) + 8, 1 << 30), blockIndex},
      // Readable framing, wrong content: refused when the block is reached.
      {"block not where the index says", with(static_cast<std::size_t>(index) + 8, Int(good, static_cast<std::size_t>(index) + 8) + 1),
       "Hfill: block 1 does not end where the index says [x.lzx]"},
      {"negative bit count", with(16, -5), "Hfill: bad bit count [x.lzx]"},
      {"bit count past the buffer", with(16, 32768 * 8 + 1), "Hfill: bad bit count [x.lzx]"},
  };
  for (const auto &c : cases) {
    WriteFile("x.lzx", c.file);
    EXPECT_FATAL(ReadCompressed("x.lzx"), c.text) << c.what;
  }
}

TEST_F(ContainerTest, TheLengthCannotReach2GiB) {
  EXPECT_FATAL(
      {
        HILE *h = Hopen("big.lzx", "wb");
        h->blockBase = 0x7fffc000; // as if 2 GiB less 16 KiB had been written, and
        h->fill = 16300;           // 84 bytes short of 2^31 - 1
        Hwrite(SampleText(100).data(), 100, h);
      },
      "Hwrite: file too large [big.lzx]");
}

} // namespace

namespace {

// A reader that knows only the two coding flags, written from the format's
// first description: blocks one after another from offset 16 up to the
// index, and block k found through index entry k. It never looks past the
// index.
Bytes ReadLikeAPlainReader(const Bytes &file, bool throughIndex) {
  const std::int32_t indexOffset = Int(file, 4), length = Int(file, 8), flags = Int(file, 12) & 3;
  Bytes out;
  static std::uint8_t plain[kBlockSize];
  const std::int32_t blocks = (length + kBlockSize - 1) / kBlockSize;
  std::int32_t at = 16;
  for (std::int32_t k = 0; k < blocks; ++k) {
    if (throughIndex) at = Int(file, static_cast<std::size_t>(indexOffset + 4 * k));
    const std::int32_t size = BlockStoredSize(file.data() + at, indexOffset - at, flags);
    if (size <= 0 || BlockDecode(file.data() + at, size, flags, plain) != BlockFault::None) return {};
    out.insert(out.end(), plain, plain + kBlockSize);
    at += size;
  }
  out.resize(static_cast<std::size_t>(length));
  return out;
}

std::jmp_buf g_fault;
[[noreturn]] void BackToTheTest(const char *) { std::longjmp(g_fault, 1); }
int Silent(const char *, const char *, PlatIcon, PlatWindow) { return kPlatButtonOk; }

void ReadWholeThenSeekEveryBlock(const char *name) {
  // Into a static buffer: the fatal path jumps out of here, past any destructor.
  static std::uint8_t chunk[kBlockSize];
  HILE *h = Hopen(name, "rb");
  while (Hread(chunk, sizeof chunk, h) > 0) {
  }
  Hclose(h);
  h = Hopen(name, "rb");
  for (std::int32_t at = h->header.length - 1; at >= 0; at -= kBlockSize) {
    Hseek(h, at);
    Hgetc(h);
  }
  Hclose(h);
}

// Reads the file whole, then each block by a seek; false when the reader
// refused it (the fatal path, brought back here).
bool ReadsWithoutFault(const char *name) {
  PlatSetNoticeHook(Silent);
  FatalEndHook = BackToTheTest;
  const bool ok = setjmp(g_fault) == 0 ? (ReadWholeThenSeekEveryBlock(name), true) : false;
  FatalEndHook = nullptr;
  PlatSetNoticeHook(nullptr);
  HreleaseAll();
  return ok;
}

} // namespace

TEST_F(ContainerTest, ACheckedFileIsAPlainFileWithATrailerThatPlainReadersIgnore) {
  struct {
    const char *plain, *checked;
    Bytes data;
  } cases[] = {{"wb", "wbc", SampleText(50000)}, {"wbh", "wbhc", RandomBytes(40000, 9)},
               {"wbs", "wbsc", RowFriendly(33000)}, {"wb", "wbc", {}}};
  for (const auto &c : cases) {
    WriteCompressed("plain.lzx", c.data, c.plain);
    WriteCompressed("checked.lzx", c.data, c.checked);
    const Bytes plain = ReadFile("plain.lzx"), checked = ReadFile("checked.lzx");
    const std::int32_t blocks = static_cast<std::int32_t>(c.data.size() + kBlockSize - 1) / kBlockSize;
    // Header (but for the flag), blocks and index are the plain file's bytes;
    // then two checks per block, the content and framing checks and "LZXC".
    ASSERT_EQ(checked.size(), plain.size() + 8u * static_cast<std::size_t>(blocks) + 16u) << c.checked;
    EXPECT_EQ(Int(checked, 12), Int(plain, 12) | kFlagChecked);
    Bytes unflagged(checked.begin(), checked.begin() + static_cast<std::ptrdiff_t>(plain.size()));
    std::memcpy(unflagged.data() + 12, plain.data() + 12, 4);
    EXPECT_EQ(unflagged, plain) << c.checked;
    EXPECT_EQ(std::string(checked.end() - 4, checked.end()), "LZXC");
    EXPECT_EQ(ReadLikeAPlainReader(checked, false), c.data) << c.checked;
    EXPECT_EQ(ReadLikeAPlainReader(checked, true), c.data) << c.checked;
    EXPECT_EQ(ReadCompressed("checked.lzx"), c.data) << c.checked;
  }
}

TEST_F(ContainerTest, EveryBitFlipPastTheHeaderOfACheckedFileIsRefused) {
  // Bytes past the header, each with one bit flipped (the bit varies with
  // the position): every byte of the LZ-coded file, about 1500 spread over
  // the larger Huffman-coded one; blocks, index and trailer alike.
  for (const char *mode : {"wbc", "wbhc"}) {
    WriteCompressed("good.lzx", SampleText(40000), mode);
    const Bytes good = ReadFile("good.lzx");
    ASSERT_TRUE(ReadsWithoutFault("good.lzx"));
    int accepted = 0;
    const std::size_t step = good.size() / 1500 + 1;
    for (std::size_t at = 16; at < good.size(); at += (at + step < good.size() - 24 ? step : 1)) {
      Bytes damaged = good;
      damaged[at] ^= static_cast<std::uint8_t>(1u << (at % 8));
      WriteFile("bad.lzx", damaged);
      if (ReadsWithoutFault("bad.lzx")) {
        ++accepted;
        ADD_FAILURE() << mode << ": a flip at byte " << at << " of " << good.size() << " was not noticed";
      }
    }
    EXPECT_EQ(accepted, 0);
  }
}

TEST_F(ContainerTest, TheCheckedWorkedExampleByteForByte) {
  // "abcabcabcabc" checked: the plain file's 56 bytes with flag 4, then the
  // trailer. The block checks and the framing check agree with xxhsum -H3
  // and -H1 of the same bytes.
  const Bytes data{'a', 'b', 'c', 'a', 'b', 'c', 'a', 'b', 'c', 'a', 'b', 'c'};
  WriteCompressed("w.lzx", data, "wbc");
  const Bytes file = ReadFile("w.lzx");
  const Bytes trailer(file.begin() + 56, file.end());
  const Bytes expected{0x4d, 0x34, 0xcc, 0xef,                          // XXH3-64 of the 16384-byte block, low half
                       0x59, 0xf0, 0xd0, 0x7b,                          // XXH3-64 of the block's 36 stored bytes, low half
                       0x05, 0x96, 0x99, 0x44, 0x94, 0xc4, 0xe9, 0x3c,  // XXH64, seed 12, of the block checks
                       0x15, 0xba, 0x4b, 0x3e,                          // XXH64 of header, index, checks, content check
                       'L',  'Z',  'X',  'C'};
  EXPECT_EQ(file.size(), 80u);
  EXPECT_EQ(Int(file, 12), 4);
  EXPECT_EQ(trailer, expected);
}
