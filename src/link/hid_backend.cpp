#include "link/hid_backend.h"

#include <algorithm>

namespace cw::link {

std::vector<HidDevice> GroupByDevice(std::vector<HidCollectionInfo> collections) {
  std::vector<HidDevice> devices;
  for (auto& info : collections) {
    auto device = std::ranges::find(devices, NodeOf(info), &HidDevice::node);
    if (device == devices.end()) {
      devices.push_back({NodeOf(info), info.serial, info.vendor_id, info.product_id, {}});
      device = devices.end() - 1;
    }
    device->collections.push_back(std::move(info));
  }
  return devices;
}

}  // namespace cw::link
