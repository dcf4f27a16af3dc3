#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace cw::link {

// One top-level collection of a HID device as enumeration reports it. On Linux several entries
// share one device node; each is opened on its own.
struct HidCollectionInfo {
  std::string path;
  std::uint16_t vendor_id = 0;
  std::uint16_t product_id = 0;
  std::uint16_t usage_page = 0;
  std::uint16_t usage = 0;
};

// An open collection. Reports include the report id in byte 0.
class HidCollection {
 public:
  virtual ~HidCollection() = default;
  // One set-feature of the whole report. False when the device refused or is gone.
  virtual bool SetFeature(std::span<const std::uint8_t> report) = 0;
  // One get-feature; report[0] holds the id on entry, the rest is filled. False on failure.
  virtual bool GetFeature(std::span<std::uint8_t> report) = 0;
};

// The thin layer under the HID transport: enumeration and open, no protocol.
class HidBackend {
 public:
  virtual ~HidBackend() = default;
  virtual std::vector<HidCollectionInfo> Enumerate() = 0;
  // Null when the collection cannot be opened.
  virtual std::unique_ptr<HidCollection> Open(const HidCollectionInfo& info) = 0;
};

}  // namespace cw::link
