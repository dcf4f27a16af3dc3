#pragma once

#include <expected>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/clock.h"
#include "common/product_constants.h"
#include "link/hid_backend.h"
#include "link/smbus_target.h"
#include "link/usb_backend.h"
#include "sim/fault_config.h"
#include "sim/sim_bulk_adapter.h"
#include "sim/sim_gauge.h"
#include "sim/sim_hid_adapter.h"
#include "sim/state_file_lock.h"

namespace cw::sim {

class SimBus;

// The adapters a simulated pack plugs in: its HID adapter, its bulk adapter, or both (the same
// serial number on each).
enum class SimAdapters { kHid, kBulk, kBoth };

// The adapters a device string's "transport=" names ("hid", "bulk", "both"); nullopt for any other
// word.
std::optional<SimAdapters> SimAdaptersNamed(std::string_view word);
// `adapters` with the bulk adapter plugged in: what drives a pack through bulk transfers only.
SimAdapters WithBulkAdapter(SimAdapters adapters);

struct SimOptions {
  // One HID adapter with the built-in vendor id unless the caller says otherwise.
  std::vector<SimHidAdapterConfig> hid_adapters = {
      SimHidAdapterConfig{common::ProductConstants{}.adapter_vendor_id}};
  std::vector<SimBulkAdapterConfig> bulk_adapters;
  FaultConfig faults;
  common::ProductConstants constants;
  std::string state_file;  // empty = none
  // How long to wait for another process to let go of the state file before giving up.
  common::Millis state_file_wait{10000};
  boot::BootTiming boot_timing;
};

// Adapters of `kind` with the ids and serial the tool looks for under `constants`.
SimOptions DefaultSimOptions(const common::ProductConstants& constants, SimAdapters kind);

// The pack a device string chooses: adapters of `kind`, the faults in their device-string form
// ("drop-after=3,seed=1", empty for none) and the state file (empty for none). The faults'
// reason when they do not parse.
std::expected<SimOptions, std::string> SimOptionsFor(const common::ProductConstants& constants,
                                                     SimAdapters kind, std::string_view faults,
                                                     std::string state_file);

// A simulated battery pack: the gauge and the adapters that reach it, with the pack's state kept
// in a file when one is given. Safe for a scan thread and a UI thread using it at once.
class SimPack {
 public:
  // Loads `options.state_file` when it exists, holding it against every other pack and process
  // from then until this pack is gone (a file another one holds is waited for, up to
  // `options.state_file_wait`). A file that cannot be used or stays in use leaves the pack at its
  // defaults and is reported by load_error() (and then never overwritten).
  SimPack(common::Clock& clock, SimOptions options);
  // Saves the state file when one is set and it loaded cleanly. Handles still open on the
  // backends fail from then on.
  ~SimPack();

  SimPack(const SimPack&) = delete;
  SimPack& operator=(const SimPack&) = delete;

  link::HidBackend& hid_backend();
  link::UsbBackend& usb_backend();
  // Another backend on this pack's bulk adapters, with a device list of its own (the HID
  // backend keeps no list and serves any number of callers).
  std::unique_ptr<link::UsbBackend> NewUsbView() const;
  SimGauge& gauge();
  const SimOptions& options() const { return options_; }

  // Tests: a scripted device on the bus instead of the gauge (null puts the gauge back).
  void ReplaceTarget(link::SmbusTarget* target);
  // Every adapter at once; handles opened before an unplug stay dead after the next plug.
  void Unplug();
  void Plug();

  // Writes the state file (a regular file, or none yet); a state already saved is not written
  // again.
  std::expected<void, std::string> SaveState() const;
  const std::optional<std::string>& load_error() const { return load_error_; }

  // Gives a pack made without a state file its file now, before anything drives it: loaded and
  // held from here on as if it had been given at construction. A pack of a set takes its file
  // only once it is chosen, so that the files of packs nobody drives are neither held nor
  // written. Attaching the file it already has does nothing; another one is refused.
  std::expected<void, std::string> AttachStateFile(std::string state_file);

 private:
  // Locks and loads options_.state_file; load_error_ says why it could not.
  void LoadStateFile();

  SimOptions options_;
  std::unique_ptr<SimGauge> gauge_;
  std::shared_ptr<SimBus> bus_;
  std::unique_ptr<SimHidAdapter> hid_;
  std::unique_ptr<SimBulkAdapter> bulk_;
  StateFileLock state_lock_;
  std::optional<std::string> load_error_;
  mutable std::mutex save_mutex_;
  mutable std::optional<GaugeState> saved_;
};

}  // namespace cw::sim
