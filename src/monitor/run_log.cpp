#include "monitor/run_log.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <ctime>
#include <deque>
#include <limits>
#include <optional>
#include <span>

#include "common/file_input.h"
#include "common/printf_format.h"
#include "monitor/messages.h"
#include "monitor/register_table_data.h"
#include "monitor/status_block.h"
#include "monitor/value_conversion.h"

namespace cw::monitor {
namespace {

namespace text = messages::run_log;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kDay = 86'400;
// A stamp earlier than the one before by more than this is the next day's (a log that ran past
// midnight); less is the clock set back a little, and the row keeps the time of the one before.
constexpr double kMidnightStep = kDay / 2;
// Larger than any log a disk holds for a day at one line a second; a larger file is no log.
constexpr std::size_t kMaxLogBytes = std::size_t{4} << 30;
// How often a long file looks at its stop token.
constexpr std::size_t kRowsBetweenStopChecks = 4096;
constexpr std::string_view kDebugInfoName = "Gauge Debug Info";
constexpr std::string_view kHeaderStart = "Cellwarden\tVersion:";
constexpr std::string_view kCsvHeaderStart = "Sample,Stamp,Elapsed(s)";

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar.
long long DaysFromCivil(int year, unsigned month, unsigned day) {
  year -= month <= 2;
  const long long era = (year >= 0 ? year : year - 399) / 400;
  const auto year_of_era = static_cast<unsigned>(year - era * 400);
  const unsigned day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const unsigned day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + static_cast<long long>(day_of_era) - 719468;
}

template <typename T>
bool ParseWhole(std::string_view field, T& value, int base = 10) {
  const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value, base);
  return error == std::errc() && end == field.data() + field.size();
}

// "hh:mm:ss" as seconds of the day.
std::optional<double> TimeOfDay(std::string_view field) {
  int hours = 0;
  int minutes = 0;
  int seconds = 0;
  if (field.size() != 8 || field[2] != ':' || field[5] != ':' ||
      !ParseWhole(field.substr(0, 2), hours) || !ParseWhole(field.substr(3, 2), minutes) ||
      !ParseWhole(field.substr(6, 2), seconds) || hours > 23 || minutes > 59 || seconds > 60) {
    return std::nullopt;
  }
  return hours * 3600.0 + minutes * 60.0 + seconds;
}

// "yyyy<sep>mm<sep>dd" as days since 1970-01-01.
std::optional<double> Date(std::string_view field, char separator) {
  int year = 0;
  unsigned month = 0;
  unsigned day = 0;
  if (field.size() != 10 || field[4] != separator || field[7] != separator ||
      !ParseWhole(field.substr(0, 4), year) || !ParseWhole(field.substr(5, 2), month) ||
      !ParseWhole(field.substr(8, 2), day) || month < 1 || month > 12 || day < 1 || day > 31) {
    return std::nullopt;
  }
  return static_cast<double>(DaysFromCivil(year, month, day));
}

// The register a column heading names: its full name (a .LOG heading is the name without
// spaces).
const SbsRegisterInfo* FindRegister(std::string_view name, bool compact) {
  using Rows = std::span<const SbsRegisterInfo>;
  for (Rows table :
       {Rows(register_data::kTableA), Rows(register_data::kTableB), Rows(register_data::kTableC)}) {
    for (const SbsRegisterInfo& row : table) {
      if (compact ? CompactName(row.name) == name : row.name == name) return &row;
    }
  }
  return nullptr;
}

LogColumnKind KindOf(std::string_view format) {
  if (format == "%s") return LogColumnKind::kBytes;
  if (!format.empty() && (format.back() == 'X' || format.back() == 'x')) return LogColumnKind::kHex;
  return LogColumnKind::kNumber;
}

LogColumn ColumnFor(const SbsRegisterInfo* info, std::string_view heading, std::string_view unit) {
  LogColumn column;
  if (info == nullptr) {
    column.name = heading;
    column.unit = unit;
    return column;
  }
  column.name = info->name;
  column.unit = unit.empty() ? info->unit : unit;
  if (column.unit == "-") column.unit.clear();
  column.format = info->format;
  column.kind = KindOf(info->format);
  return column;
}

// The lines of a text, CR LF or LF ended. The last line without its end is reported apart.
class Lines {
 public:
  explicit Lines(std::string_view text) : text_(text) {}
  // The next whole line, or nothing at the end of the text.
  std::optional<std::string_view> Next() {
    if (at_ >= text_.size()) return std::nullopt;
    const std::size_t end = text_.find('\n', at_);
    if (end == std::string_view::npos) {
      partial_ = text_.substr(at_);
      at_ = text_.size();
      return std::nullopt;
    }
    std::string_view line = text_.substr(at_, end - at_);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    at_ = end + 1;
    ++number_;
    return line;
  }
  std::size_t number() const { return number_; }
  // What followed the last line end, if anything.
  std::string_view partial() const { return partial_; }

 private:
  std::string_view text_;
  std::size_t at_ = 0;
  std::size_t number_ = 0;
  std::string_view partial_;
};

// Splits `line` at runs of spaces (and tabs) into `fields`.
void SplitSpaces(std::string_view line, std::vector<std::string_view>& fields) {
  fields.clear();
  std::size_t at = 0;
  while (true) {
    while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) ++at;
    if (at >= line.size()) return;
    std::size_t end = at;
    while (end < line.size() && line[end] != ' ' && line[end] != '\t') ++end;
    fields.push_back(line.substr(at, end - at));
    at = end;
  }
}

// Splits one CSV line into `fields`; a quoted field's text, its quotes undone, is kept in
// `unquoted` (a deque: its strings stay where they are). False on a quote left open.
bool SplitCsv(std::string_view line, std::vector<std::string_view>& fields,
              std::deque<std::string>& unquoted) {
  fields.clear();
  unquoted.clear();
  std::size_t at = 0;
  while (true) {
    if (at < line.size() && line[at] == '"') {
      std::string& field = unquoted.emplace_back();
      std::size_t i = at + 1;
      for (;; ++i) {
        if (i >= line.size()) return false;
        if (line[i] != '"') {
          field += line[i];
        } else if (i + 1 < line.size() && line[i + 1] == '"') {
          field += '"';
          ++i;
        } else {
          break;
        }
      }
      fields.emplace_back(field);
      at = i + 1;
      if (at < line.size() && line[at] != ',') return false;
    } else {
      const std::size_t end = std::min(line.find(',', at), line.size());
      fields.push_back(line.substr(at, end - at));
      at = end;
    }
    if (at >= line.size()) return true;
    ++at;  // the comma
  }
}

class Reader {
 public:
  Reader(std::string_view text, const std::filesystem::path& path, std::stop_token stop)
      : lines_(text), stop_(std::move(stop)) {
    log_.path = path;
  }

  std::expected<RunLog, LogReadError> Read() {
    const auto first = lines_.Next();
    if (!first) return Refuse(1, text::kEmpty);
    bool read = false;
    if (first->starts_with(kHeaderStart)) {
      log_.format = LogFormat::kText;
      read = ReadText();
    } else if (first->starts_with(kCsvHeaderStart)) {
      log_.format = LogFormat::kCsv;
      read = ReadCsvHeading(*first) && ReadCsvRows();
    } else {
      return Refuse(1, text::kNotALog);
    }
    if (!read) return std::unexpected(std::move(error_));
    log_.incomplete_last_line = !lines_.partial().empty();
    return std::move(log_);
  }

 private:
  bool Fail(std::size_t line, std::string message) {
    error_.line = line;
    error_.message = fmt::format(text::kAtLine, log_.path.string(), line, message);
    return false;
  }
  std::unexpected<LogReadError> Refuse(std::size_t line, std::string_view message) {
    Fail(line, std::string(message));
    return std::unexpected(std::move(error_));
  }
  bool Stopped() {
    if (log_.rows() % kRowsBetweenStopChecks != 0 || !stop_.stop_requested()) return false;
    error_ = {lines_.number(), std::string(text::kStopped), true};
    return true;
  }
  // The next line, or a failure naming the line after the last: the file ends too soon.
  std::optional<std::string_view> Needed(std::string_view what) {
    auto line = lines_.Next();
    if (!line) Fail(lines_.number() + 1, fmt::format(text::kEndsEarly, what));
    return line;
  }

  // The .LOG: product line (already read), start date and time, an empty line, the static data up
  // to an empty line, the column heading, the data lines.
  bool ReadText() {
    const auto start = Needed(text::kStartTimeWhat);
    if (!start) return false;
    const std::size_t tab = start->find('\t');
    const auto date = Date(start->substr(0, tab), '/');
    const auto time =
        tab == std::string_view::npos ? std::nullopt : TimeOfDay(start->substr(tab + 1));
    if (!date || !time) return Fail(lines_.number(), std::string(text::kBadStartTime));
    day_ = *date * kDay;
    previous_time_of_day_ = *time;
    if (const auto blank = Needed(text::kHeadingWhat); !blank) return false;
    while (true) {
      const auto line = Needed(text::kHeadingWhat);
      if (!line) return false;
      if (line->empty()) break;
      const std::size_t colon = line->find(": ");
      if (colon == std::string_view::npos) {
        return Fail(lines_.number(), std::string(text::kBadStaticLine));
      }
      log_.static_data.emplace_back(line->substr(0, colon), line->substr(colon + 2));
    }
    const auto heading = Needed(text::kHeadingWhat);
    if (!heading) return false;
    SplitSpaces(*heading, fields_);
    if (fields_.size() < 3 || fields_[0] != "Sample" || fields_[1] != "Stamp" ||
        fields_[2] != "Elapsed(s)") {
      return Fail(lines_.number(), std::string(text::kBadHeading));
    }
    expected_fields_ = 3;
    for (std::size_t i = 3; i < fields_.size(); ++i) {
      const SbsRegisterInfo* info = FindRegister(fields_[i], true);
      LogColumn column = ColumnFor(info, fields_[i], {});
      // The debug block fills 32 fields, one per byte.
      widths_.push_back(info != nullptr && info->name == kDebugInfoName ? kDebugInfoLength : 1);
      expected_fields_ += widths_.back();
      log_.columns.push_back(std::move(column));
    }
    while (const auto line = lines_.Next()) {
      if (line->empty() && lines_.partial().empty()) continue;
      if (Stopped()) return false;
      SplitSpaces(*line, fields_);
      if (fields_.empty()) continue;
      if (fields_.size() != expected_fields_) {
        return Fail(lines_.number(),
                    fmt::format(text::kFieldCount, fields_.size(), expected_fields_));
      }
      const auto time = TimeOfDay(fields_[1]);
      if (!time) return Fail(lines_.number(), fmt::format(text::kBadStamp, fields_[1]));
      if (*time < previous_time_of_day_ - kMidnightStep) day_ += kDay;
      previous_time_of_day_ = *time;
      AddTime(day_ + *time);
      std::size_t field = 3;
      for (std::size_t c = 0; c < log_.columns.size(); ++c) {
        if (!AddValue(log_.columns[c], std::span(fields_).subspan(field, widths_[c]))) return false;
        field += widths_[c];
      }
    }
    FollowBatteryModeUnits();
    return true;
  }

  bool ReadCsvHeading(std::string_view line) {
    if (!SplitCsv(line, fields_storage_, unquoted_)) {
      return Fail(1, std::string(text::kOpenQuote));
    }
    for (std::size_t i = 3; i < fields_storage_.size(); ++i) {
      const std::string_view heading = fields_storage_[i];
      const SbsRegisterInfo* info = FindRegister(heading, false);
      std::string_view unit;
      if (info == nullptr && heading.ends_with(')')) {
        const std::size_t open = heading.rfind(" (");
        if (open != std::string_view::npos) {
          info = FindRegister(heading.substr(0, open), false);
          unit = heading.substr(open + 2, heading.size() - open - 3);
        }
      }
      log_.columns.push_back(ColumnFor(info, heading, unit));
      widths_.push_back(1);
    }
    expected_fields_ = fields_storage_.size();
    return true;
  }

  bool ReadCsvRows() {
    while (const auto line = lines_.Next()) {
      if (line->empty()) continue;
      if (Stopped()) return false;
      if (!SplitCsv(*line, fields_storage_, unquoted_)) {
        return Fail(lines_.number(), std::string(text::kOpenQuote));
      }
      if (fields_storage_.size() != expected_fields_) {
        return Fail(lines_.number(),
                    fmt::format(text::kFieldCount, fields_storage_.size(), expected_fields_));
      }
      const std::string_view stamp = fields_storage_[1];
      const auto date = Date(stamp.substr(0, 10), '-');
      const auto time =
          stamp.size() == 19 && stamp[10] == 'T' ? TimeOfDay(stamp.substr(11)) : std::nullopt;
      if (!date || !time) return Fail(lines_.number(), fmt::format(text::kBadCsvStamp, stamp));
      AddTime(*date * kDay + *time);
      for (std::size_t c = 0; c < log_.columns.size(); ++c) {
        if (!AddCsvValue(log_.columns[c], fields_storage_[3 + c])) return false;
      }
    }
    return true;
  }

  void AddTime(double time) {
    // A clock set back a little keeps the rows in order: a chart and a lookup need them so.
    if (!log_.times.empty()) time = std::max(time, log_.times.back());
    log_.times.push_back(time);
  }

  bool AddValue(LogColumn& column, std::span<const std::string_view> fields) {
    if (fields.front() == messages::kLogUnreadValue) {
      column.values.push_back(kNaN);
      return true;
    }
    if (column.kind == LogColumnKind::kBytes) {
      std::uint8_t byte = 0;
      for (std::string_view field : fields) {
        if (!ParseWhole(field, byte, 16)) return BadValue(column, field);
      }
      column.values.push_back(0);
      return true;
    }
    return AddNumber(column, fields.front());
  }

  bool AddCsvValue(LogColumn& column, std::string_view field) {
    if (field.empty()) {
      column.values.push_back(kNaN);
      return true;
    }
    if (column.kind == LogColumnKind::kBytes) {
      SplitSpaces(field, fields_);
      std::uint8_t byte = 0;
      for (std::string_view part : fields_) {
        if (!ParseWhole(part, byte, 16)) return BadValue(column, field);
      }
      if (fields_.size() != kDebugInfoLength) return BadValue(column, field);
      column.values.push_back(0);
      return true;
    }
    return AddNumber(column, field);
  }

  bool AddNumber(LogColumn& column, std::string_view field) {
    if (column.kind == LogColumnKind::kHex) {
      std::uint32_t word = 0;
      if (!ParseWhole(field, word, 16)) return BadValue(column, field);
      column.values.push_back(word);
      return true;
    }
    double value = 0;
    const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value);
    if (error != std::errc() || end != field.data() + field.size() || !std::isfinite(value)) {
      return BadValue(column, field);
    }
    column.values.push_back(value);
    return true;
  }

  bool BadValue(const LogColumn& column, std::string_view field) {
    return Fail(lines_.number(), fmt::format(text::kBadValue, field, column.name));
  }

  // A .LOG names no unit: the table's, and for the capacities and At Rate the one Battery Mode
  // gives, when the log has it; never guessed otherwise.
  void FollowBatteryModeUnits() {
    const LogColumn* mode = log_.Find("Battery Mode");
    std::int32_t mode_raw = kNotRead;
    if (mode != nullptr) {
      const auto first = std::find_if(mode->values.begin(), mode->values.end(),
                                      [](double value) { return !std::isnan(value); });
      if (first != mode->values.end()) mode_raw = static_cast<std::int32_t>(*first);
    }
    for (LogColumn& column : log_.columns) {
      const SbsRegisterInfo* info = FindRegister(column.name, false);
      if (info == nullptr) continue;
      SbsRegisterDef def(*info);
      FollowBatteryMode(def, mode_raw);
      column.unit = def.unit == "-" ? std::string() : std::string(def.unit);
    }
  }

  Lines lines_;
  std::stop_token stop_;
  RunLog log_;
  LogReadError error_;
  std::vector<std::string_view> fields_;
  std::vector<std::string_view> fields_storage_;
  std::deque<std::string> unquoted_;
  std::vector<std::size_t> widths_;
  std::size_t expected_fields_ = 0;
  double day_ = 0;
  double previous_time_of_day_ = 0;
};

}  // namespace

const LogColumn* RunLog::Find(std::string_view name) const {
  const auto at = std::find_if(columns.begin(), columns.end(),
                               [&](const LogColumn& column) { return column.name == name; });
  return at == columns.end() ? nullptr : &*at;
}

std::expected<RunLog, LogReadError> ParseRunLog(std::string_view text,
                                                const std::filesystem::path& path,
                                                std::stop_token stop) {
  return Reader(text, path, std::move(stop)).Read();
}

std::expected<RunLog, LogReadError> ReadRunLog(const std::filesystem::path& path,
                                               std::stop_token stop) {
  const auto bytes = common::ReadRegularFile(path, kMaxLogBytes);
  if (!bytes) return std::unexpected(LogReadError{0, common::DescribeFileError(bytes.error())});
  const std::string_view text(reinterpret_cast<const char*>(bytes->data()), bytes->size());
  return ParseRunLog(text, path, std::move(stop));
}

std::string LogValueText(const LogColumn& column, double value) {
  if (column.format.empty()) return fmt::format("{}", value);
  if (column.kind == LogColumnKind::kHex) {
    return common::FormatPrintf(column.format, static_cast<std::uint32_t>(value));
  }
  if (column.format.find('f') != std::string::npos)
    return common::FormatPrintf(column.format, value);
  return common::FormatPrintf(column.format, static_cast<std::int32_t>(std::lround(value)));
}

std::string LogClockText(double seconds) {
  // The clock counts local seconds from a local midnight, so it reads as UTC.
  const auto whole = static_cast<std::time_t>(std::floor(seconds));
  std::tm parts{};
  gmtime_r(&whole, &parts);
  std::array<char, 32> text{};
  const std::size_t length = std::strftime(text.data(), text.size(), "%Y-%m-%d %H:%M:%S", &parts);
  return std::string(text.data(), length);
}

}  // namespace cw::monitor
