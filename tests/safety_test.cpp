// What an install must never do: damage an installed file or the version
// list when a write fails part-way, or write outside its target directory
// when an archive is damaged or hostile.
#ifndef _WIN32
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#endif

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "fileio/fatal.h"
#include "fileio/replace.h"
#include "lzx/lzx.h"
#include "lzx/versions.h"
#include "tests/lzx_support.h"

namespace {

namespace fs = std::filesystem;
using vorn_test::AsText;
using vorn_test::Bytes;
using vorn_test::ReadFile;
using vorn_test::StoredFile;
using vorn_test::WriteArchive;
using vorn_test::WriteFile;

class SafetyTest : public vorn_test::ScratchTest {
protected:
  SafetyTest() { shareWithDeathTests_ = true; }
};

Bytes B(const std::string &s) { return Bytes(s.begin(), s.end()); }

// Everything under the scratch directory, as relative names.
std::vector<std::string> Tree(const std::string &root) {
  std::vector<std::string> out;
  for (const auto &e : fs::recursive_directory_iterator(root)) out.push_back(fs::relative(e.path(), root).generic_string());
  std::sort(out.begin(), out.end());
  return out;
}

bool HasTemporaryFile(const std::string &dir) {
  for (const auto &e : fs::recursive_directory_iterator(dir))
    if (e.path().filename().string().rfind("~lzx", 0) == 0) return true;
  return false;
}

// ---- no escape from the target directory ----

TEST_F(SafetyTest, HashNamesThatClimbOutAreRefusedBeforeAnythingIsWritten) {
  fs::create_directories("inner/target");
  for (const char *name : {"#..\\..\\x", "#a\\..\\..\\x", "#..", "#a/../../x", "#c:\\x", "#c:x", "#\\x", "#/x",
                           "#sub\\..\\..\\..\\x"}) {
    // A harmless entry first, then the hostile one: the first is written,
    // nothing of the second.
    WriteArchive("evil.lzx", {{"#ok.txt", B("fine")}, {name, B("escaped")}});
    EXPECT_FATAL(UnPackLZX("evil.lzx", "inner\\target", nullptr, 0, 1),
                 std::string("UnPackLZX: name leaves the target: ") + name)
        << name;
    EXPECT_EQ(AsText(ReadFile("inner/target/ok.txt")), "fine");
    const std::vector<std::string> want{"evil.lzx", "inner", "inner/target", "inner/target/ok.txt"};
    EXPECT_EQ(Tree(dir_), want) << name;
    fs::remove("inner/target/ok.txt");
  }
}

TEST_F(SafetyTest, DotsInsideANameAreNotAClimb) {
  WriteArchive("fine.lzx", {{"#a..b\\..c\\d..e", B("1")}, {"#.\\x", B("2")}});
  fs::create_directory("t");
  UnPackLZX("fine.lzx", "t", nullptr, 0, 1);
  EXPECT_EQ(AsText(ReadFile("t/a..b/..c/d..e")), "1");
  EXPECT_EQ(AsText(ReadFile("t/x")), "2");
}

TEST_F(SafetyTest, PlainNamesAreRefusedWhenTheCallerSaysSo) {
  WriteArchive("plain.lzx", {{"plain.txt", B("where it points")}});
  EXPECT_FATAL(
      {
        UnpackPlainNames = 0;
        UnPackLZX("plain.lzx", "t", nullptr, 0, 1);
      },
      "UnPackLZX: name without '#' refused: plain.txt");
  EXPECT_FALSE(fs::exists("plain.txt"));
  ASSERT_EQ(UnpackPlainNames, 1); // the library's default keeps their meaning
  UnPackLZX("plain.lzx", "t", nullptr, 0, 1);
  EXPECT_EQ(AsText(ReadFile("plain.txt")), "where it points");
}

// ---- no lost data ----

// Installs "old" versions of three files and their version list.
void OldInstallation() {
  fs::create_directories("inst/sub");
  WriteFile("inst/a.txt", "old a");
  WriteFile("inst/sub/b.bin", "old b");
  WriteFile("inst/c.txt", "old c");
  std::int32_t capacity = 0;
  ArchiveEntry *list = VersionListLoad("inst\\lzx.ver", &capacity);
  for (const auto &[i, name] : std::vector<std::pair<int, const char *>>{{0, "#a.txt"}, {1, "#sub\\b.bin"}, {2, "#c.txt"}}) {
    std::strcpy(list[i].name, name);
    list[i].version = 100;
  }
  VersionListSave("inst\\lzx.ver", list, 3);
}

// New versions, large enough to span several blocks.
std::vector<StoredFile> NewFiles() {
  std::string text;
  for (int i = 0; text.size() < 30000; ++i) text += "new line " + std::to_string(i) + "\n";
  return {{"#a.txt", B(text), 200}, {"#sub\\b.bin", vorn_test::RandomBytes(40000, 7), 200}, {"#c.txt", B("new c"), 200}};
}

TEST_F(SafetyTest, AnArchiveCutAnywhereLeavesEveryFileOldOrNewAndWhole) {
  const std::vector<StoredFile> files = NewFiles();
  WriteArchive("full.lzx", files);
  const Bytes full = ReadFile("full.lzx");
  // Cuts inside the header, at and around every block start, and inside the index.
  HILE *h = Hopen("full.lzx", "rb");
  const std::int32_t indexOffset = h->header.indexOffset;
  Hclose(h);
  std::vector<std::size_t> cuts{0, 10, 16, 17, 100, static_cast<std::size_t>(indexOffset) - 1,
                                static_cast<std::size_t>(indexOffset) + 2, full.size() - 1};
  for (std::size_t k = 0; k + 4 <= full.size() - static_cast<std::size_t>(indexOffset); k += 4) {
    std::int32_t offset;
    std::memcpy(&offset, full.data() + indexOffset + k, 4);
    for (int d : {-1, 0, 1, 5}) cuts.push_back(static_cast<std::size_t>(offset + d));
  }
  for (const std::size_t cut : cuts) {
    fs::remove_all("inst");
    OldInstallation();
    const Bytes oldList = ReadFile("inst/lzx.ver");
    WriteFile("cut.lzx", Bytes(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(cut)));
    EXPECT_EXIT(
        {
          std::int32_t capacity = 0;
          ArchiveEntry *list = VersionListLoad("inst\\lzx.ver", &capacity);
          UnPackLZX("cut.lzx", "inst", list, capacity, 1);
          VersionListSave("inst\\lzx.ver", list, VersionListSettle(list, capacity).used);
          std::exit(0);
        },
        // Refused; or, cut inside the block index only, which reading from
        // the start does not need, unpacked whole.
        [](int status) { return vorn_test::ExitCode(status) == 2 || vorn_test::ExitCode(status) == 0; }, "")
        << "cut at " << cut;
    const bool completed = ReadFile("inst/lzx.ver") != oldList;
    EXPECT_TRUE(!completed || cut > static_cast<std::size_t>(indexOffset)) << "cut at " << cut;
    const std::vector<std::pair<std::string, std::string>> targets{{"inst/a.txt", "old a"}, {"inst/sub/b.bin", "old b"},
                                                                    {"inst/c.txt", "old c"}};
    for (std::size_t i = 0; i < targets.size(); ++i) {
      const Bytes now = ReadFile(targets[i].first);
      if (completed) EXPECT_EQ(now, files[i].content) << targets[i].first << " cut at " << cut;
      else EXPECT_TRUE(now == B(targets[i].second) || now == files[i].content) << targets[i].first << " cut at " << cut;
    }
    EXPECT_FALSE(HasTemporaryFile("inst")) << "cut at " << cut;
  }
}

#ifndef _WIN32
// In a child process: writes may not make any file larger than limit bytes
// (binding root too); a write past it fails instead of killing the process.
void LimitFileSize(rlim_t limit) {
  std::signal(SIGXFSZ, SIG_IGN);
  const rlimit r{limit, limit};
  setrlimit(RLIMIT_FSIZE, &r);
}

TEST_F(SafetyTest, AWriteThatFailsPartWayKeepsTheInstalledFile) {
  OldInstallation();
  WriteArchive("new.lzx", NewFiles());
  const Bytes oldList = ReadFile("inst/lzx.ver");
  EXPECT_EXIT(
      {
        LimitFileSize(20000); // a.txt (30000 bytes) cannot be written whole
        std::int32_t capacity = 0;
        ArchiveEntry *list = VersionListLoad("inst\\lzx.ver", &capacity);
        UnPackLZX("new.lzx", "inst", list, capacity, 1);
      },
      ::testing::ExitedWithCode(2), "code = 205");
  EXPECT_EQ(AsText(ReadFile("inst/a.txt")), "old a");
  EXPECT_EQ(AsText(ReadFile("inst/sub/b.bin")), "old b");
  EXPECT_EQ(ReadFile("inst/lzx.ver"), oldList);
  EXPECT_FALSE(HasTemporaryFile("inst"));
}

TEST_F(SafetyTest, AVersionFileThatCannotBeRewrittenStaysAsItWas) {
  OldInstallation();
  // A long version list (2000 records, 864000 bytes) and a limit below it.
  std::int32_t capacity = 0;
  ArchiveEntry *list = VersionListLoad("inst\\lzx.ver", &capacity);
  BlockFree(list, "Version file");
  std::vector<ArchiveEntry> many(2000);
  std::memset(many.data(), 0, many.size() * sizeof(ArchiveEntry));
  for (std::size_t i = 0; i < many.size(); ++i) {
    std::snprintf(many[i].name, sizeof many[i].name, "#f%zu", i);
    many[i].version = 100;
  }
  WriteFile("inst/lzx.ver", Bytes(reinterpret_cast<const std::uint8_t *>(many.data()),
                                  reinterpret_cast<const std::uint8_t *>(many.data() + many.size())));
  const Bytes oldList = ReadFile("inst/lzx.ver");
  EXPECT_EXIT(
      {
        LimitFileSize(500000);
        std::int32_t n = 0;
        ArchiveEntry *l = VersionListLoad("inst\\lzx.ver", &n);
        VersionListSave("inst\\lzx.ver", l, VersionListSettle(l, n).used);
      },
      ::testing::ExitedWithCode(2), "code = 205");
  EXPECT_EQ(ReadFile("inst/lzx.ver"), oldList);
  EXPECT_FALSE(HasTemporaryFile("inst"));
}
#endif

TEST_F(SafetyTest, TargetsThatCannotBeCreatedAreRefusedAsBefore) {
  fs::create_directories("t/dir.txt");
  WriteArchive("d.lzx", {{"#dir.txt", B("x")}});
  EXPECT_FATAL(UnPackLZX("d.lzx", "t", nullptr, 0, 1), "\nFile Error : name = [t\\dir.txt] code = 211");
  EXPECT_TRUE(fs::is_directory("t/dir.txt"));
  WriteFile("t/ro.txt", "keep");
  fs::permissions("t/ro.txt", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  WriteArchive("r.lzx", {{"#ro.txt", B("new")}});
  EXPECT_FATAL(UnPackLZX("r.lzx", "t", nullptr, 0, 1), "\nFile Error : name = [t\\ro.txt] code = 206");
  EXPECT_EQ(AsText(ReadFile("t/ro.txt")), "keep");
  EXPECT_FALSE(HasTemporaryFile("t"));
}

// An install of an archive holding only name into inst, as the updater
// runs it: refused with the text, and lzx.ver untouched.
void ExpectInstallRefused(const char *name, const std::string &text) {
  fs::create_directories("inst");
  WriteFile("inst/lzx.ver", "");
  WriteArchive("one.lzx", {{name, B("not what it says")}});
  EXPECT_FATAL(
      {
        VersionListLock("inst", "inst\\lzx.ver");
        std::int32_t capacity = 0;
        UnPackLZX("one.lzx", "inst", VersionListLoad("inst\\lzx.ver", &capacity), capacity, 1);
      },
      text + name);
  EXPECT_EQ(fs::file_size("inst/lzx.ver"), 0u) << name;
}

TEST_F(SafetyTest, AnEntryThatNamesTheVersionFileIsRefused) {
  for (const char *name : {"#lzx.ver", "#LZX.VER", "#.\\lzx.ver", "#./lzx.ver"})
    ExpectInstallRefused(name, "UnPackLZX: entry names the version file: ");
}

#ifdef _WIN32
TEST_F(SafetyTest, NamesWindowsWouldOpenAsOthersAreRefused) {
  // Windows drops a trailing dot or blank and opens devices under their
  // names: "#lzx.ver." would be the version file, "#a.exe." and "#a.exe "
  // one file. Each is refused before anything is written.
  for (const char *name : {"#lzx.ver.", "#LZX.VER ", "#evil.exe.", "#evil.exe ", "#sub.\\x", "#NUL", "#sub\\con.txt",
                           "#COM1.log", "#lpt9"})
    ExpectInstallRefused(name, "UnPackLZX: the system would open this name as another: ");
  // Names that only look alike stay plain names.
  WriteArchive("ok.lzx", {{"#console\\x", B("a")}, {"#nul1", B("b")}, {"#a..b", B("c")}, {"#COM10", B("d")}});
  UnPackLZX("ok.lzx", "inst", nullptr, 0, 1);
  EXPECT_TRUE(fs::exists("inst/console/x") && fs::exists("inst/nul1") && fs::exists("inst/a..b") && fs::exists("inst/COM10"));
}
#endif

#ifndef _WIN32
TEST_F(SafetyTest, PrinterLikeNamesAreStagedLikeAnyOtherName) {
  // Only a real printer device is written in place; these are plain files.
  for (const char *name : {"#prnsetup.ini", "#sub\\PrnDrv.dll", "#sub/prn.txt"}) {
    fs::remove_all("inst");
    fs::create_directories("inst/sub");
    const std::string target = "inst/" + std::string(name + 1);
    std::string host = target;
    std::replace(host.begin(), host.end(), '\\', '/');
    WriteFile(host, "installed");
    WriteArchive("p.lzx", {{name, vorn_test::RandomBytes(40000, 3)}});
    EXPECT_EXIT(
        {
          LimitFileSize(20000);
          UnPackLZX("p.lzx", "inst", nullptr, 0, 1);
        },
        ::testing::ExitedWithCode(2), "code = 205")
        << name;
    EXPECT_EQ(AsText(ReadFile(host)), "installed") << name;
    EXPECT_FALSE(HasTemporaryFile("inst")) << name;
  }
}

TEST_F(SafetyTest, NothingIsWrittenOrDeletedThroughALinkBelowTheTarget) {
  SKIP_UNLESS_ROOT();
  fs::create_directories("inst");
  fs::create_directories("outside");
  fs::permissions("inst", fs::perms::all);
  WriteFile("outside/x", "theirs to keep");
  fs::remove("inst/link"); // a death test's child runs this again
  ASSERT_EQ(vorn_test::AsOtherUser([&] { return symlink((dir_ + "/outside").c_str(), "inst/link") == 0; }), 0);
  const struct {
    std::int32_t deleteAfter;
  } cases[] = {{0}, {1}};
  for (const auto &c : cases) {
    StoredFile entry{"#link\\x", B("through the link"), 100};
    entry.deleteAfter = c.deleteAfter;
    WriteArchive("l.lzx", {entry});
    EXPECT_FATAL(UnPackLZX("l.lzx", "inst", nullptr, 0, 1), "UnPackLZX: link on the way: #link\\x");
    EXPECT_EQ(AsText(ReadFile("outside/x")), "theirs to keep") << c.deleteAfter;
  }
  // A link as the file itself is replaced, not followed.
  WriteArchive("f.lzx", {{"#link", B("a file now")}});
  UnPackLZX("f.lzx", "inst", nullptr, 0, 1);
  EXPECT_TRUE(fs::is_regular_file(fs::symlink_status("inst/link")));
  EXPECT_EQ(AsText(ReadFile("outside/x")), "theirs to keep");
}

TEST_F(SafetyTest, AFileIsNeverRemovedForHavingAStagingName) {
  // Files of the staging pattern that no run of ours recorded (the user's
  // own, another user's, one in use) stay; the leftovers of killed runs are
  // removed by their records (the tool's kill test).
  SKIP_UNLESS_ROOT();
  fs::create_directories("inst");
  fs::permissions("inst", fs::perms::all);
  WriteFile("inst/~lz0000ABCD.tmp", "the user's own file");
  WriteFile("inst/~lz0000ABCE.tmp", "");
  WriteFile("inst/~lz0000BEEF.tmp", "being written by a run that is still going");
  ASSERT_EQ(vorn_test::AsOtherUser([] {
              const int fd = open("inst/~lz0000CAFE.tmp", O_WRONLY | O_CREAT, 0666);
              return fd >= 0 && close(fd) == 0;
            }),
            0);
  const int busy = open("inst/~lz0000BEEF.tmp", O_RDONLY);
  ASSERT_EQ(flock(busy, LOCK_EX), 0);
  WriteArchive("a.lzx", {{"#a.txt", B("new")}});
  UnPackLZX("a.lzx", "inst", nullptr, 0, 1);
  close(busy);
  const std::vector<std::string> want{"inst", "inst/a.txt", "inst/~lz0000ABCD.tmp", "inst/~lz0000ABCE.tmp",
                                      "inst/~lz0000BEEF.tmp", "inst/~lz0000CAFE.tmp"};
  std::vector<std::string> tree = Tree(dir_);
  tree.erase(std::remove(tree.begin(), tree.end(), "a.lzx"), tree.end());
  EXPECT_EQ(tree, want);
}
#endif

} // namespace
