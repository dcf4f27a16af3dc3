// Several processes on one simulated pack's state file: one at a time, and nothing lost.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "cli_runner.h"

extern char** environ;

namespace cw::test {
namespace {

namespace fs = std::filesystem;

std::string FileText(const fs::path& path) {
  std::ifstream file(path);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

// A cellwarden-cli process started in the background; Finish waits for it.
class BackgroundCli {
 public:
  BackgroundCli(const std::string& arguments, const fs::path& output_stem)
      : out_(output_stem.string() + ".out"), err_(output_stem.string() + ".err") {
    const std::string command = std::string(CELLWARDEN_CLI) + " " + arguments + " >" +
                                out_.string() + " 2>" + err_.string();
    const char* argv[] = {"sh", "-c", command.c_str(), nullptr};
    if (::posix_spawn(&pid_, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv), environ) != 0)
      pid_ = -1;
  }

  CliRun Finish() {
    CliRun run;
    int status = 0;
    if (pid_ > 0 && ::waitpid(pid_, &status, 0) == pid_ && WIFEXITED(status)) {
      run.exit_code = WEXITSTATUS(status);
    }
    run.out = FileText(out_);
    run.err = FileText(err_);
    return run;
  }

 private:
  fs::path out_;
  fs::path err_;
  pid_t pid_ = -1;
};

class StateLockCliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("cw_state_lock_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Device() const { return "--device sim:clock=virtual:state=" + State() + " "; }
  std::string State() const { return (dir_ / "pack.json").string(); }
  std::string Get(const std::string& name) const {
    return RunCli(Device() + "df get '" + name + "'").out;
  }

  fs::path dir_;
};

TEST_F(StateLockCliTest, TwoCommandsAtOnceNeverLoseAnUpdate) {
  ASSERT_EQ(Get("CUV Threshold"), "2500\n");
  ASSERT_EQ(Get("CUV Time"), "2\n");
  for (int round = 0; round < 3; ++round) {
    const std::string threshold = std::to_string(2600 + round);
    const std::string time = std::to_string(5 + round);
    BackgroundCli first(Device() + "df set 'CUV Threshold' " + threshold, dir_ / "first");
    BackgroundCli second(Device() + "df set 'CUV Time' " + time, dir_ / "second");
    const CliRun runs[] = {first.Finish(), second.Finish()};
    for (const CliRun& run : runs) {
      EXPECT_TRUE(run.exit_code == 0 ||
                  (run.exit_code == 1 && run.err.find("is in use by") != std::string::npos))
          << run.exit_code << "\n"
          << run.err;
    }
    if (runs[0].exit_code == 0) {
      EXPECT_EQ(Get("CUV Threshold"), threshold + "\n") << round;
    }
    if (runs[1].exit_code == 0) {
      EXPECT_EQ(Get("CUV Time"), time + "\n") << round;
    }
  }
  EXPECT_FALSE(fs::exists(State() + ".lock")) << "the last one out takes its lock file along";
}

// The lock file beside the state file is what a user's own script can hold too (flock(1)).
TEST_F(StateLockCliTest, AHeldStateFileIsWaitedForThenRefusedNamingItsHolder) {
  ASSERT_EQ(Get("CUV Time"), "2\n");
  const std::string before = FileText(State());
  const int holder = ::open((State() + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(::flock(holder, LOCK_EX), 0);
  const std::string pid = std::to_string(::getpid());
  ASSERT_EQ(::write(holder, pid.data(), pid.size()), static_cast<ssize_t>(pid.size()));

  const CliRun refused = RunCli(Device() + "df set 'CUV Time' 7");
  EXPECT_EQ(refused.exit_code, 1);
  EXPECT_NE(refused.err.find("The pack state file " + State() + " is in use by process " + pid),
            std::string::npos)
      << refused.err;
  EXPECT_NE(refused.err.find("10 s"), std::string::npos) << refused.err;
  EXPECT_TRUE(FileText(State()) == before) << "nothing read, nothing written";

  // Let go while the next one waits: it carries on.
  BackgroundCli waiting(Device() + "df set 'CUV Time' 7", dir_ / "waiting");
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  ::close(holder);
  const CliRun done = waiting.Finish();
  EXPECT_EQ(done.exit_code, 0) << done.err;
  EXPECT_EQ(Get("CUV Time"), "7\n");
}

}  // namespace
}  // namespace cw::test
