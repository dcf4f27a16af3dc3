#pragma once

#include <atomic>
#include <memory>

#include "common/front_end.h"
#include "link/gauge_link.h"
#include "monitor/comm_thread.h"
#include "monitor/data_log.h"
#include "monitor/local_time.h"
#include "monitor/sbs_session.h"
#include "monitor/scan_engine.h"

namespace cw::monitor {

// Everything the SBS page owns, wired together: the register table and its scan, the data log,
// the page's session and the scan worker. Start() is the page's creation (lists cleared, scanning
// enabled, a static refresh requested, the worker running); destroying the session stops the
// worker after its transaction in progress, then closes the log.
class MonitorSession {
 public:
  MonitorSession(link::GaugeLink& link, common::ProgressSink& progress,
                 common::MessageSink& messages, const std::atomic<bool>& calibration_busy,
                 const LocalTime& time);
  ~MonitorSession();

  void Start();
  bool running() const { return worker_ != nullptr; }

  ScanEngine& engine() { return engine_; }
  DataLog& log() { return log_; }
  SbsSession& sbs() { return sbs_; }
  // Null before Start().
  CCommThread* worker() { return worker_.get(); }

 private:
  ScanEngine engine_;
  DataLog log_;
  SbsSession sbs_;
  std::unique_ptr<CCommThread> worker_;  // last: it uses everything above
};

}  // namespace cw::monitor
