#include "app/link_failure.h"

#include "app/messages.h"
#include "link/link_status.h"

namespace cw::app {

std::string_view LinkFailureText(link::GaugeLink& link) {
  if (link.link_status() == link::LinkStatus::kConnected) {
    const link::BusLockGuard bus(link.bus_lock());
    if (bus.owns() && link.EnsureConnected()) return messages::kExchangeFailed;
  }
  return link::StatusBarText(link.link_status());
}

}  // namespace cw::app
