// Golden files on the command line: what a constants file or a firmware image holds, compared key
// by key (df diff) and linted against a fresh pack (df lint).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "cli_runner.h"

namespace cw::test {
namespace {

namespace fs = std::filesystem;

// The name and group of each finding `df lint` printed.
std::vector<std::pair<std::string, std::string>> Findings(const std::string& out) {
  std::vector<std::pair<std::string, std::string>> findings;
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);) {
    const std::size_t tab = line.find('\t');
    findings.emplace_back(line.substr(0, tab),
                          line.substr(tab + 1, line.find('\t', tab + 1) - tab - 1));
  }
  return findings;
}

class GoldenFilesCliTest : public ScratchFolderTest {};

TEST_F(GoldenFilesCliTest, DiffComparesTheConstantsOfAnImageWithAFileOrTheGaugeEitherWay) {
  ASSERT_EQ(Sim("fw export " + P("fresh.bin")).exit_code, 0);
  ASSERT_EQ(Sim("df set 'COV Time' 7").exit_code, 0);
  ASSERT_EQ(Sim("df read-all -o " + P("set.afi")).exit_code, 0);
  ASSERT_EQ(Sim("fw export " + P("set.bin")).exit_code, 0);
  const struct {
    std::string args;
    int exit_code;
    std::string out;
  } cases[] = {
      {"df diff " + P("fresh.bin") + " " + P("set.afi"), 1, "COV Time\t2\t7\tSec\n"},
      {"df diff " + P("set.afi") + " " + P("fresh.bin"), 1, "COV Time\t7\t2\tSec\n"},
      {"df diff " + P("fresh.bin"), 1, "COV Time\t2\t7\tSec\n"},  // with the gauge
      {"df diff " + P("set.bin") + " " + P("set.afi"), 0, ""},
      {"df diff " + P("fresh.bin") + " " + P("set.bin"), 1, "COV Time\t2\t7\tSec\n"},
  };
  for (const auto& c : cases) {
    const CliRun run = Sim(c.args);
    EXPECT_EQ(run.exit_code, c.exit_code) << c.args << "\n" << run.err;
    EXPECT_EQ(run.out, c.out) << c.args;
  }
}

TEST_F(GoldenFilesCliTest, LintFindsWhatAPackThatRanCountedAndLearned) {
  ASSERT_EQ(Sim("df read-all -o " + P("fresh.afi")).exit_code, 0);
  const CliRun fresh = RunCli("df lint " + P("fresh.afi"));
  EXPECT_EQ(fresh.exit_code, 0) << fresh.out << fresh.err;
  EXPECT_EQ(fresh.out, "");

  // Nearly seven hours on the virtual clock: a discharge, a full charge, and a cycle counted.
  const CliRun ran = Sim("log " + P("run.log") + " --interval 60 --samples 400 --rows Voltage");
  ASSERT_EQ(ran.exit_code, 0) << ran.err;
  ASSERT_EQ(Sim("df read-all -o " + P("ran.afi")).exit_code, 0);
  ASSERT_EQ(Sim("fw export " + P("ran.bin")).exit_code, 0);
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"Cycle Count", "lifetime"}, {"QCell0", "learned"}, {"QCell1", "learned"},
      {"QCell2", "learned"},       {"QCell3", "learned"}, {"FG Status", "update status"}};
  const CliRun lint = RunCli("df lint " + P("ran.afi"));
  EXPECT_EQ(lint.exit_code, 1) << lint.err;
  EXPECT_EQ(Findings(lint.out), expected) << lint.out;
  EXPECT_NE(lint.out.find("Cycle Count\tlifetime\t1\t0\tnum\n"), std::string::npos) << lint.out;
  EXPECT_NE(lint.out.find("QCell0\tlearned\t4500\t4800\tmAh\n"), std::string::npos) << lint.out;
  const CliRun image = RunCli("df lint " + P("ran.bin"));
  EXPECT_EQ(image.exit_code, 1) << image.err;
  EXPECT_EQ(image.out, lint.out) << "the image carries the same constants";
}

TEST_F(GoldenFilesCliTest, TheExampleGoldenFilesLintClean) {
  for (const std::string file : {"golden.afi", "pack.bin"}) {
    const CliRun run = RunCli("df lint " + std::string(CELLWARDEN_EXAMPLE_FILES) + "/" + file);
    EXPECT_EQ(run.exit_code, 0) << file << "\n" << run.out << run.err;
    EXPECT_EQ(run.out, "") << file;
  }
}

TEST_F(GoldenFilesCliTest, LintRefusesAFileThatIsNeitherWithExitTwo) {
  fs::create_directories(dir_ / "folder.bin");
  std::ofstream(dir_ / "notes.txt") << "nothing of the kind\n";
  std::ofstream(dir_ / "short.bin") << std::string(100, '\x5A');
  const struct {
    std::string file;
    std::string says;
  } cases[] = {
      {"missing.afi", "it does not exist"},
      {"folder.bin", "it is a folder"},
      {"notes.txt", "notes.txt is not a constants file"},
      {"short.bin", "short.bin is not a firmware image"},
  };
  for (const auto& c : cases) {
    const CliRun run = RunCli("df lint " + P(c.file));
    EXPECT_EQ(run.exit_code, 2) << c.file;
    EXPECT_EQ(run.out, "") << c.file;
    EXPECT_NE(run.err.find(c.says), std::string::npos) << c.file << "\n" << run.err;
    const CliRun json = RunCli("df lint " + P(c.file) + " --json");
    EXPECT_EQ(json.exit_code, 2) << c.file;
    EXPECT_EQ(nlohmann::json::parse(json.out, nullptr, false)["error"]["kind"], "file") << json.out;
  }
}

}  // namespace
}  // namespace cw::test
