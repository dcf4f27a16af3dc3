#include "link/bus_observer.h"

#include <fmt/format.h>

#include "link/messages.h"

namespace cw::link {
namespace {

namespace trace = messages::trace;

// What the library said about a failure, or nothing when it could not say.
std::string FailureNote(const AdapterFault& fault) {
  return fault ? DescribeFault(fault) : std::string();
}

class ObservedHidCollection final : public HidCollection {
 public:
  ObservedHidCollection(std::unique_ptr<HidCollection> inner, BusObserver& observer)
      : inner_(std::move(inner)), observer_(observer) {}

  bool SetFeature(std::span<const std::uint8_t> report) override {
    const bool ok = inner_->SetFeature(report);
    observer_.OnBusEvent({BusEvent::Kind::kHidSet,
                          {report.begin(), report.end()},
                          ok,
                          ok ? std::string() : FailureNote(inner_->LastFault())});
    return ok;
  }
  bool GetFeature(std::span<std::uint8_t> report) override {
    const bool ok = inner_->GetFeature(report);
    observer_.OnBusEvent({BusEvent::Kind::kHidGet,
                          {report.begin(), report.end()},
                          ok,
                          ok ? std::string() : FailureNote(inner_->LastFault())});
    return ok;
  }
  AdapterFault LastFault() const override { return inner_->LastFault(); }

 private:
  std::unique_ptr<HidCollection> inner_;
  BusObserver& observer_;
};

class ObservedUsbDevice final : public UsbDevice {
 public:
  ObservedUsbDevice(std::unique_ptr<UsbDevice> inner, const UsbBackend& backend,
                    BusObserver& observer)
      : inner_(std::move(inner)), backend_(backend), observer_(observer) {}

  std::string ReadSerialNumber() override {
    std::string serial = inner_->ReadSerialNumber();
    if (const AdapterFault fault = inner_->SerialFault()) {
      observer_.OnDeviceEvent(fmt::format("usb serial: failed: {}", DescribeFault(fault)));
    } else {
      observer_.OnDeviceEvent(fmt::format("usb serial \"{}\"", serial));
    }
    return serial;
  }
  AdapterFault SerialFault() const override { return inner_->SerialFault(); }
  bool KernelDriverActive(int number) override {
    const bool active = inner_->KernelDriverActive(number);
    observer_.OnDeviceEvent(fmt::format("usb interface {}: kernel driver {}", number,
                                        active ? "active" : "not active"));
    return active;
  }
  int DetachKernelDriver(int number) override {
    return Call("detach", number, inner_->DetachKernelDriver(number));
  }
  int ClaimInterface(int number) override {
    return Call("claim", number, inner_->ClaimInterface(number));
  }
  int ReleaseInterface(int number) override {
    return Call("release", number, inner_->ReleaseInterface(number));
  }

  int BulkTransfer(std::uint8_t endpoint, std::span<std::uint8_t> data,
                   unsigned timeout_ms) override {
    const int result = inner_->BulkTransfer(endpoint, data, timeout_ms);
    Report(endpoint, data, Plain(result));
    return result;
  }
  int InterruptTransfer(std::uint8_t endpoint, std::span<std::uint8_t> data,
                        unsigned timeout_ms) override {
    const int result = inner_->InterruptTransfer(endpoint, data, timeout_ms);
    Report(endpoint, data, Plain(result));
    return result;
  }
  UsbTransfer BulkTransferCounted(std::uint8_t endpoint, std::span<std::uint8_t> data,
                                  unsigned timeout_ms) override {
    const UsbTransfer transfer = inner_->BulkTransferCounted(endpoint, data, timeout_ms);
    Report(endpoint, data, transfer);
    return transfer;
  }
  UsbTransfer InterruptTransferCounted(std::uint8_t endpoint, std::span<std::uint8_t> data,
                                       unsigned timeout_ms) override {
    const UsbTransfer transfer = inner_->InterruptTransferCounted(endpoint, data, timeout_ms);
    Report(endpoint, data, transfer);
    return transfer;
  }
  int ControlTransfer(std::uint8_t request_type, std::uint8_t request, std::uint16_t value,
                      std::uint16_t index, std::span<std::uint8_t> data,
                      unsigned timeout_ms) override {
    const int result =
        inner_->ControlTransfer(request_type, request, value, index, data, timeout_ms);
    common::Bytes bytes = {request_type,           request,
                           common::LowByte(value), common::HighByte(value),
                           common::LowByte(index), common::HighByte(index)};
    bytes.insert(bytes.end(), data.begin(), data.end());
    observer_.OnBusEvent({BusEvent::Kind::kUsbControl, std::move(bytes), result >= 0,
                          result >= 0 ? std::string() : backend_.ErrorText(result)});
    return result;
  }

 private:
  static UsbTransfer Plain(int result) {
    if (result < 0) return {result, 0};
    return {kUsbSuccess, static_cast<std::size_t>(result)};
  }

  int Call(std::string_view what, int number, int result) {
    const std::string outcome =
        result >= 0 ? std::string("ok") : fmt::format(trace::kFailed, backend_.ErrorText(result));
    observer_.OnDeviceEvent(fmt::format("usb {} interface {}: {}", what, number, outcome));
    return result;
  }

  // A short transfer shows the bytes it moved and says so; a failed one says why, with the bytes
  // it moved before it failed.
  void Report(std::uint8_t endpoint, std::span<const std::uint8_t> data,
              const UsbTransfer& transfer) {
    const bool in = (endpoint & 0x80) != 0;
    const bool ok = transfer.status >= 0;
    std::string note;
    if (!ok) {
      note = backend_.ErrorText(transfer.status);
      if (transfer.transferred > 0) {
        note += ", " + fmt::format(trace::kShort, transfer.transferred, data.size());
      }
    } else if (transfer.transferred < data.size()) {
      note = fmt::format(trace::kShort, transfer.transferred, data.size());
    }
    const std::size_t shown = in && !note.empty() ? transfer.transferred : data.size();
    observer_.OnBusEvent({in ? BusEvent::Kind::kUsbIn : BusEvent::Kind::kUsbOut,
                          {data.begin(), data.begin() + static_cast<std::ptrdiff_t>(shown)},
                          ok,
                          std::move(note)});
  }

  std::unique_ptr<UsbDevice> inner_;
  const UsbBackend& backend_;
  BusObserver& observer_;
};

}  // namespace

std::string DescribeBusEvent(const BusEvent& event) {
  const char* what = "";
  switch (event.kind) {
    case BusEvent::Kind::kHidSet:
      what = "hid set >";
      break;
    case BusEvent::Kind::kHidGet:
      what = "hid get <";
      break;
    case BusEvent::Kind::kUsbOut:
      what = "bulk out >";
      break;
    case BusEvent::Kind::kUsbIn:
      what = "bulk in <";
      break;
    case BusEvent::Kind::kUsbControl:
      what = "usb control";
      break;
  }
  std::string suffix;
  if (!event.ok) {
    suffix = event.note.empty() ? " (failed)" : fmt::format(" (failed: {})", event.note);
  } else if (!event.note.empty()) {
    suffix = fmt::format(" ({})", event.note);
  }
  return fmt::format("{} {}{}", what, common::ToHex(event.bytes), suffix);
}

void BusRecorder::OnBusEvent(const BusEvent& event) {
  std::lock_guard lock(mutex_);
  events_.push_back(event);
}

void BusRecorder::OnDeviceEvent(std::string_view text) {
  std::lock_guard lock(mutex_);
  device_events_.emplace_back(text);
}

std::vector<BusEvent> BusRecorder::Events() const {
  std::lock_guard lock(mutex_);
  return events_;
}

std::vector<std::string> BusRecorder::DeviceEvents() const {
  std::lock_guard lock(mutex_);
  return device_events_;
}

std::vector<common::Bytes> BusRecorder::Sent() const {
  std::lock_guard lock(mutex_);
  std::vector<common::Bytes> sent;
  for (const auto& event : events_) {
    if (event.ok &&
        (event.kind == BusEvent::Kind::kHidSet || event.kind == BusEvent::Kind::kUsbOut)) {
      sent.push_back(event.bytes);
    }
  }
  return sent;
}

void BusRecorder::Clear() {
  std::lock_guard lock(mutex_);
  events_.clear();
  device_events_.clear();
}

void BusTracer::OnBusEvent(const BusEvent& event) { sink_.Trace("usb", DescribeBusEvent(event)); }

void BusTracer::OnDeviceEvent(std::string_view text) { sink_.Trace("usb", text); }

std::vector<HidCollectionInfo> ObservedHidBackend::Traced(std::vector<HidCollectionInfo> entries,
                                                          std::uint16_t vendor_id,
                                                          std::uint16_t product_id) {
  observer_.OnDeviceEvent(fmt::format("hid enumerate {:04x}:{:04x}: {} collections", vendor_id,
                                      product_id, entries.size()));
  for (const auto& entry : entries) {
    observer_.OnDeviceEvent(fmt::format(
        "hid entry {} {:04x}:{:04x} usage {:04x}:{:04x} serial \"{}\"", entry.path, entry.vendor_id,
        entry.product_id, entry.usage_page, entry.usage, entry.serial));
  }
  return entries;
}

std::vector<HidCollectionInfo> ObservedHidBackend::Enumerate() {
  return Traced(inner_.Enumerate(), 0, 0);
}

std::vector<HidCollectionInfo> ObservedHidBackend::EnumerateMatching(std::uint16_t vendor_id,
                                                                     std::uint16_t product_id) {
  return Traced(inner_.EnumerateMatching(vendor_id, product_id), vendor_id, product_id);
}

std::unique_ptr<HidCollection> ObservedHidBackend::Open(const HidCollectionInfo& info) {
  auto inner = inner_.Open(info);
  if (!inner) {
    observer_.OnDeviceEvent(
        fmt::format("hid open {}: failed: {}", info.path, DescribeFault(inner_.LastOpenFault())));
    return nullptr;
  }
  observer_.OnDeviceEvent(fmt::format("hid open {}: ok", info.path));
  return std::make_unique<ObservedHidCollection>(std::move(inner), observer_);
}

std::optional<std::size_t> ObservedUsbBackend::ListDevices() {
  const auto count = inner_.ListDevices();
  if (count) {
    observer_.OnDeviceEvent(fmt::format("usb list: {} devices", *count));
  } else {
    observer_.OnDeviceEvent(fmt::format("usb list: failed: {}", DescribeFault(inner_.LastFault())));
  }
  return count;
}

std::optional<UsbDeviceDescriptor> ObservedUsbBackend::ReadDeviceDescriptor(std::size_t index) {
  auto descriptor = inner_.ReadDeviceDescriptor(index);
  if (descriptor) {
    observer_.OnDeviceEvent(fmt::format(trace::kUsbDevice, index, descriptor->vendor_id,
                                        descriptor->product_id, inner_.DevicePath(index)));
  }
  return descriptor;
}

std::unique_ptr<UsbDevice> ObservedUsbBackend::Open(std::size_t index) {
  auto inner = inner_.Open(index);
  const std::string node = inner_.DevicePath(index);
  if (!inner) {
    observer_.OnDeviceEvent(
        fmt::format("usb open {}: failed: {}", node, DescribeFault(inner_.LastFault())));
    return nullptr;
  }
  observer_.OnDeviceEvent(fmt::format("usb open {}: ok", node));
  return std::make_unique<ObservedUsbDevice>(std::move(inner), inner_, observer_);
}

}  // namespace cw::link
