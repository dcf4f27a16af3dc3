#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <thread>

#include "link/usb_backend.h"

struct libusb_context;
struct libusb_device;

namespace cw::link {

// UsbBackend on libusb-1.0. The context is created on first use and shared with every device
// opened through it, so a device may outlive the backend object without dangling.
class LibusbBackend final : public UsbBackend {
 public:
  LibusbBackend();
  ~LibusbBackend() override;

  LibusbBackend(const LibusbBackend&) = delete;
  LibusbBackend& operator=(const LibusbBackend&) = delete;

  std::optional<std::size_t> ListDevices() override;
  std::optional<UsbDeviceDescriptor> ReadDeviceDescriptor(std::size_t index) override;
  std::unique_ptr<UsbDevice> Open(std::size_t index) override;
  AdapterFault LastFault() const override { return fault_; }
  std::string DevicePath(std::size_t index) override;
  std::string ErrorText(int result) const override;
  void FreeDeviceList() override;
  // The callback runs on the backend's event thread. It must return quickly and must not make
  // synchronous transfers: libusb is handling events on that thread while it runs. A second
  // registration replaces the first.
  bool RegisterHotplug(std::uint16_t vendor_id,
                       std::function<void(UsbHotplugEvent)> callback) override;

 private:
  bool EnsureContext();
  void RecordFault(const char* call, int result);
  void StopHotplug();
  void RunEvents(std::stop_token stop);
  static int HotplugTrampoline(libusb_context* context, libusb_device* device, int event,
                               void* user_data);

  std::shared_ptr<libusb_context> context_;
  libusb_device** list_ = nullptr;
  std::size_t list_size_ = 0;
  AdapterFault fault_;

  std::function<void(UsbHotplugEvent)> hotplug_callback_;
  int hotplug_handle_ = 0;
  bool hotplug_registered_ = false;
  std::jthread event_thread_;
};

}  // namespace cw::link
