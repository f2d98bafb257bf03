// The file-by-file front end, used the way gzip and zstd are: compress each
// FILE to FILE.lzx, or with -d back, each file on its own, with one exit
// status for the whole call (the highest of the files'). It runs the same
// commands as the subcommands, so the bytes and statuses are theirs.
#include "tools/front.h"
#include "platform/thread.h"
#include "lzx/lzx.h"
#include "lzx/batch.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "fileio/path.h"
#include "platform/files.h"
#include "tools/commands.h"
#include "tools/io.h"
#include "tools/modes.h"

namespace lzx_tool {

namespace {

constexpr const char *kSuffix = ".lzx";

bool HasSuffix(const std::string &name) {
  const std::size_t n = std::strlen(kSuffix);
  return name.size() > n && name.compare(name.size() - n, n, kSuffix) == 0;
}

// Words that choose this front end even with no file named (standard
// input is then the file): its own options, alone or bundled (-dc).
bool IsFrontOption(const std::string &word) {
  for (const char *option : {"--decompress", "--uncompress", "--stdout", "--to-stdout", "--keep", "--rm", "--test",
                             "--list", "--output"})
    if (word == option || word.rfind(std::string(option) + "=", 0) == 0) return true;
  if (word.size() < 2 || word[0] != '-' || word[1] == '-') return false;
  return word.find_first_of("dcktlo", 1) != std::string::npos;
}

struct Job {
  const FrontOptions *options;
  std::string file;
};

// One file: compress or decompress it, then remove it with --rm.
int RunOne(void *context) {
  const Job &job = *static_cast<const Job *>(context);
  const FrontOptions &o = *job.options;
  const std::string &in = job.file;
  // A mistyped command reads as a file that is not there: say both.
  if (in != "-" && in.find_first_of("./\\") == std::string::npos && !FileExists(in.c_str()))
    Refuse(in, "no such file, nor a command (try 'lzx --help')");
  std::string out = o.toStdout || in == "-" ? "-" : o.output;
  if (o.decompress) {
    if (out.empty()) {
      if (!HasSuffix(in)) Refuse(in, "no .lzx at the end of the name (-c or -o names the output)");
      out = in.substr(0, in.size() - std::strlen(kSuffix));
    }
    Decompress(in, out);
  } else {
    if (out.empty()) {
      if (HasSuffix(in) && !g_settings.force) Refuse(in, "already ends in .lzx (-f compresses it all the same)");
      out = in + kSuffix;
    }
    Compress(in, out, o.mode.c_str());
  }
  if (o.remove && in != "-" && out != "-" && !PlatDelete(in.c_str())) Refuse(in, "written, but cannot be removed");
  return kSuccess;
}

} // namespace

bool ChoosesFrontEnd(int argc, char **argv, const char *const *commands, std::size_t count) {
  bool frontOption = false;
  for (int i = 1; i < argc; ++i) {
    const std::string word = argv[i];
    if (word == "-h" || word == "--help") return false;
    if (word == "--" || word == "-") return true;
    if (word[0] == '-') {
      frontOption = frontOption || IsFrontOption(word);
      if (word == "-o" || word == "--output" || word == "-T" || word == "--threads") ++i; // its value is no command
      continue;
    }
    for (std::size_t k = 0; k < count; ++k)
      if (word == commands[k]) return false;
    return true; // a file
  }
  return frontOption;
}

int RunFrontEnd(int argc, char **argv) {
  FrontOptions options;
  CLI::App app{"lzx FILE...: compress each FILE to FILE.lzx, or with -d back", "lzx"};
  app.set_help_flag(); // lzx --help describes this front end too
  ModeOptions modes;
  bool keep = false, noCheck = false, test = false, list = false;
  std::vector<std::string> files;
  app.add_flag("-q,--quiet", g_settings.quiet);
  app.add_flag("-v,--verbose", g_settings.verbose);
  app.add_flag("-f,--force", g_settings.force);
  app.add_flag("-d,--decompress,--uncompress", options.decompress);
  app.add_flag("-c,--stdout,--to-stdout", options.toStdout);
  auto *keepFlag = app.add_flag("-k,--keep", keep);
  app.add_flag("--rm", options.remove)->excludes(keepFlag);
  auto *testFlag = app.add_flag("-t,--test", test);
  app.add_flag("-l,--list", list)->excludes(testFlag);
  app.add_option("-o,--output", options.output);
  AddModeOptions(&app, &modes, false);
  app.add_flag("--no-check", noCheck);
  int threads = 0;
  app.add_option("-T,--threads", threads)->check(CLI::Range(0, kMaxCodingThreads));
  app.add_option("FILE", files);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError &e) {
    std::fprintf(stderr, "lzx: %s (try 'lzx --help')\n", e.what());
    return kRefused;
  }
  auto usage = [](const char *text) {
    std::fprintf(stderr, "lzx: %s (try 'lzx --help')\n", text);
    return kRefused;
  };
  if (g_settings.quiet && g_settings.verbose) return usage("-q and -v exclude each other");
  // Blocks are coded on this many threads, as with the commands.
  HopenThreads = threads > 0 ? threads : PlatProcessorCount() < kMaxCodingThreads ? PlatProcessorCount() : kMaxCodingThreads;
  if (files.empty()) files.push_back("-");
  if ((test || list) && (options.decompress || options.toStdout || !options.output.empty() || options.remove))
    return usage("-t and -l write nothing: no -d, -c, -o or --rm with them");
  if (!options.output.empty() && (files.size() > 1 || options.toStdout))
    return usage("-o names one output: one FILE, and not with -c");
  if (options.toStdout && !options.decompress && files.size() > 1)
    return usage("-c compresses one FILE (compressed files do not join)");

  if (test) return Test(files);
  options.mode = WriteModeText(modes, !noCheck);
  int status = kSuccess;
  for (const std::string &file : files) {
    Job job{&options, file};
    const int one = list ? RunGuarded([](void *c) { return ListOrSizes(static_cast<Job *>(c)->file); }, &job)
                         : RunGuarded(RunOne, &job);
    if (one > status) status = one;
  }
  return status;
}

} // namespace lzx_tool
