#include "gui/gauge_worker.h"

namespace cw::gui {

GaugeWorker::~GaugeWorker() { Stop(); }

void GaugeWorker::Started() {
  if (pending_++ == 0) emit busyChanged(true);
}

void GaugeWorker::Finished() {
  if (--pending_ == 0) emit busyChanged(false);
}

}  // namespace cw::gui
