#pragma once

#include <optional>
#include <string>

#include "common/bytes.h"

namespace cw::common {

// The SHA-256 of `bytes` as 64 lower-case hex digits, the form `sha256sum` prints. Nothing only
// when the crypto library fails.
std::optional<std::string> Sha256Hex(common::ByteView bytes);

}  // namespace cw::common
