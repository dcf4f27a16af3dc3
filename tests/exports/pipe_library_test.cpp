// The library's setup as CWPIPES_DEVICE and cellwarden.ini make it: a simulated pack built from
// the whole device string, and a reason for every setup that cannot be used.

#include "exports/pipe_library.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bulk_requests.h"
#include "exports/pipe_table.h"

namespace cw::exports {
namespace {

using testing::Packet;
using testing::ReadRequest;
using testing::WriteWordRequest;

// A scratch folder of its own for each test.
class ScratchFolder {
 public:
  ScratchFolder() {
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    path_ = std::filesystem::temp_directory_path() /
            (std::string("cwpipes_") + test->name() + "_" + std::to_string(getpid()));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~ScratchFolder() { std::filesystem::remove_all(path_); }
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path Write(const std::string& name, const std::string& text) const {
    const auto file = path_ / name;
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file) << text;
    return file;
  }

 private:
  std::filesystem::path path_;
};

// One word through the pipes: request out, reply in. The reply's ACK byte, or the failure.
struct Exchange {
  bool ok = false;
  Packet reply{};
  PipeFailure failure;
};

Exchange Send(PipeTable& table, int bulk_out, int bulk_in, const Packet& request) {
  Exchange exchange;
  std::uint32_t count = 0;
  exchange.ok = table.BulkOut(bulk_out, request, count, &exchange.failure) &&
                table.BulkIn(bulk_in, exchange.reply, count, &exchange.failure);
  return exchange;
}

TEST(PipeLibrarySetup, EveryUnusableSetupSaysWhyAndOpensNothing) {
  ScratchFolder folder;
  const auto damaged = folder.Write("damaged.json", "{ not json");
  struct Case {
    std::string device;
    std::expected<common::ProductConstants, std::string> constants;
    std::string text;  // after "OpenUsbPort_Bulkin: "
  };
  const std::vector<Case> cases = {
      {"bogus", common::ProductConstants{},
       "CWPIPES_DEVICE=\"bogus\": unknown device \"bogus\": use auto, hid, bulk, hid:SERIAL, "
       "bulk:SERIAL, sim or sim:key=value:..."},
      {"sim:colour=red", common::ProductConstants{},
       "CWPIPES_DEVICE=\"sim:colour=red\": unknown device option \"colour\" (known: transport, "
       "state, faults, clock, packs, adapter)"},
      {"sim:packs=3:faults=drop-after=3@2", common::ProductConstants{},
       "CWPIPES_DEVICE=\"sim:packs=3:faults=drop-after=3@2\": the pipe routines drive the first "
       "bulk adapter only: packs=, faults=...@K, hid:, bulk: and adapter= are for cellwarden-cli "
       "and cellwarden"},
      {"bulk:888800000002", common::ProductConstants{},
       "CWPIPES_DEVICE=\"bulk:888800000002\": the pipe routines drive the first bulk adapter "
       "only: packs=, faults=...@K, hid:, bulk: and adapter= are for cellwarden-cli and "
       "cellwarden"},
      {"sim:faults=explode", common::ProductConstants{},
       "the simulated pack cannot be built: Unknown fault \"explode\" (known: nack-every, "
       "nack-probability, seed, corrupt-pec-every, drop-after, short-replies, "
       "oversized-replies, stuck-boot, safety-alarm)"},
      {"sim",
       std::unexpected(std::string("/etc/cellwarden.ini: [Constants] RecordMask is not valid")),
       "the product constants cannot be used: /etc/cellwarden.ini: [Constants] RecordMask is not "
       "valid"},
      {"usb", std::unexpected(std::string("cellwarden.ini: cannot be read")),
       "the product constants cannot be used: cellwarden.ini: cannot be read"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.device);
    PipeLibrary library(c.device.c_str(), c.constants);
    EXPECT_EQ(library.table(), nullptr);
    const PipeFailure failure = library.SetupFailure("OpenUsbPort_Bulkin");
    EXPECT_EQ(failure.kind, PipeFailureKind::kSetup);
    EXPECT_EQ(failure.text, "OpenUsbPort_Bulkin: " + c.text);
  }

  const std::string device = "sim:state=" + damaged.string();
  PipeLibrary library(device.c_str(), common::ProductConstants{});
  EXPECT_EQ(library.table(), nullptr);
  EXPECT_TRUE(library.SetupFailure("BulkIn").text.starts_with(
      "BulkIn: the simulated pack cannot be built: The pack state "
      "file " +
      damaged.string() + " is not valid JSON"))
      << library.SetupFailure("BulkIn").text;
}

TEST(PipeLibrarySetup, AMalformedConstantsFileIsTheReasonNotASilentDefault) {
  ScratchFolder folder;
  folder.Write("cellwarden/cellwarden.ini", "[Constants]\nAdapterVendorId=zz\n");
  const char* saved = std::getenv("XDG_CONFIG_HOME");
  const std::string restore = saved ? saved : "";
  setenv("XDG_CONFIG_HOME", folder.path().c_str(), 1);
  const auto constants = LibraryConstants();
  if (saved) {
    setenv("XDG_CONFIG_HOME", restore.c_str(), 1);
  } else {
    unsetenv("XDG_CONFIG_HOME");
  }
  ASSERT_FALSE(constants.has_value());
  EXPECT_EQ(constants.error(), (folder.path() / "cellwarden/cellwarden.ini").string() +
                                   ": [Constants] AdapterVendorId is not valid");
}

TEST(PipeLibrarySim, EverySimulatedPackHasTheBulkAdapter) {
  for (const char* device :
       {"sim", "sim:transport=hid", "sim:transport=bulk", "sim:transport=both:clock=virtual"}) {
    SCOPED_TRACE(device);
    PipeLibrary library(device, common::ProductConstants{});
    ASSERT_NE(library.table(), nullptr);
    PipeTable& table = *library.table();
    const Exchange read = Send(table, table.Open(PipeKind::kBulkOut), table.Open(PipeKind::kBulkIn),
                               ReadRequest(0x09, 3));
    EXPECT_TRUE(read.ok) << read.failure.text;
  }
}

TEST(PipeLibrarySim, DropAfterFaultsReachTheScript) {
  PipeLibrary library("sim:faults=drop-after=3:clock=virtual", common::ProductConstants{});
  ASSERT_NE(library.table(), nullptr);
  PipeTable& table = *library.table();
  const int bulk_out = table.Open(PipeKind::kBulkOut);
  const int bulk_in = table.Open(PipeKind::kBulkIn);
  // Exchanges 1 and 2, then the third goes out and the adapter is gone before the reply.
  EXPECT_TRUE(Send(table, bulk_out, bulk_in, ReadRequest(0x09, 3)).ok);
  const Exchange cut = Send(table, bulk_out, bulk_in, ReadRequest(0x0D, 3));
  EXPECT_FALSE(cut.ok);
  EXPECT_EQ(cut.failure.kind, PipeFailureKind::kAdapterGone);
  EXPECT_EQ(cut.failure.text,
            "BulkIn: the adapter is gone (LIBUSB_ERROR_NO_DEVICE); close every handle and open "
            "again");
}

TEST(PipeLibrarySim, AVirtualClockRunsTheTimeOutWithoutWaiting) {
  PipeLibrary library("sim:clock=virtual", common::ProductConstants{});
  ASSERT_NE(library.table(), nullptr);
  PipeTable& table = *library.table();
  const int bulk_in = table.Open(PipeKind::kBulkIn);
  Packet reply{};
  std::uint32_t count = 0;
  PipeFailure failure;
  // Nothing was asked: on the system clock this read would sleep for a minute.
  EXPECT_FALSE(table.BulkIn(bulk_in, reply, count, &failure));
  EXPECT_EQ(failure.text, "BulkIn: no answer within 60000 ms (LIBUSB_ERROR_TIMEOUT)");
}

TEST(PipeLibrarySim, TheStateFileCarriesAChangeToTheNextProgram) {
  ScratchFolder folder;
  const std::string device = "sim:state=" + (folder.path() / "pack.json").string();
  constexpr std::uint8_t kRemainingCapacityAlarm = 0x01;
  {
    PipeLibrary first(device.c_str(), common::ProductConstants{});
    ASSERT_TRUE(first.keeps_state());
    PipeTable& table = *first.table();
    const Exchange write =
        Send(table, table.Open(PipeKind::kBulkOut), table.Open(PipeKind::kBulkIn),
             WriteWordRequest(kRemainingCapacityAlarm, 0x0123));
    ASSERT_TRUE(write.ok && write.reply[CWPIPES_BYTE_ACK] != 0) << write.failure.text;
    ASSERT_TRUE(first.SaveState().has_value());
  }
  PipeLibrary second(device.c_str(), common::ProductConstants{});
  ASSERT_NE(second.table(), nullptr);
  PipeTable& table = *second.table();
  const Exchange read = Send(table, table.Open(PipeKind::kBulkOut), table.Open(PipeKind::kBulkIn),
                             ReadRequest(kRemainingCapacityAlarm, 2));
  ASSERT_TRUE(read.ok) << read.failure.text;
  EXPECT_EQ(read.reply[CWPIPES_DATA_OFFSET], 0x23);
  EXPECT_EQ(read.reply[CWPIPES_DATA_OFFSET + 1], 0x01);

  PipeLibrary real("usb", common::ProductConstants{});
  EXPECT_FALSE(real.keeps_state());
}

}  // namespace
}  // namespace cw::exports
