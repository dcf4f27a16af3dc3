#pragma once

#include <string>

#include "link/link_status.h"

namespace cw::app {

// The main window's banner for an adapter link that stopped working, in place of a box that
// stops the engineer: why it failed (the link's last notice, or that the adapter went away),
// shown until a transaction succeeds again. Before the first success only a notice shows it: a
// start without an adapter is the status bar's to say. Used on one thread (the window's).
class LinkBanner {
 public:
  // A notice of the link arrived.
  void Notice(std::string reason);
  // The banner for the link's status now; empty when there is none to show.
  std::string Text(link::LinkStatus status);

 private:
  std::string reason_;
  bool answered_ = false;
};

}  // namespace cw::app
