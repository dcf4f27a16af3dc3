#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <tuple>
#include <vector>

#include "common/bytes.h"
#include "link/usb_backend.h"

namespace cw::exports::testing {

// A bus with any number of devices, for the choice of device and the failure paths. Transfers
// move the whole buffer; control-in answers what control-out stored for the same request,
// value and index, like the simulated adapter.
class FakeUsbBackend final : public link::UsbBackend {
 public:
  explicit FakeUsbBackend(std::vector<link::UsbDeviceDescriptor> devices)
      : devices_(std::move(devices)) {}

  std::optional<std::size_t> ListDevices() override { return devices_.size(); }
  std::optional<link::UsbDeviceDescriptor> ReadDeviceDescriptor(std::size_t index) override {
    if (index >= devices_.size()) return std::nullopt;
    return devices_[index];
  }
  std::unique_ptr<link::UsbDevice> Open(std::size_t index) override;
  void FreeDeviceList() override {}
  bool RegisterHotplug(std::uint16_t, std::function<void(link::UsbHotplugEvent)>) override {
    return false;
  }

  // Runs inside every bulk or interrupt transfer, before it completes.
  std::function<void()> during_transfer;

 private:
  friend class FakeUsbDevice;
  std::vector<link::UsbDeviceDescriptor> devices_;
  std::map<std::tuple<std::uint8_t, std::uint16_t, std::uint16_t>, common::Bytes> stored_;
};

}  // namespace cw::exports::testing
