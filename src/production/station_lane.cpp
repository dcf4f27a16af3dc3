#include "production/station_lane.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>

#include "app/workbench.h"
#include "production/messages.h"

namespace cw::production {

namespace {

// How often a waiting lane asks whether a pack is there, and how many answers in a row (or
// silences) make a pack on (or off): a pack being pushed into its fixture may answer once and
// drop again.
constexpr common::Millis kPollInterval{250};
constexpr common::Millis kStopSlice{50};
constexpr int kSteadyPolls = 2;

// Whether `bench` drives `adapter`: a front end's Workbench lent to the station, opened on that
// adapter by name or by the transport rules.
bool Drives(app::Workbench& bench, const LaneAdapter& adapter) {
  const link::AdapterConnection& connection = bench.link().connection();
  if (connection.choice().key == adapter.key) return true;
  return connection.connected() &&
         std::ranges::find(adapter.nodes, connection.adapter_node()) != adapter.nodes.end();
}

// The simulated set (and some real adapters) show one adapter as a HID and a bulk device with
// the same serial number: that is one adapter and one lane, on the transport the device string
// names, on the first transport otherwise.
std::vector<LaneAdapter> AdaptersBySerial(const app::AdapterList& list,
                                          std::optional<link::Transport> preferred) {
  const link::Transport wanted = preferred.value_or(link::kFirstTransport);
  std::vector<LaneAdapter> seen;
  for (const link::AdapterSeen& device : list.adapters) {
    const std::string& key = device.choice.key;
    const auto same = std::ranges::find(seen, key, &LaneAdapter::key);
    std::vector<std::string> nodes = {device.node};
    if (same != seen.end()) nodes.insert(nodes.end(), same->nodes.begin(), same->nodes.end());
    if (same != seen.end() && (same->choice.transport == wanted || device.transport != wanted)) {
      same->nodes = std::move(nodes);
      continue;
    }
    const std::string problem = device.Problem();
    LaneAdapter adapter{
        key, list.Select(device), device.choice, std::move(nodes), problem.empty(), problem};
    if (same != seen.end()) {
      *same = std::move(adapter);
    } else {
      seen.push_back(std::move(adapter));
    }
  }
  return seen;
}

}  // namespace

std::vector<LaneAdapter> SurveyAdapters(app::AdapterHost& host) {
  const app::AdapterList list =
      host.ListAdapters(host.SurveySettingsFor(std::nullopt, std::nullopt));
  return AdaptersBySerial(list, host.device().adapter.transport);
}

Lane::Lane(StationShared& shared, std::string serial, std::string label)
    : shared_(shared),
      serial_(std::move(serial)),
      progress_([this](int percent, std::string activity) {
        Change([&](LaneView& view) {
          view.step_percent = percent;
          view.activity = std::move(activity);
        });
      }) {
  view_.adapter_serial = serial_;
  view_.adapter_label = std::move(label);
  view_.step_count = static_cast<int>(shared_.recipe->recipe.Steps().size());
}

Lane::~Lane() {
  worker_.Shutdown();
  if (bench_ != nullptr && owned_ == nullptr) bench_->LendSinks(nullptr, nullptr);
}

std::expected<void, std::string> Lane::Open(const LaneAdapter& adapter) {
  const link::AdapterChoice& choice = adapter.choice;
  for (app::Workbench* lent : shared_.options.lent) {
    if (lent != nullptr && Drives(*lent, adapter)) {
      bench_ = lent;
      // The lane's own sinks while it is lent: a message of the station's work is the lane's
      // failure text, never a box in the front end that lent it.
      bench_->LendSinks(&messages_, &progress_);
      return {};
    }
  }
  app::WorkbenchOptions options;
  options.progress = &progress_;
  auto bench = app::Workbench::Create(shared_.host, choice, options, messages_);
  if (!bench) return std::unexpected(bench.error());
  if (!(*bench)->Start()) {
    const std::string reason = messages_.Reason();
    return std::unexpected(reason.empty() ? std::string(messages::kNoReason) : reason);
  }
  owned_ = std::move(*bench);
  bench_ = owned_.get();
  return {};
}

bool Lane::Start() {
  {
    std::lock_guard lock(shared_.mutex);
    if (busy_ || unplugged_) return false;
    busy_ = true;
    shared_.stop_requested = false;
    view_.phase = shared_.options.loop ? LanePhase::kWaitingForPack : LanePhase::kRunning;
  }
  shared_.changes.Notify();
  worker_.Post([this](std::stop_token stop) { Job(std::move(stop)); },
               [this](common::JobEnd) { Ended(); });
  return true;
}

void Lane::RequestStop() { worker_.RequestStop(); }

void Lane::MarkGone() {
  unplugged_ = true;
  worker_.RequestStop();
  Change([&](LaneView& view) {
    if (!busy_) view.phase = LanePhase::kGone;
  });
}

void Lane::MarkBack() {
  unplugged_ = false;
  Change([&](LaneView& view) {
    if (view.phase == LanePhase::kGone) view.phase = LanePhase::kIdle;
  });
}

void Lane::Ended() {
  {
    std::lock_guard lock(shared_.mutex);
    busy_ = false;
    if (unplugged_) {
      view_.phase = LanePhase::kGone;
    } else if (view_.phase == LanePhase::kWaitingForPack || view_.phase == LanePhase::kRunning) {
      // Stopped while waiting for a pack, or dropped before it began: the last result stands.
      view_.phase = last_result_;
    }
    view_.activity.clear();
  }
  shared_.idle.notify_all();
  shared_.changes.Notify();
}

void Lane::Job(std::stop_token stop) {
  const bool loop = shared_.options.loop;
  for (bool first = true; !stop.stop_requested() && !unplugged_; first = false) {
    if (loop) {
      if (!first && !WaitForPack(false, stop)) return;
      if (!WaitForPack(true, stop)) return;
    }
    RunOnce(stop);
    if (!loop) return;
  }
}

bool Lane::WaitForPack(bool present, const std::stop_token& stop) {
  Change([&](LaneView& view) {
    view.phase = LanePhase::kWaitingForPack;
    view.activity = present ? messages::kActivityPackOn : messages::kActivityPackOff;
  });
  common::Clock& clock = bench_->clock();
  int steady = 0;
  while (!stop.stop_requested() && !unplugged_) {
    const bool answers = PackAnswers(bench_->link());
    // What the link says of a pack that is not there is no news while waiting for one.
    messages_.Clear();
    steady = answers == present ? steady + 1 : 0;
    if (steady >= kSteadyPolls) return true;
    for (common::Millis waited{0}; waited < kPollInterval && !stop.stop_requested();
         waited += kStopSlice) {
      clock.SleepFor(kStopSlice);
    }
  }
  return false;
}

void Lane::RunOnce(const std::stop_token& stop) {
  const TimePoint now = std::chrono::system_clock::now();
  {
    std::lock_guard lock(shared_.mutex);
    if (!shared_.first_start) shared_.first_start = now;
    const LaneView kept = view_;
    view_ = {};
    view_.adapter_serial = kept.adapter_serial;
    view_.adapter_label = kept.adapter_label;
    view_.step_count = kept.step_count;
    view_.passed = kept.passed;
    view_.failed = kept.failed;
    view_.phase = LanePhase::kRunning;
    view_.run_started_at = now;
  }
  shared_.changes.Notify();

  RunStart start = RunStartFor(shared_.recipe->recipe);
  start.station = shared_.options.station;
  start.host = shared_.host_name;
  start.operator_name = shared_.options.operator_name;
  start.adapter_serial = serial_;
  start.simulated = shared_.host->simulated();
  start.process_id = ::getpid();
  const PackRunSetup setup{
      .bench = *bench_,
      .messages = messages_,
      .progress = progress_,
      .prepared = *shared_.recipe,
      .material = shared_.material,
      .records = *shared_.records,
      .records_hold = shared_.options.records_hold,
      .start = std::move(start),
      .adapter_label = view_.adapter_label,
      .ask_references = [this]() -> std::optional<AskedReferences> {
        if (!shared_.options.ask_references) return std::nullopt;
        LaneView view;
        {
          std::lock_guard lock(shared_.mutex);
          view = view_;
        }
        return shared_.options.ask_references(view);
      },
      .unplugged = unplugged_,
      .adapter_attached =
          [this] {
            const std::vector<LaneAdapter> adapters = SurveyAdapters(*shared_.host);
            return std::ranges::find(adapters, serial_, &LaneAdapter::key) != adapters.end();
          },
      .report = *this,
  };
  const PackRunEnd end = RunPack(setup, stop);
  if (end.adapter_gone) unplugged_ = true;

  {
    std::lock_guard lock(shared_.mutex);
    switch (end.result) {
      case RunResult::kPass:
        last_result_ = LanePhase::kPass;
        ++shared_.passed;
        ++view_.passed;
        break;
      case RunResult::kStopped:
        last_result_ = LanePhase::kStopped;
        ++shared_.stopped;
        break;
      default:
        last_result_ = LanePhase::kFail;
        ++shared_.failed;
        ++view_.failed;
        break;
    }
    view_.phase = unplugged_ ? LanePhase::kGone : last_result_;
    view_.step = end.step;
    view_.failure = end.failure;
    view_.activity.clear();
    view_.run_ended_at = std::chrono::system_clock::now();
  }
  shared_.changes.Notify();
}

void Lane::RunBegun(std::int64_t run) {
  Change([&](LaneView& view) { view.run_id = run; });
}

void Lane::StepBegun(std::optional<StepKind> step, int number, int attempt) {
  Change([&](LaneView& view) {
    view.step = step;
    view.step_number = number;
    view.attempt = attempt;
    view.step_percent = -1;
    view.activity.clear();
  });
}

void Lane::Activity(std::string activity) {
  Change([&](LaneView& view) { view.activity = std::move(activity); });
}

void Lane::PackSerial(std::int64_t serial) {
  Change([&](LaneView& view) { view.pack_serial = serial; });
}

}  // namespace cw::production
