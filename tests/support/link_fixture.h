#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "common/clock.h"
#include "common/product_constants.h"
#include "link/bus_lock.h"
#include "link/bus_observer.h"
#include "link/gauge_link.h"
#include "link/smbus_target.h"
#include "sim/sim_pack.h"
#include "support/recording_sinks.h"

namespace cw::test {

using Adapters = sim::SimAdapters;

sim::SimOptions OptionsFor(Adapters adapters);

// A gauge link on a simulated pack, with a manual clock and every report and packet recorded.
struct LinkFixture {
  explicit LinkFixture(Adapters adapters = Adapters::kHid);
  explicit LinkFixture(sim::SimOptions options);

  // The exchanges recorded so far, then forgotten.
  std::vector<link::BusEvent> TakeEvents();
  std::vector<common::Bytes> TakeSent();
  // Waits recorded on the clock so far, then forgotten.
  std::vector<common::Millis> TakeWaits();

  common::ManualClock clock;
  test::RecordingMessageSink messages;
  std::unique_ptr<sim::SimPack> pack;
  link::BusRecorder recorder;
  std::unique_ptr<link::ObservedHidBackend> hid;
  std::unique_ptr<link::ObservedUsbBackend> usb;
  link::BusLock lock{"MutexToProtectRWAccess-test"};
  std::unique_ptr<link::GaugeLink> link;
};

// A device on the bus whose answers a test writes: every write and read is kept with the bus
// bytes as they travelled (address byte included), and the handlers decide the replies.
class ScriptedTarget final : public link::SmbusTarget {
 public:
  bool Write(std::span<const std::uint8_t> bytes) override;
  std::optional<std::vector<std::uint8_t>> Read(std::uint8_t command, std::size_t count) override;

  // Default: acknowledge every write.
  std::function<bool(common::ByteView)> on_write;
  // Default: NACK every read.
  std::function<std::optional<common::Bytes>(std::uint8_t command, std::size_t count)> on_read;

  std::vector<common::Bytes> writes;  // 0x16, command, data..., PEC as sent
  int reads = 0;
};

// Bytes of a word read reply: low, high, PEC over 0x16, command, 0x17, low, high.
common::Bytes WordReply(std::uint8_t command, std::uint16_t value, std::size_t count);

}  // namespace cw::test

namespace cw::test {

// Passes reports through to the simulated adapter but fails sets or gets on demand, to see
// what the link does with an adapter that stops answering halfway through an exchange.
class FlakyHidBackend final : public link::HidBackend {
 public:
  explicit FlakyHidBackend(link::HidBackend& inner) : inner_(inner) {}
  std::vector<link::HidCollectionInfo> Enumerate() override { return inner_.Enumerate(); }
  std::unique_ptr<link::HidCollection> Open(const link::HidCollectionInfo& info) override;

  bool fail_sets = false;
  bool fail_gets = false;

 private:
  link::HidBackend& inner_;
};

}  // namespace cw::test
