#include "recording_usb_backend.h"

#include <algorithm>

namespace cw::exports::testing {
namespace {

class RecordingDevice final : public link::UsbDevice {
 public:
  RecordingDevice(RecordingUsbBackend& owner, std::unique_ptr<link::UsbDevice> inner)
      : owner_(owner), inner_(std::move(inner)) {}
  ~RecordingDevice() override { owner_.Record({.what = "close"}); }

  std::string ReadSerialNumber() override { return inner_->ReadSerialNumber(); }
  bool KernelDriverActive(int interface_number) override {
    return owner_.faults.kernel_driver_active || inner_->KernelDriverActive(interface_number);
  }
  int DetachKernelDriver(int interface_number) override {
    owner_.Record({.what = "detach", .index = static_cast<std::uint16_t>(interface_number)});
    return inner_->DetachKernelDriver(interface_number);
  }
  int ClaimInterface(int interface_number) override {
    int result = link::kUsbErrorBusy;
    if (owner_.faults.failing_claims > 0) {
      --owner_.faults.failing_claims;
    } else {
      result = inner_->ClaimInterface(interface_number);
    }
    owner_.Record(
        {.what = "claim", .result = result, .index = static_cast<std::uint16_t>(interface_number)});
    return result;
  }
  int ReleaseInterface(int interface_number) override {
    const int result = inner_->ReleaseInterface(interface_number);
    owner_.Record({.what = "release",
                   .result = result,
                   .index = static_cast<std::uint16_t>(interface_number)});
    return result;
  }
  int BulkTransfer(std::uint8_t endpoint, std::span<std::uint8_t> data,
                   unsigned timeout_ms) override {
    return Result(BulkTransferCounted(endpoint, data, timeout_ms));
  }
  int InterruptTransfer(std::uint8_t endpoint, std::span<std::uint8_t> data,
                        unsigned timeout_ms) override {
    return Result(InterruptTransferCounted(endpoint, data, timeout_ms));
  }
  link::UsbTransfer BulkTransferCounted(std::uint8_t endpoint, std::span<std::uint8_t> data,
                                        unsigned timeout_ms) override {
    return Transfer("bulk", endpoint, data, timeout_ms,
                    [&] { return inner_->BulkTransferCounted(endpoint, data, timeout_ms); });
  }
  link::UsbTransfer InterruptTransferCounted(std::uint8_t endpoint, std::span<std::uint8_t> data,
                                             unsigned timeout_ms) override {
    return Transfer("interrupt", endpoint, data, timeout_ms,
                    [&] { return inner_->InterruptTransferCounted(endpoint, data, timeout_ms); });
  }
  int ControlTransfer(std::uint8_t request_type, std::uint8_t request, std::uint16_t value,
                      std::uint16_t index, std::span<std::uint8_t> data,
                      unsigned timeout_ms) override {
    UsbCall call{.what = "control",
                 .endpoint_or_type = request_type,
                 .request = request,
                 .value = value,
                 .index = index,
                 .length = data.size(),
                 .timeout_ms = timeout_ms};
    const bool out = (request_type & 0x80) == 0;
    if (out) call.data.assign(data.begin(), data.end());
    const int result =
        owner_.faults.transfer_result < 0
            ? owner_.faults.transfer_result
            : inner_->ControlTransfer(request_type, request, value, index, data, timeout_ms);
    call.result = result;
    if (!out && result > 0) call.data.assign(data.begin(), data.begin() + result);
    owner_.Record(std::move(call));
    return result;
  }

 private:
  static int Result(const link::UsbTransfer& transfer) {
    return transfer.status < 0 ? transfer.status : static_cast<int>(transfer.transferred);
  }

  template <typename Inner>
  link::UsbTransfer Transfer(const char* what, std::uint8_t endpoint, std::span<std::uint8_t> data,
                             unsigned timeout_ms, Inner inner) {
    UsbCall call{.what = what,
                 .endpoint_or_type = endpoint,
                 .length = data.size(),
                 .timeout_ms = timeout_ms};
    const bool out = (endpoint & 0x80) == 0;
    if (out) call.data.assign(data.begin(), data.end());
    const link::UsbTransfer transfer = owner_.faults.transfer_result < 0
                                           ? link::UsbTransfer{owner_.faults.transfer_result, 0}
                                           : inner();
    call.result = Result(transfer);
    if (!out && call.result > 0) call.data.assign(data.begin(), data.begin() + call.result);
    owner_.Record(std::move(call));
    return transfer;
  }

  RecordingUsbBackend& owner_;
  std::unique_ptr<link::UsbDevice> inner_;
};

}  // namespace

std::optional<std::size_t> RecordingUsbBackend::ListDevices() {
  ++list_calls;
  if (faults.fail_list) return std::nullopt;
  return inner_.ListDevices();
}

std::optional<link::UsbDeviceDescriptor> RecordingUsbBackend::ReadDeviceDescriptor(
    std::size_t index) {
  return inner_.ReadDeviceDescriptor(index);
}

std::unique_ptr<link::UsbDevice> RecordingUsbBackend::Open(std::size_t index) {
  if (faults.fail_open) return nullptr;
  auto device = inner_.Open(index);
  if (!device) return nullptr;
  Record({.what = "open", .index = static_cast<std::uint16_t>(index)});
  return std::make_unique<RecordingDevice>(*this, std::move(device));
}

link::AdapterFault RecordingUsbBackend::LastFault() const {
  return faults.fail_open ? faults.open_fault : inner_.LastFault();
}

void RecordingUsbBackend::FreeDeviceList() {
  ++free_list_calls;
  inner_.FreeDeviceList();
}

bool RecordingUsbBackend::RegisterHotplug(std::uint16_t vendor_id,
                                          std::function<void(link::UsbHotplugEvent)> callback) {
  return inner_.RegisterHotplug(vendor_id, std::move(callback));
}

std::vector<UsbCall> RecordingUsbBackend::Calls() const {
  std::lock_guard lock(mutex_);
  return calls_;
}

std::vector<UsbCall> RecordingUsbBackend::Calls(const std::string& what) const {
  std::lock_guard lock(mutex_);
  std::vector<UsbCall> matching;
  std::copy_if(calls_.begin(), calls_.end(), std::back_inserter(matching),
               [&](const UsbCall& call) { return call.what == what; });
  return matching;
}

void RecordingUsbBackend::Clear() {
  std::lock_guard lock(mutex_);
  calls_.clear();
}

void RecordingUsbBackend::Record(UsbCall call) {
  std::lock_guard lock(mutex_);
  calls_.push_back(std::move(call));
}

}  // namespace cw::exports::testing
