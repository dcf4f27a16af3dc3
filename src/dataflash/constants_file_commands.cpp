// The data flash session's work with constants files: the File menu's "Open All Flash
// Constants" and "Save All Flash Constants", "Compare with File", the difference of a file
// with another or with the gauge, and the lint of a golden file.
#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "common/file_output.h"
#include "dataflash/afi_file.h"
#include "dataflash/data_flash_session.h"
#include "dataflash/file_compare.h"
#include "dataflash/golden_lint.h"
#include "dataflash/messages.h"

namespace cw::dataflash {
namespace {

using common::MessageIcon;

void ShowError(common::MessageSink& messages, std::string_view text) {
  messages.Show(text, MessageIcon::kError);
}

// The parameters whose bytes in `read_back` are not what their texts encode to, in list order;
// rows in `kept` were written with the gauge's own bytes and are not judged.
std::vector<std::string> RowsNotKept(const FlashImage& read_back,
                                     const std::array<std::string, kParamCount>& texts,
                                     const RowSet& kept) {
  std::vector<std::string> names;
  for (const std::size_t row :
       RowsDiffering(read_back, [&](std::size_t r) -> std::optional<std::string> {
         if (kept.test(r)) return std::nullopt;
         return texts[r];
       })) {
    names.emplace_back(kParams[row].name);
  }
  return names;
}

}  // namespace

// Fills what `values` lacks with what the gauge holds now: the rows' texts for the lists, the
// rows themselves in `kept` (their bytes stay the gauge's, exactly), and the algorithm data.
// False when the gauge cannot be read.
bool DataFlashSession::FillFromGauge(const AfiValues& values,
                                     std::array<std::string, kParamCount>& texts, RowSet& kept,
                                     AlgorithmArea& algorithm, common::OutcomeBuilder& outcome) {
  AlgorithmArea current{};
  const common::Outcome read = ReadAllFlash(current);
  outcome.Absorb(read);
  if (!read) return false;
  const std::array<std::string, kParamCount> shown = RowTexts();
  for (std::size_t row = 0; row < kParamCount; ++row) {
    if (values.rows[row]) continue;
    texts[row] = shown[row];
    kept.set(row);
  }
  for (std::size_t number = 0; number < kAlgorithmKeyCount; ++number) {
    if (values.algorithm_present[number]) continue;
    const std::size_t from = AlgorithmKeyAt(number).area_offset;
    const std::size_t to = std::min(from + 4, current.size());
    std::copy(current.begin() + static_cast<std::ptrdiff_t>(from),
              current.begin() + static_cast<std::ptrdiff_t>(to),
              algorithm.begin() + static_cast<std::ptrdiff_t>(from));
  }
  return true;
}

AfiLoadResult DataFlashSession::LoadAfiToGauge(const std::filesystem::path& path,
                                               std::stop_token stop) {
  common::OutcomeBuilder outcome(messages_);
  const FlashTransfer::StopScope stoppable(transfer_, std::move(stop));
  if (!PassesSealCheck(SealedTransfer::kLoadAfi, outcome)) return {outcome.Refused()};
  const auto reader = AfiReader::Open(path);
  if (!reader) {
    if (reader.error().missing) return {outcome.Refused(), true};
    ShowError(outcome, reader.error().message);
    return {outcome.Refused()};
  }
  return WriteAfiValues(ReadAfiValues(*reader), outcome);
}

AfiLoadResult DataFlashSession::LoadAfiValuesToGauge(const AfiValues& values,
                                                     std::stop_token stop) {
  common::OutcomeBuilder outcome(messages_);
  const FlashTransfer::StopScope stoppable(transfer_, std::move(stop));
  if (!PassesSealCheck(SealedTransfer::kLoadAfi, outcome)) return {outcome.Refused()};
  return WriteAfiValues(values, outcome);
}

AfiLoadResult DataFlashSession::WriteAfiValues(const AfiValues& values,
                                               common::OutcomeBuilder& outcome) {
  // A value no parameter takes would be written as something the file does not say.
  if (const auto refusal = InvalidAfiMessage(values)) {
    ShowError(outcome, *refusal);
    return {outcome.Refused()};
  }
  for (const std::string& warning : values.warnings) {
    outcome.Show(warning, MessageIcon::kWarning);
  }

  std::array<std::string, kParamCount> texts;
  for (std::size_t row = 0; row < kParamCount; ++row) texts[row] = values.rows[row].value_or("");
  AlgorithmArea algorithm = values.algorithm;
  RowSet kept;
  if (!values.missing.empty()) {
    if (!FillFromGauge(values, texts, kept, algorithm, outcome)) {
      // A stop has said what it left.
      if (transfer_.stopped()) return {outcome.Failed()};
      outcome.Show(messages::kLoadFail);
      ShowError(outcome, messages::kLoadNothingWritten);
      return {outcome.Failed()};
    }
    outcome.Show(
        fmt::format("Keys missing from the constants file ({}) keep the gauge's own values: {}.",
                    values.missing.size(), FirstNames(values.missing)),
        MessageIcon::kWarning);
  }

  SetRowTexts([&](std::size_t row) { return texts[row]; });
  const common::Outcome written = WriteAllFlash(algorithm, kept);
  outcome.Absorb(written);
  if (!written) {
    if (transfer_.stopped()) return {outcome.Failed()};
    outcome.Show(messages::kLoadFail);
    ShowError(outcome, messages::kLoadPartlyWritten);
    return {outcome.Failed()};
  }
  // Write All has compared the algorithm area; the parameters are compared here, against the
  // read-back it left in the page's image.
  if (const auto not_kept = RowsNotKept(WorkingImage(), texts, kept); !not_kept.empty()) {
    outcome.Show(messages::kLoadFail);
    ShowError(outcome, fmt::format(messages::kLoadNotKept, not_kept.size(), FirstNames(not_kept)));
    return {outcome.Failed()};
  }
  outcome.Show(messages::kLoadSuccess);
  return {outcome.Done(), false, algorithm};
}

AfiSaveResult DataFlashSession::SaveGaugeToAfi(const std::filesystem::path& chosen,
                                               std::stop_token stop) {
  common::OutcomeBuilder outcome(messages_);
  const FlashTransfer::StopScope stoppable(transfer_, std::move(stop));
  if (!PassesSealCheck(SealedTransfer::kSaveAfi, outcome)) return {outcome.Refused()};
  const std::filesystem::path path = AfiSavePath(chosen);
  // Turned down before the whole data flash is read for a place that cannot take the file.
  if (const auto target = common::CheckOutputTarget(path); !target) {
    outcome.Show(messages::kSaveError);
    ShowError(outcome, common::DescribeFileError(target.error()));
    return {outcome.Refused(), path};
  }
  AlgorithmArea algorithm{};
  const common::Outcome read = ReadAllFlash(algorithm);
  outcome.Absorb(read);
  if (!read) {
    if (!transfer_.stopped()) outcome.Show("Read Flash Fail!");
    return {outcome.Failed()};
  }
  AfiWriter writer;
  const std::array<std::string, kParamCount> texts = RowTexts();
  for (std::size_t row = 0; row < kParamCount; ++row) writer.Set(kParams[row].name, texts[row]);
  writer.SetAlgorithmData(algorithm);
  if (const auto saved = writer.Save(path); !saved) {
    outcome.Show(messages::kSaveError);
    ShowError(outcome, common::DescribeFileError(saved.error()));
    return {outcome.Failed(), path, algorithm};
  }
  outcome.Show(messages::kSaveFinish);
  return {outcome.Done(), path, algorithm};
}

common::Outcome DataFlashSession::CompareWithFile(const std::filesystem::path& path) {
  common::OutcomeBuilder outcome(messages_);
  auto values = read_constants_(path);
  if (!values) {
    ShowError(outcome, values.error());
    return outcome.Refused();
  }
  {
    const std::lock_guard lock(mutex_);
    compared_ = std::move(*values);
    compared_name_ = path.filename().string();
    comparison_.reset();
    compared_image_.reset();
  }
  changes_.Notify(DataFlashChange::kComparison);
  return outcome.Done();
}

void DataFlashSession::ClearComparison() {
  {
    const std::lock_guard lock(mutex_);
    compared_.reset();
    comparison_.reset();
    compared_image_.reset();
  }
  changes_.Notify(DataFlashChange::kComparison);
}

ConstantsDiff DataFlashSession::DiffConstants(const std::filesystem::path& file,
                                              const std::optional<std::filesystem::path>& other) {
  common::OutcomeBuilder outcome(messages_);
  using Keys = std::vector<KeyDifference>;
  const auto mine = read_constants_(file);
  if (!mine) {
    ShowError(outcome, mine.error());
    return outcome.Finish(common::Verdict::kRefused, Keys{});
  }
  if (other) {
    const auto theirs = read_constants_(*other);
    if (!theirs) {
      ShowError(outcome, theirs.error());
      return outcome.Finish(common::Verdict::kRefused, Keys{});
    }
    // The other file is judged by the bytes it would write, as the gauge is by those it holds.
    const AfiImage written = AfiImageFrom(*theirs, /*stored_form=*/true);
    return outcome.Finish(common::Verdict::kDone, DiffKeys(*mine, *theirs, written.image));
  }
  const common::Outcome read = ReadAll();
  outcome.Absorb(read);
  if (!read) return outcome.Finish(common::Verdict::kFailed, Keys{});
  const DataFlashView gauge = View();
  return outcome.Finish(common::Verdict::kDone,
                        DiffKeys(*mine, GaugeValues(gauge.values, gauge.image), gauge.image));
}

GoldenLint DataFlashSession::LintConstants(const std::filesystem::path& file) {
  common::OutcomeBuilder outcome(messages_);
  const auto values = read_constants_(file);
  if (!values) {
    ShowError(outcome, values.error());
    return outcome.Finish(common::Verdict::kRefused, std::vector<LintFinding>{});
  }
  return outcome.Finish(common::Verdict::kDone, LintGolden(*values));
}

}  // namespace cw::dataflash
