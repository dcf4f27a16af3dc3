#pragma once

#include <cstdio>
#include <expected>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "monitor/local_time.h"
#include "monitor/scan_engine.h"

namespace cw::monitor {

// The .LOG text of the original tool, or comma-separated values with one header row for
// spreadsheets (same columns, the units in the heading, a failed read left empty).
enum class LogFormat { kText, kCsv };

// The values one write put in the file (a header's static data, a line's logged rows), and
// those among them that were not current: written as "NaN" in a .LOG (every byte of the debug
// block), left empty in a CSV, never as a value a reader could take for a reading.
struct LoggedValues {
  int values = 0;
  int unread = 0;
  // The rows whose value was not read, each named once, in the order the file first has them.
  std::vector<std::string> unread_rows;

  void Count(std::string_view row, bool read);
  void Add(const LoggedValues& other);
  bool operator==(const LoggedValues&) const = default;
};

// The data log: a text file with a short header and one line per timer tick holding the value
// text of every row whose Log flag is set. It reads nothing from the gauge; the values are the
// scan's. The front end owns the timer and has the page write a line every interval. Failures
// come back as the text that says why; the page shows them.
class DataLog {
 public:
  static constexpr int kMinInterval = 1;
  static constexpr int kMaxInterval = 60;
  static constexpr int kDefaultInterval = 2;

  DataLog(ScanEngine& engine, const LocalTime& time);
  ~DataLog();
  DataLog(const DataLog&) = delete;
  DataLog& operator=(const DataLog&) = delete;

  // Creates (or truncates) `path` and writes the header. A file that cannot be created, or an
  // interval outside 1 to 60 s, leaves the log idle. A start while logging closes the previous
  // file first. A log may start while the adapter is lost: what was not read is marked so.
  std::expected<LoggedValues, std::string> StartLog(const std::string& path, int interval_seconds);
  void StopLog();
  // The format of the next StartLog; a log already running keeps its own.
  void SetFormat(LogFormat format) { next_format_ = format; }
  LogFormat format() const { return format_; }
  // One data line, from the table's snapshot: a value counts as read only while it is current.
  // A failed write stops logging.
  std::expected<LoggedValues, std::string> WriteLogLine();

  bool active() const { return file_ != nullptr; }
  int interval() const { return interval_; }
  int sample_counter() const { return sample_counter_; }
  const std::string& path() const { return path_; }

  // The header and a data line as they are written (CR LF line ends).
  std::string Header() const;
  std::string DataLine() const;

 private:
  std::string Header(LoggedValues& counted) const;
  std::string DataLine(LoggedValues& counted) const;
  std::string TextHeader(const RegisterTable& table, LoggedValues& counted) const;
  std::string TextLine(const RegisterTable& table, LoggedValues& counted) const;
  std::string CsvHeader(const RegisterTable& table) const;
  std::string CsvDataLine(const RegisterTable& table, LoggedValues& counted) const;
  std::expected<void, std::string> Write(std::string_view text);

  ScanEngine& engine_;
  const LocalTime& time_;
  std::string path_;
  std::FILE* file_ = nullptr;
  int interval_ = kDefaultInterval;
  int sample_counter_ = 1;
  LogFormat format_ = LogFormat::kText;
  LogFormat next_format_ = LogFormat::kText;
};

// The file a log chosen as `chosen` is written to: the name as chosen (file systems here are
// case-sensitive) with the format's extension (".LOG" or ".csv") appended unless it already ends
// in it, in any case.
std::filesystem::path DataLogFilePath(const std::filesystem::path& chosen, LogFormat format);

// "3.07" from 0x307.
std::string LogVersionText(unsigned version_number);

}  // namespace cw::monitor
