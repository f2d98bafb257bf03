#include "tools/modes.h"

#include <CLI/CLI.hpp>

namespace lzx_tool {

void AddModeOptions(CLI::App *app, ModeOptions *options, bool describe) {
  CLI::Option *added[kCodingModeCount] = {};
  for (int k = 0; k < kCodingModeCount; ++k) {
    const CodingMode &m = kCodingModes[k];
    if (m.letter == 0) continue;
    added[k] = app->add_flag(std::string("--") + m.name, options->chosen[k], describe ? m.help : "");
    for (int j = 0; j < k; ++j)
      if (added[j]) added[k]->excludes(added[j]);
  }
}

std::string WriteModeText(const ModeOptions &options, bool checked) {
  std::string mode = "wb";
  for (int k = 0; k < kCodingModeCount; ++k)
    if (options.chosen[k] && kCodingModes[k].letter != 0) mode += kCodingModes[k].letter;
  if (checked) mode += 'c';
  return mode;
}

} // namespace lzx_tool
