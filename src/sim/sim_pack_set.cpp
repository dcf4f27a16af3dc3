#include "sim/sim_pack_set.h"

#include <fmt/format.h>

#include <filesystem>
#include <system_error>
#include <utility>

namespace cw::sim {
namespace {

// Every HID adapter of the set in one list. The simulated HID adapters keep no list between
// calls, so the packs' own backends serve this view and their links at once.
class SetHidView final : public link::HidBackend {
 public:
  explicit SetHidView(std::vector<SimPack*> packs) : packs_(std::move(packs)) {}

  std::vector<link::HidCollectionInfo> Enumerate() override {
    std::vector<link::HidCollectionInfo> all;
    for (SimPack* pack : packs_) {
      auto entries = pack->hid_backend().Enumerate();
      all.insert(all.end(), std::make_move_iterator(entries.begin()),
                 std::make_move_iterator(entries.end()));
    }
    return all;
  }

  std::unique_ptr<link::HidCollection> Open(const link::HidCollectionInfo& info) override {
    for (SimPack* pack : packs_) {
      if (auto collection = pack->hid_backend().Open(info)) return collection;
    }
    return nullptr;
  }

 private:
  std::vector<SimPack*> packs_;
};

// Every bulk adapter of the set in one device list, over a view of each pack's adapters with a
// list of its own. One caller at a time, like any backend's device list.
class SetUsbView final : public link::UsbBackend {
 public:
  explicit SetUsbView(std::vector<std::unique_ptr<link::UsbBackend>> packs)
      : packs_(std::move(packs)) {}

  std::optional<std::size_t> ListDevices() override {
    listed_.clear();
    for (std::size_t pack = 0; pack < packs_.size(); ++pack) {
      const auto count = packs_[pack]->ListDevices();
      for (std::size_t index = 0; index < count.value_or(0); ++index) {
        listed_.emplace_back(pack, index);
      }
    }
    return listed_.size();
  }
  std::optional<link::UsbDeviceDescriptor> ReadDeviceDescriptor(std::size_t index) override {
    if (index >= listed_.size()) return std::nullopt;
    return packs_[listed_[index].first]->ReadDeviceDescriptor(listed_[index].second);
  }
  std::unique_ptr<link::UsbDevice> Open(std::size_t index) override {
    if (index >= listed_.size()) return nullptr;
    return packs_[listed_[index].first]->Open(listed_[index].second);
  }
  std::string DevicePath(std::size_t index) override {
    if (index >= listed_.size()) return {};
    return packs_[listed_[index].first]->DevicePath(listed_[index].second);
  }
  void FreeDeviceList() override {
    for (auto& pack : packs_) pack->FreeDeviceList();
    listed_.clear();
  }
  bool RegisterHotplug(std::uint16_t vendor_id,
                       std::function<void(link::UsbHotplugEvent)> callback) override {
    bool registered = false;
    for (auto& pack : packs_) registered |= pack->RegisterHotplug(vendor_id, callback);
    return registered;
  }

 private:
  std::vector<std::unique_ptr<link::UsbBackend>> packs_;
  std::vector<std::pair<std::size_t, std::size_t>> listed_;  // pack, index in its list
};

}  // namespace

std::string PackSerial(int number) {
  return fmt::format("{}{:08}", common::kDefaultSerialPrefix, number);
}

common::Expected<std::unique_ptr<SimPackSet>> SimPackSet::Create(common::Clock& clock,
                                                                 SimPackSetOptions options) {
  using common::ErrorKind;
  if (options.packs < 1 || options.packs > kMaxPacks) {
    return common::Fail(
        ErrorKind::kUsage,
        fmt::format("packs={} is not a number of packs from 1 to {}", options.packs, kMaxPacks));
  }
  for (const auto& [number, faults] : options.pack_faults) {
    if (number < 1 || number > options.packs) {
      return common::Fail(
          ErrorKind::kUsage,
          fmt::format("Faults for pack {}, but there are {} packs (they count from 1)", number,
                      options.packs));
    }
  }
  if (options.state_folder && !options.state.empty()) {
    std::error_code error;
    std::filesystem::create_directories(options.state, error);
    if (!std::filesystem::is_directory(options.state)) {
      return common::Fail(ErrorKind::kFile,
                          fmt::format("The pack state folder {} cannot be used: {}", options.state,
                                      error ? error.message() : std::string("it is not a folder")));
    }
  }
  std::unique_ptr<SimPackSet> set(new SimPackSet(std::move(options)));
  const SimPackSetOptions& chosen = set->options_;
  for (int number = 1; number <= chosen.packs; ++number) {
    SimOptions pack = DefaultSimOptions(chosen.constants, chosen.transport);
    const std::string serial = PackSerial(number);
    for (auto& adapter : pack.hid_adapters) {
      adapter.serial = serial;
      adapter.node = fmt::format("sim:hid{}", number - 1);
    }
    for (auto& adapter : pack.bulk_adapters) {
      adapter.serial = serial;
      adapter.node = fmt::format("sim:bulk{}", number - 1);
    }
    const auto own = chosen.pack_faults.find(number);
    pack.faults = own == chosen.pack_faults.end() ? chosen.faults : own->second;
    set->serials_.push_back(serial);
    set->packs_.push_back(std::make_unique<SimPack>(clock, std::move(pack)));
  }
  return set;
}

SimPackSet::~SimPackSet() = default;

std::optional<std::size_t> SimPackSet::Find(std::string_view key) const {
  for (std::size_t index = 0; index < packs_.size(); ++index) {
    if (serials_[index] == key) return index;
    const SimOptions& pack = packs_[index]->options();
    for (const auto& adapter : pack.hid_adapters) {
      if (adapter.node == key) return index;
    }
    for (const auto& adapter : pack.bulk_adapters) {
      if (adapter.node == key) return index;
    }
  }
  return std::nullopt;
}

std::string SimPackSet::StateFileOf(std::size_t index) const {
  if (!options_.state_folder) return options_.state;
  return (std::filesystem::path(options_.state) / (serials_[index] + ".json")).string();
}

std::expected<SimPack*, std::string> SimPackSet::Use(std::size_t index) {
  SimPack* pack = packs_.at(index).get();
  if (options_.state.empty()) return pack;
  auto attached = pack->AttachStateFile(StateFileOf(index));
  if (!attached) return std::unexpected(attached.error());
  return pack;
}

std::unique_ptr<link::HidBackend> SimPackSet::NewHidView() {
  std::vector<SimPack*> packs;
  for (auto& pack : packs_) packs.push_back(pack.get());
  return std::make_unique<SetHidView>(std::move(packs));
}

std::unique_ptr<link::UsbBackend> SimPackSet::NewUsbView() {
  std::vector<std::unique_ptr<link::UsbBackend>> packs;
  for (auto& pack : packs_) packs.push_back(pack->NewUsbView());
  return std::make_unique<SetUsbView>(std::move(packs));
}

}  // namespace cw::sim
