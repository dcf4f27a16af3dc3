// The data-flash commands run the way a user runs them, against the simulated pack.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "cli_runner.h"

namespace cw::test {
namespace {

std::size_t Lines(const std::string& text) {
  return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

TEST(DataFlashCliTest, ParamListPrintsEveryRowInListOrder) {
  const CliRun run = RunCli("param list");
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(Lines(run.out), 340u);
  EXPECT_EQ(run.out.substr(0, run.out.find('\n')),
            "1\tLT COV Threshold\t0x00\t0\t1\t1\t%d\tmV\t0\t32767");
  EXPECT_NE(run.out.find("7\tJT1\t0x22\t0\t1\t243\t%.1f\t℃\t-400\t1300\n"), std::string::npos);
  EXPECT_NE(run.out.find("21\tCC Deadband Reg\t0x6B\t1\t0\t0\t%02X\thex\t0\t3\n"),
            std::string::npos);
}

TEST(DataFlashCliTest, ParamEncodeAndDecode) {
  struct Case {
    std::string args;
    int exit_code;
    std::string out;
    std::string err_part;
  };
  const Case cases[] = {
      {"param encode 'Over Temp Chg' 25", 0, "0B A5\n", ""},
      {"param encode 'OCD1 Threshold' -- -500", 0, "FE 0C\n", ""},
      {"param encode 'OCD1 Threshold' 10", 1, "", "Please enter a value between -32768 and 0 mA"},
      {"param encode --clamp 'OCD1 Threshold' 10", 0, "00 00\n", ""},
      {"param encode 'manuf date' 2023-5-17", 0, "56 B1\n", ""},
      {"param encode 'CC Gain' 0.05", 1, "", "between 0.100037 and 3.999939"},
      {"param encode 'No Such Thing' 1", 2, "", "unknown parameter"},
      {"param encode --clamp 'COV Time' soon", 1, "", "not a valid number"},
      {"param decode 'Over Temp Chg' 0B A5", 0, "25.0\n", ""},
      {"param decode 'Device Name' 03 41 00 42", 0, "A@B\n", ""},
      {"param decode 'Over Temp Chg' 0B", 2, "", "takes 2 raw bytes"},
      {"param decode 'Over Temp Chg' 0B ZZ", 2, "", ""},
  };
  for (const Case& c : cases) {
    const CliRun run = RunCli(c.args);
    EXPECT_EQ(run.exit_code, c.exit_code) << c.args << "\n" << run.err;
    EXPECT_EQ(run.out, c.out) << c.args;
    EXPECT_NE(run.err.find(c.err_part), std::string::npos) << c.args << "\n" << run.err;
  }
}

class DataFlashGaugeCliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("cw_df_cli_" +
            std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  CliRun Sim(const std::string& args) {
    // The virtual clock keeps the 2.5 s settle of every Write All out of the test's run time.
    return RunCli("--device sim:state=" + (dir_ / "pack.json").string() + ":clock=virtual " + args);
  }
  std::filesystem::path dir_;
};

TEST_F(DataFlashGaugeCliTest, ReadSetGetAndWriteBack) {
  const std::string afi = (dir_ / "Saved").string();
  CliRun run = Sim("df read-all -o " + afi);
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(run.out, afi + ".afi\n");
  EXPECT_TRUE(std::filesystem::exists(afi + ".afi"));
  EXPECT_NE(run.err.find("Save Finish!"), std::string::npos);

  run = Sim("df set 'COV Time' 7");
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(run.out, "7\n");
  run = Sim("df get 'COV Time'");  // a new process: the pack kept the write
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(run.out, "7\n");

  run = Sim("df set 'OCD1 Threshold' 10");
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_NE(run.err.find("out of limits"), std::string::npos);

  run = Sim("df write " + afi + ".afi");
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_NE(run.err.find("Load Process Suscess!"), std::string::npos);
  EXPECT_EQ(Sim("df get 'COV Time'").out, "2\n");

  run = Sim("df dump");
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(Lines(run.out), 340u);
  EXPECT_NE(run.out.find("Manuf Date\t2023-5-17\tdate\n"), std::string::npos);

  run = Sim("df write " + (dir_ / "missing.afi").string());
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_NE(run.err.find("no such file"), std::string::npos);
}

}  // namespace
}  // namespace cw::test
