// Bit stream, Huffman code construction and code-length transmission.
#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "lzx/codec/bits.h"
#include "lzx/codec/huffman.h"
#include "lzx/codec/lengths.h"
#include "tests/codec_support.h"

namespace {

using vorn_test::Bytes;
using vorn_test::StoredBits;

// The stream bits from..from+n as text, in stream order.
std::string StreamBits(std::int32_t from, std::int32_t n) {
  std::string s;
  for (std::int32_t p = from; p < from + n; ++p) s += ((BitBuffer[p >> 3] >> (p & 7)) & 1) ? '1' : '0';
  return s;
}

TEST(BitStream, PutKeepsTheBitsBelowAndClearsTheWordAbove) {
  BitBuffer[0] = 0x0a;
  BitBuffer[1] = BitBuffer[2] = BitBuffer[3] = 0xff;
  BitPos = 5;
  BitPut(3, 5);
  EXPECT_EQ(BitPos, 8);
  EXPECT_EQ(BitBuffer[0], 0xaa); // bits 5-7 = 1,0,1 over the untouched 01010
  EXPECT_EQ(BitBuffer[1] | BitBuffer[2] | BitBuffer[3], 0);

  std::memset(BitBuffer, 0xff, 8);
  BitPos = 3;
  BitPut(1, 0);
  EXPECT_EQ(Bytes(BitBuffer, BitBuffer + 5), (Bytes{0x07, 0x00, 0x00, 0x00, 0xff}));
}

TEST(BitStream, PadCompletesTheByteWithZeros) {
  BitPos = 16;
  BitBuffer[2] = 0x5a;
  BitPad();
  EXPECT_EQ(BitPos, 16);
  EXPECT_EQ(BitBuffer[2], 0x5a); // aligned: nothing written
  BitPos = 0;
  BitPut(17, 0x1ffff);
  BitPad();
  EXPECT_EQ(BitPos, 24);
  EXPECT_EQ(StoredBits(17), (Bytes{0xff, 0xff, 0x01})); // 17 bits: 3 bytes, bits 1-7 zero
}

TEST(BitStream, TwentyFourBitFieldsAtEveryOffset) {
  for (int offset = 0; offset < 8; ++offset) {
    for (std::uint32_t v : {0x000000u, 0xffffffu, 0xa5c3e1u, 0x800001u}) {
      BitPos = 8 + offset;
      BitPut(24, v);
      BitPos = 8 + offset;
      EXPECT_EQ(BitPeek(), v);
      EXPECT_EQ(BitGet(24), v) << offset;
      EXPECT_EQ(BitPos, 32 + offset);
    }
  }
  BitPos = 0;
  BitPut(3, 6);
  BitPut(5, 17);
  BitPos = 0;
  EXPECT_EQ(BitGet(3), 6u);
  BitSkip(1);
  EXPECT_EQ(BitGet(4), 8u); // 17 >> 1
}

TEST(BitStream, BitLenAndBitMask) {
  BitLenInit();
  BitLenInit(); // a second call changes nothing
  EXPECT_EQ(BitLen[0], 0);
  EXPECT_EQ(BitLen[1], 1);
  EXPECT_EQ(BitLen[2], 2);
  EXPECT_EQ(BitLen[3], 2);
  EXPECT_EQ(BitLen[4], 3);
  EXPECT_EQ(BitLen[127], 7);
  EXPECT_EQ(BitLen[128], 8);
  EXPECT_EQ(BitLen[255], 8);
  for (int k = 0; k <= 24; ++k) EXPECT_EQ(BitMask[k], (1u << k) - 1) << k;
}

// Builds CodeTable from frequencies of symbols 0..n-1 and its codes.
void Build(std::initializer_list<std::uint32_t> freqs) {
  FresInit(&CodeTable, static_cast<std::int32_t>(freqs.size()));
  int s = 0;
  for (std::uint32_t f : freqs) CodeTable.keys[s++] += f * 0x10000u;
  FreqToLen(&CodeTable);
  LenToVal(&CodeTable);
}

std::string CodeBits(int s) {
  BitPos = 0;
  BitPut(CodeTable.lengths[s], static_cast<std::uint32_t>(CodeTable.codes[s]));
  return StreamBits(0, CodeTable.lengths[s]);
}

TEST(Huffman, EqualWeightsMergeTheLaterNodeFirst) {
  Build({1, 1, 1, 2});
  EXPECT_EQ(Bytes(CodeTable.lengths, CodeTable.lengths + 4), (Bytes{3, 3, 2, 1}));
  EXPECT_EQ(CodeTable.used, 4);
  const std::int32_t codes[] = {3, 7, 1, 0};
  for (int s = 0; s < 4; ++s) EXPECT_EQ(CodeTable.codes[s], codes[s]) << s;
  EXPECT_EQ(CodeBits(0), "110");
  EXPECT_EQ(CodeBits(1), "111");
  EXPECT_EQ(CodeBits(2), "10");
  EXPECT_EQ(CodeBits(3), "0");
}

TEST(Huffman, TheHighestSymbolRanksHeaviestAmongEquals) {
  Build({1, 1, 1});
  EXPECT_EQ(Bytes(CodeTable.lengths, CodeTable.lengths + 3), (Bytes{2, 2, 1}));
  EXPECT_EQ(CodeTable.keys[0], 0x10002u); // sorted: symbol 2 first
}

TEST(Huffman, NoneOrOneSymbolGetsAOneBitCode) {
  Build({0, 0, 0, 0});
  EXPECT_EQ(CodeTable.used, 0);
  EXPECT_EQ(Bytes(CodeTable.lengths, CodeTable.lengths + 4), (Bytes{1, 0, 0, 0}));
  EXPECT_EQ(CodeTable.codes[0], 0);
  Build({0, 0, 9, 0});
  EXPECT_EQ(CodeTable.used, 1);
  EXPECT_EQ(Bytes(CodeTable.lengths, CodeTable.lengths + 4), (Bytes{0, 0, 1, 0}));
  EXPECT_EQ(CodeTable.codes[2], 0);
}

TEST(Huffman, FastTableForAOneBitCode) {
  Build({0, 0, 0, 5});
  FastInit(&CodeTable);
  // Symbol 3 with its 1-bit code on even windows; no code on odd ones.
  for (int i = 0; i < 1024; ++i) EXPECT_EQ(FastTable[i], i % 2 == 0 ? (3 | 1 << kFastLengthShift) : 512) << i;
}

TEST(Huffman, CanonicalCodesFromLengths) {
  CodeTable.count = 2;
  CodeTable.lengths[0] = CodeTable.lengths[1] = 1;
  LenToVal(&CodeTable);
  EXPECT_EQ(CodeTable.codes[0], 0);
  EXPECT_EQ(CodeTable.codes[1], 1);
  CodeTable.count = 3;
  CodeTable.lengths[2] = 1;
  EXPECT_FATAL(LenToVal(&CodeTable), "LenToVal: overcounted");
  EXPECT_EQ(BitRev(0b0011, 4), 0b1100u);
  EXPECT_EQ(BitRev(0xff01, 3), 0b100u); // bits from n up are ignored
}

// The one test of lengths as a code, which the decoders' choices rest on.
TEST(Huffman, LengthsFitAsACode) {
  const struct {
    std::vector<std::uint8_t> lengths;
    CodeFit fit;
  } cases[] = {
      {{1, 2, 3, 3}, CodeFit::Proper},      // the Kraft sum is 1
      {{0, 2, 0, 3}, CodeFit::Proper},      // below 1; 0 is no code
      {{1, 1, 2}, CodeFit::Improper},       // above 1, but LenToVal gives codes
      {{1, 1, 1}, CodeFit::Overcounted},    // three codes of one bit
      {{2, 2, 2, 2, 2}, CodeFit::Overcounted},
  };
  for (const auto &c : cases) {
    CodeTable.count = static_cast<std::int32_t>(c.lengths.size());
    std::copy(c.lengths.begin(), c.lengths.end(), CodeTable.lengths);
    EXPECT_EQ(LengthsFit(&CodeTable), c.fit) << testing::PrintToString(c.lengths);
  }
}

TEST(Huffman, LongCodesAreFoundByTheLinearSearch) {
  // Fibonacci frequencies give a code of lengths 1, 2, ..., 15, 15.
  Build({1, 1, 2, 3, 5, 8, 13, 21, 34, 55, 89, 144, 233, 377, 610, 987});
  EXPECT_EQ(CodeTable.lengths[0], 15);
  EXPECT_EQ(CodeTable.lengths[1], 15);
  EXPECT_EQ(CodeTable.lengths[15], 1);
  FastInit(&CodeTable);
  for (int s = 0; s < 16; ++s) {
    const auto window = static_cast<std::uint32_t>(CodeTable.codes[s]) | 0xabc00000u; // junk above the code
    const std::uint16_t entry = FastTable[window & 0x3ff];
    std::int32_t got = entry & kFastSymbolMask;
    if (CodeTable.lengths[s] <= 10) {
      EXPECT_EQ(entry >> kFastLengthShift, CodeTable.lengths[s]) << s;
    }
    if (CodeTable.lengths[s] > 10) {
      EXPECT_EQ(got, 512) << s;
      got = DecodeLong(&CodeTable, window);
    }
    EXPECT_EQ(got, s);
    EXPECT_EQ(UnCode(&CodeTable, window), s);
  }
  // A window of all ones is the last 15-bit code; with that code gone, nothing matches.
  CodeTable.lengths[1] = 0;
  EXPECT_FATAL(DecodeLong(&CodeTable, 0x7fff), "DecodeLong: code not found");
  EXPECT_FATAL(UnCode(&CodeTable, 0x7fff), "UnCode: code not found");
}

// The canonical decoding of long codes gives what the linear search gives,
// for codes built from frequencies and for arbitrary (damaged) lengths.
TEST(Huffman, CanonicalLongCodeDecodingMatchesTheLinearSearch) {
  std::mt19937 rng(77);
  for (int round = 0; round < 60; ++round) {
    CodeTable.count = 400;
    if (round % 2 == 0) {
      // A proper code with long codes: steeply falling frequencies.
      FresInit(&CodeTable, 400);
      for (int s = 0; s < 400; ++s) CodeTable.keys[s] += static_cast<std::uint32_t>(1 + (rng() % 3 == 0 ? 0 : (1u << (rng() % 15)))) << 16;
      FreqToLen(&CodeTable);
    } else {
      // Damaged lengths: too many, too few or mixed up.
      for (int s = 0; s < 400; ++s) CodeTable.lengths[s] = static_cast<std::uint8_t>(rng() % 3 == 0 ? 0 : 9 + rng() % 16);
      if (LengthsFit(&CodeTable) == CodeFit::Overcounted) continue; // LenToVal refuses it (tested above)
    }
    LenToVal(&CodeTable);
    FastInit(&CodeTable);
    LongCodeInit(&CodeTable);
    for (int k = 0; k < 3000; ++k) {
      const auto window = static_cast<std::uint32_t>(rng());
      if (FastTable[window & 0x3ff] != kNoSymbol) continue;
      std::int32_t want = -1;
      for (std::int32_t s = 0; s < CodeTable.count && want < 0; ++s) {
        const int l = CodeTable.lengths[s];
        if (l > 10 && ((window ^ static_cast<std::uint32_t>(CodeTable.codes[s])) & BitMask[l]) == 0) want = s;
      }
      if (want >= 0) {
        ASSERT_EQ(DecodeLongCode(window), want) << "round " << round << " window " << window;
      } else if (k % 500 == 0) {
        EXPECT_FATAL(DecodeLongCode(window), "DecodeLong: code not found");
      }
    }
  }
}

// The decoders' 11-bit table gives, for every window, the symbol and code
// length that FastTable and the linear search give (or the same fatal
// text), for proper codes and for damaged lengths whose short codes overlap.
TEST(Huffman, DecodeTableGivesWhatFastTableAndTheLinearSearchGive) {
  std::mt19937 rng(1611);
  for (int round = 0; round < 40; ++round) {
    if (round % 2 == 0) {
      FresInit(&CodeTable, 400);
      for (int s = 0; s < 400; ++s)
        CodeTable.keys[s] += static_cast<std::uint32_t>(rng() % 4 == 0 ? 0 : 1 + (1u << (rng() % (round % 4 == 0 ? 15 : 6)))) << 16;
      FreqToLen(&CodeTable);
    } else {
      CodeTable.count = 400;
      for (int s = 0; s < 400; ++s) CodeTable.lengths[s] = static_cast<std::uint8_t>(rng() % 2 == 0 ? 0 : 4 + rng() % 21);
      if (LengthsFit(&CodeTable) == CodeFit::Overcounted) continue;
    }
    LenToVal(&CodeTable);
    FastInit(&CodeTable);
    LongCodeInit(&CodeTable);
    DecodeTableInit(&CodeTable);
    for (std::uint32_t low = 0; low < (1u << kTableBits); ++low) {
      const std::uint64_t window = low | static_cast<std::uint64_t>(rng()) << kTableBits;
      const std::uint16_t fast = FastTable[window & 0x3ff];
      std::int32_t want = fast != kNoSymbol ? fast & kFastSymbolMask : -1;
      for (std::int32_t s = 0; s < CodeTable.count && want < 0; ++s) {
        const int l = CodeTable.lengths[s];
        if (l > 10 && ((window ^ static_cast<std::uint32_t>(CodeTable.codes[s])) & BitMask[l]) == 0) want = s;
      }
      const std::uint32_t entry = DecodeTable[low];
      if (want < 0) {
        ASSERT_TRUE(IsSlowEntry(entry)) << "round " << round << " window " << low;
        if (low % 64 == 0) {
          EXPECT_FATAL(DecodeSlow(window), "DecodeLong: code not found");
        }
        continue;
      }
      const std::uint32_t got = IsSlowEntry(entry) ? DecodeSlow(window) : entry;
      ASSERT_EQ(got, DecodeEntry(want, CodeTable.lengths[want])) << "round " << round << " window " << low;
    }
  }
}

// The decoders' two-pass build (CodeTableBuild) leaves what LenToVal,
// LongCodeInit and DecodeTableInit leave: the same codes, the same long-code
// answers, the same first item in every window of the table, and a pair of
// literals wherever the window holds two whole literal codes; overcounted
// lengths get LenToVal's fatal text.
TEST(Huffman, TheTwoPassBuildGivesWhatTheStepsGive) {
  std::mt19937 rng(1616);
  int pairs = 0;
  for (int round = 0; round < 60; ++round) {
    const std::int32_t n = round % 3 == 0 ? 256 : 400;
    if (round % 2 == 0) {
      FresInit(&CodeTable, n);
      for (int s = 0; s < n; ++s)
        CodeTable.keys[s] += static_cast<std::uint32_t>(rng() % 4 == 0 ? 0 : 1 + (1u << (rng() % (round % 4 == 0 ? 15 : 6)))) << 16;
      FreqToLen(&CodeTable);
    } else {
      CodeTable.count = n;
      for (int s = 0; s < n; ++s) CodeTable.lengths[s] = static_cast<std::uint8_t>(rng() % 2 == 0 ? 0 : 3 + rng() % 22);
    }
    HuffTable steps = CodeTable;
    // The steps, on a copy; an overcounted code ends in LenToVal.
    if (LengthsFit(&CodeTable) == CodeFit::Overcounted) {
      EXPECT_FATAL(CodeTableBuild(&CodeTable), "LenToVal: overcounted") << "round " << round;
      continue;
    }
    LenToVal(&steps);
    LongCodeInit(&steps);
    DecodeTableInit(&steps);
    const LongCodeIndex wantLong = LongCodes;
    std::uint32_t want[1 << kTableBits];
    std::memcpy(want, DecodeTable, sizeof want);
    CodeTableBuild(&CodeTable);
    for (int s = 0; s < n; ++s) {
      if (CodeTable.lengths[s] > 0) {
        ASSERT_EQ(CodeTable.codes[s], steps.codes[s]) << "round " << round << " symbol " << s;
      }
    }
    ASSERT_EQ(LongCodes.canonical, wantLong.canonical) << "round " << round;
    ASSERT_EQ(LongCodes.maxLength, wantLong.maxLength) << "round " << round;
    for (int l = kFastBits + 1; l <= kMaxCodeLength; ++l) {
      ASSERT_EQ(LongCodes.first[l], wantLong.first[l]) << "round " << round;
      ASSERT_EQ(LongCodes.count[l], wantLong.count[l]) << "round " << round;
      for (std::uint32_t k = 0; k < LongCodes.count[l]; ++k)
        ASSERT_EQ(LongCodes.symbols[LongCodes.offset[l] + static_cast<std::int32_t>(k)],
                  wantLong.symbols[wantLong.offset[l] + static_cast<std::int32_t>(k)]) << "round " << round;
    }
    for (std::uint32_t w = 0; w < (1u << kTableBits); ++w) {
      const std::uint32_t got = DecodeTable[w];
      const std::uint32_t one = want[w];
      const bool literal = (one & (kEntryRef | kEntryStop)) == 0;
      const std::uint32_t l1 = one & 63;
      const std::uint32_t next = literal ? want[w >> l1] : kEntrySlow;
      const bool two = LongCodes.canonical && literal && (next & (kEntryRef | kEntryStop)) == 0 && l1 + (next & 63) <= kTableBits;
      if (!two) {
        ASSERT_EQ(got, one) << "round " << round << " window " << w;
        continue;
      }
      ++pairs;
      ASSERT_EQ(got, (one + (next & 63)) | (next & 0xff0000) << 8 | kEntryPair) << "round " << round << " window " << w;
    }
  }
  EXPECT_GT(pairs, 1000); // the rounds did meet pairs
}

// The coders' word-at-a-time writer leaves BitBuffer byte for byte as
// BitPut leaves it (the last field through BitPut, as the coders do), from
// every starting offset and over any earlier contents.
TEST(BitStream, TheWriterLeavesTheBufferAsBitPutDoes) {
  std::mt19937 rng(16);
  for (int start = 0; start < 64; ++start) {
    std::vector<std::pair<int, std::uint32_t>> fields(1 + rng() % 40);
    for (auto &f : fields) {
      f.first = 1 + static_cast<int>(rng() % 24);
      f.second = static_cast<std::uint32_t>(rng()) & BitMask[f.first];
    }
    Bytes junk(64);
    for (auto &b : junk) b = static_cast<std::uint8_t>(rng());
    std::memcpy(BitBuffer, junk.data(), 64);
    std::memset(BitBuffer + 64, 0, 136);
    BitPos = start;
    for (const auto &f : fields) BitPut(f.first, f.second);
    const Bytes want(BitBuffer, BitBuffer + 200);
    const std::int32_t wantPos = BitPos;
    std::memcpy(BitBuffer, junk.data(), 64);
    std::memset(BitBuffer + 64, 0, 136);
    BitPos = start;
    BitWriter w;
    for (std::size_t i = 0; i + 1 < fields.size(); ++i) w.Put(fields[i].first, fields[i].second);
    w.Finish();
    BitPut(fields.back().first, fields.back().second);
    EXPECT_EQ(BitPos, wantPos);
    EXPECT_EQ(Bytes(BitBuffer, BitBuffer + 200), want) << "start " << start;
  }
}

TEST(Huffman, TooManySymbols) { EXPECT_FATAL(FresInit(&CodeTable, 513), "FresInit: too many symbols"); }

// Items LenRuns makes for a vector of zeros of length n.
Bytes ZeroRunItems(std::int32_t n) {
  std::uint8_t lengths[512] = {};
  std::uint8_t items[512];
  FresInit(&LenTable, kLenSymbols);
  return Bytes(items, items + LenRuns(lengths, n, items));
}

TEST(CodeLengths, ZeroRunsAreCutAsTheFormatPrescribes) {
  EXPECT_EQ(ZeroRunItems(1), (Bytes{0}));
  EXPECT_EQ(ZeroRunItems(2), (Bytes{0, 0}));
  EXPECT_EQ(ZeroRunItems(3), (Bytes{25, 3}));
  EXPECT_EQ(ZeroRunItems(18), (Bytes{25, 18}));
  EXPECT_EQ(ZeroRunItems(19), (Bytes{0, 25, 18}));
  EXPECT_EQ(ZeroRunItems(20), (Bytes{26, 20}));
  EXPECT_EQ(ZeroRunItems(83), (Bytes{26, 83}));
  EXPECT_EQ(ZeroRunItems(84), (Bytes{26, 83, 0}));
  EXPECT_EQ(ZeroRunItems(86), (Bytes{26, 83, 25, 3}));
  EXPECT_EQ(ZeroRunItems(102), (Bytes{26, 83, 0, 25, 18}));
  EXPECT_EQ(LenTable.keys[26] >> 16, 1u); // each item counted once
  EXPECT_EQ(LenTable.keys[0] >> 16, 1u);
  EXPECT_EQ(LenTable.keys[25] >> 16, 1u);
}

TEST(CodeLengths, TheNinetyBitExample) {
  CodeTable.count = 5;
  const std::uint8_t lengths[] = {2, 0, 0, 0, 1};
  std::memcpy(CodeTable.lengths, lengths, 5);
  BitPos = 0;
  SendLens(&CodeTable);
  ASSERT_EQ(BitPos, 90);
  EXPECT_EQ(LenTable.lengths[1], 2);
  EXPECT_EQ(LenTable.lengths[2], 2);
  EXPECT_EQ(LenTable.lengths[25], 1);
  EXPECT_EQ(LenTable.codes[1], 1);
  EXPECT_EQ(LenTable.codes[2], 3);
  EXPECT_EQ(LenTable.codes[25], 0);
  EXPECT_EQ(StreamBits(0, 9), "000010010");
  EXPECT_EQ(StreamBits(75, 6), "100000"); // symbols 25 and 26
  EXPECT_EQ(StreamBits(81, 9), "110000010");
  BitPad();
  EXPECT_EQ(StoredBits(90), (Bytes{0x90, 0, 0, 0, 0, 0, 0, 0, 0, 0x08, 0x06, 0x01}));

  std::memset(CodeTable.lengths, 9, 5);
  BitPos = 0;
  RecvLens(&CodeTable, 5);
  EXPECT_EQ(BitPos, 90);
  EXPECT_EQ(Bytes(CodeTable.lengths, CodeTable.lengths + 5), (Bytes{2, 0, 0, 0, 1}));
}

TEST(CodeLengths, LengthAlphabetFieldsWithTheEscape) {
  std::uint8_t lengths[kLenSymbols] = {};
  lengths[0] = 6;
  lengths[1] = 7;
  lengths[2] = 14;
  BitPos = 0;
  SendLenLens(lengths);
  EXPECT_EQ(BitPos, 27 * 3 + 6);
  EXPECT_EQ(StreamBits(0, 15), "011111000111111");
  std::uint8_t back[kLenSymbols];
  BitPos = 0;
  RecvLenLens(back);
  EXPECT_EQ(Bytes(back, back + kLenSymbols), Bytes(lengths, lengths + kLenSymbols));
  lengths[3] = 15;
  EXPECT_FATAL(SendLenLens(lengths), "SendLenLens: too big");
}

TEST(CodeLengths, AllEightsCostThreeHundredThirtySevenBits) {
  CodeTable.count = 256;
  std::memset(CodeTable.lengths, 8, 256);
  BitPos = 0;
  SendLens(&CodeTable);
  EXPECT_EQ(BitPos, 337);
  EXPECT_EQ(LenTable.lengths[8], 1);
  for (int s = 0; s < kLenSymbols; ++s) {
    if (s != 8) {
      EXPECT_EQ(LenTable.lengths[s], 0);
    }
  }
}

TEST(CodeLengths, AFinalRunPastTheVectorIsCut) {
  // Send 20 zeros as one run, then receive only 10 lengths: the run's field is
  // consumed and the surplus zeros dropped.
  CodeTable.count = 20;
  std::memset(CodeTable.lengths, 0, 20);
  BitPos = 0;
  SendLens(&CodeTable);
  const std::int32_t sent = BitPos;
  std::memset(CodeTable.lengths, 7, 20);
  BitPos = 0;
  RecvLens(&CodeTable, 10);
  EXPECT_EQ(BitPos, sent);
  EXPECT_EQ(CodeTable.count, 10);
  EXPECT_EQ(Bytes(CodeTable.lengths, CodeTable.lengths + 11), (Bytes{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 7}));
}

} // namespace
