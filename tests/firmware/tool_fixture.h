// What the firmware tool's tests share: a counting host, images, a tool on a simulated pack, and
// a bus that spoils or loses chosen records.
#pragma once

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <functional>
#include <random>
#include <set>

#include "../common/file_size_limit.h"
#include "common/file_error.h"
#include "firmware/export_job.h"
#include "firmware/file_io.h"
#include "firmware/firmware_image.h"
#include "firmware/firmware_tool.h"
#include "firmware/messages.h"
#include "firmware/update_job.h"
#include "link/command_codes.h"
#include "support/link_fixture.h"

namespace cw::firmware {

using test::LinkFixture;

// What the tool does to the rest of the program: the scan pause, the main-window lock and
// its change notifications, counted.
struct CountingHost {
  common::Subscription Watch(FirmwareTool& tool) {
    return tool.changes().Subscribe([this](FirmwareJob change) {
      if (change == FirmwareJob::kExport) {
        ++export_reports;
        return;
      }
      ++update_reports;
      if (on_update) on_update();
    });
  }

  test::CountingScanPause scan;
  test::CountingMainUiLock main_ui;
  std::atomic<int> update_reports{0}, export_reports{0};
  std::function<void()> on_update;
};

inline std::filesystem::path TempPath(const std::string& name) {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string test = std::string(info->test_suite_name()) + "_" + info->name();
  std::replace(test.begin(), test.end(), '/', '_');
  return std::filesystem::temp_directory_path() / ("cw_fw_" + test + "_" + name);
}

inline common::Bytes RandomImage(unsigned seed) {
  auto code = std::make_unique<CodeImage>();
  DataAreaImage data{};
  std::mt19937 random(seed);
  for (std::size_t i = 0; i < kStreamedCodeSize; ++i)
    (*code)[i] = static_cast<std::uint8_t>(random());
  for (auto& byte : data) byte = static_cast<std::uint8_t>(random());
  return BuildFirmwareImage(*code, data, common::ProductConstants{});
}

struct ToolFixture {
  explicit ToolFixture(test::Adapters adapters = test::Adapters::kHid)
      : fx(adapters),
        tool(*fx.link, fx.messages, host.scan, host.main_ui, common::ProductConstants{}),
        watch(host.Watch(tool)) {}
  UpdateView Update() { return tool.update().View(); }
  ExportView Export() { return tool.export_job().View(); }
  LinkFixture fx;
  CountingHost host;
  FirmwareTool tool;
  common::Subscription watch;
};

// Record `index` of `image` changed by `change` as it reads unscrambled, then scrambled again
// with its sum set anew: damage the boot loader would only find halfway through an update.
inline common::Bytes WithRecord(common::Bytes image, std::size_t index,
                                const std::function<void(ImageRecord&)>& change) {
  const std::uint8_t mask = common::ProductConstants{}.record_mask;
  ImageRecord record;
  std::copy_n(image.begin() + static_cast<std::ptrdiff_t>(index * kRecordSize), kRecordSize,
              record.begin());
  UnscrambleRecord(record, mask);
  change(record);
  ScrambleRecord(record, mask);
  std::copy(record.begin(), record.end(),
            image.begin() + static_cast<std::ptrdiff_t>(index * kRecordSize));
  return image;
}

// Loads `image` from a file and runs one update to its end.
inline void UpdateWith(FirmwareTool& tool, const common::Bytes& image) {
  const auto path = TempPath("update.bin");
  ASSERT_TRUE(WriteWholeFile(path, common::ByteView(image)));
  ASSERT_TRUE(tool.Load(path));
  std::filesystem::remove(path);
  tool.update().Start();
  tool.WaitUntilIdle();
}

// Sits between the adapter and the simulated gauge and spoils or loses chosen record writes on
// the way, as a noisy bus would: the gauge's PEC check catches a spoilt one, a lost one is seen
// by no one (the adapter does not report the write's acknowledge).
class NoisyBus final : public link::SmbusTarget {
 public:
  explicit NoisyBus(link::SmbusTarget& gauge) : gauge_(gauge) {}
  bool Write(std::span<const std::uint8_t> bytes) override {
    if (bytes.size() > 10 && bytes[0] == 0x48) {
      ++records_;
      if (lost.contains(records_)) return true;
      if (spoilt.contains(records_)) {
        common::Bytes copy(bytes.begin(), bytes.end());
        copy[10] ^= 0x40;
        return gauge_.Write(copy);
      }
    }
    return gauge_.Write(bytes);
  }
  std::optional<std::vector<std::uint8_t>> Read(std::uint8_t command, std::size_t count) override {
    if (refuse_flash_reads && command == link::kFlashBlockCommand) return std::nullopt;
    return gauge_.Read(command, count);
  }
  // Record writes counted from 1 over the whole job.
  std::set<int> spoilt;
  std::set<int> lost;
  // The read-out path refuses every page (the update's read-back of its last record).
  bool refuse_flash_reads = false;

 private:
  link::SmbusTarget& gauge_;
  int records_ = 0;
};

}  // namespace cw::firmware
