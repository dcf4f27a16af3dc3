// The firmware window's jobs against the simulated pack: update, export, their failures and the
// rules around them.
#include "firmware/firmware_window.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <random>

#include "firmware/file_io.h"
#include "firmware/firmware_image.h"
#include "firmware/messages.h"
#include "link_fixture.h"

namespace cw::firmware {
namespace {

using test::LinkFixture;

// What the window does to the rest of the program: the scan pause, the main-window lock and
// its change notifications, counted.
struct CountingHost {
  common::Subscription Watch(FirmwareWindow& window) {
    return window.changes().Subscribe([this](FirmwareChange change) {
      if (change == FirmwareChange::kExport) {
        ++export_reports;
        return;
      }
      ++update_reports;
      if (on_update) on_update();
    });
  }

  common::CountingScanPause scan;
  common::CountingMainUiLock main_ui;
  std::atomic<int> update_reports{0}, export_reports{0};
  std::function<void()> on_update;
};

std::filesystem::path TempPath(const std::string& name) {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string test = std::string(info->test_suite_name()) + "_" + info->name();
  std::replace(test.begin(), test.end(), '/', '_');
  return std::filesystem::temp_directory_path() / ("cw_fw_" + test + "_" + name);
}

common::Bytes RandomImage(unsigned seed) {
  auto code = std::make_unique<CodeImage>();
  DataAreaImage data{};
  std::mt19937 random(seed);
  for (std::size_t i = 0; i < kStreamedCodeSize; ++i)
    (*code)[i] = static_cast<std::uint8_t>(random());
  for (auto& byte : data) byte = static_cast<std::uint8_t>(random());
  return BuildFirmwareImage(*code, data, common::ProductConstants{});
}

struct WindowFixture {
  explicit WindowFixture(test::Adapters adapters = test::Adapters::kHid)
      : fx(adapters),
        window(*fx.link, fx.messages, host.scan, host.main_ui, common::ProductConstants{}),
        watch(host.Watch(window)) {}
  LinkFixture fx;
  CountingHost host;
  FirmwareWindow window;
  common::Subscription watch;
};

TEST(FirmwareWindow, LoadChecksTheFileSize) {
  WindowFixture w;
  struct Case {
    std::size_t size;
    bool accepted;
  };
  for (const Case c :
       {Case{65535, false}, Case{65540, false}, Case{65536, true}, Case{90976, true}}) {
    const auto path = TempPath("load");
    ASSERT_TRUE(WriteWholeFile(path, common::Bytes(c.size, 0x5A)));
    w.fx.messages.Clear();
    EXPECT_EQ(w.window.Load(path).done(), c.accepted) << c.size;
    const auto view = w.window.View();
    EXPECT_EQ(view.loaded, c.accepted) << c.size;
    EXPECT_EQ(view.bin_path.empty(), !c.accepted) << c.size;
    if (!c.accepted) {
      EXPECT_EQ(w.fx.messages.Texts(),
                std::vector<std::string>{std::string(messages::kBinFileError)});
    }
    std::filesystem::remove(path);
  }
  EXPECT_FALSE(w.window.Load(TempPath("missing")));
}

TEST(FirmwareWindow, StartWithoutImageAndExportWithoutPathAreRefused) {
  WindowFixture w;
  w.window.Start();
  w.window.Export();
  EXPECT_EQ(w.fx.messages.Texts(),
            (std::vector<std::string>{std::string(messages::kPleaseLoadBin),
                                      std::string(messages::kPleaseSetPath)}));
  EXPECT_EQ(w.host.main_ui.locks, 0);
  EXPECT_EQ(w.host.scan.pauses, 1) << "opening suspends the scan worker";
}

class FirmwareWindowOnBothAdapters : public ::testing::TestWithParam<test::Adapters> {};

TEST_P(FirmwareWindowOnBothAdapters, UpdateProgramsTheGaugeAndEndsWithTheFullCounter) {
  WindowFixture w(GetParam());
  const common::Bytes image = RandomImage(7);
  const auto path = TempPath("update.bin");
  ASSERT_TRUE(WriteWholeFile(path, common::ByteView(image)));
  ASSERT_TRUE(w.window.Load(path));
  w.window.Start();
  w.window.WaitUntilIdle();
  const auto view = w.window.View();
  EXPECT_EQ(view.counter_text, "2843/2843");
  EXPECT_EQ(view.update_bar, 100);
  EXPECT_FALSE(view.update_failed);
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

// A boot loader that enters update mode and then never finishes the first record.
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

TEST(FirmwareWindow, FailedUpdateShowsItsReasonFillsTheBarAndCanStartAgain) {
  struct Case {
    bool spoil_pec;
    std::string status;
  };
  for (const Case& c : {Case{false, "Error: 0181"}, Case{true, "PEC Error!"}}) {
    WindowFixture w;
    StuckLoader loader(w.fx, c.spoil_pec);
    const auto path = TempPath("stuck.bin");
    ASSERT_TRUE(WriteWholeFile(path, common::ByteView(RandomImage(1))));
    ASSERT_TRUE(w.window.Load(path));
    w.window.Start();
    w.window.WaitUntilIdle();
    auto view = w.window.View();
    EXPECT_EQ(view.status_text, c.status);
    EXPECT_EQ(view.update_bar, 100);
    EXPECT_TRUE(view.update_failed);
    EXPECT_FALSE(view.update_busy);
    EXPECT_EQ(view.counter_text, "0/2843") << "the counter stays where the failure left it";
    EXPECT_TRUE(w.fx.messages.Texts().empty()) << "no message box after a failed update";
    EXPECT_EQ(w.host.main_ui.unlocks, 1);

    loader.record_written = false;
    w.window.Start();
    w.window.WaitUntilIdle();
    EXPECT_EQ(loader.entries, 2) << "Start works again after a failure";
    std::filesystem::remove(path);
  }
}

TEST(FirmwareWindow, RecordWithABadSumStopsTheUpdateAtTheGaugeStatus) {
  WindowFixture w;
  common::Bytes image = RandomImage(6);
  image[5 * kRecordSize + 31] ^= 0x01;
  const auto path = TempPath("badsum.bin");
  ASSERT_TRUE(WriteWholeFile(path, common::ByteView(image)));
  ASSERT_TRUE(w.window.Load(path));
  w.window.Start();
  w.window.WaitUntilIdle();
  const auto view = w.window.View();
  EXPECT_EQ(view.status_text, "Error: 1180") << "checksum error on top of the ready bits";
  EXPECT_EQ(view.counter_text, "5/2843");
  EXPECT_EQ(w.fx.pack->gauge().State().boot.mode, sim::BootMode::kUpdate)
      << "no leave command after a failed record";
  std::filesystem::remove(path);
}

TEST(FirmwareWindow, AdapterGoneIsAUsbError) {
  WindowFixture w;
  const auto path = TempPath("gone.bin");
  ASSERT_TRUE(WriteWholeFile(path, common::ByteView(RandomImage(2))));
  ASSERT_TRUE(w.window.Load(path));
  w.fx.pack->Unplug();
  w.window.Start();
  w.window.WaitUntilIdle();
  EXPECT_EQ(w.window.View().status_text, messages::kStatusUsbError);
  EXPECT_EQ(w.fx.messages.Texts(), std::vector<std::string>{"USB no Connected."});
  std::filesystem::remove(path);
}

TEST(FirmwareWindow, StartTwiceStartsOneUpdate) {
  WindowFixture w;
  StuckLoader loader(w.fx);
  const auto path = TempPath("twice.bin");
  ASSERT_TRUE(WriteWholeFile(path, common::ByteView(RandomImage(1))));
  ASSERT_TRUE(w.window.Load(path));
  loader.hold = true;  // the first update cannot end before the second Start
  w.window.Start();
  w.window.Start();
  loader.hold = false;
  w.window.WaitUntilIdle();
  EXPECT_EQ(loader.entries, 1);
  std::filesystem::remove(path);
}

TEST_P(FirmwareWindowOnBothAdapters, ExportOfAnUnsealedPackWritesTheGaugeFirmware) {
  WindowFixture w(GetParam());
  const auto path = TempPath("export.bin");
  w.window.Set(path);
  w.window.Export();
  w.window.WaitUntilIdle();
  EXPECT_EQ(w.fx.messages.Texts(), std::vector<std::string>{std::string(messages::kExportSuccess)});
  const auto view = w.window.View();
  EXPECT_EQ(view.export_bar, 100);
  ASSERT_TRUE(view.export_outcome);
  EXPECT_TRUE(view.export_outcome->done());
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

TEST(FirmwareWindow, ExportOfASealedPackWritesNothing) {
  WindowFixture w;
  w.fx.pack->gauge().SetSealState(sim::SealState::kSealed);
  const auto path = TempPath("sealed.bin");
  w.window.Set(path);
  w.window.Export();
  w.window.WaitUntilIdle();
  EXPECT_EQ(w.fx.messages.Texts(), std::vector<std::string>{std::string(messages::kSealedExport)});
  EXPECT_FALSE(std::filesystem::exists(path));
  EXPECT_EQ(w.host.main_ui.locks, 0);
}

TEST(FirmwareWindow, ExportThatLosesTheGaugeFailsAndWritesNothing) {
  WindowFixture w;
  const auto path = TempPath("lost.bin");
  // Unplug after the seal check, while the worker reads pages.
  int reports = 0;
  const common::Subscription unplug = w.window.changes().Subscribe([&](FirmwareChange change) {
    if (change == FirmwareChange::kExport && ++reports == 100) w.fx.pack->Unplug();
  });
  w.window.Set(path);
  w.window.Export();
  w.window.WaitUntilIdle();
  EXPECT_EQ(w.fx.messages.Texts().back(), messages::kExportFail);
  EXPECT_EQ(w.window.View().export_bar, 100);
  ASSERT_TRUE(w.window.View().export_outcome);
  EXPECT_FALSE(w.window.View().export_outcome->done());
  EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(FirmwareWindow, UpdateAndExportNeverRunTogether) {
  WindowFixture w;
  const auto path = TempPath("both.bin");
  ASSERT_TRUE(WriteWholeFile(path, common::ByteView(RandomImage(4))));
  ASSERT_TRUE(w.window.Load(path));
  w.window.Set(TempPath("both_export.bin"));
  std::atomic<bool> tried{false};
  w.host.on_update = [&] {
    if (tried.exchange(true)) return;
    w.window.Export();
  };
  w.window.Start();
  w.window.WaitUntilIdle();
  const auto texts = w.fx.messages.Texts();
  ASSERT_FALSE(texts.empty());
  EXPECT_EQ(texts.front(), messages::kUpdateRunning);
  EXPECT_FALSE(std::filesystem::exists(TempPath("both_export.bin")));
  std::filesystem::remove(path);
}

TEST(FirmwareWindow, CloseAbandonsAnUpdateBetweenRecords) {
  LinkFixture fx;
  CountingHost host;
  const auto path = TempPath("close.bin");
  ASSERT_TRUE(WriteWholeFile(path, common::ByteView(RandomImage(9))));
  auto window = std::make_unique<FirmwareWindow>(*fx.link, fx.messages, host.scan, host.main_ui,
                                                 common::ProductConstants{});
  const common::Subscription watch = host.Watch(*window);
  ASSERT_TRUE(window->Load(path));
  std::atomic<int> reports{0};
  std::atomic<bool> closing{false};
  // The worker waits at the 50th report until Close is on its way, so the update cannot have
  // run to its end first.
  host.on_update = [&] {
    if (++reports == 50) {
      while (!closing) std::this_thread::yield();
    }
  };
  window->Start();
  while (reports < 50) std::this_thread::yield();
  closing = true;
  window->Close();
  EXPECT_EQ(host.scan.resumes, 1);
  const auto state = fx.pack->gauge().State();
  EXPECT_EQ(state.boot.mode, sim::BootMode::kUpdate) << "abandoned inside the boot loader";
  EXPECT_EQ(state.boot.status & 0xFE00, 0) << "no record was cut in half";
  EXPECT_LT(state.boot.next_sequence, 2843);
  EXPECT_TRUE(fx.messages.Texts().empty());
  window.reset();
  std::filesystem::remove(path);
}

INSTANTIATE_TEST_SUITE_P(Adapters, FirmwareWindowOnBothAdapters,
                         ::testing::Values(test::Adapters::kHid, test::Adapters::kBulk));

}  // namespace
}  // namespace cw::firmware
