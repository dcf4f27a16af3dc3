// `log summary`: a data log the product wrote, read back and summed up.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "cli_runner.h"

namespace cw::test {
namespace {

namespace fs = std::filesystem;

class LogSummaryTest : public ::testing::Test {
 protected:
  LogSummaryTest() { fs::create_directories(directory_); }
  ~LogSummaryTest() override { fs::remove_all(directory_); }

  fs::path directory_ =
      fs::temp_directory_path() / ("cw-log-summary-" + std::to_string(::getpid()));
};

// The adapter goes after the first line: the other two lines mark Voltage and Current unread,
// and the summary counts them per register.
TEST_F(LogSummaryTest, CountsTheValuesALinkLossLeftUnread) {
  const fs::path path = directory_ / "lost.LOG";
  const CliRun logged = RunCli("--device sim:clock=virtual:faults=drop-after=20 log " +
                               path.string() + " --samples 3 --rows \"Voltage,Current\"");
  ASSERT_EQ(logged.exit_code, 1) << "a log with unread values is no success: " << logged.err;

  const CliRun text = RunCli("log summary " + path.string());
  EXPECT_EQ(text.exit_code, 0) << text.err;
  EXPECT_NE(text.out.find("lost.LOG (.LOG data log): 3 samples from "), std::string::npos)
      << text.out;
  EXPECT_NE(text.out.find("Unread values: 4\n"), std::string::npos) << text.out;

  const CliRun json = RunCli("log summary " + path.string() + " --json");
  ASSERT_EQ(json.exit_code, 0) << json.err;
  const auto document = nlohmann::json::parse(json.out);
  EXPECT_EQ(document["samples"], 3);
  EXPECT_EQ(document["unread"], 4);
  ASSERT_EQ(document["columns"].size(), 2u);
  for (const auto& column : document["columns"]) {
    EXPECT_EQ(column["read"], 1) << column;
    EXPECT_EQ(column["unread"], 2) << column;
  }
  EXPECT_EQ(document["columns"][0]["name"], "Voltage");
  EXPECT_EQ(document["columns"][0]["unit"], "mV");
}

// On the virtual clock a minute between lines is a minute in the log's stamps, however little
// time the run took.
TEST_F(LogSummaryTest, AVirtualClockLogIsStampedInItsOwnTime) {
  const fs::path path = directory_ / "slow.LOG";
  ASSERT_EQ(RunCli("--device sim:clock=virtual log " + path.string() +
                   " --samples 3 --interval 60 --rows Voltage")
                .exit_code,
            0);
  const CliRun json = RunCli("log summary " + path.string() + " --json");
  ASSERT_EQ(json.exit_code, 0) << json.err;
  const auto document = nlohmann::json::parse(json.out);
  EXPECT_EQ(document["samples"], 3);
  EXPECT_EQ(document["duration_s"], 120) << document;
}

TEST_F(LogSummaryTest, AFileThatIsNoLogFailsWithItsLine) {
  const fs::path good = directory_ / "good.LOG";
  ASSERT_EQ(RunCli("--device sim:clock=virtual log " + good.string() +
                   " --samples 2 --rows \"Voltage,Current\"")
                .exit_code,
            0);
  std::string log;
  {
    std::ifstream in(good, std::ios::binary);
    log.assign(std::istreambuf_iterator<char>(in), {});
  }
  const std::size_t lines = static_cast<std::size_t>(std::count(log.begin(), log.end(), '\n'));
  struct Case {
    const char* name;
    std::string text;
    std::size_t line;
  };
  const Case cases[] = {
      {"not.LOG", "[pack]\nserial = 7\n", 1},
      {"short.LOG", log + "3             10:00:03     3                 16000\r\n", lines + 1},
      {"word.LOG", log + "3             10:00:03     3                 16000      mA\r\n",
       lines + 1},
  };
  for (const Case& c : cases) {
    const fs::path path = directory_ / c.name;
    std::ofstream(path, std::ios::binary) << c.text;
    const std::string at_line = path.string() + " line " + std::to_string(c.line) + ": ";
    const CliRun text = RunCli("log summary " + path.string());
    EXPECT_EQ(text.exit_code, 1) << c.name;
    EXPECT_EQ(text.out, "") << c.name;
    EXPECT_EQ(text.err.rfind(at_line, 0), 0u) << c.name << ": " << text.err;
    const CliRun json = RunCli("log summary " + path.string() + " --json");
    EXPECT_EQ(json.exit_code, 1) << c.name;
    const auto error = nlohmann::json::parse(json.out)["error"];
    EXPECT_EQ(error["kind"], "file") << c.name;
    EXPECT_EQ(error["message"].get<std::string>().rfind(at_line, 0), 0u) << c.name;
  }
  const CliRun missing = RunCli("log summary " + (directory_ / "none.LOG").string());
  EXPECT_EQ(missing.exit_code, 1);
  EXPECT_NE(missing.err.find("none.LOG"), std::string::npos) << missing.err;
}

}  // namespace
}  // namespace cw::test
