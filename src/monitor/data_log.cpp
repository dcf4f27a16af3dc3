#include "monitor/data_log.h"

#include <fmt/format.h>

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
// A log whose value text is this was not read.
constexpr std::string_view kFailedValue = "0";

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

std::string DebugInfoHex(const SbsRegisterDef& row) {
  std::string text;
  for (std::size_t i = 0; i < kDebugInfoLength; ++i) {
    const auto byte =
        i < row.value_text.size() ? static_cast<std::uint8_t>(row.value_text[i]) : std::uint8_t{0};
    text += fmt::format("{:02X}", byte);
    if (i + 1 < kDebugInfoLength) text += ' ';
  }
  return text;
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

std::string LogVersionText(unsigned version_number) {
  std::string text = common::FormatPrintf("%03X", version_number);
  text.insert(1, ".");
  return text;
}

DataLog::DataLog(ScanEngine& engine, const LocalTime& time) : engine_(engine), time_(time) {}

DataLog::~DataLog() { StopLog(); }

std::expected<void, std::string> DataLog::StartLog(const std::string& path, int interval_seconds) {
  if (interval_seconds < kMinInterval || interval_seconds > kMaxInterval) {
    return std::unexpected(fmt::format(fmt::runtime(messages::kLogBadInterval), interval_seconds));
  }
  // Only a regular file (or a new one) can hold the lines: a directory cannot be opened, and a
  // device would swallow them or never end.
  if (!common::CheckOutputTarget(path)) {
    return std::unexpected(fmt::format(fmt::runtime(messages::kLogNotAFile), path));
  }
  if (active()) StopLog();
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) {
    return std::unexpected(
        fmt::format(fmt::runtime(messages::kLogCannotCreate), path, ErrorText()));
  }
  file_ = file;
  path_ = path;
  format_ = next_format_;
  interval_ = interval_seconds;
  sample_counter_ = 1;
  return Write(Header());
}

void DataLog::StopLog() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
  path_.clear();
  sample_counter_ = 1;
}

std::expected<int, std::string> DataLog::WriteLogLine() {
  if (!active()) return std::unexpected(std::string(messages::kLogNotActive));
  int failed_fields = 0;
  if (auto written = Write(DataLine(&failed_fields)); !written) {
    return std::unexpected(std::move(written.error()));
  }
  ++sample_counter_;
  return failed_fields;
}

std::expected<void, std::string> DataLog::Write(std::string_view text) {
  // Flushed line by line: a log is read while it grows, and a crash must not lose it.
  const bool ok =
      std::fwrite(text.data(), 1, text.size(), file_) == text.size() && std::fflush(file_) == 0;
  if (ok) return {};
  const std::string reason = ErrorText();
  const std::string path = path_;
  StopLog();
  return std::unexpected(fmt::format(fmt::runtime(messages::kLogWriteFailed), path, reason));
}

std::string DataLog::Header() const {
  return format_ == LogFormat::kCsv ? CsvHeader() : TextHeader();
}

std::string DataLog::DataLine(int* failed_fields) const {
  return format_ == LogFormat::kCsv ? CsvDataLine(failed_fields) : TextLine(failed_fields);
}

std::string DataLog::TextHeader() const {
  std::string header =
      fmt::format("{}\tVersion: {}\t{}", messages::kLogProductName,
                  LogVersionText(messages::kLogVersionNumber), messages::kLogMakerText);
  header += kLineEnd;
  header += TimeText(time_.Now(), "%Y/%m/%d\t%H:%M:%S");
  header += kLineEnd;
  header += kLineEnd;
  engine_.WithTable([&](const RegisterTable& table) {
    for (const SbsRegisterDef& row : table.rows(TableId::kD)) {
      header += fmt::format("{}: {}", CompactName(row.name), row.DisplayText());
      header += kLineEnd;
    }
    header += kLineEnd;
    header += messages::kLogColumnHeading;
    ForEachLogged(table, [&](const SbsRegisterDef& row) {
      header += CompactName(row.name);
      header.append(row.name == kDebugInfoName ? kDebugInfoHeadingGap : kColumnGap, ' ');
    });
  });
  header += kLineEnd;
  return header;
}

std::string DataLog::TextLine(int* failed_fields) const {
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
  engine_.WithTable([&](const RegisterTable& table) {
    ForEachLogged(table, [&](const SbsRegisterDef& row) {
      if (row.name == kDebugInfoName) {
        line += DebugInfoHex(row);
        return;
      }
      start = line.size();
      const bool failed = row.value_text == kFailedText;
      if (failed && failed_fields != nullptr) ++*failed_fields;
      line += failed ? kFailedValue : std::string_view(row.value_text);
      PadTo(line, start, CompactName(row.name).size() + kColumnGap);
    });
  });
  line += kLineEnd;
  return line;
}

std::string DataLog::CsvHeader() const {
  std::vector<std::string> fields(messages::kCsvLeadingHeadings.begin(),
                                  messages::kCsvLeadingHeadings.end());
  engine_.WithTable([&](const RegisterTable& table) {
    ForEachLogged(table, [&](const SbsRegisterDef& row) {
      const bool has_unit = !row.unit.empty() && row.unit != "-";
      fields.push_back(has_unit ? fmt::format("{} ({})", row.name, row.unit)
                                : std::string(row.name));
    });
  });
  return CsvLine(fields);
}

std::string DataLog::CsvDataLine(int* failed_fields) const {
  std::vector<std::string> fields = {fmt::format("{}", sample_counter_),
                                     TimeText(time_.Now(), "%H:%M:%S"),
                                     fmt::format("{}", interval_ * sample_counter_)};
  engine_.WithTable([&](const RegisterTable& table) {
    ForEachLogged(table, [&](const SbsRegisterDef& row) {
      if (row.name == kDebugInfoName) {
        fields.push_back(DebugInfoHex(row));
        return;
      }
      // A failed read stays empty: a spreadsheet must not plot it as a 0 mV cell.
      const bool failed = row.value_text == kFailedText;
      if (failed && failed_fields != nullptr) ++*failed_fields;
      fields.emplace_back(row.ShownText());
    });
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
