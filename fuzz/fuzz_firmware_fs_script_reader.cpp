// Any text as an FS script for the check before a play: it never crashes, every problem and
// every step lies on a line of the file, and the problems kept stay within their bound.
#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

#include "firmware/fs_script_reader.h"

namespace {

// Most random bytes are no text at all; these characters make lines the checker reads through.
constexpr std::string_view kAlphabet = "WCX:;16 0123456789ABCDEFabcdef-+\n\n\n\r\t G";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  // The first byte chooses between the bytes as they are and the bytes as script characters.
  std::string text;
  for (std::size_t i = 1; i < size; ++i) {
    text += (data[0] & 1) != 0 ? static_cast<char>(data[i]) : kAlphabet[data[i] % kAlphabet.size()];
  }
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
  const cw::firmware::FsCheckReport report = cw::firmware::CheckFsScript({bytes, text.size()});
  const int lines = report.script.line_count;
  const auto file_lines = static_cast<int>(std::count(text.begin(), text.end(), '\n')) + 1;
  if (lines > file_lines || report.problems.size() > cw::firmware::kMaxFsProblems) {
    __builtin_trap();
  }
  for (const auto& problem : report.problems) {
    if (problem.line < 0 || problem.line > file_lines || problem.text.empty()) __builtin_trap();
  }
  int previous = 0;
  for (const auto& step : report.script.steps) {
    if (step.line <= previous || step.line > lines) __builtin_trap();
    if (step.wait < cw::common::Millis{0} || step.wait > cw::firmware::kMaxFsWait) __builtin_trap();
    previous = step.line;
  }
  return 0;
}
