#pragma once

#include <atomic>
#include <cstdint>
#include <expected>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "dataflash/afi_file.h"
#include "firmware/fs_script_reader.h"
#include "link/gauge_link.h"
#include "production/lane_sinks.h"
#include "production/prepared_recipe.h"
#include "production/records_store.h"
#include "production/station.h"

// The run of one pack on one lane: the gauge's identity, then the recipe's steps in order with
// their retries, every attempt a step record, the run begun and finished in the records.
namespace cw::production {

// What a recipe's files hold, parsed once for every lane and every run.
struct RecipeMaterial {
  std::optional<dataflash::AfiValues> constants;  // the constants step's golden .afi
  std::optional<firmware::FsScript> firmware_script;
  std::optional<firmware::FsScript> constants_script;
  std::vector<std::string_view> masked;  // what the verify step leaves out
};
std::expected<RecipeMaterial, std::string> MaterialOf(const PreparedRecipe& prepared);

// How a lane hears where its run is. Called on the lane's worker.
class RunReport {
 public:
  virtual ~RunReport() = default;
  virtual void RunBegun(std::int64_t run) = 0;
  // `step` nothing: the gauge's identity is read. `number` from 1.
  virtual void StepBegun(std::optional<StepKind> step, int number, int attempt) = 0;
  virtual void Activity(std::string activity) = 0;
  virtual void PackSerial(std::int64_t serial) = 0;
};

struct PackRunSetup {
  app::Workbench& bench;
  LaneMessages& messages;
  LaneProgress& progress;
  const PreparedRecipe& prepared;
  const RecipeMaterial& material;
  RecordsStore& records;
  std::chrono::seconds records_hold;  // see StationOptions
  RunStart start;             // the recipe's part and the station's; the time is set by the run
  std::string adapter_label;  // for messages
  std::function<std::optional<AskedReferences>()> ask_references;
  const std::atomic<bool>& unplugged;  // the lane's adapter was pulled
  // Whether the lane's adapter is still attached: asked when a step fails, so that a pack
  // whose adapter was pulled fails for that and not for what the link made of it.
  std::function<bool()> adapter_attached;
  RunReport& report;
};

struct PackRunEnd {
  RunResult result = RunResult::kPass;
  std::optional<StepKind> step;  // where a failed or stopped run ended (nothing: the gauge)
  std::string failure;
  common::ErrorKind cause = common::ErrorKind::kFailed;  // of a failed or stopped run
  bool adapter_gone = false;  // the run failed because the adapter was pulled
};

PackRunEnd RunPack(const PackRunSetup& setup, std::stop_token stop);

// The gauge's device type and firmware version (ManufacturerAccess 0x0001 and 0x0002); nothing
// when the pack does not answer. What tells a lane in loop mode that a pack is on.
struct GaugeIdentity {
  std::uint16_t device_type = 0;
  std::uint16_t firmware_version = 0;
};
std::optional<GaugeIdentity> ReadGaugeIdentity(cw::link::GaugeLink& link);
// Whether a pack is on the fixture: its gauge answers, from its firmware or its boot loader.
bool PackAnswers(cw::link::GaugeLink& link);

}  // namespace cw::production
