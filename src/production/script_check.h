#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "common/bytes.h"

// The one place the station asks whether an FS script of a recipe is sound.
namespace cw::production {

// Far beyond the update script of the largest image.
inline constexpr std::size_t kMaxScriptFileSize = std::size_t{16} << 20;

struct ScriptProblem {
  int line = 0;  // in the script, from 1; 0 for the script as a whole
  std::string text;
};

struct ScriptCheck {
  bool checked = false;  // false: this build has no FS script checker
  std::vector<ScriptProblem> problems;
  std::size_t more_problems = 0;
};

// The FS script checker's verdict on a whole script.
ScriptCheck CheckScriptBytes(common::ByteView bytes);

}  // namespace cw::production
