#pragma once

#include <string_view>

#include "common/error.h"

namespace cw::presentation {

// "Set Logging Time": the typed interval when it is 1 to 60 s; otherwise a usage error with the
// range message (the dialog stays open).
common::Expected<int> ParseLoggingTime(std::string_view text);
// Whether `seconds` is an interval the data log takes (1 to 60 s).
bool IsLoggingInterval(int seconds);

}  // namespace cw::presentation
