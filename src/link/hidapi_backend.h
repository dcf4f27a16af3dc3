#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "link/hid_backend.h"

namespace cw::link {

// HidBackend on hidapi's hidraw flavour. Only enumeration and feature reports: report layouts,
// waits and retries belong to the transport above.
class HidapiBackend final : public HidBackend {
 public:
  // With a vendor id, enumeration asks hidapi for that vendor's devices only; without one it
  // lists every HID device (useful to show an engineer what is plugged in).
  explicit HidapiBackend(std::optional<std::uint16_t> vendor_id = std::nullopt);
  ~HidapiBackend() override;

  HidapiBackend(const HidapiBackend&) = delete;
  HidapiBackend& operator=(const HidapiBackend&) = delete;

  // One entry per top-level collection; empty when hidapi could not start.
  std::vector<HidCollectionInfo> Enumerate() override;
  std::unique_ptr<HidCollection> Open(const HidCollectionInfo& info) override;

 private:
  std::optional<std::uint16_t> vendor_id_;
  bool initialised_ = false;
};

}  // namespace cw::link
