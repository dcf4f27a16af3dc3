#pragma once

#include <atomic>
#include <map>
#include <mutex>
#include <optional>
#include <string_view>
#include <vector>

#include "support/recording_sinks.h"
#include "support/link_fixture.h"
#include "monitor/scan_engine.h"

namespace cw::test {

// A gauge whose every answer the test sets: word registers, text blocks and
// ManufacturerBlockAccess replies (count byte included, so a test can send a wrong one).
// Counts the block-access requests per subcommand. Thread-safe.
class FakeGauge {
 public:
  void SetWord(std::uint8_t command, std::uint16_t value);
  void FailWord(std::uint8_t command);
  void SetText(std::uint8_t command, std::string_view text);
  // A valid reply: count n + 2, subcommand, 0, data.
  void SetBlock(std::uint8_t subcommand, common::ByteView data);
  // Exactly these bytes after the request (count first).
  void SetRawBlock(std::uint8_t subcommand, common::Bytes reply);
  int BlockRequests(std::uint8_t subcommand) const;
  int WordReads(std::uint8_t command) const;
  std::vector<std::pair<std::uint8_t, std::uint16_t>> WordWrites() const;
  void Install(ScriptedTarget& target);

 private:
  bool OnWrite(common::ByteView bytes);
  std::optional<common::Bytes> OnRead(std::uint8_t command, std::size_t count);

  mutable std::mutex mutex_;
  std::map<std::uint8_t, std::uint16_t> words_;
  std::map<std::uint8_t, common::Bytes> texts_;
  std::map<std::uint8_t, common::Bytes> blocks_;
  std::map<std::uint8_t, int> block_requests_;
  std::map<std::uint8_t, int> word_reads_;
  std::vector<std::pair<std::uint8_t, std::uint16_t>> word_writes_;
  std::optional<std::uint8_t> subcommand_;
};

using test::ProgressReport;

// A scan engine on a link whose gauge is a FakeGauge, with a manual clock.
struct ScanFixture {
  ScanFixture();
  ~ScanFixture();

  // Selects exactly the named rows for scanning.
  void Select(std::initializer_list<std::string_view> names);
  monitor::SbsRegisterDef Row(std::string_view name);

  LinkFixture fixture;
  ScriptedTarget target;
  FakeGauge gauge;
  test::RecordingProgressSink progress;
  std::atomic<bool> calibration_busy{false};
  monitor::ScanEngine engine{*fixture.link, progress, calibration_busy};
};

}  // namespace cw::test
