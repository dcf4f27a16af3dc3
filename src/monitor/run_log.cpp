#include "monitor/run_log.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
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
// How often a long file looks at its stop token.
constexpr std::size_t kRowsBetweenStopChecks = 4096;
constexpr std::string_view kDebugInfoName = "Gauge Debug Info";
constexpr std::string_view kHeaderStart = "Cellwarden\tVersion:";
constexpr std::string_view kCsvHeaderStart = "Sample,Stamp,Elapsed(s)";

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
      !ParseWhole(field.substr(8, 2), day)) {
    return std::nullopt;
  }
  const std::chrono::year_month_day date{std::chrono::year(year), std::chrono::month(month),
                                         std::chrono::day(day)};
  if (!date.ok()) return std::nullopt;
  return static_cast<double>(std::chrono::sys_days(date).time_since_epoch().count());
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

// The lines of a text or of a file read piece by piece, CR LF or LF ended. A line stays valid
// until the next one is asked for. What follows the last line end is reported apart.
class Lines {
 public:
  explicit Lines(std::string_view text) : data_(text) {}
  explicit Lines(std::FILE* file) : file_(file), buffer_(kChunk) {}

  // The next whole line, or nothing at the end.
  std::optional<std::string_view> Next() {
    while (true) {
      const std::size_t end = data_.find('\n', at_);
      if (end != std::string_view::npos) {
        std::string_view line = data_.substr(at_, end - at_);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        at_ = end + 1;
        ++number_;
        return line;
      }
      if (!Refill()) break;
    }
    partial_ = at_ < data_.size();
    at_ = data_.size();
    return std::nullopt;
  }
  std::size_t number() const { return number_; }
  // The text ended inside a line.
  bool partial() const { return partial_; }
  // The file could not be read to its end: the system's words.
  const std::string& failure() const { return failure_; }

 private:
  // Big enough that a read costs little next to parsing it, small enough to stay in the cache.
  static constexpr std::size_t kChunk = std::size_t{1} << 20;

  // The rest of the current piece followed by the next one.
  bool Refill() {
    if (file_ == nullptr) return false;
    const std::size_t rest = data_.size() - at_;
    if (rest > 0) std::memmove(buffer_.data(), data_.data() + at_, rest);
    // A line longer than the piece grows it.
    if (buffer_.size() - rest < kChunk / 2) buffer_.resize(buffer_.size() * 2);
    const std::size_t got = std::fread(buffer_.data() + rest, 1, buffer_.size() - rest, file_);
    if (got == 0 && std::ferror(file_)) failure_ = std::strerror(errno);
    data_ = std::string_view(buffer_.data(), rest + got);
    at_ = 0;
    return got > 0;
  }

  std::string_view data_;
  std::FILE* file_ = nullptr;
  std::vector<char> buffer_;
  std::size_t at_ = 0;
  std::size_t number_ = 0;
  bool partial_ = false;
  std::string failure_;
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

// The fields of a line split at runs of spaces, one after the other; empty past the last.
class FieldCursor {
 public:
  explicit FieldCursor(std::string_view line) : at_(line.data()), end_(at_ + line.size()) {}
  std::string_view Next() {
    while (at_ != end_ && (*at_ == ' ' || *at_ == '\t')) ++at_;
    const char* start = at_;
    while (at_ != end_ && *at_ != ' ' && *at_ != '\t') ++at_;
    return {start, static_cast<std::size_t>(at_ - start)};
  }

 private:
  const char* at_;
  const char* end_;
};

bool IsHexByte(std::string_view field) {
  return !field.empty() && field.size() <= 2 && std::all_of(field.begin(), field.end(), [](char c) {
    return std::isxdigit(static_cast<unsigned char>(c));
  });
}

// A decimal number. Most logged values are whole numbers: those are read without the general
// conversion, which costs several times more.
bool ParseNumber(std::string_view field, double& value) {
  const char* at = field.data();
  const char* end = at + field.size();
  const bool negative = at != end && *at == '-';
  if (negative) ++at;
  if (at != end && end - at <= 15) {
    long long whole = 0;
    const char* digit = at;
    for (; digit != end && *digit >= '0' && *digit <= '9'; ++digit)
      whole = whole * 10 + (*digit - '0');
    if (digit == end) {
      value = static_cast<double>(negative ? -whole : whole);
      return true;
    }
  }
  const auto [stop, error] = std::from_chars(field.data(), end, value);
  return error == std::errc() && stop == end && std::isfinite(value);
}

class Reader {
 public:
  // `bytes`: the size of what is read, to make room for its rows at once.
  Reader(Lines lines, std::size_t bytes, const std::filesystem::path& path, std::stop_token stop)
      : lines_(std::move(lines)), bytes_(bytes), stop_(std::move(stop)) {
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
      return Refuse(
          1,
          "not a data log: a .LOG starts with \"Cellwarden<TAB>Version:\", a CSV log with "
          "\"Sample,Stamp,Elapsed(s)\"");
    }
    if (!lines_.failure().empty()) {
      return std::unexpected(
          LogReadError{0, fmt::format(text::kReadFailed, log_.path.string(), lines_.failure())});
    }
    if (!read) return std::unexpected(std::move(error_));
    log_.incomplete_last_line = lines_.partial();
    return std::move(log_);
  }

 private:
  bool Fail(std::size_t line, std::string message) {
    error_.line = line;
    error_.message = fmt::format("{} line {}: {}", log_.path.string(), line, message);
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
    if (!line) Fail(lines_.number() + 1, fmt::format("the file ends before its {}", what));
    return line;
  }

  // The .LOG: product line (already read), start date and time, an empty line, the static data up
  // to an empty line, the column heading, the data lines.
  bool ReadText() {
    const auto start = Needed("start time");
    if (!start) return false;
    const std::size_t tab = start->find('\t');
    const auto date = Date(start->substr(0, tab), '/');
    const auto time =
        tab == std::string_view::npos ? std::nullopt : TimeOfDay(start->substr(tab + 1));
    if (!date || !time)
      return Fail(lines_.number(),
                  std::string("the start time should read yyyy/mm/dd<TAB>hh:mm:ss"));
    day_ = *date * kDay;
    previous_time_of_day_ = *time;
    if (const auto blank = Needed(text::kHeadingWhat); !blank) return false;
    while (true) {
      const auto line = Needed(text::kHeadingWhat);
      if (!line) return false;
      if (line->empty()) break;
      const std::size_t colon = line->find(": ");
      if (colon == std::string_view::npos) {
        return Fail(
            lines_.number(),
            std::string(
                "a static data line should read \"Name: value\" (an empty line ends them)"));
      }
      log_.static_data.emplace_back(line->substr(0, colon), line->substr(colon + 2));
    }
    const auto heading = Needed(text::kHeadingWhat);
    if (!heading) return false;
    SplitSpaces(*heading, fields_);
    if (fields_.size() < 3 || fields_[0] != "Sample" || fields_[1] != "Stamp" ||
        fields_[2] != "Elapsed(s)") {
      return Fail(lines_.number(),
                  std::string("the column heading should start with Sample, Stamp and Elapsed(s)"));
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
    bool reserved = false;
    while (const auto line = lines_.Next()) {
      if (line->empty()) continue;
      if (Stopped()) return false;
      if (!reserved) Reserve(*line);
      reserved = true;
      if (!ReadTextRow(*line)) return false;
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
    bool reserved = false;
    while (const auto line = lines_.Next()) {
      if (line->empty()) continue;
      if (Stopped()) return false;
      if (!reserved) Reserve(*line);
      reserved = true;
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
      if (!date || !time)
        return Fail(lines_.number(),
                    fmt::format("\"{}\" is no time stamp (yyyy-mm-ddThh:mm:ss)", stamp));
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

  // One data line of a .LOG, its fields taken as they come: a day of them is read at once.
  bool ReadTextRow(std::string_view line) {
    FieldCursor fields(line);
    const std::string_view sample = fields.Next();
    if (sample.empty()) return true;  // only spaces
    const std::string_view stamp = fields.Next();
    if (fields.Next().empty()) return WrongFieldCount(line);
    const auto time = TimeOfDay(stamp);
    if (!time)
      return Fail(lines_.number(), fmt::format("\"{}\" is no time of day (hh:mm:ss)", stamp));
    if (*time < previous_time_of_day_ - kMidnightStep) day_ += kDay;
    previous_time_of_day_ = *time;
    AddTime(day_ + *time);
    for (std::size_t c = 0; c < log_.columns.size(); ++c) {
      LogColumn& column = log_.columns[c];
      const std::string_view field = fields.Next();
      if (field.empty()) return WrongFieldCount(line);
      if (widths_[c] > 1) {
        // The debug block: a marker or a hex byte in each of its fields.
        const bool unread = field == messages::kLogUnreadValue;
        for (std::size_t i = 1; i < widths_[c]; ++i) {
          const std::string_view byte = fields.Next();
          if (byte.empty()) return WrongFieldCount(line);
          if (!unread && !IsHexByte(byte)) return BadValue(column, byte);
        }
        if (!unread && !IsHexByte(field)) return BadValue(column, field);
        column.values.push_back(unread ? kNaN : 0);
      } else if (field == messages::kLogUnreadValue) {
        column.values.push_back(kNaN);
      } else if (!AddNumber(column, field)) {
        return false;
      }
    }
    if (!fields.Next().empty()) return WrongFieldCount(line);
    return true;
  }

  bool WrongFieldCount(std::string_view line) {
    SplitSpaces(line, fields_);
    return Fail(lines_.number(), fmt::format(text::kFieldCount, fields_.size(), expected_fields_));
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
    if (!ParseNumber(field, value)) return BadValue(column, field);
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

  // Room for the rows a file of `bytes_` holds when its lines are like `line`.
  void Reserve(std::string_view line) {
    const std::size_t rows = bytes_ / (line.size() + 2) + 1;
    // The first line is among the shortest: its sample number and stamp have the fewest digits.
    const std::size_t room = rows + rows / 16;
    log_.times.reserve(room);
    for (LogColumn& column : log_.columns) column.values.reserve(room);
  }

  Lines lines_;
  std::size_t bytes_ = 0;
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
  return Reader(Lines(text), text.size(), path, std::move(stop)).Read();
}

std::expected<RunLog, LogReadError> ReadRunLog(const std::filesystem::path& path,
                                               std::stop_token stop) {
  const auto file = common::OpenRegularFile(path);
  if (!file) return std::unexpected(LogReadError{0, common::DescribeFileError(file.error())});
  return Reader(Lines(file->file.get()), file->size, path, std::move(stop)).Read();
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
