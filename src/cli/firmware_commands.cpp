#include "cli/firmware_commands.h"

#include <fmt/format.h>

#include <algorithm>
#include <memory>
#include <stop_token>
#include <string>

#include "common/file_error.h"
#include "common/file_output.h"
#include "firmware/converters.h"
#include "firmware/file_io.h"
#include "firmware/firmware_image.h"
#include "firmware/gauge_export.h"
#include "firmware/gauge_update.h"
#include "firmware/image_check.h"
#include "firmware/job_run.h"
#include "firmware/messages.h"

namespace cw::cli {
namespace {

namespace fw = cw::firmware;

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
        !ReadRawImage(*data_path, images->data, "The data-area image must be 1024 bytes: {}")) {
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

// Ends a firmware job on the console: the messages held since its start (its result on stdout
// when it was done), then what a stopped job left in the pack.
void EndJob(CommandContext& context, int& exit_code, const fw::JobRun& run, bool gauge_changed) {
  const bool stopped = run.end == fw::JobRun::End::kAbandoned;
  const bool ok = !stopped && fw::ShowJobEnd(run, gauge_changed, context.messages()).done();
  context.messages().Release(ok);
  context.progress().bar().Finish();
  if (stopped) {
    for (const std::string& note : run.notes) fmt::print(stderr, "{}\n", note);
  }
  exit_code = ok ? kExitSuccess : kExitFailed;
}

// The update on this thread, its bar on the console and each new status text (a restart, the
// reason it failed) on a line of its own. Ctrl-C, SIGTERM or SIGHUP stops it at its next record.
void UpdateFirmware(CommandContext& context, int& exit_code, const std::string& path) {
  app::Workbench* bench = context.OpenWorkbench(exit_code);
  if (!bench) return;
  context.messages().Hold();
  const std::stop_token stop = context.HonourStop();
  const auto image = fw::ReadUpdateImage(path, bench->constants().record_mask, context.messages());
  if (!image) return EndJob(context, exit_code, {}, false);  // refused, with its messages
  ConsoleProgressBar& console = context.progress().bar();
  fw::UpdateBar bar;
  std::string shown;
  const auto updated = fw::UpdateGauge(bench->link(), *image, bench->constants(), stop,
                                       [&](const fw::UpdateStep& step) {
                                         if (!step.status.empty() && step.status != shown) {
                                           shown = step.status;
                                           console.Finish();
                                           fmt::print(stderr, "{}\n", shown);
                                         }
                                         bar.Take(step);
                                         console.Draw(bar.percent, 100, bar.counter);
                                       });
  EndJob(context, exit_code, fw::UpdateRun(updated), true);
}

// The export on this thread, its pages on the console bar; a signal stops it at its next page.
void ExportFirmware(CommandContext& context, int& exit_code, const std::string& path) {
  app::Workbench* bench = context.OpenWorkbench(exit_code);
  if (!bench) return;
  context.messages().Hold();
  const std::stop_token stop = context.HonourStop();
  if (const auto checked = fw::CheckExport(bench->link(), path); !checked) {
    return EndJob(context, exit_code, {fw::JobRun::End::kFailure, {}, {checked.error().message}},
                  false);
  }
  ConsoleProgressBar& console = context.progress().bar();
  const auto exported =
      fw::ExportGauge(bench->link(), bench->constants(), path, stop,
                      [&](int pages) { console.Draw(pages * 100 / fw::kExportPages, 100, ""); });
  EndJob(context, exit_code, fw::ExportRun(exported), false);
}

void AddFwCommands(CLI::App& app, CommandContext& context, int& exit_code) {
  auto* fw_group = app.add_subcommand("fw", "Update and export the gauge's firmware");
  fw_group->require_subcommand(1);

  auto* update = fw_group->add_subcommand("update", "Program the gauge with an image");
  auto update_path = std::make_shared<std::string>();
  update->add_option("BIN", *update_path, "the image (.bin)")->required();
  update->callback([=, &context, &exit_code] { UpdateFirmware(context, exit_code, *update_path); });

  auto* export_cmd = fw_group->add_subcommand("export", "Read the gauge's firmware into an image");
  auto export_path = std::make_shared<std::string>();
  export_cmd->add_option("OUT", *export_path, "the image to write (.bin)")->required();
  export_cmd->callback(
      [=, &context, &exit_code] { ExportFirmware(context, exit_code, *export_path); });
}

}  // namespace

void AddFirmwareCommands(CLI::App& app, CommandContext& context, int& exit_code) {
  AddImageCommands(app, context, exit_code);
  AddConvertCommands(app, context, exit_code);
  AddFwCommands(app, context, exit_code);
}

}  // namespace cw::cli
