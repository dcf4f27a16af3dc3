#include "support/recipe_folder.h"

#include <fmt/format.h>

#include <fstream>
#include <stdexcept>

#include "app/workbench.h"
#include "common/file_input.h"
#include "dataflash/data_flash_session.h"
#include "firmware/converters.h"
#include "firmware/export_job.h"
#include "firmware/firmware_tool.h"
#include "production/sha256.h"
#include "support/recording_sinks.h"

namespace cw::test {

namespace {

void Require(bool ok, std::string_view what) {
  if (!ok) throw std::runtime_error(fmt::format("recipe folder: {}", what));
}

void WriteText(const std::filesystem::path& path, std::string_view text) {
  std::ofstream file(path, std::ios::binary);
  file << text;
  Require(static_cast<bool>(file), path.string());
}

}  // namespace

RecipeFolder::RecipeFolder(std::filesystem::path folder) : folder_(std::move(folder)) {
  const std::filesystem::path files = folder_ / "files";
  std::filesystem::create_directories(files);
  RecordingMessageSink messages;
  app::WorkbenchOptions options;
  options.device.simulated = true;
  options.device.virtual_clock = true;
  auto bench = app::Workbench::Create(options, messages);
  Require(bench.has_value() && (*bench)->Start(), "the simulated pack does not start");

  const auto saved = (*bench)->data_flash().SaveGaugeToAfi(files / "golden.afi");
  Require(saved.outcome.done(), "the golden constants cannot be saved");
  firmware::FirmwareTool& tool = (*bench)->OpenFirmwareTool();
  tool.export_job().Set(files / "pack.bin");
  Require(tool.export_job().Export().done(), "the firmware export does not start");
  tool.WaitUntilIdle();
  const auto exported = tool.export_job().View().outcome;
  Require(exported && exported->done(), "the firmware export failed");
  (*bench)->CloseFirmwareTool();

  // The Convert FS File window's scripts, under the names the recipes use.
  Require(
      firmware::ConvertBinToScript(files / "pack.bin", common::ProductConstants{}, messages).done(),
      "the update script cannot be made");
  std::filesystem::rename(firmware::UpdateScriptPath(files / "pack.bin"), files / "update.fs");
  Require(firmware::ConvertAfiToScript(files / "golden.afi", messages).done(),
          "the constants script cannot be made");
  std::filesystem::rename(firmware::AfiScriptPath(files / "golden.afi"), files / "constants.fs");
}

std::string RecipeFolder::FileKeys(std::string_view key, std::string_view file) const {
  const auto bytes = common::ReadRegularFile(folder_ / file, std::size_t{4} << 20);
  Require(bytes.has_value(), file);
  const auto hash = production::Sha256Hex(*bytes);
  Require(hash.has_value(), "no SHA-256");
  return fmt::format("{} = \"{}\"\nsha256 = \"{}\"\n", key, file, *hash);
}

std::string RecipeFolder::FullSteps() const {
  return "[steps.firmware]\n" + FileKeys("image", "files/pack.bin") + "[steps.constants]\n" +
         FileKeys("afi", "files/golden.afi") +
         "[steps.calibrate]\ncells_mv = [3800, 3801, 3799, 3800]\npack_mv = 15200\n"
         "temperatures_c = { ts1 = 25.0 }\n"
         "[steps.serial]\nstart = 1000\nend = 1999\n"
         "[steps.date]\n"
         "[steps.verify]\nmasks = [\"calibration\", \"serial\", \"date\", \"lifetime\"]\n"
         "[steps.check]\n"
         "limits = [{ register = \"Voltage\", min = 12000, max = 17000 }]\n"
         "clear = [\"Safety Status\", \"PF Status\"]\n"
         "[steps.seal]\n";
}

std::filesystem::path RecipeFolder::Write(std::string_view name, std::string_view steps,
                                          std::uint16_t device_type) const {
  const std::filesystem::path path = folder_ / fmt::format("{}.toml", name);
  WriteText(path, fmt::format("name = \"{}\"\n[gauge]\ndevice_type = 0x{:04X}\n{}", name,
                              device_type, steps));
  return path;
}

}  // namespace cw::test
