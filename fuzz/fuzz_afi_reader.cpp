// An .afi file of any content, and the same bytes as lines of known keys: a text refused as no
// constants file, or every parameter key and the algorithm data read, judged and encoded as a
// load does, in both forms.
#include <cstdint>
#include <string>
#include <string_view>

#include "afi_text.h"
#include "dataflash/afi_file.h"
#include "dataflash/param_codec.h"

namespace {

void CheckText(std::string_view text) {
  const auto reader = cw::dataflash::AfiReader::FromText(text);
  if (!reader) {
    if (reader.error().empty()) __builtin_trap();
    return;
  }
  if (reader->Value("Device Name").size() > cw::dataflash::kMaxValueText) __builtin_trap();
  const auto values = cw::dataflash::ReadAfiValues(*reader);
  // Every key is either there or listed as missing.
  std::size_t present = 0;
  for (const auto& row : values.rows) present += row ? 1 : 0;
  for (const bool key : values.algorithm_present) present += key ? 1 : 0;
  std::size_t invalid_algorithm = 0;
  for (const auto& entry : values.invalid) {
    invalid_algorithm += entry.starts_with(cw::dataflash::kAlgorithmKeyPrefix) ? 1 : 0;
  }
  if (present + invalid_algorithm + values.missing.size() !=
      cw::dataflash::kParamCount + cw::dataflash::kAlgorithmKeyCount) {
    __builtin_trap();
  }
  if (values.missing.empty() != !cw::dataflash::IncompleteAfiMessage(values)) __builtin_trap();
  const auto stored = cw::dataflash::AfiImageFrom(values, true);
  const auto plain = cw::dataflash::AfiImageFrom(values, false);
  if (stored.image != plain.image) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  CheckText(std::string_view(reinterpret_cast<const char*>(data), size));
  CheckText(cw::fuzz::AfiLinesFrom(data, size));
  return 0;
}
