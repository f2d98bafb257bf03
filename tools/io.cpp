#include "tools/io.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "fileio/fatal.h"
#include "fileio/file.h"
#include "fileio/path.h"
#include "fileio/replace.h"
#include "lzx/lzx.h"
#include "lzx/names.h"
#include "platform/process.h"
#include "platform/system.h"

namespace lzx_tool {

Settings g_settings;

namespace {

bool g_dataOnStdout = false;
std::string g_progressLabel;
std::int64_t g_progressTotal = -1;
std::int64_t g_progressShown = -1; // the last percentage (or MiB) shown
bool g_progressActive = false;
// While RunGuarded runs a step, its end by a refusal or the fatal path is
// thrown back there, so the step's objects are destroyed on the way.
bool g_guarded = false;
struct GuardedEnd {
  int status;
};

[[noreturn]] void GuardedFatal(const char *) { throw GuardedEnd{kFatal}; }

void ShowProgress(const HILE *h) {
  const std::int64_t done = h->mode == 1 ? h->blockBase : static_cast<std::int64_t>(h->blockBase) + kLzxBlock;
  const double mib = 1.0 / 1048576.0;
  if (g_progressTotal > 0) {
    const std::int64_t percent = (done < g_progressTotal ? done : g_progressTotal) * 100 / g_progressTotal;
    if (percent == g_progressShown) return;
    g_progressShown = percent;
    std::fprintf(stderr, "\rlzx: %s: %3d%% of %.1f MiB", g_progressLabel.c_str(), static_cast<int>(percent),
                 static_cast<double>(g_progressTotal) * mib);
  } else {
    if (done / 1048576 == g_progressShown) return;
    g_progressShown = done / 1048576;
    std::fprintf(stderr, "\rlzx: %s: %.1f MiB", g_progressLabel.c_str(), static_cast<double>(done) * mib);
  }
  std::fflush(stderr);
  g_progressActive = true;
}

} // namespace

std::string Shown(const std::string &name) {
  std::string out;
  for (const char ch : name) {
    const auto c = static_cast<unsigned char>(ch);
    if (c < 0x20 || c == 0x7f) {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    } else {
      out += ch;
    }
  }
  return out;
}

std::string TsvField(const std::string &text) {
  std::string out;
  for (const char ch : text) {
    if (ch == '\\') out += "\\\\";
    else out += Shown(std::string(1, ch));
  }
  return out;
}

std::string StoredName(const char *stored) {
  char name[3 * kPathSize];
  return ArchiveNameForText(stored, name, sizeof name);
}

void Refuse(const std::string &name, const std::string &text) {
  ProgressEnd();
  std::fflush(stdout);
  std::fprintf(stderr, "lzx: %s: %s\n", Shown(name).c_str(), text.c_str());
  if (g_guarded) throw GuardedEnd{kRefused};
  PlatExit(kRefused);
}

std::int32_t CheckInput(const std::string &name) {
  if (name.size() >= kPathSize) Refuse(name.substr(0, 60) + "...", "name of 260 characters or more");
  std::int32_t size = 0;
  switch (FileProbe(name.c_str(), &size)) {
  case FileProbeResult::Readable: return size;
  case FileProbeResult::Missing: Refuse(name, "No such file or directory");
  case FileProbeResult::Directory: Refuse(name, "Is a directory");
  case FileProbeResult::Unreadable: Refuse(name, "cannot be read");
  case FileProbeResult::TooLarge: Refuse(name, "2 GiB or more: the format holds less");
  }
  return size;
}

void CheckNewOutput(const std::string &name) {
  if (name == "-") return;
  if (name.size() >= kPathSize) Refuse(name.substr(0, 60) + "...", "name of 260 characters or more");
  if (!g_settings.force && FileExists(name.c_str())) Refuse(name, "already exists (-f replaces it)");
}

void Say(const char *format, ...) {
  if (g_settings.quiet) return;
  va_list args;
  va_start(args, format);
  std::vfprintf(g_dataOnStdout ? stderr : stdout, format, args);
  va_end(args);
}

void SetDataOnStandardOutput() {
  g_dataOnStdout = true;
  PlatBinaryStdio();
}

void ProgressStart(const std::string &label, std::int64_t total) {
  if (g_settings.quiet || !PlatErrorIsTerminal()) return;
  g_progressLabel = Shown(label);
  g_progressTotal = total;
  g_progressShown = -1;
  BlockProgress = ShowProgress;
}

void ProgressEnd() {
  BlockProgress = nullptr;
  if (g_progressActive) std::fprintf(stderr, "\r\033[K");
  g_progressActive = false;
}

std::string TemporaryFile() {
  char directory[kPathSize];
  PlatTempDirectory(directory, sizeof directory);
  FileRef ref;
  StagingCreate(&ref, 1, directory, directory); // removed at the end, whatever the end
  FileClose(&ref);
  return ref.name;
}

bool NeedsShortName(const std::string &name) { return name != "-" && name.size() >= kHandleNameSize; }

void PlaceFile(const std::string &from, const std::string &name) {
  Replacement r;
  ReplaceBegin(&r, name.c_str(), 1);
  FileRef source;
  FileRefInit(&source, 1, from.c_str());
  FileOpenRead(&source);
  static char chunk[65536];
  for (std::int32_t n; (n = FileRead(&source, sizeof chunk, chunk)) > 0;) FileWrite(&r.file, n, chunk);
  FileClose(&source);
  ReplaceCommit(&r);
}

std::string ShortInput(const std::string &name) {
  if (!NeedsShortName(name)) return name;
  const std::string copy = TemporaryFile();
  PlaceFile(name, copy);
  return copy;
}

int RunGuarded(int (*step)(void *), void *context) {
  const bool outer = g_guarded;
  const FatalEndFn outerHook = FatalEndHook;
  g_guarded = true;
  FatalEndHook = GuardedFatal;
  int status = kSuccess;
  try {
    status = step(context);
  } catch (const GuardedEnd &end) {
    status = end.status;
    ProgressEnd();
    HreleaseAll();
    RegistryCloseAll();
    std::fflush(stdout);
  }
  g_guarded = outer;
  FatalEndHook = outerHook;
  return status;
}

std::string SpoolStandardInput() {
  PlatBinaryStdio();
  const std::string name = TemporaryFile();
  FileRef ref;
  FileRefInit(&ref, 1, name.c_str());
  FileCreate(&ref);
  static char chunk[65536];
  std::int64_t total = 0;
  for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, stdin)) > 0;) {
    total += static_cast<std::int64_t>(n);
    if (total > 0x7fffffff) Refuse("-", "2 GiB or more: the format holds less");
    FileWrite(&ref, static_cast<std::int32_t>(n), chunk);
  }
  FileClose(&ref);
  return name;
}

void CopyToStandardOutput(const std::string &name) {
  FileRef ref;
  FileRefInit(&ref, 1, name.c_str());
  FileOpenRead(&ref);
  static char chunk[65536];
  for (std::int32_t n; (n = FileRead(&ref, sizeof chunk, chunk)) > 0;) WriteStandardOutput(chunk, static_cast<std::size_t>(n));
  FileClose(&ref);
  FinishStandardOutput(kSuccess);
}

namespace {
[[noreturn]] void OutputFailed(int error) {
  ProgressEnd();
  std::fprintf(stderr, "lzx: standard output: %s\n", error != 0 ? std::strerror(error) : "write failed");
  PlatExit(kFatal);
}
} // namespace

void WriteStandardOutput(const void *data, std::size_t size) {
  errno = 0;
  if (std::fwrite(data, 1, size, stdout) != size) OutputFailed(errno);
}

int FinishStandardOutput(int status) {
  errno = 0;
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) OutputFailed(errno);
  return status;
}

} // namespace lzx_tool
