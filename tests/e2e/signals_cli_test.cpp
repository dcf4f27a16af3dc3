// Ctrl-C and SIGTERM in the middle of the long commands, the way a user sends them: the command
// runs on a terminal (so it draws its progress), the signal goes once the work has visibly begun,
// and the command stops at its next record or page, says what the pack is left in, saves the
// simulated pack and ends with 130 or 143.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <regex>
#include <string>

#include "cli_interrupt.h"
#include "cli_runner.h"

namespace cw::test {
namespace {

namespace fs = std::filesystem;

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class SignalsCli : public ScratchFolderTest {
 protected:
  // The pack at its own pace (the real clock), so that a long job is still running when the
  // signal arrives; `Quick` runs the preparations and checks on the virtual clock.
  std::string Paced() const { return "--device sim:state=" + P("pack.json") + " "; }
  std::string Quick() const { return Device(); }
  std::string StateFile() const { return Read(P("pack.json")); }
};

// A progress bar with a step done, and one with anything on it.
constexpr const char* kRecordSent = R"(\b[1-9][0-9]*/2843)";
constexpr const char* kPagesRead = R"(\] +[1-9][0-9]*% )";
constexpr const char* kBarDrawn = R"(\] +[0-9]+% )";

TEST_F(SignalsCli, AStoppedUpdateSaysItWaitsInTheBootLoaderAndAnotherUpdateRecoversIt) {
  ASSERT_EQ(RunCli(Quick() + "fw export " + P("f.bin")).exit_code, 0);
  const Interrupted run = InterruptCli(Paced() + "fw update " + P("f.bin"), kRecordSent, SIGINT);
  EXPECT_EQ(run.exit_code, 130) << run.transcript;
  EXPECT_TRUE(std::regex_search(
      run.transcript, std::regex("The update was stopped after [1-9][0-9]* of 2843 records: the "
                                 "pack waits in its boot loader")))
      << run.transcript;
  EXPECT_TRUE(Has(run.transcript, "Run the update again to recover it.")) << run.transcript;
  EXPECT_FALSE(Has(run.transcript, "Update Successfully!"));
  // Saved on the way out: the next command finds the pack in its boot loader.
  EXPECT_TRUE(std::regex_search(StateFile(), std::regex(R"("mode": *"update")")));
  EXPECT_EQ(RunCli(Quick() + "read-word 09").exit_code, 1);

  const CliRun again = RunCli(Quick() + "fw update " + P("f.bin"));
  EXPECT_EQ(again.exit_code, 0) << again.err;
  EXPECT_EQ(again.out, "Update Successfully!\n");
  EXPECT_EQ(RunCli(Quick() + "read-word 09").exit_code, 0);
}

TEST_F(SignalsCli, StoppedReadsWriteNoFileAndLeaveThePackAsItWas) {
  struct Case {
    std::string command;
    std::string output;
    std::string started;
    int signal;
    int exit_code;
    std::string says;
  };
  const Case cases[] = {
      {"fw export", "e.bin", kPagesRead, SIGTERM, 143,
       "The export was stopped after [1-9][0-9]* of 2080 pages: no image was written, and the "
       "pack is unchanged"},
      {"df read-all -o", "r.afi", kBarDrawn, SIGTERM, 143,
       "Stopped while reading the data flash: the gauge is unchanged, and nothing was written."},
      {"df read-all -o", "r.afi", kBarDrawn, SIGINT, 130,
       "Stopped while reading the data flash: the gauge is unchanged, and nothing was written."},
      {"df read-all -o", "r.afi", kBarDrawn, SIGHUP, 129,
       "Stopped while reading the data flash: the gauge is unchanged, and nothing was written."},
  };
  for (const Case& c : cases) {
    const Interrupted run =
        InterruptCli(Paced() + c.command + " " + P(c.output), c.started, c.signal);
    EXPECT_EQ(run.exit_code, c.exit_code) << c.command << "\n" << run.transcript;
    EXPECT_TRUE(std::regex_search(run.transcript, std::regex(c.says))) << c.command << "\n"
                                                                       << run.transcript;
    EXPECT_FALSE(fs::exists(P(c.output))) << c.command;
  }
}

// The live commands run until Ctrl-C: a signal is their usual end, not a failure.
TEST_F(SignalsCli, LiveCommandsEndWithTheirOwnExitCodeOnASignal) {
  const std::pair<std::string, int> cases[] = {
      {"watch 09 --interval-ms 100", SIGINT},
      {"watch 09 --interval-ms 100", SIGTERM},
  };
  for (const auto& [command, signal] : cases) {
    const Interrupted run = InterruptCli(Paced() + command, R"(\n)", signal);
    EXPECT_EQ(run.exit_code, 0) << command << " " << signal << "\n" << run.transcript;
  }
}

// Ctrl-C is how a log is ended early, even in the middle of a minute's wait: no line is begun
// after it, the file keeps its header, and that end is no failure.
TEST_F(SignalsCli, AStoppedLogEndsAtOnceWithItsFileWhole) {
  const Interrupted run = InterruptCli(Paced() + "log " + P("x.LOG") + " --samples 3 --interval 60",
                                       R"(\b0/3 lines)", SIGINT);
  EXPECT_EQ(run.exit_code, 0) << run.transcript;
  EXPECT_TRUE(Has(run.transcript, "0 data lines written to " + P("x.LOG"))) << run.transcript;
  EXPECT_TRUE(Has(run.transcript, "Stopped before the 3 lines asked for")) << run.transcript;
  std::ifstream log(P("x.LOG"));
  std::string header;
  EXPECT_TRUE(std::getline(log, header) && header.starts_with("Cellwarden\t")) << header;
}

TEST_F(SignalsCli, StoppedWritesSayWhatTheDataFlashHolds) {
  ASSERT_EQ(RunCli(Quick() + "df read-all -o " + P("a.afi")).exit_code, 0);
  const CliRun before = RunCli(Quick() + "df get \"CUV Threshold\"");
  ASSERT_EQ(before.exit_code, 0);

  // Set reads everything before it writes its one value: a stop there writes nothing.
  const Interrupted set =
      InterruptCli(Paced() + "df set \"CUV Threshold\" 2700", kBarDrawn, SIGTERM);
  EXPECT_EQ(set.exit_code, 143) << set.transcript;
  EXPECT_TRUE(Has(set.transcript, "Stopped while reading the data flash")) << set.transcript;
  EXPECT_EQ(RunCli(Quick() + "df get \"CUV Threshold\"").out, before.out);

  // A load may be stopped while it reads or between the pages it writes; it says which.
  const Interrupted load = InterruptCli(Paced() + "df write " + P("a.afi"), kBarDrawn, SIGINT);
  EXPECT_EQ(load.exit_code, 130) << load.transcript;
  EXPECT_TRUE(std::regex_search(
      load.transcript,
      std::regex("Stopped (while reading the data flash|before the first page was written|after "
                 "[0-9]+ pages were written: the gauge's data flash is now partly written. Load "
                 "the file again)")))
      << load.transcript;
  EXPECT_FALSE(Has(load.transcript, "Load Process Suscess!"));
  EXPECT_EQ(RunCli(Quick() + "df write " + P("a.afi")).exit_code, 0) << "loading again restores it";
}

TEST_F(SignalsCli, ACommandWithoutSafePointsStillEndsAtOnce) {
  const Interrupted run = InterruptCli(Paced() + "df dump", kBarDrawn, SIGINT);
  EXPECT_EQ(run.killed_by, SIGINT) << run.transcript;
}

}  // namespace
}  // namespace cw::test
