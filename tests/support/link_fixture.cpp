#include "support/link_fixture.h"

#include "link/pec.h"

namespace cw::test {

sim::SimOptions OptionsFor(Adapters adapters) {
  return sim::DefaultSimOptions(common::ProductConstants{}, adapters);
}

LinkFixture::LinkFixture(Adapters adapters) : LinkFixture(OptionsFor(adapters)) {}

LinkFixture::LinkFixture(sim::SimOptions options)
    : pack(std::make_unique<sim::SimPack>(clock, std::move(options))),
      hid(std::make_unique<link::ObservedHidBackend>(pack->hid_backend(), recorder)),
      usb(std::make_unique<link::ObservedUsbBackend>(pack->usb_backend(), recorder)),
      link(std::make_unique<link::GaugeLink>(*hid, *usb, clock, messages, lock)) {
  link->connection().SetVendorId(common::ProductConstants{}.adapter_vendor_id);
}

std::vector<link::BusEvent> LinkFixture::TakeEvents() {
  auto events = recorder.Events();
  recorder.Clear();
  return events;
}

std::vector<common::Bytes> LinkFixture::TakeSent() {
  auto sent = recorder.Sent();
  recorder.Clear();
  return sent;
}

std::vector<common::Millis> LinkFixture::TakeWaits() {
  auto waits = clock.Waits();
  clock.ClearWaits();
  return waits;
}

bool ScriptedTarget::Write(std::span<const std::uint8_t> bytes) {
  common::Bytes bus{0x16};
  bus.insert(bus.end(), bytes.begin(), bytes.end());
  writes.push_back(bus);
  return on_write ? on_write(bytes) : true;
}

std::optional<std::vector<std::uint8_t>> ScriptedTarget::Read(std::uint8_t command,
                                                              std::size_t count) {
  ++reads;
  if (!on_read) return std::nullopt;
  return on_read(command, count);
}

common::Bytes WordReply(std::uint8_t command, std::uint16_t value, std::size_t count) {
  const std::uint8_t low = value & 0xFF;
  const std::uint8_t high = value >> 8;
  common::Bytes reply = {low, high, link::Pec({0x16, command, 0x17, low, high})};
  reply.resize(count, 0xFF);
  return reply;
}

}  // namespace cw::test

namespace cw::test {
namespace {

class FlakyCollection final : public link::HidCollection {
 public:
  FlakyCollection(std::unique_ptr<link::HidCollection> inner, const FlakyHidBackend& owner)
      : inner_(std::move(inner)), owner_(owner) {}
  bool SetFeature(std::span<const std::uint8_t> report) override {
    return !owner_.fail_sets && inner_->SetFeature(report);
  }
  bool GetFeature(std::span<std::uint8_t> report) override {
    return !owner_.fail_gets && inner_->GetFeature(report);
  }

 private:
  std::unique_ptr<link::HidCollection> inner_;
  const FlakyHidBackend& owner_;
};

}  // namespace

std::unique_ptr<link::HidCollection> FlakyHidBackend::Open(const link::HidCollectionInfo& info) {
  auto inner = inner_.Open(info);
  if (!inner) return nullptr;
  return std::make_unique<FlakyCollection>(std::move(inner), *this);
}

}  // namespace cw::test
