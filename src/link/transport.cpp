#include "link/transport.h"

#include <fmt/format.h>

#include "link/messages.h"

namespace cw::link {

std::string_view TransportName(Transport transport) {
  return transport == Transport::kHid ? "HID" : "bulk";
}

std::string_view TransportWord(Transport transport) {
  return transport == Transport::kHid ? messages::kHidWord : messages::kBulkWord;
}

std::optional<Transport> TransportOfWord(std::string_view word) {
  if (word == messages::kHidWord) return Transport::kHid;
  if (word == messages::kBulkWord) return Transport::kBulk;
  return std::nullopt;
}

std::string DescribeChoice(const AdapterChoice& choice) {
  if (!choice.transport) return fmt::format("adapter={}", choice.key);
  if (choice.key.empty()) return std::string(TransportWord(*choice.transport));
  return fmt::format("{}:{}", TransportWord(*choice.transport), choice.key);
}

std::string_view NodeKindName(Transport transport) {
  return transport == Transport::kHid ? "HID" : "USB";
}

}  // namespace cw::link
