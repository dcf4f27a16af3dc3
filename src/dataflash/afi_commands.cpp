#include "dataflash/afi_commands.h"

#include <system_error>

#include "dataflash/afi_file.h"
#include "dataflash/messages.h"

namespace cw::dataflash {
namespace {

bool PassesSealCheck(DataFlashPage& page, std::string_view sealed_message) {
  switch (page.CheckSealed()) {
    case SealCheck::kCommunicationError:
      page.transfer().messages().Show(messages::kCommunicationError);
      return false;
    case SealCheck::kSealed:
      page.transfer().messages().Show(sealed_message);
      return false;
    case SealCheck::kUnsealed:
      return true;
  }
  return false;
}

}  // namespace

AfiLoadResult LoadAfiToGauge(DataFlashPage& page, const std::filesystem::path& path) {
  common::MessageSink& messages = page.transfer().messages();
  if (!PassesSealCheck(page, messages::kSealedWriteAfi)) return {};
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return {AfiOutcome::kNoFile, {}};
  const auto reader = AfiReader::Open(path);
  if (!reader) {
    messages.Show(messages::kAfiNotFound);
    return {};
  }
  for (std::size_t row = 0; row < kParamCount; ++row) {
    page.SetRowText(row, reader->Value(kParams[row].name));
  }
  const AlgorithmArea algorithm = reader->AlgorithmData();
  if (!page.WriteAllFlash(algorithm)) {
    messages.Show(messages::kLoadFail);
    return {};
  }
  messages.Show(messages::kLoadSuccess);
  return {AfiOutcome::kDone, algorithm};
}

AfiSaveResult SaveGaugeToAfi(DataFlashPage& page, const std::filesystem::path& chosen) {
  common::MessageSink& messages = page.transfer().messages();
  if (!PassesSealCheck(page, messages::kSealedReadAfi)) return {};
  AlgorithmArea algorithm{};
  if (!page.ReadAllFlash(algorithm)) {
    messages.Show(messages::kReadFlashFail);
    return {};
  }
  AfiSaveResult result{AfiOutcome::kFailed, AfiSavePath(chosen), algorithm};
  AfiWriter writer;
  for (std::size_t row = 0; row < kParamCount; ++row) {
    writer.Set(kParams[row].name, page.value(row).text);
  }
  writer.SetAlgorithmData(algorithm);
  if (writer.Save(result.path)) {
    messages.Show(messages::kSaveError);
    return result;
  }
  messages.Show(messages::kSaveFinish);
  result.outcome = AfiOutcome::kDone;
  return result;
}

}  // namespace cw::dataflash
