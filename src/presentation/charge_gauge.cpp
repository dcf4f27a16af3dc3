#include "presentation/charge_gauge.h"

#include <fmt/format.h>

namespace cw::presentation {
namespace {

constexpr std::uint32_t kNotRead = 0xFFFFFFFFu;
constexpr std::string_view kFullCapacityRow = "Real FullChargeCapacity";
constexpr std::string_view kRemainingCapacityRow = "Real RemainingCapacity";

}  // namespace

std::optional<ChargeGauge::View> ChargeGauge::Update(std::int64_t full_raw,
                                                     std::int64_t remaining_raw) {
  const auto full = static_cast<std::uint32_t>(full_raw);
  const auto remaining = static_cast<std::uint32_t>(remaining_raw);
  if (full == 0 || full == kNotRead) {
    if (last_shown_ == 0.0f) return std::nullopt;
    last_shown_ = 0.0f;
    return View{0, fmt::format("{:.1f}%", 0.0)};
  }
  if (remaining == kNotRead) return std::nullopt;
  const long double percentage = static_cast<long double>(remaining) * 100.0L / full;
  if (static_cast<float>(percentage) == last_shown_) return std::nullopt;
  last_shown_ = static_cast<float>(percentage);
  return View{static_cast<int>(last_shown_), fmt::format("{:.1f}%", last_shown_)};
}

std::optional<ChargeGauge::View> ChargeGauge::Update(const monitor::RegisterTable& table) {
  return Update(table.RawValueOf(kFullCapacityRow), table.RawValueOf(kRemainingCapacityRow));
}

}  // namespace cw::presentation
