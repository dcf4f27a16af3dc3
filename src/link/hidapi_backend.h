#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "link/hid_backend.h"

namespace cw::link {

// HidBackend on hidapi's hidraw flavour. Only enumeration and feature reports: report layouts,
// waits and retries belong to the transport above. Every failure keeps hidapi's own words
// (hid_error) and the system's reason.
class HidapiBackend final : public HidBackend {
 public:
  // With a vendor id, Enumerate asks hidapi for that vendor's devices only; without one it
  // lists every HID device (useful to show an engineer what is plugged in).
  explicit HidapiBackend(std::optional<std::uint16_t> vendor_id = std::nullopt);
  ~HidapiBackend() override;

  HidapiBackend(const HidapiBackend&) = delete;
  HidapiBackend& operator=(const HidapiBackend&) = delete;

  // One entry per top-level collection; empty when hidapi could not start.
  std::vector<HidCollectionInfo> Enumerate() override;
  std::vector<HidCollectionInfo> EnumerateMatching(std::uint16_t vendor_id,
                                                   std::uint16_t product_id) override;
  std::unique_ptr<HidCollection> Open(const HidCollectionInfo& info) override;
  AdapterFault LastOpenFault() const override { return open_fault_; }

 private:
  std::vector<HidCollectionInfo> List(std::uint16_t vendor_id, std::uint16_t product_id);

  std::optional<std::uint16_t> vendor_id_;
  bool initialised_ = false;
  AdapterFault open_fault_;
};

}  // namespace cw::link
