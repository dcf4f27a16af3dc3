#include "monitor/comm_thread.h"

namespace cw::monitor {

CCommThread::CCommThread(ScanEngine& engine)
    : engine_(engine), clock_(engine.link().clock()), gate_(stop_source_.get_token()) {
  worker_.Post(
      [this](std::stop_token stop) {
        const std::stop_callback pass_on(stop, [this] {
          stop_source_.request_stop();
          gate_.WakeForStop();
        });
        Run(stop_source_.get_token());
      },
      [this](common::JobEnd) { ended_.Notify(); });
}

CCommThread::~CCommThread() { worker_.Shutdown(); }

void CCommThread::Pause() { gate_.Pause(); }

void CCommThread::Resume() { gate_.Resume(); }

void CCommThread::RequestStop() { worker_.RequestStop(); }

void CCommThread::WaitUntilStopped() { worker_.WaitUntilIdle(); }

void CCommThread::Run(std::stop_token stop) {
  common::Millis last_timer = clock_.Now();
  while (!stop.stop_requested()) {
    // A paused worker parks here too, so an idle scan does not spin while paused.
    if (!gate_.BeforeTransaction()) break;
    gate_.AfterTransaction();
    engine_.ScanPass(gate_);
    ++passes_;
    if (stop.stop_requested()) break;
    if (clock_.Now() - last_timer >= kStaticRefreshPeriod) {
      last_timer = clock_.Now();
      engine_.RequestStaticRefresh();
    }
    if (engine_.static_refresh_requested()) {
      engine_.RefreshStaticData(gate_);
      engine_.ClearStaticRefreshRequest();
    }
  }
}

}  // namespace cw::monitor
