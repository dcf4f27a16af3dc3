#pragma once

#include <array>
#include <filesystem>
#include <optional>

#include "common/bytes.h"
#include "common/clock.h"
#include "common/front_end.h"
#include "common/product_constants.h"

// The converter windows' rules without their widgets: the paths they hold, the checks on a
// chosen bin file, and the Convert buttons, each of which writes its output file and tells the
// user the outcome.
namespace cw::firmware {

// Which input a conversion turned down, so that the window clears its field.
enum class RejectedInput { kNone, kBin };
using ConvertOutcome = common::OutcomeOf<RejectedInput>;

// Choosing a bin file in a converter: refused (with the message shown) when it is too small to
// be an image or cannot be read.
//
// Every Convert reads its inputs whole and refuses, before it writes anything, an image with a
// damaged record and an .afi that lacks a key or holds a value no row takes: a production file
// made from either would program packs wrongly. Outputs replace their file whole or not at all.
common::Outcome AcceptChosenBin(const std::filesystem::path& bin, common::MessageSink& messages);

// The image a conversion works on: `bin` read whole and judged as Convert judges it (size, then
// every record). Nothing, after the messages that say why, when it is refused.
std::optional<common::Bytes> ReadImageForConvert(const std::filesystem::path& bin,
                                                 std::uint8_t record_mask,
                                                 common::MessageSink& messages);

// "pack.afi" -> "pack.afi.fs".
std::filesystem::path AfiScriptPath(const std::filesystem::path& afi);
// "fw.bin" -> "fw.bin.fs".
std::filesystem::path UpdateScriptPath(const std::filesystem::path& bin);
// "fw.bin" -> "fw.bin.AFIcombined.fs".
std::filesystem::path MergedScriptPath(const std::filesystem::path& bin);
// "fw.bin" -> "fw_new.bin"; a final ".bin" in any case is replaced, any other name gets
// "_new.bin" appended.
std::filesystem::path NewBinPath(const std::filesystem::path& bin);

ConvertOutcome ConvertAfiToScript(const std::filesystem::path& afi, common::MessageSink& messages);
ConvertOutcome ConvertBinToScript(const std::filesystem::path& bin,
                                  const common::ProductConstants& constants,
                                  common::MessageSink& messages);
ConvertOutcome ConvertMergedToScript(const std::filesystem::path& afi,
                                     const std::filesystem::path& bin,
                                     const common::ProductConstants& constants,
                                     common::MessageSink& messages);
ConvertOutcome ConvertNewBin(const std::filesystem::path& afi, const std::filesystem::path& bin,
                             const common::ProductConstants& constants,
                             common::MessageSink& messages);

// The three groups of the Convert FS File window.
enum class ScriptGroup { kAfi = 0, kBin = 1, kMerged = 2 };

struct ConverterPaths {
  std::filesystem::path afi;
  std::filesystem::path bin;
  bool operator==(const ConverterPaths&) const = default;
};

// The Convert FS File window: an .afi script, an update script, and the update script of an
// image with .afi constants merged in. It never talks to the gauge.
class FsConverter {
 public:
  FsConverter(common::MessageSink& messages, const common::ProductConstants& constants)
      : messages_(messages), constants_(constants) {}

  ConverterPaths paths(ScriptGroup group) const { return paths_[Index(group)]; }
  // The AFI Browse: taken as chosen.
  void SetAfi(ScriptGroup group, const std::filesystem::path& afi);
  // The Bin Browse: a file too small to be an image is refused and the field cleared.
  common::Outcome ChooseBin(ScriptGroup group, const std::filesystem::path& bin);
  common::Outcome Convert(ScriptGroup group);

  common::Observers<>& changes() { return changes_; }

 private:
  static std::size_t Index(ScriptGroup group) { return static_cast<std::size_t>(group); }

  common::MessageSink& messages_;
  const common::ProductConstants constants_;
  std::array<ConverterPaths, 3> paths_;
  common::Observers<> changes_;
};

// The Convert Bin File window: an image carrying an .afi's constants, written beside the
// image. The scan stays paused while the window is open.
class BinConverter {
 public:
  BinConverter(common::MessageSink& messages, const common::ProductConstants& constants,
               common::ScanPause& scan, common::Clock& clock);
  ~BinConverter();
  BinConverter(const BinConverter&) = delete;
  BinConverter& operator=(const BinConverter&) = delete;

  const ConverterPaths& paths() const { return paths_; }
  void SetAfi(const std::filesystem::path& afi);
  common::Outcome ChooseBin(const std::filesystem::path& bin);
  common::Outcome Convert();
  // Resumes the scan and waits the 50 ms the window always gave it.
  void Close();

  common::Observers<>& changes() { return changes_; }

 private:
  common::MessageSink& messages_;
  const common::ProductConstants constants_;
  common::ScanPause& scan_;
  common::Clock& clock_;
  ConverterPaths paths_;
  bool open_ = true;
  common::Observers<> changes_;
};

}  // namespace cw::firmware
