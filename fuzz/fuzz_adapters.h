#pragma once

// Adapters whose every reply is taken from the fuzzer's input, so the link's reply decoding
// meets every byte pattern a broken or hostile adapter could send.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <span>

#include "common/product_constants.h"
#include "link/bulk_packets.h"
#include "link/hid_backend.h"
#include "link/hid_reports.h"
#include "link/usb_backend.h"

namespace cw::fuzz {

class FuzzInput {
 public:
  explicit FuzzInput(std::span<const std::uint8_t> data) : data_(data) {}
  std::uint8_t Byte() { return position_ < data_.size() ? data_[position_++] : 0; }
  void Fill(std::span<std::uint8_t> out) {
    for (auto& byte : out) byte = Byte();
  }
  bool Empty() const { return position_ >= data_.size(); }

 private:
  std::span<const std::uint8_t> data_;
  std::size_t position_ = 0;
};

class FuzzHidCollection final : public link::HidCollection {
 public:
  explicit FuzzHidCollection(FuzzInput& input) : input_(input) {}
  bool SetFeature(std::span<const std::uint8_t>) override { return true; }
  bool GetFeature(std::span<std::uint8_t> report) override {
    if (input_.Empty()) return false;
    input_.Fill(report.subspan(1));
    return true;
  }

 private:
  FuzzInput& input_;
};

class FuzzHidBackend final : public link::HidBackend {
 public:
  explicit FuzzHidBackend(FuzzInput& input) : input_(input) {}
  std::vector<link::HidCollectionInfo> Enumerate() override {
    std::vector<link::HidCollectionInfo> infos;
    for (std::uint8_t usage : link::hid::kUsageTable) {
      infos.push_back({"fuzz", common::ProductConstants{}.adapter_vendor_id, common::kHidProductId,
                       link::hid::kUsagePage, usage});
    }
    return infos;
  }
  std::unique_ptr<link::HidCollection> Open(const link::HidCollectionInfo&) override {
    return std::make_unique<FuzzHidCollection>(input_);
  }

 private:
  FuzzInput& input_;
};

class FuzzUsbDevice final : public link::UsbDevice {
 public:
  explicit FuzzUsbDevice(FuzzInput& input) : input_(input) {}
  std::string ReadSerialNumber() override { return "888800000001"; }
  bool KernelDriverActive(int) override { return false; }
  int DetachKernelDriver(int) override { return 0; }
  int ClaimInterface(int) override { return 0; }
  int ReleaseInterface(int) override { return 0; }
  int BulkTransfer(std::uint8_t endpoint, std::span<std::uint8_t> data, unsigned) override {
    if ((endpoint & 0x80) == 0) {
      last_opcode_ = data[0];
      return static_cast<int>(data.size());
    }
    if (input_.Empty()) return link::kUsbErrorTimeout;
    input_.Fill(data);
    // Most replies echo the opcode so that the decoding behind the acceptance check is reached.
    if ((data[1] & 0x0F) != 0) data[0] = last_opcode_;
    return static_cast<int>(data.size());
  }
  int InterruptTransfer(std::uint8_t, std::span<std::uint8_t>, unsigned) override {
    return link::kUsbErrorIo;
  }
  int ControlTransfer(std::uint8_t, std::uint8_t, std::uint16_t, std::uint16_t,
                      std::span<std::uint8_t>, unsigned) override {
    return link::kUsbErrorIo;
  }

 private:
  FuzzInput& input_;
  std::uint8_t last_opcode_ = 0;
};

class FuzzUsbBackend final : public link::UsbBackend {
 public:
  explicit FuzzUsbBackend(FuzzInput* input = nullptr) : input_(input) {}
  std::optional<std::size_t> ListDevices() override { return input_ ? 1 : 0; }
  std::optional<link::UsbDeviceDescriptor> ReadDeviceDescriptor(std::size_t) override {
    return link::UsbDeviceDescriptor{common::ProductConstants{}.adapter_vendor_id,
                                     common::kBulkProductId, 3};
  }
  std::unique_ptr<link::UsbDevice> Open(std::size_t) override {
    return std::make_unique<FuzzUsbDevice>(*input_);
  }
  void FreeDeviceList() override {}
  bool RegisterHotplug(std::uint16_t, std::function<void(link::UsbHotplugEvent)>) override {
    return false;
  }

 private:
  FuzzInput* input_;
};

class NoHidBackend final : public link::HidBackend {
 public:
  std::vector<link::HidCollectionInfo> Enumerate() override { return {}; }
  std::unique_ptr<link::HidCollection> Open(const link::HidCollectionInfo&) override {
    return nullptr;
  }
};

}  // namespace cw::fuzz
