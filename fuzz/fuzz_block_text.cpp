// Block text of a register row: zero bytes, any length, printed through the row format.
#include <cstdint>
#include <string>

#include "common/printf_format.h"
#include "link/gauge_link.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text = cw::link::BlockText({data, size});
  if (text.size() > 31 || text.find('\0') != std::string::npos) __builtin_trap();
  (void)cw::common::FormatPrintf("%s", text);
  return 0;
}
