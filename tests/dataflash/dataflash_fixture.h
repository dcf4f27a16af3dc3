#pragma once

#include <functional>
#include <optional>
#include <vector>

#include "support/recording_sinks.h"
#include "dataflash/data_flash_session.h"
#include "link/smbus_target.h"
#include "support/link_fixture.h"

namespace cw::test {

// One SMBus transaction as the gauge saw it.
struct BusTransaction {
  bool write = false;
  std::uint8_t command = 0;
  common::Bytes data;     // writes: what follows the command, without the PEC
  std::size_t count = 0;  // reads: bytes clocked out
  bool operator==(const BusTransaction&) const = default;
};

// Sits between the adapter and the simulated gauge: records every transaction, and can refuse
// one (a NACK) or swallow page writes of one subclass (a gauge that does not keep them).
class RecordingGauge final : public link::SmbusTarget {
 public:
  explicit RecordingGauge(link::SmbusTarget& gauge) : gauge_(gauge) {}
  bool Write(std::span<const std::uint8_t> bytes) override;
  std::optional<std::vector<std::uint8_t>> Read(std::uint8_t command, std::size_t count) override;

  std::vector<BusTransaction> transactions;
  // Returns true to NACK the transaction.
  std::function<bool(const BusTransaction&)> nack;
  std::optional<std::uint8_t> forget_writes_to;

 private:
  link::SmbusTarget& gauge_;
  std::optional<std::uint8_t> selected_;
};

using test::ProgressReport;

// A data flash session on the simulated pack, the bus recorded at the gauge.
struct DataFlashFixture {
  DataFlashFixture();
  ~DataFlashFixture();

  // Page accesses (0x77 selects and 0x78+ pages) recorded so far, then forgotten.
  std::vector<BusTransaction> TakeFlashTraffic();
  std::size_t Row(std::string_view name) const;

  LinkFixture link;
  RecordingGauge gauge;
  test::RecordingProgressSink progress;
  dataflash::DataFlashSession session;
};

// Page-command data length on the wire: a block read clocks count, data and PEC.
inline std::size_t BlockReadLength(std::size_t data) { return data + 2; }

}  // namespace cw::test
