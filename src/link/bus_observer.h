#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "common/bytes.h"
#include "common/front_end.h"
#include "link/hid_backend.h"
#include "link/usb_backend.h"

namespace cw::link {

// One report or packet as it crossed the USB boundary.
struct BusEvent {
  enum class Kind { kHidSet, kHidGet, kUsbOut, kUsbIn, kUsbControl };
  Kind kind;
  common::Bytes bytes;  // a set/out: what was sent; a get/in: what came back
  bool ok;
  // Why it failed, or what was odd about it ("short: 12 of 64 bytes"); empty when all was well.
  std::string note;
  bool operator==(const BusEvent&) const = default;
};

std::string DescribeBusEvent(const BusEvent& event);

class BusObserver {
 public:
  virtual ~BusObserver() = default;
  virtual void OnBusEvent(const BusEvent& event) = 0;
  // What happened to a device rather than on its bus: enumeration entries, opens, claims and
  // serial numbers, one line each.
  virtual void OnDeviceEvent(std::string_view /*text*/) {}
};

// Keeps every event in order; tests assert the exact bytes of a transaction with it.
class BusRecorder final : public BusObserver {
 public:
  void OnBusEvent(const BusEvent& event) override;
  void OnDeviceEvent(std::string_view text) override;
  std::vector<BusEvent> Events() const;
  std::vector<std::string> DeviceEvents() const;
  // Only the successful sets and outs: the requests the adapter acted on.
  std::vector<common::Bytes> Sent() const;
  void Clear();

 private:
  mutable std::mutex mutex_;
  std::vector<BusEvent> events_;
  std::vector<std::string> device_events_;
};

// Writes every event as one trace line ("hid > 01 17 0D ...").
class BusTracer final : public BusObserver {
 public:
  explicit BusTracer(common::TraceSink& sink) : sink_(sink) {}
  void OnBusEvent(const BusEvent& event) override;
  void OnDeviceEvent(std::string_view text) override;

 private:
  common::TraceSink& sink_;
};

// Decorators that pass every report and packet of a real or simulated backend to an observer,
// and every enumeration entry, open and claim with the library's reason when it failed.
class ObservedHidBackend final : public HidBackend {
 public:
  ObservedHidBackend(HidBackend& inner, BusObserver& observer)
      : inner_(inner), observer_(observer) {}
  std::vector<HidCollectionInfo> Enumerate() override;
  std::vector<HidCollectionInfo> EnumerateMatching(std::uint16_t vendor_id,
                                                   std::uint16_t product_id) override;
  std::unique_ptr<HidCollection> Open(const HidCollectionInfo& info) override;
  AdapterFault LastOpenFault() const override { return inner_.LastOpenFault(); }

 private:
  std::vector<HidCollectionInfo> Traced(std::vector<HidCollectionInfo> entries,
                                        std::uint16_t vendor_id, std::uint16_t product_id);

  HidBackend& inner_;
  BusObserver& observer_;
};

class ObservedUsbBackend final : public UsbBackend {
 public:
  ObservedUsbBackend(UsbBackend& inner, BusObserver& observer)
      : inner_(inner), observer_(observer) {}
  std::optional<std::size_t> ListDevices() override;
  std::optional<UsbDeviceDescriptor> ReadDeviceDescriptor(std::size_t index) override;
  std::unique_ptr<UsbDevice> Open(std::size_t index) override;
  AdapterFault LastFault() const override { return inner_.LastFault(); }
  std::string DevicePath(std::size_t index) override { return inner_.DevicePath(index); }
  std::string ErrorText(int result) const override { return inner_.ErrorText(result); }
  void FreeDeviceList() override { inner_.FreeDeviceList(); }
  bool RegisterHotplug(std::uint16_t vendor_id,
                       std::function<void(UsbHotplugEvent)> callback) override {
    return inner_.RegisterHotplug(vendor_id, std::move(callback));
  }

 private:
  UsbBackend& inner_;
  BusObserver& observer_;
};

}  // namespace cw::link
