#include "firmware/update_status.h"

#include <fmt/format.h>

#include <array>
#include <utility>

#include "firmware/messages.h"

namespace cw::firmware {
namespace {

constexpr std::array<std::pair<std::uint16_t, std::string_view>, 8> kNamedBits = {{
    {kStatusCommandRejected, "command rejected"},
    {kStatusDataLoss, "data loss error"},
    {kStatusPecError, "PEC error"},
    {kStatusChecksumError, "checksum error"},
    {kStatusEraseError, "erase error"},
    {kStatusBlankError, "blank error"},
    {kStatusProgramError, "program error"},
    {kStatusBusy, "busy"},
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
    names = "not in update mode";
  }
  const std::string word = fmt::format("{}{:04X}", "Error: ", status);
  if (names.empty()) return word;
  return fmt::format("{} ({})", word, names);
}

}  // namespace cw::firmware
