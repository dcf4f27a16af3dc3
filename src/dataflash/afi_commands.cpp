#include "dataflash/afi_commands.h"

#include <system_error>

#include "dataflash/afi_file.h"
#include "dataflash/messages.h"

namespace cw::dataflash {

AfiLoadResult LoadAfiToGauge(DataFlashPage& page, const std::filesystem::path& path) {
  common::OutcomeBuilder outcome(page.messages());
  if (!page.PassesSealCheck(messages::kSealedWriteAfi, outcome)) return {outcome.Refused()};
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return {outcome.Refused(), true};
  const auto reader = AfiReader::Open(path);
  if (!reader) {
    outcome.Show(messages::kAfiNotFound);
    return {outcome.Refused()};
  }
  page.SetRowTexts([&](std::size_t row) { return reader->Value(kParams[row].name); });
  const AlgorithmArea algorithm = reader->AlgorithmData();
  const common::Outcome written = page.WriteAllFlash(algorithm);
  outcome.Absorb(written);
  if (!written) {
    outcome.Show(messages::kLoadFail);
    return {outcome.Failed()};
  }
  outcome.Show(messages::kLoadSuccess);
  return {outcome.Done(), false, algorithm};
}

AfiSaveResult SaveGaugeToAfi(DataFlashPage& page, const std::filesystem::path& chosen) {
  common::OutcomeBuilder outcome(page.messages());
  if (!page.PassesSealCheck(messages::kSealedReadAfi, outcome)) return {outcome.Refused()};
  AlgorithmArea algorithm{};
  const common::Outcome read = page.ReadAllFlash(algorithm);
  outcome.Absorb(read);
  if (!read) {
    outcome.Show(messages::kReadFlashFail);
    return {outcome.Failed()};
  }
  const std::filesystem::path path = AfiSavePath(chosen);
  AfiWriter writer;
  for (std::size_t row = 0; row < kParamCount; ++row) {
    writer.Set(kParams[row].name, page.value(row).text);
  }
  writer.SetAlgorithmData(algorithm);
  if (writer.Save(path)) {
    outcome.Show(messages::kSaveError);
    return {outcome.Failed(), path, algorithm};
  }
  outcome.Show(messages::kSaveFinish);
  return {outcome.Done(), path, algorithm};
}

}  // namespace cw::dataflash
