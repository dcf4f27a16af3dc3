#include "dataflash/row_filter.h"

#include <algorithm>

#include "common/parse.h"
#include "common/text.h"

namespace cw::dataflash {
namespace {

constexpr std::size_t kListsPerTab = kListCount / kTabCount;

}  // namespace

bool NameMatches(std::string_view name, std::string_view filter) {
  const std::string_view wanted = common::TrimBlanks(filter);
  if (wanted.empty()) return true;
  return !std::ranges::search(name, wanted, [](char a, char b) {
            return common::LowerAscii(a) == common::LowerAscii(b);
          }).empty();
}

std::array<std::size_t, kTabCount> MatchesPerTab(std::string_view filter) {
  std::array<std::size_t, kTabCount> counts{};
  for (std::size_t row = 0; row < kParamCount; ++row) {
    if (NameMatches(kParams[row].name, filter)) ++counts[ListOfRow(row) / kListsPerTab];
  }
  return counts;
}

std::size_t TabToShow(std::string_view filter, std::size_t current) {
  const auto counts = MatchesPerTab(filter);
  if (current < kTabCount && counts[current] > 0) return current;
  const auto first = std::ranges::find_if(counts, [](std::size_t count) { return count > 0; });
  return first == counts.end() ? current : static_cast<std::size_t>(first - counts.begin());
}

}  // namespace cw::dataflash
