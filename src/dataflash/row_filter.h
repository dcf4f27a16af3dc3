#pragma once

#include <array>
#include <cstddef>
#include <string_view>

#include "dataflash/parameter_table.h"

// The data flash page's filter box: the rows whose name holds the typed text, without regard to
// case, on every tab at once.
namespace cw::dataflash {

// Whether `name` holds `filter`; blanks around the filter do not count, and an empty filter
// matches every name.
bool NameMatches(std::string_view name, std::string_view filter);

// How many rows of each tab the filter leaves.
std::array<std::size_t, kTabCount> MatchesPerTab(std::string_view filter);

// The tab to show while filtering: `current` as long as it holds a match, else the first tab
// that does, else `current`.
std::size_t TabToShow(std::string_view filter, std::size_t current);

}  // namespace cw::dataflash
