#include "monitor/csv_text.h"

namespace cw::monitor {

std::string CsvField(std::string_view text) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  quoted += '"';
  return quoted;
}

std::string CsvLine(std::span<const std::string> fields) {
  std::string line;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i != 0) line += ',';
    line += CsvField(fields[i]);
  }
  line += "\r\n";
  return line;
}

}  // namespace cw::monitor
