// The lzx tool's commands. Each returns the exit status; a refused argument
// or a fatal error ends the process from inside (status 1 or 2).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace lzx_tool {

// "-" names standard input (as an input) or standard output (as an output).
int Compress(const std::string &in, const std::string &out, const char *mode);
int Decompress(const std::string &in, const std::string &out);
int Cat(const std::string &in, std::int64_t offset, std::int64_t length);
int Info(const std::string &in, bool tsv);
int Test(const std::vector<std::string> &files);
int List(const std::string &archive, bool tsv);
// List for an archive; for any other compressed file a line of its sizes.
int ListOrSizes(const std::string &in);
// Sources resolve against directory (default: the list file's folder).
int Pack(const std::string &list, const std::string &out, const std::string &directory, bool allowAbsolute, bool checked);
int Unpack(const std::string &archive, const std::string &target, bool overwrite, const std::string &versions,
           bool allowAbsolute);
int Versions(const std::string &file, bool tsv);
// Completes or undoes an install that was interrupted in directory.
int Recover(const std::string &directory);
int Scramble(const std::string &file);

struct ListOptions {
  std::int32_t version = 0;
  bool scrambled = false, deleteAfter = false, replaceOnly = false;
};
// A list file that packs every regular file under directory.
int MakeList(const std::string &directory, const ListOptions &options, const std::string &out);

} // namespace lzx_tool
