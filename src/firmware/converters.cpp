#include "firmware/converters.h"

#include <fmt/format.h>

#include <optional>

#include "common/bytes.h"
#include "common/file_output.h"
#include "common/text.h"
#include "firmware/constants_merge.h"
#include "firmware/file_io.h"
#include "firmware/firmware_image.h"
#include "firmware/fs_script.h"
#include "firmware/image_check.h"
#include "firmware/messages.h"

namespace cw::firmware {
namespace {

using common::MessageIcon;

constexpr common::Millis kCloseSettle{50};

std::filesystem::path Appended(const std::filesystem::path& path, std::string_view suffix) {
  std::filesystem::path result = path;
  result += std::string(suffix);
  return result;
}

void ShowError(common::MessageSink& messages, std::string_view text) {
  messages.Show(text, MessageIcon::kError);
}

}  // namespace

// Checked the way the window checks it: on choosing, then on Convert, and then record by
// record, so that no script or image is made from a damaged one.
std::optional<common::Bytes> ReadImageForConvert(const std::filesystem::path& bin,
                                                 std::uint8_t record_mask,
                                                 common::MessageSink& messages) {
  if (bin.empty()) {
    messages.Show(messages::kPleaseLoadBinFirst);
    return std::nullopt;
  }
  auto bytes = ReadImageFile(bin);
  if (!bytes) {
    ShowError(messages, common::DescribeFileError(bytes.error()));
    return std::nullopt;
  }
  if (!BinSizeLargeEnough(bytes->size())) {
    messages.Show(messages::kBinFileError);
    return std::nullopt;
  }
  if (!BinSizeWholeRecords(bytes->size())) {
    messages.Show(messages::kBinFileSizeError);
    return std::nullopt;
  }
  if (const auto fault = CheckImageRecords(*bytes, record_mask)) {
    messages.Show(messages::kBinFileError);
    ShowError(messages, *fault);
    return std::nullopt;
  }
  return std::move(*bytes);
}

namespace {

std::optional<dataflash::AfiImage> LoadAfi(const std::filesystem::path& afi, bool stored_form,
                                           common::MessageSink& messages) {
  if (afi.empty()) {
    messages.Show(messages::kPleaseLoadAfi);
    return std::nullopt;
  }
  auto image = dataflash::LoadAfiImage(afi, stored_form);
  if (!image) {
    // A file that cannot be read or lacks keys would otherwise script a pack full of zeros.
    ShowError(messages, image.error());
    return std::nullopt;
  }
  for (const std::string& warning : image->warnings) {
    messages.Show(warning, MessageIcon::kWarning);
  }
  return *image;
}

ConvertOutcome WriteOutput(const std::filesystem::path& path, std::string_view text,
                           std::string_view success, common::OutcomeBuilder& outcome) {
  if (const auto written = common::WriteFileAtomically(path, text); !written) {
    ShowError(outcome, common::DescribeFileError(written.error()));
    return outcome.Finish(common::Verdict::kFailed, RejectedInput::kNone);
  }
  outcome.Show(success);
  return outcome.Finish(common::Verdict::kDone, RejectedInput::kNone);
}

ConvertOutcome Refused(common::OutcomeBuilder& outcome, RejectedInput input) {
  return outcome.Finish(common::Verdict::kRefused, input);
}

}  // namespace

common::Outcome AcceptChosenBin(const std::filesystem::path& bin, common::MessageSink& messages) {
  common::OutcomeBuilder outcome(messages);
  const auto bytes = ReadImageFile(bin);
  if (!bytes || !BinSizeLargeEnough(bytes->size())) {
    outcome.Show(messages::kBinFileError);
    if (!bytes) ShowError(outcome, common::DescribeFileError(bytes.error()));
    return outcome.Refused();
  }
  return outcome.Done();
}

std::filesystem::path AfiScriptPath(const std::filesystem::path& afi) {
  return Appended(afi, ".fs");
}
std::filesystem::path UpdateScriptPath(const std::filesystem::path& bin) {
  return Appended(bin, ".fs");
}
std::filesystem::path MergedScriptPath(const std::filesystem::path& bin) {
  return Appended(bin, ".AFIcombined.fs");
}

std::filesystem::path NewBinPath(const std::filesystem::path& bin) {
  std::string text = bin.string();
  constexpr std::string_view kExtension = ".bin";
  if (common::EndsWithIgnoringCase(text, kExtension)) text.resize(text.size() - kExtension.size());
  return text + "_new.bin";
}

ConvertOutcome ConvertAfiToScript(const std::filesystem::path& afi, common::MessageSink& messages) {
  common::OutcomeBuilder outcome(messages);
  const auto image = LoadAfi(afi, /*stored_form=*/true, outcome);
  if (!image) return Refused(outcome, RejectedInput::kNone);
  return WriteOutput(AfiScriptPath(afi), AfiScript(FullFlashImage(*image)),
                     messages::kAfiScriptSuccess, outcome);
}

ConvertOutcome ConvertBinToScript(const std::filesystem::path& bin,
                                  const common::ProductConstants& constants,
                                  common::MessageSink& messages) {
  common::OutcomeBuilder outcome(messages);
  const auto bytes = ReadImageForConvert(bin, constants.record_mask, outcome);
  if (!bytes) return Refused(outcome, RejectedInput::kBin);
  return WriteOutput(UpdateScriptPath(bin), UpdateScript(*bytes), messages::kBinScriptSuccess,
                     outcome);
}

namespace {

// The constants of `afi` merged into the image of `bin`, or nullopt after the message that
// says why not (and which input was turned down).
std::optional<common::Bytes> LoadAndMerge(const std::filesystem::path& afi,
                                          const std::filesystem::path& bin,
                                          const common::ProductConstants& constants,
                                          common::MessageSink& messages, RejectedInput& rejected) {
  if (afi.empty()) {
    messages.Show(messages::kPleaseLoadAfi);
    return std::nullopt;
  }
  const auto bytes = ReadImageForConvert(bin, constants.record_mask, messages);
  if (!bytes) {
    rejected = RejectedInput::kBin;
    return std::nullopt;
  }
  const auto plain = LoadAfi(afi, /*stored_form=*/false, messages);
  if (!plain) return std::nullopt;
  return MergeConstantsIntoImage(*bytes, *plain, constants);
}

}  // namespace

ConvertOutcome ConvertMergedToScript(const std::filesystem::path& afi,
                                     const std::filesystem::path& bin,
                                     const common::ProductConstants& constants,
                                     common::MessageSink& messages) {
  common::OutcomeBuilder outcome(messages);
  RejectedInput rejected = RejectedInput::kNone;
  const auto merged = LoadAndMerge(afi, bin, constants, outcome, rejected);
  if (!merged) return Refused(outcome, rejected);
  return WriteOutput(MergedScriptPath(bin), UpdateScript(*merged), messages::kMergedScriptSuccess,
                     outcome);
}

ConvertOutcome ConvertNewBin(const std::filesystem::path& afi, const std::filesystem::path& bin,
                             const common::ProductConstants& constants,
                             common::MessageSink& messages) {
  common::OutcomeBuilder outcome(messages);
  RejectedInput rejected = RejectedInput::kNone;
  const auto merged = LoadAndMerge(afi, bin, constants, outcome, rejected);
  if (!merged) return Refused(outcome, rejected);
  const auto written = common::WriteFileAtomically(NewBinPath(bin), common::ByteView(*merged));
  if (!written) {
    ShowError(outcome, messages::kOpenFileError);
    ShowError(outcome, common::DescribeFileError(written.error()));
    return outcome.Finish(common::Verdict::kFailed, RejectedInput::kNone);
  }
  outcome.Show(messages::kNewBinSuccess);
  return outcome.Finish(common::Verdict::kDone, RejectedInput::kNone);
}

// ---------------------------------------------------------------- Convert FS File window

void FsConverter::SetAfi(ScriptGroup group, const std::filesystem::path& afi) {
  paths_[Index(group)].afi = afi;
  changes_.Notify();
}

common::Outcome FsConverter::ChooseBin(ScriptGroup group, const std::filesystem::path& bin) {
  const common::Outcome accepted = AcceptChosenBin(bin, messages_);
  paths_[Index(group)].bin = accepted ? bin : std::filesystem::path();
  changes_.Notify();
  return accepted;
}

common::Outcome FsConverter::Convert(ScriptGroup group) {
  ConverterPaths& paths = paths_[Index(group)];
  ConvertOutcome converted;
  switch (group) {
    case ScriptGroup::kAfi:
      converted = ConvertAfiToScript(paths.afi, messages_);
      break;
    case ScriptGroup::kBin:
      converted = ConvertBinToScript(paths.bin, constants_, messages_);
      break;
    case ScriptGroup::kMerged:
      converted = ConvertMergedToScript(paths.afi, paths.bin, constants_, messages_);
      break;
  }
  if (converted.detail == RejectedInput::kBin) {
    paths.bin.clear();
    changes_.Notify();
  }
  return converted;
}

// ---------------------------------------------------------------- Convert Bin File window

BinConverter::BinConverter(common::MessageSink& messages, const common::ProductConstants& constants,
                           common::ScanPause& scan, common::Clock& clock)
    : messages_(messages), constants_(constants), scan_(scan), clock_(clock) {
  scan_.PauseScan();
}

BinConverter::~BinConverter() { Close(); }

void BinConverter::Close() {
  if (!open_) return;
  open_ = false;
  scan_.ResumeScan();
  clock_.SleepFor(kCloseSettle);
}

void BinConverter::SetAfi(const std::filesystem::path& afi) {
  paths_.afi = afi;
  changes_.Notify();
}

common::Outcome BinConverter::ChooseBin(const std::filesystem::path& bin) {
  const common::Outcome accepted = AcceptChosenBin(bin, messages_);
  paths_.bin = accepted ? bin : std::filesystem::path();
  changes_.Notify();
  return accepted;
}

common::Outcome BinConverter::Convert() {
  const ConvertOutcome converted = ConvertNewBin(paths_.afi, paths_.bin, constants_, messages_);
  if (converted.detail == RejectedInput::kBin) {
    paths_.bin.clear();
    changes_.Notify();
  }
  return converted;
}

}  // namespace cw::firmware
