// The library's interface for other programs: every failure is a status and
// the fatal path's text, with the process going on, no file left open or
// behind, and the host's signal handling untouched; buffers hold exactly the
// bytes of files; threads code different files at once as one thread does.
#ifndef _WIN32
#include <signal.h>
#endif

#include <cstring>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "lzx/api.h"
#include "platform/thread.h"
#include "tests/support.h"

namespace {

using vorn_test::Bytes;
using vorn_test::ReadFile;
using vorn_test::WriteFile;

const char *const kModes[] = {"wb", "wbh", "wbs", "wbc", "wbhc", "wbsc"};

Bytes Text(std::size_t size, std::uint32_t seed) {
  static const char *const words[] = {"update", "of", "the", "help", "file", "version", "block", "archive"};
  Bytes out;
  for (std::uint32_t r = seed; out.size() < size;) {
    r = r * 1103515245u + 12345u;
    const char *w = words[(r >> 16) % 8];
    out.insert(out.end(), w, w + std::strlen(w));
    out.push_back((r >> 8) % 9 == 0 ? '\n' : ' ');
  }
  out.resize(size);
  return out;
}

// Rows of 64 bytes, every third one empty (all 0xff), as the row transform
// needs one empty row in each block.
Bytes Rows(std::size_t size, std::uint32_t seed) {
  Bytes out;
  for (std::uint32_t row = 0, r = seed; out.size() < size; ++row)
    for (std::uint32_t c = 0; c < 64; ++c) {
      r = r * 1103515245u + 12345u;
      out.push_back(row % 3 == 2 ? 0xff : static_cast<std::uint8_t>(row % 3 == 0 ? c * 3 : (r >> 16) % 8));
    }
  out.resize(size);
  return out;
}

bool RowMode(const char *mode) { return std::strchr(mode, 's') != nullptr; }

Bytes Compress(const Bytes &data, const char *mode) {
  Bytes out(static_cast<std::size_t>(vorn_lzx_compress_bound(static_cast<std::int32_t>(data.size()))));
  std::int32_t n = 0;
  VornLzxError err{};
  EXPECT_EQ(vorn_lzx_compress_buffer(data.data(), static_cast<std::int32_t>(data.size()), mode, out.data(),
                                     static_cast<std::int32_t>(out.size()), &n, &err),
            VORN_LZX_OK)
      << err.text;
  out.resize(static_cast<std::size_t>(n));
  return out;
}

Bytes Decompress(const Bytes &packed, VornLzxError *err) {
  std::int32_t length = 0;
  if (vorn_lzx_buffer_length(packed.data(), static_cast<std::int32_t>(packed.size()), &length, err) != VORN_LZX_OK)
    return {};
  Bytes out(static_cast<std::size_t>(length) + 1);
  std::int32_t n = 0;
  vorn_lzx_decompress_buffer(packed.data(), static_cast<std::int32_t>(packed.size()), out.data(),
                             static_cast<std::int32_t>(out.size()), &n, err);
  out.resize(static_cast<std::size_t>(n));
  return out;
}

// What a failure must leave as it was: the files in the directory tree, the
// process's open descriptors and (POSIX) its terminate handler.
std::set<std::string> Tree() {
  std::set<std::string> names;
  for (const auto &e : std::filesystem::recursive_directory_iterator(".")) names.insert(e.path().generic_string());
  return names;
}

int OpenDescriptors() {
#ifdef _WIN32
  return 0;
#else
  int n = 0;
  for ([[maybe_unused]] const auto &e : std::filesystem::directory_iterator("/proc/self/fd")) ++n;
  return n;
#endif
}

#ifndef _WIN32
void HostHandler(int) {}
#endif

class LibraryTest : public vorn_test::ScratchTest {};

TEST_F(LibraryTest, EveryFailureIsAStatusAndTheFatalTextAndNothingIsLeft) {
#ifndef _WIN32
  struct sigaction host {}, before {};
  host.sa_handler = HostHandler;
  sigemptyset(&host.sa_mask);
  ASSERT_EQ(sigaction(SIGTERM, &host, &before), 0);
#endif
  const Bytes data = Text(40000, 7);
  Bytes good = Compress(data, "wbc");
  WriteFile("good.lzx", good);
  Bytes damaged = good;
  damaged[100] ^= 0x10; // inside block 0
  WriteFile("damaged.lzx", damaged);
  WriteFile("cut.lzx", Bytes(good.begin(), good.end() - 5));
  WriteFile("keep.lzx", std::string("the old content"));
  std::filesystem::create_directory("target");
  // An archive of one entry, then the same with a flipped bit in its block.
  WriteFile("one.txt", std::string("one entry"));
  WriteFile("pack.list", std::string("arch.lzx\n./\none.txt|v=100\n#one.txt\n"));
  std::int32_t files = 0;
  VornLzxError err{};
  ASSERT_EQ(vorn_lzx_pack("pack.list", &files, &err), VORN_LZX_OK) << err.text;
  Bytes archive = ReadFile("arch.lzx");
  archive[30] ^= 0x01;
  WriteFile("arch-damaged.lzx", archive);
  WriteFile("missing-source.list", std::string("arch2.lzx\n./\nnot-there.txt|v=100\n#x.txt\n"));
  const std::string longName(80, 'n');

  const auto readAll = [](const char *name, VornLzxError *e) {
    VornLzxFile *f = nullptr;
    int status = vorn_lzx_open(name, "rb", &f, e);
    if (status != VORN_LZX_OK) return status;
    char chunk[5000];
    std::int32_t got = 0;
    while ((status = vorn_lzx_read(f, chunk, sizeof chunk, &got, e)) == VORN_LZX_OK && got > 0) {
    }
    VornLzxError again{};
    // A file whose call failed answers only with that failure, close too.
    if (status != VORN_LZX_OK) {
      EXPECT_EQ(vorn_lzx_read(f, chunk, 1, &got, &again), VORN_LZX_EFAILED);
      EXPECT_STREQ(again.text, e->text);
    }
    const int closed = vorn_lzx_close(f, nullptr, &again);
    EXPECT_EQ(closed, status == VORN_LZX_OK ? VORN_LZX_OK : VORN_LZX_EFAILED);
    return status;
  };
  struct Case {
    const char *what;
    std::function<int(VornLzxError *)> call;
    int status;
    std::int32_t fileCode;
    std::string text;
  };
  const std::vector<Case> cases = {
      {"missing file", [&](VornLzxError *e) { return readAll("missing.lzx", e); }, VORN_LZX_EFILE, 209,
       "\nFile Error : name = [missing.lzx] code = 209"},
      {"damaged block", [&](VornLzxError *e) { return readAll("damaged.lzx", e); }, VORN_LZX_EDATA, 0,
       "Hfill: block 0 fails its check [damaged.lzx]"},
      {"cut file", [&](VornLzxError *e) { return readAll("cut.lzx", e); }, VORN_LZX_EDATA, 0,
       "Hopen: damaged or unfinished file [cut.lzx]"},
      {"long name, read", [&](VornLzxError *e) { return readAll(longName.c_str(), e); }, VORN_LZX_EDATA, 0,
       "Hopen: filename too long"},
      {"long name, compress",
       [&](VornLzxError *e) { return vorn_lzx_compress_file("one.txt", longName.c_str(), "wbc", e); }, VORN_LZX_EDATA,
       0, "Hopen: filename too long"},
      {"missing source", [&](VornLzxError *e) { return vorn_lzx_compress_file("gone.txt", "out.lzx", "wb", e); },
       VORN_LZX_EFILE, 209, "\nFile Error : name = [gone.txt] code = 209"},
      {"no such directory",
       [&](VornLzxError *e) { return vorn_lzx_compress_file("one.txt", "nodir/out.lzx", "wb", e); }, VORN_LZX_EFILE,
       211, "\nFile Error : name = [nodir/out.lzx] code = 211"},
      {"decompress damaged",
       [&](VornLzxError *e) { return vorn_lzx_decompress_file("damaged.lzx", "out.txt", e); }, VORN_LZX_EDATA, 0,
       "Hfill: block 0 fails its check [damaged.lzx]"},
      {"decompress over a kept file",
       [&](VornLzxError *e) { return vorn_lzx_decompress_file("damaged.lzx", "keep.lzx", e); }, VORN_LZX_EDATA, 0,
       "Hfill: block 0 fails its check [damaged.lzx]"},
      {"test damaged", [&](VornLzxError *e) { return vorn_lzx_test("damaged.lzx", nullptr, e); }, VORN_LZX_EDATA, 0,
       "Hfill: block 0 fails its check [damaged.lzx]"},
      {"unpack damaged",
       [&](VornLzxError *e) { return vorn_lzx_unpack("arch-damaged.lzx", "target", 1, nullptr, e); }, VORN_LZX_EDATA,
       0, "Hfill: block 0 fails its check [arch-damaged.lzx]"},
      {"pack a missing source", [&](VornLzxError *e) { return vorn_lzx_pack("missing-source.list", nullptr, e); },
       VORN_LZX_EDATA, 0, "PackLZX: line 3: "},
      {"buffer damaged",
       [&](VornLzxError *e) {
         Decompress(damaged, e);
         return e->status;
       },
       VORN_LZX_EDATA, 0, "Hfill: block 0 fails its check [(memory)]"},
      {"buffer cut",
       [&](VornLzxError *e) {
         Decompress(Bytes(good.begin(), good.end() - 1), e);
         return e->status;
       },
       VORN_LZX_EDATA, 0, "Hopen: damaged or unfinished file [(memory)]"},
      {"write abandoned over a kept file",
       [&](VornLzxError *e) {
         VornLzxFile *f = nullptr;
         EXPECT_EQ(vorn_lzx_open("keep.lzx", "wbc", &f, e), VORN_LZX_OK);
         EXPECT_EQ(vorn_lzx_write(f, data.data(), 20000, e), VORN_LZX_OK);
         const int status = vorn_lzx_seek(f, 0, e); // not on a write file: the handle fails
         VornLzxError closing{};
         EXPECT_EQ(vorn_lzx_close(f, nullptr, &closing), VORN_LZX_EFAILED);
         return status;
       },
       VORN_LZX_EDATA, 0, "Hseek: not allowed on write-file"},
  };
  const std::set<std::string> tree = Tree();
  const int descriptors = OpenDescriptors();
  for (const Case &c : cases) {
    VornLzxError e{};
    EXPECT_EQ(c.call(&e), c.status) << c.what;
    EXPECT_EQ(e.status, c.status) << c.what;
    EXPECT_EQ(e.file_code, c.fileCode) << c.what;
    EXPECT_EQ(std::string(e.text).substr(0, c.text.size()), c.text) << c.what;
    EXPECT_EQ(Tree(), tree) << c.what << ": a file was left or removed";
    EXPECT_EQ(OpenDescriptors(), descriptors) << c.what << ": a file was left open";
  }
  const std::string old = "the old content";
  EXPECT_EQ(ReadFile("keep.lzx"), Bytes(old.begin(), old.end()));
#ifndef _WIN32
  struct sigaction now {};
  ASSERT_EQ(sigaction(SIGTERM, &before, &now), 0);
  EXPECT_EQ(now.sa_handler, &HostHandler) << "the library replaced the host's terminate handler";
#endif
}

TEST_F(LibraryTest, BuffersFilesAndHandlesHoldTheSameBytes) {
  for (const char *mode : kModes) {
    const Bytes data = RowMode(mode) ? Rows(50000, 3) : Text(50000, 3);
    // A block padded after 1 byte has no empty row: not for the row transform.
    for (const std::size_t size : {std::size_t{0}, std::size_t{RowMode(mode) ? 0u : 1u}, std::size_t{16384}, data.size()}) {
      const Bytes part(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(size));
      WriteFile("part.txt", part);
      VornLzxError err{};
      ASSERT_EQ(vorn_lzx_compress_file("part.txt", "part.lzx", mode, &err), VORN_LZX_OK) << err.text;
      const Bytes packed = Compress(part, mode);
      EXPECT_EQ(ReadFile("part.lzx"), packed) << mode << " " << size;
      EXPECT_EQ(Decompress(packed, &err), part) << mode << " " << size << ": " << err.text;
      ASSERT_EQ(vorn_lzx_decompress_file("part.lzx", "back.txt", &err), VORN_LZX_OK) << err.text;
      EXPECT_EQ(ReadFile("back.txt"), part);
      VornLzxTestResult t{};
      ASSERT_EQ(vorn_lzx_test("part.lzx", &t, &err), VORN_LZX_OK) << err.text;
      EXPECT_EQ(t.checked, std::strchr(mode, 'c') != nullptr ? 1 : 0);
      EXPECT_EQ(t.length, static_cast<std::int32_t>(size));
    }
    // A handle written piecewise, read back from the middle.
    VornLzxFile *f = nullptr;
    VornLzxError err{};
    ASSERT_EQ(vorn_lzx_open("handle.lzx", mode, &f, &err), VORN_LZX_OK) << err.text;
    for (std::size_t at = 0; at < data.size(); at += 7000)
      ASSERT_EQ(vorn_lzx_write(f, data.data() + at, static_cast<std::int32_t>(std::min<std::size_t>(7000, data.size() - at)), &err), VORN_LZX_OK);
    std::int32_t size = 0;
    ASSERT_EQ(vorn_lzx_close(f, &size, &err), VORN_LZX_OK) << err.text;
    EXPECT_EQ(ReadFile("handle.lzx"), Compress(data, mode));
    ASSERT_EQ(vorn_lzx_open("handle.lzx", "rb", &f, &err), VORN_LZX_OK);
    char middle[100];
    std::int32_t got = 0, position = 0, length = 0;
    ASSERT_EQ(vorn_lzx_seek(f, 33333, &err), VORN_LZX_OK);
    ASSERT_EQ(vorn_lzx_read(f, middle, sizeof middle, &got, &err), VORN_LZX_OK);
    ASSERT_EQ(vorn_lzx_tell(f, &position, &length, &err), VORN_LZX_OK);
    EXPECT_EQ(got, 100);
    EXPECT_EQ(std::memcmp(middle, data.data() + 33333, 100), 0);
    EXPECT_EQ(position, 33433);
    EXPECT_EQ(length, static_cast<std::int32_t>(data.size()));
    ASSERT_EQ(vorn_lzx_close(f, nullptr, &err), VORN_LZX_OK);
  }
  // An archive packed and unpacked, kept files only replaced when asked.
  std::filesystem::create_directories("tree/sub");
  WriteFile("tree/a.txt", std::string("alpha"));
  const Bytes data = Text(50000, 3);
  WriteFile("tree/sub/b.txt", data);
  WriteFile("pack.list", std::string("arch.lzx\ntree/\na.txt|v=100\n#a.txt\nsub/b.txt|v=100\n#sub\\b.txt\n"));
  VornLzxError err{};
  std::int32_t files = 0;
  ASSERT_EQ(vorn_lzx_pack("pack.list", &files, &err), VORN_LZX_OK) << err.text;
  EXPECT_EQ(files, 2);
  std::filesystem::create_directory("out");
  WriteFile("out/a.txt", std::string("kept"));
  ASSERT_EQ(vorn_lzx_unpack("arch.lzx", "out", 0, &files, &err), VORN_LZX_OK) << err.text;
  EXPECT_EQ(ReadFile("out/a.txt"), Bytes({'k', 'e', 'p', 't'}));
  EXPECT_EQ(ReadFile("out/sub/b.txt"), data);
  ASSERT_EQ(vorn_lzx_unpack("arch.lzx", "out", 1, &files, &err), VORN_LZX_OK) << err.text;
  EXPECT_EQ(ReadFile("out/a.txt"), Bytes({'a', 'l', 'p', 'h', 'a'}));
}

// Four threads, each coding its own data in its own mode through buffers,
// files and handles, several rounds: every byte as one thread makes it.
struct Work {
  int index;
  Bytes data;
  const char *mode;
  Bytes expected; // the single-threaded compressed bytes
  bool ok = true;
};

void RunWork(void *raw) {
  auto *w = static_cast<Work *>(raw);
  const std::string name = "thread" + std::to_string(w->index);
  for (int round = 0; round < 3 && w->ok; ++round) {
    VornLzxError err{};
    Bytes out(static_cast<std::size_t>(vorn_lzx_compress_bound(static_cast<std::int32_t>(w->data.size()))));
    std::int32_t n = 0;
    w->ok &= vorn_lzx_compress_buffer(w->data.data(), static_cast<std::int32_t>(w->data.size()), w->mode, out.data(),
                                      static_cast<std::int32_t>(out.size()), &n, &err) == VORN_LZX_OK;
    out.resize(static_cast<std::size_t>(n));
    w->ok &= out == w->expected;
    Bytes back(w->data.size());
    w->ok &= vorn_lzx_decompress_buffer(out.data(), n, back.data(), static_cast<std::int32_t>(back.size()), &n, &err) ==
             VORN_LZX_OK;
    w->ok &= back == w->data;
    // Through files: compress, then read back with a handle.
    WriteFile(name + ".txt", w->data);
    w->ok &= vorn_lzx_compress_file((name + ".txt").c_str(), (name + ".lzx").c_str(), w->mode, &err) == VORN_LZX_OK;
    w->ok &= ReadFile(name + ".lzx") == w->expected;
    VornLzxFile *f = nullptr;
    if (vorn_lzx_open((name + ".lzx").c_str(), "rb", &f, &err) != VORN_LZX_OK) {
      w->ok = false;
      return;
    }
    std::fill(back.begin(), back.end(), std::uint8_t{0});
    std::int32_t got = 0;
    w->ok &= vorn_lzx_read(f, back.data(), static_cast<std::int32_t>(back.size()), &got, &err) == VORN_LZX_OK;
    w->ok &= vorn_lzx_close(f, nullptr, &err) == VORN_LZX_OK;
    w->ok &= back == w->data;
  }
}

TEST_F(LibraryTest, FourThreadsCodeDifferentFilesAsOneThreadDoes) {
  std::vector<Work> work;
  const char *const modes[] = {"wbc", "wbh", "wbsc", "wb"};
  for (int i = 0; i < 4; ++i) {
    Bytes data = Text(90000 + 10000 * static_cast<std::size_t>(i), static_cast<std::uint32_t>(i + 1));
    if (i == 2) data = Rows(70000, 5);
    if (i == 3) data = vorn_test::RandomBytes(60000, 5);
    work.push_back(Work{i, data, modes[i], {}});
    work.back().expected = Compress(work.back().data, modes[i]);
  }
  PlatThread threads[4];
  for (int i = 0; i < 4; ++i) ASSERT_TRUE(PlatThreadStart(&threads[i], RunWork, &work[static_cast<std::size_t>(i)]));
  for (PlatThread &t : threads) PlatThreadJoin(&t);
  for (const Work &w : work) EXPECT_TRUE(w.ok) << "thread " << w.index << " (" << w.mode << ")";
}

} // namespace

namespace {

// Blocks coded on several threads: the same bytes written, the same bytes
// read (sequentially and after seeks), and a damaged block failing with the
// same text after the same bytes, for batch boundaries and partial batches.
TEST_F(LibraryTest, ThreadedCodingGivesTheBytesAndFailuresOfOneThread) {
  for (const char *mode : kModes) {
    // 16 blocks a batch for 2 threads, 24 for 3: sizes around and across them.
    for (const std::size_t blocks : {std::size_t{1}, std::size_t{16}, std::size_t{17}, std::size_t{53}}) {
      const std::size_t size = blocks * 16384 - (blocks > 1 ? 700 : 0);
      const Bytes data = RowMode(mode) ? Rows(size, 11) : Text(size, 11);
      WriteFile("in.txt", data);
      VornLzxError err{};
      vorn_lzx_set_threads(1);
      ASSERT_EQ(vorn_lzx_compress_file("in.txt", "one.lzx", mode, &err), VORN_LZX_OK) << err.text;
      const Bytes one = ReadFile("one.lzx");
      Bytes damaged = one;
      damaged[one.size() / 2] ^= 0x20;
      WriteFile("damaged.lzx", damaged);
      const auto readAll = [](const char *name, std::int32_t *before, VornLzxError *e) {
        VornLzxFile *f = nullptr;
        *before = 0;
        Bytes out;
        if (vorn_lzx_open(name, "rb", &f, e) != VORN_LZX_OK) return out;
        char chunk[5000];
        for (std::int32_t got = 0; vorn_lzx_read(f, chunk, sizeof chunk, &got, e) == VORN_LZX_OK && got > 0;) {
          out.insert(out.end(), chunk, chunk + got);
          *before += got;
        }
        vorn_lzx_close(f, nullptr, nullptr);
        return out;
      };
      std::int32_t oneBefore = 0;
      VornLzxError oneFault{}, oneBufferFault{};
      readAll("damaged.lzx", &oneBefore, &oneFault);
      Decompress(damaged, &oneBufferFault);
      for (const int threads : {2, 3}) {
        vorn_lzx_set_threads(threads);
        const std::string what = std::string(mode) + ", " + std::to_string(blocks) + " blocks, " + std::to_string(threads) + " threads";
        ASSERT_EQ(vorn_lzx_compress_file("in.txt", "many.lzx", mode, &err), VORN_LZX_OK) << what << ": " << err.text;
        EXPECT_EQ(ReadFile("many.lzx"), one) << what;
        std::int32_t before = 0;
        EXPECT_EQ(readAll("one.lzx", &before, &err), data) << what;
        VornLzxError fault{};
        readAll("damaged.lzx", &before, &fault);
        EXPECT_EQ(fault.status, oneFault.status) << what;
        EXPECT_STREQ(fault.text, oneFault.text) << what;
        EXPECT_EQ(before, oneBefore) << what;
        EXPECT_EQ(Decompress(one, &err), data) << what << ": " << err.text;
        VornLzxError bufferFault{};
        Decompress(damaged, &bufferFault);
        EXPECT_EQ(bufferFault.status, oneBufferFault.status) << what;
        EXPECT_STREQ(bufferFault.text, oneBufferFault.text) << what;
        // Seeks backwards, into the batch ahead and far ahead.
        VornLzxFile *f = nullptr;
        ASSERT_EQ(vorn_lzx_open("one.lzx", "rb", &f, &err), VORN_LZX_OK);
        for (const std::size_t at : {size / 2, std::size_t{10}, size - 1, std::size_t{16384 * 17 + 5} % size, size / 3}) {
          char got[64] = {};
          std::int32_t n = 0;
          ASSERT_EQ(vorn_lzx_seek(f, static_cast<std::int32_t>(at), &err), VORN_LZX_OK) << what;
          ASSERT_EQ(vorn_lzx_read(f, got, sizeof got, &n, &err), VORN_LZX_OK) << what;
          EXPECT_EQ(Bytes(got, got + n), Bytes(data.begin() + static_cast<std::ptrdiff_t>(at), data.begin() + static_cast<std::ptrdiff_t>(at + static_cast<std::size_t>(n))))
              << what << " at " << at;
        }
        vorn_lzx_close(f, nullptr, nullptr);
      }
      vorn_lzx_set_threads(1);
    }
  }
}

} // namespace
