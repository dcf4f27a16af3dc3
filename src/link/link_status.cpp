#include "link/link_status.h"

#include "link/messages.h"

namespace cw::link {

std::string_view LinkStatusText(LinkStatus status) {
  switch (status) {
    case LinkStatus::kConnected:
      return "USB Connected";
    case LinkStatus::kNoAdapter:
      return messages::kUsbDisconnected;
    case LinkStatus::kNotResponding:
      return "Target Board Not Responding";
    case LinkStatus::kAdapterNotAnswering:
      return messages::kAdapterNotAnswering;
  }
  return messages::kUsbDisconnected;
}

common::ErrorKind LinkErrorKind(LinkStatus status) {
  using common::ErrorKind;
  switch (status) {
    case LinkStatus::kNoAdapter:
      return ErrorKind::kNoAdapter;
    case LinkStatus::kAdapterNotAnswering:
      return ErrorKind::kAdapterNotAnswering;
    case LinkStatus::kNotResponding:
      return ErrorKind::kGaugeNotResponding;
    case LinkStatus::kConnected:
      break;
  }
  return ErrorKind::kFailed;
}

common::ErrorKind AdapterErrorKind(LinkStatus status) {
  return status == LinkStatus::kConnected ? common::ErrorKind::kAdapterNotAnswering
                                          : LinkErrorKind(status);
}

}  // namespace cw::link
