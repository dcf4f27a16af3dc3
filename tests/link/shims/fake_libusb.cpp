// The libusb calls the product makes, answered from the pretend bus: the device list, the
// descriptors, open, claim, the serial string and bulk transfers to the adapter model. Error
// texts (libusb_strerror, libusb_error_name) stay libusb's own. The types are completed here;
// callers only ever hold pointers to them.

#include <libusb.h>

#include <algorithm>
#include <cstring>

#include "fake_usb_world.h"

struct libusb_context {
  int unused = 0;
};

struct libusb_device {
  std::size_t index = 0;
  int references = 1;
};

struct libusb_device_handle {
  libusb_device* device = nullptr;
  bool claimed = false;
  bool driver_detached = false;
};

namespace {

using cw::fake::FakeUsbDevice;
using cw::fake::World;

constexpr std::uint8_t kSerialIndex = 3;

const FakeUsbDevice* DeviceOf(const World& world, const libusb_device* device) {
  if (device == nullptr || world.unplugged || device->index >= world.usb.size()) return nullptr;
  return &world.usb[device->index];
}

void Unreference(libusb_device* device) {
  if (device != nullptr && --device->references == 0) delete device;
}

}  // namespace

#define CW_EXPORT extern "C" __attribute__((visibility("default")))

CW_EXPORT int libusb_init(libusb_context** context) {
  if (context != nullptr) *context = new libusb_context;
  return LIBUSB_SUCCESS;
}

CW_EXPORT void libusb_exit(libusb_context* context) { delete context; }

// The pretend bus reports arrival and removal to nobody: the product then does without.
CW_EXPORT int libusb_has_capability(uint32_t /*capability*/) { return 0; }

CW_EXPORT int libusb_hotplug_register_callback(libusb_context*, int, int, int, int, int,
                                               libusb_hotplug_callback_fn, void*,
                                               libusb_hotplug_callback_handle*) {
  return LIBUSB_ERROR_NOT_SUPPORTED;
}

CW_EXPORT void libusb_hotplug_deregister_callback(libusb_context*, libusb_hotplug_callback_handle) {
}

CW_EXPORT int libusb_handle_events_timeout_completed(libusb_context*, struct timeval*, int*) {
  return LIBUSB_SUCCESS;
}

CW_EXPORT ssize_t libusb_get_device_list(libusb_context* /*context*/, libusb_device*** list) {
  std::lock_guard lock(cw::fake::WorldMutex());
  const World& world = cw::fake::TheWorld();
  const std::size_t count = world.unplugged ? 0 : world.usb.size();
  auto** devices = new libusb_device*[count + 1];
  for (std::size_t i = 0; i < count; ++i) devices[i] = new libusb_device{i, 1};
  devices[count] = nullptr;
  *list = devices;
  return static_cast<ssize_t>(count);
}

CW_EXPORT void libusb_free_device_list(libusb_device** list, int unref_devices) {
  if (list == nullptr) return;
  for (auto** device = list; *device != nullptr; ++device) {
    if (unref_devices != 0) Unreference(*device);
  }
  delete[] list;
}

CW_EXPORT int libusb_get_device_descriptor(libusb_device* device,
                                           libusb_device_descriptor* descriptor) {
  std::lock_guard lock(cw::fake::WorldMutex());
  const FakeUsbDevice* fake = DeviceOf(cw::fake::TheWorld(), device);
  if (fake == nullptr) return LIBUSB_ERROR_NO_DEVICE;
  *descriptor = {};
  descriptor->bLength = LIBUSB_DT_DEVICE_SIZE;
  descriptor->bDescriptorType = LIBUSB_DT_DEVICE;
  descriptor->idVendor = fake->vendor_id;
  descriptor->idProduct = fake->product_id;
  descriptor->iSerialNumber = fake->serial.empty() ? 0 : kSerialIndex;
  descriptor->bNumConfigurations = 1;
  return LIBUSB_SUCCESS;
}

CW_EXPORT uint8_t libusb_get_bus_number(libusb_device* device) {
  std::lock_guard lock(cw::fake::WorldMutex());
  const FakeUsbDevice* fake = DeviceOf(cw::fake::TheWorld(), device);
  return fake != nullptr ? fake->bus : 0;
}

CW_EXPORT uint8_t libusb_get_device_address(libusb_device* device) {
  std::lock_guard lock(cw::fake::WorldMutex());
  const FakeUsbDevice* fake = DeviceOf(cw::fake::TheWorld(), device);
  return fake != nullptr ? fake->address : 0;
}

CW_EXPORT int libusb_open(libusb_device* device, libusb_device_handle** handle) {
  std::lock_guard lock(cw::fake::WorldMutex());
  World& world = cw::fake::TheWorld();
  ++world.usb_opens;
  const FakeUsbDevice* fake = DeviceOf(world, device);
  if (fake == nullptr) return LIBUSB_ERROR_NO_DEVICE;
  if (fake->open_error != 0) return fake->open_error;
  ++device->references;
  *handle = new libusb_device_handle{device};
  return LIBUSB_SUCCESS;
}

CW_EXPORT void libusb_close(libusb_device_handle* handle) {
  if (handle == nullptr) return;
  std::lock_guard lock(cw::fake::WorldMutex());
  Unreference(handle->device);
  delete handle;
}

CW_EXPORT libusb_device* libusb_get_device(libusb_device_handle* handle) {
  return handle != nullptr ? handle->device : nullptr;
}

CW_EXPORT int libusb_get_string_descriptor_ascii(libusb_device_handle* handle, uint8_t index,
                                                 unsigned char* data, int length) {
  std::lock_guard lock(cw::fake::WorldMutex());
  const FakeUsbDevice* fake = DeviceOf(cw::fake::TheWorld(), handle->device);
  if (fake == nullptr) return LIBUSB_ERROR_NO_DEVICE;
  if (index != kSerialIndex || fake->serial.empty()) return LIBUSB_ERROR_PIPE;
  const int size = std::min(length - 1, static_cast<int>(fake->serial.size()));
  std::memcpy(data, fake->serial.data(), static_cast<std::size_t>(size));
  data[size] = '\0';
  return size;
}

CW_EXPORT int libusb_kernel_driver_active(libusb_device_handle* handle, int /*interface*/) {
  std::lock_guard lock(cw::fake::WorldMutex());
  const FakeUsbDevice* fake = DeviceOf(cw::fake::TheWorld(), handle->device);
  if (fake == nullptr) return LIBUSB_ERROR_NO_DEVICE;
  return fake->kernel_driver && !handle->driver_detached ? 1 : 0;
}

CW_EXPORT int libusb_detach_kernel_driver(libusb_device_handle* handle, int /*interface*/) {
  handle->driver_detached = true;
  return LIBUSB_SUCCESS;
}

CW_EXPORT int libusb_claim_interface(libusb_device_handle* handle, int /*interface*/) {
  std::lock_guard lock(cw::fake::WorldMutex());
  World& world = cw::fake::TheWorld();
  ++world.claims;
  const FakeUsbDevice* fake = DeviceOf(world, handle->device);
  if (fake == nullptr) return LIBUSB_ERROR_NO_DEVICE;
  if (fake->claim_error != 0) return fake->claim_error;
  if (fake->kernel_driver && !handle->driver_detached) return LIBUSB_ERROR_BUSY;
  handle->claimed = true;
  return LIBUSB_SUCCESS;
}

CW_EXPORT int libusb_release_interface(libusb_device_handle* handle, int /*interface*/) {
  if (!handle->claimed) return LIBUSB_ERROR_NOT_FOUND;
  handle->claimed = false;
  return LIBUSB_SUCCESS;
}

CW_EXPORT int libusb_bulk_transfer(libusb_device_handle* handle, unsigned char endpoint,
                                   unsigned char* data, int length, int* transferred,
                                   unsigned int timeout) {
  *transferred = 0;
  bool timed_out = false;
  int result = LIBUSB_SUCCESS;
  {
    std::lock_guard lock(cw::fake::WorldMutex());
    World& world = cw::fake::TheWorld();
    if (DeviceOf(world, handle->device) == nullptr || cw::fake::CountExchange(world)) {
      return LIBUSB_ERROR_NO_DEVICE;
    }
    if (!handle->claimed) return LIBUSB_ERROR_NOT_FOUND;
    ++world.bulk_transfers;
    const auto size = static_cast<std::size_t>(length);
    if ((endpoint & LIBUSB_ENDPOINT_IN) == 0) {
      cw::fake::AdapterBulkOut(world, data, size);
      *transferred = length;
    } else if (world.bulk_in_error != 0) {
      cw::fake::AdapterBulkIn(world, data, size);
      *transferred = std::min(world.bulk_in_partial, length);
      std::fill(data + *transferred, data + length, 0);
      result = world.bulk_in_error;
      if (result == LIBUSB_ERROR_TIMEOUT) {
        ++world.timeouts;
        timed_out = true;
      }
    } else {
      cw::fake::AdapterBulkIn(world, data, size);
      *transferred = length;
    }
  }
  if (timed_out) cw::fake::ReportTimeout(timeout);
  return result;
}

CW_EXPORT int libusb_interrupt_transfer(libusb_device_handle*, unsigned char, unsigned char*, int,
                                        int* transferred, unsigned int) {
  *transferred = 0;
  return LIBUSB_ERROR_NOT_SUPPORTED;
}

CW_EXPORT int libusb_control_transfer(libusb_device_handle*, uint8_t, uint8_t, uint16_t, uint16_t,
                                      unsigned char*, uint16_t, unsigned int) {
  return LIBUSB_ERROR_NOT_SUPPORTED;
}
