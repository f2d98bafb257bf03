// Archives: unpacking with the version decisions, the list-file packer, and
// the scrambler.

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "fileio/fatal.h"
#include "fileio/file.h"
#include "lzx/lzx.h"
#include "lzx/names.h"
#include "lzx/versions.h"
#include "tests/lzx_support.h"

namespace {

using vorn_test::AsText;
using vorn_test::Bytes;
using vorn_test::Exists;
using vorn_test::ReadFile;
using vorn_test::StoredFile;
using vorn_test::WriteArchive;
using vorn_test::WriteFile;

class ArchiveTest : public vorn_test::ScratchTest {};

Bytes B(const std::string &s) { return Bytes(s.begin(), s.end()); }

// A version list of the given capacity holding the given records.
std::vector<ArchiveEntry> ListOf(std::initializer_list<StoredFile> files, std::size_t capacity) {
  std::vector<ArchiveEntry> list(capacity);
  std::memset(list.data(), 0, capacity * sizeof(ArchiveEntry));
  std::size_t i = 0;
  for (const StoredFile &f : files) list[i++] = vorn_test::Record(f);
  return list;
}

TEST_F(ArchiveTest, TheWriteDecisionWithAVersionList) {
  WriteArchive("a.lzx", {{"#new.txt", B("N"), 200},
                         {"#lower.txt", B("L"), 200},
                         {"#equal.txt", B("E"), 200},
                         {"#higher.txt", B("H"), 200}});
  for (int flag : {0, 1}) {
    std::filesystem::create_directory("t");
    for (const char *f : {"lower.txt", "equal.txt", "higher.txt"}) WriteFile(std::string("t/") + f, "old");
    // Names are compared without regard to case.
    auto list = ListOf({{"#LOWER.TXT", {}, 150}, {"#Equal.txt", {}, 200}, {"#higher.txt", {}, 300}}, 10);
    EXPECT_EQ(UnPackLZX("a.lzx", "t", list.data(), 10, flag), 0);
    EXPECT_EQ(AsText(ReadFile("t/lower.txt")), "L");
    EXPECT_EQ(list[0].state, kStateUpdated);
    EXPECT_EQ(list[0].version, 200);
    EXPECT_STREQ(list[0].name, "#lower.txt"); // the archive's record replaces the listed one
    EXPECT_EQ(AsText(ReadFile("t/equal.txt")), flag ? "E" : "old");
    EXPECT_EQ(list[1].state, flag ? kStateUpdated : kStateUnchanged);
    EXPECT_EQ(AsText(ReadFile("t/higher.txt")), "old");
    EXPECT_EQ(list[2].state, kStateUnchanged);
    EXPECT_EQ(list[2].version, 300);
    EXPECT_EQ(AsText(ReadFile("t/new.txt")), "N");
    EXPECT_STREQ(list[3].name, "#new.txt");
    EXPECT_EQ(list[3].state, kStateNew);
    EXPECT_EQ(list[4].name[0], '\0');
    std::filesystem::remove_all("t");
  }
}

TEST_F(ArchiveTest, WithoutAListTheFlagDecidesForExistingFiles) {
  WriteArchive("a.lzx", {{"#x.txt", B("new")}, {"#y.txt", B("fresh")}});
  std::filesystem::create_directory("t");
  WriteFile("t/x.txt", "old");
  UnPackLZX("a.lzx", "t", nullptr, 0, 0);
  EXPECT_EQ(AsText(ReadFile("t/x.txt")), "old");
  EXPECT_EQ(AsText(ReadFile("t/y.txt")), "fresh"); // content of x was read past
  UnPackLZX("a.lzx", "t", nullptr, 0, 1);
  EXPECT_EQ(AsText(ReadFile("t/x.txt")), "new");
}

TEST_F(ArchiveTest, ReplaceOnlyIsRecordedButNotWritten) {
  StoredFile only{"#sub\\only.txt", B("R")};
  only.replaceOnly = 1;
  WriteArchive("a.lzx", {only, {"#after.txt", B("A")}});
  auto list = ListOf({}, 5);
  UnPackLZX("a.lzx", "t", list.data(), 5, 1);
  EXPECT_FALSE(Exists("t/sub/only.txt"));
  EXPECT_TRUE(Exists("t/sub")); // directories are made for every entry
  EXPECT_EQ(list[0].state, kStateNew);
  EXPECT_EQ(AsText(ReadFile("t/after.txt")), "A");
  WriteFile("t/sub/only.txt", "present");
  UnPackLZX("a.lzx", "t", nullptr, 0, 1);
  EXPECT_EQ(AsText(ReadFile("t/sub/only.txt")), "R");
}

TEST_F(ArchiveTest, DeleteAfterRemovesTheTargetWrittenOrNot) {
  StoredFile temp{"#temp.txt", B("T")};
  temp.deleteAfter = 1;
  WriteArchive("a.lzx", {temp});
  UnPackLZX("a.lzx", "t", nullptr, 0, 1);
  EXPECT_FALSE(Exists("t/temp.txt"));
  std::filesystem::create_directory("u");
  WriteFile("u/temp.txt", "kept?");
  UnPackLZX("a.lzx", "u", nullptr, 0, 0); // not written, deleted all the same
  EXPECT_FALSE(Exists("u/temp.txt"));
}

TEST_F(ArchiveTest, NamesWithoutHashAndEmptyEntries) {
  WriteArchive("a.lzx", {{"plain\\direct.txt", B("D")}, {"#empty.txt", {}}});
  UnPackLZX("a.lzx", "t", nullptr, 0, 1);
  EXPECT_EQ(AsText(ReadFile("plain/direct.txt")), "D"); // relative to the current directory
  EXPECT_TRUE(Exists("t/empty.txt"));
  EXPECT_TRUE(ReadFile("t/empty.txt").empty());
  WriteArchive("none.lzx", {});
  auto list = ListOf({{"#kept", {}, 100}}, 3);
  EXPECT_EQ(UnPackLZX("none.lzx", "t", list.data(), 3, 1), 0);
  EXPECT_EQ(list[0].state, 0);
  EXPECT_FATAL(UnPackLZX("a.lzx", nullptr, nullptr, 0, 1), "UnPackLZX no target");
}

TEST_F(ArchiveTest, AFullListIsTooManyFiles) {
  WriteArchive("a.lzx", {{"#one", B("1")}});
  auto full = ListOf({{"#other", {}, 100}}, 1);
  EXPECT_FATAL(UnPackLZX("a.lzx", "t", full.data(), 1, 1), "UnPackLZX too many files");
  EXPECT_FATAL(UnPackLZX("a.lzx", "t", full.data(), 0, 1), "UnPackLZX too many files");
}

TEST_F(ArchiveTest, CutRecordsAndCutContent) {
  const Bytes whole = vorn_test::ArchiveBytes({{"#a", B("0123456789")}});
  vorn_test::WriteCompressed("rec.lzx", Bytes(whole.begin(), whole.begin() + 100));
  EXPECT_FATAL(UnPackLZX("rec.lzx", "t", nullptr, 0, 1), "UnPackLZX: target fail");
  vorn_test::WriteCompressed("body.lzx", Bytes(whole.begin(), whole.end() - 3));
  EXPECT_FATAL(UnPackLZX("body.lzx", "t", nullptr, 0, 1), "UnPackLZX: unexpected eof");
  EXPECT_FALSE(Exists("t/a")); // refused before anything of it was written
  Bytes negative = whole;
  const std::int32_t minus = -1;
  std::memcpy(negative.data() + 256, &minus, 4); // the record's size field
  vorn_test::WriteCompressed("neg.lzx", negative);
  EXPECT_FATAL(UnPackLZX("neg.lzx", "t", nullptr, 0, 1), "UnPackLZX: bad entry size -1: #a");
}

TEST_F(ArchiveTest, APathOver255CharactersIsRefused) {
  const std::string deep = "#" + std::string(200, 'd') + "\\" + std::string(40, 'f');
  WriteArchive("a.lzx", {{deep, B("x")}});
  const std::string target(20, 't');
  EXPECT_EXIT(UnPackLZX("a.lzx", target.c_str(), nullptr, 0, 1), ::testing::ExitedWithCode(2),
              ::testing::HasSubstr("UnPackLZX: path too long: #ddd"));
  EXPECT_FALSE(Exists(target));
}

TEST_F(ArchiveTest, ScrambledEntriesAreUnscrambled) {
  const Bytes plain = vorn_test::RandomBytes(5000, 4);
  WriteFile("s.bin", plain);
  FileRef ref;
  FileRefInit(&ref, 1, "s.bin");
  ScrambleFile(&ref);
  StoredFile entry{"#s.bin", ReadFile("s.bin")};
  entry.scrambled = 1;
  WriteArchive("a.lzx", {entry});
  UnPackLZX("a.lzx", "t", nullptr, 0, 1);
  EXPECT_EQ(ReadFile("t/s.bin"), plain);
}

TEST_F(ArchiveTest, ScramblerKeystream) {
  WriteFile("five", Bytes{9, 0, 0, 0, 0});
  FileRef ref;
  FileRefInit(&ref, 1, "five");
  ScrambleFile(&ref);
  EXPECT_EQ(ReadFile("five"), (Bytes{9, 0x17, 0x9a, 0x3c, 0x5d}));
  for (std::size_t n : {0u, 1u, 4u}) {
    const Bytes small = vorn_test::RandomBytes(n, 1);
    WriteFile("small", small);
    FileRefInit(&ref, 1, "small");
    ScrambleFile(&ref);
    EXPECT_EQ(ReadFile("small"), small) << n;
  }
  const Bytes data = vorn_test::RandomBytes(1000, 2);
  WriteFile("long", data);
  WriteFile("short", Bytes(data.begin(), data.begin() + 600));
  FileRefInit(&ref, 1, "long");
  ScrambleFile(&ref);
  const Bytes longOnce = ReadFile("long");
  EXPECT_EQ(longOnce[0], data[0]);
  EXPECT_NE(longOnce, data);
  FileRefInit(&ref, 1, "short");
  ScrambleFile(&ref);
  const Bytes shortOnce = ReadFile("short");
  EXPECT_EQ(Bytes(shortOnce.begin(), shortOnce.begin() + 597), Bytes(longOnce.begin(), longOnce.begin() + 597));
  EXPECT_NE(Bytes(shortOnce.begin() + 597, shortOnce.end()), Bytes(longOnce.begin() + 597, longOnce.begin() + 600));
  FileRefInit(&ref, 1, "long");
  ScrambleFile(&ref);
  EXPECT_EQ(ReadFile("long"), data); // twice gives the file back
}

// ---- the list-file packer ----

std::int32_t Pack(const std::string &list, std::int32_t *total = nullptr, std::int32_t *packed = nullptr,
                  ArchiveEntry *records = nullptr, std::int32_t capacity = 0) {
  WriteFile("list.txt", list);
  return PackLZX("list.txt", total, packed, records, capacity);
}

TEST_F(ArchiveTest, AListWithOnlyTheHeaderLines) {
  std::int32_t total = -1, packed = -1;
  EXPECT_EQ(Pack("out.lzx\r\nsrc\\\r\n", &total, &packed), 0);
  EXPECT_EQ(total, 0);
  EXPECT_EQ(packed, 16);
  EXPECT_EQ(ReadFile("out.lzx").size(), 16u);
}

TEST_F(ArchiveTest, PackThenUnpackRestoresFilesAndVersions) {
  std::filesystem::create_directory("src");
  WriteFile("src/readme.txt", "read me");
  WriteFile("src/b.bin", vorn_test::RandomBytes(70000, 5));
  WriteFile("elsewhere.dat", "E");
  const std::string list = "\n\nout.lzx\n\nsrc\\\n\nreadme.txt|V=120|E=0\n#docs\\readme.txt\n\r\n"
                           "b.bin| v=300 |  d=0|r=0\n#b.bin\n#elsewhere.dat||V=101\n#x\\e.dat\n\n";
  ArchiveEntry records[5];
  std::int32_t total = 0, packed = 0;
  EXPECT_EQ(Pack(list, &total, &packed, records, 5), 3);
  EXPECT_EQ(total, 7 + 70000 + 1);
  EXPECT_EQ(packed, static_cast<std::int32_t>(ReadFile("out.lzx").size()));
  EXPECT_STREQ(records[0].name, "#docs\\readme.txt");
  EXPECT_EQ(records[0].version, 120);
  EXPECT_EQ(records[1].version, 300);
  EXPECT_EQ(records[1].size, 70000);
  EXPECT_EQ(records[2].version, 101);
  auto versions = ListOf({}, 10);
  UnPackLZX("out.lzx", "t", versions.data(), 10, 1);
  EXPECT_EQ(AsText(ReadFile("t/docs/readme.txt")), "read me");
  EXPECT_EQ(ReadFile("t/b.bin"), ReadFile("src/b.bin"));
  EXPECT_EQ(AsText(ReadFile("t/x/e.dat")), "E");
  EXPECT_EQ(versions[1].version, 300);
  EXPECT_EQ(versions[2].state, kStateNew);
}

TEST_F(ArchiveTest, CapacityLimitsOnlyTheCopiedRecords) {
  std::string list = "out.lzx\n.\\\n";
  for (int i = 0; i < 5; ++i) {
    WriteFile("f" + std::to_string(i), std::string(static_cast<std::size_t>(i), 'x'));
    list += "#f" + std::to_string(i) + "|V=" + std::to_string(100 + i) + "\n#f" + std::to_string(i) + "\n";
  }
  ArchiveEntry records[3];
  std::memset(records, 0, sizeof records);
  EXPECT_EQ(Pack(list, nullptr, nullptr, records, 2), 5);
  EXPECT_EQ(records[1].version, 101);
  EXPECT_EQ(records[2].version, 0); // not copied
}

TEST_F(ArchiveTest, ListFileFaults) {
  WriteFile("a", "x");
  WriteFile("a ", "with a blank");
  EXPECT_FATAL(Pack(""), "PackLZX: No first line");
  EXPECT_FATAL(Pack("out.lzx\n"), "PackLZX: No base directory");
  EXPECT_FATAL(Pack("out.lzx\n.\\\n#a|V=99\n#a\n"), "PackLZX: Version error [a]");
  EXPECT_FATAL(Pack("out.lzx\n.\\\n#a\n#a\n"), "PackLZX: Version error [a]");
  EXPECT_FATAL(Pack("out.lzx\n.\\\n#a|V=100|  X=1\n#a\n"), "PackLZX: Unknown option [  X=1]");
  EXPECT_FATAL(Pack("out.lzx\n.\\\n#a|V=100\n"), "PackLZX: No first line");
  EXPECT_FATAL(Pack("out.lzx\n.\\\n|||\n#a\n"), "PackLZX: No filename found");
  // An option of blanks only, ending a line of the full 256 characters, is
  // unknown; nothing past the line is read (found by fuzzing).
  const std::string blanks = "#a|V=100|" + std::string(256 - 9, ' ');
  EXPECT_FATAL(Pack("out.lzx\n.\\\n" + blanks + "\n#a\n"),
               ("PackLZX: Unknown option [" + std::string(247, ' ') + "]").substr(0, 199)); // cut to the fatal buffer
  std::string many = "#a|V=100";
  for (int i = 0; i < 47; ++i) many += "|E=0"; // 48 options, well inside 256 characters
  EXPECT_FATAL(Pack("out.lzx\n.\\\n" + many + "\n#a\n"), "PackLZX: Too many options [#a]");
  many.resize(many.size() - 4); // 47 options are fine
  EXPECT_EQ(Pack("out.lzx\n.\\\n" + many + "\n#a\n"), 1);
  // The source name is taken whole: a blank before the '|' is part of it.
  ArchiveEntry r[1];
  EXPECT_EQ(Pack("out.lzx\n.\\\n#a |V=100\n#a\n", nullptr, nullptr, r, 1), 1);
  EXPECT_EQ(r[0].size, 12);
}

TEST_F(ArchiveTest, ReadLineTakesCrLfAndCutsLongLines) {
  WriteFile("lines", "one\r\ntwo\rthree\n\n\nfour-long-line\nlast");
  FileRef ref;
  FileRefInit(&ref, 1, "lines");
  FileOpenRead(&ref);
  char buf[6];
  std::vector<std::string> got;
  while (FileReadLine(&ref, buf, 5)) got.emplace_back(buf);
  FileClose(&ref);
  EXPECT_EQ(got, (std::vector<std::string>{"one", "two", "three", "four-", "long-", "line", "last"}));
}

TEST_F(ArchiveTest, VersionFileRoundTrip) {
  auto list = ListOf({{"#a", {}, 100}, {"#b", {}, 200}, {"", {}, 0}, {"#hidden", {}, 9}}, 4);
  list[0].state = kStateNew;
  list[1].state = kStateUnchanged;
  list[3].state = kStateUpdated;
  const VersionCounts counts = VersionListSettle(list.data(), 4);
  EXPECT_EQ(counts.used, 2); // the empty name ends the list
  EXPECT_EQ(counts.added, 1);
  EXPECT_EQ(counts.unchanged, 1);
  EXPECT_EQ(counts.updated, 0);
  auto *block = static_cast<ArchiveEntry *>(BlockAlloc(4 * 432, "Version file"));
  std::memcpy(block, list.data(), 4 * 432);
  VersionListSave("lzx.ver", block, counts.used);
  EXPECT_EQ(ReadFile("lzx.ver").size(), 2u * 432);
  std::int32_t capacity = 0;
  ArchiveEntry *loaded = VersionListLoad("lzx.ver", &capacity);
  EXPECT_EQ(capacity, 1002);
  EXPECT_STREQ(loaded[1].name, "#b");
  EXPECT_EQ(loaded[1].state, 0);
  EXPECT_EQ(loaded[2].name[0], '\0');
  BlockFree(loaded, "Version file");
  // Records behind an empty name are dropped on loading, so that a new entry
  // filling the gap cannot bring them back.
  auto gap = ListOf({{"#a", {}, 100}, {"", {}, 0}, {"#behind", {}, 900}}, 3);
  WriteFile("gap.ver", Bytes(reinterpret_cast<const std::uint8_t *>(gap.data()),
                             reinterpret_cast<const std::uint8_t *>(gap.data() + 3)));
  loaded = VersionListLoad("gap.ver", &capacity);
  EXPECT_EQ(capacity, 1003);
  EXPECT_STREQ(loaded[0].name, "#a");
  EXPECT_EQ(loaded[2].name[0], '\0');
  EXPECT_EQ(loaded[2].version, 0);
  BlockFree(loaded, "Version file");
  WriteFile("empty.ver", "");
  loaded = VersionListLoad("empty.ver", &capacity);
  EXPECT_EQ(capacity, 1000);
  BlockFree(loaded, "Version file");
}

// Archive names are Windows-1252: the characters of 0x80-0x9F by their own
// table, every byte to one character and back, and what the code page
// cannot hold (or what is no UTF-8) refused rather than guessed.
TEST(ArchiveNames, Windows1252ToAndFromUtf8) {
  const struct {
    const char *utf8, *cp1252;
  } pairs[] = {{"\xc3\x9c" "berblick.htm", "\xdc" "berblick.htm"}, {"caf\xc3\xa9", "caf\xe9"},
               {"\xe2\x82\xac", "\x80"}, {"\xc5\x92", "\x8c"}, {"\xc5\xb8", "\x9f"}, {"\xc2\x81", "\x81"},
               {"\xc3\xbf", "\xff"}};
  for (const auto &p : pairs) {
    char out[64];
    ASSERT_TRUE(Cp1252FromUtf8(p.utf8, out, sizeof out)) << p.utf8;
    EXPECT_STREQ(out, p.cp1252);
    ASSERT_TRUE(Cp1252ToUtf8(p.cp1252, out, sizeof out));
    EXPECT_STREQ(out, p.utf8);
  }
  for (const char *refused : {"\xc4\x80", "na\xefve", "\xc0\xaf", "\xed\xa0\x80", "\xf0\x9f\x98\x80", "\xe2\x82"}) {
    char out[64];
    EXPECT_FALSE(Cp1252FromUtf8(refused, out, sizeof out)) << refused;
  }
  std::string all;
  for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
  char utf8[800], back[300];
  ASSERT_TRUE(Cp1252ToUtf8(all.c_str(), utf8, sizeof utf8));
  ASSERT_TRUE(Cp1252FromUtf8(utf8, back, sizeof back));
  EXPECT_EQ(back, all);
  EXPECT_FALSE(Cp1252ToUtf8("\xdc", utf8, 2)); // two bytes and the end do not fit in 2
}

} // namespace
