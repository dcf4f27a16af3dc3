#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "common/bytes.h"

namespace cw::sim {

using AuthKey = std::array<std::uint8_t, 16>;
using AuthDigest = std::array<std::uint8_t, 20>;

// 5A3C96E1B04F7D2288E1C35A9F06B47D, in the order it is typed.
inline constexpr AuthKey kDefaultAuthKey = {0x5A, 0x3C, 0x96, 0xE1, 0xB0, 0x4F, 0x7D, 0x22,
                                            0x88, 0xE1, 0xC3, 0x5A, 0x9F, 0x06, 0xB4, 0x7D};

// SHA-1(K || SHA-1(K || C)) with key and challenge in typed order; nullopt only when the crypto
// library fails.
std::optional<AuthDigest> ComputeAuthDigest(const AuthKey& key, common::ByteView challenge);

// The gauge's answer to a challenge that arrived on the bus. Hosts send keys and challenges
// least significant byte first and read the digest back the same way, so the gauge reverses the
// challenge before hashing and the digest before sending.
std::optional<AuthDigest> GaugeAuthResponse(const AuthKey& key, common::ByteView wire_challenge);

// A key written to the gauge arrives least significant byte first.
AuthKey KeyFromWire(common::ByteView wire_key);

}  // namespace cw::sim
