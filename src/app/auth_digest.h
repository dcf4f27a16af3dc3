#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "common/bytes.h"

namespace cw::app {

inline constexpr std::size_t kAuthKeyBytes = 16;
inline constexpr std::size_t kChallengeBytes = 20;
using AuthDigestBytes = std::array<std::uint8_t, 20>;

// SHA-1(K || SHA-1(K || C)) with the 16-byte key and the 20-byte challenge in typed order; the
// digest in standard SHA-1 output order. nullopt only when the crypto library fails or the
// sizes are wrong.
std::optional<AuthDigestBytes> AuthDigest(common::ByteView key, common::ByteView challenge);

}  // namespace cw::app
