// The firmware tool's jobs against the simulated pack: update, export, their failures and the
// rules around them.
#include "firmware/firmware_tool.h"

#include <fmt/format.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <set>

#include "../common/file_size_limit.h"
#include "common/file_error.h"
#include "firmware/export_job.h"
#include "firmware/file_io.h"
#include "firmware/firmware_image.h"
#include "firmware/messages.h"
#include "firmware/update_job.h"
#include "support/link_fixture.h"
#include "tool_fixture.h"

namespace cw::firmware {
namespace {

TEST(FirmwareTool, LoadTakesOnlyAnImageTheBootLoaderCanCarryOut) {
  ToolFixture w;
  const common::Bytes good = RandomImage(3);
  common::Bytes bad_sum = good;
  bad_sum[5 * kRecordSize + 31] ^= 0x01;
  common::Bytes swapped = good;
  std::swap_ranges(swapped.begin() + 32, swapped.begin() + 64, swapped.begin() + 64);
  const auto record_error = [](std::string_view format, auto... args) {
    return std::vector<std::string>{std::string(messages::kBinFileError),
                                    fmt::format(fmt::runtime(format), args...)};
  };
  const std::vector<std::string> size_error{std::string(messages::kBinFileError)};
  struct Case {
    std::string name;
    common::Bytes bytes;
    std::vector<std::string> refusal;  // empty: accepted
  };
  const Case cases[] = {
      {"image", good, {}},
      // Cut after whole records: code record j (24 bytes at 24 j) is record 153 + j from j = 42
      // on, so 2048 records end the code at 24 x 1895 and 2188 at 24 x 2035; of the rest only
      // the 12 bytes of the programming stub at 0xFADD are written (by record 1).
      {"first 2048 records", common::Bytes(good.begin(), good.begin() + 2048 * kRecordSize),
       record_error(messages::kImageCodeIncomplete, kStreamedCodeSize - 24 * 1895 - 12, 24 * 1895)},
      {"first 2188 records", common::Bytes(good.begin(), good.begin() + 2188 * kRecordSize),
       record_error(messages::kImageCodeIncomplete, kStreamedCodeSize - 24 * 2035 - 12, 24 * 2035)},
      {"65535 bytes", common::Bytes(good.begin(), good.begin() + 65535), size_error},
      {"65540 bytes", common::Bytes(good.begin(), good.begin() + 65540), size_error},
      {"sum byte", bad_sum, record_error(messages::kRecordBadSum, 5)},
      {"records swapped", swapped, record_error(messages::kRecordBadSequence, 1, 2)},
      {"unknown type", WithRecord(good, 7, [](ImageRecord& r) { r[2] = 0xFA; }),
       record_error(messages::kRecordBadType, 7, 0xFA)},
      {"data count", WithRecord(good, 200, [](ImageRecord& r) { r[6] = 25; }),
       record_error(messages::kRecordBadData, 200, 0, 25)},
      {"data space", WithRecord(good, 100, [](ImageRecord& r) { r[5] = 2; }),
       record_error(messages::kRecordBadData, 100, 2, 24)},
      {"garbage", common::Bytes(90976, 0x5A), record_error(messages::kRecordBadSum, 0)},
  };
  const auto path = TempPath("load.bin");
  for (const Case& c : cases) {
    ASSERT_TRUE(WriteWholeFile(path, common::ByteView(c.bytes)));
    w.fx.messages.Clear();
    const bool accepted = c.refusal.empty();
    EXPECT_EQ(w.tool.Load(path).done(), accepted) << c.name;
    const auto view = w.tool.View();
    EXPECT_EQ(view.loaded, accepted) << c.name;
    EXPECT_EQ(view.bin_path.empty(), !accepted) << c.name;
    EXPECT_EQ(w.fx.messages.Texts(), c.refusal) << c.name;
  }
  std::filesystem::remove(path);

  // Not a file at all: said so, never read.
  const auto folder = TempPath("folder.bin");
  std::filesystem::create_directories(folder);
  const auto fifo = TempPath("fifo.bin");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  for (const auto& [where, problem] :
       {std::pair{folder, common::FileProblem::kFolder},
        std::pair{fifo, common::FileProblem::kNotRegular},
        std::pair{TempPath("missing.bin"), common::FileProblem::kMissing}}) {
    w.fx.messages.Clear();
    EXPECT_EQ(w.tool.Load(where).verdict, common::Verdict::kRefused) << where;
    EXPECT_EQ(w.fx.messages.Texts(),
              (std::vector<std::string>{
                  std::string(messages::kBinFileError),
                  common::DescribeFileError({problem, common::FileAccess::kRead, where})}));
  }
  std::filesystem::remove(folder);
  std::filesystem::remove(fifo);
}

TEST(FirmwareTool, StartWithoutImageAndExportWithoutPathAreRefused) {
  ToolFixture w;
  w.tool.update().Start();
  w.tool.export_job().Export();
  EXPECT_EQ(w.fx.messages.Texts(),
            (std::vector<std::string>{std::string(messages::kPleaseLoadBin),
                                      std::string(messages::kPleaseSetPath)}));
  EXPECT_EQ(w.host.main_ui.locks, 0);
  EXPECT_EQ(w.host.scan.pauses, 1) << "opening suspends the scan worker";
}

class FirmwareToolOnBothAdapters : public ::testing::TestWithParam<test::Adapters> {};

TEST_P(FirmwareToolOnBothAdapters, UpdateProgramsTheGaugeAndEndsWithTheFullCounter) {
  ToolFixture w(GetParam());
  const common::Bytes image = RandomImage(7);
  const auto path = TempPath("update.bin");
  ASSERT_TRUE(WriteWholeFile(path, common::ByteView(image)));
  ASSERT_TRUE(w.tool.Load(path));
  w.tool.update().Start();
  w.tool.WaitUntilIdle();
  const auto view = w.Update();
  EXPECT_EQ(view.counter_text, "2843/2843");
  EXPECT_EQ(view.bar, 100);
  EXPECT_FALSE(view.failed);
  EXPECT_EQ(view.status_text, "");
  EXPECT_EQ(w.fx.messages.Texts(), std::vector<std::string>{std::string(messages::kUpdateSuccess)});
  EXPECT_EQ(w.host.main_ui.locks, 1);
  EXPECT_GE(w.host.main_ui.unlocks, 1);
  EXPECT_EQ(w.host.update_reports, 1 + 1 + 1 + 2843 + 1 + 1)
      << "Load, Start, 0, each record, final, the end of the job";

  const auto state = w.fx.pack->gauge().State();
  EXPECT_FALSE(state.boot.mode != sim::BootMode::kNormal) << "the gauge left the boot loader";
  const auto extracted = ExtractImages(image, common::ProductConstants{}.record_mask);
  EXPECT_TRUE(
      std::equal(extracted->data.begin(), extracted->data.end(), state.memory.data.begin()));
  EXPECT_TRUE(std::equal(extracted->code.begin(), extracted->code.begin() + 0xF7CE,
                         state.memory.code.begin()));
  std::filesystem::remove(path);
}

// A boot loader that enters update mode and then never finishes the first record. Like any
// boot loader it answers nothing but its status.
class StuckLoader {
 public:
  explicit StuckLoader(LinkFixture& fx, bool spoil_pec = false) : fx_(fx) {
    target_.on_write = [this](common::ByteView bytes) {
      if (bytes.size() > 2 && bytes[0] == 0x47 && bytes[2] == 0xF1) ++entries;
      if (!bytes.empty() && bytes[0] == 0x48) record_written = true;
      return true;
    };
    target_.on_read = [this, spoil_pec](std::uint8_t command,
                                        std::size_t count) -> std::optional<common::Bytes> {
      if (command != 0x47) return std::nullopt;
      while (hold) std::this_thread::yield();
      // A ready word with a spoilt PEC, or a loader that stays busy.
      const std::uint16_t word = record_written && !spoil_pec ? 0x0181 : 0x0180;
      auto reply = test::WordReply(command, word, count);
      if (spoil_pec && record_written && reply.size() > 2) reply[2] ^= 0x01;
      return reply;
    };
    EXPECT_TRUE(fx_.link->EnsureConnected());
    fx_.pack->ReplaceTarget(&target_);
  }
  ~StuckLoader() { fx_.pack->ReplaceTarget(nullptr); }
  std::atomic<int> entries{0};
  std::atomic<bool> record_written{false};
  std::atomic<bool> hold{false};  // status reads wait while set

 private:
  LinkFixture& fx_;
  test::ScriptedTarget target_;
};

TEST(FirmwareTool, FailedUpdateShowsItsReasonAndThePacksStateAndCanStartAgain) {
  struct Case {
    bool spoil_pec;
    std::string status;
    int passes;  // a spoilt PEC may be a passing fault: the update starts again, twice
  };
  for (const Case& c : {Case{false, "Error: 0181 (busy)", 1}, Case{true, "PEC Error!", 3}}) {
    ToolFixture w;
    StuckLoader loader(w.fx, c.spoil_pec);
    UpdateWith(w.tool, RandomImage(1));
    auto view = w.Update();
    EXPECT_EQ(view.status_text, c.status);
    EXPECT_EQ(view.bar, 100);
    EXPECT_TRUE(view.failed);
    EXPECT_FALSE(view.busy);
    EXPECT_EQ(view.counter_text, "0/2843") << "the counter stays where the failure left it";
    EXPECT_EQ(w.fx.messages.Texts(),
              std::vector<std::string>{std::string(messages::kStateMayWaitInBootLoader)})
        << "the message says the pack may wait in its boot loader";
    ASSERT_TRUE(view.outcome);
    EXPECT_FALSE(view.outcome->done());
    EXPECT_EQ(w.host.main_ui.unlocks, 1);
    EXPECT_EQ(loader.entries, c.passes);

    loader.record_written = false;
    w.tool.update().Start();
    w.tool.WaitUntilIdle();
    EXPECT_EQ(loader.entries, 2 * c.passes) << "Start works again after a failure";
  }
}

TEST(FirmwareTool, ATransferFaultRestartsTheUpdateAndALostLastRecordIsFound) {
  const std::string restart = "Error: 2180 (PEC error): restarting the update from the handshake";
  struct Case {
    std::set<int> spoilt;
    std::set<int> lost;
    bool done;
    std::vector<std::string> statuses;  // the status texts seen while it ran
    std::vector<std::string> messages;
  };
  const Case cases[] = {
      {{6},
       {},
       true,
       {restart + " (2 of 3)."},
       {"Update Successfully!", "The update was restarted 1 time(s) after a transfer fault."}},
      {{6, 12, 18},
       {},
       false,
       {restart + " (2 of 3).", restart + " (3 of 3).", "Error: 2180 (PEC error)"},
       {fmt::format(fmt::runtime(messages::kStatePartlyWritten), 5, 2843)}},
      // Nothing follows the last record to notice it is missing: it is read back.
      {{},
       {2843},
       false,
       {std::string(messages::kStatusLastRecord)},
       {std::string(messages::kStateLastRecordNotKept)}},
  };
  for (const Case& c : cases) {
    ToolFixture w;
    NoisyBus bus(w.fx.pack->gauge());
    bus.spoilt = c.spoilt;
    bus.lost = c.lost;
    w.fx.pack->ReplaceTarget(&bus);
    std::vector<std::string> statuses;
    const common::Subscription watch = w.tool.changes().Subscribe([&](FirmwareJob) {
      const std::string status = w.Update().status_text;
      if (!status.empty() && (statuses.empty() || statuses.back() != status)) {
        statuses.push_back(status);
      }
    });
    const common::Bytes image = RandomImage(5);
    UpdateWith(w.tool, image);
    w.fx.pack->ReplaceTarget(nullptr);
    const auto view = w.Update();
    ASSERT_TRUE(view.outcome);
    EXPECT_EQ(view.outcome->done(), c.done);
    EXPECT_EQ(statuses, c.statuses);
    EXPECT_EQ(w.fx.messages.Texts(), c.messages);
    const auto state = w.fx.pack->gauge().State();
    EXPECT_EQ(state.boot.mode == sim::BootMode::kNormal, c.done || !c.lost.empty());
    if (c.done) {
      const auto extracted = ExtractImages(image, common::ProductConstants{}.record_mask);
      EXPECT_TRUE(
          std::equal(extracted->data.begin(), extracted->data.end(), state.memory.data.begin()));
    }
  }
}

// The update is done only when the gauge answers from its firmware again; what a failure
// leaves is said whichever step failed.
TEST(FirmwareTool, AnUpdateEndsWithThePacksState) {
  struct Case {
    std::string name;
    bool sealed;
    bool stuck;
    std::string status;
    std::string message;
  };
  const Case cases[] = {
      {"sealed gauge", true, false, "Error: 8000 (command rejected)",
       std::string(messages::kUpdateSealed)},
      {"loader that never leaves", false, true, std::string(messages::kStatusNoFirmware),
       fmt::format(fmt::runtime(messages::kStateNoFirmwareAnswer), 2843)},
  };
  for (const Case& c : cases) {
    auto options = test::OptionsFor(test::Adapters::kHid);
    options.faults.stuck_in_boot_loader = c.stuck;
    LinkFixture fx(options);
    CountingHost host;
    FirmwareTool tool(*fx.link, fx.messages, host.scan, host.main_ui, common::ProductConstants{});
    if (c.sealed) fx.pack->gauge().SetSealState(sim::SealState::kSealed);
    UpdateWith(tool, RandomImage(8));
    const auto view = tool.update().View();
    ASSERT_TRUE(view.outcome) << c.name;
    EXPECT_FALSE(view.outcome->done()) << c.name;
    EXPECT_EQ(view.status_text, c.status) << c.name;
    EXPECT_EQ(fx.messages.Texts(), std::vector<std::string>{c.message}) << c.name;
  }
}

TEST(FirmwareTool, AdapterGoneIsAUsbError) {
  ToolFixture w;
  const auto path = TempPath("gone.bin");
  ASSERT_TRUE(WriteWholeFile(path, common::ByteView(RandomImage(2))));
  ASSERT_TRUE(w.tool.Load(path));
  w.fx.pack->Unplug();
  w.tool.update().Start();
  w.tool.WaitUntilIdle();
  EXPECT_EQ(w.Update().status_text, messages::kStatusUsbError);
  EXPECT_EQ(w.fx.messages.Texts(),
            (std::vector<std::string>{"USB no Connected.",
                                      std::string(messages::kStateMayWaitInBootLoader)}))
      << "no restart without an adapter";
  std::filesystem::remove(path);
}

TEST(FirmwareTool, StartTwiceStartsOneUpdate) {
  ToolFixture w;
  StuckLoader loader(w.fx);
  const auto path = TempPath("twice.bin");
  ASSERT_TRUE(WriteWholeFile(path, common::ByteView(RandomImage(1))));
  ASSERT_TRUE(w.tool.Load(path));
  loader.hold = true;  // the first update cannot end before the second Start
  w.tool.update().Start();
  w.tool.update().Start();
  loader.hold = false;
  w.tool.WaitUntilIdle();
  EXPECT_EQ(loader.entries, 1);
  std::filesystem::remove(path);
}

TEST_P(FirmwareToolOnBothAdapters, ExportOfAnUnsealedPackWritesTheGaugeFirmware) {
  ToolFixture w(GetParam());
  const auto path = TempPath("export.bin");
  w.tool.export_job().Set(path);
  w.tool.export_job().Export();
  w.tool.WaitUntilIdle();
  EXPECT_EQ(w.fx.messages.Texts(), std::vector<std::string>{std::string(messages::kExportSuccess)});
  const auto view = w.Export();
  EXPECT_EQ(view.bar, 100);
  ASSERT_TRUE(view.outcome);
  EXPECT_TRUE(view.outcome->done());
  EXPECT_EQ(w.host.export_reports, 1 + 1 + 2080 + 1 + 1)
      << "Set, Export, each page, final, the end of the job";
  const auto file = ReadWholeFile(path);
  ASSERT_TRUE(file);
  ASSERT_EQ(file->size(), kImageSize);
  const auto images = ExtractImages(*file, common::ProductConstants{}.record_mask);
  const auto memory = w.fx.pack->gauge().State().memory;
  EXPECT_TRUE(std::equal(images->data.begin(), images->data.end(), memory.data.begin()));
  EXPECT_TRUE(std::equal(images->code.begin(), images->code.begin() + 0xF7CE, memory.code.begin()));
  EXPECT_TRUE(std::equal(images->code.begin() + 0xF7D0, images->code.begin() + 0xFC00,
                         memory.code.begin() + 0xF7D0));
  std::filesystem::remove(path);
}

TEST(FirmwareTool, ExportOfASealedPackWritesNothing) {
  ToolFixture w;
  w.fx.pack->gauge().SetSealState(sim::SealState::kSealed);
  const auto path = TempPath("sealed.bin");
  w.tool.export_job().Set(path);
  w.tool.export_job().Export();
  w.tool.WaitUntilIdle();
  EXPECT_EQ(w.fx.messages.Texts(), std::vector<std::string>{std::string(messages::kSealedExport)});
  EXPECT_FALSE(std::filesystem::exists(path));
  EXPECT_EQ(w.host.main_ui.locks, 0);
}

TEST(FirmwareTool, ExportThatLosesTheGaugeFailsAndWritesNothing) {
  ToolFixture w;
  const auto path = TempPath("lost.bin");
  // Unplug after the seal check, while the worker reads pages.
  int reports = 0;
  const common::Subscription unplug = w.tool.changes().Subscribe([&](FirmwareJob change) {
    if (change == FirmwareJob::kExport && ++reports == 100) w.fx.pack->Unplug();
  });
  w.tool.export_job().Set(path);
  w.tool.export_job().Export();
  w.tool.WaitUntilIdle();
  const auto texts = w.fx.messages.Texts();
  ASSERT_GE(texts.size(), 2u);
  EXPECT_EQ(texts[texts.size() - 2], messages::kExportFail);
  EXPECT_EQ(texts.back(), fmt::format(fmt::runtime(messages::kExportReadFailed), 99, 2080));
  EXPECT_EQ(w.Export().bar, 100);
  ASSERT_TRUE(w.Export().outcome);
  EXPECT_FALSE(w.Export().outcome->done());
  EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(FirmwareTool, AnExportTargetThatTakesNoFileIsRefusedAndAFullDiskKeepsTheOldFile) {
  {
    ToolFixture w;
    const auto folder = TempPath("folder.bin");
    std::filesystem::create_directories(folder);
    w.tool.export_job().Set(folder);
    EXPECT_EQ(w.tool.export_job().Export().verdict, common::Verdict::kRefused);
    EXPECT_EQ(w.fx.messages.Texts(),
              std::vector<std::string>{common::DescribeFileError(
                  {common::FileProblem::kFolder, common::FileAccess::kWrite, folder})});
    EXPECT_EQ(w.host.main_ui.locks, 0) << "no export started";
    EXPECT_TRUE(std::filesystem::is_directory(folder));
    std::filesystem::remove(folder);
  }
  ToolFixture w;
  const auto path = TempPath("full.bin");
  ASSERT_TRUE(WriteWholeFile(path, std::string_view("old image")));
  w.tool.export_job().Set(path);
  {
    const test::FileSizeLimit full_disk(4096);
    w.tool.export_job().Export();
    w.tool.WaitUntilIdle();
  }
  common::FileError full{common::FileProblem::kSystem, common::FileAccess::kWrite, path,
                         "File too large"};
  full.existing_file_kept = true;
  EXPECT_EQ(w.fx.messages.Texts(), (std::vector<std::string>{std::string(messages::kExportFail),
                                                             common::DescribeFileError(full)}));
  EXPECT_EQ(ReadWholeFile(path), common::Bytes({'o', 'l', 'd', ' ', 'i', 'm', 'a', 'g', 'e'}));
  std::filesystem::remove(path);
}

TEST(FirmwareTool, UpdateAndExportNeverRunTogether) {
  ToolFixture w;
  const auto path = TempPath("both.bin");
  ASSERT_TRUE(WriteWholeFile(path, common::ByteView(RandomImage(4))));
  ASSERT_TRUE(w.tool.Load(path));
  w.tool.export_job().Set(TempPath("both_export.bin"));
  std::atomic<bool> tried{false};
  w.host.on_update = [&] {
    if (tried.exchange(true)) return;
    w.tool.export_job().Export();
  };
  w.tool.update().Start();
  w.tool.WaitUntilIdle();
  const auto texts = w.fx.messages.Texts();
  ASSERT_FALSE(texts.empty());
  EXPECT_EQ(texts.front(), messages::kUpdateRunning);
  EXPECT_FALSE(std::filesystem::exists(TempPath("both_export.bin")));
  std::filesystem::remove(path);
}

TEST(FirmwareTool, CloseAbandonsAnUpdateAtTheNextRecord) {
  LinkFixture fx;
  CountingHost host;
  const auto path = TempPath("close.bin");
  ASSERT_TRUE(WriteWholeFile(path, common::ByteView(RandomImage(9))));
  auto tool = std::make_unique<FirmwareTool>(*fx.link, fx.messages, host.scan, host.main_ui,
                                             common::ProductConstants{});
  const common::Subscription watch = host.Watch(*tool);
  ASSERT_TRUE(tool->Load(path));
  std::atomic<int> reports{0};
  std::atomic<bool> closing{false};
  std::string counter_at_close;
  // The job waits at the 50th report until the close was asked for, so the update cannot have
  // run to its end first, and the stop is known to land at the next record boundary.
  host.on_update = [&] {
    if (++reports == 50) {
      counter_at_close = tool->update().View().counter_text;
      while (!closing) std::this_thread::yield();
    }
  };
  tool->update().Start();
  while (reports < 50) std::this_thread::yield();
  tool->RequestClose();
  closing = true;
  tool->Close();
  EXPECT_EQ(host.scan.resumes, 1);
  const auto state = fx.pack->gauge().State();
  EXPECT_EQ(state.boot.mode, sim::BootMode::kUpdate) << "abandoned inside the boot loader";
  EXPECT_EQ(state.boot.status & 0xFE00, 0) << "no record was cut in half";
  EXPECT_LT(state.boot.next_sequence, 2843);
  EXPECT_EQ(fmt::format("{}/2843", state.boot.next_sequence), counter_at_close)
      << "not one record after the close";
  EXPECT_TRUE(fx.messages.Texts().empty());
  EXPECT_FALSE(tool->update().View().busy);
  EXPECT_EQ(tool->update().Start().verdict, common::Verdict::kRefused) << "closed: nothing starts";
  tool.reset();
  std::filesystem::remove(path);
}

INSTANTIATE_TEST_SUITE_P(Adapters, FirmwareToolOnBothAdapters,
                         ::testing::Values(test::Adapters::kHid, test::Adapters::kBulk));

}  // namespace
}  // namespace cw::firmware
