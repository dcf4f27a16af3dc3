#pragma once

#include <string>

#include "link/link_status.h"

namespace cw::presentation {

// The main window's banner for an adapter link that stopped working, in place of a box that
// stops the engineer: one sentence for each way the adapter can fail (it stopped answering, or
// went away), the same every time, shown until a transaction succeeds again. Before the first
// success only a notice of the link shows it: a start without an adapter is the status bar's to
// say. Used on one thread (the window's).
class LinkBanner {
 public:
  // A notice of the link arrived. Its words name the link's internals (node, exchange); the
  // banner says what the engineer sees and can act on.
  void Notice();
  // The banner for the link's status now (`in_boot_loader`: the gauge was found waiting in its
  // boot loader); empty when there is none to show.
  std::string Text(link::LinkStatus status, bool in_boot_loader = false);

 private:
  bool noticed_ = false;
  bool answered_ = false;
};

}  // namespace cw::presentation
