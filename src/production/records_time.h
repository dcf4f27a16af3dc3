#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "production/records.h"

// Times in the records: ISO 8601 in UTC to the millisecond ("2024-05-17T10:02:03.123Z"), a form
// that sorts as text in order of time in every database and spreadsheet.
namespace cw::production {

std::string FormatUtc(TimePoint time);
// Exactly the form FormatUtc writes; nothing for any other text.
std::optional<TimePoint> ParseUtc(std::string_view text);

// What `--since` takes: a local date "2024-05-17", a local time "2024-05-17 14:30" (or with "T"
// and seconds), or a span back from `now`: "90m", "12h", "7d".
std::optional<TimePoint> ParseSince(std::string_view text, TimePoint now);

}  // namespace cw::production
