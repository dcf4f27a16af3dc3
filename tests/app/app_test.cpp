#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "app/device_string.h"
#include "app/parameter_defaults.h"
#include "app/product_constants_file.h"
#include "app/program_directory.h"
#include "app/workbench.h"
#include "dataflash/data_flash_session.h"
#include "dataflash/golden_lint.h"
#include "firmware/constants_merge.h"
#include "firmware/file_io.h"
#include "sim/sim_pack.h"
#include "support/recording_sinks.h"

namespace cw::app {
namespace {

TEST(DeviceStringTest, ParsesEveryKeyAndCombinations) {
  struct Case {
    const char* text;
    DeviceSelection expected;
  };
  const Case cases[] = {
      {"auto", {}},
      {"sim", {.simulated = true}},
      {"sim:transport=bulk", {.simulated = true, .transport = SimAdapters::kBulk}},
      {"sim:transport=both", {.simulated = true, .transport = SimAdapters::kBoth}},
      {"sim:state=pack.json", {.simulated = true, .state_file = "pack.json"}},
      {"sim:faults=nack-every=7,seed=1", {.simulated = true, .faults = "nack-every=7,seed=1"}},
      {"sim:clock=virtual", {.simulated = true, .virtual_clock = true}},
      {"sim:transport=bulk:state=p.json:clock=virtual",
       {.simulated = true,
        .transport = SimAdapters::kBulk,
        .state_file = "p.json",
        .virtual_clock = true}},
  };
  for (const auto& c : cases) {
    const auto parsed = ParseDeviceString(c.text);
    ASSERT_TRUE(parsed.has_value()) << c.text << ": " << parsed.error();
    EXPECT_EQ(*parsed, c.expected) << c.text;
  }
}

TEST(DeviceStringTest, FrontEndOptionsComposeTheDeviceString) {
  EXPECT_FALSE(SelectDevice("auto", false, "")->simulated);
  EXPECT_TRUE(SelectDevice("auto", true, "")->simulated);
  const auto kept = SelectDevice("sim:clock=virtual", false, "pack.json");
  ASSERT_TRUE(kept);
  EXPECT_TRUE(kept->virtual_clock);
  EXPECT_EQ(kept->state_file, "pack.json");
  EXPECT_EQ(SelectDevice("", false, "p.json")->state_file, "p.json");
  EXPECT_FALSE(SelectDevice("usb", false, "p.json"));
  EXPECT_FALSE(SelectDevice("bogus", false, ""));
}

// --sim-state names a file and nothing else: a ':' or '=' in the name is part of the name.
TEST(DeviceStringTest, SimStateIsAFileNameWhateverItHolds) {
  for (const char* name : {"a:b.json", "q:faults=drop-after=1", "x:clock=virtual", "p=q.json"}) {
    const auto selected = SelectDevice("auto", false, name);
    ASSERT_TRUE(selected) << name << ": " << selected.error();
    EXPECT_EQ(*selected, (DeviceSelection{.simulated = true, .state_file = name})) << name;
  }
  const auto both = SelectDevice("sim:clock=virtual", false, "dir/a:b.json");
  ASSERT_TRUE(both);
  EXPECT_EQ(both->state_file, "dir/a:b.json");
  EXPECT_TRUE(both->virtual_clock);
  EXPECT_EQ(SelectDevice("sim:state=p.json", false, "p.json")->state_file, "p.json");
  const auto two = SelectDevice("sim:state=p.json", false, "q.json");
  ASSERT_FALSE(two);
  EXPECT_NE(two.error().find("q.json"), std::string::npos) << two.error();
}

TEST(DeviceStringTest, RefusesWhatItDoesNotKnowWithAReason) {
  for (const char* text : {"simulated", "hidraw", "sim:transport=usb", "sim:colour=red",
                           "sim:state", "sim:state=", "sim:clock=fast", "sim::"}) {
    const auto parsed = ParseDeviceString(text);
    ASSERT_FALSE(parsed.has_value()) << text;
    EXPECT_FALSE(parsed.error().empty());
  }
}

class ConstantsFileTest : public ::testing::Test {
 protected:
  std::filesystem::path Write(const std::string& text) {
    const auto path = dir_ / kConstantsFileName;
    std::ofstream(path) << text;
    return path;
  }
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("cw-constants-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::filesystem::path dir_;
};

TEST_F(ConstantsFileTest, OverridesOnlyTheKeysGiven) {
  const auto path = Write(
      "[Constants]\nrecordmask = 3C\nAdapterVendorId=0x1234\n"
      "ProgrammingStub = 01 02 03 04 05 06 07 08 09 0A 0B 0C\n");
  const auto constants = LoadProductConstantsFile(path);
  ASSERT_TRUE(constants.has_value()) << constants.error();
  EXPECT_EQ(constants->record_mask, 0x3C);
  EXPECT_EQ(constants->adapter_vendor_id, 0x1234);
  EXPECT_EQ(constants->programming_stub[11], 0x0C);
  EXPECT_EQ(constants->read_back_mask, common::ProductConstants{}.read_back_mask);
}

TEST_F(ConstantsFileTest, BadValueNamesTheKey) {
  for (const char* text : {"[Constants]\nRecordMask=1FF\n", "[Constants]\nProgrammingStub=01 02\n",
                           "[Constants]\nAdapterVendorId=vendor\n"}) {
    const auto constants = LoadProductConstantsFile(Write(text));
    ASSERT_FALSE(constants.has_value()) << text;
    EXPECT_NE(constants.error().find("[Constants]"), std::string::npos);
  }
}

TEST_F(ConstantsFileTest, FileNextToTheProgramWins) {
  Write("[Constants]\nReadBackMask=11\n");
  const auto constants = LoadProductConstants(dir_);
  ASSERT_TRUE(constants.has_value());
  EXPECT_EQ(constants->read_back_mask, 0x11);
  EXPECT_EQ(ProductConstantsSearchPath(dir_).front(), dir_ / kConstantsFileName);
}

TEST_F(ConstantsFileTest, FolderUnderTheNameIsRefusedNotRead) {
  std::filesystem::create_directory(dir_ / kConstantsFileName);
  const auto constants = LoadProductConstants(dir_);
  ASSERT_FALSE(constants.has_value());
  EXPECT_NE(constants.error().find("folder"), std::string::npos) << constants.error();
}

TEST(ProgramDirectoryTest, IsTheFolderOfTheRunningExecutable) {
  const auto directory = ProgramDirectory();
  EXPECT_TRUE(std::filesystem::is_directory(directory));
  EXPECT_TRUE(std::filesystem::exists(directory / "test_app"));
}

TEST(WorkbenchTest, SimulatedPackAnswersAfterStartUp) {
  test::RecordingMessageSink messages;
  WorkbenchOptions options;
  options.device = *ParseDeviceString("sim:clock=virtual");
  auto bench = Workbench::Create(options, messages);
  ASSERT_TRUE(bench.has_value()) << bench.error();
  (*bench)->Start();
  EXPECT_TRUE((*bench)->link().connection().connected()) << "start-up opens the HID adapter";
  std::uint16_t value = 0;
  EXPECT_TRUE((*bench)->link().ReadWord(0x09, value));
  EXPECT_NE(value, 0);
}

TEST(WorkbenchTest, APackWithoutAStateFileHasNothingToSave) {
  test::RecordingMessageSink messages;
  WorkbenchOptions options;
  options.device = *ParseDeviceString("sim:clock=virtual");
  auto bench = Workbench::Create(options, messages);
  ASSERT_TRUE(bench.has_value()) << bench.error();
  EXPECT_TRUE((*bench)->SaveSimState().has_value());
}

// The product's fresh-pack table and the simulated pack agree: the examples' golden files are read
// from it and must lint clean.
TEST(WorkbenchTest, TheSimulatedPackIsAFreshPack) {
  const std::vector<std::string> defaults = SimulatedPackDefaults(common::ProductConstants{});
  dataflash::AfiValues values;
  for (std::size_t row = 0; row < dataflash::kParamCount; ++row) values.rows[row] = defaults[row];
  EXPECT_EQ(dataflash::LintGolden(values), std::vector<dataflash::LintFinding>{});
}

TEST(WorkbenchTest, TheDataFlashPageComparesWithTheConstantsAnImageCarries) {
  test::RecordingMessageSink messages;
  WorkbenchOptions options;
  options.device = *ParseDeviceString("sim:clock=virtual");
  auto bench = Workbench::Create(options, messages);
  ASSERT_TRUE(bench.has_value()) << bench.error();
  dataflash::DataFlashSession& session = (*bench)->data_flash();
  ASSERT_TRUE(session.ReadAll());
  // The gauge's constants with one value changed, merged into an image.
  const dataflash::DataFlashView gauge = session.View();
  dataflash::AfiValues values = dataflash::GaugeValues(gauge.values, gauge.image);
  const std::size_t cov = *dataflash::FindParam("COV Time");
  values.rows[cov] = "9";
  const auto empty = std::make_unique<firmware::ExtractedImages>();
  const common::ProductConstants& constants = (*bench)->constants();
  const auto path = std::filesystem::temp_directory_path() / "cw-app-compare.bin";
  ASSERT_TRUE(firmware::WriteWholeFile(
      path, firmware::MergeConstantsIntoImage(
                firmware::BuildFirmwareImage(empty->code, empty->data, constants),
                dataflash::AfiImageFrom(values, /*stored_form=*/false), constants)));

  EXPECT_TRUE(session.CompareWithFile(path));
  std::filesystem::remove(path);
  const auto comparison = session.View().comparison;
  ASSERT_TRUE(comparison && comparison->result);
  EXPECT_EQ(comparison->result->rows, std::vector<std::size_t>{cov});
  EXPECT_EQ(comparison->result->algorithm_keys_differing, 0u);
}

TEST(WorkbenchTest, BadFaultTextIsRefused) {
  test::RecordingMessageSink messages;
  WorkbenchOptions options;
  options.device = *ParseDeviceString("sim:faults=nack-every=x");
  EXPECT_FALSE(Workbench::Create(options, messages).has_value());
}

}  // namespace
}  // namespace cw::app
