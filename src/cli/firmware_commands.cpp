#include "cli/firmware_commands.h"

#include <fmt/format.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "firmware/converters.h"
#include "firmware/file_io.h"
#include "firmware/firmware_image.h"
#include "firmware/firmware_window.h"
#include "firmware/messages.h"

namespace cw::cli {
namespace {

namespace fw = cw::firmware;

// Keeps the tool's messages so that a success text goes to stdout and anything else to stderr.
class OutcomeSink final : public common::MessageSink {
 public:
  void Show(std::string_view text, std::string_view, common::MessageIcon) override {
    std::lock_guard lock(mutex_);
    texts_.emplace_back(text);
  }
  // Prints every message; the ones equal to `success` go to stdout when the job succeeded.
  void Print(bool succeeded) {
    std::lock_guard lock(mutex_);
    for (const std::string& text : texts_) fmt::print(succeeded ? stdout : stderr, "{}\n", text);
    texts_.clear();
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> texts_;
};

// The firmware window's host in a terminal: the console bar while a job runs, nothing else to
// lock (the command line has no scan worker and no main window).
class ConsoleFirmwareHost final : public fw::FirmwareWindowHost {
 public:
  explicit ConsoleFirmwareHost(ConsoleProgressBar& bar) : bar_(bar) {}
  // Ends the bar's line so that the messages after it start on their own.
  void Finish() { bar_.Finish(); }
  void Attach(fw::FirmwareWindow& window) { window_ = &window; }
  void SuspendScan() override {}
  void ResumeScan() override {}
  void LockMainUi() override {}
  void UnlockMainUi() override {}
  void UpdateProgressChanged() override {
    if (!window_) return;
    const auto view = window_->View();
    bar_.Draw(view.update_bar, 100, view.counter_text);
  }
  void ExportProgressChanged() override {
    if (window_) bar_.Draw(window_->View().export_bar, 100, "");
  }

 private:
  ConsoleProgressBar& bar_;
  fw::FirmwareWindow* window_ = nullptr;
};

// A raw memory image of exactly `size` bytes, or all zeros without a file.
template <std::size_t N>
bool ReadRawImage(const std::string& path, std::array<std::uint8_t, N>& image,
                  std::string_view size_message) {
  if (path.empty()) return true;
  const auto bytes = fw::ReadWholeFile(path);
  if (!bytes) {
    fmt::print(stderr, "{}\n", fmt::format(fmt::runtime(fw::messages::kCannotReadFile), path));
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
  if (fw::WriteWholeFile(path, bytes)) return true;
  fmt::print(stderr, "{}\n", fmt::format(fmt::runtime(fw::messages::kCannotCreateFile), path));
  return false;
}

void AddImageCommands(CLI::App& app, int& exit_code) {
  auto* image = app.add_subcommand("image", "Build and take apart firmware images (.bin)");
  image->require_subcommand(1);

  auto* build = image->add_subcommand("build", "Build a scrambled image from raw memory images");
  auto code_path = std::make_shared<std::string>();
  auto data_path = std::make_shared<std::string>();
  auto out_path = std::make_shared<std::string>();
  build->add_option("--code", *code_path, "raw 65536-byte code image (default: zeros)");
  build->add_option("--data", *data_path, "raw 1024-byte data-area image (default: zeros)");
  build->add_option("-o,--output", *out_path, "the image to write")->required();
  build->callback([=, &exit_code] {
    auto images = std::make_unique<fw::ExtractedImages>();
    if (!ReadRawImage(*code_path, images->code, fw::messages::kCodeImageSize) ||
        !ReadRawImage(*data_path, images->data, fw::messages::kDataImageSize)) {
      exit_code = kExitFailed;
      return;
    }
    const auto stream =
        fw::BuildFirmwareImage(images->code, images->data, common::ProductConstants{});
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
  extract->callback([=, &exit_code] {
    OutcomeSink sink;
    if (!fw::AcceptChosenBin(*in_path, sink)) {
      sink.Print(false);
      exit_code = kExitFailed;
      return;
    }
    const auto bytes = fw::ReadWholeFile(*in_path);
    if (!bytes || !fw::BinSizeWholeRecords(bytes->size())) {
      fmt::print(stderr, "{}\n", fw::messages::kBinFileSizeError);
      exit_code = kExitFailed;
      return;
    }
    const auto images = fw::ExtractImages(*bytes, common::ProductConstants{}.record_mask);
    const bool ok = (code_out->empty() || WriteOrSay(*code_out, images->code)) &&
                    (data_out->empty() || WriteOrSay(*data_out, images->data));
    exit_code = ok ? kExitSuccess : kExitFailed;
  });
}

void AddConvertCommands(CLI::App& app, int& exit_code) {
  auto* convert = app.add_subcommand("convert", "Production files: FS scripts and merged images");
  convert->require_subcommand(1);
  const common::ProductConstants constants{};

  auto run = [&exit_code](auto&& body) {
    OutcomeSink sink;
    const bool ok = body(sink);
    sink.Print(ok);
    exit_code = ok ? kExitSuccess : kExitFailed;
  };

  auto* afi_fs = convert->add_subcommand("afi-fs", "Script that writes an .afi into a pack");
  auto afi_only = std::make_shared<std::string>();
  afi_fs->add_option("AFI", *afi_only, "the .afi file")->required();
  afi_fs->callback(
      [=] { run([&](auto& sink) { return fw::ConvertAfiToScript(*afi_only, sink); }); });

  auto* bin_fs = convert->add_subcommand("bin-fs", "Script that updates a pack's firmware");
  auto bin_only = std::make_shared<std::string>();
  bin_fs->add_option("BIN", *bin_only, "the image (.bin)")->required();
  bin_fs->callback(
      [=] { run([&](auto& sink) { return fw::ConvertBinToScript(*bin_only, sink); }); });

  auto* merge_fs =
      convert->add_subcommand("merge-fs", "Update script of an image with .afi constants");
  auto merge_afi = std::make_shared<std::string>();
  auto merge_bin = std::make_shared<std::string>();
  merge_fs->add_option("AFI", *merge_afi, "the .afi file")->required();
  merge_fs->add_option("BIN", *merge_bin, "the image (.bin)")->required();
  merge_fs->callback([=] {
    run([&](auto& sink) {
      return fw::ConvertMergedToScript(*merge_afi, *merge_bin, constants, sink);
    });
  });

  auto* merge_bin_cmd = convert->add_subcommand("merge-bin", "New image carrying .afi constants");
  auto new_afi = std::make_shared<std::string>();
  auto new_bin = std::make_shared<std::string>();
  merge_bin_cmd->add_option("AFI", *new_afi, "the .afi file")->required();
  merge_bin_cmd->add_option("BIN", *new_bin, "the image (.bin)")->required();
  merge_bin_cmd->callback([=] {
    run([&](auto& sink) { return fw::ConvertNewBin(*new_afi, *new_bin, constants, sink); });
  });
}

void AddFwCommands(CLI::App& app, CommandContext& context, int& exit_code) {
  auto* fw_group = app.add_subcommand("fw", "Update and export the gauge's firmware");
  fw_group->require_subcommand(1);

  auto* update = fw_group->add_subcommand("update", "Program the gauge with an image");
  auto update_path = std::make_shared<std::string>();
  update->add_option("BIN", *update_path, "the image (.bin)")->required();
  update->callback([=, &context, &exit_code] {
    app::Workbench* bench = context.OpenWorkbench(exit_code);
    if (!bench) return;
    OutcomeSink sink;
    ConsoleFirmwareHost host(context.progress().bar());
    bool ok = false;
    std::string status;
    {
      fw::FirmwareWindow window(bench->link(), sink, host, bench->constants());
      host.Attach(window);
      if (window.Load(*update_path)) {
        window.Start();
        window.WaitUntilIdle();
        const auto view = window.View();
        ok = !view.update_failed && view.loaded;
        status = view.status_text;
      }
    }
    host.Finish();
    sink.Print(ok);
    if (!ok && !status.empty()) fmt::print(stderr, "{}\n", status);
    exit_code = ok ? kExitSuccess : kExitFailed;
  });

  auto* export_cmd = fw_group->add_subcommand("export", "Read the gauge's firmware into an image");
  auto export_path = std::make_shared<std::string>();
  export_cmd->add_option("OUT", *export_path, "the image to write (.bin)")->required();
  export_cmd->callback([=, &context, &exit_code] {
    app::Workbench* bench = context.OpenWorkbench(exit_code);
    if (!bench) return;
    OutcomeSink sink;
    ConsoleFirmwareHost host(context.progress().bar());
    bool ok = false;
    {
      fw::FirmwareWindow window(bench->link(), sink, host, bench->constants());
      host.Attach(window);
      window.Set(*export_path);
      window.Export();
      window.WaitUntilIdle();
      ok = window.View().export_succeeded;
    }
    host.Finish();
    sink.Print(ok);
    exit_code = ok ? kExitSuccess : kExitFailed;
  });
}

}  // namespace

void AddFirmwareCommands(CLI::App& app, CommandContext& context, int& exit_code) {
  AddImageCommands(app, exit_code);
  AddConvertCommands(app, exit_code);
  AddFwCommands(app, context, exit_code);
}

}  // namespace cw::cli
