#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "link/adapter_fault.h"

namespace cw::link {

// One top-level collection of a HID device as enumeration reports it. On Linux several entries
// share one device node.
struct HidCollectionInfo {
  std::string path;
  std::uint16_t vendor_id = 0;
  std::uint16_t product_id = 0;
  std::uint16_t usage_page = 0;
  std::uint16_t usage = 0;
  std::string serial;
  // The device the collection belongs to, when its path alone does not say it: hidraw gives
  // every collection of one adapter the same path (the node), while a backend that gives each
  // collection a path of its own (the simulated adapters) names their device here.
  std::string node;
};

// The device node a collection belongs to: the adapter it is part of.
inline const std::string& NodeOf(const HidCollectionInfo& info) {
  return info.node.empty() ? info.path : info.node;
}

// One HID device: every collection enumeration reported on its node, in the platform's order.
struct HidDevice {
  std::string node;
  std::string serial;
  std::uint16_t vendor_id = 0;
  std::uint16_t product_id = 0;
  std::vector<HidCollectionInfo> collections;
};

// The collections grouped by the device they belong to, in the order the platform listed them.
std::vector<HidDevice> GroupByDevice(std::vector<HidCollectionInfo> collections);

// An open collection. Reports include the report id in byte 0.
class HidCollection {
 public:
  virtual ~HidCollection() = default;
  // One set-feature of the whole report. False when the device refused or is gone.
  virtual bool SetFeature(std::span<const std::uint8_t> report) = 0;
  // One get-feature; report[0] holds the id on entry, the rest is filled. False on failure,
  // including a reply shorter than the report.
  virtual bool GetFeature(std::span<std::uint8_t> report) = 0;
  // Why the last SetFeature or GetFeature failed; kNone when the backend cannot tell.
  virtual AdapterFault LastFault() const { return {}; }
};

// The thin layer under the HID transport: enumeration and open, no protocol.
class HidBackend {
 public:
  virtual ~HidBackend() = default;
  virtual std::vector<HidCollectionInfo> Enumerate() = 0;
  // Only the collections of devices with these ids (0 matches any), so that nothing else on the
  // system is looked at more closely than the platform needs to compare ids.
  virtual std::vector<HidCollectionInfo> EnumerateMatching(std::uint16_t vendor_id,
                                                           std::uint16_t product_id) {
    std::vector<HidCollectionInfo> matching;
    for (auto& info : Enumerate()) {
      if ((vendor_id == 0 || info.vendor_id == vendor_id) &&
          (product_id == 0 || info.product_id == product_id)) {
        matching.push_back(std::move(info));
      }
    }
    return matching;
  }
  // The devices with these ids (0 matches any), one per node: how the link and the survey both
  // list the HID adapters.
  std::vector<HidDevice> EnumerateDevices(std::uint16_t vendor_id, std::uint16_t product_id) {
    return GroupByDevice(EnumerateMatching(vendor_id, product_id));
  }
  // Null when the collection cannot be opened; LastOpenFault then says why.
  virtual std::unique_ptr<HidCollection> Open(const HidCollectionInfo& info) = 0;
  virtual AdapterFault LastOpenFault() const { return {}; }
};

}  // namespace cw::link
