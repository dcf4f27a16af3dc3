// The handful of libudev calls hidapi's hidraw backend makes, answered from the pretend bus:
// every fake hidraw node is one device of subsystem "hidraw" with a "hid" parent (its uevent),
// a "usb_device" parent (strings) and a "usb_interface" parent. Nothing else is listed.
// The types are this file's own; callers only ever hold pointers to them.

#include <cerrno>
#include <memory>
#include <string>
#include <vector>

#include "fake_usb_world.h"

struct udev {
  int references = 1;
};

struct udev_list_entry {
  std::string name;
  udev_list_entry* next = nullptr;
};

struct udev_enumerate {
  udev* context = nullptr;
  int references = 1;
  bool hidraw = false;
  std::vector<std::unique_ptr<udev_list_entry>> entries;
};

struct udev_device {
  enum class Kind { kRaw, kHid, kUsbDevice, kUsbInterface };
  Kind kind = Kind::kRaw;
  int references = 1;
  std::string syspath;
  std::string devnode;
  std::string uevent;
  std::string manufacturer = "Cellwarden test bench";
  std::string product;
  std::unique_ptr<udev_device> parents[3];  // hid, usb_device, usb_interface of a raw device
};

namespace {

constexpr const char* kHidrawSubsystem = "hidraw";

bool Same(const char* text, const char* other) {
  return text != nullptr && other != nullptr && std::string(text) == other;
}

}  // namespace

#define CW_EXPORT extern "C" __attribute__((visibility("default")))

CW_EXPORT udev* udev_new() { return new udev; }

CW_EXPORT udev* udev_unref(udev* context) {
  if (context != nullptr && --context->references == 0) delete context;
  return nullptr;
}

CW_EXPORT udev_enumerate* udev_enumerate_new(udev* context) {
  if (context == nullptr) return nullptr;
  auto* enumerate = new udev_enumerate;
  enumerate->context = context;
  return enumerate;
}

CW_EXPORT udev_enumerate* udev_enumerate_unref(udev_enumerate* enumerate) {
  if (enumerate != nullptr && --enumerate->references == 0) delete enumerate;
  return nullptr;
}

CW_EXPORT int udev_enumerate_add_match_subsystem(udev_enumerate* enumerate, const char* subsystem) {
  if (enumerate == nullptr) return -EINVAL;
  enumerate->hidraw = Same(subsystem, kHidrawSubsystem);
  return 0;
}

CW_EXPORT int udev_enumerate_scan_devices(udev_enumerate* enumerate) {
  if (enumerate == nullptr) return -EINVAL;
  enumerate->entries.clear();
  if (!enumerate->hidraw) return 0;
  std::lock_guard lock(cw::fake::WorldMutex());
  const auto& world = cw::fake::TheWorld();
  if (world.unplugged) return 0;
  for (const auto& node : world.hid) {
    auto entry = std::make_unique<udev_list_entry>();
    entry->name = node.syspath;
    if (!enumerate->entries.empty()) enumerate->entries.back()->next = entry.get();
    enumerate->entries.push_back(std::move(entry));
  }
  return 0;
}

CW_EXPORT udev_list_entry* udev_enumerate_get_list_entry(udev_enumerate* enumerate) {
  if (enumerate == nullptr || enumerate->entries.empty()) return nullptr;
  return enumerate->entries.front().get();
}

CW_EXPORT udev_list_entry* udev_list_entry_get_next(udev_list_entry* entry) {
  return entry != nullptr ? entry->next : nullptr;
}

CW_EXPORT const char* udev_list_entry_get_name(udev_list_entry* entry) {
  return entry != nullptr ? entry->name.c_str() : nullptr;
}

CW_EXPORT udev_device* udev_device_new_from_syspath(udev* /*context*/, const char* syspath) {
  std::lock_guard lock(cw::fake::WorldMutex());
  const auto& world = cw::fake::TheWorld();
  for (const auto& node : world.hid) {
    if (world.unplugged || !Same(syspath, node.syspath.c_str())) continue;
    auto device = std::make_unique<udev_device>();
    device->syspath = node.syspath;
    device->devnode = node.path;
    auto hid = std::make_unique<udev_device>();
    hid->kind = udev_device::Kind::kHid;
    hid->uevent = cw::fake::UeventOf(node);
    auto usb = std::make_unique<udev_device>();
    usb->kind = udev_device::Kind::kUsbDevice;
    usb->product = "Fake " + node.path;
    auto interface = std::make_unique<udev_device>();
    interface->kind = udev_device::Kind::kUsbInterface;
    device->parents[0] = std::move(hid);
    device->parents[1] = std::move(usb);
    device->parents[2] = std::move(interface);
    return device.release();
  }
  errno = ENODEV;
  return nullptr;
}

// hidapi asks for a device by number only for the strings of an open device, which the
// product never reads.
CW_EXPORT udev_device* udev_device_new_from_devnum(udev* /*context*/, char /*type*/,
                                                   unsigned long /*devnum*/) {
  errno = ENODEV;
  return nullptr;
}

CW_EXPORT udev_device* udev_device_unref(udev_device* device) {
  if (device != nullptr && device->kind == udev_device::Kind::kRaw && --device->references == 0) {
    delete device;
  }
  return nullptr;
}

CW_EXPORT const char* udev_device_get_devnode(udev_device* device) {
  return device != nullptr && !device->devnode.empty() ? device->devnode.c_str() : nullptr;
}

CW_EXPORT const char* udev_device_get_syspath(udev_device* device) {
  return device != nullptr ? device->syspath.c_str() : nullptr;
}

// Parents belong to the child, as in libudev: the caller never unreferences them.
CW_EXPORT udev_device* udev_device_get_parent_with_subsystem_devtype(udev_device* device,
                                                                     const char* subsystem,
                                                                     const char* devtype) {
  if (device == nullptr || device->kind != udev_device::Kind::kRaw) return nullptr;
  if (Same(subsystem, "hid")) return device->parents[0].get();
  if (Same(subsystem, "usb") && Same(devtype, "usb_device")) return device->parents[1].get();
  if (Same(subsystem, "usb") && Same(devtype, "usb_interface")) return device->parents[2].get();
  return nullptr;
}

CW_EXPORT const char* udev_device_get_sysattr_value(udev_device* device, const char* name) {
  if (device == nullptr) return nullptr;
  switch (device->kind) {
    case udev_device::Kind::kHid:
      return Same(name, "uevent") ? device->uevent.c_str() : nullptr;
    case udev_device::Kind::kUsbDevice:
      if (Same(name, "manufacturer")) return device->manufacturer.c_str();
      if (Same(name, "product")) return device->product.c_str();
      if (Same(name, "bcdDevice")) return "0100";
      return nullptr;
    case udev_device::Kind::kUsbInterface:
      return Same(name, "bInterfaceNumber") ? "00" : nullptr;
    case udev_device::Kind::kRaw:
      return nullptr;
  }
  return nullptr;
}
