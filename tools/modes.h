// The coding-mode options of the commands and the front end: one flag per
// mode of lzx/block.h besides the default (--huffman, --rows), each
// excluding the others, and the Hopen mode text they choose.
#pragma once

#include <string>

#include "lzx/block.h"

namespace CLI {
class App;
}

namespace lzx_tool {

struct ModeOptions {
  bool chosen[kCodingModeCount] = {};
};

// describe: with the modes' help texts (the front end's options have none).
void AddModeOptions(CLI::App *app, ModeOptions *options, bool describe);
// "wb", the chosen mode's letter, and 'c' for a checked file.
std::string WriteModeText(const ModeOptions &options, bool checked);

} // namespace lzx_tool
