// ManufacturerBlockAccess reply validation over arbitrary replies, subcommands and lengths.
#include <cstdint>
#include <cstring>

#include "link/gauge_link.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::uint8_t subcommand = data[0];
  const std::uint8_t length = data[1];
  const cw::common::ByteView reply(data + 2, size - 2);
  if (const auto payload = cw::link::ManufacturerBlockData(reply, subcommand, length)) {
    // Touch every byte handed out: a view past the reply would be caught here.
    volatile std::uint8_t sum = 0;
    for (std::uint8_t byte : *payload) sum = static_cast<std::uint8_t>(sum + byte);
  }
  return 0;
}
