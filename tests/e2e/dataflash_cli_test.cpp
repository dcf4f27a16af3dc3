// The data-flash commands run the way a user runs them, against the simulated pack.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
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

class DataFlashGaugeCliTest : public ScratchFolderTest {};

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
  EXPECT_NE(run.out.find("Manuf Date\t1980-1-1\tdate\n"), std::string::npos);

  run = Sim("df write " + (dir_ / "missing.afi").string());
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_NE(run.err.find("no such file"), std::string::npos);
}

// The file's text with `key`'s line given `value`, or left out when there is no value.
std::string WithKey(const std::string& text, const std::string& key,
                    const std::optional<std::string>& value) {
  std::istringstream in(text);
  std::string out;
  for (std::string line; std::getline(in, line);) {
    const std::size_t equals = line.find('=');
    std::string name = line.substr(0, equals);
    while (!name.empty() && name.back() == ' ') name.pop_back();
    if (equals != std::string::npos && name == key) {
      if (value) out += key + " = " + *value + "\n";
      continue;
    }
    out += line + "\n";
  }
  return out;
}

std::string ValueOf(const std::string& text, const std::string& key) {
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (line.starts_with(key + " = ")) return line.substr(key.size() + 3);
  }
  return {};
}

TEST_F(DataFlashGaugeCliTest, DiffComparesKeyByKeyWithAFileOrTheGauge) {
  const std::string saved = (dir_ / "saved.afi").string();
  ASSERT_EQ(Sim("df read-all -o " + saved).exit_code, 0);
  std::ifstream in(saved);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::string cov = ValueOf(text, "COV Time");
  const std::string cuv = ValueOf(text, "CUV Threshold");
  const std::string algorithm = ValueOf(text, "AlgorithmData3");
  ASSERT_FALSE(cov.empty() || cuv.empty() || algorithm.empty());
  const auto write = [&](const std::string& name, const std::string& contents) {
    std::ofstream(dir_ / name) << contents;
    return (dir_ / name).string();
  };
  const std::string same = write("same.afi", text);
  const std::string changed = write("changed.afi", WithKey(text, "COV Time", "9"));
  // Another spelling of the same value writes the same bytes: no difference.
  const std::string respelled = write("respelled.afi", WithKey(text, "COV Time", "0" + cov));
  const std::string missing =
      write("missing.afi", WithKey(WithKey(text, "CUV Threshold", {}), "AlgorithmData3", {}));
  const std::string not_afi = write("notes.afi", "nothing of the kind\n");

  struct Case {
    std::string what;
    std::string args;
    int exit_code;
    std::string out;
  };
  const Case cases[] = {
      {"equal files", "df diff " + saved + " " + same, 0, ""},
      {"the same value spelled otherwise", "df diff " + saved + " " + respelled, 0, ""},
      {"one changed value", "df diff " + changed + " " + saved, 1,
       "COV Time\t9\t" + cov + "\tSec\n"},
      {"a file missing keys", "df diff " + missing + " " + saved, 1,
       "CUV Threshold\t(missing)\t" + cuv + "\tmV\nAlgorithmData3\t(missing)\t" + algorithm +
           "\t\n"},
      {"a file as the gauge holds it", "df diff " + saved, 0, ""},
      {"an unreadable file", "df diff " + (dir_ / "none.afi").string() + " " + saved, 2, ""},
      {"no constants file", "df diff " + saved + " " + not_afi, 2, ""},
  };
  for (const Case& c : cases) {
    const CliRun run = Sim(c.args);
    EXPECT_EQ(run.exit_code, c.exit_code) << c.what << "\n" << run.err;
    EXPECT_EQ(run.out, c.out) << c.what;
    EXPECT_EQ(run.err.empty(), c.exit_code != 2) << c.what << "\n" << run.err;
  }

  // After `df set` the gauge holds another value than the file.
  ASSERT_EQ(Sim("df set 'COV Time' 7").exit_code, 0);
  const CliRun run = Sim("df diff " + saved);
  EXPECT_EQ(run.exit_code, 1) << run.err;
  EXPECT_EQ(run.out, "COV Time\t" + cov + "\t7\tSec\n");
}

}  // namespace
}  // namespace cw::test
