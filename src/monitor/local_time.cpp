#include "monitor/local_time.h"

namespace cw::monitor {

std::tm SystemLocalTime::Now() const {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return local;
}

}  // namespace cw::monitor
