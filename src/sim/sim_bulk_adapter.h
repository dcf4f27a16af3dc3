#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/clock.h"
#include "link/usb_backend.h"
#include "sim/sim_bus.h"

namespace cw::sim {

struct SimBulkAdapterConfig {
  std::uint16_t vendor_id = 0;
  std::uint16_t product_id = 0x8000;
  std::string serial = "888800000001";
  // Its device node; empty: "sim:bulk<n>", n counting the pack's bulk adapters from 0.
  std::string node;
  // Some hosts bind a driver to interface 0 until the tool detaches it.
  bool kernel_driver_active = false;
};

class BulkAdapterDevice;

// The bulk USB-to-SMBus adapter(s) of a simulated pack: 64-byte packets out on 0x01 and in on
// 0x81 carrying SMBus reads, writes and the version request; an 8-byte status on interrupt
// endpoint 0x82; vendor control transfers that read back what was written with the same
// request, value and index. Only the bulk adapters are listed as USB devices; hot-plug events
// come for every adapter of the pack whose vendor id matches, HID ones included.
//
// Like the real adapter it holds one reply: a request packet is taken only once the previous
// reply has been read, so a bulk-out transfer blocks (on `clock`) while a reply waits, and a
// bulk-in transfer blocks until there is one, each up to its time-out. A write longer than a
// packet goes out as several packets, as libusb splits it; a time-out halfway reports the
// packets taken.
class SimBulkAdapter final : public link::UsbBackend {
 public:
  SimBulkAdapter(std::shared_ptr<SimBus> bus, const std::vector<SimBulkAdapterConfig>& adapters,
                 common::Clock& clock);
  ~SimBulkAdapter() override;

  std::optional<std::size_t> ListDevices() override;
  std::optional<link::UsbDeviceDescriptor> ReadDeviceDescriptor(std::size_t index) override;
  std::unique_ptr<link::UsbDevice> Open(std::size_t index) override;
  std::string DevicePath(std::size_t index) override;
  void FreeDeviceList() override;
  bool RegisterHotplug(std::uint16_t vendor_id,
                       std::function<void(link::UsbHotplugEvent)> callback) override;

  // Another backend on the same adapters with a device list of its own: the list is the state
  // of one caller's open, so a second caller that lists them while a link opens one needs its
  // own.
  std::unique_ptr<SimBulkAdapter> NewView() const;

 private:
  SimBulkAdapter(std::shared_ptr<SimBus> bus,
                 std::vector<std::shared_ptr<BulkAdapterDevice>> devices);

  const std::shared_ptr<SimBus> bus_;
  std::vector<std::shared_ptr<BulkAdapterDevice>> devices_;
  std::mutex mutex_;
  std::vector<std::shared_ptr<BulkAdapterDevice>> listed_;
};

}  // namespace cw::sim
