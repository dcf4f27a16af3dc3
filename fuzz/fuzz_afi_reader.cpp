// An .afi file of any content: every parameter key and the algorithm data are read and encoded
// as a load does, in both forms.
#include <cstdint>
#include <string_view>

#include "dataflash/afi_file.h"
#include "dataflash/param_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto reader = cw::dataflash::AfiReader::FromText(text);
  if (!reader) return 0;
  if (reader->Value("Device Name").size() > cw::dataflash::kMaxValueText) __builtin_trap();
  const auto stored = cw::dataflash::AfiImageFrom(*reader, true);
  const auto plain = cw::dataflash::AfiImageFrom(*reader, false);
  if (stored.image != plain.image) __builtin_trap();
  return 0;
}
