// Playing FS scripts on a device whose answers the test writes: the bytes on the bus, the
// bounded re-reads of a busy gauge, where a play stops and what it says then.
#include "firmware/fs_player.h"

#include <fmt/format.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "firmware/messages.h"
#include "fs_script_lines.h"
#include "link/pec.h"
#include "support/link_fixture.h"

namespace cw::firmware {
namespace {

using common::Bytes;
using common::Millis;
using fs_lines::C;
using fs_lines::HexBytes;
using fs_lines::W;
using test::Adapters;

constexpr std::uint16_t kReady = 0x0180;
constexpr std::uint16_t kBusy = 0x0181;

// The gauge's reply to a read of `count` bytes: `data`, then its PEC.
Bytes Reply(std::uint8_t command, std::string_view data, std::size_t count) {
  Bytes reply = HexBytes(data);
  Bytes covered = {0x16, command, 0x17};
  covered.insert(covered.end(), reply.begin(), reply.end());
  reply.push_back(link::Pec(covered));
  reply.resize(count, 0xFF);
  return reply;
}

// Asks the play to stop once the line `after` is done.
class StopAfterLine final : public common::ProgressSink {
 public:
  StopAfterLine(std::stop_source& stop, int after) : stop_(stop), after_(after) {}
  void TaskProgress(common::TaskKind, int, int done) override {
    if (done == after_) stop_.request_stop();
  }

 private:
  std::stop_source& stop_;
  int after_;
};

class FsPlayerTest : public ::testing::TestWithParam<Adapters> {
 protected:
  void SetUp() override {
    fx = std::make_unique<test::LinkFixture>(GetParam());
    ASSERT_TRUE(fx->link->EnsureConnected());
    fx->pack->ReplaceTarget(&target);
    fx->TakeWaits();
  }
  void TearDown() override { fx->pack->ReplaceTarget(nullptr); }

  common::OutcomeOf<FsPlayReport> Play(const std::string& text, common::ProgressSink& sink,
                                       std::stop_token stop = {}) {
    const FsCheckReport check = fs_lines::Check(text);
    EXPECT_TRUE(check.clean()) << check.problems.front().text;
    FsPlayer player(*fx->link, fx->messages, sink);
    return player.Play(check.script, stop);
  }
  common::OutcomeOf<FsPlayReport> Play(const std::string& text) { return Play(text, progress); }

  // A boot loader that is busy for `busy_for` after every write (forever when negative).
  void BusyAfterWrites(Millis busy_for) {
    target.on_write = [this, busy_for](common::ByteView) {
      ready_at = busy_for.count() < 0 ? Millis::max() : fx->clock.Now() + busy_for;
      return true;
    };
    target.on_read = [this](std::uint8_t command, std::size_t count) -> std::optional<Bytes> {
      last_read_at = fx->clock.Now();
      const std::uint16_t status = fx->clock.Now() >= ready_at ? kReady : kBusy;
      return Reply(command, fmt::format("{:02X} {:02X}", status & 0xFF, status >> 8), count);
    };
  }

  test::ScriptedTarget target;
  std::unique_ptr<test::LinkFixture> fx;
  test::RecordingProgressSink progress;
  Millis ready_at{0};
  Millis last_read_at{0};
};

TEST_P(FsPlayerTest, EveryLineGoesOnTheBusAsItIsWritten) {
  const std::vector<std::string> writes = {W("77 22 00"), W("78 03 01 02 03"), W("22 01 02 03"),
                                           W("48 01 7F")};
  std::string script;
  for (const std::string& line : writes) script += line + "\n";
  script += "X: 7\n" + C("78 03 01 02 03") + "\n" + C("0D 41 00") + "\n";
  std::vector<std::pair<std::uint8_t, std::size_t>> reads;
  target.on_read = [&](std::uint8_t command, std::size_t count) -> std::optional<Bytes> {
    reads.emplace_back(command, count);
    return Reply(command, command == 0x78 ? "03 01 02 03" : "41 00", count);
  };
  const auto played = Play(script);
  ASSERT_TRUE(played.done()) << played.messages.front().text;
  EXPECT_TRUE(played.gauge_changed);
  std::vector<Bytes> expected;
  for (const std::string& line : writes) expected.push_back(HexBytes(line.substr(3)));
  EXPECT_EQ(target.writes, expected);
  EXPECT_EQ(reads, (std::vector<std::pair<std::uint8_t, std::size_t>>{{0x78, 5}, {0x0D, 3}}));
  EXPECT_EQ(played.messages.back().text, fmt::format(fmt::runtime(messages::kFsPlayDone), 7, 4, 2));
  EXPECT_EQ(played.detail.last_line_done, 7);
  const auto waits = fx->TakeWaits();
  EXPECT_EQ(std::count(waits.begin(), waits.end(), Millis{7}), 1);
}

TEST_P(FsPlayerTest, ACompareAfterAWriteIsReadAgainUntilTheGaugeIsReady) {
  // Busy for a time on the clock after each write.
  BusyAfterWrites(Millis{120});
  const auto played =
      Play(W("47 00 F1") + "\n" + C("47 80 01") + "\n" + W("48 01 7F") + "\n" + C("47 80 01"));
  ASSERT_TRUE(played.done()) << played.messages.front().text;
  EXPECT_GT(target.reads, 4);
  EXPECT_GE(last_read_at, ready_at);
  EXPECT_LT(last_read_at, ready_at + Millis{40}) << "read again soon after it became ready";
  const auto waits = fx->TakeWaits();
  EXPECT_GT(std::count(waits.begin(), waits.end(), kFsBusyCompareInterval), 4);
}

TEST_P(FsPlayerTest, AGaugeBusyBeyondTheBoundFailsTheCompareWithTheBytesRead) {
  BusyAfterWrites(Millis{-1});
  const Millis start = fx->clock.Now();
  const auto played = Play(";enter\n" + W("47 00 F1") + "\n" + C("47 80 01") + "\nX: 5\n");
  EXPECT_FALSE(played.done());
  const FsPlayReport& report = played.detail;
  EXPECT_EQ(report.end, FsPlayEnd::kMismatch);
  EXPECT_EQ(report.stopped_at, 3);
  EXPECT_EQ(report.last_line_done, 2);
  EXPECT_EQ(report.expected, HexBytes("80 01 85"));
  EXPECT_EQ(report.read, Reply(0x47, "81 01", 3));
  // The write before the compare takes a few milliseconds of its own.
  EXPECT_GE(fx->clock.Now() - start, kFsBusyCompareBound);
  EXPECT_LT(fx->clock.Now() - start, kFsBusyCompareBound + Millis{100});
  ASSERT_EQ(played.messages.size(), 2u);
  EXPECT_EQ(played.messages[0].text,
            fmt::format(fmt::runtime(messages::kFsPlayStillDiffers), 3, 0x47,
                        common::ToHex(report.read), 500, "80 01 85", messages::kFsDataDiffer));
  EXPECT_EQ(played.messages[1].text, fmt::format(fmt::runtime(messages::kFsPartlyWritten), 2, 3));
}

TEST_P(FsPlayerTest, ACompareAfterAWaitIsReadOnceAndSaysWhatDiffers) {
  const std::string expected = "03 01 02 03";
  const std::vector<std::pair<std::string, std::string_view>> table = {
      {"03 01 02 04", messages::kFsDataDiffer},
      {"02 01 02 03", messages::kFsCountDiffers},
      {"", messages::kFsPecDiffers},
  };
  for (const auto& [read, difference] : table) {
    target.reads = 0;
    target.on_read = [&](std::uint8_t command, std::size_t count) -> std::optional<Bytes> {
      Bytes reply = Reply(command, read.empty() ? expected : read, count);
      if (read.empty()) reply[4] ^= 0x01;
      return reply;
    };
    const auto played = Play(W("77 22 00") + "\nX: 2\n" + C("78 " + expected) + "\n");
    EXPECT_EQ(played.detail.end, FsPlayEnd::kMismatch) << read;
    EXPECT_EQ(target.reads, 1) << read;
    ASSERT_FALSE(played.messages.empty());
    EXPECT_EQ(played.messages[0].text,
              fmt::format(fmt::runtime(messages::kFsPlayMismatch), 3, 0x78,
                          common::ToHex(played.detail.read), common::ToHex(played.detail.expected),
                          difference));
  }
}

TEST_P(FsPlayerTest, ARefusedWriteStopsThePlayAtItsLine) {
  target.on_write = [](common::ByteView bytes) { return bytes[0] != 0x79; };
  const std::string refused = W("79 01 05");
  const auto played = Play(W("77 22 00") + "\n" + refused + "\n" + W("7A 01 06") + "\n");
  EXPECT_EQ(played.detail.end, FsPlayEnd::kWriteFailed);
  EXPECT_EQ(played.detail.stopped_at, 2);
  EXPECT_EQ(target.writes.back(), HexBytes(refused.substr(3))) << "line 3 is never written";
  EXPECT_EQ(played.messages[0].text,
            fmt::format(fmt::runtime(messages::kFsPlayWriteFailed), 2, 0x79,
                        link::LinkStatusText(fx->link->link_status()), refused));

  target.writes.clear();
  const auto first = Play(refused + "\n" + W("77 22 00") + "\n");
  EXPECT_EQ(first.detail.stopped_at, 1);
  EXPECT_FALSE(first.gauge_changed);
  EXPECT_EQ(first.messages.back().text, messages::kFsNothingWritten);
}

TEST_P(FsPlayerTest, AStopRequestEndsThePlayBetweenLines) {
  std::stop_source stop;
  StopAfterLine stop_after_two(stop, 2);
  const auto played = Play(W("77 22 00") + "\n" + W("77 23 00") + "\n" + W("77 24 00") + "\n",
                           stop_after_two, stop.get_token());
  EXPECT_EQ(played.detail.end, FsPlayEnd::kStopped);
  EXPECT_EQ(target.writes.size(), 2u);
  EXPECT_EQ(played.messages[0].text, fmt::format(fmt::runtime(messages::kFsPlayStopped), 3));
  EXPECT_EQ(played.messages[1].text, fmt::format(fmt::runtime(messages::kFsPartlyWritten), 2, 3));
}

TEST_P(FsPlayerTest, AScriptWithAProblemIsRefusedBeforeTheBusIsTouched) {
  // Both adapters' cases may run at once, each in a process of its own.
  const auto path = std::filesystem::temp_directory_path() /
                    fmt::format("cw_fs_player_refused_{}.fs", ::getpid());
  std::ofstream(path) << W("77 22 00") << "\nX: -1\n";
  fx->TakeEvents();
  FsPlayer player(*fx->link, fx->messages, progress);
  const auto played = player.PlayFile(path);
  std::filesystem::remove(path);
  EXPECT_EQ(played.verdict, common::Verdict::kRefused);
  EXPECT_EQ(played.detail.check.problem_count(), 1u);
  EXPECT_TRUE(fx->TakeEvents().empty());
  EXPECT_TRUE(target.writes.empty());
  EXPECT_EQ(played.messages.front().text, fmt::format(fmt::runtime(messages::kFsPlayRefused), 1, 2,
                                                      played.detail.check.problems.front().text));
}

TEST_P(FsPlayerTest, ProgressRunsFromTheFirstToTheLastLineWithAnEstimate) {
  target.on_read = [](std::uint8_t command, std::size_t count) -> std::optional<Bytes> {
    return Reply(command, "41 00", count);
  };
  FsPlayer player(*fx->link, fx->messages, progress);
  const auto check = fs_lines::Check(";a\n" + W("77 22 00") + "\nX: 300\n" + C("0D 41 00") + "\n");
  const Millis start = fx->clock.Now();
  ASSERT_TRUE(player.Play(check.script).done());
  const auto reports = progress.Take(common::TaskKind::kFsScript);
  ASSERT_GE(reports.size(), 3u);
  EXPECT_EQ(reports.front(), (test::ProgressReport{4, 0}));
  EXPECT_EQ(reports[1], (test::ProgressReport{4, 2}));
  EXPECT_EQ(reports.back(), (test::ProgressReport{4, 4}));
  const FsPlayProgress last = player.Progress();
  EXPECT_EQ(last.line, 4);
  EXPECT_EQ(last.elapsed, fx->clock.Now() - start);
  EXPECT_EQ(last.remaining, Millis{0});
}

INSTANTIATE_TEST_SUITE_P(BothAdapters, FsPlayerTest,
                         ::testing::Values(Adapters::kHid, Adapters::kBulk));

}  // namespace
}  // namespace cw::firmware
