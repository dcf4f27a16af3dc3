// EncodeParam over arbitrary text for every parameter row, typed and from a file: a refusal, or
// never more bytes than the field has, and what it stores decodes.
#include <cstdint>
#include <string>

#include "dataflash/param_codec.h"
#include "dataflash/parameter_table.h"
#include "dataflash/subclass_layout.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
  const auto& row = cw::dataflash::kParams[data[0] % cw::dataflash::kParams.size()];
  for (const auto source :
       {cw::dataflash::ValueSource::kFile, cw::dataflash::ValueSource::kTyped}) {
    const auto encoded = cw::dataflash::EncodeParam(row, text, source);
    if (!encoded) continue;
    if (encoded->size > cw::dataflash::FieldSize(row)) __builtin_trap();
    if (encoded->value.text.size() > cw::dataflash::kMaxValueText) __builtin_trap();
    cw::dataflash::ParamValue decoded;
    cw::dataflash::DecodeParam(row, encoded->bytes(), decoded);
  }
  return 0;
}
