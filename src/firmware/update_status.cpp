#include "firmware/update_status.h"

#include <fmt/format.h>

#include <array>
#include <utility>

#include "firmware/messages.h"

namespace cw::firmware {
namespace {

constexpr std::array<std::pair<std::uint16_t, std::string_view>, 8> kNamedBits = {{
    {kStatusCommandRejected, messages::kBitCommandRejected},
    {kStatusDataLoss, messages::kBitDataLoss},
    {kStatusPecError, messages::kBitPecError},
    {kStatusChecksumError, messages::kBitChecksumError},
    {kStatusEraseError, messages::kBitEraseError},
    {kStatusBlankError, messages::kBitBlankError},
    {kStatusProgramError, messages::kBitProgramError},
    {kStatusBusy, messages::kBitBusy},
}};

}  // namespace

std::string StatusErrorText(std::uint16_t status) {
  std::string names;
  for (const auto& [bit, name] : kNamedBits) {
    if ((status & bit) == 0) continue;
    if (!names.empty()) names += ", ";
    names += name;
  }
  if (names.empty() && (status & kStatusUpdateMode) == 0) {
    names = messages::kStatusNotInUpdateMode;
  }
  const std::string word = fmt::format("{}{:04X}", messages::kStatusErrorPrefix, status);
  if (names.empty()) return word;
  return fmt::format(messages::kStatusNamesFormat, word, names);
}

}  // namespace cw::firmware
