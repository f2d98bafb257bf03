// lzx: make and inspect "LZX1" compressed files and archives.
//
// Fatal errors print the system's text on standard error and end with status 2;
// usage errors end with status 64 and a one-line hint.
#include <CLI/CLI.hpp>

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "fileio/fatal.h"
#include "fileio/file.h"
#include "fileio/path.h"
#include "lzx/lzx.h"
#include "lzx/versions.h"
#include "platform/process.h"

namespace {

constexpr int kUsageError = 64;
constexpr std::int32_t kChunk = 65536;

std::vector<std::uint8_t> g_chunk(kChunk);

// Progress on a terminal: the handle's position, every 64 blocks (1 MiB).
void ShowProgress(const HILE *h) {
  if ((h->blockBase / kLzxBlock) % 64 != 0) return;
  std::fprintf(stderr, "\r%s: %.1f MiB", h->fileName, h->blockBase / 1048576.0);
}

void EndProgress() {
  if (BlockProgress) std::fprintf(stderr, "\r\033[K");
}

int Compress(const std::string &in, const std::string &out, bool huffman, bool rows) {
  FileRef source;
  FileRefInit(&source, 1, in.c_str());
  FileOpenRead(&source);
  HILE *h = Hopen(out.c_str(), huffman ? "wbh" : rows ? "wbs" : "wb");
  for (std::int32_t n; (n = FileRead(&source, kChunk, g_chunk.data())) > 0;) Hwrite(g_chunk.data(), n, h);
  FileClose(&source);
  const std::int32_t length = h->blockBase + h->fill;
  const std::int32_t size = Hclose(h);
  EndProgress();
  std::printf("%s: %" PRId32 " -> %" PRId32 " bytes\n", out.c_str(), length, size);
  return 0;
}

int Decompress(const std::string &in, const std::string &out) {
  HILE *h = Hopen(in.c_str(), "rb");
  FileRef target;
  FileRefInit(&target, 1, out.c_str());
  FileCreate(&target);
  for (std::int32_t n; (n = Hread(g_chunk.data(), kChunk, h)) > 0;) FileWrite(&target, n, g_chunk.data());
  FileClose(&target);
  Hclose(h);
  EndProgress();
  return 0;
}

int Cat(const std::string &in, std::int32_t offset, std::int32_t length) {
  HILE *h = Hopen(in.c_str(), "rb");
  Hseek(h, offset);
  std::int32_t left = length < 0 ? h->header.length - offset : length;
  while (left > 0) {
    const std::int32_t n = Hread(g_chunk.data(), left < kChunk ? left : kChunk, h);
    if (n == 0) break;
    std::fwrite(g_chunk.data(), 1, static_cast<std::size_t>(n), stdout);
    left -= n;
  }
  Hclose(h);
  return 0;
}

int Info(const std::string &in) {
  FileRef ref;
  DoFopen(in.c_str(), "rb", &ref);
  LzxHeader header;
  DoFread(&header, 16, &ref);
  if (header.magic != kLzxMagic) FatalMessage("Hopen: not an LZX file");
  const std::int32_t size = FileSize(&ref);
  // An unfinished file (its writer ended before closing it) has index offset 0.
  if (header.indexOffset < 16 || header.indexOffset > size || (size - header.indexOffset) % 4 != 0)
    FatalMessage("lzx info: index offset %d does not fit a file of %d bytes", header.indexOffset, size);
  const std::int32_t blocks = (size - header.indexOffset) / 4;
  std::printf("file         %s\n", in.c_str());
  std::printf("size         %" PRId32 "\n", size);
  std::printf("length       %" PRId32 "\n", header.length);
  std::printf("index offset %" PRId32 "\n", header.indexOffset);
  std::printf("flags        %" PRId32 " (%s%s)\n", header.flags,
              (header.flags & kFlagHuffman) ? "Huffman byte coder" : "LZ coder",
              (header.flags & kFlagRows) ? ", row transform" : "");
  std::printf("blocks       %" PRId32 "\n", blocks);
  std::printf("ratio        %.4f\n", header.length > 0 ? static_cast<double>(size) / header.length : 0.0);
  for (std::int32_t k = 0; k < blocks; ++k) {
    std::int32_t offset;
    DoFseek(&ref, header.indexOffset + 4 * k);
    DoFread(&offset, 4, &ref);
    if (offset < 16 || offset >= header.indexOffset) {
      std::printf("block %-6" PRId32 " offset %-10" PRId32 " (outside the blocks)\n", k, offset);
      continue;
    }
    DoFseek(&ref, offset);
    std::uint8_t rows = 0;
    if (header.flags & kFlagRows) {
      DoFread(&rows, 1, &ref);
      DoFseek(&ref, offset + 1 + rows);
    }
    std::int32_t bits;
    DoFread(&bits, 4, &ref);
    std::printf("block %-6" PRId32 " offset %-10" PRId32 " bits %-7" PRId32, k, offset, bits);
    if (header.flags & kFlagRows) std::printf(" rows %u", rows);
    std::printf("\n");
  }
  DoFclose(&ref);
  return 0;
}

int Pack(const std::string &listFile) {
  std::int32_t total = 0, packed = 0;
  const std::int32_t files = PackLZX(listFile.c_str(), &total, &packed, nullptr, 0);
  EndProgress();
  std::printf("files  %" PRId32 "\ntotal  %" PRId32 "\npacked %" PRId32 "\n", files, total, packed);
  return 0;
}

int List(const std::string &archive) {
  HILE *h = Hopen(archive.c_str(), "rb");
  std::printf("%-40s %10s %7s %9s %11s %11s\n", "name", "size", "version", "scrambled", "deleteAfter", "replaceOnly");
  for (;;) {
    ArchiveEntry e;
    const std::int32_t got = Hread(&e, sizeof e, h);
    if (got == 0) break;
    if (got < static_cast<std::int32_t>(sizeof e)) FatalMessage("lzx list: record cut short");
    e.name[sizeof e.name - 1] = '\0';
    std::printf("%-40s %10" PRId32 " %7" PRId32 " %9" PRId32 " %11" PRId32 " %11" PRId32 "\n", e.name, e.size,
                e.version, e.scrambled, e.deleteAfter, e.replaceOnly);
    for (std::int32_t left = e.size; left > 0;) {
      const std::int32_t n = Hread(g_chunk.data(), left < kChunk ? left : kChunk, h);
      if (n == 0) FatalMessage("lzx list: content cut short");
      left -= n;
    }
  }
  Hclose(h);
  return 0;
}

int Unpack(const std::string &archive, const std::string &target, bool overwrite, const std::string &versions) {
  const char *dir = target.empty() ? nullptr : target.c_str();
  if (versions.empty()) {
    UnPackLZX(archive.c_str(), dir, nullptr, 0, overwrite ? 1 : 0);
    EndProgress();
    return 0;
  }
  // The installation is this run's alone from loading its list to saving it.
  char versionsDirectory[kPathSize];
  PathDirectory(versions.c_str(), versionsDirectory);
  VersionListLock(dir ? dir : versionsDirectory[0] ? versionsDirectory : ".", versions.c_str());
  std::int32_t capacity = 0;
  ArchiveEntry *list = VersionListLoad(versions.c_str(), &capacity);
  UnPackLZX(archive.c_str(), dir, list, capacity, 1);
  EndProgress();
  const VersionCounts counts = VersionListSettle(list, capacity);
  VersionListSave(versions.c_str(), list, counts.used);
  std::printf("new %" PRId32 ", updated %" PRId32 ", unchanged %" PRId32 "\n", counts.added, counts.updated,
              counts.unchanged);
  return 0;
}

// A version file ("lzx.ver"): a bare array of records, one line each.
int Versions(const std::string &file) {
  std::int32_t capacity = 0;
  ArchiveEntry *list = VersionListLoad(file.c_str(), &capacity);
  std::printf("%-40s %10s %7s\n", "name", "size", "version");
  for (std::int32_t i = 0; i < capacity && list[i].name[0] != '\0'; ++i) {
    list[i].name[sizeof list[i].name - 1] = '\0';
    std::printf("%-40s %10" PRId32 " %7" PRId32 "\n", list[i].name, list[i].size, list[i].version);
  }
  BlockFree(list, "Version file");
  return 0;
}

int Scramble(const std::string &file) {
  FileRef ref;
  FileRefInit(&ref, 1, file.c_str());
  ScrambleFile(&ref);
  return 0;
}

} // namespace

int main(int argc, char **argv) {
  CLI::App app{"lzx: make and inspect LZX1 compressed files and archives"};
  app.require_subcommand(1);
  std::string in, out, target, versions;
  bool huffman = false, rows = false, overwrite = false;
  std::int32_t offset = 0, length = -1;

  auto *compress = app.add_subcommand("compress", "Write IN as a compressed file OUT");
  compress->add_option("IN", in, "file to compress")->required();
  compress->add_option("OUT", out, "compressed file to write (at most 79 characters)")->required();
  auto *huf = compress->add_flag("--huffman", huffman, "code blocks with the Huffman byte coder");
  compress->add_flag("--rows", rows, "pass blocks through the row transform first")->excludes(huf);

  auto *decompress = app.add_subcommand("decompress", "Write the whole content of compressed file IN to OUT");
  decompress->add_option("IN", in, "compressed file")->required();
  decompress->add_option("OUT", out, "file to write")->required();

  auto *cat = app.add_subcommand("cat", "Write part of compressed file IN to standard output");
  cat->add_option("IN", in, "compressed file")->required();
  cat->add_option("--offset", offset, "uncompressed position to start at")->required()->check(CLI::NonNegativeNumber);
  cat->add_option("--length", length, "bytes to write (default: to the end)")->check(CLI::NonNegativeNumber);

  auto *info = app.add_subcommand("info", "Show the header and the blocks of compressed file IN");
  info->add_option("IN", in, "compressed file")->required();

  auto *pack = app.add_subcommand("pack", "Pack the files named by LISTFILE into the archive it names");
  pack->add_option("LISTFILE", in, "list file")->required();

  auto *list = app.add_subcommand("list", "List the entries of ARCHIVE");
  list->add_option("ARCHIVE", in, "archive")->required();

  auto *unpack = app.add_subcommand("unpack", "Unpack ARCHIVE, '#' names under TARGET");
  unpack->add_option("ARCHIVE", in, "archive")->required();
  unpack->add_option("TARGET", target, "directory for '#' names");
  auto *over = unpack->add_flag("--overwrite", overwrite, "overwrite existing files (without --versions)");
  unpack->add_option("--versions", versions, "version file to decide by and update, as an install does")
      ->excludes(over);
  bool allowAbsolute = false;
  unpack->add_flag("--allow-absolute", allowAbsolute,
                   "write entries whose names have no '#' where they point (absolute or current-directory paths)");

  auto *versionList = app.add_subcommand("versions", "List the records of version file VERFILE (lzx.ver)");
  versionList->add_option("VERFILE", in, "version file")->required()->check(CLI::ExistingFile);

  auto *scramble = app.add_subcommand("scramble", "Scramble (or unscramble) FILE in place");
  scramble->add_option("FILE", in, "file")->required();

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError &e) {
    if (e.get_exit_code() == 0) return app.exit(e);
    std::fprintf(stderr, "lzx: %s (try 'lzx --help')\n", e.what());
    return kUsageError;
  }

  if (PlatErrorIsTerminal()) BlockProgress = ShowProgress;
  if (compress->parsed()) return Compress(in, out, huffman, rows);
  if (decompress->parsed()) return Decompress(in, out);
  if (cat->parsed()) return Cat(in, offset, length);
  if (info->parsed()) return Info(in);
  if (pack->parsed()) return Pack(in);
  if (list->parsed()) return List(in);
  if (unpack->parsed()) {
    UnpackPlainNames = allowAbsolute ? 1 : 0;
    return Unpack(in, target, overwrite, versions);
  }
  if (versionList->parsed()) return Versions(in);
  return Scramble(in);
}
