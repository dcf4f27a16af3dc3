#pragma once

#include <atomic>
#include <condition_variable>
#include <expected>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "common/job_worker.h"
#include "link/adapter_connection.h"
#include "production/lane_sinks.h"
#include "production/pack_run.h"
#include "production/station.h"

// One lane of a station: an adapter, its Workbench and its worker, and where it stands. Private
// to the station.
namespace cw::production {

// One adapter as a lane sees it: the key it is known by (its serial number, or its node where
// it reports none or shares it with another of its kind) and the transport its lane drives it
// through.
struct LaneAdapter {
  std::string key;
  std::string label;
  link::AdapterChoice choice;
  std::vector<std::string> nodes;  // of its HID and bulk devices
  bool can_open = false;
  std::string problem;
};

// Every adapter attached to `host` now, one per serial number (see station_lane.cpp).
std::vector<LaneAdapter> SurveyAdapters(app::AdapterHost& host);

// What the lanes of one station share. The mutex guards every lane's view and busy flag and the
// counters; nothing is notified and no bus transaction runs while it is held.
struct StationShared {
  std::shared_ptr<app::AdapterHost> host;
  std::shared_ptr<const PreparedRecipe> recipe;
  RecipeMaterial material;
  std::shared_ptr<RecordsStore> records;
  StationOptions options;
  std::string host_name;

  mutable std::mutex mutex;
  std::condition_variable idle;  // a lane's run job ended
  int passed = 0;
  int failed = 0;
  int stopped = 0;
  std::optional<TimePoint> first_start;
  bool stop_requested = false;
  common::Observers<> changes;
};

class Lane final : private RunReport {
 public:
  Lane(StationShared& shared, std::string serial, std::string label);
  ~Lane() override;
  Lane(const Lane&) = delete;
  Lane& operator=(const Lane&) = delete;

  // The lane's Workbench: a lent one on the same adapter, or one of its own, started. Why the
  // adapter cannot be used otherwise.
  std::expected<void, std::string> Open(const LaneAdapter& adapter);

  const std::string& serial() const { return serial_; }
  // A run (or, in loop mode, runs until a stop) on the lane's worker; false when it runs already
  // or its adapter is gone.
  bool Start();
  // The running job stops at its next safe point.
  void RequestStop();
  // The adapter was pulled: a running run fails with "adapter unplugged", the lane turns kGone.
  void MarkGone();
  // The adapter is back: the lane is idle again (its link reopens by itself).
  void MarkBack();
  bool gone() const { return unplugged_; }

  // With shared.mutex held.
  const LaneView& view() const { return view_; }
  bool busy() const { return busy_; }
  // Joins the worker: the lane's job has ended once this returns.
  void Shutdown() { worker_.Shutdown(); }

 private:
  void Job(std::stop_token stop);
  void RunOnce(const std::stop_token& stop);
  // Polls the gauge until it answers (`present`) or stops answering, steadily; false on a stop
  // or an unplugged adapter.
  bool WaitForPack(bool present, const std::stop_token& stop);
  void Ended();
  // Changes the view under the mutex, then tells the listeners.
  template <typename F>
  void Change(F&& change) {
    {
      std::lock_guard lock(shared_.mutex);
      change(view_);
    }
    shared_.changes.Notify();
  }

  void RunBegun(std::int64_t run) override;
  void StepBegun(std::optional<StepKind> step, int number, int attempt) override;
  void Activity(std::string activity) override;
  void PackSerial(std::int64_t serial) override;

  StationShared& shared_;
  const std::string serial_;
  LaneMessages messages_;
  LaneProgress progress_;
  std::unique_ptr<app::Workbench> owned_;
  app::Workbench* bench_ = nullptr;
  std::atomic<bool> unplugged_{false};
  LaneView view_;                             // guarded by shared_.mutex
  bool busy_ = false;                         // guarded by shared_.mutex
  LanePhase last_result_ = LanePhase::kIdle;  // the lane's worker's own
  common::JobWorker worker_;                  // last: it stops before the rest goes
};

}  // namespace cw::production
