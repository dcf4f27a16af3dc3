// A message box waits for the user. Whatever the core is doing when it shows one, the scan and
// the firmware workers must go on meanwhile: no bus lock or page mutex is held across Show.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <latch>
#include <mutex>
#include <thread>

#include "app/workbench.h"
#include "dataflash/data_flash_session.h"
#include "dataflash/parameter_table.h"
#include "firmware/export_job.h"
#include "firmware/file_io.h"
#include "firmware/firmware_image.h"
#include "firmware/firmware_tool.h"
#include "firmware/messages.h"
#include "firmware/update_job.h"
#include "monitor/comm_thread.h"
#include "monitor/monitor_session.h"
#include "monitor/sbs_session.h"

namespace cw::app {
namespace {

using namespace std::chrono_literals;

// Waits (in real time, at most `limit`) until `done` holds.
bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit = 5s) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

// A modal box: the first Show after `until` is set returns only once `until` holds (or gives
// up after 5 s, which the test reports as a stall). Every Show checks that the showing thread
// holds no bus lock.
class BlockingSink final : public common::MessageSink {
 public:
  void Show(std::string_view text, common::MessageIcon) override {
    std::function<bool()> wait;
    {
      std::lock_guard lock(mutex);
      shown.emplace_back(text);
      if (bench && bench->link().bus_lock().HeldByThisThread()) held_bus_lock = true;
      wait = std::exchange(until, nullptr);
    }
    if (!wait) return;
    if (showing) showing->count_down();
    if (!WaitFor(wait)) stalled = true;
  }
  std::mutex mutex;
  Workbench* bench = nullptr;
  std::function<bool()> until;
  std::latch* showing = nullptr;
  std::vector<std::string> shown;
  std::atomic<bool> held_bus_lock = false;
  std::atomic<bool> stalled = false;
};

struct ContractFixture {
  ContractFixture() {
    WorkbenchOptions options;
    options.device = *ParseDeviceString("sim:clock=virtual");
    bench = std::move(*Workbench::Create(options, sink));
    sink.bench = bench.get();
    bench->Start();
  }
  // Every row scanned: a pass needs the bus for each of them.
  void ScanEverything() {
    bench->StartScan();
    bench->sbs().SelectAllRows(monitor::RowSelection::kScanAll);
  }
  // The next Show waits until the scan worker has finished `passes` more passes.
  void BlockUntilTheScanMovesOn(long passes) {
    sink.until = [this, passes, from = std::optional<long>()]() mutable {
      const long now = bench->monitor().worker()->passes();
      if (!from) from = now;
      return now >= *from + passes;
    };
  }
  BlockingSink sink;
  std::unique_ptr<Workbench> bench;
};

TEST(MessageContractTest, CalibrationShowsItsResultAfterReleasingTheBus) {
  ContractFixture f;
  f.ScanEverything();
  f.BlockUntilTheScanMovesOn(3);
  EXPECT_TRUE(f.bench->calibration().CalibrateBoardOffset());
  EXPECT_EQ(f.sink.shown, std::vector<std::string>{"Offset Calibration OK!"});
  EXPECT_FALSE(f.sink.held_bus_lock);
  EXPECT_FALSE(f.sink.stalled) << "the scan stood still while the result was shown";
}

TEST(MessageContractTest, DataFlashLimitMessageComesAfterTheBusIsFree) {
  ContractFixture f;
  dataflash::DataFlashSession& session = f.bench->data_flash();
  ASSERT_TRUE(session.ReadAll());
  f.ScanEverything();
  f.BlockUntilTheScanMovesOn(3);
  const auto row = *dataflash::FindParam("OCD1 Threshold");
  EXPECT_EQ(session.WriteValue(row, "10").detail, dataflash::EditResult::kRefused);
  ASSERT_EQ(f.sink.shown.size(), 1u);
  EXPECT_TRUE(f.sink.shown[0].starts_with("The value entered is out of limits."));
  EXPECT_FALSE(f.sink.held_bus_lock);
  EXPECT_FALSE(f.sink.stalled);
}

TEST(MessageContractTest, ARefusedExportLetsTheRunningUpdateReportAndFinish) {
  ContractFixture f;
  const auto path = std::filesystem::temp_directory_path() /
                    ("cw_contract_" + std::to_string(::getpid()) + ".bin");
  auto code = std::make_unique<firmware::CodeImage>();
  const common::Bytes image =
      firmware::BuildFirmwareImage(*code, firmware::DataAreaImage{}, f.bench->constants());
  ASSERT_TRUE(firmware::WriteWholeFile(path, common::ByteView(image)));
  firmware::FirmwareTool& tool = f.bench->OpenFirmwareTool();
  tool.export_job().Set(path.string() + ".export");
  ASSERT_TRUE(tool.Load(path));

  // The update holds at its tenth report until the refusal is on screen, so the refusal
  // certainly comes while the update runs.
  std::latch showing(1);
  int reports = 0;
  const common::Subscription hold = tool.changes().Subscribe([&](firmware::FirmwareJob change) {
    if (change == firmware::FirmwareJob::kUpdate && ++reports == 10) {
      showing.wait();
    }
  });
  f.sink.showing = &showing;
  f.sink.until = [&] { return tool.update().View().outcome.has_value(); };
  ASSERT_TRUE(tool.update().Start());
  EXPECT_FALSE(tool.export_job().Export());
  EXPECT_FALSE(f.sink.stalled) << "the update could not report while the refusal was shown";
  tool.WaitUntilIdle();
  ASSERT_TRUE(tool.update().View().outcome);
  EXPECT_TRUE(tool.update().View().outcome->done());
  EXPECT_EQ(f.sink.shown.front(), firmware::messages::kUpdateRunning);
  f.bench->CloseFirmwareTool();
  std::filesystem::remove(path);
}

}  // namespace
}  // namespace cw::app
