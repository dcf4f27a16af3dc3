#include "link/hidapi_backend.h"

#include <hidapi/hidapi.h>

namespace cw::link {
namespace {

class HidapiCollection final : public HidCollection {
 public:
  explicit HidapiCollection(hid_device* device) : device_(device) {}
  ~HidapiCollection() override { hid_close(device_); }

  HidapiCollection(const HidapiCollection&) = delete;
  HidapiCollection& operator=(const HidapiCollection&) = delete;

  bool SetFeature(std::span<const std::uint8_t> report) override {
    // Byte 0 is the report id: a report without it cannot be addressed.
    if (report.empty()) return false;
    return hid_send_feature_report(device_, report.data(), report.size()) >= 0;
  }

  bool GetFeature(std::span<std::uint8_t> report) override {
    if (report.empty()) return false;
    return hid_get_feature_report(device_, report.data(), report.size()) >= 0;
  }

 private:
  hid_device* device_;
};

}  // namespace

HidapiBackend::HidapiBackend(std::optional<std::uint16_t> vendor_id)
    : vendor_id_(vendor_id), initialised_(hid_init() == 0) {}

// hid_exit() is deliberately not called: it tears down hidapi for the whole process, and
// another backend object (or collections opened through this one) may still be in use. With
// hidraw it only frees an error string, so skipping it loses nothing.
HidapiBackend::~HidapiBackend() = default;

std::vector<HidCollectionInfo> HidapiBackend::Enumerate() {
  std::vector<HidCollectionInfo> collections;
  if (!initialised_) return collections;
  hid_device_info* list = hid_enumerate(vendor_id_.value_or(0), 0);
  for (const hid_device_info* entry = list; entry != nullptr; entry = entry->next) {
    HidCollectionInfo info;
    if (entry->path != nullptr) info.path = entry->path;
    info.vendor_id = entry->vendor_id;
    info.product_id = entry->product_id;
    info.usage_page = entry->usage_page;
    info.usage = entry->usage;
    collections.push_back(std::move(info));
  }
  hid_free_enumeration(list);
  return collections;
}

std::unique_ptr<HidCollection> HidapiBackend::Open(const HidCollectionInfo& info) {
  if (!initialised_ || info.path.empty()) return nullptr;
  hid_device* device = hid_open_path(info.path.c_str());
  if (device == nullptr) return nullptr;
  return std::make_unique<HidapiCollection>(device);
}

}  // namespace cw::link
