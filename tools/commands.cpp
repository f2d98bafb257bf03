#include "tools/commands.h"

#include <algorithm>
#include <cinttypes>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "fileio/fatal.h"
#include "fileio/file.h"
#include "fileio/path.h"
#include "fileio/replace.h"
#include "fileio/transaction.h"
#include "lzx/listfile.h"
#include "lzx/lzx.h"
#include "lzx/names.h"
#include "lzx/versions.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/notice.h"
#include "platform/text.h"
#include "tools/io.h"

namespace lzx_tool {

namespace {

namespace fs = std::filesystem;

namespace {
// Paths from and to the tool's names, which are UTF-8 on Windows (the
// library's own paths would otherwise meet the system's code page).
fs::path PathOf(const std::string &name) { return fs::path(std::u8string(name.begin(), name.end())); }
std::string NameOf(const fs::path &path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}
std::string GenericNameOf(const fs::path &path) {
  const std::u8string text = path.generic_u8string();
  return std::string(text.begin(), text.end());
}
} // namespace

constexpr std::int32_t kChunk = 65536;
std::uint8_t g_chunk[kChunk];

// An input to read as a compressed file or archive: standard input is
// spooled first (the reader needs the block index at the end).
std::string Readable(const std::string &in) {
  if (in == "-") return SpoolStandardInput();
  CheckInput(in);
  return ShortInput(in);
}

// Reads count bytes of content from h into nothing (or into out when given).
void Skip(HILE *h, std::int32_t count, const char *what) {
  while (count > 0) {
    const std::int32_t n = Hread(g_chunk, count < kChunk ? count : kChunk, h);
    if (n == 0) FatalMessage("lzx %s: content cut short [%s]", what, h->fileName);
    count -= n;
  }
}

// The next record of an archive, or false at its end. Damage is fatal.
bool NextRecord(HILE *h, ArchiveEntry *e, const char *what) {
  const std::int32_t got = Hread(e, sizeof *e, h);
  if (got == 0) return false;
  if (got < static_cast<std::int32_t>(sizeof *e)) FatalMessage("lzx %s: record cut short [%s]", what, h->fileName);
  e->name[sizeof e->name - 1] = '\0';
  if (e->size < 0 || e->size > h->header.length - Htell(h))
    FatalMessage("lzx %s: bad entry size %d: %s", what, e->size, e->name);
  return true;
}

// A version file is a bare array of 432-byte records, each name terminated.
void CheckVersionFile(const std::string &name) {
  const std::int32_t size = CheckInput(name);
  bool fits = size % static_cast<std::int32_t>(sizeof(ArchiveEntry)) == 0;
  if (fits) {
    FileRef ref;
    FileRefInit(&ref, 1, name.c_str());
    FileOpenRead(&ref);
    ArchiveEntry e;
    while (fits && FileRead(&ref, sizeof e, &e) == sizeof e) fits = std::memchr(e.name, '\0', sizeof e.name) != nullptr;
    FileClose(&ref);
  }
  if (!fits) Refuse(name, "not a version file (records of 432 bytes, each name ended)");
}

// Writes text into a file, replacing it only when complete ("-": standard output).
void WriteText(const std::string &out, const std::string &text) {
  if (out == "-") {
    WriteStandardOutput(text.data(), text.size());
    return;
  }
  Replacement r;
  ReplaceBegin(&r, out.c_str(), 1);
  FileWrite(&r.file, static_cast<std::int32_t>(text.size()), text.data());
  ReplaceCommit(&r);
}

void ReportListProblem(std::int32_t line, const char *text, void *list) {
  const std::string &name = *static_cast<const std::string *>(list);
  if (line > 0) std::fprintf(stderr, "lzx: %s:%d: %s\n", Shown(name).c_str(), static_cast<int>(line), Shown(text).c_str());
  else std::fprintf(stderr, "lzx: %s: %s\n", Shown(name).c_str(), Shown(text).c_str());
}

} // namespace

namespace {
// The output takes the input's permission bits, as gzip's does.
void TakeModeOf(const std::string &in, const std::string &out) {
  if (in != "-" && !PlatCopyModeBits(in.c_str(), out.c_str()))
    std::fprintf(stderr, "lzx: %s: mode not set: %s\n", Shown(out).c_str(), PlatLastErrorText());
}
} // namespace

int Compress(const std::string &in, const std::string &out, const char *mode) {
  const std::int64_t total = in == "-" ? -1 : CheckInput(in);
  CheckNewOutput(out);
  const std::string target = out == "-" || NeedsShortName(out) ? TemporaryFile() : out;
  HopenStaged = 1; // the output appears only when complete
  HILE *h = Hopen(target.c_str(), mode);
  ProgressStart(in, total);
  if (in == "-") {
    SetDataOnStandardOutput();
    for (std::size_t n; (n = std::fread(g_chunk, 1, sizeof g_chunk, stdin)) > 0;)
      Hwrite(g_chunk, static_cast<std::int32_t>(n), h);
  } else {
    FileRef source;
    FileRefInit(&source, 1, in.c_str());
    FileOpenRead(&source);
    for (std::int32_t n; (n = FileRead(&source, kChunk, g_chunk)) > 0;) Hwrite(g_chunk, n, h);
    FileClose(&source);
  }
  const std::int32_t length = Htell(h);
  const std::int32_t size = Hclose(h);
  ProgressEnd();
  if (out == "-") {
    SetDataOnStandardOutput();
    CopyToStandardOutput(target);
  } else {
    if (target != out) PlaceFile(target, out);
    TakeModeOf(in, out);
    Say("%s: %" PRId32 " -> %" PRId32 " bytes\n", Shown(out).c_str(), length, size);
  }
  return kSuccess;
}

int Decompress(const std::string &in, const std::string &out) {
  const std::string source = Readable(in);
  CheckNewOutput(out);
  HILE *h = Hopen(source.c_str(), "rb");
  ProgressStart(in, h->header.length);
  if (out == "-") {
    SetDataOnStandardOutput();
    for (std::int32_t n; (n = Hread(g_chunk, kChunk, h)) > 0;) WriteStandardOutput(g_chunk, static_cast<std::size_t>(n));
    FinishStandardOutput(kSuccess);
  } else {
    Replacement r;
    ReplaceBegin(&r, out.c_str(), 1);
    for (std::int32_t n; (n = Hread(g_chunk, kChunk, h)) > 0;) FileWrite(&r.file, n, g_chunk);
    ReplaceCommit(&r);
    if (in != "-") TakeModeOf(in, out);
  }
  Hclose(h);
  ProgressEnd();
  return kSuccess;
}

int Cat(const std::string &in, std::int64_t offset, std::int64_t length) {
  HILE *h = Hopen(Readable(in).c_str(), "rb");
  const std::int32_t size = h->header.length;
  if (offset < 0 || offset > size)
    Refuse(in, "offset " + std::to_string(offset) + " is outside 0.." + std::to_string(size));
  if (length < -1) Refuse(in, "length " + std::to_string(length) + " is below 0");
  SetDataOnStandardOutput();
  std::int64_t left = size - offset;
  if (length >= 0 && length < left) left = length;
  if (left > 0) Hseek(h, static_cast<std::int32_t>(offset));
  while (left > 0) {
    const std::int32_t n = Hread(g_chunk, left < kChunk ? static_cast<std::int32_t>(left) : kChunk, h);
    if (n == 0) break;
    WriteStandardOutput(g_chunk, static_cast<std::size_t>(n));
    left -= n;
  }
  FinishStandardOutput(kSuccess);
  Hclose(h);
  return kSuccess;
}

int Info(const std::string &in, bool tsv) {
  const std::string source = Readable(in);
  HILE *h = Hopen(source.c_str(), "rb"); // checks header and index
  const LzxHeader head = h->header;
  const bool checked = (head.flags & kFlagChecked) != 0;
  const std::int32_t size = head.indexOffset + (checked ? 12 : 4) * h->blocks + (checked ? kTrailerTail : 0);
  // The coder (the default unless a coder's flag is set), then the transforms.
  std::string kind;
  for (const CodingMode &m : kCodingModes)
    if (m.coder && (head.flags & m.flag) == m.flag) kind = m.text;
  for (const CodingMode &m : kCodingModes)
    if (!m.coder && (head.flags & m.flag) != 0) kind += std::string(", ") + m.text;
  if (checked) kind += ", checked";
  char content[17] = "-";
  if (checked) std::snprintf(content, sizeof content, "%016" PRIx64, h->contentCheck);
  if (tsv) {
    std::printf("file\t%s\nsize\t%" PRId32 "\nlength\t%" PRId32 "\nindexOffset\t%" PRId32 "\nflags\t%" PRId32
                "\nblocks\t%" PRId32 "\nchecked\t%d\ncontentCheck\t%s\n",
                TsvField(in).c_str(), size, head.length, head.indexOffset, head.flags, h->blocks, checked ? 1 : 0, content);
  } else {
    std::printf("file         %s\nsize         %" PRId32 "\nlength       %" PRId32 "\nindex offset %" PRId32
                "\nflags        %" PRId32 " (%s)\nblocks       %" PRId32 "\nratio        %.4f\nchecks       %s\n",
                Shown(in).c_str(), size, head.length, head.indexOffset, head.flags, kind.c_str(), h->blocks,
                head.length > 0 ? static_cast<double>(size) / head.length : 0.0,
                checked ? ("every block, content " + std::string(content)).c_str() : "none (structure only)");
  }
  FileRef raw;
  FileRefInit(&raw, 1, source.c_str());
  FileOpenRead(&raw);
  static std::uint8_t stored[kMaxStoredBlock];
  for (std::int32_t k = 0; k < h->blocks; ++k) {
    const std::int32_t offset = HblockOffset(h, k), bytes = HblockOffset(h, k + 1) - offset;
    std::int32_t rows = 0, bits = 0;
    bool framed = bytes <= kMaxStoredBlock;
    if (framed) {
      FileSeek(&raw, offset, kSeekStart);
      FileRead(&raw, bytes, stored);
      framed = BlockFraming(stored, bytes, head.flags, &rows, &bits) == BlockFault::None;
    }
    if (!framed) FatalMessage("Hfill: block %d does not end where the index says [%s]", k, h->fileName);
    if (tsv)
      std::printf("block\t%" PRId32 "\t%" PRId32 "\t%" PRId32 "\t%" PRId32 "\t%" PRId32 "\n", k, offset, bytes, bits, rows);
    else
      std::printf("block %-6" PRId32 " offset %-10" PRId32 " bytes %-6" PRId32 " bits %-7" PRId32 "%s\n", k, offset,
                  bytes, bits, (head.flags & kFlagRows) ? (" rows " + std::to_string(rows)).c_str() : "");
  }
  FileClose(&raw);
  Hclose(h);
  return kSuccess;
}

namespace {

std::jmp_buf g_testFailed;
char g_testFault[kFatalTextSize];

[[noreturn]] void TestFailed(const char *text) {
  CopyText(g_testFault, sizeof g_testFault, text);
  std::longjmp(g_testFailed, 1);
}

int KeepNotice(const char *, const char *, PlatIcon, PlatWindow) { return kPlatButtonOk; }

struct TestResult {
  bool checked, archive;
  std::int32_t entries, length, blocks;
};

// Reads every block of the file, following the content as an archive for as
// long as it reads as one: records with ended names and sizes that fit.
TestResult TestOne(const char *name) {
  HILE *h = Hopen(name, "rb");
  TestResult r{(h->header.flags & kFlagChecked) != 0, true, 0, h->header.length, h->blocks};
  while (r.archive && Htell(h) < h->header.length) {
    ArchiveEntry e;
    const std::int32_t got = Hread(&e, sizeof e, h);
    r.archive = got == static_cast<std::int32_t>(sizeof e) && std::memchr(e.name, '\0', sizeof e.name) != nullptr &&
                e.size >= 0 && e.size <= h->header.length - Htell(h);
    if (!r.archive) break;
    ++r.entries;
    if (g_settings.verbose) Say("  %s %" PRId32 "\n", Shown(StoredName(e.name)).c_str(), e.size);
    Skip(h, e.size, "test");
  }
  while (Hread(g_chunk, kChunk, h) > 0) {
  }
  Hclose(h);
  return r;
}

// TestOne with the fatal path brought back here: false after a fatal end.
bool TestGuarded(const char *name, TestResult *result) {
  PlatSetNoticeHook(KeepNotice);
  FatalEndHook = TestFailed;
  const bool ok = setjmp(g_testFailed) == 0 ? (*result = TestOne(name), true) : false;
  FatalEndHook = nullptr;
  PlatSetNoticeHook(nullptr);
  return ok;
}

} // namespace

int Test(const std::vector<std::string> &files) {
  // A damaged file ends its own test, not the run: the fatal path comes back
  // here with its text, and the next file is tested.
  int failed = 0;
  for (const std::string &file : files) {
    const std::string source = Readable(file);
    TestResult r{};
    if (!TestGuarded(source.c_str(), &r)) {
      HreleaseAll();
      ++failed;
      std::fflush(stdout);
      std::fprintf(stderr, "lzx: %s: FAILED: %s\n", Shown(file).c_str(), Shown(g_testFault).c_str());
      continue;
    }
    const char *how = r.checked ? "verified by its checks" : "structure only (the file has no checks)";
    if (r.archive && r.entries > 0)
      Say("%s: ok, %s; archive of %" PRId32 " entries, %" PRId32 " bytes in %" PRId32 " blocks\n", Shown(file).c_str(),
          how, r.entries, r.length, r.blocks);
    else
      Say("%s: ok, %s; %" PRId32 " bytes in %" PRId32 " blocks\n", Shown(file).c_str(), how, r.length, r.blocks);
  }
  if (failed > 0 && files.size() > 1)
    std::fprintf(stderr, "lzx: %d of %d files failed\n", failed, static_cast<int>(files.size()));
  return failed > 0 ? kFatal : kSuccess;
}

int List(const std::string &archive, bool tsv) {
  HILE *h = Hopen(Readable(archive).c_str(), "rb");
  if (tsv) std::printf("name\tsize\tversion\tscrambled\tdeleteAfter\treplaceOnly\n");
  else std::printf("%10s %7s %9s %11s %11s  %s\n", "size", "version", "scrambled", "deleteAfter", "replaceOnly", "name");
  std::int64_t total = 0;
  std::int32_t entries = 0;
  for (ArchiveEntry e; NextRecord(h, &e, "list");) {
    if (tsv)
      std::printf("%s\t%" PRId32 "\t%" PRId32 "\t%" PRId32 "\t%" PRId32 "\t%" PRId32 "\n", TsvField(StoredName(e.name)).c_str(),
                  e.size, e.version, e.scrambled, e.deleteAfter, e.replaceOnly);
    else
      std::printf("%10" PRId32 " %7" PRId32 " %9" PRId32 " %11" PRId32 " %11" PRId32 "  %s\n", e.size, e.version,
                  e.scrambled, e.deleteAfter, e.replaceOnly, Shown(StoredName(e.name)).c_str());
    total += e.size;
    ++entries;
    Skip(h, e.size, "list");
  }
  Hclose(h);
  if (!tsv) std::printf("%10" PRId64 " bytes in %" PRId32 " entries\n", total, entries);
  return kSuccess;
}

int ListOrSizes(const std::string &in) {
  // An archive is listed; any other compressed file gets a line of sizes,
  // as gzip -l gives.
  const std::string source = Readable(in);
  const std::int32_t stored = CheckInput(source);
  HILE *h = Hopen(source.c_str(), "rb");
  ArchiveEntry e;
  const std::int32_t got = h->header.length > 0 ? Hread(&e, sizeof e, h) : 0;
  const bool archive = got == static_cast<std::int32_t>(sizeof e) && std::memchr(e.name, '\0', sizeof e.name) != nullptr &&
                       e.size >= 0 && e.size <= h->header.length - Htell(h);
  const std::int32_t length = h->header.length;
  Hclose(h);
  if (archive) return List(source, false);
  static bool headed = false;
  if (!headed) std::printf("%10s %12s %6s  %s\n", "compressed", "uncompressed", "ratio", "name");
  headed = true;
  std::printf("%10" PRId32 " %12" PRId32 " %5.1f%%  %s\n", stored, length,
              length > 0 ? 100.0 * static_cast<double>(stored) / length : 0.0, Shown(in).c_str());
  return kSuccess;
}

int Pack(const std::string &list, const std::string &out, const std::string &directory, bool allowAbsolute, bool checked) {
  // The list is read from where the user named it; its names resolve against
  // its own folder (or the one given), where PackLZX then runs.
  std::string listFile = list == "-" ? SpoolStandardInput() : (CheckInput(list), list);
  const fs::path listPath = fs::absolute(PathOf(listFile));
  const fs::path outPath = out.empty() || out == "-" ? fs::path() : fs::absolute(PathOf(out));
  const fs::path base = !directory.empty() ? fs::absolute(PathOf(directory)) : list == "-" ? fs::current_path() : listPath.parent_path();
  std::error_code error;
  fs::current_path(base, error);
  if (error) Refuse(directory.empty() ? list : directory, "cannot change to " + NameOf(base) + ": " + error.message());
  ListSummary summary;
  const std::string shownList = list == "-" ? "(standard input)" : list;
  const std::int32_t mistakes = ListFileCheck(NameOf(listPath).c_str(), allowAbsolute, ReportListProblem,
                                              const_cast<std::string *>(&shownList), &summary);
  if (mistakes > 0) Refuse(shownList, std::to_string(mistakes) + (mistakes == 1 ? " mistake" : " mistakes") + ", nothing written");

  // The archive goes where the list says, or to the output given instead
  // (then the list is copied with that name in its first line).
  std::string archive = summary.archive;
  if (!out.empty() && out != "-") archive = NameOf(fs::proximate(outPath));
  if (out != "-") CheckNewOutput(archive);
  // A long output name is written under a short one first.
  const std::string placed = out == "-" ? "-" : archive;
  if (out == "-" || NeedsShortName(archive)) archive = TemporaryFile();
  std::string packList = NameOf(listPath);
  if (archive != summary.archive) {
    FileRef ref;
    FileRefInit(&ref, 1, packList.c_str());
    std::string text(static_cast<std::size_t>(FileSize(&ref)), '\0');
    FileOpenRead(&ref);
    FileRead(&ref, static_cast<std::int32_t>(text.size()), text.data());
    FileClose(&ref);
    const std::size_t at = text.find(summary.archive);
    text.replace(at, std::strlen(summary.archive), archive);
    packList = TemporaryFile();
    WriteText(packList, text);
  }
  HopenStaged = 1;
  PackMode = checked ? "wbc" : "wb";
  ProgressStart(archive, static_cast<std::int64_t>(summary.total) + 432LL * summary.files);
  std::vector<ArchiveEntry> records(static_cast<std::size_t>(g_settings.verbose ? summary.files : 0));
  std::int32_t total = 0, packed = 0;
  const std::int32_t files =
      PackLZX(packList.c_str(), &total, &packed, records.empty() ? nullptr : records.data(), static_cast<std::int32_t>(records.size()));
  ProgressEnd();
  if (out == "-") {
    SetDataOnStandardOutput();
    CopyToStandardOutput(archive);
  } else if (archive != placed) {
    PlaceFile(archive, placed);
  }
  for (const ArchiveEntry &e : records) Say("  %s %" PRId32 " version %" PRId32 "\n", Shown(StoredName(e.name)).c_str(), e.size, e.version);
  Say("files  %" PRId32 "\ntotal  %" PRId32 "\npacked %" PRId32 "\n", files, total, packed);
  return kSuccess;
}

int Unpack(const std::string &archive, const std::string &target, bool overwrite, const std::string &versions,
           bool allowAbsolute) {
  const std::string source = Readable(archive);
  UnpackPlainNames = allowAbsolute ? 1 : 0;
  const char *dir = target.empty() ? nullptr : target.c_str();
  HILE *probe = Hopen(source.c_str(), "rb");
  const std::int32_t length = probe->header.length;
  Hclose(probe);
  if (versions.empty()) {
    ProgressStart(archive, length);
    UnPackLZX(source.c_str(), dir, nullptr, 0, overwrite ? 1 : 0);
    ProgressEnd();
    return kSuccess;
  }
  if (FileExists(versions.c_str())) CheckVersionFile(versions);
  // The installation is this run's alone from loading its list to saving it.
  char versionsDirectory[kPathSize];
  PathDirectory(versions.c_str(), versionsDirectory);
  VersionListLock(dir ? dir : versionsDirectory[0] ? versionsDirectory : ".", versions.c_str());
  std::int32_t capacity = 0;
  ArchiveEntry *list = VersionListLoad(versions.c_str(), &capacity);
  ProgressStart(archive, length);
  UnPackLZX(source.c_str(), dir, list, capacity, 1);
  ProgressEnd();
  const VersionCounts counts = VersionListSettle(list, capacity);
  VersionListSave(versions.c_str(), list, counts.used);
  Say("new %" PRId32 ", updated %" PRId32 ", unchanged %" PRId32 "\n", counts.added, counts.updated, counts.unchanged);
  return kSuccess;
}

int Recover(const std::string &directory) {
  if (!FileExists(directory.c_str())) Refuse(directory, "No such file or directory");
  if (!JournalPending(directory.c_str())) {
    StagingSweep();
    Say("%s: no interrupted install\n", Shown(directory).c_str());
    return kSuccess;
  }
  if (!DirectoryHold(directory.c_str())) Refuse(directory, "an install is running there");
  const JournalState state = JournalRecover(directory.c_str());
  DirectoryRelease();
  if (state == JournalState::Failed) {
    std::fprintf(stderr, "lzx: %s: the interrupted install could not be put right (lzx.jnl kept)\n", Shown(directory).c_str());
    return kFatal;
  }
  Say("%s: the interrupted install was %s\n", Shown(directory).c_str(),
      state == JournalState::Completed ? "completed" : "undone: every file is as before it");
  return kSuccess;
}

int Versions(const std::string &file, bool tsv) {
  CheckVersionFile(file);
  std::int32_t capacity = 0;
  ArchiveEntry *list = VersionListLoad(file.c_str(), &capacity);
  if (tsv) std::printf("name\tsize\tversion\n");
  else std::printf("%10s %7s  %s\n", "size", "version", "name");
  std::int32_t i = 0;
  for (; i < capacity && list[i].name[0] != '\0'; ++i) {
    if (tsv) std::printf("%s\t%" PRId32 "\t%" PRId32 "\n", TsvField(StoredName(list[i].name)).c_str(), list[i].size, list[i].version);
    else std::printf("%10" PRId32 " %7" PRId32 "  %s\n", list[i].size, list[i].version, Shown(StoredName(list[i].name)).c_str());
  }
  if (!tsv) std::printf("%d records\n", static_cast<int>(i));
  char directory[kPathSize];
  PathDirectory(file.c_str(), directory);
  if (directory[0] != '\0') directory[std::strlen(directory) - 1] = '\0'; // without its separator
  if (JournalPending(directory[0] ? directory : "."))
    std::fprintf(tsv ? stderr : stdout,
                 "an interrupted install is pending (lzx.jnl): 'lzx recover %s' completes or undoes it\n",
                 directory[0] ? Shown(directory).c_str() : ".");
  BlockFree(list, "Version file");
  return kSuccess;
}

int Scramble(const std::string &file) {
  CheckInput(file);
  // Scrambled in a copy that takes the file's place when complete.
  Replacement r;
  ReplaceBegin(&r, file.c_str(), 1);
  FileRef source;
  FileRefInit(&source, 1, file.c_str());
  FileOpenRead(&source);
  for (std::int32_t n; (n = FileRead(&source, kChunk, g_chunk)) > 0;) FileWrite(&r.file, n, g_chunk);
  FileClose(&source);
  FileClose(&r.file);
  FileRef staged;
  FileRefInit(&staged, 1, ReplaceWrittenName(&r));
  ScrambleFile(&staged);
  ReplaceCommit(&r);
  return kSuccess;
}

int MakeList(const std::string &directory, const ListOptions &options, const std::string &out) {
  if (options.version < 100) Refuse(directory, "--version must be 100 or more");
  std::error_code error;
  if (!fs::is_directory(PathOf(directory), error)) Refuse(directory, "not a directory");
  CheckNewOutput(out);
  // Names in the list are as seen from the list's own folder, where pack
  // resolves them (the current folder for standard output).
  std::string dir = directory;
  while (dir.size() > 1 && (dir.back() == '/' || dir.back() == '\\')) dir.pop_back();
  const std::string shown = out == "-" || out.empty() ? dir : GenericNameOf(fs::proximate(PathOf(dir), fs::absolute(PathOf(out)).parent_path()));
  std::string named = shown;
  std::replace(named.begin(), named.end(), '/', '\\');

  std::vector<std::string> names;
  for (auto it = fs::recursive_directory_iterator(PathOf(dir), error); !error && it != fs::recursive_directory_iterator();
       it.increment(error)) {
    const fs::file_status status = it->symlink_status();
    if (fs::is_directory(status)) continue;
    std::string relative = GenericNameOf(fs::relative(it->path(), PathOf(dir)));
    if (!fs::is_regular_file(status)) {
      if (!g_settings.quiet) std::fprintf(stderr, "lzx: %s: not a regular file, left out\n", Shown(relative).c_str());
      continue;
    }
    // An installed tree holds its version file, which no archive may carry
    // (an install refuses such an entry).
    if (SameTextNoCase(relative.c_str(), "lzx.ver")) {
      if (!g_settings.quiet) std::fprintf(stderr, "lzx: %s: the installation's version file, left out\n", Shown(relative).c_str());
      continue;
    }
    char stored[4 * kPathSize];
    if (!ArchiveNameFromSystem(("#" + relative).c_str(), stored, sizeof stored))
      Refuse(relative, "a name that Windows-1252, the code page of the archive's names, cannot hold");
    if (relative.find_first_of("|\\\r\n") != std::string::npos)
      Refuse(relative, "a name with '|', '\\' or a line end cannot be written in a list file");
    std::replace(relative.begin(), relative.end(), '/', '\\');
    names.push_back(relative);
  }
  if (error) Refuse(directory, error.message());
  std::sort(names.begin(), names.end());

  std::string suffix = "|V=" + std::to_string(options.version);
  if (options.scrambled) suffix += "|E=1";
  if (options.deleteAfter) suffix += "|D=1";
  if (options.replaceOnly) suffix += "|R=1";
  std::string text = named + ".lzx\n" + named + "\\\n";
  if (named.size() + 4 >= 80) Refuse(named + ".lzx", "archive name of 80 characters or more");
  for (const std::string &name : names) {
    // A source name that begins with '#' would be read as a path of its own.
    const std::string source = (name[0] == '#' ? "#" + named + "\\" : "") + name + suffix;
    const std::string stored = "#" + name;
    if (source.size() > 256 || stored.size() > 128)
      Refuse(name, "too long for a list file (source lines hold 256 characters, stored names 128)");
    text += source + "\n" + stored + "\n";
  }
  WriteText(out.empty() ? "-" : out, text);
  return kSuccess;
}

} // namespace lzx_tool
