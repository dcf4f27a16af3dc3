#include "cli/firmware_commands.h"

#include <fmt/format.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string>
#include <vector>

#include "common/file_error.h"
#include "common/file_output.h"
#include "firmware/converters.h"
#include "firmware/export_job.h"
#include "firmware/file_io.h"
#include "firmware/firmware_image.h"
#include "firmware/firmware_tool.h"
#include "firmware/messages.h"
#include "firmware/update_job.h"

namespace cw::cli {
namespace {

namespace fw = cw::firmware;

// Draws the firmware tool's progress as the console bar while a job runs, and prints each new
// status text of the update (a restart, the reason it stopped) on a line of its own.
common::Subscription DrawProgress(fw::FirmwareTool& tool, ConsoleProgressBar& bar) {
  return tool.changes().Subscribe(
      [&tool, &bar, shown = std::string()](fw::FirmwareJob change) mutable {
        if (change == fw::FirmwareJob::kExport) {
          const fw::ExportView view = tool.export_job().View();
          if (view.bar_visible) bar.Draw(view.bar, 100, "");
          return;
        }
        const fw::UpdateView view = tool.update().View();
        if (view.busy && !view.status_text.empty() && view.status_text != shown) {
          shown = view.status_text;
          bar.Finish();
          fmt::print(stderr, "{}\n", shown);
        }
        if (view.bar_visible) bar.Draw(view.bar, 100, view.counter_text);
      });
}

// A raw memory image of exactly `size` bytes, or all zeros without a file.
template <std::size_t N>
bool ReadRawImage(const std::string& path, std::array<std::uint8_t, N>& image,
                  std::string_view size_message) {
  if (path.empty()) return true;
  const auto bytes = fw::ReadImageFile(path);
  if (!bytes) {
    fmt::print(stderr, "{}\n", common::DescribeFileError(bytes.error()));
    return false;
  }
  if (bytes->size() != N) {
    fmt::print(stderr, "{}\n", fmt::format(fmt::runtime(size_message), path));
    return false;
  }
  std::copy(bytes->begin(), bytes->end(), image.begin());
  return true;
}

bool WriteOrSay(const std::string& path, common::ByteView bytes) {
  const auto written = common::WriteFileAtomically(path, bytes);
  if (written) return true;
  fmt::print(stderr, "{}\n", common::DescribeFileError(written.error()));
  return false;
}

void AddImageCommands(CLI::App& app, CommandContext& context, int& exit_code) {
  auto* image = app.add_subcommand("image", "Build and take apart firmware images (.bin)");
  image->require_subcommand(1);

  auto* build = image->add_subcommand("build", "Build a scrambled image from raw memory images");
  auto code_path = std::make_shared<std::string>();
  auto data_path = std::make_shared<std::string>();
  auto out_path = std::make_shared<std::string>();
  build->add_option("--code", *code_path, "raw 65536-byte code image (default: zeros)");
  build->add_option("--data", *data_path, "raw 1024-byte data-area image (default: zeros)");
  build->add_option("-o,--output", *out_path, "the image to write")->required();
  build->callback([=, &context, &exit_code] {
    app::Workbench* bench = context.OpenOffline(exit_code);
    if (!bench) return;
    auto images = std::make_unique<fw::ExtractedImages>();
    if (!ReadRawImage(*code_path, images->code, fw::messages::kCodeImageSize) ||
        !ReadRawImage(*data_path, images->data, fw::messages::kDataImageSize)) {
      exit_code = kExitFailed;
      return;
    }
    const auto stream = fw::BuildFirmwareImage(images->code, images->data, bench->constants());
    exit_code = WriteOrSay(*out_path, stream) ? kExitSuccess : kExitFailed;
    if (exit_code == kExitSuccess) fmt::print("{}\n", *out_path);
  });

  auto* extract = image->add_subcommand("extract", "Write the raw memory images of an image");
  auto in_path = std::make_shared<std::string>();
  auto code_out = std::make_shared<std::string>();
  auto data_out = std::make_shared<std::string>();
  extract->add_option("IN", *in_path, "the image (.bin)")->required();
  extract->add_option("--code", *code_out, "where to write the 65536-byte code image");
  extract->add_option("--data", *data_out, "where to write the 1024-byte data-area image");
  extract->callback([=, &context, &exit_code] {
    app::Workbench* bench = context.OpenOffline(exit_code);
    if (!bench) return;
    const auto bytes =
        fw::ReadImageForConvert(*in_path, bench->constants().record_mask, context.messages());
    if (!bytes) {
      exit_code = kExitFailed;
      return;
    }
    const auto images = fw::ExtractImages(*bytes, bench->constants().record_mask);
    const bool ok = (code_out->empty() || WriteOrSay(*code_out, images->code)) &&
                    (data_out->empty() || WriteOrSay(*data_out, images->data));
    exit_code = ok ? kExitSuccess : kExitFailed;
  });
}

void AddConvertCommands(CLI::App& app, CommandContext& context, int& exit_code) {
  auto* convert = app.add_subcommand("convert", "Production files: FS scripts and merged images");
  convert->require_subcommand(1);

  // Runs one conversion with the messages held, so that its success message is the command's
  // result on stdout.
  auto run = [&context, &exit_code](auto&& body) {
    app::Workbench* bench = context.OpenOffline(exit_code);
    if (!bench) return;
    context.messages().Hold();
    const common::Outcome outcome = body(*bench);
    context.messages().Release(outcome.done());
    exit_code = outcome ? kExitSuccess : kExitFailed;
  };
  // A script of the Convert FS File window: the paths typed into `group`, then Convert.
  auto script = [run](fw::ScriptGroup group, std::string afi, std::string bin) {
    run([&](app::Workbench& bench) {
      fw::FsConverter& converter = bench.OpenFsConverter();
      if (!afi.empty()) converter.SetAfi(group, afi);
      if (!bin.empty()) {
        if (common::Outcome chosen = converter.ChooseBin(group, bin); !chosen) return chosen;
      }
      return converter.Convert(group);
    });
  };

  auto* afi_fs = convert->add_subcommand("afi-fs", "Script that writes an .afi into a pack");
  auto afi_only = std::make_shared<std::string>();
  afi_fs->add_option("AFI", *afi_only, "the .afi file")->required();
  afi_fs->callback([=] { script(fw::ScriptGroup::kAfi, *afi_only, ""); });

  auto* bin_fs = convert->add_subcommand("bin-fs", "Script that updates a pack's firmware");
  auto bin_only = std::make_shared<std::string>();
  bin_fs->add_option("BIN", *bin_only, "the image (.bin)")->required();
  bin_fs->callback([=] { script(fw::ScriptGroup::kBin, "", *bin_only); });

  auto* merge_fs =
      convert->add_subcommand("merge-fs", "Update script of an image with .afi constants");
  auto merge_afi = std::make_shared<std::string>();
  auto merge_bin = std::make_shared<std::string>();
  merge_fs->add_option("AFI", *merge_afi, "the .afi file")->required();
  merge_fs->add_option("BIN", *merge_bin, "the image (.bin)")->required();
  merge_fs->callback([=] { script(fw::ScriptGroup::kMerged, *merge_afi, *merge_bin); });

  auto* merge_bin_cmd = convert->add_subcommand("merge-bin", "New image carrying .afi constants");
  auto new_afi = std::make_shared<std::string>();
  auto new_bin = std::make_shared<std::string>();
  merge_bin_cmd->add_option("AFI", *new_afi, "the .afi file")->required();
  merge_bin_cmd->add_option("BIN", *new_bin, "the image (.bin)")->required();
  merge_bin_cmd->callback([=] {
    run([&](app::Workbench& bench) {
      fw::BinConverter& converter = bench.OpenBinConverter();
      converter.SetAfi(*new_afi);
      common::Outcome outcome = converter.ChooseBin(*new_bin);
      if (outcome) outcome = converter.Convert();
      bench.CloseBinConverter();
      return outcome;
    });
  });
}

// Runs one job of the firmware tool to its end, its progress on the console: `start` starts it
// (or says why not), `ended` reads the job's view once it has ended. Ctrl-C or SIGTERM closes the
// tool, which stops the job at its next record or page; what that left is said, and
// `not_started` when the close came before the job did.
void RunFirmwareJob(CommandContext& context, int& exit_code,
                    const std::function<common::Outcome(fw::FirmwareTool&)>& start,
                    const std::function<fw::JobView(fw::FirmwareTool&)>& ended,
                    std::string_view not_started) {
  app::Workbench* bench = context.OpenWorkbench(exit_code);
  if (!bench) return;
  context.messages().Hold();
  fw::FirmwareTool& tool = bench->OpenFirmwareTool();
  std::optional<common::Outcome> outcome;
  std::vector<std::string> stop_notes;
  const std::stop_token stop = context.HonourStop();
  {
    const std::stop_callback on_stop(stop, [&tool] { tool.RequestClose(); });
    const common::Subscription progress = DrawProgress(tool, context.progress().bar());
    if (common::Outcome started = start(tool); !started) {
      outcome = started;
    } else {
      tool.WaitUntilIdle();
      fw::JobView view = ended(tool);
      outcome = std::move(view.outcome);
      stop_notes = std::move(view.stop_notes);
    }
  }
  bench->CloseFirmwareTool();
  // A close before the start is a start ignored without a word.
  if (stop.stop_requested() && stop_notes.empty() && outcome && outcome->messages.empty()) {
    stop_notes.emplace_back(not_started);
  }
  const bool ok = outcome && outcome->done();
  context.messages().Release(ok);
  context.progress().bar().Finish();
  for (const std::string& note : stop_notes) fmt::print(stderr, "{}\n", note);
  exit_code = ok ? kExitSuccess : kExitFailed;
}

void AddFwCommands(CLI::App& app, CommandContext& context, int& exit_code) {
  auto* fw_group = app.add_subcommand("fw", "Update and export the gauge's firmware");
  fw_group->require_subcommand(1);

  auto* update = fw_group->add_subcommand("update", "Program the gauge with an image");
  auto update_path = std::make_shared<std::string>();
  update->add_option("BIN", *update_path, "the image (.bin)")->required();
  update->callback([=, &context, &exit_code] {
    RunFirmwareJob(
        context, exit_code,
        [&](fw::FirmwareTool& tool) {
          common::Outcome loaded = tool.Load(*update_path);
          return loaded ? tool.update().Start() : loaded;
        },
        [](fw::FirmwareTool& tool) -> fw::JobView { return tool.update().View(); },
        fw::messages::kUpdateStoppedBeforeStart);
  });

  auto* export_cmd = fw_group->add_subcommand("export", "Read the gauge's firmware into an image");
  auto export_path = std::make_shared<std::string>();
  export_cmd->add_option("OUT", *export_path, "the image to write (.bin)")->required();
  export_cmd->callback([=, &context, &exit_code] {
    RunFirmwareJob(
        context, exit_code,
        [&](fw::FirmwareTool& tool) {
          tool.export_job().Set(*export_path);
          return tool.export_job().Export();
        },
        [](fw::FirmwareTool& tool) -> fw::JobView { return tool.export_job().View(); },
        fw::messages::kExportNotStarted);
  });
}

}  // namespace

void AddFirmwareCommands(CLI::App& app, CommandContext& context, int& exit_code) {
  AddImageCommands(app, context, exit_code);
  AddConvertCommands(app, context, exit_code);
  AddFwCommands(app, context, exit_code);
}

}  // namespace cw::cli
