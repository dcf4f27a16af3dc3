#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "monitor/register_table.h"

namespace cw::presentation {

// The charge gauge beside the pages: remaining over full capacity, refreshed every 2 s.
class ChargeGauge {
 public:
  struct View {
    int position;      // 0..100 bar, the integer part
    std::string text;  // "%.1f%%"
  };
  // Raw register values; 0xFFFFFFFF (-1) is "not read". nullopt: nothing changes on screen.
  std::optional<View> Update(std::int64_t full_raw, std::int64_t remaining_raw);
  // The same from the rows "Real FullChargeCapacity" and "Real RemainingCapacity" of `table`.
  std::optional<View> Update(const monitor::RegisterTable& table);

 private:
  float last_shown_ = -1.0f;
};

}  // namespace cw::presentation
