#include "production/station.h"

#include <fmt/format.h>
#include <fmt/ranges.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>

#include "app/adapter_host.h"
#include "app/workbench.h"
#include "common/parse.h"
#include "production/handoff.h"
#include "production/messages.h"
#include "production/station_lane.h"

namespace cw::production {

namespace {

std::string HostName() {
  std::array<char, 256> name{};
  if (gethostname(name.data(), name.size() - 1) != 0) return {};
  return name.data();
}

// Whether the station process `pid` on this host still runs: a process that is gone (killed,
// crashed, a host restarted since) left its runs open.
bool ProcessAlive(std::int64_t pid) {
  if (pid <= 0 || pid == ::getpid()) return pid == ::getpid();
  return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH;
}

// The longest station id or operator name the records take, in characters.
constexpr std::size_t kLongestName = 64;

// A name that goes into the records and every table printed from them: printable UTF-8 on one
// line, of a sensible length.
std::expected<void, std::string> CheckName(std::string_view what, const std::string& name) {
  const auto length = common::PrintableLength(name);
  if (!length)
    return std::unexpected(fmt::format(
        "the {} must be printable text on one line (UTF-8, no control characters)", what));
  if (*length > kLongestName) {
    return std::unexpected(
        fmt::format("the {} has {} characters; at most {} are kept", what, *length, kLongestName));
  }
  return {};
}

// What must hold before a station touches a pack: the records and the hand-off folder take
// writes, runs its host left open are closed, and the serial range has a number for every pack
// on the station.
std::expected<void, std::string> Preflight(RecordsStore& records, const Recipe& recipe,
                                           std::size_t packs, const std::string& host_name) {
  if (auto writable = records.CheckWritable(); !writable) {
    return std::unexpected(fmt::format(messages::kRecordsUnwritable, writable.error().message));
  }
  if (recipe.handoff) {
    if (auto writable = CheckHandoffFolder(*recipe.handoff); !writable) return writable;
  }
  if (auto closed = records.CloseAbandonedRuns(host_name, ProcessAlive); !closed) {
    return std::unexpected(fmt::format(messages::kRecordsUnwritable, closed.error().message));
  }
  if (!recipe.serial) return {};
  const SerialRange range = SerialRangeOf(*recipe.serial);
  const auto left = records.SerialsLeft(range);
  if (!left)
    return std::unexpected(fmt::format(messages::kRecordsUnwritable, left.error().message));
  if (*left < static_cast<std::int64_t>(packs)) {
    return std::unexpected(fmt::format(
        "the run is refused before any pack is touched: the serial range of \"{}\" ({}..{}) has {} "
        "numbers left for {} packs; give the recipe a new range",
        range.parameter, range.start, range.end, *left, packs));
  }
  return {};
}

}  // namespace

class Station::Impl {
 public:
  Impl(std::shared_ptr<app::AdapterHost> host, std::shared_ptr<const PreparedRecipe> recipe,
       RecipeMaterial material, std::shared_ptr<RecordsStore> records, StationOptions options) {
    shared_.host = std::move(host);
    shared_.recipe = std::move(recipe);
    shared_.material = std::move(material);
    shared_.records = std::move(records);
    shared_.host_name = HostName();
    if (options.station.empty()) options.station = shared_.host_name;
    shared_.options = std::move(options);
  }

  ~Impl() {
    survey_.Shutdown();
    for (Lane* lane : Lanes()) lane->RequestStop();
    for (Lane* lane : Lanes()) lane->Shutdown();
  }

  std::vector<LaneAdapter> Survey() { return SurveyAdapters(*shared_.host); }

  std::expected<void, std::string> AddLanes(const std::vector<LaneAdapter>& adapters) {
    const std::vector<std::string>& named = shared_.options.adapters;
    for (const std::string& name : named) {
      if (std::ranges::find(adapters, name, &LaneAdapter::key) == adapters.end()) {
        std::vector<std::string> keys;
        for (const LaneAdapter& adapter : adapters) keys.push_back(adapter.key);
        return std::unexpected(fmt::format(
            "no adapter with the serial number {} is attached (attached: {})", name,
            keys.empty() ? std::string("none") : fmt::format("{}", fmt::join(keys, ", "))));
      }
    }
    for (const LaneAdapter& adapter : adapters) {
      const bool chosen = named.empty() || std::ranges::find(named, adapter.key) != named.end();
      if (!chosen) continue;
      if (!adapter.can_open && named.empty()) continue;
      if (auto added = AddLane(adapter); !added) return added;
    }
    if (Lanes().empty())
      return std::unexpected(std::string(
          "no adapter is attached: plug one in (\"cellwarden-cli adapters\" lists what is there)"));
    return {};
  }

  std::expected<void, std::string> AddLane(const LaneAdapter& adapter) {
    auto lane = std::make_unique<Lane>(shared_, adapter.key, adapter.label);
    if (auto opened = lane->Open(adapter); !opened) {
      return std::unexpected(fmt::format("the adapter {} cannot be used: {}", adapter.label,
                                         adapter.can_open ? opened.error() : adapter.problem));
    }
    std::lock_guard lock(shared_.mutex);
    lanes_.push_back(std::move(lane));
    return {};
  }

  // The lanes as they are now; a lane, once made, lives as long as the station.
  std::vector<Lane*> Lanes() const {
    std::lock_guard lock(shared_.mutex);
    std::vector<Lane*> lanes;
    for (const auto& lane : lanes_) lanes.push_back(lane.get());
    return lanes;
  }

  Lane* Find(const std::string& serial) const {
    for (Lane* lane : Lanes()) {
      if (lane->serial() == serial) return lane;
    }
    return nullptr;
  }

  void Refresh() {
    const std::vector<LaneAdapter> adapters = Survey();
    const std::vector<std::string>& named = shared_.options.adapters;
    for (const LaneAdapter& adapter : adapters) {
      if (Lane* lane = Find(adapter.key)) {
        if (lane->gone()) lane->MarkBack();
      } else if (adapter.can_open &&
                 (named.empty() || std::ranges::find(named, adapter.key) != named.end())) {
        // An adapter that cannot be used now is looked at again at the next refresh.
        (void)AddLane(adapter);
      }
    }
    for (Lane* lane : Lanes()) {
      const bool attached =
          std::ranges::find(adapters, lane->serial(), &LaneAdapter::key) != adapters.end();
      if (!attached && !lane->gone()) lane->MarkGone();
    }
    shared_.changes.Notify();
  }

  StationView View() const {
    StationView view;
    std::lock_guard lock(shared_.mutex);
    for (const auto& lane : lanes_) {
      view.lanes.push_back(lane->view());
      view.running = view.running || lane->busy();
    }
    StationCounters& counters = view.counters;
    counters.passed = shared_.passed;
    counters.failed = shared_.failed;
    counters.stopped = shared_.stopped;
    const int finished = counters.passed + counters.failed;
    if (finished > 0) {
      counters.yield_percent = 100.0 * counters.passed / finished;
      const auto elapsed = std::max<std::chrono::duration<double>>(
          std::chrono::system_clock::now() - *shared_.first_start, std::chrono::seconds(1));
      counters.packs_per_hour = finished / (elapsed.count() / 3600.0);
    }
    view.stop_requested = shared_.stop_requested && view.running;
    return view;
  }

  void RequestStop() {
    {
      std::lock_guard lock(shared_.mutex);
      shared_.stop_requested = true;
    }
    for (Lane* lane : Lanes()) lane->RequestStop();
    shared_.changes.Notify();
  }

  void WaitUntilIdle() {
    std::unique_lock lock(shared_.mutex);
    shared_.idle.wait(lock, [&] {
      return std::ranges::none_of(lanes_, [](const auto& lane) { return lane->busy(); });
    });
  }

  StationShared shared_;
  std::vector<std::unique_ptr<Lane>> lanes_;  // guarded by shared_.mutex
  common::JobWorker survey_;
};

std::expected<std::unique_ptr<Station>, std::string> Station::Create(
    std::shared_ptr<app::AdapterHost> host, std::shared_ptr<const PreparedRecipe> recipe,
    std::shared_ptr<RecordsStore> records, StationOptions options) {
  for (const auto& [what, name] : {std::pair{"station id", options.station},
                                   std::pair{"operator name", options.operator_name}}) {
    if (auto checked = CheckName(what, name); !checked) return std::unexpected(checked.error());
  }
  auto material = MaterialOf(*recipe);
  if (!material) return std::unexpected(material.error());
  auto impl = std::make_unique<Impl>(std::move(host), std::move(recipe), std::move(*material),
                                     std::move(records), std::move(options));
  if (auto added = impl->AddLanes(impl->Survey()); !added) {
    return std::unexpected(added.error());
  }
  const StationShared& shared = impl->shared_;
  if (auto ready =
          Preflight(*shared.records, shared.recipe->recipe, impl->Lanes().size(), shared.host_name);
      !ready) {
    return std::unexpected(ready.error());
  }
  return std::unique_ptr<Station>(new Station(std::move(impl)));
}

Station::Station(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Station::~Station() = default;

void Station::StartAll() {
  for (Lane* lane : impl_->Lanes()) lane->Start();
}

bool Station::StartLane(const std::string& adapter_serial) {
  Lane* lane = impl_->Find(adapter_serial);
  return lane != nullptr && lane->Start();
}

void Station::RequestStop() { impl_->RequestStop(); }
void Station::WaitUntilIdle() { impl_->WaitUntilIdle(); }

void Station::RefreshAdapters() {
  impl_->survey_.Post([impl = impl_.get()](std::stop_token) { impl->Refresh(); });
}

StationView Station::View() const { return impl_->View(); }
common::Observers<>& Station::changes() { return impl_->shared_.changes; }
const PreparedRecipe& Station::recipe() const { return *impl_->shared_.recipe; }
RecordsStore& Station::records() { return *impl_->shared_.records; }

StationOpening OpenStation(std::shared_ptr<app::AdapterHost> host,
                           std::shared_ptr<const PreparedRecipe> recipe, std::string_view records,
                           StationOptions options) {
  const auto location = RecordsLocation(records, host->simulated());
  if (!location) {
    return std::unexpected(
        StationRefusal{StationProblem::kNoDataFolder, std::string(messages::kNoDataFolder)});
  }
  auto store = OpenRecordsStore(*location, OpenMode::kCreate);
  if (!store) {
    return std::unexpected(
        StationRefusal{StationProblem::kRecords, std::move(store.error().message)});
  }
  std::shared_ptr<RecordsStore> opened = std::move(*store);
  auto station = Station::Create(std::move(host), std::move(recipe), opened, std::move(options));
  if (!station) {
    return std::unexpected(
        StationRefusal{StationProblem::kStation, std::move(station.error()), opened});
  }
  return OpenedStation{std::move(*station), std::move(opened)};
}

}  // namespace cw::production
