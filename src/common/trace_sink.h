#pragma once

#include <string_view>

namespace cw::common {

// One line per report, packet or event, prefixed by the layer that wrote it ("hid", "bulk",
// "sim", ...). Front ends decide where it goes (--trace writes it to stderr).
class TraceSink {
 public:
  virtual ~TraceSink() = default;
  virtual void Trace(std::string_view layer, std::string_view text) = 0;
};

}  // namespace cw::common
