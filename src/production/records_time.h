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

// Local time with its offset from UTC, as the text views show it ("2024-05-17 12:02:03 +02:00")
// and as a spreadsheet takes it (ISO 8601: "2024-05-17T12:02:03.123+02:00").
std::string FormatLocal(TimePoint time);
std::string FormatLocalIso(TimePoint time);

// What `--since` and `--until` take: a local date "2024-05-17", a local time "2024-05-17 14:30"
// (or with "T", seconds and milliseconds), either with an offset ("Z", "+02:00", " +0200") as
// the views show times, or a span back from `now`: "90m", "12h", "7d".
std::optional<TimePoint> ParseTimeBound(std::string_view text, TimePoint now);

}  // namespace cw::production
