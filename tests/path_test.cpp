// Path splitting, directory creation and removal, name tests, and the log.

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "fileio/file.h"
#include "fileio/log.h"
#include "fileio/path.h"
#include "platform/text.h"
#include "platform/files.h"
#include "tests/support.h"

namespace {

using vorn_test::Exists;
using vorn_test::ReadFile;
using vorn_test::ScratchTest;
using vorn_test::WriteFile;

class PathTest : public ScratchTest {};

struct Split {
  std::string dir, base, ext;
};
Split DoSplit(const char *path) {
  char d[260], b[260], e[260];
  PathSplit(path, d, b, e);
  return {d, b, e};
}

TEST_F(PathTest, SplitCases) {
  const struct {
    const char *path, *dir, *base, *ext;
  } cases[] = {
      {"C:\\Prog\\a.b.txt", "C:\\Prog\\", "a.b", "txt"},
      {"C:name", "C:", "name", ""},
      {"dir.x\\name", "dir.x\\", "name", ""},
      {".profile", "", "", "profile"},
      {"plain", "", "plain", ""},
      {"a/b.c", "", "a/b", "c"}, // the forward slash separates nothing here
      {"", "", "", ""},
  };
  for (const auto &c : cases) {
    const Split s = DoSplit(c.path);
    EXPECT_EQ(s.dir, c.dir) << c.path;
    EXPECT_EQ(s.base, c.base) << c.path;
    EXPECT_EQ(s.ext, c.ext) << c.path;
  }
  char only[260];
  PathSplit("x\\y.z", nullptr, nullptr, only); // outputs are optional
  EXPECT_STREQ(only, "z");
}

TEST_F(PathTest, StripExtensionTakesOnlyTheLastDotOfTheLastComponent) {
  char a[] = "a.b.c";
  PathStripExtension(a);
  EXPECT_STREQ(a, "a.b");
  char b[] = "dir.x\\name";
  PathStripExtension(b);
  EXPECT_STREQ(b, "dir.x\\name");
}

TEST_F(PathTest, MakeDirectoriesCreatesEveryPrefix) {
  EXPECT_TRUE(MakeDirectories("one"));
  EXPECT_TRUE(Exists("one"));
  EXPECT_TRUE(MakeDirectories("a\\b\\c\\"));
  EXPECT_TRUE(Exists("a/b/c"));
  EXPECT_TRUE(MakeDirectories("a\\b/d")); // both slashes cut
  EXPECT_TRUE(Exists("a/b/d"));
  EXPECT_TRUE(MakeDirectories("a\\b\\c")); // existing: nothing to do
}

TEST_F(PathTest, MakeDirectoriesCutPoints) {
  // A leading separator is the file-system root on POSIX, where it never cuts;
  // elsewhere it makes the first prefix empty, which cannot be made.
#ifdef _WIN32
  EXPECT_FALSE(PlatLeadingSeparatorIsRoot());
  EXPECT_FALSE(MakeDirectories("\\vorn-rooted\\r2"));
  EXPECT_FALSE(Exists("\\vorn-rooted"));
#else
  const std::string rooted = dir_ + "\\r1\\r2";
  EXPECT_TRUE(PlatLeadingSeparatorIsRoot());
  EXPECT_TRUE(MakeDirectories(rooted.c_str()));
  EXPECT_TRUE(Exists(dir_ + "/r1/r2"));
#endif
  // The separator right after a drive colon never cuts: with "x:" missing,
  // the first prefix is "x:\y", which cannot be made.
  EXPECT_FALSE(MakeDirectories("x:\\y\\z"));
  EXPECT_FALSE(Exists("x:"));
#ifndef _WIN32 // a directory named "x:" exists only where a colon is an ordinary character
  std::filesystem::create_directory("x:");
  EXPECT_TRUE(MakeDirectories("x:\\y\\z"));
  EXPECT_TRUE(Exists("x:/y/z"));
#endif
  // A path that runs through a regular file fails there and keeps what it made.
  WriteFile("file", "x");
  EXPECT_FALSE(MakeDirectories("file\\sub\\deeper"));
  EXPECT_FALSE(MakeDirectories("made\\file\\..\\..\\file\\sub"));
  EXPECT_TRUE(Exists("made/file")); // the prefixes before the failure stay
}

std::vector<std::string> Names(const char *buffer, int count) {
  std::vector<std::string> out;
  for (int i = 0; i < count; ++i, buffer += std::strlen(buffer) + 1) out.emplace_back(buffer);
  return out;
}

TEST_F(PathTest, ListDirectoryKeepsOneByteFree) {
  std::filesystem::create_directory("d");
  WriteFile("d/a1", "");
  WriteFile("d/b2.txt", "");
  char buffer[64];
  std::int32_t n = ListDirectory(buffer, sizeof buffer, "d\\*.*");
  EXPECT_EQ(Names(buffer, n), (std::vector<std::string>{".", "..", "a1", "b2.txt"}));
  // "." and ".." with their NULs take 5 bytes: capacity 5 holds only the first.
  EXPECT_EQ(ListDirectory(buffer, 5, "d\\*.*"), 1);
  EXPECT_EQ(ListDirectory(buffer, 6, "d\\*.*"), 2);
  n = ListDirectory(buffer, sizeof buffer, "d\\*.txt");
  EXPECT_EQ(Names(buffer, n), (std::vector<std::string>{"b2.txt"}));
  EXPECT_EQ(ListDirectory(buffer, sizeof buffer, "d\\?2.*"), 1);
  EXPECT_EQ(ListDirectory(buffer, sizeof buffer, "d\\*.none"), 0);
  EXPECT_EQ(ListDirectory(buffer, sizeof buffer, "nodir\\*.*"), 0);
}

TEST_F(PathTest, RemoveDirectoryWithFiles) {
  std::filesystem::create_directory("full");
  WriteFile("full/a", "1");
  WriteFile("full/b", "2");
  EXPECT_FALSE(RemoveDirectoryWithFiles("full", false)); // not empty, nothing deleted
  EXPECT_TRUE(Exists("full/a"));
  EXPECT_TRUE(RemoveDirectoryWithFiles("full", true));
  EXPECT_FALSE(Exists("full"));

  std::filesystem::create_directory("nested");
  std::filesystem::create_directory("nested/sub");
  WriteFile("nested/f", "1");
  EXPECT_FALSE(RemoveDirectoryWithFiles("nested", true)); // subdirectories are not entered
  EXPECT_TRUE(Exists("nested/sub"));
  EXPECT_FALSE(Exists("nested/f"));

  std::filesystem::create_directory("dotted");
  WriteFile("dotted/.hidden", "1");
  EXPECT_FALSE(RemoveDirectoryWithFiles("dotted", true));
  EXPECT_TRUE(Exists("dotted/.hidden"));
}

TEST_F(PathTest, NameTests) {
  WriteFile("f", "x");
  std::filesystem::create_directory("d");
  EXPECT_TRUE(FileExists("f"));
  EXPECT_TRUE(FileExists("d"));
  EXPECT_FALSE(FileExists("nope"));
  EXPECT_FALSE(FileIsReadOnly("f"));
  EXPECT_TRUE(FileIsReadOnly("nope")); // unreadable attributes count as read-only
  EXPECT_TRUE(FileIsLocked("nope"));
  EXPECT_FALSE(FileIsLocked("f"));
  EXPECT_FALSE(IsPlainName(nullptr));
  EXPECT_TRUE(IsPlainName(""));
  EXPECT_TRUE(IsPlainName("README"));
  for (const char *bad : {"a.txt", "a\"", "a/b", "a\\b", "[", "]", "c:", "a;", "x=1", "a,b"})
    EXPECT_FALSE(IsPlainName(bad)) << bad;
}

TEST_F(PathTest, LogPrintfOpensAndClosesInPairs) {
  EXPECT_EQ(LogPrintf("one %d\n", 1), 6);
  EXPECT_FALSE(RegistryAnyOpen()); // a single call opens and closes
  EXPECT_EQ(LogPrintf(nullptr), 0);
  EXPECT_TRUE(RegistryAnyOpen()); // held open between the pair
  EXPECT_STREQ(OpenFileRegistry[0].name, "LOG.LOG");
  EXPECT_EQ(LogPrintf("two"), 3);
  EXPECT_EQ(LogPrintf("%s", std::string(500, 'z').c_str()), 199); // cut to 200 characters
  EXPECT_EQ(LogPrintf(nullptr), 0);
  EXPECT_FALSE(RegistryAnyOpen());
  const auto log = ReadFile("LOG.LOG");
  EXPECT_EQ(log.size(), 6u + 3u + 199u);
  EXPECT_EQ(std::string(log.begin(), log.begin() + 9), "one 1\ntwo");
  EXPECT_EQ(LogStart(1), 0);
}

} // namespace

TEST(ShownText, ControlBytesAndStrayC1BytesAreWrittenOut) {
  // What a name may put on a terminal or in a log line: a line feed (a
  // forged log line), escape sequences, the single-byte CSI 0x9B. UTF-8 and
  // Windows-1252 letters stay as they are.
  const struct {
    const char *name, *shown;
  } cases[] = {
      {"a\nend: installed, status 0", "a\\x0Aend: installed, status 0"},
      {"\x1b[2Jx", "\\x1B[2Jx"},
      {"x\x9b" "31m", "x\\x9B31m"},
      {"caf\xc3\xa9 \xc5\x92uvre", "caf\xc3\xa9 \xc5\x92uvre"},
      {"na\xefve", "na\xefve"},
      {"\x7f", "\\x7F"},
  };
  for (const auto &c : cases) {
    char out[64];
    ShownText(c.name, out, sizeof out);
    EXPECT_STREQ(out, c.shown) << c.name;
  }
}
