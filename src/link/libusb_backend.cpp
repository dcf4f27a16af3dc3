#include "link/libusb_backend.h"

#include <fmt/format.h>
#include <libusb.h>

#include <array>
#include <climits>
#include <string>

namespace cw::link {
namespace {

// Size of the buffer the serial-number string descriptor is read into; string descriptors are
// at most 255 bytes of UTF-16, so this never truncates.
constexpr int kSerialBufferSize = 512;

// How long one round of event handling may block on the hot-plug thread. It bounds how late a
// stop request is noticed, so the backend's destructor never waits longer than this.
constexpr long kEventPollMicroseconds = 100'000;

// libusb reads a time-out of 0 as "wait for ever". Nothing in this product may wait without a
// bound, so a caller's 0 becomes the shortest finite wait instead.
unsigned FiniteTimeout(unsigned timeout_ms) { return timeout_ms == 0 ? 1 : timeout_ms; }

class LibusbDevice final : public UsbDevice {
 public:
  LibusbDevice(std::shared_ptr<libusb_context> context, libusb_device_handle* handle)
      : context_(std::move(context)), handle_(handle) {}
  ~LibusbDevice() override { libusb_close(handle_); }

  LibusbDevice(const LibusbDevice&) = delete;
  LibusbDevice& operator=(const LibusbDevice&) = delete;

  std::string ReadSerialNumber() override {
    serial_fault_ = {};
    libusb_device_descriptor descriptor{};
    if (const int result = libusb_get_device_descriptor(libusb_get_device(handle_), &descriptor);
        result != 0) {
      return SerialFailed("libusb_get_device_descriptor", result);
    }
    if (descriptor.iSerialNumber == 0) return {};
    std::array<unsigned char, kSerialBufferSize> text{};
    const int length = libusb_get_string_descriptor_ascii(handle_, descriptor.iSerialNumber,
                                                          text.data(), kSerialBufferSize);
    if (length < 0) return SerialFailed("libusb_get_string_descriptor_ascii", length);
    return std::string(reinterpret_cast<const char*>(text.data()),
                       static_cast<std::size_t>(length));
  }
  AdapterFault SerialFault() const override { return serial_fault_; }

  bool KernelDriverActive(int interface_number) override {
    return libusb_kernel_driver_active(handle_, interface_number) == 1;
  }
  int DetachKernelDriver(int interface_number) override {
    return libusb_detach_kernel_driver(handle_, interface_number);
  }
  int ClaimInterface(int interface_number) override {
    return libusb_claim_interface(handle_, interface_number);
  }
  int ReleaseInterface(int interface_number) override {
    return libusb_release_interface(handle_, interface_number);
  }

  int BulkTransfer(std::uint8_t endpoint, std::span<std::uint8_t> data,
                   unsigned timeout_ms) override {
    return Plain(Transfer(&libusb_bulk_transfer, endpoint, data, timeout_ms));
  }
  int InterruptTransfer(std::uint8_t endpoint, std::span<std::uint8_t> data,
                        unsigned timeout_ms) override {
    return Plain(Transfer(&libusb_interrupt_transfer, endpoint, data, timeout_ms));
  }
  UsbTransfer BulkTransferCounted(std::uint8_t endpoint, std::span<std::uint8_t> data,
                                  unsigned timeout_ms) override {
    return Transfer(&libusb_bulk_transfer, endpoint, data, timeout_ms);
  }
  UsbTransfer InterruptTransferCounted(std::uint8_t endpoint, std::span<std::uint8_t> data,
                                       unsigned timeout_ms) override {
    return Transfer(&libusb_interrupt_transfer, endpoint, data, timeout_ms);
  }

  int ControlTransfer(std::uint8_t request_type, std::uint8_t request, std::uint16_t value,
                      std::uint16_t index, std::span<std::uint8_t> data,
                      unsigned timeout_ms) override {
    // wLength is 16 bits on the wire; a longer buffer would be cut without a word.
    if (data.size() > 0xFFFF) return LIBUSB_ERROR_INVALID_PARAM;
    unsigned char empty = 0;
    unsigned char* bytes = data.empty() ? &empty : data.data();
    return libusb_control_transfer(handle_, request_type, request, value, index, bytes,
                                   static_cast<std::uint16_t>(data.size()),
                                   FiniteTimeout(timeout_ms));
  }

 private:
  using TransferFunction = int (*)(libusb_device_handle*, unsigned char, unsigned char*, int, int*,
                                   unsigned int);

  // libusb fills `transferred` on failure too (a time-out after part of the data); the counted
  // form keeps it for the pipe routines, which promise their callers the bytes moved.
  UsbTransfer Transfer(TransferFunction function, std::uint8_t endpoint,
                       std::span<std::uint8_t> data, unsigned timeout_ms) {
    if (data.size() > static_cast<std::size_t>(INT_MAX)) return {LIBUSB_ERROR_INVALID_PARAM, 0};
    unsigned char empty = 0;
    unsigned char* bytes = data.empty() ? &empty : data.data();
    int transferred = 0;
    const int result = function(handle_, endpoint, bytes, static_cast<int>(data.size()),
                                &transferred, FiniteTimeout(timeout_ms));
    return {result, static_cast<std::size_t>(transferred > 0 ? transferred : 0)};
  }
  // The plain form: a complete count or an error, never a silent part.
  static int Plain(const UsbTransfer& transfer) {
    return transfer.status == 0 ? static_cast<int>(transfer.transferred) : transfer.status;
  }

  std::string SerialFailed(const char* call, int result) {
    serial_fault_ = {FaultKindOfUsbResult(result), libusb_strerror(result),
                     fmt::format("{}: {}", call, libusb_error_name(result))};
    return {};
  }

  std::shared_ptr<libusb_context> context_;  // keeps libusb alive while the handle is open
  libusb_device_handle* handle_;
  AdapterFault serial_fault_;
};

}  // namespace

LibusbBackend::LibusbBackend() = default;

LibusbBackend::~LibusbBackend() {
  StopHotplug();
  FreeDeviceList();
}

void LibusbBackend::RecordFault(const char* call, int result) {
  fault_ = {FaultKindOfUsbResult(result), libusb_strerror(result),
            fmt::format("{}: {}", call, libusb_error_name(result))};
}

std::string LibusbBackend::ErrorText(int result) const { return libusb_strerror(result); }

bool LibusbBackend::EnsureContext() {
  if (context_) return true;
  libusb_context* context = nullptr;
  if (const int result = libusb_init(&context); result != 0) {
    RecordFault("libusb_init", result);
    return false;
  }
  context_ = std::shared_ptr<libusb_context>(context, &libusb_exit);
  return true;
}

std::optional<std::size_t> LibusbBackend::ListDevices() {
  FreeDeviceList();
  if (!EnsureContext()) return std::nullopt;
  libusb_device** list = nullptr;
  const ssize_t count = libusb_get_device_list(context_.get(), &list);
  if (count < 0) {
    RecordFault("libusb_get_device_list", static_cast<int>(count));
    return std::nullopt;
  }
  fault_ = {};
  list_ = list;
  list_size_ = static_cast<std::size_t>(count);
  return list_size_;
}

std::string LibusbBackend::DevicePath(std::size_t index) {
  if (list_ == nullptr || index >= list_size_) return {};
  return fmt::format("/dev/bus/usb/{:03}/{:03}", libusb_get_bus_number(list_[index]),
                     libusb_get_device_address(list_[index]));
}

std::optional<UsbDeviceDescriptor> LibusbBackend::ReadDeviceDescriptor(std::size_t index) {
  if (list_ == nullptr || index >= list_size_) return std::nullopt;
  libusb_device_descriptor descriptor{};
  if (libusb_get_device_descriptor(list_[index], &descriptor) != 0) return std::nullopt;
  return UsbDeviceDescriptor{descriptor.idVendor, descriptor.idProduct, descriptor.iSerialNumber};
}

std::unique_ptr<UsbDevice> LibusbBackend::Open(std::size_t index) {
  if (list_ == nullptr || index >= list_size_) return nullptr;
  libusb_device_handle* handle = nullptr;
  if (const int result = libusb_open(list_[index], &handle); result != 0) {
    RecordFault("libusb_open", result);
    return nullptr;
  }
  fault_ = {};
  return std::make_unique<LibusbDevice>(context_, handle);
}

void LibusbBackend::FreeDeviceList() {
  if (list_ == nullptr) return;
  // Open handles hold their own reference to the device, so unreferencing the list is safe.
  libusb_free_device_list(list_, 1);
  list_ = nullptr;
  list_size_ = 0;
}

bool LibusbBackend::RegisterHotplug(std::uint16_t vendor_id,
                                    std::function<void(UsbHotplugEvent)> callback) {
  StopHotplug();
  if (!callback || !EnsureContext()) return false;
  if (libusb_has_capability(LIBUSB_CAP_HAS_HOTPLUG) == 0) return false;
  // Set before registering: libusb may call back as soon as events are handled.
  hotplug_callback_ = std::move(callback);
  const auto events = static_cast<libusb_hotplug_event>(LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED |
                                                        LIBUSB_HOTPLUG_EVENT_DEVICE_LEFT);
  libusb_hotplug_callback_handle handle = 0;
  const int result = libusb_hotplug_register_callback(
      context_.get(), events, LIBUSB_HOTPLUG_NO_FLAGS, vendor_id, LIBUSB_HOTPLUG_MATCH_ANY,
      LIBUSB_HOTPLUG_MATCH_ANY,
      [](libusb_context* context, libusb_device* device, libusb_hotplug_event event,
         void* user_data) {
        return HotplugTrampoline(context, device, static_cast<int>(event), user_data);
      },
      this, &handle);
  if (result != LIBUSB_SUCCESS) {
    hotplug_callback_ = nullptr;
    return false;
  }
  hotplug_handle_ = handle;
  hotplug_registered_ = true;
  event_thread_ = std::jthread([this](std::stop_token stop) { RunEvents(stop); });
  return true;
}

void LibusbBackend::StopHotplug() {
  if (event_thread_.joinable()) {
    event_thread_.request_stop();
    event_thread_.join();
  }
  if (hotplug_registered_) {
    libusb_hotplug_deregister_callback(context_.get(), hotplug_handle_);
    hotplug_registered_ = false;
  }
  hotplug_callback_ = nullptr;
}

void LibusbBackend::RunEvents(std::stop_token stop) {
  while (!stop.stop_requested()) {
    timeval wait{0, kEventPollMicroseconds};
    libusb_handle_events_timeout_completed(context_.get(), &wait, nullptr);
  }
}

int LibusbBackend::HotplugTrampoline(libusb_context* /*context*/, libusb_device* /*device*/,
                                     int event, void* user_data) {
  auto* backend = static_cast<LibusbBackend*>(user_data);
  if (backend->hotplug_callback_) {
    backend->hotplug_callback_(event == LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED
                                   ? UsbHotplugEvent::kArrived
                                   : UsbHotplugEvent::kLeft);
  }
  return 0;  // stay registered until StopHotplug
}

}  // namespace cw::link
