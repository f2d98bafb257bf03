// The Huffman byte coder, the LZ coder, the run-length and row transforms:
// exact bytes of the worked examples, round trips, and damaged blocks.

#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include "lzx/codec/bits.h"
#include "lzx/codec/huf.h"
#include "lzx/codec/huffman.h"
#include "lzx/codec/lz.h"
#include "lzx/codec/rle.h"
#include "lzx/codec/rows.h"
#include "tests/codec_support.h"

namespace {

using vorn_test::Bytes;
using vorn_test::GetBlock;
using vorn_test::LoadBits;
using vorn_test::RandomBytes;
using vorn_test::Repeat;
using vorn_test::SetBlock;
using vorn_test::StoredBits;
using vorn_test::Text;

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes &p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// ---- Huffman byte coder ----

TEST(HufCoder, EmptyBlockIs110Bits) {
  const std::int32_t n = HufPack(0);
  EXPECT_EQ(n, 110);
  EXPECT_EQ(BitPos, 112);
  const Bytes stored = StoredBits(n);
  EXPECT_EQ(stored, Concat({{0x10}, Bytes(8, 0), {0x50, 0xf2, 0xfb, 0xfd, 0x0f}}));
  std::memset(BitBuffer, 0xee, 64);
  LoadBits(stored);
  EXPECT_EQ(HufUnpack(110), 0);
}

TEST(HufCoder, HundredEqualBytesIs210Bits) {
  SetBlock(Repeat(100, 0x41));
  const std::int32_t n = HufPack(100);
  EXPECT_EQ(n, 210);
  const Bytes stored = StoredBits(n);
  EXPECT_EQ(stored, Concat({{0x08}, Bytes(8, 0), {0x40, 0xb6, 0xfe, 0xff, 0x04}, Bytes(13, 0)}));
  std::memset(BlockBuffer, 0, 100);
  LoadBits(stored);
  EXPECT_EQ(HufUnpack(210), 100);
  EXPECT_EQ(GetBlock(100), Repeat(100, 0x41));
}

TEST(HufCoder, AllByteValuesEquallyOftenAreTheirOwnEightBitCodes) {
  Bytes data(512);
  for (int i = 0; i < 512; ++i) data[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i * 7 + 3);
  SetBlock(data);
  const std::int32_t n = HufPack(512);
  EXPECT_EQ(n, 337 + 512 * 8);
  for (int b = 0; b < 256; ++b) {
    ASSERT_EQ(CodeTable.lengths[b], 8);
    EXPECT_EQ(static_cast<std::uint32_t>(CodeTable.codes[b]), BitRev(static_cast<std::uint32_t>(b), 8));
  }
}

TEST(HufCoder, ACountEndingInsideACodeIsRefused) {
  SetBlock(Text("abcdefgh abcdefgh aaaa"));
  const std::int32_t n = HufPack(22);
  const Bytes stored = StoredBits(n);
  LoadBits(stored);
  // The last code is at least two bits long, so n - 1 ends inside it.
  EXPECT_FATAL(HufUnpack(n - 1), "HufUnpack: too many bits read");
  EXPECT_FATAL(HufUnpack(-8), "HufUnpack: bad bit count");
  EXPECT_FATAL(HufUnpack(kBitBufferSize * 8 + 1), "HufUnpack: bad bit count");
}

TEST(HufCoder, OutputBeyondBlockBufferIsRefused) {
  SetBlock(Repeat(kBlockBufferSize, 0));
  const std::int32_t n = HufPack(kBlockBufferSize);
  // One more one-bit code behind the last one asks for byte 32769.
  std::memset(BitBuffer + (n + 7) / 8, 0, 8);
  EXPECT_FATAL(HufUnpack(n + 1), "HufUnpack: output overflow");
}

// ---- LZ coder ----

struct Items {
  std::int32_t literals = 0;
  std::vector<std::pair<std::int32_t, std::int32_t>> refs; // (length, distance)
};

Items ItemsOfLastPack() {
  Items out;
  for (std::int32_t i = 0; i < ItemCount; ++i) {
    const std::uint32_t item = ItemList[i];
    if (item < 256) {
      ++out.literals;
    } else {
      out.refs.emplace_back(static_cast<std::int32_t>((item >> 9) & 0xff) + 3,
                            static_cast<std::int32_t>((item >> 17) & 0x3ff) + 1);
    }
  }
  return out;
}

Bytes LzRoundTrip(const Bytes &data) {
  SetBlock(data);
  const auto size = static_cast<std::int32_t>(data.size());
  const std::int32_t n = LzxPack(size);
  const Bytes stored = StoredBits(n);
  std::memset(BlockBuffer, 0x5a, data.size() + 16);
  std::memset(BitBuffer, 0xa5, sizeof BitBuffer);
  LoadBits(stored);
  const std::int32_t got = LzxUnpack(n);
  EXPECT_EQ(BitPos, n);
  return GetBlock(got);
}

TEST(LzCoder, EmptyBlockIs117Bits) {
  EXPECT_EQ(LzxPack(0), 117);
  EXPECT_EQ(ItemCount, 0);
  EXPECT_EQ(CodeTable.lengths[0], 1);
  LoadBits(StoredBits(117));
  EXPECT_EQ(LzxUnpack(117), 0);
}

TEST(LzCoder, RepeatedTripletIsOneReferenceAtDistanceThree) {
  SetBlock(Text("abcabcabcabc"));
  EXPECT_EQ(LzxPack(12), 147);
  ASSERT_EQ(ItemCount, 4);
  EXPECT_EQ(ItemList[0], 'a');
  EXPECT_EQ(ItemList[3] & 0x1ff, 306u); // L = 3, D = 2
  EXPECT_EQ(ItemsOfLastPack().refs, (std::vector<std::pair<int, int>>{{9, 3}}));
  EXPECT_EQ(LzRoundTrip(Text("abcabcabcabc")), Text("abcabcabcabc"));
}

TEST(LzCoder, HundredEqualBytesIs133Bits) {
  SetBlock(Repeat(100, 0x41));
  EXPECT_EQ(LzxPack(100), 133);
  ASSERT_EQ(ItemCount, 2);
  EXPECT_EQ(ItemList[1] & 0x1ff, 368u); // L = 7, D = 0
  EXPECT_EQ(ItemsOfLastPack().refs, (std::vector<std::pair<int, int>>{{99, 1}}));
  EXPECT_EQ(LzRoundTrip(Repeat(100, 0x41)), Repeat(100, 0x41));
}

TEST(LzCoder, MatchesAreAtMost256Long) {
  SetBlock(Repeat(1000, 7));
  LzxPack(1000);
  const Items items = ItemsOfLastPack();
  EXPECT_EQ(items.literals, 1);
  EXPECT_EQ(items.refs, (std::vector<std::pair<int, int>>{{256, 1}, {256, 1}, {256, 1}, {231, 1}}));
}

TEST(LzCoder, TheWindowReachesBack1024BytesAndNoFurther) {
  for (int gap : {1024, 1025}) {
    Bytes data = RandomBytes(static_cast<std::size_t>(gap) + 8, 99);
    std::memcpy(data.data() + gap, data.data(), 8); // the first 8 bytes again, gap bytes later
    SetBlock(data);
    LzxPack(static_cast<std::int32_t>(data.size()));
    const Items items = ItemsOfLastPack();
    if (gap == 1024) {
      EXPECT_EQ(items.refs, (std::vector<std::pair<int, int>>{{8, 1024}}));
    } else {
      EXPECT_TRUE(items.refs.empty());
    }
    EXPECT_EQ(LzRoundTrip(data), data);
  }
}

TEST(LzCoder, TheNearestOfEqualMatchesWins) {
  // "wxyz" at 0 and 10, then again at 20: both earlier ones match 4 bytes.
  const Bytes data = Text("wxyz123456wxyz987654wxyz");
  SetBlock(data);
  LzxPack(24);
  EXPECT_EQ(ItemsOfLastPack().refs, (std::vector<std::pair<int, int>>{{4, 10}, {4, 10}}));
  EXPECT_EQ(FindMatch(20, 4).distance, 10);
}

TEST(LzCoder, ThreeEqualBytesAreLiterals) {
  SetBlock(Text("zzzabc"));
  LzxPack(6);
  EXPECT_EQ(ItemsOfLastPack().literals, 6);
  EXPECT_EQ(FindMatch(0, 3).length, 0); // fewer than 4 bytes available
}

TEST(LzCoder, RoundTripsOverVariedBlocks) {
  std::string text;
  for (int i = 0; text.size() < 16384; ++i)
    text += "The quick brown fox " + std::to_string(i * 7919 % 1000) + " jumps over the lazy dog.\n";
  text.resize(16384);
  Bytes runs;
  for (int i = 0; runs.size() < 16384; ++i) runs.insert(runs.end(), static_cast<std::size_t>(i % 300 + 1), static_cast<std::uint8_t>(i));
  runs.resize(16384);
  Bytes high = RandomBytes(16384, 5);
  for (auto &b : high) b = static_cast<std::uint8_t>(0x80 | (b & 0x0f));
  const Bytes cases[] = {RandomBytes(16384, 1), Text(text), runs, high, Repeat(16384, 0), Bytes{1},
                         RandomBytes(5, 2)};
  for (const Bytes &data : cases) {
    EXPECT_EQ(LzRoundTrip(data), data) << data.size();
    SetBlock(data);
    const auto size = static_cast<std::int32_t>(data.size());
    const std::int32_t n = HufPack(size);
    LoadBits(StoredBits(n));
    ASSERT_EQ(HufUnpack(n), size);
    EXPECT_EQ(BitPos, n);
    EXPECT_EQ(GetBlock(size), data);
  }
}

TEST(LzCoder, RefusesACountEndingInsideAnItem) {
  SetBlock(Repeat(100, 0x41));
  const std::int32_t n = LzxPack(100);
  LoadBits(StoredBits(n));
  EXPECT_FATAL(LzxUnpack(n - 1), "LzxUnpack: too many bits read"); // inside the extra bits
  EXPECT_FATAL(LzxUnpack(-1), "LzxUnpack: bad bit count");
}

TEST(LzCoder, RefusesAReferenceBeforeTheBlock) {
  HufOutInit();
  HufOutLit('a');
  HufOutRef(1, 1); // length 4 from distance 2, with only one byte written
  BitPos = 0;
  HufOutFlush();
  const std::int32_t n = BitPos;
  EXPECT_FATAL(LzxUnpack(n), "LzxUnpack: reference before the block");
}

TEST(LzCoder, RefusesOutputBeyondBlockBuffer) {
  HufOutInit();
  HufOutLit('a');
  for (int i = 0; i < 200; ++i) HufOutRef(253, 0); // 200 x 256 bytes > 32768
  BitPos = 0;
  HufOutFlush();
  const std::int32_t n = BitPos;
  EXPECT_FATAL(LzxUnpack(n), "LzxUnpack: output overflow");
}

// Decodes damaged blocks in a child process: a clean decode (exit 0) or a
// fatal text (exit 2) are both fine; a crash or sanitizer report is not.
bool DecodedOrRefused(int status) {
  const int code = vorn_test::ExitCode(status);
  return code == 0 || code == 2;
}

TEST(DamagedBlocks, FlippedTruncatedAndRandomBlocksNeverCrash) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  std::string text;
  for (int i = 0; text.size() < 16384; ++i) text += "line " + std::to_string(i) + " of some text\n";
  SetBlock(Text(text.substr(0, 16384)));
  const std::int32_t lzBits = LzxPack(16384);
  const Bytes lz = StoredBits(lzBits);
  SetBlock(Text(text.substr(0, 16384)));
  const std::int32_t hufBits = HufPack(16384);
  const Bytes huf = StoredBits(hufBits);
  std::mt19937 rng(2024);
  for (int round = 0; round < 60; ++round) {
    const bool useLz = round % 2 == 0;
    Bytes stored = useLz ? lz : huf;
    std::int32_t bits = useLz ? lzBits : hufBits;
    switch (round % 6 / 2) {
    case 0: // a few flipped bits
      for (int k = 0; k < 1 + round % 4; ++k) stored[rng() % stored.size()] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
      break;
    case 1: // cut short
      bits = static_cast<std::int32_t>(rng() % static_cast<std::uint32_t>(bits));
      break;
    default: // noise
      stored = RandomBytes(stored.size(), static_cast<std::uint32_t>(round));
      break;
    }
    EXPECT_EXIT(
        {
          std::memset(BitBuffer, 0, sizeof BitBuffer);
          LoadBits(stored);
          if (useLz) LzxUnpack(bits);
          else HufUnpack(bits);
          std::exit(0);
        },
        DecodedOrRefused, "")
        << "round " << round;
  }
}

// ---- run-length transform ----

Bytes RleCoded(const Bytes &block) {
  const std::int32_t n = RlePack(block.data());
  return Bytes(BlockBuffer, BlockBuffer + n);
}

Bytes RleBack(std::int32_t length) {
  Bytes out(16384); // exactly the destination's size, so a write past it is caught
  RleUnpack(length, out.data());
  return out;
}

// A block that begins with head and is filled up with a pattern that codes 1:1,
// but for one run of 16 in the middle that makes coding pay.
Bytes BlockStartingWith(const Bytes &head) {
  Bytes block = head;
  while (block.size() < 16384) block.push_back(static_cast<std::uint8_t>('a' + block.size() % 2));
  std::memset(block.data() + 8000, 'g', 16);
  return block;
}

TEST(RunLength, EqualBytesBecomePairs) {
  const Bytes block = Repeat(16384, 0x33);
  const Bytes coded = RleCoded(block);
  ASSERT_EQ(coded.size(), 2048u);
  for (std::size_t i = 0; i < coded.size(); i += 2) {
    ASSERT_EQ(coded[i], 0x8f);
    ASSERT_EQ(coded[i + 1], 0x33);
  }
  EXPECT_EQ(RleBack(2048), block);
}

TEST(RunLength, LongRunsAreCutAtSixteen) {
  Bytes coded = RleCoded(BlockStartingWith(Concat({Repeat(17, 'x'), {'y'}})));
  EXPECT_EQ(Bytes(coded.begin(), coded.begin() + 4), (Bytes{0x8f, 'x', 'x', 'y'}));
  coded = RleCoded(BlockStartingWith(Concat({Repeat(17, 0x84), {'y'}})));
  EXPECT_EQ(Bytes(coded.begin(), coded.begin() + 5), (Bytes{0x8f, 0x84, 0x80, 0x84, 'y'}));
  coded = RleCoded(BlockStartingWith(Concat({Repeat(19, 'x'), {'y'}})));
  EXPECT_EQ(Bytes(coded.begin(), coded.begin() + 5), (Bytes{0x8f, 'x', 0x82, 'x', 'y'}));
  coded = RleCoded(BlockStartingWith({0x85, 0x90, 'q', 'q', 'y'}));
  EXPECT_EQ(Bytes(coded.begin(), coded.begin() + 6), (Bytes{0x80, 0x85, 0x90, 'q', 'q', 'y'}));
}

TEST(RunLength, TheLastTwoBytesAreSingles) {
  Bytes block = BlockStartingWith({});
  block[16382] = block[16383] = 'z';
  const Bytes coded = RleCoded(block);
  ASSERT_LT(coded.size(), 16384u);
  EXPECT_EQ(Bytes(coded.end() - 3, coded.end()), (Bytes{'b', 'z', 'z'}));
}

TEST(RunLength, StoredUnchangedWhenCodingDoesNotShorten) {
  Bytes block(16384);
  for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<std::uint8_t>(0x80 + i % 16);
  EXPECT_EQ(RlePack(block.data()), 16384);
  EXPECT_EQ(GetBlock(16384), block);
  EXPECT_EQ(RleBack(16384), block);
  // One run of three saves one byte: 16383 is used. A single escape on top of
  // that makes it 16384 again, which is not.
  Bytes gain = BlockStartingWith({'k', 'k', 'k'});
  for (int i = 8000; i < 8016; ++i) gain[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>('a' + i % 2);
  EXPECT_EQ(RlePack(gain.data()), 16383);
  EXPECT_EQ(RleBack(16383), gain);
  gain[100] = 0x81;
  EXPECT_EQ(RlePack(gain.data()), 16384);
}

// The wide steps of the decoder stop short of the block's end: a pair (an
// escaped byte, or a run) at any place among the last bytes comes back
// exactly, and nothing is written past the 16384 bytes.
TEST(RunLength, PairsNearTheEndWriteNothingPastTheBlock) {
  // An escaped byte before the end region moves where the wide steps fall.
  for (int shift = 0; shift < 32; ++shift) {
    for (int at = 16384 - 24; at < 16384; ++at) {
      for (const std::uint8_t v : {std::uint8_t{0x85}, std::uint8_t{'w'}}) {
        Bytes block = BlockStartingWith({});
        block[static_cast<std::size_t>(16300 - shift)] = 0x8a;
        for (int k = at; k < (v == 'w' ? std::min(at + 5, 16384) : at + 1); ++k) block[static_cast<std::size_t>(k)] = v;
        const std::int32_t length = RlePack(block.data());
        ASSERT_LT(length, 16384);
        Bytes out(16384 + 32, 0xee);
        RleUnpack(length, out.data());
        ASSERT_EQ(Bytes(out.begin(), out.begin() + 16384), block) << shift << " " << at;
        ASSERT_EQ(Bytes(out.begin() + 16384, out.end()), Repeat(32, 0xee)) << shift << " " << at;
      }
    }
  }
}

TEST(RunLength, DamagedLengthsAreRefused) {
  EXPECT_FATAL(RleBack(16385), "RleUnpack: input > output");
  // 1023 pairs, 15 singles, then a pair of 16: 16399 bytes, the read count right.
  Bytes coded;
  for (int i = 0; i < 1023; ++i) coded.insert(coded.end(), {0x8f, 'r'});
  coded.insert(coded.end(), 15, 's');
  coded.insert(coded.end(), {0x8f, 't'});
  std::memcpy(BlockBuffer, coded.data(), coded.size());
  EXPECT_FATAL(RleBack(static_cast<std::int32_t>(coded.size())), "RleUnpack: too many bytes written");
  EXPECT_FATAL(RleBack(static_cast<std::int32_t>(coded.size()) - 1), "RleUnpack: too many bytes read");
  RlePack(Repeat(16384, 1).data());
  EXPECT_FATAL(RleBack(2049), "RleUnpack: too many bytes read");
}

// ---- row transform ----

TEST(Rows, AllEmptyRowsGiveAnEmptyTable) {
  const Bytes block = Repeat(16384, 0xff);
  Bytes out(16384, 0);
  std::uint8_t table[255];
  EXPECT_EQ(SorPack(block.data(), out.data(), table), 0);
  EXPECT_EQ(out, block);
}

TEST(Rows, TheWorkedExampleOrdersRowsFiveZeroTwo) {
  Bytes block = Repeat(16384, 0xff);
  std::memset(block.data(), 'A', 64);
  std::memset(block.data() + 128, 'A', 63);
  block[128 + 63] = 'B';
  std::memset(block.data() + 5 * 64 + 60, 'C', 4);
  Bytes out(16384, 0);
  std::uint8_t table[255];
  ASSERT_EQ(SorPack(block.data(), out.data(), table), 3);
  EXPECT_EQ(Bytes(table, table + 3), (Bytes{5, 0, 2}));
  EXPECT_EQ(Bytes(out.begin(), out.begin() + 6), (Bytes{0xff, 'A', 'A', 0xff, 'A', 'A'}));
  EXPECT_EQ(Bytes(out.begin() + 189, out.begin() + 192), (Bytes{'C', 'A', 'B'}));
  EXPECT_EQ(Bytes(out.begin() + 192, out.end()), Repeat(16384 - 192, 0xff));
  Bytes back(16384, 0);
  SorUnpack(out.data(), back.data(), table, 3);
  EXPECT_EQ(back, block);
}

TEST(Rows, ABlockWithoutEmptyRowsIsRefused) {
  const Bytes block = RandomBytes(16384, 8);
  Bytes out(16384);
  std::uint8_t table[255];
  EXPECT_FATAL(SorPack(block.data(), out.data(), table), "SorPack: no empty rows");
}

TEST(Rows, TwoHundredFiftyFiveRowsRoundTrip) {
  Bytes block = RandomBytes(16384, 9);
  std::memset(block.data() + 64 * 77, 0xff, 64);
  Bytes out(16384);
  std::uint8_t table[255];
  ASSERT_EQ(SorPack(block.data(), out.data(), table), 255);
  Bytes back(16384);
  SorUnpack(out.data(), back.data(), table, 255);
  EXPECT_EQ(back, block);
}

TEST(Rows, UnpackRefillsAndLaterEntriesWin) {
  const Bytes junk = RandomBytes(16384, 10);
  Bytes back(16384);
  SorUnpack(junk.data(), back.data(), nullptr, 0);
  EXPECT_EQ(back, Repeat(16384, 0xff));
  const std::uint8_t twice[] = {3, 3};
  SorUnpack(junk.data(), back.data(), twice, 2);
  for (int c = 0; c < 64; ++c) EXPECT_EQ(back[static_cast<std::size_t>(3 * 64 + c)], junk[static_cast<std::size_t>(2 * c + 1)]);
}

} // namespace
