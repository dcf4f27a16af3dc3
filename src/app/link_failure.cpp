#include "app/link_failure.h"

#include "app/messages.h"
#include "link/link_status.h"

namespace cw::app {

std::string_view LinkFailureText(link::GaugeLink& link) {
  const link::LinkStatus status = link.link_status();
  if (status == link::LinkStatus::kConnected || status == link::LinkStatus::kAdapterNotAnswering) {
    // An adapter that answered nothing may have been unplugged; only a new open tells.
    const link::BusLockGuard bus(link.bus_lock());
    if (bus.owns() && link.EnsureConnected()) {
      return status == link::LinkStatus::kConnected ? messages::kExchangeFailed
                                                    : link::LinkStatusText(status);
    }
  }
  return link::LinkStatusText(link.link_status());
}

}  // namespace cw::app
