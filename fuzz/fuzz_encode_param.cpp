// EncodeParam over arbitrary text for every parameter row, both forms: the result is a field
// size or the failure code, never more bytes than the field has, and what it stores decodes.
#include <array>
#include <cstdint>
#include <string>

#include "common/null_sinks.h"
#include "dataflash/param_codec.h"
#include "dataflash/parameter_table.h"
#include "dataflash/subclass_layout.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
  const auto& row = cw::dataflash::kParams[data[0] % cw::dataflash::kParams.size()];
  cw::common::NullMessageSink messages;
  for (bool interactive : {false, true}) {
    cw::dataflash::ParamValue value{-1, text};
    std::array<std::uint8_t, cw::dataflash::kMaxFieldSize> out{};
    const std::uint8_t count = cw::dataflash::EncodeParam(row, value, out, interactive, &messages);
    if (count == cw::dataflash::kEncodeFailed) continue;
    if (count > cw::dataflash::FieldSize(row)) __builtin_trap();
    if (value.text.size() > cw::dataflash::kMaxValueText) __builtin_trap();
    cw::dataflash::ParamValue decoded;
    cw::dataflash::DecodeParam(row, {out.data(), count}, decoded);
  }
  return 0;
}
