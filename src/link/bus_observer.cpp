#include "link/bus_observer.h"

#include <fmt/format.h>

namespace cw::link {
namespace {

class ObservedHidCollection final : public HidCollection {
 public:
  ObservedHidCollection(std::unique_ptr<HidCollection> inner, BusObserver& observer)
      : inner_(std::move(inner)), observer_(observer) {}

  bool SetFeature(std::span<const std::uint8_t> report) override {
    const bool ok = inner_->SetFeature(report);
    observer_.OnBusEvent({BusEvent::Kind::kHidSet, {report.begin(), report.end()}, ok});
    return ok;
  }
  bool GetFeature(std::span<std::uint8_t> report) override {
    const bool ok = inner_->GetFeature(report);
    observer_.OnBusEvent({BusEvent::Kind::kHidGet, {report.begin(), report.end()}, ok});
    return ok;
  }

 private:
  std::unique_ptr<HidCollection> inner_;
  BusObserver& observer_;
};

class ObservedUsbDevice final : public UsbDevice {
 public:
  ObservedUsbDevice(std::unique_ptr<UsbDevice> inner, BusObserver& observer)
      : inner_(std::move(inner)), observer_(observer) {}

  std::string ReadSerialNumber() override { return inner_->ReadSerialNumber(); }
  bool KernelDriverActive(int number) override { return inner_->KernelDriverActive(number); }
  int DetachKernelDriver(int number) override { return inner_->DetachKernelDriver(number); }
  int ClaimInterface(int number) override { return inner_->ClaimInterface(number); }
  int ReleaseInterface(int number) override { return inner_->ReleaseInterface(number); }

  int BulkTransfer(std::uint8_t endpoint, std::span<std::uint8_t> data,
                   unsigned timeout_ms) override {
    const int result = inner_->BulkTransfer(endpoint, data, timeout_ms);
    Report(endpoint, data, result);
    return result;
  }
  int InterruptTransfer(std::uint8_t endpoint, std::span<std::uint8_t> data,
                        unsigned timeout_ms) override {
    const int result = inner_->InterruptTransfer(endpoint, data, timeout_ms);
    Report(endpoint, data, result);
    return result;
  }
  int ControlTransfer(std::uint8_t request_type, std::uint8_t request, std::uint16_t value,
                      std::uint16_t index, std::span<std::uint8_t> data,
                      unsigned timeout_ms) override {
    const int result =
        inner_->ControlTransfer(request_type, request, value, index, data, timeout_ms);
    common::Bytes bytes = {request_type, request, common::LowByte(value),
                           common::HighByte(value), common::LowByte(index),
                           common::HighByte(index)};
    bytes.insert(bytes.end(), data.begin(), data.end());
    observer_.OnBusEvent({BusEvent::Kind::kUsbControl, std::move(bytes), result >= 0});
    return result;
  }

 private:
  void Report(std::uint8_t endpoint, std::span<const std::uint8_t> data, int result) {
    const bool in = (endpoint & 0x80) != 0;
    observer_.OnBusEvent({in ? BusEvent::Kind::kUsbIn : BusEvent::Kind::kUsbOut,
                          {data.begin(), data.end()}, result >= 0});
  }

  std::unique_ptr<UsbDevice> inner_;
  BusObserver& observer_;
};

}  // namespace

std::string DescribeBusEvent(const BusEvent& event) {
  const char* what = "";
  switch (event.kind) {
    case BusEvent::Kind::kHidSet: what = "hid set >"; break;
    case BusEvent::Kind::kHidGet: what = "hid get <"; break;
    case BusEvent::Kind::kUsbOut: what = "bulk out >"; break;
    case BusEvent::Kind::kUsbIn: what = "bulk in <"; break;
    case BusEvent::Kind::kUsbControl: what = "usb control"; break;
  }
  return fmt::format("{} {}{}", what, common::ToHex(event.bytes), event.ok ? "" : " (failed)");
}

void BusRecorder::OnBusEvent(const BusEvent& event) {
  std::lock_guard lock(mutex_);
  events_.push_back(event);
}

std::vector<BusEvent> BusRecorder::Events() const {
  std::lock_guard lock(mutex_);
  return events_;
}

std::vector<common::Bytes> BusRecorder::Sent() const {
  std::lock_guard lock(mutex_);
  std::vector<common::Bytes> sent;
  for (const auto& event : events_) {
    if (event.ok && (event.kind == BusEvent::Kind::kHidSet ||
                     event.kind == BusEvent::Kind::kUsbOut)) {
      sent.push_back(event.bytes);
    }
  }
  return sent;
}

void BusRecorder::Clear() {
  std::lock_guard lock(mutex_);
  events_.clear();
}

void BusTracer::OnBusEvent(const BusEvent& event) {
  sink_.Trace("usb", DescribeBusEvent(event));
}

std::unique_ptr<HidCollection> ObservedHidBackend::Open(const HidCollectionInfo& info) {
  auto inner = inner_.Open(info);
  if (!inner) return nullptr;
  return std::make_unique<ObservedHidCollection>(std::move(inner), observer_);
}

std::unique_ptr<UsbDevice> ObservedUsbBackend::Open(std::size_t index) {
  auto inner = inner_.Open(index);
  if (!inner) return nullptr;
  return std::make_unique<ObservedUsbDevice>(std::move(inner), observer_);
}

}  // namespace cw::link
