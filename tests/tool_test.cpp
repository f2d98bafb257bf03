// The lzx tool as a user runs it: a separate process per command.
#ifndef _WIN32
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstring>
#include <cstdio>
#include <filesystem>
#include <random>
#include <sstream>
#include <map>
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

// Standard output and error together, unless the command sends its output
// to a file itself.
Result Shell(const std::string &command) {
  FILE *pipe = popen(command.c_str(), "r");
  Result r{-1, {}};
  char buf[4096];
  for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, pipe)) > 0;) r.out.append(buf, n);
  const int raw = pclose(pipe);
  r.status = vorn_test::ExitCode(raw);
  return r;
}

Result Lzx(const std::string &args) {
  return Shell(ToolPath() + " " + args + (args.find('>') == std::string::npos ? " 2>&1" : ""));
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
      ASSERT_EQ(Lzx(std::string("-f compress ") + mode + " " + name + " c.lzx").status, 0) << name << mode;
      ASSERT_EQ(Lzx(std::string("-f decompress c.lzx back")).status, 0);
      EXPECT_EQ(ReadFile("back"), data) << name << " " << mode;
    }
  }
  Bytes rows(300000, 0xff);
  for (std::size_t i = 0; i < rows.size(); i += 192) rows[i] = static_cast<std::uint8_t>(i / 192);
  WriteFile("rows", rows);
  ASSERT_EQ(Lzx("-f compress --rows rows c.lzx").status, 0);
  ASSERT_EQ(Lzx("-f decompress c.lzx back").status, 0);
  EXPECT_EQ(ReadFile("back"), rows);
  const Result info = Lzx("info c.lzx");
  EXPECT_THAT(info.out, ::testing::HasSubstr("row transform"));
  EXPECT_THAT(info.out, ::testing::HasSubstr("blocks       19"));
}

// -T: every command that codes blocks gives the bytes and the failures of
// one thread, whatever the number; "-T N" given apart is no command.
TEST_F(ToolTest, ThreadsGiveTheOutputAndFailuresOfOneThread) {
  const Bytes data = Text(40 * 16384 + 5);
  WriteFile("in.txt", data);
  ASSERT_EQ(Lzx("-T 1 compress in.txt one.lzx").status, 0);
  Bytes damaged = ReadFile("one.lzx");
  damaged[damaged.size() / 2] ^= 0x08;
  WriteFile("damaged.lzx", damaged);
  WriteFile("pack.list", std::string("p1.lzx\n./\nin.txt|v=100\n#in.txt\n"));
  ASSERT_EQ(Lzx("-T 1 pack pack.list").status, 0);
  const Result oneTest = Lzx("-T 1 test damaged.lzx");
  const Result oneCat = Lzx("-T 1 cat damaged.lzx > cat1.out 2> cat1.err");
  ASSERT_EQ(oneTest.status, 2) << oneTest.out; // the damage is found, by its checks
  ASSERT_EQ(oneCat.status, 2);
  for (const char *threads : {"-T 2", "-T 3", "--threads=4", "-T 0"}) {
    const std::string t = threads;
    ASSERT_EQ(Lzx(t + " -f compress in.txt many.lzx").status, 0) << t;
    EXPECT_EQ(ReadFile("many.lzx"), ReadFile("one.lzx")) << t;
    ASSERT_EQ(Lzx(t + " -f decompress one.lzx back.txt").status, 0) << t;
    EXPECT_EQ(ReadFile("back.txt"), data) << t;
    WriteFile("pack.list", std::string("p2.lzx\n./\nin.txt|v=100\n#in.txt\n"));
    ASSERT_EQ(Lzx(t + " -f pack pack.list").status, 0) << t;
    EXPECT_EQ(ReadFile("p2.lzx"), ReadFile("p1.lzx")) << t;
    const Result test = Lzx(t + " test damaged.lzx");
    EXPECT_EQ(test.status, oneTest.status) << t;
    EXPECT_EQ(test.out, oneTest.out) << t;
    const Result cat = Lzx(t + " cat damaged.lzx > cat2.out 2> cat2.err");
    EXPECT_EQ(cat.status, oneCat.status) << t;
    EXPECT_EQ(ReadFile("cat2.out"), ReadFile("cat1.out")) << t;
    EXPECT_EQ(ReadFile("cat2.err"), ReadFile("cat1.err")) << t;
  }
  EXPECT_EQ(Lzx("-T 65 test one.lzx").status, 1);
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
  EXPECT_EQ(Lzx("cat t.lzx").out.size(), data.size());           // from 0
  const Result end = Lzx("cat t.lzx --offset 200000");            // at the length: nothing
  EXPECT_EQ(end.status, 0);
  EXPECT_EQ(end.out, "");
  for (const char *bad : {"--offset 200001", "--offset -1", "--length -5"}) {
    const Result r = Lzx(std::string("cat t.lzx ") + bad);
    EXPECT_EQ(r.status, 1) << bad;
    EXPECT_THAT(r.out, ::testing::StartsWith("lzx: t.lzx: ")) << bad;
  }
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
  EXPECT_THAT(r.out, ::testing::ContainsRegex("5 +120 +0 +0 +0  #a.txt"));
  EXPECT_THAT(r.out, ::testing::ContainsRegex("50000 +200 +0 +0 +0  #sub.b.bin"));
  EXPECT_THAT(r.out, ::testing::HasSubstr("50005 bytes in 2 entries"));

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
  ASSERT_EQ(Lzx("pack list").status, 1); // the packer refuses them too
  ASSERT_EQ(Lzx("pack --allow-absolute list").status, 0);
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

TEST_F(ToolTest, UsageRefusalsAndFatalErrorsHaveTheirOwnStatus) {
  for (const char *bad : {"", "frobnicate", "compres a b", "version", "compress onlyone", "compress --huffman --rows a b",
                          "cat", "unpack a --overwrite --versions v", "-q -v test x", "-q -v x"}) {
    const Result r = Lzx(bad);
    EXPECT_EQ(r.status, 1) << bad;
    EXPECT_THAT(r.out, ::testing::HasSubstr("lzx --help")) << bad;
  }
  EXPECT_THAT(Lzx("compres a b").out, ::testing::HasSubstr("lzx: compres: no such file, nor a command"));
  const Result help = Lzx("--help");
  EXPECT_EQ(help.status, 0);
  for (const char *part : {"Usage: lzx ", "lzx -d notes.txt.lzx", "Exit status:", "\n  2  damaged input"})
    EXPECT_THAT(help.out, ::testing::HasSubstr(part));
  EXPECT_THAT(help.out, ::testing::Not(::testing::HasSubstr("/tools/lzx")));
  for (const char *cmd : {"compress", "decompress", "cat", "info", "test", "pack", "list", "unpack", "versions",
                          "scramble", "mklist"}) {
    const Result r = Lzx(std::string(cmd) + " --help");
    EXPECT_EQ(r.status, 0) << cmd;
    EXPECT_THAT(r.out, ::testing::HasSubstr("Usage")) << cmd;
  }
  const Result version = Lzx("--version");
  EXPECT_EQ(version.status, 0);
  EXPECT_THAT(version.out, ::testing::StartsWith("lzx 2.03"));
  Result r = Lzx("decompress missing.lzx out");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "lzx: missing.lzx: No such file or directory\n");
  WriteFile("plain", "hello, this is no compressed file");
  r = Lzx("info plain");
  EXPECT_EQ(r.status, 2);
  EXPECT_THAT(r.out, ::testing::HasSubstr("Hopen: not an LZX file"));
}

TEST_F(ToolTest, StandardInputAndOutput) {
  const Bytes data = Text(100000);
  WriteFile("in", data);
  ASSERT_EQ(Lzx("compress - a.lzx < in").status, 0);
  ASSERT_EQ(Lzx("decompress a.lzx - > back1").status, 0);
  ASSERT_EQ(Lzx("compress in - > b.lzx").status, 0);
  ASSERT_EQ(Lzx("decompress - back2 < b.lzx").status, 0);
  ASSERT_EQ(Lzx("cat - --offset 5 < a.lzx > back3").status, 0);
  EXPECT_EQ(ReadFile("back1"), data);
  EXPECT_EQ(ReadFile("back2"), data);
  EXPECT_EQ(ReadFile("back3"), Bytes(data.begin() + 5, data.end()));
  EXPECT_EQ(ReadFile("a.lzx"), ReadFile("b.lzx"));
  // A list from standard input: names resolve against the current folder.
  WriteFile("list", "l.lzx\n.\\\nin|V=100\n#in\n");
  ASSERT_EQ(Lzx("pack - < list").status, 0);
  ASSERT_EQ(Lzx("-q pack -o - list > m.lzx").status, 0);
  EXPECT_EQ(ReadFile("l.lzx"), ReadFile("m.lzx"));
  EXPECT_EQ(Lzx("test l.lzx m.lzx").status, 0);
  // Progress is for terminals only: here nothing but the summary.
  const Result quiet = Lzx("-f compress in a.lzx");
  EXPECT_EQ(quiet.out, "a.lzx: 100000 -> " + std::to_string(ReadFile("a.lzx").size()) + " bytes\n");
}

// The file-by-file front end runs the subcommands' work: the same bytes and
// the same statuses, case by case.
TEST_F(ToolTest, FileByFileFrontEndMatchesTheSubcommands) {
  const Bytes text = Text(70000);
  WriteFile("notes.txt", text);
  ASSERT_EQ(Lzx("compress notes.txt good.lzx").status, 0);
  Bytes damaged = ReadFile("good.lzx");
  damaged[200] ^= 0x10;
  WriteFile("bad.lzx", damaged);
  WriteFile("list", "arch.lzx\n.\\\nnotes.txt|V=100\n#n\n");
  ASSERT_EQ(Lzx("pack list").status, 0);
  const struct {
    const char *front, *frontOut, *sub, *subOut;
    int status;
  } cases[] = {
      {"notes.txt", "notes.txt.lzx", "compress notes.txt s", "s", 0},
      {"--huffman -q notes.txt", "notes.txt.lzx", "compress --huffman notes.txt s", "s", 0},
      {"--no-check notes.txt", "notes.txt.lzx", "compress --no-check notes.txt s", "s", 0},
      {"-c notes.txt > f", "f", "compress notes.txt - > s", "s", 0},
      {"- < notes.txt > f", "f", "compress - - < notes.txt > s", "s", 0},
      {"-o f notes.txt", "f", "compress notes.txt s", "s", 0},
      {"-d good.lzx", "good", "decompress good.lzx s", "s", 0},
      {"-dc good.lzx > f", "f", "decompress good.lzx - > s", "s", 0},
      {"--decompress -o f good.lzx", "f", "decompress good.lzx s", "s", 0},
      {"-d < good.lzx > f", "f", "decompress - - < good.lzx > s", "s", 0},
      {"-l arch.lzx > f", "f", "list arch.lzx > s", "s", 0},
      {"-t good.lzx arch.lzx > f", "f", "test good.lzx arch.lzx > s", "s", 0},
      {"-t good.lzx bad.lzx > f 2>e", "f", "test good.lzx bad.lzx > s 2>e", "s", 2},
      {"-d bad.lzx", "bad", "decompress bad.lzx s", "s", 2},
      {"-d missing.lzx", "missing", "decompress missing.lzx s", "s", 1},
      {"-l notes.txt > f 2>e", "f", "list notes.txt > s 2>e", "s", 2},
  };
  for (const auto &c : cases) {
    for (const char *out : {"notes.txt.lzx", "good", "bad", "f", "s"}) std::filesystem::remove(out);
    const Result front = Lzx(c.front), sub = Lzx(c.sub);
    EXPECT_EQ(front.status, c.status) << c.front << "\n" << front.out;
    EXPECT_EQ(sub.status, c.status) << c.sub << "\n" << sub.out;
    EXPECT_EQ(vorn_test::Exists(c.frontOut), vorn_test::Exists(c.subOut)) << c.front;
    if (vorn_test::Exists(c.subOut)) {
      EXPECT_EQ(ReadFile(c.frontOut), ReadFile(c.subOut)) << c.front;
    }
  }
  EXPECT_EQ(ReadFile("notes.txt"), text);
  EXPECT_FALSE(vorn_test::Exists("bad")); // nothing of a damaged file is left
  // -l on a compressed file that is no archive: its sizes, as gzip -l.
  const Result sizes = Lzx("-l good.lzx");
  EXPECT_EQ(sizes.status, 0);
  EXPECT_THAT(sizes.out, ::testing::HasSubstr(" " + std::to_string(ReadFile("good.lzx").size()) + "        70000 "));
}

#ifndef _WIN32
// As gzip's: the output has the input's permission bits, also over an
// existing output of other bits (-f), both ways and from the front end.
TEST_F(ToolTest, OutputsTakeTheInputsModeBits) {
  WriteFile("in", Text(5000));
  for (const mode_t mode : {0600u, 0640u, 0755u}) {
    chmod("in", mode);
    WriteFile("out.lzx", "old");
    chmod("out.lzx", 0666);
    ASSERT_EQ(Lzx("-f compress in out.lzx").status, 0);
    chmod("out.lzx", mode);
    const struct {
      std::string command, output;
    } cases[] = {{"-f compress in out.lzx", "out.lzx"}, {"-f -o front.lzx in", "front.lzx"},
                 {"-f decompress out.lzx back", "back"}, {"-f -d -o front out.lzx", "front"}};
    for (const auto &c : cases) {
      ASSERT_EQ(Lzx(c.command).status, 0) << c.command;
      struct stat st {};
      ASSERT_EQ(stat(c.output.c_str(), &st), 0);
      EXPECT_EQ(st.st_mode & 0777, mode) << c.command;
    }
  }
}
#endif

TEST_F(ToolTest, FileByFileFrontEndDoesEveryFileAndEndsWithTheHighestStatus) {
  const Bytes a = Text(30000), b = vorn_test::RandomBytes(20000, 5);
  WriteFile("a", a);
  WriteFile("b", b);
  // A missing file is refused (1); the others are still done.
  Result r = Lzx("a missing b");
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_THAT(r.out, ::testing::HasSubstr("lzx: missing: no such file, nor a command"));
  ASSERT_TRUE(vorn_test::Exists("a.lzx") && vorn_test::Exists("b.lzx"));
  EXPECT_TRUE(vorn_test::Exists("a") && vorn_test::Exists("b")); // kept by default
  // An existing output is kept unless -f; a damaged file ends with 2, after the others.
  EXPECT_EQ(Lzx("a").status, 1);
  const Bytes whole = ReadFile("a.lzx");
  WriteFile("c.lzx", Bytes(whole.begin(), whole.end() - 9));
  r = Lzx("-d -f a.lzx c.lzx b.lzx");
  EXPECT_EQ(r.status, 2) << r.out;
  EXPECT_EQ(ReadFile("a"), a);
  EXPECT_EQ(ReadFile("b"), b);
  EXPECT_FALSE(vorn_test::Exists("c"));
  // --rm removes each input once its output is complete, and only then.
  std::filesystem::remove("a");
  std::filesystem::remove("b");
  EXPECT_EQ(Lzx("-d --rm a.lzx b.lzx c.lzx").status, 2);
  EXPECT_EQ(ReadFile("a"), a);
  EXPECT_FALSE(vorn_test::Exists("a.lzx") || vorn_test::Exists("b.lzx"));
  EXPECT_TRUE(vorn_test::Exists("c.lzx"));
  // Usage errors: 1, nothing written.
  for (const char *bad : {"-o x a b", "-c a b", "-k --rm a", "-t -d a.lzx", "-d a", "a.lzx.lzx -c", "--frob a"}) {
    r = Lzx(bad);
    EXPECT_EQ(r.status, 1) << bad << "\n" << r.out;
  }
  EXPECT_FALSE(vorn_test::Exists("x"));
#ifndef _WIN32
  // Names far beyond the compressed-file handle's 80 characters, as output
  // and as input.
  const std::string dir = "d/" + std::string(100, 'n');
  std::filesystem::create_directories(dir);
  const std::string name = dir + "/" + std::string(120, 'm');
  WriteFile(name, a);
  ASSERT_EQ(Lzx("--rm " + name).status, 0);
  ASSERT_EQ(Lzx("-d " + name + ".lzx").status, 0);
  EXPECT_EQ(ReadFile(name), a);
  ASSERT_EQ(Lzx("-f compress " + name + " " + name + ".lzx").status, 0);
  EXPECT_EQ(Lzx("test " + name + ".lzx").status, 0);
  WriteFile("list", "l.lzx\n.\\\na|V=100\n#a\n");
  ASSERT_EQ(Lzx("pack list -o " + name + ".pack").status, 0);
  EXPECT_EQ(Lzx("list " + name + ".pack").status, 0);
#endif
}

TEST_F(ToolTest, TestReadsEveryBlockAndEveryEntryAndGoesOnAfterABadFile) {
  WriteFile("t", Text(40000));
  ASSERT_EQ(Lzx("compress t t.lzx").status, 0);
  WriteFile("list", "a.lzx\n.\\\nt|V=100\n#t\nt|V=100\n#u\n");
  ASSERT_EQ(Lzx("pack list").status, 0);
  Result r = Lzx("test t.lzx a.lzx");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "t.lzx: ok, verified by its checks; 40000 bytes in 3 blocks\n"
                   "a.lzx: ok, verified by its checks; archive of 2 entries, 80864 bytes in 5 blocks\n");
  ASSERT_EQ(Lzx("compress --no-check t plain.lzx").status, 0);
  EXPECT_EQ(Lzx("test plain.lzx").out, "plain.lzx: ok, structure only (the file has no checks); 40000 bytes in 3 blocks\n");
  Bytes damaged = ReadFile("t.lzx");
  damaged[100] ^= 0x55;
  WriteFile("bad.lzx", damaged);
  r = Lzx("test t.lzx bad.lzx a.lzx");
  EXPECT_EQ(r.status, 2);
  EXPECT_THAT(r.out, ::testing::StartsWith("t.lzx: ok"));
  EXPECT_THAT(r.out, ::testing::HasSubstr("lzx: bad.lzx: FAILED: "));
  EXPECT_THAT(r.out, ::testing::HasSubstr("a.lzx: ok"));
  EXPECT_THAT(r.out, ::testing::HasSubstr("lzx: 1 of 3 files failed"));
}

TEST_F(ToolTest, DamagedFilesAreRefusedWithStatusTwoAndNothingWritten) {
  WriteFile("list", "a.lzx\n.\\\nlist|V=100\n#l\n");
  ASSERT_EQ(Lzx("pack list").status, 0);
  const Bytes good = ReadFile("a.lzx");
  const auto with = [&](std::size_t at, std::int32_t value) {
    Bytes b = good;
    std::memcpy(b.data() + at, &value, 4);
    return b;
  };
  // The archive's only block holds the record; its size field is at 256.
  std::int32_t length = 0;
  std::memcpy(&length, good.data() + 8, 4);
  Bytes bomb(good.begin(), good.begin() + 16);
  std::memcpy(bomb.data() + 4, "\x10\0\0\0\xff\xff\xff\x7f", 8);
  const struct {
    const char *what;
    Bytes file;
    const char *text;
  } cases[] = {
      {"unfinished", with(4, 0), "Hopen: damaged or unfinished file [x.lzx]"},
      {"bomb", bomb, "Hopen: damaged or unfinished file [x.lzx]"},
      {"length beyond the data", with(8, length + 16384), "Hopen: damaged or unfinished file [x.lzx]"},
  };
  for (const auto &c : cases) {
    WriteFile("x.lzx", c.file);
    for (const char *command : {"decompress x.lzx out", "list x.lzx", "test x.lzx", "unpack x.lzx t"}) {
      const Result r = Lzx(command);
      EXPECT_EQ(r.status, 2) << c.what << ": " << command;
      EXPECT_THAT(r.out, ::testing::HasSubstr(c.text)) << c.what << ": " << command;
    }
    EXPECT_FALSE(vorn_test::Exists("out")) << c.what;
    EXPECT_FALSE(vorn_test::Exists("t")) << c.what;
  }
  // An entry of negative size, inside a well-formed compressed file.
  WriteFile("l.bin", "");
  ASSERT_EQ(Lzx("decompress a.lzx l.bin -f").status, 0);
  Bytes content = ReadFile("l.bin");
  std::memcpy(content.data() + 256, "\xff\xff\xff\xff", 4);
  WriteFile("neg", content);
  ASSERT_EQ(Lzx("compress neg neg.lzx").status, 0);
  for (const char *command : {"list neg.lzx", "unpack neg.lzx t"}) {
    const Result r = Lzx(command);
    EXPECT_EQ(r.status, 2) << command;
    EXPECT_THAT(r.out, ::testing::HasSubstr("bad entry size -1: #l")) << command;
  }
}

TEST_F(ToolTest, AnExistingOutputIsKeptAndAFailedWriteLeavesItWhole) {
  WriteFile("in", Text(50000));
  WriteFile("keep.lzx", "precious");
  WriteFile("list", "keep.lzx\n.\\\nin|V=100\n#in\n");
  ASSERT_EQ(Lzx("compress in x.lzx").status, 0);
  for (const char *command : {"compress in keep.lzx", "decompress x.lzx keep.lzx", "pack list", "mklist . -o keep.lzx --version 100"}) {
    const Result r = Lzx(command);
    EXPECT_EQ(r.status, 1) << command;
    EXPECT_THAT(r.out, ::testing::HasSubstr("lzx: keep.lzx: already exists (-f replaces it)")) << command;
    EXPECT_EQ(AsText(ReadFile("keep.lzx")), "precious") << command;
  }
  // Text has no row of 64 0xff bytes: the row transform fails part-way.
  const Result failed = Lzx("-f compress --rows in keep.lzx");
  EXPECT_EQ(failed.status, 2);
  EXPECT_EQ(AsText(ReadFile("keep.lzx")), "precious");
  for (const auto &e : std::filesystem::directory_iterator("."))
    EXPECT_NE(e.path().filename().string().rfind("~lz", 0), 0u) << e.path();
}

TEST_F(ToolTest, ListingsShowNamesSafelyAndParseBack) {
  const std::vector<std::string> names{"#plain.txt", "#with\tab\there", "#esc\x1b[31mred", "#" + std::string(60, 'n'),
                                       "#dir\\with blank", "#tail "};
  std::string list = "n.lzx\n.\\\n";
  for (std::size_t i = 0; i < names.size(); ++i) {
    WriteFile("f" + std::to_string(i), std::string(i * 10, 'x'));
    list += "f" + std::to_string(i) + "|V=" + std::to_string(100 + i) + "\n" + names[i] + "\n";
  }
  WriteFile("list", list);
  ASSERT_EQ(Lzx("pack list").status, 0) << Lzx("pack list").out;
  const Result human = Lzx("list n.lzx");
  EXPECT_EQ(human.out.find('\x1b'), std::string::npos);
  EXPECT_THAT(human.out, ::testing::HasSubstr("#esc\\x1B[31mred"));
  EXPECT_THAT(human.out, ::testing::HasSubstr("150 bytes in 6 entries"));
  // Tab-separated records read back to exactly what was packed.
  std::istringstream tsv(Lzx("list --tsv n.lzx").out);
  std::string line;
  std::getline(tsv, line);
  EXPECT_EQ(line, "name\tsize\tversion\tscrambled\tdeleteAfter\treplaceOnly");
  for (std::size_t i = 0; i < names.size(); ++i) {
    ASSERT_TRUE(std::getline(tsv, line));
    const std::size_t tab = line.find('\t');
    std::string name;
    for (std::size_t k = 0; k < tab; ++k) { // undo \\ and \xHH
      if (line[k] == '\\' && line[k + 1] == '\\') name += '\\', ++k;
      else if (line[k] == '\\' && line[k + 1] == 'x') name += static_cast<char>(std::stoi(line.substr(k + 2, 2), nullptr, 16)), k += 3;
      else name += line[k];
    }
    EXPECT_EQ(name, names[i]);
    EXPECT_EQ(line.substr(tab + 1), std::to_string(i * 10) + "\t" + std::to_string(100 + i) + "\t0\t0\t0");
  }
}

TEST_F(ToolTest, AVersionFileIsCheckedBeforeItIsReadOrReplaced) {
  WriteFile("t", "x");
  WriteFile("list", "a.lzx\n.\\\nt|V=100\n#t\n");
  ASSERT_EQ(Lzx("pack list").status, 0);
  const Bytes archive = ReadFile("a.lzx");
  for (const char *command : {"unpack a.lzx dir --versions a.lzx", "versions a.lzx"}) {
    const Result r = Lzx(command);
    EXPECT_EQ(r.status, 1) << command;
    EXPECT_THAT(r.out, ::testing::HasSubstr("lzx: a.lzx: not a version file")) << command;
    EXPECT_EQ(ReadFile("a.lzx"), archive) << command;
  }
  ASSERT_EQ(Lzx("unpack a.lzx dir --versions dir/lzx.ver").status, 0);
  EXPECT_THAT(Lzx("versions --tsv dir/lzx.ver").out, ::testing::HasSubstr("#t\t1\t100\n"));
}

TEST_F(ToolTest, ListFileMistakesNameTheirLineAndNothingIsWritten) {
  WriteFile("a", "a");
  WriteFile("b", "b");
  std::filesystem::create_directory("d");
  const std::string head = "out.lzx\n.\\\n";
  const struct {
    std::string list, mistake;
  } cases[] = {
      {head + "a|V=100\n#help/a.htm\n", "list:4: stored name with '/'"},
      {head + "a|V=100\n#..\\..\\evil.txt\n", "list:4: stored name with a '..' component"},
      {head + "a|V=100\n#c:\\x\n", "list:4: stored name with a drive after '#'"},
      {head + "a|V=100\n#\\x\n", "list:4: stored name with a leading separator after '#'"},
      {head + "a|V=100\n#" + std::string(128, 'n') + "\n", "list:4: stored name line longer than 128 characters (129)"},
      {head + "a|V=100|" + std::string(250, 'E') + "\n#a\n", "list:3: source line longer than 256 characters (258)"},
      {head + "a|V=100\n#x\nb|V=100\n#X\n", "list:6: stored name also on line 4"},
      {head + "a|V=4294967396\n#a\n", "list:3: option [V=4294967396] is not a number in the signed 32-bit range"},
      {head + "a|V=99\n#a\n", "list:3: version missing or below 100"},
      {head + "a|V=100|X=1\n#a\n", "list:3: unknown option [X=1]"},
      {head + "missing|V=100\n#a\n", "list:3: source not found [.\\missing]"},
      {head + "d|V=100\n#a\n", "list:3: source is a directory [.\\d]"},
      {head + "a|V=100\na\n", "list:4: stored name without '#'"},
      // A character outside Windows-1252 (U+0100), and a byte that is not UTF-8.
      {head + "a|V=100\n#\xc4\x80.txt\n", "list:4: stored name with a character that Windows-1252"},
      {head + "a|V=100\n#na\xefve\n", "list:4: stored name with a character that Windows-1252"},
      {head + "\n\na|V=100\n", "list:5: source line without a stored name after it"},
      {std::string(80, 'o') + "\n.\\\n", "list:1: archive name of 80 characters or more"},
  };
  for (const auto &c : cases) {
    WriteFile("list", c.list);
    const Result r = Lzx("pack list");
    EXPECT_EQ(r.status, 1) << c.mistake;
    EXPECT_THAT(r.out, ::testing::HasSubstr("lzx: " + c.mistake)) << r.out;
    EXPECT_THAT(r.out, ::testing::HasSubstr("nothing written")) << c.mistake;
    EXPECT_FALSE(vorn_test::Exists("out.lzx")) << c.mistake;
  }
  // Names resolve against the list's folder, or the one given with -C.
  std::filesystem::create_directories("sub");
  WriteFile("sub/s", "in sub");
  WriteFile("sub/list", "s.lzx\n.\\\ns|V=100\n#s\n");
  ASSERT_EQ(Lzx("pack sub/list").status, 0);
  EXPECT_TRUE(vorn_test::Exists("sub/s.lzx"));
  WriteFile("list", "c.lzx\n.\\\ns|V=100\n#s\n");
  ASSERT_EQ(Lzx("pack -C sub list").status, 0);
  EXPECT_TRUE(vorn_test::Exists("sub/c.lzx"));
}

#ifndef _WIN32
// (Windows names stop at 260 characters before the tool sees them, and a
// sparse file of 2 GiB is not sparse everywhere.)
TEST_F(ToolTest, NamesTooLongForTheirBufferAreRefusedNotCut) {
  // 259 characters name one file; 15 more name another.
  const std::string dir = "x/" + std::string(200, 'a');
  std::filesystem::create_directories(dir);
  const std::string shortName = dir + "/" + std::string(259 - dir.size() - 1, 'b');
  const std::string longName = shortName + std::string(15, 'c');
  ASSERT_EQ(shortName.size(), 259u);
  WriteFile(shortName, "the short one");
  WriteFile(longName, "the long one");
  WriteFile("list", "l.lzx\n.\\\n" + longName + "|V=100\n#l\n");
  for (const std::string &command : {"compress " + longName + " c.lzx", "scramble " + longName, std::string("pack list")}) {
    const Result r = Lzx(command);
    EXPECT_EQ(r.status, 1) << command;
    EXPECT_FALSE(vorn_test::Exists("c.lzx"));
    EXPECT_FALSE(vorn_test::Exists("l.lzx"));
  }
  EXPECT_EQ(AsText(ReadFile(shortName)), "the short one");
  EXPECT_EQ(AsText(ReadFile(longName)), "the long one");
}

TEST_F(ToolTest, AnInputOf2GiBOrMoreIsRefusedWithNothingWritten) {
  WriteFile("big", "");
  std::filesystem::resize_file("big", 2200ull * 1024 * 1024); // sparse: no disk space needed
  WriteFile("list", "b.lzx\n.\\\nbig|V=100\n#big\n");
  const struct {
    const char *command, *text;
  } cases[] = {
      {"compress big big.lzx", "lzx: big: 2 GiB or more: the format holds less"},
      {"pack list", "lzx: list:3: source of 2 GiB or more [.\\big]"},
  };
  for (const auto &c : cases) {
    const Result r = Lzx(c.command);
    EXPECT_EQ(r.status, 1) << c.command;
    EXPECT_THAT(r.out, ::testing::HasSubstr(c.text)) << r.out;
  }
  std::vector<std::string> left;
  for (const auto &e : std::filesystem::directory_iterator(".")) left.push_back(e.path().filename().string());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"big", "list"}));
}
#endif

TEST_F(ToolTest, MklistThenPackAndUnpackGiveTheTreeBack) {
  namespace fs = std::filesystem;
  const std::vector<std::pair<std::string, Bytes>> files{
      {"tree/a.txt", Text(1000)},
      {"tree/empty", {}},
      {"tree/sub/deeper/random.bin", vorn_test::RandomBytes(70000, 9)},
#ifndef _WIN32
      {"tree/with blanks/ leading and trailing ", Text(10)}, // Windows drops trailing blanks
      {"tree/caf\xc3\xa9/na\xc3\xafve", Text(20)}, // UTF-8 here, Windows-1252 in the archive
      {"tree/sub/\xc3\x9c" "berblick.htm", Text(30)},
      {"tree/#hash", Text(5)},
#endif
  };
  for (const auto &[name, content] : files) {
    fs::create_directories(fs::path(name).parent_path());
    WriteFile(name, content);
  }
  ASSERT_EQ(Lzx("mklist tree --version 300 -o tree.list").status, 0);
  const std::string list = AsText(ReadFile("tree.list"));
  EXPECT_THAT(list, ::testing::StartsWith("tree.lzx\ntree\\\n"));
  EXPECT_THAT(list, ::testing::HasSubstr("\na.txt|V=300\n#a.txt\n"));
  EXPECT_THAT(list, ::testing::HasSubstr("\nempty|V=300\n#empty\nsub\\deeper\\random.bin|V=300\n"));
  ASSERT_EQ(Lzx("pack tree.list").status, 0);
#ifndef _WIN32
  // The records hold Windows-1252: 0xE9 0x5C 0xEF for "é\ï", 0xDC for "Ü".
  ASSERT_EQ(Lzx("decompress tree.lzx records").status, 0);
  const std::string records = AsText(ReadFile("records"));
  EXPECT_THAT(records, ::testing::HasSubstr("#caf\xe9\\na\xefve"));
  EXPECT_THAT(records, ::testing::HasSubstr("#sub\\\xdc" "berblick.htm"));
  EXPECT_THAT(Lzx("list tree.lzx").out, ::testing::HasSubstr("#sub\\\xc3\x9c" "berblick.htm"));
  // A file whose name Windows-1252 cannot hold is refused, named.
  WriteFile("tree/\xc4\x80", "x");
  const Result refused = Lzx("mklist tree --version 300 -o other.list");
  EXPECT_EQ(refused.status, 1);
  EXPECT_THAT(refused.out, ::testing::HasSubstr("\xc4\x80: a name that Windows-1252"));
  std::filesystem::remove("tree/\xc4\x80");
#endif
  ASSERT_EQ(Lzx("unpack tree.lzx back").status, 0);
  std::size_t seen = 0;
  for (const auto &e : fs::recursive_directory_iterator("back")) {
    if (!e.is_regular_file()) continue;
    ++seen;
    const std::string original = "tree/" + fs::relative(e.path(), "back").generic_string();
    EXPECT_EQ(ReadFile(e.path().string()), ReadFile(original)) << original;
  }
  EXPECT_EQ(seen, files.size());
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

// The tool with standard output on the write end of a pipe whose read end
// is closed already; standard error to the file err. Returns the status.
int LzxIntoAClosedPipe(const std::vector<std::string> &args) {
  int ends[2];
  if (pipe(ends) != 0) return -1;
  const pid_t pid = fork();
  if (pid == 0) {
    close(ends[0]);
    dup2(ends[1], 1);
    const int err = open("err", O_WRONLY | O_CREAT | O_TRUNC, 0666);
    dup2(err, 2);
    std::vector<char *> argv{const_cast<char *>(LZX_TOOL)};
    for (const std::string &a : args) argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    execv(LZX_TOOL, argv.data());
    _exit(127);
  }
  close(ends[0]);
  close(ends[1]);
  int status = 0;
  waitpid(pid, &status, 0);
  return vorn_test::ExitCode(status);
}

TEST_F(ToolTest, EveryCommandThatWritesToStandardOutputFailsWhenTheWriteFails) {
  // A full disk (/dev/full) and a reader that has gone (a closed pipe): a
  // message naming standard output and status 2, never a quiet success.
  WriteFile("in", Text(300000));
  WriteFile("list", "a.lzx\n.\\\nin|V=100\n#in\n");
  ASSERT_EQ(Lzx("-q compress in in.lzx").status, 0);
  ASSERT_EQ(Lzx("-q pack list").status, 0);
  WriteFile("ver", Bytes(432, 0));
  const std::vector<std::vector<std::string>> commands = {
      {"decompress", "in.lzx", "-"}, {"cat", "in.lzx"}, {"compress", "in", "-"}, {"list", "a.lzx"},
      {"info", "in.lzx"}, {"pack", "list", "-o", "-"}, {"versions", "ver"}, {"mklist", ".", "--version", "100"},
      {"test", "in.lzx"}};
  for (const auto &command : commands) {
    std::string line;
    for (const std::string &word : command) line += " " + word;
    SCOPED_TRACE(line);
    EXPECT_EQ(Lzx(line + " >/dev/full 2>err").status, 2);
    EXPECT_THAT(AsText(ReadFile("err")), ::testing::HasSubstr("lzx: standard output: No space left on device"));
    EXPECT_EQ(LzxIntoAClosedPipe(command), 2);
    EXPECT_THAT(AsText(ReadFile("err")), ::testing::HasSubstr("lzx: standard output: Broken pipe"));
  }
}

TEST_F(ToolTest, AFailedInstallPutsEveryFileBack) {
  // Ten files installed at version 100, then an update of version 200 that
  // fails part-way: a file too large for the disk (a file size limit, which
  // binds root too), or a target the system will not let anyone replace
  // (immutable). Everything is as before, the file is named, status 2.
  namespace fs = std::filesystem;
  std::string oldList = "old.lzx\nold\\\n", newList = "new.lzx\nnew\\\n";
  fs::create_directories("old");
  fs::create_directories("new/sub");
  for (std::size_t i = 0; i < 10; ++i) {
    const std::string name = "f" + std::to_string(i);
    WriteFile("old/" + name, Text(4000 + i));
    WriteFile("new/" + name, Text(i == 6 ? 200000 : 5000 + i));
    oldList += name + "|V=100\n#" + name + "\n";
    newList += name + "|V=200\n#" + name + "\n";
  }
  WriteFile("new/sub/added", Text(100));
  WriteFile("old/obsolete", Text(10));
  WriteFile("new/gone", Text(10));
  oldList += "obsolete|V=100\n#obsolete\n";
  newList += "sub\\added|V=200\n#sub\\added\ngone|V=200|D=1\n#obsolete\n"; // a new folder, and a delete
  WriteFile("old.list", oldList);
  WriteFile("new.list", newList);
  ASSERT_EQ(Lzx("-q pack old.list").status, 0);
  ASSERT_EQ(Lzx("-q pack new.list").status, 0);
  const auto tree = [](const std::string &dir) {
    std::map<std::string, std::string> out;
    for (const auto &e : fs::recursive_directory_iterator(dir))
      out[fs::relative(e.path(), dir).string()] = e.is_regular_file() ? AsText(ReadFile(e.path().string())) : "/";
    return out;
  };
  const struct {
    const char *what;
    std::function<void()> before, after;
    std::string command, named;
  } cases[] = {
      {"a full disk", [] {}, [] {}, "trap '' XFSZ; ulimit -f 100; ", "f6"},
      {"an immutable target", [] { std::system("chattr +i inst/f7"); }, [] { std::system("chattr -i inst/f7"); }, "",
       "Install: cannot replace [inst\\f7]: Operation not permitted"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all("inst");
    ASSERT_EQ(Lzx("-q unpack old.lzx inst --versions inst/lzx.ver").status, 0);
    const auto installed = tree("inst");
    c.before();
    const Result failed = Shell(c.command + ToolPath() + " -q unpack new.lzx inst --versions inst/lzx.ver 2>&1");
    c.after(); // before any check, so that the folder can always be removed
    EXPECT_EQ(failed.status, 2) << failed.out;
    EXPECT_THAT(failed.out, ::testing::HasSubstr(c.named));
    EXPECT_THAT(failed.out, ::testing::HasSubstr("Nothing was changed: the installation is as it was."));
    EXPECT_TRUE(tree("inst") == installed) << "the installation changed";
  }
}

TEST_F(ToolTest, AnInstallationFolderOf240CharactersTakesTargetsOf255) {
  // The staging names get shorter where the usual ones would not fit, so
  // every target the unpacker accepts can be staged beside.
  std::string folder = "deep/";
  while (folder.size() < 240) folder += folder.size() % 50 == 49 ? "/" : "x";
  std::filesystem::create_directories(folder);
  WriteFile("vorn.htm", Text(3000));
  WriteFile("list", "a.lzx\n.\\\nvorn.htm|V=203\n#help\\vorn.htm\n");
  ASSERT_EQ(Lzx("-q pack list").status, 0);
  const Result r = Lzx("-q unpack a.lzx " + folder + " --versions " + folder + "/lzx.ver");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(ReadFile(folder + "/help/vorn.htm"), Text(3000));
  EXPECT_FALSE(AnyStagingFile("deep"));
  const Result again = Lzx("-q unpack a.lzx " + folder + " --versions " + folder + "/lzx.ver");
  EXPECT_EQ(again.status, 0) << again.out;
}

TEST_F(ToolTest, AnInterruptedWriteLeavesTheOldOutputAndNoTemporary) {
  WriteFile("in", Text(30 * 1024 * 1024));
  WriteFile("keep.lzx", "precious");
  for (const int signal : {SIGINT, SIGTERM}) {
    const pid_t pid = StartLzx({"-f", "compress", "in", "keep.lzx"});
    // Stopped once the compressed data is on its way.
    bool writing = false;
    for (int i = 0; i < 20000 && !writing; ++i, usleep(100))
      for (const auto &e : std::filesystem::directory_iterator("."))
        writing = writing || e.path().filename().string().rfind("~lz", 0) == 0;
    ASSERT_TRUE(writing);
    kill(pid, signal);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal);
    EXPECT_EQ(AsText(ReadFile("keep.lzx")), "precious");
    EXPECT_FALSE(AnyStagingFile(".")) << signal;
  }
}

TEST_F(ToolTest, ALinkPlantedAtTheIndexTemporarysNameIsNotFollowed) {
  WriteFile("in", Text(20000));
  WriteFile("victim", "precious");
  int go[2];
  ASSERT_EQ(pipe(go), 0);
  const pid_t pid = fork();
  if (pid == 0) {
    char byte;
    if (read(go[0], &byte, 1) != 1) _exit(126);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    execl(LZX_TOOL, LZX_TOOL, "compress", "in", "out.lzx", static_cast<char *>(nullptr));
    _exit(127);
  }
  // The name the index temporary used to get from the process number.
  char planted[32];
  std::snprintf(planted, sizeof planted, "~lz%05X%03X.tmp", static_cast<unsigned>(pid) & 0xfffffu, 0u);
  ASSERT_EQ(symlink("victim", planted), 0);
  ASSERT_EQ(write(go[1], "g", 1), 1);
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_EQ(vorn_test::ExitCode(status), 0);
  EXPECT_EQ(AsText(ReadFile("victim")), "precious");
  EXPECT_EQ(Lzx("test out.lzx").status, 0);
}

// An installation folder another user may rename in (no sticky bit): they
// exchange the folder below it for a link to their own, and back, as fast
// as they can, all through each install. Every file is reached through the
// folders opened at the start, so nothing outside is written, scrambled or
// deleted, whatever the moment.
TEST_F(ToolTest, AFolderExchangedForALinkMidInstallRedirectsNothing) {
  SKIP_UNLESS_ROOT();
  namespace fs = std::filesystem;
  chmod(dir_.c_str(), 0755);
  std::string list = "new.lzx\nsrc\\\n";
  fs::create_directories("src");
  for (int i = 0; i < 30; ++i) {
    const std::string name = "f" + std::to_string(i);
    WriteFile("src/" + name, Text(3000 + 100 * static_cast<std::size_t>(i)));
    list += name + "|V=200" + (i % 3 == 0 ? "|E=1" : i == 29 ? "|D=1" : "") + "\n#sub\\" + name + "\n";
  }
  WriteFile("new.list", list);
  ASSERT_EQ(Lzx("pack new.list").status, 0);
  fs::create_directories("outside");
  chmod("outside", 0777);
  for (int i = 0; i < 30; ++i) WriteFile("outside/f" + std::to_string(i), "precious");
  const std::string inst = dir_ + "/inst", sub = inst + "/sub", aside = inst + "/sub.real", stop = dir_ + "/stop";
  for (int round = 0; round < 40; ++round) {
    fs::remove_all(inst);
    fs::create_directories(sub);
    chmod(inst.c_str(), 0777); // others may rename in it
    std::filesystem::remove(stop);
    const pid_t attacker = vorn_test::StartAsOtherUser([&] {
      const std::string outside = dir_ + "/outside";
      int swaps = 0;
      for (struct stat st {}; stat(stop.c_str(), &st) != 0;) {
        if (rename(sub.c_str(), aside.c_str()) != 0) continue;
        swaps += symlink(outside.c_str(), sub.c_str()) == 0;
        for (int spin = 0; spin < 50; ++spin) stat(stop.c_str(), &st); // the link stays a moment
        unlink(sub.c_str());
        rename(aside.c_str(), sub.c_str());
      }
      return swaps > 0;
    });
    const Result r = Lzx("unpack new.lzx inst --versions inst/lzx.ver");
    WriteFile(stop, "");
    int status = 0;
    waitpid(attacker, &status, 0);
    ASSERT_EQ(vorn_test::ExitCode(status), 0) << "the other user could not exchange the folder";
    EXPECT_TRUE(r.status == 0 || r.status == 2) << r.out;
    for (int i = 0; i < 30; ++i) {
      const std::string victim = "outside/f" + std::to_string(i);
      ASSERT_TRUE(fs::exists(victim)) << victim << " deleted, round " << round;
      ASSERT_EQ(AsText(ReadFile(victim)), "precious") << victim << " written, round " << round;
    }
    std::size_t there = 0;
    for (const auto &e : fs::directory_iterator("outside")) {
      EXPECT_EQ(e.path().filename().string().rfind('f', 0), 0u) << e.path() << " made by the install, round " << round;
      ++there;
    }
    EXPECT_EQ(there, 30u) << "round " << round;
  }
}

TEST_F(ToolTest, AnInstallKilledOrInterruptedIsNeverLeftMixed) {
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
  int undone = 0, completed = 0;
  for (int round = 0; round < 30; ++round) {
    // Back to the old installation; what killed runs left stays for the last run.
    fs::copy("pristine", "inst", fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    const pid_t pid = StartLzx({"unpack", "new.lzx", "inst", "--versions", "inst/lzx.ver"});
    std::this_thread::sleep_for(whole * (rng() % 1000) / 1000);
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    // What the next start does first: the interrupted install is completed
    // or undone, and then every file and the list agree.
    const Result recovered = Lzx("recover inst");
    ASSERT_EQ(recovered.status, 0) << recovered.out;
    undone += recovered.out.find("undone") != std::string::npos;
    completed += recovered.out.find("completed") != std::string::npos;
    const Bytes list = ReadFile("inst/lzx.ver");
    ASSERT_TRUE(list == before || list == after) << "round " << round;
    for (int i = 0; i < kFiles; ++i) {
      const std::string name = "/d/f" + std::to_string(i);
      EXPECT_EQ(ReadFile("inst" + name), ReadFile((list == after ? "new/f" : "old/f") + std::to_string(i))) << name;
    }
    EXPECT_FALSE(AnyStagingFile("inst")) << "round " << round;
  }
  EXPECT_GT(undone, 0); // the kills fell both before and after the swaps
  EXPECT_GT(undone + completed, 0);
  // An interrupt once the swaps have begun waits for them: the signalled run
  // itself leaves the installation all new, with no journal to put right.
  for (int round = 0; round < 10; ++round) {
    fs::copy("pristine", "inst", fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    const pid_t pid = StartLzx({"unpack", "new.lzx", "inst", "--versions", "inst/lzx.ver"});
    for (int i = 0; i < 200000 && AsText(ReadFile("inst/lzx.jnl")).find("\ncommit\n") == std::string::npos; ++i) {
    }
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << "round " << round;
    ASSERT_EQ(ReadFile("inst/lzx.ver"), after) << "round " << round;
    for (int i = 0; i < kFiles; ++i)
      ASSERT_EQ(ReadFile("inst/d/f" + std::to_string(i)), ReadFile("new/f" + std::to_string(i))) << "round " << round;
    EXPECT_FALSE(fs::exists("inst/lzx.jnl")) << "round " << round;
  }
  // The next run completes and leaves no staging file behind, not even the
  // killed runs'.
  ASSERT_EQ(Lzx("unpack new.lzx inst --versions inst/lzx.ver").status, 0);
  EXPECT_EQ(ReadFile("inst/lzx.ver"), after);
  EXPECT_FALSE(AnyStagingFile("inst"));
}
#endif

} // namespace
