#include "production/records_time.h"

#include <fmt/format.h>

#include <algorithm>
#include <ctime>

#include "common/parse.h"

namespace cw::production {
namespace {

using std::chrono::milliseconds;

bool AllDigits(std::string_view text) {
  return !text.empty() && std::ranges::all_of(text, [](char c) { return c >= '0' && c <= '9'; });
}

// The digits of text[at, at + count) as a number; nothing when they are not all digits.
std::optional<int> Digits(std::string_view text, std::size_t at, std::size_t count) {
  if (at + count > text.size() || !AllDigits(text.substr(at, count))) return std::nullopt;
  return static_cast<int>(common::ParseWholeInteger(text.substr(at, count)).value_or(0));
}

struct Fields {
  int year, month, day, hour = 0, minute = 0, second = 0;
};

// "YYYY-MM-DD", then optionally " HH:MM" or "THH:MM", then optionally ":SS". `rest` gets what
// follows.
std::optional<Fields> ReadFields(std::string_view text, std::string_view& rest) {
  const auto year = Digits(text, 0, 4), month = Digits(text, 5, 2), day = Digits(text, 8, 2);
  if (!year || !month || !day || text[4] != '-' || text[7] != '-') return std::nullopt;
  Fields fields{*year, *month, *day};
  rest = text.substr(10);
  if (!rest.empty() && (rest[0] == ' ' || rest[0] == 'T')) {
    const auto hour = Digits(rest, 1, 2), minute = Digits(rest, 4, 2);
    if (!hour || !minute || rest[3] != ':') return std::nullopt;
    fields.hour = *hour;
    fields.minute = *minute;
    rest.remove_prefix(6);
    if (!rest.empty() && rest[0] == ':') {
      const auto second = Digits(rest, 1, 2);
      if (!second) return std::nullopt;
      fields.second = *second;
      rest.remove_prefix(3);
    }
  }
  const bool valid = fields.month >= 1 && fields.month <= 12 && fields.day >= 1 &&
                     fields.day <= 31 && fields.hour <= 23 && fields.minute <= 59 &&
                     fields.second <= 60;
  if (!valid) return std::nullopt;
  return fields;
}

std::tm ToTm(const Fields& fields) {
  std::tm tm{};
  tm.tm_year = fields.year - 1900;
  tm.tm_mon = fields.month - 1;
  tm.tm_mday = fields.day;
  tm.tm_hour = fields.hour;
  tm.tm_min = fields.minute;
  tm.tm_sec = fields.second;
  tm.tm_isdst = -1;
  return tm;
}

struct LocalFields {
  std::tm tm{};
  int millis = 0;
};

LocalFields Local(TimePoint time) {
  const auto millis = std::chrono::floor<milliseconds>(time);
  const auto seconds = std::chrono::floor<std::chrono::seconds>(millis);
  const std::time_t whole = std::chrono::system_clock::to_time_t(seconds);
  LocalFields local;
  localtime_r(&whole, &local.tm);
  local.millis = static_cast<int>((millis - seconds).count());
  return local;
}

// "+02:00", "-05:30", "+00:00".
std::string Offset(long seconds_east) {
  const long minutes = (seconds_east < 0 ? -seconds_east : seconds_east) / 60;
  return fmt::format("{}{:02}:{:02}", seconds_east < 0 ? '-' : '+', minutes / 60, minutes % 60);
}

// "Z", "+02:00", "+0200", "-05" (after an optional space) as seconds east of UTC.
std::optional<long> OffsetSeconds(std::string_view text) {
  if (!text.empty() && text[0] == ' ') text.remove_prefix(1);
  if (text == "Z") return 0;
  if (text.size() < 3 || (text[0] != '+' && text[0] != '-')) return std::nullopt;
  const auto hours = Digits(text, 1, 2);
  std::optional<int> minutes = 0;
  if (text.size() == 6 && text[3] == ':') {
    minutes = Digits(text, 4, 2);
  } else if (text.size() == 5) {
    minutes = Digits(text, 3, 2);
  } else if (text.size() != 3) {
    return std::nullopt;
  }
  if (!hours || !minutes || *hours > 14 || *minutes > 59) return std::nullopt;
  const long seconds = (*hours * 60L + *minutes) * 60;
  return text[0] == '-' ? -seconds : seconds;
}

}  // namespace

std::string FormatUtc(TimePoint time) {
  const auto millis = std::chrono::floor<milliseconds>(time);
  const std::time_t seconds =
      std::chrono::system_clock::to_time_t(std::chrono::floor<std::chrono::seconds>(millis));
  std::tm tm{};
  gmtime_r(&seconds, &tm);
  const auto fraction = (millis.time_since_epoch() % std::chrono::seconds(1)).count();
  return fmt::format("{:04}-{:02}-{:02}T{:02}:{:02}:{:02}.{:03}Z", tm.tm_year + 1900, tm.tm_mon + 1,
                     tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, (fraction + 1000) % 1000);
}

std::optional<TimePoint> ParseUtc(std::string_view text) {
  std::string_view rest;
  const auto fields = ReadFields(text, rest);
  if (!fields || text.size() != 24 || text[10] != 'T' || rest.size() != 5 || rest[0] != '.' ||
      rest[4] != 'Z') {
    return std::nullopt;
  }
  const auto millis = Digits(rest, 1, 3);
  if (!millis) return std::nullopt;
  std::tm tm = ToTm(*fields);
  const std::time_t seconds = timegm(&tm);
  return std::chrono::system_clock::from_time_t(seconds) + milliseconds(*millis);
}

std::string FormatLocal(TimePoint time) {
  const LocalFields local = Local(time);
  return fmt::format("{:04}-{:02}-{:02} {:02}:{:02}:{:02} {}", local.tm.tm_year + 1900,
                     local.tm.tm_mon + 1, local.tm.tm_mday, local.tm.tm_hour, local.tm.tm_min,
                     local.tm.tm_sec, Offset(local.tm.tm_gmtoff));
}

std::string FormatLocalIso(TimePoint time) {
  const LocalFields local = Local(time);
  return fmt::format("{:04}-{:02}-{:02}T{:02}:{:02}:{:02}.{:03}{}", local.tm.tm_year + 1900,
                     local.tm.tm_mon + 1, local.tm.tm_mday, local.tm.tm_hour, local.tm.tm_min,
                     local.tm.tm_sec, local.millis, Offset(local.tm.tm_gmtoff));
}

std::optional<TimePoint> ParseTimeBound(std::string_view text, TimePoint now) {
  if (text.size() >= 2 && AllDigits(text.substr(0, text.size() - 1))) {
    const auto count = common::ParseWholeInteger(text.substr(0, text.size() - 1));
    if (!count || *count > 100 * 365 * 24 * 60) return std::nullopt;
    switch (text.back()) {
      case 'm':
        return now - std::chrono::minutes(*count);
      case 'h':
        return now - std::chrono::hours(*count);
      case 'd':
        return now - std::chrono::hours(24 * *count);
      default:
        return std::nullopt;
    }
  }
  std::string_view rest;
  const auto fields = text.size() >= 10 ? ReadFields(text, rest) : std::nullopt;
  if (!fields) return std::nullopt;
  int millis = 0;
  if (rest.size() >= 4 && rest[0] == '.') {
    const auto digits = Digits(rest, 1, 3);
    if (!digits) return std::nullopt;
    millis = *digits;
    rest.remove_prefix(4);
  }
  std::tm tm = ToTm(*fields);
  if (rest.empty()) {
    const std::time_t local = std::mktime(&tm);
    if (local == -1) return std::nullopt;
    return std::chrono::system_clock::from_time_t(local) + milliseconds(millis);
  }
  const auto offset = OffsetSeconds(rest);
  if (!offset) return std::nullopt;
  return std::chrono::system_clock::from_time_t(timegm(&tm) - *offset) + milliseconds(millis);
}

}  // namespace cw::production
