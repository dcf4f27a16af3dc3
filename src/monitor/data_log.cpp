#include "monitor/data_log.h"

#include <fmt/format.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "common/file_output.h"
#include "common/printf_format.h"
#include "common/text.h"
#include "monitor/csv_text.h"
#include "monitor/messages.h"

namespace cw::monitor {
namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kDebugInfoName = "Gauge Debug Info";
constexpr std::size_t kColumnGap = 4;
constexpr std::size_t kDebugInfoHeadingGap = 81;
// Widths of the leading columns: their heading word plus eight spaces.
constexpr std::size_t kSampleWidth = 14;
constexpr std::size_t kStampWidth = 13;
constexpr std::size_t kElapsedWidth = 18;

void PadTo(std::string& line, std::size_t start, std::size_t width) {
  const std::size_t written = line.size() - start;
  if (written < width) line.append(width - written, ' ');
}

std::string TimeText(const std::tm& time, const char* format) {
  char text[64];
  const std::size_t length = std::strftime(text, sizeof text, format, &time);
  return std::string(text, length);
}

std::string ErrorText() { return std::strerror(errno); }

// The 32 bytes of the debug block, or a marker in place of each when it is not current: a reader
// that splits on spaces finds 32 fields either way.
std::string DebugInfoHex(const SbsRegisterDef& row, bool current) {
  std::string text;
  for (std::size_t i = 0; i < kDebugInfoLength; ++i) {
    const auto byte =
        i < row.value_text.size() ? static_cast<std::uint8_t>(row.value_text[i]) : std::uint8_t{0};
    text += current ? fmt::format("{:02X}", byte) : std::string(messages::kLogUnreadValue);
    if (i + 1 < kDebugInfoLength) text += ' ';
  }
  return text;
}

void NameOnce(std::vector<std::string>& names, std::string_view name) {
  if (std::find(names.begin(), names.end(), name) == names.end()) names.emplace_back(name);
}

// Whether `row` holds a current value, counted in `counted` either way.
bool CountValue(const RegisterTable& table, const SbsRegisterDef& row, LoggedValues& counted) {
  const bool current = table.Current(row);
  counted.Count(row.name, current);
  return current;
}

// Calls `f` for every row with its Log flag set, tables A, B, C in order.
template <typename F>
void ForEachLogged(const RegisterTable& table, F&& f) {
  for (TableId id : kScanTables) {
    for (const SbsRegisterDef& row : table.rows(id)) {
      if (row.log) f(row);
    }
  }
}

}  // namespace

void LoggedValues::Count(std::string_view row, bool read) {
  ++values;
  if (read) return;
  ++unread;
  NameOnce(unread_rows, row);
}

void LoggedValues::Add(const LoggedValues& other) {
  values += other.values;
  unread += other.unread;
  for (const std::string& row : other.unread_rows) NameOnce(unread_rows, row);
}

std::string LogVersionText(unsigned version_number) {
  std::string text = common::FormatPrintf("%03X", version_number);
  text.insert(1, ".");
  return text;
}

DataLog::DataLog(ScanEngine& engine, const LocalTime& time) : engine_(engine), time_(time) {}

DataLog::~DataLog() { StopLog(); }

std::expected<LoggedValues, std::string> DataLog::StartLog(const std::string& path,
                                                           int interval_seconds) {
  if (interval_seconds < kMinInterval || interval_seconds > kMaxInterval) {
    return std::unexpected(
        fmt::format("The logging interval must be 1 to 60 seconds, not {}.", interval_seconds));
  }
  // Only a regular file (or a new one) can hold the lines: a directory cannot be opened, and a
  // device would swallow them or never end.
  if (!common::CheckOutputTarget(path)) {
    return std::unexpected(fmt::format(
        "{} is a directory or a device, not a file a data log can be written to", path));
  }
  // A log of no register would hold only its sample numbers and times.
  bool any_logged = false;
  ForEachLogged(engine_.Snapshot(), [&](const SbsRegisterDef&) { any_logged = true; });
  if (!any_logged) return std::unexpected(std::string(messages::kLogNothingTicked));
  if (active()) StopLog();
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) {
    return std::unexpected(fmt::format(
        "Cannot create the data log file {}: {}. Logging has not started.", path, ErrorText()));
  }
  file_ = file;
  path_ = path;
  format_ = next_format_;
  interval_ = interval_seconds;
  sample_counter_ = 1;
  LoggedValues counted;
  if (auto written = Write(Header(counted)); !written) {
    return std::unexpected(std::move(written.error()));
  }
  return counted;
}

void DataLog::StopLog() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
  path_.clear();
  sample_counter_ = 1;
}

std::expected<LoggedValues, std::string> DataLog::WriteLogLine() {
  if (!active()) return std::unexpected(std::string("No data log is running."));
  LoggedValues counted;
  if (auto written = Write(DataLine(counted)); !written) {
    return std::unexpected(std::move(written.error()));
  }
  ++sample_counter_;
  return counted;
}

std::expected<void, std::string> DataLog::Write(std::string_view text) {
  // Flushed line by line: a log is read while it grows, and a crash must not lose it.
  const bool ok =
      std::fwrite(text.data(), 1, text.size(), file_) == text.size() && std::fflush(file_) == 0;
  if (ok) return {};
  const std::string reason = ErrorText();
  const std::string path = path_;
  StopLog();
  return std::unexpected(
      fmt::format("Writing the data log file {} failed: {}. Logging has stopped.", path, reason));
}

std::string DataLog::Header() const {
  LoggedValues counted;
  return Header(counted);
}

std::string DataLog::DataLine() const {
  LoggedValues counted;
  return DataLine(counted);
}

std::string DataLog::Header(LoggedValues& counted) const {
  const RegisterTable table = engine_.Snapshot();
  return format_ == LogFormat::kCsv ? CsvHeader(table) : TextHeader(table, counted);
}

std::string DataLog::DataLine(LoggedValues& counted) const {
  const RegisterTable table = engine_.Snapshot();
  return format_ == LogFormat::kCsv ? CsvDataLine(table, counted) : TextLine(table, counted);
}

std::string DataLog::TextHeader(const RegisterTable& table, LoggedValues& counted) const {
  std::string header =
      fmt::format("{}\tVersion: {}\t{}", "Cellwarden", LogVersionText(messages::kLogVersionNumber),
                  "Quillmarsh Electronic LTD.");
  header += kLineEnd;
  header += TimeText(time_.Now(), "%Y/%m/%d\t%H:%M:%S");
  header += kLineEnd;
  header += kLineEnd;
  for (const SbsRegisterDef& row : table.rows(TableId::kD)) {
    const bool current = CountValue(table, row, counted);
    header += fmt::format("{}: {}", CompactName(row.name),
                          current ? row.DisplayText() : messages::kLogUnreadValue);
    header += kLineEnd;
  }
  header += kLineEnd;
  header += "Sample        Stamp        Elapsed(s)        ";
  ForEachLogged(table, [&](const SbsRegisterDef& row) {
    header += CompactName(row.name);
    header.append(row.name == kDebugInfoName ? kDebugInfoHeadingGap : kColumnGap, ' ');
  });
  header += kLineEnd;
  return header;
}

std::string DataLog::TextLine(const RegisterTable& table, LoggedValues& counted) const {
  std::string line;
  std::size_t start = line.size();
  line += fmt::format("{}", sample_counter_);
  PadTo(line, start, kSampleWidth);
  start = line.size();
  line += TimeText(time_.Now(), "%H:%M:%S");
  PadTo(line, start, kStampWidth);
  start = line.size();
  line += fmt::format("{}", interval_ * sample_counter_);
  PadTo(line, start, kElapsedWidth);
  ForEachLogged(table, [&](const SbsRegisterDef& row) {
    const bool current = CountValue(table, row, counted);
    if (row.name == kDebugInfoName) {
      line += DebugInfoHex(row, current);
      return;
    }
    start = line.size();
    line += current ? row.DisplayText() : messages::kLogUnreadValue;
    PadTo(line, start, CompactName(row.name).size() + kColumnGap);
  });
  line += kLineEnd;
  return line;
}

std::string DataLog::CsvHeader(const RegisterTable& table) const {
  std::vector<std::string> fields(messages::kCsvLeadingHeadings.begin(),
                                  messages::kCsvLeadingHeadings.end());
  ForEachLogged(table, [&](const SbsRegisterDef& row) {
    const bool has_unit = !row.unit.empty() && row.unit != "-";
    fields.push_back(has_unit ? fmt::format("{} ({})", row.name, row.unit) : std::string(row.name));
  });
  return CsvLine(fields);
}

std::string DataLog::CsvDataLine(const RegisterTable& table, LoggedValues& counted) const {
  // The stamp carries the date (ISO 8601, local time): a log that runs past midnight still
  // sorts and plots in order.
  std::vector<std::string> fields = {fmt::format("{}", sample_counter_),
                                     TimeText(time_.Now(), "%Y-%m-%dT%H:%M:%S"),
                                     fmt::format("{}", interval_ * sample_counter_)};
  ForEachLogged(table, [&](const SbsRegisterDef& row) {
    // A value not read stays empty: a spreadsheet must not plot it as a 0 mV cell.
    if (!CountValue(table, row, counted)) {
      fields.emplace_back();
    } else if (row.name == kDebugInfoName) {
      fields.push_back(DebugInfoHex(row, true));
    } else {
      fields.emplace_back(row.DisplayText());
    }
  });
  return CsvLine(fields);
}

std::filesystem::path DataLogFilePath(const std::filesystem::path& chosen, LogFormat format) {
  const std::string_view extension = format == LogFormat::kCsv ? ".csv" : ".LOG";
  if (common::EqualsIgnoringCase(chosen.extension().string(), extension)) return chosen;
  std::filesystem::path path = chosen;
  path += std::string(extension);
  return path;
}

}  // namespace cw::monitor
