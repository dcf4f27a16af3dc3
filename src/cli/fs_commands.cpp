#include "cli/fs_commands.h"

#include <fmt/format.h>

#include <chrono>
#include <memory>
#include <stop_token>
#include <string>

#include "cli/json_output.h"
#include "common/file_error.h"
#include "firmware/fs_player.h"
#include "firmware/fs_script_reader.h"
#include "sim/sim_pack.h"

namespace cw::cli {
namespace {

namespace fw = cw::firmware;

using Steady = std::chrono::steady_clock;

std::string Duration(common::Millis time) {
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(time).count();
  return fmt::format("{}:{:02}", seconds / 60, seconds % 60);
}

// The play's progress on the console bar: line n of N, elapsed and remaining on the link's
// clock. Redrawn at most ten times a second: an update script has thousands of lines.
class PlayProgressBar final : public common::ProgressSink {
 public:
  explicit PlayProgressBar(ConsoleProgressBar& bar) : bar_(bar) {}
  void Watch(const fw::FsPlayer& player) { player_ = &player; }

  void TaskProgress(common::TaskKind kind, int total, int done) override {
    if (kind != common::TaskKind::kFsScript || player_ == nullptr) return;
    const auto now = Steady::now();
    if (done > 0 && done < total && now - last_draw_ < std::chrono::milliseconds{100}) return;
    last_draw_ = now;
    const fw::FsPlayProgress progress = player_->Progress();
    const std::string remaining =
        progress.remaining ? Duration(*progress.remaining) : std::string("?");
    bar_.Draw(done, total,
              fmt::format("line {} of {}, {} elapsed, {} remaining", done, total,
                          Duration(progress.elapsed), remaining));
  }

 private:
  ConsoleProgressBar& bar_;
  const fw::FsPlayer* player_ = nullptr;
  Steady::time_point last_draw_{};
};

void PrintProblems(const std::string& path, const fw::FsCheckReport& report, std::FILE* out) {
  for (const fw::FsProblem& problem : report.problems) {
    if (problem.line > 0) {
      fmt::print(out, "{}\n", fmt::format("{}:{}: {}", path, problem.line, problem.text));
    } else {
      fmt::print(out, "{}\n", fmt::format("{}: {}", path, problem.text));
    }
  }
  if (report.more_problems > 0) {
    fmt::print(out, "{}\n",
               fmt::format("{}: {} more problem(s) not listed", path, report.more_problems));
  }
}

int Check(const CommandOutput& output, const std::string& path) {
  const fw::FsCheckReport report = fw::CheckFsScriptFile(path);
  if (report.file_error) {
    return output.Error(ErrorKind::kFile, common::DescribeFileError(*report.file_error),
                        kExitUsage);
  }
  output.Result(
      [&] {
        if (!report.clean()) {
          PrintProblems(path, report, stdout);
          return;
        }
        const json::FsStepCounts counts = json::CountFsSteps(report.script);
        fmt::print(
            "{}\n",
            fmt::format("{}: {} lines, {} writes, {} compares, {} waits: no problems", path,
                        report.script.line_count, counts.writes, counts.compares, counts.waits));
      },
      [&] { return json::FsCheck(path, report); });
  return report.clean() ? kExitSuccess : kExitFailed;
}

int Play(app::Workbench& bench, CommandContext& context, const std::string& path, bool dry_run) {
  if (dry_run) {
    const std::string& state = bench.sim_pack()->options().state_file;
    fmt::print(stderr, "{}\n",
               state.empty()
                   ? std::string("Dry run: playing on a fresh simulated pack, not on an adapter.")
                   : fmt::format("Dry run: playing on the simulated pack of {}, not on an adapter.",
                                 state));
  }
  context.messages().Hold();
  PlayProgressBar progress(context.progress().bar());
  fw::FsPlayer player(bench.link(), context.messages(), progress);
  progress.Watch(player);
  // Ctrl-C and SIGTERM stop the play between two lines, never inside a write.
  const common::OutcomeOf<fw::FsPlayReport> played = player.PlayFile(path, context.HonourStop());
  context.progress().bar().Finish();
  const fw::FsCheckReport& check = played.detail.check;
  if (!check.clean() && !check.file_error) PrintProblems(path, check, stderr);
  context.messages().Release(played.done());
  if (played.done()) return kExitSuccess;
  return check.file_error ? kExitUsage : kExitFailed;
}

}  // namespace

void AddFsCommands(CLI::App& app, CommandContext& context, int& exit_code) {
  auto* group = app.add_subcommand("fs", std::string("Check and play FS scripts (.fs)"));
  group->require_subcommand(1);

  auto* check = group->add_subcommand(
      "check",
      std::string(
          "Check a script line by line without touching a pack: exit 0 clean, 1 problems found"));
  auto check_path = std::make_shared<std::string>();
  check->add_option("FILE", *check_path, "the script (.fs)")->required();
  context.output().OfferJson(*check);
  check->callback(
      [check_path, &context, &exit_code] { exit_code = Check(context.output(), *check_path); });

  auto* play = group->add_subcommand(
      "play",
      std::string(
          "Check a script, then play it on the pack: writes, compares and waits, line by line"));
  auto play_path = std::make_shared<std::string>();
  auto dry_run = std::make_shared<bool>(false);
  play->add_option("FILE", *play_path, "the script (.fs)")->required();
  play->add_flag("--dry-run", *dry_run,
                 std::string("play on a simulated pack (the --sim-state file, else a fresh one), "
                             "never on an adapter"));
  play->callback([play_path, dry_run, &context, &exit_code] {
    app::Workbench* bench =
        *dry_run ? context.OpenSimulated(exit_code) : context.OpenWorkbench(exit_code);
    if (!bench) return;
    exit_code = Play(*bench, context, *play_path, *dry_run);
  });
}

}  // namespace cw::cli
