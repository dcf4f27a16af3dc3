#include "link/usb_backend.h"

namespace cw::link {

bool UsbBackend::VisitDevices(std::uint16_t vendor_id,
                              const std::function<bool(const UsbListedDevice&)>& visit) {
  const auto count = ListDevices();
  if (!count) return false;
  for (std::size_t index = 0; index < *count; ++index) {
    const auto descriptor = ReadDeviceDescriptor(index);
    if (!descriptor) continue;  // one unreadable device hides none of the others
    if (descriptor->vendor_id != vendor_id) continue;
    if (!visit({index, *descriptor, DevicePath(index)})) break;
  }
  FreeDeviceList();
  return true;
}

}  // namespace cw::link
