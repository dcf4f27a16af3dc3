#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "common/bytes.h"
#include "link/usb_backend.h"

namespace cw::exports::testing {

// What reached the device, in order. `data` is what went out (or came back, for an in call).
struct UsbCall {
  std::string
      what;  // "open", "close", "claim", "release", "detach", "bulk", "interrupt", "control"
  int result = 0;
  std::uint8_t endpoint_or_type = 0;
  std::uint8_t request = 0;
  std::uint16_t value = 0;
  std::uint16_t index = 0;
  std::size_t length = 0;
  unsigned timeout_ms = 0;
  common::Bytes data;
};

// Knobs for failures the simulated adapter does not produce on its own.
struct UsbFaults {
  bool fail_list = false;
  bool fail_open = false;
  link::AdapterFault open_fault;  // what LastFault says after a failed open
  int failing_claims = 0;         // the next this many claims fail as if another program held them
  bool kernel_driver_active = false;
  int transfer_result = 0;  // < 0: every transfer fails with this code
};

// Wraps a backend and records every call on the devices it opens, so tests can see the exact
// requests that reach the adapter and when it is claimed, released and closed.
class RecordingUsbBackend final : public link::UsbBackend {
 public:
  explicit RecordingUsbBackend(link::UsbBackend& inner) : inner_(inner) {}

  std::optional<std::size_t> ListDevices() override;
  std::optional<link::UsbDeviceDescriptor> ReadDeviceDescriptor(std::size_t index) override;
  std::unique_ptr<link::UsbDevice> Open(std::size_t index) override;
  link::AdapterFault LastFault() const override;
  void FreeDeviceList() override;
  bool RegisterHotplug(std::uint16_t vendor_id,
                       std::function<void(link::UsbHotplugEvent)> callback) override;

  std::vector<UsbCall> Calls() const;
  // Calls named `what`, in order.
  std::vector<UsbCall> Calls(const std::string& what) const;
  std::size_t Count(const std::string& what) const { return Calls(what).size(); }
  void Clear();
  void Record(UsbCall call);

  UsbFaults faults;
  int list_calls = 0;
  int free_list_calls = 0;

 private:
  link::UsbBackend& inner_;
  mutable std::mutex mutex_;
  std::vector<UsbCall> calls_;
};

}  // namespace cw::exports::testing
