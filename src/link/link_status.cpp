#include "link/link_status.h"

#include "link/messages.h"

namespace cw::link {

std::string_view LinkStatusText(LinkStatus status) {
  switch (status) {
    case LinkStatus::kConnected:
      return messages::kUsbConnected;
    case LinkStatus::kNoAdapter:
      return messages::kUsbDisconnected;
    case LinkStatus::kNotResponding:
      return messages::kTargetNotResponding;
    case LinkStatus::kAdapterNotAnswering:
      return messages::kAdapterNotAnswering;
  }
  return messages::kUsbDisconnected;
}

}  // namespace cw::link
