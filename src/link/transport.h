#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace cw::link {

// How the product's adapter is driven: HID reports on its collections, or bulk transfers on its
// interface 0.
enum class Transport : std::uint8_t { kBulk = 0, kHid = 1 };

// The transport a lane or a front end uses when nothing names one: the first one opened at start.
inline constexpr Transport kFirstTransport = Transport::kHid;

// Which adapter a connection may open. Without a key: the product's adapter by the transport
// rules, as the platform lists them (of `transport` alone when one is given). With one: only the
// adapter whose serial number or device node is `key` (a HID adapter also by the path of one of
// its collections), of `transport` when one is given. Naming a bulk adapter by its serial number
// replaces the serial-prefix rule.
struct AdapterChoice {
  std::optional<Transport> transport;
  std::string key;
  bool any() const { return !transport && key.empty(); }
  bool operator==(const AdapterChoice&) const = default;
};

// The choice as the user wrote it: "hid:KEY", "bulk:KEY", "hid", "bulk", or "adapter=KEY" (either
// transport).
std::string DescribeChoice(const AdapterChoice& choice);

// "HID" or "bulk", as messages and tables name it.
std::string_view TransportName(Transport transport);
// "hid" or "bulk", as a device string and JSON documents write it.
std::string_view TransportWord(Transport transport);
// The transport a device string's word names; nullopt for any other word.
std::optional<Transport> TransportOfWord(std::string_view word);
// "HID" or "USB": the kind of device node the transport opens.
std::string_view NodeKindName(Transport transport);

}  // namespace cw::link
