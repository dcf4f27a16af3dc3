#include "app/link_banner.h"

#include <fmt/format.h>

#include "app/messages.h"

namespace cw::app {

void LinkBanner::Notice(std::string reason) { reason_ = std::move(reason); }

std::string LinkBanner::Text(link::LinkStatus status) {
  switch (status) {
    case link::LinkStatus::kConnected:
      answered_ = true;
      reason_.clear();
      return {};
    case link::LinkStatus::kNoAdapter:
    case link::LinkStatus::kAdapterNotAnswering:
      if (reason_.empty() && !answered_) return {};
      return fmt::format(messages::kLinkBanner, reason_.empty() ? messages::kAdapterLost : reason_,
                         link::StatusBarText(status));
    case link::LinkStatus::kNotResponding:
      // The adapter answers; a gauge that refuses is the status bar's to say.
      break;
  }
  return {};
}

}  // namespace cw::app
