#include "sim/sim_hid_adapter.h"

#include <fmt/format.h>

#include <algorithm>
#include <mutex>

#include "link/hid_reports.h"
#include "sim/adapter_identity.h"

namespace cw::sim {

// One physical HID adapter: the state its firmware keeps between reports.
class HidAdapterDevice {
 public:
  HidAdapterDevice(std::shared_ptr<SimBus> bus, const SimHidAdapterConfig& config,
                   std::size_t index)
      : bus_(std::move(bus)),
        config_(config),
        node_(config.node.empty() ? fmt::format("sim:hid{}", index) : config.node) {}

  const SimHidAdapterConfig& config() const { return config_; }
  const std::string& node() const { return node_; }
  std::string PathFor(std::uint8_t usage) const { return fmt::format("{}:{}", node_, usage); }

  bool Set(std::uint8_t usage, std::span<const std::uint8_t> report, std::uint64_t generation);
  bool Get(std::uint8_t usage, std::span<std::uint8_t> report, std::uint64_t generation);

 private:
  void Header(std::span<const std::uint8_t> report);
  void DataReport(std::span<const std::uint8_t> report);
  void AdapterCommand(std::span<const std::uint8_t> report);
  void BusRead(std::uint8_t command, std::uint8_t count);
  void ExecuteWrite();
  void RefuseRequest();

  std::mutex mutex_;
  const std::shared_ptr<SimBus> bus_;
  const SimHidAdapterConfig config_;
  const std::string node_;
  common::Bytes pending_write_;  // address byte excluded
  std::size_t follow_remaining_ = 0;
  std::uint8_t write_status_ = adapter::kStatusOk;
  // What the next response get returns from byte 1 on: read data, then the status byte.
  common::Bytes response_ = {adapter::kStatusNothing};
};

namespace {

bool Settable(std::uint8_t id) {
  return (id >= 1 && id <= 6) || id == link::hid::kAdapterCommandId;
}
bool Gettable(std::uint8_t id) { return id >= 3 && id <= 6; }
bool IsDataReport(std::uint8_t id) { return id >= 3 && id <= 6; }

class SimHidCollection final : public link::HidCollection {
 public:
  SimHidCollection(std::shared_ptr<HidAdapterDevice> device, std::uint8_t usage,
                   std::uint64_t generation)
      : device_(std::move(device)), usage_(usage), generation_(generation) {}

  bool SetFeature(std::span<const std::uint8_t> report) override {
    return device_->Set(usage_, report, generation_);
  }
  bool GetFeature(std::span<std::uint8_t> report) override {
    return device_->Get(usage_, report, generation_);
  }

 private:
  const std::shared_ptr<HidAdapterDevice> device_;
  const std::uint8_t usage_;
  const std::uint64_t generation_;
};

}  // namespace

bool HidAdapterDevice::Set(std::uint8_t usage, std::span<const std::uint8_t> report,
                           std::uint64_t generation) {
  // A collection carries only its own report, and only whole reports.
  if (report.empty() || report[0] != usage || !Settable(usage)) return false;
  if (report.size() != link::hid::ReportLength(usage)) return false;
  bool ok = false;
  {
    std::lock_guard lock(mutex_);
    ok = bus_->BeginExchange(generation);
    if (ok) {
      if (usage == link::hid::kShortHeaderId || usage == link::hid::kLongHeaderId) {
        Header(report);
      } else if (IsDataReport(usage)) {
        DataReport(report);
      } else {
        AdapterCommand(report);
      }
    }
  }
  bus_->DeliverHotplugEvents();
  return ok;
}

bool HidAdapterDevice::Get(std::uint8_t usage, std::span<std::uint8_t> report,
                           std::uint64_t generation) {
  if (report.empty() || report[0] != usage || !Gettable(usage)) return false;
  bool ok = false;
  {
    std::lock_guard lock(mutex_);
    ok = bus_->BeginExchange(generation);
    if (ok) {
      // The report's own length bounds what comes back, whatever the caller's buffer holds.
      const std::size_t length = std::min(report.size(), link::hid::ReportLength(usage));
      const auto body = report.subspan(1, length - 1);
      std::fill(body.begin(), body.end(), 0);
      std::copy_n(response_.begin(), std::min(body.size(), response_.size()), body.begin());
    }
  }
  bus_->DeliverHotplugEvents();
  return ok;
}

void HidAdapterDevice::Header(std::span<const std::uint8_t> report) {
  const std::size_t length = report.size();
  const std::uint8_t address = report[1];
  const std::uint8_t command = report[2];
  const std::uint8_t count = report[length - 2];
  const std::size_t written = report[length - 1];
  // A new request abandons a write still waiting for its data reports.
  pending_write_.clear();
  follow_remaining_ = 0;
  // The write phase held in the header ends before the two count bytes.
  if (written < 1 || written > length - 3) return RefuseRequest();

  if (address == link::hid::kReadAddress) {
    if (written < 2) return RefuseRequest();
    return BusRead(command, count);
  }
  if (address == link::hid::kWriteAddress) {
    pending_write_.assign(report.begin() + 2,
                          report.begin() + 1 + static_cast<std::ptrdiff_t>(written));
    follow_remaining_ = count;
    if (follow_remaining_ == 0) ExecuteWrite();
    return;
  }
  // Nothing else sits on this bus: no acknowledge, and a read sees only the idle bus.
  write_status_ = adapter::kStatusNack;
  response_.assign(link::hid::kMaxReportLength - 1, 0xFF);
}

void HidAdapterDevice::BusRead(std::uint8_t command, std::uint8_t count) {
  const bool from_count_byte = count == link::hid::kBlockLengthFromGauge;
  const auto bytes =
      bus_->Read(command, from_count_byte ? link::SmbusTarget::kReadToCountByte : count);
  if (!bytes) {
    // Bytes of a refused read are the idle bus; with a gauge-given length nothing says where
    // the status goes, so every byte reads as a failure.
    response_.assign(from_count_byte ? link::hid::kMaxReportLength - 1 : count, 0xFF);
    if (!from_count_byte) response_.push_back(adapter::kStatusNack);
    return;
  }
  response_ = *bytes;
  response_.push_back(adapter::kStatusOk);
}

void HidAdapterDevice::DataReport(std::span<const std::uint8_t> report) {
  if (follow_remaining_ == 0) {
    write_status_ = adapter::kStatusBadRequest;
    return;
  }
  const std::size_t take = std::min(follow_remaining_, report.size() - 1);
  pending_write_.insert(pending_write_.end(), report.begin() + 1,
                        report.begin() + 1 + static_cast<std::ptrdiff_t>(take));
  follow_remaining_ -= take;
  if (follow_remaining_ == 0) ExecuteWrite();
}

void HidAdapterDevice::AdapterCommand(std::span<const std::uint8_t> report) {
  switch (report[2]) {
    case link::hid::kAdapterFetchStatus:
      // A write still waiting for data reports has no status yet.
      response_ = {follow_remaining_ > 0 ? adapter::kStatusBadRequest : write_status_};
      return;
    case link::hid::kAdapterReadVersion:
      response_ = {adapter::kStatusOk,           link::hid::kAdapterReadVersion,
                   adapter::kHardwareMajor,      adapter::kHardwareMinor,
                   adapter::kFirmwareVersion[0], adapter::kFirmwareVersion[1],
                   adapter::kFirmwareVersion[2]};
      return;
    default:
      response_ = {adapter::kStatusBadRequest};
      return;
  }
}

void HidAdapterDevice::ExecuteWrite() {
  write_status_ = bus_->Write(pending_write_) ? adapter::kStatusOk : adapter::kStatusNack;
  pending_write_.clear();
}

void HidAdapterDevice::RefuseRequest() {
  write_status_ = adapter::kStatusBadRequest;
  response_.assign(link::hid::kMaxReportLength - 1, adapter::kStatusBadRequest);
}

SimHidAdapter::SimHidAdapter(std::shared_ptr<SimBus> bus,
                             const std::vector<SimHidAdapterConfig>& adapters)
    : bus_(std::move(bus)) {
  for (std::size_t i = 0; i < adapters.size(); ++i) {
    devices_.push_back(std::make_shared<HidAdapterDevice>(bus_, adapters[i], i));
  }
}

SimHidAdapter::~SimHidAdapter() = default;

std::vector<link::HidCollectionInfo> SimHidAdapter::Enumerate() {
  std::vector<link::HidCollectionInfo> infos;
  if (!bus_->plugged()) return infos;
  for (const auto& device : devices_) {
    const SimHidAdapterConfig& config = device->config();
    for (std::uint8_t usage : link::hid::kUsageTable) {
      infos.push_back({device->PathFor(usage), config.vendor_id, config.product_id,
                       config.usage_page, usage, config.serial, device->node()});
    }
  }
  return infos;
}

std::unique_ptr<link::HidCollection> SimHidAdapter::Open(const link::HidCollectionInfo& info) {
  if (!bus_->plugged()) return nullptr;
  const std::uint64_t generation = bus_->generation();
  for (const auto& device : devices_) {
    for (std::uint8_t usage : link::hid::kUsageTable) {
      if (device->PathFor(usage) == info.path) {
        return std::make_unique<SimHidCollection>(device, usage, generation);
      }
    }
  }
  return nullptr;
}

}  // namespace cw::sim
