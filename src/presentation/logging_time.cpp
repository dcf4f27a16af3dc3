#include "presentation/logging_time.h"

#include <cctype>
#include <charconv>

namespace cw::presentation {
namespace {

constexpr int kMinimumLoggingSeconds = 1;
constexpr int kMaximumLoggingSeconds = 60;

}  // namespace

common::Expected<int> ParseLoggingTime(std::string_view text) {
  // Read like atoi: leading blanks, a sign, digits; anything else reads as 0.
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) {
    text.remove_prefix(1);
  }
  int seconds = 0;
  std::from_chars(text.data(), text.data() + text.size(), seconds);
  if (!IsLoggingInterval(seconds)) {
    return common::Fail(common::ErrorKind::kUsage,
                        std::string("Logging rate must be in range of 1 ~ 60 seconds!"));
  }
  return seconds;
}

bool IsLoggingInterval(int seconds) {
  return seconds >= kMinimumLoggingSeconds && seconds <= kMaximumLoggingSeconds;
}

}  // namespace cw::presentation
