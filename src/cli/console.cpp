#include "cli/console.h"

#include <fmt/format.h>
#include <unistd.h>

namespace cw::cli {

void StderrMessageSink::Show(std::string_view text, std::string_view, common::MessageIcon) {
  std::lock_guard lock(mutex_);
  ++shown_;
  fmt::print(stderr, "{}\n", text);
}

void StderrTraceSink::Trace(std::string_view layer, std::string_view text) {
  std::lock_guard lock(mutex_);
  fmt::print(stderr, "[{}] {}\n", layer, text);
}

bool StdoutIsTerminal() { return isatty(STDOUT_FILENO) == 1; }

}  // namespace cw::cli
