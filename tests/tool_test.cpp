// The lzx tool as a user runs it: a separate process per command.
#ifndef _WIN32
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "tests/support.h"

namespace {

using vorn_test::Bytes;
using vorn_test::ReadFile;
using vorn_test::WriteFile;

struct Result {
  int status;
  std::string out; // standard output and error together
};

#ifdef _WIN32
#define popen _popen
#define pclose _pclose
// The tool's path as the Windows side sees the host's file system (Z:).
std::string ToolPath() {
  std::string path = LZX_TOOL;
  if (!path.empty() && path[0] == '/') path = "Z:" + path;
  for (char &c : path)
    if (c == '/') c = '\\';
  return "\"" + path + "\"";
}
#else
std::string ToolPath() { return LZX_TOOL; }
#endif

Result Lzx(const std::string &args) {
  const std::string command = ToolPath() + " " + args + " 2>&1";
  FILE *pipe = popen(command.c_str(), "r");
  Result r{-1, {}};
  char buf[4096];
  for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, pipe)) > 0;) r.out.append(buf, n);
  const int raw = pclose(pipe);
  r.status = vorn_test::ExitCode(raw);
  return r;
}

std::string AsText(const Bytes &b) { return std::string(b.begin(), b.end()); }

class ToolTest : public vorn_test::ScratchTest {};

Bytes Text(std::size_t n) {
  std::string s;
  for (int i = 0; s.size() < n; ++i) s += "line " + std::to_string(i * 31 % 977) + " of the Vorn help text\n";
  s.resize(n);
  return Bytes(s.begin(), s.end());
}

TEST_F(ToolTest, CompressDecompressRoundTripsInEveryMode) {
  const std::pair<const char *, Bytes> inputs[] = {
      {"empty", {}},
      {"one", {0x41}},
      {"b16383", Text(16383)},
      {"b16384", Text(16384)},
      {"b16385", Text(16385)},
      {"text", Text(4 * 1024 * 1024 + 3)},
      {"random", vorn_test::RandomBytes(1024 * 1024, 11)},
  };
  for (const auto &[name, data] : inputs) {
    WriteFile(name, data);
    for (const char *mode : {"", "--huffman"}) {
      ASSERT_EQ(Lzx(std::string("compress ") + mode + " " + name + " c.lzx").status, 0) << name << mode;
      ASSERT_EQ(Lzx(std::string("decompress c.lzx back")).status, 0);
      EXPECT_EQ(ReadFile("back"), data) << name << " " << mode;
    }
  }
  Bytes rows(300000, 0xff);
  for (std::size_t i = 0; i < rows.size(); i += 192) rows[i] = static_cast<std::uint8_t>(i / 192);
  WriteFile("rows", rows);
  ASSERT_EQ(Lzx("compress --rows rows c.lzx").status, 0);
  ASSERT_EQ(Lzx("decompress c.lzx back").status, 0);
  EXPECT_EQ(ReadFile("back"), rows);
  const Result info = Lzx("info c.lzx");
  EXPECT_THAT(info.out, ::testing::HasSubstr("row transform"));
  EXPECT_THAT(info.out, ::testing::HasSubstr("blocks       19"));
}

TEST_F(ToolTest, CatAtRandomOffsets) {
  const Bytes data = Text(200000);
  WriteFile("t", data);
  ASSERT_EQ(Lzx("compress t t.lzx").status, 0);
  std::mt19937 rng(3);
  for (int i = 0; i < 20; ++i) {
    const std::size_t at = rng() % data.size();
    const Result r = Lzx("cat t.lzx --offset " + std::to_string(at) + " --length 77");
    ASSERT_EQ(r.status, 0);
    const std::size_t n = std::min<std::size_t>(77, data.size() - at);
    EXPECT_EQ(r.out, std::string(data.begin() + static_cast<long>(at), data.begin() + static_cast<long>(at + n)));
  }
  EXPECT_EQ(Lzx("cat t.lzx --offset 199990").out.size(), 10u); // to the end
  const Result past = Lzx("cat t.lzx --offset 200000");
  EXPECT_EQ(past.status, 2);
  EXPECT_THAT(past.out, ::testing::HasSubstr("Hseek: >= EOF causes deep shit"));
}

TEST_F(ToolTest, PackListUnpackWithVersions) {
  std::filesystem::create_directories("tree/sub");
  WriteFile("tree/a.txt", "alpha");
  WriteFile("tree/sub/b.bin", vorn_test::RandomBytes(50000, 2));
  WriteFile("list", "out.lzx\ntree\\\na.txt|V=120\n#a.txt\nsub\\b.bin|V=200|R=0\n#sub\\b.bin\n");
  Result r = Lzx("pack list");
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_THAT(r.out, ::testing::HasSubstr("files  2"));
  EXPECT_THAT(r.out, ::testing::HasSubstr("total  50005"));
  r = Lzx("list out.lzx");
  EXPECT_THAT(r.out, ::testing::ContainsRegex("#a.txt +5 +120 +0 +0 +0"));
  EXPECT_THAT(r.out, ::testing::ContainsRegex("#sub.b.bin +50000 +200"));

  std::filesystem::create_directories("install");
  r = Lzx("unpack out.lzx install --versions install/lzx.ver");
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_THAT(r.out, ::testing::HasSubstr("new 2, updated 0, unchanged 0"));
  EXPECT_EQ(ReadFile("install/sub/b.bin"), ReadFile("tree/sub/b.bin"));
  EXPECT_EQ(ReadFile("install/lzx.ver").size(), 2u * 432);
  r = Lzx("unpack out.lzx install --versions install/lzx.ver");
  EXPECT_THAT(r.out, ::testing::HasSubstr("new 0, updated 2, unchanged 0"));

  WriteFile("install/a.txt", "mine");
  ASSERT_EQ(Lzx("unpack out.lzx install").status, 0); // existing files are kept
  EXPECT_EQ(AsText(ReadFile("install/a.txt")), "mine");
  ASSERT_EQ(Lzx("unpack out.lzx install --overwrite").status, 0);
  EXPECT_EQ(AsText(ReadFile("install/a.txt")), "alpha");
}

TEST_F(ToolTest, UnpackRefusesNamesWithoutHashUnlessAllowed) {
  WriteFile("p.txt", "plain");
  WriteFile("list", "plain.lzx\n.\\\np.txt|V=100\nout\\written.txt\n");
  ASSERT_EQ(Lzx("pack list").status, 0);
  std::filesystem::create_directories("out");
  Result r = Lzx("unpack plain.lzx target");
  EXPECT_EQ(r.status, 2);
  EXPECT_THAT(r.out, ::testing::HasSubstr("UnPackLZX: name without '#' refused: out\\written.txt"));
  EXPECT_FALSE(vorn_test::Exists("out/written.txt"));
  r = Lzx("unpack plain.lzx target --allow-absolute");
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(AsText(ReadFile("out/written.txt")), "plain");
}

TEST_F(ToolTest, ScrambleTwiceRestores) {
  const Bytes data = vorn_test::RandomBytes(1000, 6);
  WriteFile("s", data);
  ASSERT_EQ(Lzx("scramble s").status, 0);
  EXPECT_NE(ReadFile("s"), data);
  ASSERT_EQ(Lzx("scramble s").status, 0);
  EXPECT_EQ(ReadFile("s"), data);
}

TEST_F(ToolTest, UsageAndFatalErrors) {
  for (const char *bad : {"", "frobnicate", "compress onlyone", "compress --huffman --rows a b", "cat x",
                          "unpack a --overwrite --versions v"}) {
    const Result r = Lzx(bad);
    EXPECT_EQ(r.status, 64) << bad;
    EXPECT_THAT(r.out, ::testing::HasSubstr("lzx --help")) << bad;
  }
  for (const char *cmd : {"compress", "decompress", "cat", "info", "pack", "list", "unpack", "scramble"}) {
    const Result r = Lzx(std::string(cmd) + " --help");
    EXPECT_EQ(r.status, 0) << cmd;
    EXPECT_THAT(r.out, ::testing::HasSubstr("Usage")) << cmd;
  }
  Result r = Lzx("decompress missing.lzx out");
  EXPECT_EQ(r.status, 2);
  EXPECT_THAT(r.out, ::testing::HasSubstr("File Error : name = [missing.lzx] code = 209"));
  WriteFile("plain", "hello, this is no compressed file");
  r = Lzx("info plain");
  EXPECT_EQ(r.status, 2);
  EXPECT_THAT(r.out, ::testing::HasSubstr("Hopen: not an LZX file"));
}

#ifndef _WIN32
// The tool in a child process of ours, its output discarded.
pid_t StartLzx(const std::vector<std::string> &args) {
  const pid_t pid = fork();
  if (pid == 0) {
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    dup2(null, 2);
    std::vector<char *> argv{const_cast<char *>(LZX_TOOL)};
    for (const std::string &a : args) argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    execv(LZX_TOOL, argv.data());
    _exit(127);
  }
  return pid;
}

bool AnyStagingFile(const std::string &dir) {
  for (const auto &e : std::filesystem::recursive_directory_iterator(dir))
    if (e.path().filename().string().rfind("~lz", 0) == 0) return true;
  return false;
}

TEST_F(ToolTest, AnInstallKilledAnywhereLeavesEveryFileOldOrNewAndTheListNeverAhead) {
  namespace fs = std::filesystem;
  // 60 files of 30 KB, installed at version 100; an archive of version 200.
  constexpr int kFiles = 60;
  std::string oldList = "old.lzx\nold\\\n", newList = "new.lzx\nnew\\\n";
  fs::create_directories("old");
  fs::create_directories("new");
  for (int i = 0; i < kFiles; ++i) {
    const std::string name = "f" + std::to_string(i);
    WriteFile("old/" + name, vorn_test::RandomBytes(30000, static_cast<std::uint32_t>(i)));
    WriteFile("new/" + name, vorn_test::RandomBytes(30000, static_cast<std::uint32_t>(1000 + i)));
    oldList += name + "|V=100\n#d\\" + name + "\n";
    newList += name + "|V=200\n#d\\" + name + "\n";
  }
  WriteFile("old.list", oldList);
  WriteFile("new.list", newList);
  ASSERT_EQ(Lzx("pack old.list").status, 0);
  ASSERT_EQ(Lzx("pack new.list").status, 0);
  ASSERT_EQ(Lzx("unpack old.lzx pristine --versions pristine/lzx.ver").status, 0);
  fs::copy("pristine", "done", fs::copy_options::recursive);
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(Lzx("unpack new.lzx done --versions done/lzx.ver").status, 0);
  const auto whole = std::chrono::steady_clock::now() - start;
  const Bytes before = ReadFile("pristine/lzx.ver"), after = ReadFile("done/lzx.ver");
  ASSERT_NE(before, after);

  std::mt19937 rng(12);
  for (int round = 0; round < 12; ++round) {
    // Back to the old installation; what killed runs left stays for the last run.
    fs::copy("pristine", "inst", fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    const pid_t pid = StartLzx({"unpack", "new.lzx", "inst", "--versions", "inst/lzx.ver"});
    std::this_thread::sleep_for(whole * (rng() % 1000) / 1000);
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    const Bytes list = ReadFile("inst/lzx.ver");
    ASSERT_TRUE(list == before || list == after) << "round " << round;
    for (int i = 0; i < kFiles; ++i) {
      const std::string name = "/d/f" + std::to_string(i);
      const Bytes now = ReadFile("inst" + name);
      if (list == after) EXPECT_EQ(now, ReadFile("new/f" + std::to_string(i))) << name;
      else EXPECT_TRUE(now == ReadFile("old/f" + std::to_string(i)) || now == ReadFile("new/f" + std::to_string(i))) << name;
    }
  }
  // The next run completes and leaves no staging file behind, not even the
  // killed runs'.
  ASSERT_EQ(Lzx("unpack new.lzx inst --versions inst/lzx.ver").status, 0);
  EXPECT_EQ(ReadFile("inst/lzx.ver"), after);
  EXPECT_FALSE(AnyStagingFile("inst"));
}
#endif

} // namespace
