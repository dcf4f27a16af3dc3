#include "common/sha256.h"

#include <fmt/format.h>
#include <openssl/evp.h>

#include <array>

namespace cw::common {

std::optional<std::string> Sha256Hex(common::ByteView bytes) {
  std::array<unsigned char, 32> digest{};
  unsigned int length = 0;
  if (EVP_Digest(bytes.data(), bytes.size(), digest.data(), &length, EVP_sha256(), nullptr) != 1 ||
      length != digest.size()) {
    return std::nullopt;
  }
  return fmt::format("{:02x}", fmt::join(digest, ""));
}

}  // namespace cw::common
