// The "LZX1" compressed file: layout, reading, seeking, modes and damage.
#include <cstring>
#include <random>
#include <string>

#include "lzx/codec/bits.h"
#include "lzx/codec/lz.h"
#include "lzx/codec/rle.h"
#include "lzx/lzx.h"
#include "tests/lzx_support.h"

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
  for (const char *mode : {"wb", "wbh"}) {
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

TEST_F(ContainerTest, DamagedFilesAreRefusedBeforeReadingOutOfBounds) {
  const Bytes data = SampleText(50000);
  WriteCompressed("d.lzx", data);
  const Bytes good = ReadFile("d.lzx");

  Bytes cut(good.begin(), good.begin() + 300); // inside block 0
  WriteFile("cut.lzx", cut);
  const std::int32_t bytes0 = (Int(good, 16) + 7) / 8;
  EXPECT_FATAL(ReadCompressed("cut.lzx"), "LZX DoFread failed [cut.lzx, " + std::to_string(bytes0) + "]");

  Bytes negative = good;
  const std::int32_t minus = -5;
  std::memcpy(negative.data() + 16, &minus, 4);
  WriteFile("neg.lzx", negative);
  EXPECT_FATAL(ReadCompressed("neg.lzx"), "Hfill: bad bit count [neg.lzx]");

  Bytes huge = good;
  const std::int32_t big = 32768 * 8 + 1;
  std::memcpy(huge.data() + 16, &big, 4);
  WriteFile("big.lzx", huge);
  EXPECT_FATAL(ReadCompressed("big.lzx"), "Hfill: bad bit count [big.lzx]");

  Bytes elsewhere = good;
  const std::int32_t index = Int(good, 4);
  const std::int32_t wild = 1 << 30;
  std::memcpy(elsewhere.data() + index + 8, &wild, 4); // block 2's offset
  WriteFile("wild.lzx", elsewhere);
  EXPECT_FATAL(
      {
        HILE *h = Hopen("wild.lzx", "rb");
        Hseek(h, 2 * 16384);
      },
      "Hseek: bad block offset [wild.lzx]");
}

} // namespace
