// How the lzx tool meets its user: exit statuses, messages, names shown
// safely, progress on a terminal, standard input and output, and outputs
// that are replaced only when complete.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace lzx_tool {

// Exit statuses: success; a usage error or an argument the tool refuses
// itself; the system's fatal path (damaged input, a file error).
inline constexpr int kSuccess = 0;
inline constexpr int kRefused = 1;
inline constexpr int kFatal = 2;

struct Settings {
  bool quiet = false;   // -q: no progress, no summaries
  bool verbose = false; // -v: a line per entry
  bool force = false;   // -f: an existing output may be replaced
};
extern Settings g_settings;

// name with every control character written as \xHH.
std::string Shown(const std::string &name);
// A field of a tab-separated record: also '\' as "\\", so every field reads
// back exactly (tabs and line ends are control characters).
std::string TsvField(const std::string &text);
// An archive's name (Windows-1252) as this system writes it; the bytes as
// they are where the system's encoding lacks a character.
std::string StoredName(const char *stored);

// "lzx: NAME: text" on standard error, then the end with status 1. Whatever
// the tool was writing is removed (see PlatRemoveLater).
[[noreturn]] void Refuse(const std::string &name, const std::string &text);
// Refuses an input that cannot be read as a plain file; returns its size.
std::int32_t CheckInput(const std::string &name);
// Refuses an existing output unless -f was given ("-" is standard output).
void CheckNewOutput(const std::string &name);

// Summaries go to standard output, or to standard error while standard
// output carries data; nothing with -q.
void Say(const char *format, ...) __attribute__((format(printf, 1, 2)));
void SetDataOnStandardOutput();

// Progress of the compressed file being written or read, on a terminal only
// (and not with -q): percentage and total when total is known (>= 0).
void ProgressStart(const std::string &label, std::int64_t total);
void ProgressEnd();

// A new file in the user's private temporary directory, removed at any end.
std::string TemporaryFile();

// The library's compressed-file handle holds names of fewer than 80
// characters. A longer input is read through a copy under a short name; a
// longer output is written under a short name and then copied into its
// place, which it takes only when complete.
inline constexpr std::size_t kHandleNameSize = 80;
bool NeedsShortName(const std::string &name);
// The file's bytes as name, replacing it only when complete.
void PlaceFile(const std::string &from, const std::string &name);
// A short name for reading name (the name itself when it is short).
std::string ShortInput(const std::string &name);

// Runs one step of a run over several files. A refusal (status 1) or a fatal
// end (status 2, its text already shown) of that step comes back here as
// the step's status instead of ending the tool; its open files are closed
// and what it was writing is removed at the end.
int RunGuarded(int (*step)(void *), void *context);
// Standard input copied whole into a temporary file; returns its name.
std::string SpoolStandardInput();
// The file's bytes to standard output.
void CopyToStandardOutput(const std::string &name);
// Data to standard output; a write that fails (a full disk, a closed pipe,
// an I/O error) ends the tool with a message naming standard output and
// status 2.
void WriteStandardOutput(const void *data, std::size_t size);
// Flushes standard output, whatever was written to it (listings included),
// and ends with status 2 when any of it failed; returns status otherwise.
int FinishStandardOutput(int status);

} // namespace lzx_tool
