#pragma once

#include <span>
#include <string>
#include <string_view>

// Comma-separated text for spreadsheets: the CSV data log and the chart export write the same
// way, so a file from either opens alike.
namespace cw::monitor {

// One field, quoted when it holds a comma, a double quote or a line break.
std::string CsvField(std::string_view text);
// The fields joined by commas, ended by CR LF.
std::string CsvLine(std::span<const std::string> fields);

}  // namespace cw::monitor
