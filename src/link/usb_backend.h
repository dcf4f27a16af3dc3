#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "link/adapter_fault.h"

namespace cw::link {

// Result code of a USB call, in libusb's convention: 0 or a positive count for success,
// negative for failure.
enum UsbResult : int {
  kUsbSuccess = 0,
  kUsbErrorIo = -1,
  kUsbErrorInvalidParam = -2,
  kUsbErrorAccess = -3,
  kUsbErrorNoDevice = -4,
  kUsbErrorNotFound = -5,
  kUsbErrorBusy = -6,
  kUsbErrorTimeout = -7,
  kUsbErrorOverflow = -8,
  kUsbErrorPipe = -9,
  kUsbErrorInterrupted = -10,
  kUsbErrorNoMem = -11,
  kUsbErrorNotSupported = -12,
  kUsbErrorOther = -99,
};

// A transfer's outcome with the bytes it moved: a transfer that times out after part of the data
// has still moved that part, and a caller that reports counts must not lose it.
struct UsbTransfer {
  int status = kUsbSuccess;  // 0, or a negative UsbResult
  std::size_t transferred = 0;
  bool operator==(const UsbTransfer&) const = default;
};

struct UsbDeviceDescriptor {
  std::uint16_t vendor_id = 0;
  std::uint16_t product_id = 0;
  std::uint8_t serial_number_index = 0;
};

// An open USB device (libusb device handle).
class UsbDevice {
 public:
  virtual ~UsbDevice() = default;
  // The serial-number string descriptor as ASCII; empty when it cannot be read.
  virtual std::string ReadSerialNumber() = 0;
  // Why the last ReadSerialNumber came back empty; kNone when the device has no serial number
  // or the backend cannot tell.
  virtual AdapterFault SerialFault() const { return {}; }
  virtual bool KernelDriverActive(int interface_number) = 0;
  virtual int DetachKernelDriver(int interface_number) = 0;
  virtual int ClaimInterface(int interface_number) = 0;
  virtual int ReleaseInterface(int interface_number) = 0;
  // Bulk or interrupt transfer on `endpoint` (bit 7 set = in). Returns the bytes moved or a
  // negative UsbResult. Every transfer has a finite time-out.
  virtual int BulkTransfer(std::uint8_t endpoint, std::span<std::uint8_t> data,
                           unsigned timeout_ms) = 0;
  virtual int InterruptTransfer(std::uint8_t endpoint, std::span<std::uint8_t> data,
                                unsigned timeout_ms) = 0;
  // The same transfers with the count kept on failure. Devices that cannot tell report nothing
  // moved when the transfer failed.
  virtual UsbTransfer BulkTransferCounted(std::uint8_t endpoint, std::span<std::uint8_t> data,
                                          unsigned timeout_ms) {
    return Counted(BulkTransfer(endpoint, data, timeout_ms));
  }
  virtual UsbTransfer InterruptTransferCounted(std::uint8_t endpoint, std::span<std::uint8_t> data,
                                               unsigned timeout_ms) {
    return Counted(InterruptTransfer(endpoint, data, timeout_ms));
  }
  // Control transfer; request_type bit 7 gives the direction. Returns bytes moved or < 0.
  virtual int ControlTransfer(std::uint8_t request_type, std::uint8_t request, std::uint16_t value,
                              std::uint16_t index, std::span<std::uint8_t> data,
                              unsigned timeout_ms) = 0;

 private:
  static UsbTransfer Counted(int result) {
    if (result < 0) return {result, 0};
    return {kUsbSuccess, static_cast<std::size_t>(result)};
  }
};

enum class UsbHotplugEvent { kArrived, kLeft };

// A device of the current list: where it is on the list, its ids and its node (empty when the
// platform has none).
struct UsbListedDevice {
  std::size_t index = 0;
  UsbDeviceDescriptor descriptor;
  std::string node;
};

// The thin layer under the bulk transport and the exported pipe routines.
class UsbBackend {
 public:
  virtual ~UsbBackend() = default;
  // Initialises the context (once) and lists the present devices; nullopt when either fails.
  virtual std::optional<std::size_t> ListDevices() = 0;
  // Descriptor of device `index` of the last list; nullopt when it cannot be read.
  virtual std::optional<UsbDeviceDescriptor> ReadDeviceDescriptor(std::size_t index) = 0;
  // Opens device `index` of the last list; null on failure.
  virtual std::unique_ptr<UsbDevice> Open(std::size_t index) = 0;
  // Why the last ListDevices or Open failed; kNone when the backend cannot tell.
  virtual AdapterFault LastFault() const { return {}; }
  // The device node of device `index` of the last list ("/dev/bus/usb/001/005"); empty when
  // the platform has none.
  virtual std::string DevicePath(std::size_t /*index*/) { return {}; }
  // The library's text for a result code a device returned.
  virtual std::string ErrorText(int result) const { return std::string(UsbResultName(result)); }
  // Drops the last device list (devices already opened stay open).
  virtual void FreeDeviceList() = 0;
  // Lists the devices once and calls `visit` with each of `vendor_id`, in the platform's order,
  // until it returns false; the list is freed afterwards (a device `visit` opened stays open).
  // False when the devices cannot be listed (LastFault says why). How the link and the survey
  // both list the bulk adapters.
  bool VisitDevices(std::uint16_t vendor_id,
                    const std::function<bool(const UsbListedDevice&)>& visit);
  // Reports arrival and removal of devices with `vendor_id`. False when the platform cannot.
  virtual bool RegisterHotplug(std::uint16_t vendor_id,
                               std::function<void(UsbHotplugEvent)> callback) = 0;
};

}  // namespace cw::link
