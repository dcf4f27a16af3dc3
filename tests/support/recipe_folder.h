#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

// A production recipe folder made from the simulated pack, for the station's tests, the command
// line's and the Production window's. The files come from a fresh simulated pack on the virtual
// clock, as an engineer makes them from a golden pack:
//   files/pack.bin       its firmware, as "fw export" writes it
//   files/golden.afi     its data flash, as "df save" writes it
//   files/constants.fs   the golden constants as an FS script (the Convert FS File window's)
//   files/update.fs      the update of pack.bin as an FS script
// and recipes are written beside them with the files' SHA-256s filled in:
//
//   RecipeFolder folder(scratch.path());
//   const auto recipe = folder.Write("line", folder.FullSteps());
namespace cw::test {

class RecipeFolder {
 public:
  // Makes the files in `folder` (which must exist).
  explicit RecipeFolder(std::filesystem::path folder);

  const std::filesystem::path& folder() const { return folder_; }
  // The lines of a step that names `file` (relative to the folder) under `key`, with its hash:
  // `image = "files/pack.bin"` and `sha256 = "..."`.
  std::string FileKeys(std::string_view key, std::string_view file) const;
  // The steps of a whole line: the firmware image, the golden .afi, a calibration of the four
  // cells and TS1 to references the simulated pack meets, serial numbers 1000 to 1999 in
  // "Serial Number", today's date, verify with every mask, a check of the voltage and of
  // the safety and PF flags, and the seal.
  std::string FullSteps() const;
  // Writes `name`.toml into the folder: the name, [gauge] with `device_type`, then `steps`
  // (TOML tables such as "[steps.seal]\n"). Its path.
  std::filesystem::path Write(std::string_view name, std::string_view steps,
                              std::uint16_t device_type = 0x0714) const;

 private:
  std::filesystem::path folder_;
};

}  // namespace cw::test
