#pragma once

#include <cstddef>
#include <expected>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/clock.h"
#include "common/error.h"
#include "common/product_constants.h"
#include "link/hid_backend.h"
#include "link/usb_backend.h"
#include "sim/fault_config.h"
#include "sim/sim_pack.h"

namespace cw::sim {

// More packs than a set may hold is a typo rather than a test bench.
inline constexpr int kMaxPacks = 64;

struct SimPackSetOptions {
  int packs = 1;
  SimAdapters transport = SimAdapters::kHid;  // the adapters of every pack
  common::ProductConstants constants;
  FaultConfig faults;                      // every pack's faults, unless given for it below
  std::map<int, FaultConfig> pack_faults;  // one pack's own faults, by its number (from 1)
  // One pack and `state_folder` false: its state file. Otherwise the folder that keeps one file
  // per pack, named by the pack's serial number ("888800000002.json"). Empty: no state kept.
  std::string state;
  bool state_folder = false;
};

// The serial number of the adapters of pack `number` (from 1). It has the form of the bulk
// serial rule, so pack 1 is the adapter the transport rules pick when none is named.
std::string PackSerial(int number);

// The simulated packs of one process, each with its own gauge, bus, faults and adapters: pack k
// (from 1) sits behind "sim:hid<k-1>" and "sim:bulk<k-1>", both with serial PackSerial(k). The
// packs share nothing but the clock, so links on different packs never wait on each other.
//
// A pack takes its state file only when it is first used for a link (Use), so that a process
// holds and writes the files of the packs it drives and no others.
class SimPackSet {
 public:
  // Refuses a count out of range and faults for a pack that is not there (kUsage: the device
  // string is wrong), and a state folder that cannot be made (kFile).
  static common::Expected<std::unique_ptr<SimPackSet>> Create(common::Clock& clock,
                                                              SimPackSetOptions options);
  ~SimPackSet();

  SimPackSet(const SimPackSet&) = delete;
  SimPackSet& operator=(const SimPackSet&) = delete;

  std::size_t size() const { return packs_.size(); }
  SimPack& pack(std::size_t index) { return *packs_[index]; }
  const std::string& serial(std::size_t index) const { return serials_[index]; }
  // The pack with an adapter whose serial number or device node is `key`.
  std::optional<std::size_t> Find(std::string_view key) const;
  // Pack `index`, ready for a link: its state file, when the set keeps them, is loaded and held
  // from now on. Its load error otherwise.
  std::expected<SimPack*, std::string> Use(std::size_t index);

  // Backends over the adapters of every pack, with device lists of their own: what a survey of
  // the simulated machine, or a connection that must see every adapter, works through.
  std::unique_ptr<link::HidBackend> NewHidView();
  std::unique_ptr<link::UsbBackend> NewUsbView();

 private:
  SimPackSet(SimPackSetOptions options) : options_(std::move(options)) {}
  std::string StateFileOf(std::size_t index) const;

  const SimPackSetOptions options_;
  std::vector<std::string> serials_;
  std::vector<std::unique_ptr<SimPack>> packs_;
};

}  // namespace cw::sim
