#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

#include "common/clock.h"
#include "link/hid_reports.h"
#include "link/pec.h"
#include "sim/pack_state_file.h"
#include "sim/sim_pack.h"
#include "sim_test_support.h"

namespace cw::sim {
namespace {

using testing::BlockWrite;
using testing::EnterKey;
using testing::ReadBlock;
using testing::ReadWord;
using testing::WordWrite;

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

class PackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    directory_ =
        std::filesystem::temp_directory_path() /
        ("cw_sim_test_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
         ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(directory_);
  }
  void TearDown() override { std::filesystem::remove_all(directory_); }

  SimOptions WithStateFile(const std::string& name) {
    SimOptions options = DefaultSimOptions(common::ProductConstants{}, SimAdapters::kHid);
    options.state_file = (directory_ / name).string();
    return options;
  }

  common::ManualClock clock_;
  std::filesystem::path directory_;
};

TEST_F(PackTest, StateFileKeepsWhatTheLastRunChanged) {
  const SimOptions options = WithStateFile("pack.json");
  GaugeState changed;
  {
    SimPack pack(clock_, options);
    EXPECT_FALSE(pack.load_error());
    SimGauge& gauge = pack.gauge();
    ASSERT_TRUE(gauge.Write(WordWrite(0x77, 0x0031)));
    ASSERT_TRUE(gauge.Write(BlockWrite(0x78, common::Bytes{9, 9, 9})));
    ASSERT_TRUE(gauge.Write(WordWrite(0x03, 0x8001)));
    ASSERT_TRUE(gauge.Write(WordWrite(0x43, 0xFC18)));
    ASSERT_TRUE(gauge.Write(WordWrite(0x00, 0x0037)));
    ASSERT_TRUE(gauge.Write(BlockWrite(0x2F, common::Bytes(16, 0x3C))));
    ASSERT_TRUE(gauge.Write(WordWrite(0x4A, 0xF810)));
    ASSERT_TRUE(gauge.Write(WordWrite(0x00, 0x0030)));
    GaugeState uncalibrated_board = gauge.State();
    uncalibrated_board.board_offset_ma = -7;
    gauge.Restore(uncalibrated_board);
    changed = gauge.State();
  }
  ASSERT_TRUE(std::filesystem::exists(options.state_file));
  SimPack again(clock_, options);
  EXPECT_FALSE(again.load_error());
  EXPECT_EQ(again.gauge().State(), changed);
  EXPECT_EQ(again.gauge().seal_state(), SealState::kSealed);
  EXPECT_EQ(ReadWord(again.gauge(), 0x77), 0x31);
  EXPECT_EQ(ReadBlock(again.gauge(), 0x78, 8), (common::Bytes{9, 9, 9, 5, 0x0C, 0x80, 0x0C, 0xE4}));
  ASSERT_TRUE(EnterKey(again.gauge(), kDefaultUnsealKey));
  EXPECT_EQ(again.gauge().seal_state(), SealState::kUnsealed);
}

TEST_F(PackTest, MissingStateFileStartsFromDefaultsAndIsWrittenOnExit) {
  const SimOptions options = WithStateFile("new.json");
  {
    SimPack pack(clock_, options);
    EXPECT_FALSE(pack.load_error());
    EXPECT_EQ(pack.gauge().State(), SimGauge(clock_, common::ProductConstants{}).State());
    ASSERT_TRUE(pack.SaveState());
    EXPECT_TRUE(std::filesystem::exists(options.state_file));
    EXPECT_FALSE(std::filesystem::exists(options.state_file + ".tmp"));
  }
  SimPack without_file(clock_, DefaultSimOptions(common::ProductConstants{}, SimAdapters::kHid));
  EXPECT_FALSE(without_file.SaveState());
}

struct CorruptCase {
  const char* name;
  std::string contents;
  const char* reason_part;
};

TEST_F(PackTest, DamagedStateFileIsReportedAndNeverOverwritten) {
  nlohmann::json valid = GaugeStateToJson(SimGauge(clock_, common::ProductConstants{}).State());
  nlohmann::json short_flash = valid;
  short_flash["data_flash"] = "00FF";
  nlohmann::json bad_seal = valid;
  bad_seal["seal_state"] = "ajar";
  nlohmann::json bad_mode = valid;
  bad_mode["boot_loader"]["mode"] = 3;
  nlohmann::json no_keys = valid;
  no_keys.erase("unseal_key");
  nlohmann::json bad_subclass = valid;
  bad_subclass["selected_subclass"] = 0x99;
  nlohmann::json bad_selector = valid;
  bad_selector["flash_selector"] = 0x0001;
  nlohmann::json busy_for_ever = valid;
  busy_for_ever["boot_loader"]["busy_ms_left"] = 60001;
  nlohmann::json bad_record = valid;
  bad_record["calibrations"] =
      nlohmann::json::array({{{"command", 64}, {"data", "X1"}, {"time_ms", 0}}});
  const CorruptCase cases[] = {
      {"not JSON", "{\"format\": ", "is not valid JSON"},
      {"empty file", "", "is not valid JSON"},
      {"a list", "[1, 2]", "the document\" is not an object"},
      {"another format", R"({"format": "something else"})", "\"format\" is not"},
      {"short data flash", short_flash.dump(), "\"data_flash\" is not 2048 bytes"},
      {"unknown seal state", bad_seal.dump(), "\"seal_state\" is not one of"},
      {"boot mode as a number", bad_mode.dump(), "\"boot_loader.mode\""},
      {"missing key", no_keys.dump(), "\"unseal_key\" is missing"},
      {"subclass the gauge lacks", bad_subclass.dump(), "\"selected_subclass\""},
      {"flash page the gauge lacks", bad_selector.dump(), "\"flash_selector\""},
      {"calibration data not hex", bad_record.dump(), "\"calibrations[0].data\""},
      {"loader busy past a minute", busy_for_ever.dump(), "\"boot_loader.busy_ms_left\""},
  };
  for (const CorruptCase& test : cases) {
    const SimOptions options = WithStateFile("damaged.json");
    {
      std::ofstream file(options.state_file, std::ios::binary | std::ios::trunc);
      file << test.contents;
    }
    {
      SimPack pack(clock_, options);
      ASSERT_TRUE(pack.load_error()) << test.name;
      EXPECT_NE(pack.load_error()->find(test.reason_part), std::string::npos)
          << test.name << ": " << *pack.load_error();
      EXPECT_NE(pack.load_error()->find(options.state_file), std::string::npos) << test.name;
      // The pack still works, from its defaults.
      EXPECT_EQ(ReadWord(pack.gauge(), 0x09), 15200) << test.name;
      const auto saved = pack.SaveState();
      ASSERT_FALSE(saved) << test.name;
      EXPECT_NE(saved.error().find("not saved"), std::string::npos);
    }
    EXPECT_EQ(ReadFile(options.state_file), test.contents) << test.name;
  }
}

// Earlier releases counted the loader's busy status reads; their files still load, a count left
// standing for one record's programming time. Today's files carry the time left, and a count
// for those releases.
TEST_F(PackTest, LoaderBusyTimeIsStoredAndOldBusyCountsStillLoad) {
  GaugeState busy = SimGauge(clock_, common::ProductConstants{}).State();
  busy.boot.busy_left = common::Millis{7};
  const nlohmann::json today = GaugeStateToJson(busy);
  EXPECT_EQ(today["boot_loader"]["busy_ms_left"], 7);
  EXPECT_EQ(today["boot_loader"]["busy_polls_left"], 1);
  const auto old_file = [&](int polls) {
    nlohmann::json old = today;
    old["boot_loader"].erase("busy_ms_left");
    old["boot_loader"]["busy_polls_left"] = polls;
    return old;
  };
  const std::pair<nlohmann::json, common::Millis> cases[] = {
      {today, common::Millis{7}},
      {old_file(0), common::Millis{0}},
      {old_file(2), boot::BootTiming{}.record},
  };
  for (const auto& [json, busy_left] : cases) {
    const auto state = GaugeStateFromJson(nlohmann::json::parse(json.dump()));
    ASSERT_TRUE(state) << state.error();
    EXPECT_EQ(state->boot.busy_left, busy_left) << json["boot_loader"].dump();
  }
}

// Only a regular file holds a pack: a device would be read without end and a directory not at
// all, and neither is ever replaced by a save.
TEST_F(PackTest, StateFileThatIsNoRegularFileIsRefusedAndLeftAsItIs) {
  std::filesystem::create_directories(directory_ / "folder.json");
  const std::pair<std::string, std::string> cases[] = {
      {(directory_ / "folder.json").string(), "folder"}, {"/dev/null", "not a regular file"}};
  for (const auto& [path, why] : cases) {
    SimOptions options = WithStateFile("unused");
    options.state_file = path;
    SimPack pack(clock_, options);
    ASSERT_TRUE(pack.load_error()) << path;
    EXPECT_NE(pack.load_error()->find(path), std::string::npos) << *pack.load_error();
    EXPECT_NE(pack.load_error()->find(why), std::string::npos) << *pack.load_error();
    EXPECT_FALSE(SaveGaugeState(path, pack.gauge().State())) << path;
  }
  EXPECT_TRUE(std::filesystem::is_directory(directory_ / "folder.json"));
  EXPECT_TRUE(std::filesystem::is_character_file("/dev/null"));
}

TEST_F(PackTest, FailedSaveIsAnErrorAndLeavesNoTemporaryFile) {
  SimOptions options = WithStateFile("unused");
  options.state_file = (directory_ / "gone" / "pack.json").string();
  SimPack pack(clock_, options);
  ASSERT_FALSE(pack.load_error()) << "nothing there yet is a new pack";
  const auto saved = pack.SaveState();
  ASSERT_FALSE(saved) << "its folder does not exist";
  EXPECT_NE(saved.error().find(options.state_file), std::string::npos) << saved.error();
  EXPECT_FALSE(std::filesystem::exists(directory_ / "gone"));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(directory_),
                          std::filesystem::directory_iterator()),
            0)
      << "no temporary file left";
}

TEST_F(PackTest, UnchangedStateIsNotWrittenAgain) {
  const SimOptions options = WithStateFile("pack.json");
  {
    std::ofstream file(options.state_file);
    file << GaugeStateToJson(SimGauge(clock_, common::ProductConstants{}).State()).dump();
  }
  const std::string compact = ReadFile(options.state_file);
  SimPack pack(clock_, options);
  ASSERT_TRUE(pack.SaveState());
  EXPECT_EQ(ReadFile(options.state_file), compact) << "loaded and unchanged: left alone";
  ASSERT_TRUE(pack.gauge().Write(WordWrite(0x00, 0x0030)));
  ASSERT_TRUE(pack.SaveState());
  EXPECT_NE(ReadFile(options.state_file), compact) << "changed: saved";
}

// A device that answers every read with one fixed word and remembers what was written.
class ScriptedDevice final : public link::SmbusTarget {
 public:
  bool Write(std::span<const std::uint8_t> bytes) override {
    writes.emplace_back(bytes.begin(), bytes.end());
    return true;
  }
  std::optional<std::vector<std::uint8_t>> Read(std::uint8_t, std::size_t count) override {
    std::vector<std::uint8_t> reply(count, 0xFF);
    if (count >= 2) reply[0] = 0x34, reply[1] = 0x12;
    return reply;
  }
  std::vector<common::Bytes> writes;
};

TEST_F(PackTest, ScriptedDeviceTakesTheGaugesPlaceOnTheBus) {
  SimPack pack(clock_, DefaultSimOptions(common::ProductConstants{}, SimAdapters::kHid));
  auto& hid = pack.hid_backend();
  const auto infos = hid.Enumerate();
  auto header = hid.Open(infos[link::hid::UsageSlot(1)]);
  auto response = hid.Open(infos[link::hid::UsageSlot(3)]);
  const auto read_word = [&] {
    std::vector<std::uint8_t> request = {1, 0x17, 0x09, 0, 0, 0, 2, 2};
    EXPECT_TRUE(header->SetFeature(request));
    std::vector<std::uint8_t> reply = {3, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_TRUE(response->GetFeature(reply));
    return common::LittleEndianWord(reply[1], reply[2]);
  };
  ScriptedDevice device;
  pack.ReplaceTarget(&device);
  EXPECT_EQ(read_word(), 0x1234);
  std::vector<std::uint8_t> write = {1, 0x16, 0x00, 0x41, 0x00, 0, 0, 4};
  ASSERT_TRUE(header->SetFeature(write));
  EXPECT_EQ(device.writes, (std::vector<common::Bytes>{{0x00, 0x41, 0x00}}));
  pack.ReplaceTarget(nullptr);
  EXPECT_EQ(read_word(), 15200);
}

TEST_F(PackTest, TransactionFaultsAreDeterministic) {
  const auto nack_pattern = [&](const FaultConfig& faults) {
    SimOptions options = DefaultSimOptions(common::ProductConstants{}, SimAdapters::kHid);
    options.faults = faults;
    SimPack pack(clock_, options);
    const auto infos = pack.hid_backend().Enumerate();
    auto header = pack.hid_backend().Open(infos[link::hid::UsageSlot(1)]);
    auto response = pack.hid_backend().Open(infos[link::hid::UsageSlot(3)]);
    std::string pattern;
    for (int i = 0; i < 12; ++i) {
      std::vector<std::uint8_t> request = {1, 0x17, 0x0D, 0, 0, 0, 3, 2};
      std::vector<std::uint8_t> reply = {3, 0, 0, 0, 0, 0, 0, 0};
      EXPECT_TRUE(header->SetFeature(request) && response->GetFeature(reply));
      pattern += reply[4] == 0 ? '.' : 'N';
    }
    return pattern;
  };
  EXPECT_EQ(nack_pattern(FaultConfig{.nack_every = 3}), "..N..N..N..N");
  EXPECT_EQ(nack_pattern(FaultConfig{.nack_probability = 0.0}), "............");
  EXPECT_EQ(nack_pattern(FaultConfig{.nack_probability = 1.0}), "NNNNNNNNNNNN");
  const std::string seeded = nack_pattern(FaultConfig{.nack_probability = 0.5, .seed = 7});
  EXPECT_EQ(nack_pattern(FaultConfig{.nack_probability = 0.5, .seed = 7}), seeded);
  EXPECT_NE(seeded.find('N'), std::string::npos);
  EXPECT_NE(seeded.find('.'), std::string::npos);
}

TEST_F(PackTest, ReplyFaultsSpoilPecsAndCountBytes) {
  SimGauge gauge(clock_, common::ProductConstants{});
  gauge.SetFaults(FaultConfig{.corrupt_pec_every = 2});
  std::string pattern;
  for (int i = 0; i < 6; ++i) pattern += ReadWord(gauge, 0x09) ? '.' : 'P';
  EXPECT_EQ(pattern, ".P.P.P");
  // Reads that stop before the PEC neither see nor count a corruption.
  EXPECT_EQ(gauge.Read(0x09, 2), (common::Bytes{0x60, 0x3B}));
  EXPECT_TRUE(ReadWord(gauge, 0x09));

  const common::Bytes select_status = BlockWrite(0x44, common::Bytes{0x54, 0x00});
  for (auto [faults, count] : {std::pair{FaultConfig{.short_replies = true}, 3},
                               std::pair{FaultConfig{.oversized_replies = true}, 0xFF}}) {
    gauge.SetFaults(faults);
    ASSERT_TRUE(gauge.Write(select_status));
    const auto reply = gauge.Read(0x44, 6);
    ASSERT_TRUE(reply);
    EXPECT_EQ((*reply)[0], count);
    // The PEC still matches what was sent, so only a count check catches it.
    EXPECT_EQ((*reply)[5],
              link::Pec(common::ByteView(reply->data(), 5), link::Pec({0x16, 0x44, 0x17})));
  }
}

TEST_F(PackTest, ScanThreadAndUserThreadShareThePack) {
  SimOptions options = DefaultSimOptions(common::ProductConstants{}, SimAdapters::kBoth);
  options.state_file = (directory_ / "shared.json").string();
  SimPack pack(clock_, options);
  const auto infos = pack.hid_backend().Enumerate();
  auto header = pack.hid_backend().Open(infos[link::hid::UsageSlot(1)]);
  auto response = pack.hid_backend().Open(infos[link::hid::UsageSlot(3)]);
  auto& usb = pack.usb_backend();
  ASSERT_EQ(usb.ListDevices(), 1u);
  auto bulk = usb.Open(0);
  ASSERT_EQ(bulk->ClaimInterface(0), 0);

  std::thread scan([&] {
    for (int i = 0; i < 200; ++i) {
      std::vector<std::uint8_t> request = {1, 0x17, 0x09, 0, 0, 0, 3, 2};
      std::vector<std::uint8_t> reply = {3, 0, 0, 0, 0, 0, 0, 0};
      ASSERT_TRUE(header->SetFeature(request) && response->GetFeature(reply));
      ASSERT_EQ(common::LittleEndianWord(reply[1], reply[2]), 15200);
    }
  });
  for (int i = 0; i < 100; ++i) {
    std::array<std::uint8_t, 64> packet{0x02, 0, 0, 0, 0x02, 0x16, 0, 0x0D, 0, 2};
    ASSERT_EQ(bulk->BulkTransfer(0x01, packet, 100), 64);
    ASSERT_EQ(bulk->BulkTransfer(0x81, packet, 100), 64);
    ASSERT_EQ(packet[10], 76);
    ASSERT_TRUE(pack.gauge().Write(WordWrite(0x77, 0x0030)));
    if (i % 25 == 0) {
      ASSERT_TRUE(pack.SaveState());
    }
  }
  scan.join();
}

// One pack at a time on a state file, from its load to its last save: a second one (in this
// process or another) waits for the first to be gone, and gives up after a while naming it.
TEST_F(PackTest, ASecondPackOnTheStateFileWaitsThenGivesUpNamingTheHolder) {
  SimOptions options = WithStateFile("pack.json");
  options.state_file_wait = common::Millis{200};
  const std::string lock_file = options.state_file + ".lock";
  auto first = std::make_unique<SimPack>(clock_, options);
  ASSERT_FALSE(first->load_error());
  ASSERT_TRUE(first->gauge().Write(WordWrite(0x00, 0x0030)));  // seal
  {
    SimPack second(clock_, options);
    ASSERT_TRUE(second.load_error());
    EXPECT_NE(second.load_error()->find("The pack state file " + options.state_file +
                                        " is in use by process " + std::to_string(::getpid())),
              std::string::npos)
        << *second.load_error();
    EXPECT_NE(second.load_error()->find("after 0.2 s"), std::string::npos);
    EXPECT_FALSE(second.SaveState()) << "the holder's file is not the waiter's to write";
  }
  std::unique_ptr<SimPack> third;
  options.state_file_wait = common::Millis{10000};
  std::thread waiting([&] { third = std::make_unique<SimPack>(clock_, options); });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  first.reset();
  waiting.join();
  ASSERT_FALSE(third->load_error()) << *third->load_error();
  EXPECT_EQ(third->gauge().seal_state(), SealState::kSealed) << "what the first one saved";
  EXPECT_TRUE(std::filesystem::exists(lock_file));
  third.reset();
  EXPECT_FALSE(std::filesystem::exists(lock_file)) << "the last one out removes it";
}

// The holder writes its process id into the lock file: never through a link someone put there.
TEST_F(PackTest, ALockFileThatIsALinkIsRefused) {
  const SimOptions options = WithStateFile("pack.json");
  const auto target = directory_ / "precious";
  std::ofstream(target) << "keep";
  std::filesystem::create_symlink(target, options.state_file + ".lock");
  SimPack pack(clock_, options);
  ASSERT_TRUE(pack.load_error());
  EXPECT_NE(pack.load_error()->find("could not be locked"), std::string::npos)
      << *pack.load_error();
  EXPECT_EQ(ReadFile(target), "keep");
}

}  // namespace
}  // namespace cw::sim
