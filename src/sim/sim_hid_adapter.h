#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "link/hid_backend.h"
#include "sim/sim_bus.h"

namespace cw::sim {

struct SimHidAdapterConfig {
  std::uint16_t vendor_id = 0;
  std::uint16_t product_id = 0x8888;
  std::uint16_t usage_page = 0xFF00;
  std::string serial;
  // The node its collections belong to; empty: "sim:hid<n>", n counting the pack's HID adapters
  // from 0. Each collection's path is the node followed by ":" and its usage.
  std::string node;
};

class HidAdapterDevice;

// The HID USB-to-SMBus adapter(s) of a simulated pack. Each adapter enumerates one collection
// per usage of the usage table; each collection carries only the report whose id is its usage.
// The adapter interprets request headers (reports 1 and 2), data reports and responses (3-6)
// and adapter commands (report 10) the way the real one does, and talks to the pack's bus.
class SimHidAdapter final : public link::HidBackend {
 public:
  SimHidAdapter(std::shared_ptr<SimBus> bus, const std::vector<SimHidAdapterConfig>& adapters);
  ~SimHidAdapter() override;

  std::vector<link::HidCollectionInfo> Enumerate() override;
  std::unique_ptr<link::HidCollection> Open(const link::HidCollectionInfo& info) override;

 private:
  std::shared_ptr<SimBus> bus_;
  std::vector<std::shared_ptr<HidAdapterDevice>> devices_;
};

}  // namespace cw::sim
