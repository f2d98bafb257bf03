// The fatal path and the tracked block allocator.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fileio/fatal.h"
#include "fileio/file.h"
#include "fileio/path.h"
#include "tests/support.h"

namespace {

using vorn_test::ScratchTest;

class FatalTest : public ScratchTest {};

TEST_F(FatalTest, ShowsFormattedTextUnderTheFixedCaptionAndExitsWithTwo) {
  EXPECT_FATAL(FatalMessage("LzxPack: buffer full"), "LzxPack: buffer full");
  EXPECT_FATAL(FatalMessage("\nFile Error : name = [%s] code = %d", "a.txt", 209),
               "\nFile Error : name = [a.txt] code = 209");
}

TEST_F(FatalTest, CutsAnOverlongTextToTheBuffer) {
  const std::string longName(400, 'x');
  // 199 characters survive: the prefix and as much of the name as fits.
  const std::string expected = "Illegal unstack [" + std::string(199 - 17, 'x') + "\n";
  EXPECT_EXIT(FatalMessage("Illegal unstack [%s]", longName.c_str()), ::testing::ExitedWithCode(2),
              ::testing::EndsWith(expected));
}

// An exit handler runs after the fatal path has closed the registry; it tells
// whether the file that was open for writing is free again.
std::string g_probeName;
void ReportWhetherClosed() {
  std::fprintf(stderr, FileIsLocked(g_probeName.c_str()) ? "probe: still open\n" : "probe: closed\n");
}

TEST_F(FatalTest, ClosesEveryRegisteredFileBeforeExiting) {
  EXPECT_EXIT(
      {
        g_probeName = "held.txt";
        static FileRef a;
        static FileRef b;
        FileRefInit(&a, 1, "held.txt");
        FileCreate(&a);
        FileRefInit(&b, 1, "other.txt");
        FileCreate(&b);
        std::atexit(ReportWhetherClosed);
        FatalMessage("stop");
      },
      ::testing::ExitedWithCode(2), ::testing::HasSubstr("probe: closed"));
}

TEST_F(FatalTest, InternalErrorFormsWithAndWithoutCode) {
  EXPECT_FATAL(InternalError("LZX", 1396, -1), "Internal error\nFile: LZX\nLine: 1396");
  EXPECT_FATAL(InternalError("FILEIO", 131, 94), "Internal error [94] in [FILEIO,131]");
  EXPECT_FATAL(InternalError("UPDATER", 2317, 0), "Internal error [0] in [UPDATER,2317]");
}

std::int32_t SizeOf(void *p) {
  for (const BlockSlot &slot : BlockTable)
    if (slot.handle && slot.pointer == p) return slot.size;
  return -1;
}

int FreeSlots() {
  int n = 0;
  for (const BlockSlot &slot : BlockTable) n += slot.handle == nullptr;
  return n;
}

TEST_F(FatalTest, BlockAllocRoundsUpToAnEvenSizeOfAtLeastTwo) {
  const std::pair<std::int32_t, std::int32_t> cases[] = {{0, 2}, {1, 2}, {2, 2}, {3, 4}, {7, 8}, {432000, 432000}};
  for (auto [asked, given] : cases) {
    void *p = BlockAlloc(asked, "test");
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(SizeOf(p), given) << "asked " << asked;
    BlockFree(p, "test");
    EXPECT_EQ(SizeOf(p), -1);
  }
}

TEST_F(FatalTest, NegativeSizeIsInternalError123) {
  EXPECT_FATAL(BlockAlloc(-1, "test"), "Internal error [123] in [UPDATER,1236]");
}

TEST_F(FatalTest, TheTwoHundredFirstLiveBlockIsInternalError125) {
  ASSERT_EQ(FreeSlots(), kBlockSlots);
  EXPECT_EXIT(
      {
        for (int i = 0; i < kBlockSlots; ++i) BlockAlloc(16, "test");
        std::fprintf(stderr, "200 blocks live\n");
        BlockAlloc(16, "test");
      },
      ::testing::ExitedWithCode(2),
      ::testing::AllOf(::testing::HasSubstr("200 blocks live"),
                       ::testing::HasSubstr(vorn_test::FatalNotice("Internal error [125] in [UPDATER,1272]"))));
}

TEST_F(FatalTest, FreeIgnoresUnknownPointersAndTheLowestFreeSlotIsReused) {
  void *a = BlockAlloc(10, "a");
  void *b = BlockAlloc(10, "b");
  void *c = BlockAlloc(10, "c");
  int local = 0;
  BlockFree(&local, "never allocated");
  EXPECT_EQ(FreeSlots(), kBlockSlots - 3);
  BlockFree(b, "b");
  BlockFree(b, "b again"); // already freed: no effect
  EXPECT_EQ(FreeSlots(), kBlockSlots - 2);
  EXPECT_EQ(BlockTable[1].handle, nullptr);
  void *d = BlockAlloc(20, "d");
  EXPECT_EQ(BlockTable[1].pointer, d);
  EXPECT_EQ(BlockTable[1].size, 20);
  for (void *p : {a, c, d}) BlockFree(p, "end");
  EXPECT_EQ(FreeSlots(), kBlockSlots);
}

} // namespace
