#include <fmt/format.h>

#include <algorithm>
#include <string_view>

#include "common/version.h"
#include "gui/gauge_tool_app.h"
#include "gui/messages.h"

int main(int argc, char** argv) {
  // Answered before Qt starts, so it works where there is no display (a package check, ssh).
  if (std::any_of(argv + 1, argv + argc, [](std::string_view arg) { return arg == "--version"; })) {
    fmt::print("{} {}\n", cw::gui::messages::kProgramName, cw::common::kVersion);
    return 0;
  }
  return cw::gui::RunGaugeTool(argc, argv);
}
