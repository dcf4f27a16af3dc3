#include "fake_usb_backend.h"

#include <algorithm>

namespace cw::exports::testing {

class FakeUsbDevice final : public link::UsbDevice {
 public:
  explicit FakeUsbDevice(FakeUsbBackend& owner) : owner_(owner) {}

  std::string ReadSerialNumber() override { return {}; }
  bool KernelDriverActive(int) override { return false; }
  int DetachKernelDriver(int) override { return link::kUsbSuccess; }
  int ClaimInterface(int) override { return link::kUsbSuccess; }
  int ReleaseInterface(int) override { return link::kUsbSuccess; }
  int BulkTransfer(std::uint8_t, std::span<std::uint8_t> data, unsigned) override {
    if (owner_.during_transfer) owner_.during_transfer();
    return static_cast<int>(data.size());
  }
  int InterruptTransfer(std::uint8_t endpoint, std::span<std::uint8_t> data,
                        unsigned timeout_ms) override {
    return BulkTransfer(endpoint, data, timeout_ms);
  }
  int ControlTransfer(std::uint8_t request_type, std::uint8_t request, std::uint16_t value,
                      std::uint16_t index, std::span<std::uint8_t> data, unsigned) override {
    auto& stored = owner_.stored_[{request, value, index}];
    if ((request_type & 0x80) == 0) {
      stored.assign(data.begin(), data.end());
      return static_cast<int>(data.size());
    }
    const std::size_t count = std::min(stored.size(), data.size());
    std::copy_n(stored.begin(), count, data.begin());
    return static_cast<int>(count);
  }

 private:
  FakeUsbBackend& owner_;
};

std::unique_ptr<link::UsbDevice> FakeUsbBackend::Open(std::size_t index) {
  if (index >= devices_.size()) return nullptr;
  return std::make_unique<FakeUsbDevice>(*this);
}

}  // namespace cw::exports::testing
