// The station on simulated packs: what each pack goes through, what the records keep, and how a
// run ends (a failure, a stop, the next pack in loop mode).
#include "production/station.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <set>
#include <thread>

#include "app/adapter_host.h"
#include "app/device_string.h"
#include "app/workbench.h"
#include "production/messages.h"
#include "production/records_store.h"
#include "records_fixture.h"
#include "sim/sim_pack_set.h"
#include "support/link_fixture.h"
#include "support/recipe_folder.h"

namespace cw::production {
namespace {

using test::RecipeFolder;
using test::ScratchFolder;

// A pack taken off the station: nothing on the bus answers.
struct NoPack {
  NoPack() {
    target.on_write = [](common::ByteView) { return false; };
  }
  test::ScriptedTarget target;
};

// The records of a station whose disk fills up: the step record of `failing` is refused
// `refusals` times (for ever when negative), then taken.
class FailingStore final : public RecordsStore {
 public:
  FailingStore(std::shared_ptr<RecordsStore> inner, std::string failing, int refusals)
      : inner_(std::move(inner)), failing_(std::move(failing)), refusals_(refusals) {}
  std::string Location() const override { return inner_->Location(); }
  bool Created() const override { return inner_->Created(); }
  StoreResult<void> CheckWritable() override { return inner_->CheckWritable(); }
  StoreResult<std::int64_t> SerialsLeft(const SerialRange& range) override {
    return inner_->SerialsLeft(range);
  }
  StoreResult<int> CloseAbandonedRuns(std::string_view host,
                                      const std::function<bool(std::int64_t)>& alive) override {
    return inner_->CloseAbandonedRuns(host, alive);
  }
  StoreResult<std::int64_t> BeginRun(const RunStart& start) override {
    return inner_->BeginRun(start);
  }
  StoreResult<void> RecordGauge(std::int64_t run, std::uint16_t type, std::uint16_t version,
                                std::optional<std::int64_t> arrived) override {
    return inner_->RecordGauge(run, type, version, arrived);
  }
  StoreResult<std::int64_t> AllocateSerial(std::int64_t run, const SerialRange& range) override {
    return inner_->AllocateSerial(run, range);
  }
  StoreResult<void> AddStep(std::int64_t run, const StepRecord& step) override {
    if (step.step == failing_ && refusals_ != 0) {
      --refusals_;
      return std::unexpected(StoreError{StoreProblem::kFailed, "disk full"});
    }
    return inner_->AddStep(run, step);
  }
  StoreResult<void> FinishRun(std::int64_t run, const RunEnd& end) override {
    return inner_->FinishRun(run, end);
  }
  StoreResult<std::vector<RunRecord>> Runs(const RunFilter& filter, bool with_steps) override {
    return inner_->Runs(filter, with_steps);
  }
  StoreResult<RunRecord> Run(std::int64_t run) override { return inner_->Run(run); }
  StoreResult<std::vector<IssuedSerial>> IssuedSerials(std::string_view parameter) override {
    return inner_->IssuedSerials(parameter);
  }

 private:
  std::shared_ptr<RecordsStore> inner_;
  std::string failing_;
  std::atomic<int> refusals_;
};

// Waits (in real time, bounded) for what the station's lanes do on their own threads.
bool Eventually(const std::function<bool()>& condition) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

class StationTest : public testing::Test {
 protected:
  // The recipe files come from one simulated pack and serve every test.
  static void SetUpTestSuite() {
    files_ = new ScratchFolder();
    folder_ = new RecipeFolder(files_->path());
  }
  static void TearDownTestSuite() {
    delete folder_;
    delete files_;
  }

  // A station on `device` for a recipe of `steps`, its records in the test's folder.
  void Open(const std::string& device, const std::string& steps, StationOptions options = {},
            std::uint16_t device_type = 0x0714, std::string failing_step = {}, int refusals = -1) {
    const auto recipe = LoadPreparedRecipe(folder_->Write("line", steps, device_type), constants_);
    ASSERT_TRUE(recipe) << recipe.error().problems.front().text;
    if (!host_) {
      auto host = app::AdapterHost::Create(*app::ParseDeviceString(device), constants_);
      ASSERT_TRUE(host) << host.error().message;
      host_ = *host;
    }
    auto store = OpenRecordsStore(scratch_.File("records.sqlite"), OpenMode::kCreate);
    ASSERT_TRUE(store) << store.error().message;
    records_ = std::move(*store);
    std::shared_ptr<RecordsStore> used = records_;
    if (!failing_step.empty()) {
      used = std::make_shared<FailingStore>(records_, failing_step, refusals);
    }
    auto station = Station::Create(host_, *recipe, used, std::move(options));
    ASSERT_TRUE(station) << station.error();
    station_ = std::move(*station);
  }

  // The same on a host the test already holds.
  void Open(std::shared_ptr<app::AdapterHost> host, const std::string& steps,
            StationOptions options) {
    host_ = std::move(host);
    Open("", steps, std::move(options));
  }

  void RunAll() {
    station_->StartAll();
    station_->WaitUntilIdle();
  }

  sim::SimPack& Pack(std::size_t index) { return host_->sim_packs()->pack(index); }

  std::vector<RunRecord> Runs() {
    auto runs = records_->Runs({}, true);
    EXPECT_TRUE(runs) << runs.error().message;
    return runs ? *runs : std::vector<RunRecord>{};
  }

  static std::vector<std::string> StepsOf(const RunRecord& run) {
    std::vector<std::string> steps;
    for (const StepRecord& step : run.steps) {
      steps.push_back(
          step.step + (step.attempt > 1 ? "#" + std::to_string(step.attempt) : "") +
          (step.result == RunResult::kPass ? "" : ":" + std::string(ResultName(step.result))));
    }
    return steps;
  }

  static inline ScratchFolder* files_ = nullptr;
  static inline RecipeFolder* folder_ = nullptr;
  common::ProductConstants constants_;
  ScratchFolder scratch_;
  std::shared_ptr<app::AdapterHost> host_;
  std::shared_ptr<RecordsStore> records_;
  std::unique_ptr<Station> station_;
};

TEST_F(StationTest, FourPacksAreMadeAndTheFaultyOneFailsAloneWithItsReason) {
  Open("sim:packs=4:clock=virtual:faults=safety-alarm=0002@3", folder_->FullSteps());
  RunAll();

  const StationView view = station_->View();
  ASSERT_EQ(view.lanes.size(), 4u);
  EXPECT_FALSE(view.running);
  EXPECT_EQ(view.counters.passed, 3);
  EXPECT_EQ(view.counters.failed, 1);
  EXPECT_DOUBLE_EQ(view.counters.yield_percent.value_or(0), 75.0);
  EXPECT_TRUE(view.counters.packs_per_hour.has_value());
  for (std::size_t i = 0; i < 4; ++i) {
    const LaneView& lane = view.lanes[i];
    EXPECT_EQ(lane.adapter_serial, sim::PackSerial(static_cast<int>(i) + 1));
    const bool faulty = i == 2;
    EXPECT_EQ(lane.phase, faulty ? LanePhase::kFail : LanePhase::kPass) << lane.failure;
    EXPECT_EQ(Pack(i).gauge().seal_state(),
              faulty ? sim::SealState::kUnsealed : sim::SealState::kSealed);
  }
  EXPECT_EQ(view.lanes[2].step, StepKind::kCheck);
  EXPECT_EQ(view.lanes[2].failure,
            "Safety Status reads 0x2: a safety or permanent-failure flag is set");

  const std::vector<RunRecord> runs = Runs();
  ASSERT_EQ(runs.size(), 4u);
  std::set<std::int64_t> serials;
  for (const RunRecord& run : runs) {
    const bool faulty = run.start.adapter_serial == sim::PackSerial(3);
    EXPECT_EQ(run.result, faulty ? RunResult::kFail : RunResult::kPass);
    EXPECT_EQ(run.device_type, 0x0714);
    ASSERT_TRUE(run.pack_serial);
    EXPECT_GE(*run.pack_serial, 1000);
    EXPECT_LE(*run.pack_serial, 1999);
    serials.insert(*run.pack_serial);
    const std::vector<std::string> passed = {
        "gauge", "firmware", "constants", "calibrate", "serial", "date", "verify", "check", "seal"};
    const std::vector<std::string> failed = {"gauge",  "firmware", "constants", "calibrate",
                                             "serial", "date",     "verify",    "check:fail"};
    EXPECT_EQ(StepsOf(run), faulty ? failed : passed);
    if (faulty) {
      EXPECT_EQ(run.failed_step, "check");
      EXPECT_EQ(run.failure, view.lanes[2].failure);
      EXPECT_EQ(run.steps.back().cause, "out_of_limits");
    }
    EXPECT_EQ(run.cause, faulty ? "out_of_limits" : "");
  }
  EXPECT_EQ(serials.size(), 4u);

  const auto issued = records_->IssuedSerials("Serial Number");
  ASSERT_TRUE(issued);
  ASSERT_EQ(issued->size(), 4u);
  for (const IssuedSerial& serial : *issued) {
    const RunRecord& run = *std::ranges::find(runs, serial.run_id, &RunRecord::id);
    EXPECT_EQ(serial.state, run.result) << serial.number;
  }
}

TEST_F(StationTest, AFailedAttemptIsRecordedAndRetried) {
  NoPack off;
  int asked = 0;
  StationOptions options;
  // The fixture's references are asked at each attempt; the first time the pack slips out of
  // its contacts, so the calibration fails once.
  options.ask_references = [&](const LaneView&) -> std::optional<AskedReferences> {
    Pack(0).ReplaceTarget(++asked == 1 ? &off.target : nullptr);
    AskedReferences references;
    references.cells_mv = {3800, 3800, 3800, 3800};
    return references;
  };
  Open("sim:clock=virtual",
       "[steps.calibrate]\nretries = 1\ncells_mv = [\"ask\", \"ask\", \"ask\", "
       "\"ask\"]\n[steps.seal]\n",
       std::move(options));
  RunAll();

  const std::vector<RunRecord> runs = Runs();
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].result, RunResult::kPass) << runs[0].failure;
  EXPECT_EQ(StepsOf(runs[0]),
            (std::vector<std::string>{"gauge", "calibrate:fail", "calibrate#2", "seal"}));
  EXPECT_NE(runs[0].steps[1].failure.find("the calibration failed: "), std::string::npos)
      << runs[0].steps[1].failure;
  EXPECT_EQ(runs[0].steps[1].cause, "gauge_not_responding");
  EXPECT_EQ(runs[0].steps[2].cause, "");
}

TEST_F(StationTest, AWrongGaugeFailsBeforeAnythingIsWritten) {
  Open("sim:clock=virtual", folder_->FullSteps(), {}, 0x0715);
  const auto before = Pack(0).gauge().State().memory;
  RunAll();

  const LaneView lane = station_->View().lanes.at(0);
  EXPECT_EQ(lane.phase, LanePhase::kFail);
  EXPECT_EQ(lane.step, std::nullopt);
  EXPECT_EQ(lane.failure,
            "the gauge is a 0x0714, the recipe expects a 0x0715: this pack does not belong on "
            "this line (nothing was written)");
  EXPECT_TRUE(Pack(0).gauge().State().memory == before);
  const std::vector<RunRecord> runs = Runs();
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(StepsOf(runs[0]), std::vector<std::string>{"gauge:fail"});
  EXPECT_EQ(runs[0].failed_step, "gauge");
  EXPECT_EQ(runs[0].cause, "wrong_gauge");
  EXPECT_FALSE(runs[0].pack_serial);
}

TEST_F(StationTest, AStopEndsTheRunAtASafePointAndIsRecorded) {
  struct Case {
    StepKind step;  // the step running when the stop comes
    std::vector<std::string> recorded;
  };
  const Case cases[] = {
      {StepKind::kFirmware, {"gauge", "firmware:stopped"}},
      {StepKind::kConstants, {"gauge", "firmware", "constants:stopped"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(StepName(c.step));
    host_.reset();
    Open("sim:clock=virtual", folder_->FullSteps());
    bool stopped = false;
    const common::Subscription stop_midway = station_->changes().Subscribe([&] {
      const LaneView lane = station_->View().lanes.at(0);
      if (!stopped && lane.step == c.step && lane.step_percent >= 0) {
        stopped = true;
        station_->RequestStop();
      }
    });
    RunAll();

    const StationView view = station_->View();
    EXPECT_FALSE(view.stop_requested);
    EXPECT_EQ(view.counters.stopped, 1);
    EXPECT_EQ(view.lanes[0].phase, LanePhase::kStopped);
    EXPECT_EQ(view.lanes[0].step, c.step);
    // The firmware step adds what the update left in the pack.
    EXPECT_TRUE(view.lanes[0].failure.starts_with("stopped by the operator during " +
                                                  std::string(StepName(c.step))))
        << view.lanes[0].failure;
    const RunRecord run = Runs().back();
    EXPECT_EQ(run.result, RunResult::kStopped);
    EXPECT_EQ(run.failed_step, StepName(c.step));
    EXPECT_EQ(run.cause, "stopped");
    EXPECT_EQ(StepsOf(run), c.recorded);
    EXPECT_EQ(Pack(0).gauge().seal_state(), sim::SealState::kUnsealed);
  }
}

TEST_F(StationTest, InLoopModeTheNextPackRunsOnceTheLastIsTakenOff) {
  StationOptions options;
  options.loop = true;
  Open("sim:clock=virtual", "[steps.serial]\nstart = 7\nend = 9\n[steps.seal]\n",
       std::move(options));
  const sim::GaugeState fresh = Pack(0).gauge().State();
  station_->StartAll();
  const auto lane = [&] { return station_->View().lanes.at(0); };
  ASSERT_TRUE(Eventually([&] { return lane().passed == 1; }));
  ASSERT_TRUE(Eventually([&] { return lane().phase == LanePhase::kWaitingForPack; }));
  EXPECT_EQ(lane().activity, messages::kActivityPackOff);

  NoPack off;
  Pack(0).ReplaceTarget(&off.target);
  ASSERT_TRUE(Eventually([&] { return lane().activity == messages::kActivityPackOn; }));
  Pack(0).gauge().Restore(fresh);
  Pack(0).ReplaceTarget(nullptr);
  ASSERT_TRUE(Eventually([&] { return lane().passed == 2; }));
  station_->RequestStop();
  station_->WaitUntilIdle();

  EXPECT_EQ(lane().phase, LanePhase::kPass);
  const std::vector<RunRecord> runs = Runs();
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_EQ(runs[0].pack_serial, 7);
  EXPECT_EQ(runs[1].pack_serial, 8);
  EXPECT_EQ(Pack(0).gauge().seal_state(), sim::SealState::kSealed);
}

TEST_F(StationTest, FsScriptsProgramThePack) {
  Open("sim:clock=virtual",
       "[steps.firmware]\n" + folder_->FileKeys("script", "files/update.fs") +
           "[steps.constants]\n" + folder_->FileKeys("script", "files/constants.fs") +
           "[steps.verify]\n" + folder_->FileKeys("golden", "files/golden.afi") + "[steps.seal]\n");
  RunAll();
  const std::vector<RunRecord> runs = Runs();
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].result, RunResult::kPass) << runs[0].failure;
  EXPECT_EQ(StepsOf(runs[0]),
            (std::vector<std::string>{"gauge", "firmware", "constants", "verify", "seal"}));
}

// A pack an earlier run left in its boot loader: reflashed when the recipe updates firmware (the
// gauge checked again once it answers), named for what it is when the recipe does not.
TEST_F(StationTest, APackLeftInItsBootLoaderIsReflashedOrNamedForWhatItIs) {
  struct Case {
    std::string steps;
    std::vector<std::string> recorded;
    RunResult result;
  };
  const std::vector<Case> cases = {
      {"[steps.firmware]\n" + folder_->FileKeys("image", "files/pack.bin") + "[steps.seal]\n",
       {"gauge", "firmware", "gauge", "seal"},
       RunResult::kPass},
      {"[steps.seal]\n", {"gauge:fail"}, RunResult::kFail},
  };
  for (const Case& c : cases) {
    station_.reset();
    host_.reset();
    Open("sim:clock=virtual", c.steps);
    sim::GaugeState state = Pack(0).gauge().State();
    state.boot = {.mode = sim::BootMode::kUpdate, .status = 0x0180};
    Pack(0).gauge().Restore(state);
    RunAll();
    const std::vector<RunRecord> runs = Runs();
    ASSERT_FALSE(runs.empty());
    const RunRecord& run = runs.back();
    EXPECT_EQ(run.result, c.result) << run.failure;
    EXPECT_EQ(StepsOf(run), c.recorded);
    EXPECT_EQ(run.steps.front().measurements, R"({"boot_loader":true})");
    if (c.result == RunResult::kFail) {
      EXPECT_EQ(run.failure, messages::kLeftInBootLoader);
      EXPECT_EQ(run.cause, "boot_loader");
    } else {
      EXPECT_EQ(run.device_type, 0x0714);
    }
  }
}

// A wrong but plausible reference (3300 mV where the fixture holds the cells alike) would
// calibrate that cell by -500 mV and then pass its own check against the same wrong value:
// refused before anything is written.
TEST_F(StationTest, ACellReferenceUnlikeTheOthersFailsBeforeCalibrationWrites) {
  Open("sim:clock=virtual", "[steps.calibrate]\ncells_mv = [3800, 3801, 3799, 3300]\n");
  RunAll();
  const LaneView lane = station_->View().lanes.at(0);
  EXPECT_EQ(lane.phase, LanePhase::kFail);
  EXPECT_TRUE(lane.failure.starts_with("Cell Voltage 4 reads ")) << lane.failure;
  EXPECT_NE(lane.failure.find("against a reference of 3300 mV"), std::string::npos) << lane.failure;
  EXPECT_NE(lane.failure.find("more than the 100 mV apart"), std::string::npos) << lane.failure;
  EXPECT_EQ(lane.failure.find("Cell Voltage 1"), std::string::npos) << lane.failure;
  EXPECT_TRUE(Pack(0).gauge().CalibrationRecords().empty());
}

// Nothing is touched when the run cannot be recorded whole: records that take no writes, a
// serial range with fewer numbers than packs, names no table can show.
TEST_F(StationTest, RefusesARunItCannotRecordBeforeAnyPackIsTouched) {
  const auto recipe = LoadPreparedRecipe(
      folder_->Write("line", "[steps.serial]\nstart = 7\nend = 8\n[steps.seal]\n"), constants_);
  ASSERT_TRUE(recipe);
  const auto& shared = *recipe;
  auto host =
      app::AdapterHost::Create(*app::ParseDeviceString("sim:packs=3:clock=virtual"), constants_);
  ASSERT_TRUE(host);
  const std::string path = scratch_.File("records.sqlite");
  std::shared_ptr<RecordsStore> store = *OpenRecordsStore(path, OpenMode::kCreate);
  struct Case {
    std::string name;
    StationOptions options;
    std::string says;
  };
  StationOptions control;
  control.operator_name = "Mei\x1b[2J";
  StationOptions long_name;
  long_name.station = std::string(65, 'x');
  StationOptions bad_utf8;
  bad_utf8.operator_name = "Mei\xff";
  StationOptions two_packs;
  two_packs.adapters = {"888800000001", "888800000002"};
  std::vector<Case> cases;
  cases.push_back({"control", control, "must be printable text on one line"});
  cases.push_back({"utf8", bad_utf8, "must be printable text on one line"});
  cases.push_back({"long", long_name, "has 65 characters; at most 64"});
  cases.push_back({"serials", {}, "has 2 numbers left for 3 packs"});
  for (Case& c : cases) {
    const auto station = Station::Create(*host, shared, store, std::move(c.options));
    ASSERT_FALSE(station) << c.name;
    EXPECT_NE(station.error().find(c.says), std::string::npos) << station.error();
  }
  // Two packs fit the two numbers left.
  EXPECT_TRUE(Station::Create(*host, shared, store, two_packs));
  // Records that take no writes (root writes a read-only file: nothing to see there).
  store.reset();
  std::filesystem::permissions(path, std::filesystem::perms::owner_read);
  if (::access(path.c_str(), W_OK) != 0) {
    store = *OpenRecordsStore(path, OpenMode::kCreate);
    const auto read_only = Station::Create(*host, shared, store, two_packs);
    ASSERT_FALSE(read_only);
    EXPECT_NE(read_only.error().find("refused before any pack is touched"), std::string::npos)
        << read_only.error();
    EXPECT_TRUE(store->Runs({}, false)->empty());
  }
}

// How both front ends open a station: on the records named, or on the default file (the
// simulated packs' own on a simulated host), made when missing; a refusal says what failed and
// keeps the records when only the station failed.
TEST_F(StationTest, OpensAStationOnTheRecordsNamedOrTheDefaultOnes) {
  const auto recipe = LoadPreparedRecipe(folder_->Write("line", "[steps.seal]\n"), constants_);
  ASSERT_TRUE(recipe);
  auto host =
      app::AdapterHost::Create(*app::ParseDeviceString("sim:packs=2:clock=virtual"), constants_);
  ASSERT_TRUE(host);
  // The environment as it was, put back at the end.
  std::vector<std::pair<const char*, std::optional<std::string>>> environment;
  for (const char* name : {"HOME", "XDG_DATA_HOME"}) {
    const char* value = std::getenv(name);
    environment.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
  }
  struct Case {
    std::string records;
    bool data_folder;
    std::string adapter;
    std::optional<StationProblem> problem;
    std::string says;  // in the records' location, or in the refusal
  };
  const std::vector<Case> cases = {
      {"", true, "", std::nullopt, "data/cellwarden/simulated-records.sqlite"},
      {scratch_.File("line.sqlite"), false, "888800000009", StationProblem::kStation,
       "no adapter with the serial number 888800000009"},
      {scratch_.path().string(), true, "", StationProblem::kRecords, "is a folder"},
      {"", false, "", StationProblem::kNoDataFolder, "neither XDG_DATA_HOME nor HOME is set"},
  };
  for (const Case& c : cases) {
    ::unsetenv("HOME");
    ::setenv("XDG_DATA_HOME", c.data_folder ? scratch_.File("data").c_str() : "relative", 1);
    StationOptions options;
    if (!c.adapter.empty()) options.adapters = {c.adapter};
    const auto opened = OpenStation(*host, *recipe, c.records, std::move(options));
    ASSERT_EQ(opened.has_value(), !c.problem) << c.says;
    const auto& records = opened ? opened->records : opened.error().records;
    if (opened) {
      EXPECT_TRUE(opened->station);
      EXPECT_NE(records->Location().find(c.says), std::string::npos) << records->Location();
    } else {
      EXPECT_EQ(opened.error().problem, *c.problem);
      EXPECT_NE(opened.error().message.find(c.says), std::string::npos) << opened.error().message;
    }
    // Records made by this opening say so, whether the station opened or not.
    EXPECT_EQ(records && records->Created(), !c.problem || c.problem == StationProblem::kStation)
        << c.says;
  }
  for (const auto& [name, value] : environment) {
    value ? ::setenv(name, value->c_str(), 1) : ::unsetenv(name);
  }
}

// The records file deleted mid-run: every pack fails for its records at its next write, without
// a hold (the file never comes back); none is sealed and passed without one.
TEST_F(StationTest, RecordsDeletedMidRunPassNoPack) {
  StationOptions options;
  options.records_hold = std::chrono::seconds(30);
  Open("sim:packs=2:clock=virtual", folder_->FullSteps(), std::move(options));
  // The file goes as the first lane enters its constants: no lane can have passed by then.
  std::atomic<int> deleted_in = -1;
  std::atomic<bool> held = false;
  const common::Subscription delete_in_constants = station_->changes().Subscribe([&] {
    const auto lanes = station_->View().lanes;
    for (std::size_t i = 0; i < lanes.size(); ++i) {
      if (lanes[i].activity.starts_with("held")) held = true;
      int none = -1;
      if (lanes[i].step == StepKind::kConstants &&
          deleted_in.compare_exchange_strong(none, static_cast<int>(i))) {
        std::filesystem::remove(records_->Location());
      }
    }
  });
  RunAll();
  ASSERT_GE(deleted_in, 0);
  EXPECT_FALSE(held);
  for (const LaneView& lane : station_->View().lanes) {
    EXPECT_EQ(lane.phase, LanePhase::kFail) << lane.adapter_serial;
    EXPECT_NE(lane.failure.find("was deleted while the station had it open"), std::string::npos)
        << lane.failure;
  }
  // The lane names the step whose record was lost, as the summary and the record do.
  EXPECT_EQ(station_->View().lanes.at(static_cast<std::size_t>(deleted_in.load())).step,
            StepKind::kConstants);
  for (std::size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(Pack(i).gauge().seal_state(), sim::SealState::kUnsealed) << i;
  }
}

TEST_F(StationTest, ARefusedRecordHoldsThePackUntilTheRecordsTakeIt) {
  StationOptions options;
  options.records_hold = std::chrono::seconds(30);
  Open("sim:clock=virtual", folder_->FullSteps(), std::move(options), 0x0714, "verify", 2);
  std::atomic<bool> held = false;
  const common::Subscription watch = station_->changes().Subscribe([&] {
    if (station_->View().lanes.at(0).activity.starts_with("held: the records refuse the write "
                                                          "(disk full); trying again each second"))
      held = true;
  });
  RunAll();
  EXPECT_TRUE(held);
  const std::vector<RunRecord> runs = Runs();
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].result, RunResult::kPass) << runs[0].failure;
  EXPECT_EQ(Pack(0).gauge().seal_state(), sim::SealState::kSealed);
}

TEST_F(StationTest, APackWithoutItsRecordIsNotAMadePack) {
  StationOptions options;
  options.records_hold = std::chrono::seconds(1);
  Open("sim:clock=virtual", folder_->FullSteps(), std::move(options), 0x0714, "verify");
  RunAll();
  const LaneView lane = station_->View().lanes.at(0);
  EXPECT_EQ(lane.phase, LanePhase::kFail);
  EXPECT_EQ(lane.failure, "the records at " + records_->Location() +
                              " could not be written (disk full): a pack without its record is "
                              "not a made pack");
  EXPECT_EQ(Pack(0).gauge().seal_state(), sim::SealState::kUnsealed);
  const std::vector<RunRecord> runs = Runs();
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].result, RunResult::kFail);
  EXPECT_EQ(runs[0].failure, lane.failure);
}

// A factory system that never hears of a pack would treat it as not made: a hand-off that
// cannot be written fails the pack the steps passed, in the records too, and hands nothing on.
TEST_F(StationTest, APackWhoseHandoffCannotBeWrittenIsNotPassed) {
  const auto folder = scratch_.path() / "handoff";
  Open("sim:clock=virtual", "[steps.seal]\n[handoff]\nfolder = \"" + folder.string() + "\"\n");
  // The share went away after the station checked it: a file stands where the folder was.
  std::filesystem::remove_all(folder);
  std::ofstream(folder) << "not a folder\n";
  RunAll();
  const LaneView lane = station_->View().lanes.at(0);
  EXPECT_EQ(lane.phase, LanePhase::kFail);
  EXPECT_TRUE(lane.failure.starts_with("the hand-off " + folder.string() + " could not be written"))
      << lane.failure;
  const std::vector<RunRecord> runs = Runs();
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].result, RunResult::kFail);
  EXPECT_EQ(runs[0].failed_step, "handoff");
  EXPECT_EQ(runs[0].cause, "file");
  EXPECT_EQ(runs[0].failure, lane.failure);
  EXPECT_EQ(StepsOf(runs[0]), (std::vector<std::string>{"gauge", "seal"}));

  // A station whose folder cannot be made refuses before any pack.
  const auto recipe =
      LoadPreparedRecipe(folder_->Write("line", "[steps.seal]\n[handoff]\nfolder = \"" +
                                                    (folder / "x").string() + "\"\n"),
                         constants_);
  ASSERT_TRUE(recipe);
  station_.reset();
  const auto refused = Station::Create(host_, *recipe, records_, {});
  ASSERT_FALSE(refused);
  EXPECT_TRUE(refused.error().starts_with("the hand-off " + (folder / "x").string()))
      << refused.error();
}

TEST_F(StationTest, APulledAdapterFailsItsRunAndItsLaneIsGoneUntilItIsBack) {
  Open("sim:packs=2:clock=virtual", folder_->FullSteps());
  bool pulled = false;
  const common::Subscription pull_in_constants = station_->changes().Subscribe([&] {
    const LaneView lane = station_->View().lanes.at(0);
    if (!pulled && lane.step == StepKind::kConstants && lane.step_percent > 10) {
      pulled = true;
      Pack(0).Unplug();
    }
  });
  RunAll();

  StationView view = station_->View();
  EXPECT_EQ(view.lanes[0].phase, LanePhase::kGone);
  EXPECT_EQ(view.lanes[0].failure, "adapter unplugged");
  EXPECT_EQ(view.lanes[1].phase, LanePhase::kPass);
  EXPECT_FALSE(station_->StartLane(sim::PackSerial(1)));
  const std::vector<RunRecord> runs = Runs();
  const RunRecord& failed = *std::ranges::find(
      runs, sim::PackSerial(1), [](const RunRecord& run) { return run.start.adapter_serial; });
  EXPECT_EQ(failed.result, RunResult::kFail);
  EXPECT_EQ(failed.failed_step, "constants");
  EXPECT_EQ(failed.failure, "adapter unplugged");
  EXPECT_EQ(failed.cause, "no_adapter");

  Pack(0).Plug();
  Pack(1).Unplug();
  station_->RefreshAdapters();
  const auto phases = [&] {
    view = station_->View();
    return std::pair(view.lanes[0].phase, view.lanes[1].phase);
  };
  ASSERT_TRUE(
      Eventually([&] { return phases() == std::pair(LanePhase::kIdle, LanePhase::kGone); }));
  EXPECT_TRUE(station_->StartLane(sim::PackSerial(1)));
  station_->WaitUntilIdle();
  EXPECT_EQ(station_->View().lanes[0].failure, "");
}

TEST_F(StationTest, ALaneRunsOnTheWorkbenchAFrontEndLends) {
  auto host =
      app::AdapterHost::Create(*app::ParseDeviceString("sim:packs=2:clock=virtual"), constants_);
  ASSERT_TRUE(host);
  test::RecordingMessageSink window;
  auto lent = app::Workbench::Create(*host, {std::nullopt, sim::PackSerial(2)}, {}, window);
  ASSERT_TRUE(lent && (*lent)->Start());
  StationOptions options;
  options.lent = {lent->get()};
  Open(*host,
       "[steps.firmware]\n" + folder_->FileKeys("image", "files/pack.bin") + "[steps.seal]\n",
       std::move(options));
  RunAll();

  EXPECT_EQ(station_->View().counters.passed, 2);
  // The lent Workbench's own SubCMD log has the seal of its pack, and only that one.
  EXPECT_EQ((*lent)->subcmd().View().log.size(), 1u);
  EXPECT_EQ(Pack(1).gauge().seal_state(), sim::SealState::kSealed);
  // The update's messages were the lane's: a box in the lending window would have held the run
  // until someone clicked it. Once the station is gone the window hears its workbench again.
  EXPECT_EQ(window.Texts(), std::vector<std::string>{});
  station_.reset();
  (*lent)->messages().Show("after");
  EXPECT_EQ(window.Texts(), std::vector<std::string>{"after"});
}

}  // namespace
}  // namespace cw::production
