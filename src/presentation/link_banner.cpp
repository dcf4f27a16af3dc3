#include "presentation/link_banner.h"

#include <fmt/format.h>

#include "presentation/messages.h"

namespace cw::presentation {

void LinkBanner::Notice() { noticed_ = true; }

std::string LinkBanner::Text(link::LinkStatus status, bool in_boot_loader) {
  switch (status) {
    case link::LinkStatus::kConnected:
      answered_ = true;
      noticed_ = false;
      return {};
    case link::LinkStatus::kNoAdapter:
    case link::LinkStatus::kAdapterNotAnswering:
      if (!noticed_ && !answered_) return {};
      return fmt::format(
          "{} ({}). Nothing is read until it answers again: values it could not read are left "
          "blank, "
          "and the chart leaves a gap.",
          status == link::LinkStatus::kNoAdapter ? "The adapter went away"
                                                 : "The adapter stopped answering",
          link::LinkStatusText(status));
    case link::LinkStatus::kNotResponding:
      // The adapter answers; a gauge that refuses is the status bar's to say, unless it waits
      // in its boot loader: then only one thing recovers it.
      if (in_boot_loader) return std::string(messages::kBootLoaderBanner);
      break;
  }
  return {};
}

}  // namespace cw::presentation
