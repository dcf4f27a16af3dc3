#pragma once

#include <optional>
#include <string_view>

#include "common/front_end.h"

namespace cw::presentation {

// "Set Logging Time": the typed interval when it is 1 to 60 s; otherwise the range message
// is shown and nullopt returned (the dialog stays open).
std::optional<int> ParseLoggingTime(std::string_view text, common::MessageSink& messages);
// Whether `seconds` is an interval the data log takes (1 to 60 s).
bool IsLoggingInterval(int seconds);

}  // namespace cw::presentation
