#include "monitor/monitor_session.h"

namespace cw::monitor {

MonitorSession::MonitorSession(link::GaugeLink& link, common::ProgressSink& progress,
                               common::MessageSink& messages,
                               const std::atomic<bool>& calibration_busy, const LocalTime& time)
    : engine_(link, progress, calibration_busy),
      log_(engine_, time),
      sbs_(engine_, log_, messages) {}

MonitorSession::~MonitorSession() {
  // The worker reports rows to the session: it goes first.
  worker_.reset();
  sbs_.StopLog();
}

void MonitorSession::Start() {
  if (worker_) return;
  sbs_.Start();
  worker_ = std::make_unique<CCommThread>(engine_);
}

}  // namespace cw::monitor
