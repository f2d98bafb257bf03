// lzx: make, check and inspect "LZX1" compressed files and archives, by
// subcommand or, like gzip, file by file (tools/front.cpp).
//
// Exit status: 0 success; 1 a usage error or an argument the tool refuses
// itself ("lzx: NAME: reason"); 2 the system's fatal path (damaged input, a
// file error), whose text goes to standard error. "-" names standard input or
// output where the command says so. Outputs are written beside their place
// and put there only when complete; an existing one is kept unless -f.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "tools/commands.h"
#include "tools/front.h"
#include "vorn_version.h"
#include "tools/io.h"
#include "tools/modes.h"
#include "lzx/batch.h"
#include "lzx/lzx.h"
#include "platform/process.h"
#include "platform/system.h"
#include "platform/thread.h"

namespace {

using namespace lzx_tool;

const char *const kCommands[] = {"compress", "decompress", "cat", "info", "test", "list",
                                 "pack", "unpack", "versions", "scramble", "mklist", "recover"};

int Usage(const std::string &text) {
  std::fprintf(stderr, "lzx: %s (try 'lzx --help')\n", text.c_str());
  return kRefused;
}

const char *const kFooter = R"(
Used like gzip, file by file: lzx [OPTIONS] FILE...
  (no option)         compress each FILE to FILE.lzx; the input is kept
  -d, --decompress    FILE.lzx back to FILE
  -c, --stdout        write to standard output ("-" as FILE, or none: standard input)
  -o, --output OUT    the name of the one output
  -k, --keep          keep the input (the default)
      --rm            remove the input once its output is complete
  -t, --test          test each FILE, as 'lzx test'
  -l, --list          list the entries of each archive, as 'lzx list'; for
                      another compressed file its sizes and ratio
  --huffman, --rows, --no-check, -f, -q, -v as for the commands
A file named like a command is given as ./NAME.

Examples:
  lzx notes.txt                   notes.txt.lzx beside it
  lzx -d notes.txt.lzx            notes.txt back (-f replaces an existing one)
  lzx -dc notes.txt.lzx | less
  tar c docs | lzx -c > docs.tar.lzx
  lzx --rm *.log                  each to NAME.log.lzx, then the input removed
  lzx pack help.list              an archive from a list file
  lzx COMMAND --help              what a command takes

Exit status:
  0  success (of every FILE)
  1  a usage error, or an argument refused ("lzx: NAME: reason")
  2  damaged input or a file error, its text on standard error;
     a failed write to standard output
  With several files each is done on its own; the status is the highest.)";

} // namespace

int main(int argc, char **argv) {
  PlatNameArguments(&argc, &argv);
  if (ChoosesFrontEnd(argc, argv, kCommands, std::size(kCommands))) {
    PlatIgnoreBrokenPipe();
    return FinishStandardOutput(RunFrontEnd(argc, argv));
  }

  CLI::App app{"lzx: make, check and inspect LZX1 compressed files and archives", "lzx"};
  app.footer(kFooter);
  app.require_subcommand(1);
  app.fallthrough();
  app.set_version_flag("--version", "lzx " VORN_VERSION_TEXT);
  app.add_flag("-q,--quiet", g_settings.quiet, "no progress and no summaries");
  app.add_flag("-v,--verbose", g_settings.verbose, "a line per entry (pack, test)");
  app.add_flag("-f,--force", g_settings.force, "replace an existing output");
  int threads = 0;
  app.add_option("-T,--threads", threads, "threads that code blocks (default 0: one per processor; 1: none besides the tool's own)")
      ->check(CLI::Range(0, kMaxCodingThreads));
  std::string in, out, target, versions, directory;
  std::vector<std::string> files;
  ModeOptions modes;
  bool noCheck = false, overwrite = false, tsv = false, allowAbsolute = false;
  std::int64_t offset = 0, length = -1;
  ListOptions listOptions;

  auto *compress = app.add_subcommand("compress", "Write IN (- for standard input) as compressed file OUT (- for standard output)");
  compress->add_option("IN", in, "file to compress")->required();
  compress->add_option("OUT", out, "compressed file to write")->required();
  AddModeOptions(compress, &modes, true);
  compress->add_flag("--no-check", noCheck, "write no checks: exactly the bytes of a plain LZX1 file");

  auto *decompress = app.add_subcommand("decompress", "Write the content of compressed file IN to OUT (- for standard output)");
  decompress->add_option("IN", in, "compressed file (- for standard input)")->required();
  decompress->add_option("OUT", out, "file to write")->required();

  auto *cat = app.add_subcommand("cat", "Write content of compressed file IN to standard output");
  cat->add_option("IN", in, "compressed file")->required();
  cat->add_option("--offset", offset, "uncompressed position to start at (default 0)");
  cat->add_option("--length", length, "bytes to write (default: to the end)");

  auto *info = app.add_subcommand("info", "Show the header and the blocks of compressed file IN");
  info->add_option("IN", in, "compressed file")->required();
  info->add_flag("--tsv", tsv, "tab-separated records: header fields, then one 'block' line per block");

  auto *test = app.add_subcommand("test", "Read every block (and every entry of an archive) of each FILE");
  test->add_option("FILE", files, "compressed files or archives")->required();

  auto *list = app.add_subcommand("list", "List the entries of ARCHIVE");
  list->add_option("ARCHIVE", in, "archive")->required();
  list->add_flag("--tsv", tsv, "tab-separated records: name, size, version, scrambled, deleteAfter, replaceOnly");

  auto *pack = app.add_subcommand("pack", "Pack the files named by list file LIST (- for standard input)");
  pack->add_option("LIST", in, "list file")->required();
  pack->add_option("-o,--output", out, "archive to write instead of the list's first line (- for standard output)");
  pack->add_option("-C,--directory", directory, "resolve source names here (default: the list file's folder)");
  pack->add_flag("--allow-absolute", allowAbsolute, "accept stored names without '#'");
  pack->add_flag("--no-check", noCheck, "write no checks: exactly the bytes of a plain LZX1 archive");

  auto *unpack = app.add_subcommand("unpack", "Unpack ARCHIVE, '#' names under TARGET");
  unpack->add_option("ARCHIVE", in, "archive")->required();
  unpack->add_option("TARGET", target, "directory for '#' names");
  auto *over = unpack->add_flag("--overwrite", overwrite, "overwrite existing files (without --versions)");
  unpack->add_option("--versions", versions, "version file to decide by and update, as an install does")->excludes(over);
  unpack->add_flag("--allow-absolute", allowAbsolute,
                   "write entries whose names have no '#' where they point (absolute or current-folder paths)");

  auto *versionList = app.add_subcommand("versions", "List the records of version file VERFILE (lzx.ver)");
  versionList->add_option("VERFILE", in, "version file")->required();
  versionList->add_flag("--tsv", tsv, "tab-separated records: name, size, version");

  auto *recover = app.add_subcommand("recover", "Complete or undo an install that was interrupted in DIR (its lzx.jnl)");
  recover->add_option("DIR", in, "installation directory")->required();

  auto *scramble = app.add_subcommand("scramble", "Scramble (or unscramble) FILE in place");
  scramble->add_option("FILE", in, "file")->required();

  auto *mklist = app.add_subcommand("mklist", "Write a list file that packs every regular file under DIR");
  mklist->add_option("DIR", in, "directory")->required();
  mklist->add_option("--version", listOptions.version, "version of every file (100 or more)")->required();
  mklist->add_option("-o,--output", out, "list file to write (default: standard output)");
  mklist->add_flag("--scrambled", listOptions.scrambled, "mark every file as already scrambled (E=1)");
  mklist->add_flag("--delete-after", listOptions.deleteAfter, "delete every file after writing it (D=1)");
  mklist->add_flag("--replace-only", listOptions.replaceOnly, "write every file only over an existing one (R=1)");

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError &e) {
    if (e.get_exit_code() == 0) return app.exit(e); // --help, --version
    return Usage(e.what());
  }
  if (g_settings.quiet && g_settings.verbose) return Usage("-q and -v exclude each other");

  PlatIgnoreBrokenPipe(); // a closed pipe is reported like any failed write
  // Blocks are coded on this many threads, the bytes the same for any number.
  HopenThreads = threads > 0 ? threads : PlatProcessorCount() < kMaxCodingThreads ? PlatProcessorCount() : kMaxCodingThreads;
  const std::string mode = WriteModeText(modes, !noCheck);
  int status = kSuccess;
  if (compress->parsed()) status = Compress(in, out, mode.c_str());
  else if (decompress->parsed()) status = Decompress(in, out);
  else if (cat->parsed()) status = Cat(in, offset, length);
  else if (info->parsed()) status = Info(in, tsv);
  else if (test->parsed()) status = Test(files);
  else if (list->parsed()) status = List(in, tsv);
  else if (pack->parsed()) status = Pack(in, out, directory, allowAbsolute, !noCheck);
  else if (unpack->parsed()) status = Unpack(in, target, overwrite, versions, allowAbsolute);
  else if (versionList->parsed()) status = Versions(in, tsv);
  else if (mklist->parsed()) status = MakeList(in, listOptions, out);
  else if (recover->parsed()) status = Recover(in);
  else status = Scramble(in);
  return FinishStandardOutput(status);
}
