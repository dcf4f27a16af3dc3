#include "app/auth_digest.h"

#include <openssl/evp.h>

#include <memory>

namespace cw::app {
namespace {

std::optional<AuthDigestBytes> Sha1Of(common::ByteView first, common::ByteView second) {
  std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(),
                                                                  &EVP_MD_CTX_free);
  AuthDigestBytes digest{};
  unsigned int length = 0;
  if (!context || EVP_DigestInit_ex(context.get(), EVP_sha1(), nullptr) != 1 ||
      EVP_DigestUpdate(context.get(), first.data(), first.size()) != 1 ||
      EVP_DigestUpdate(context.get(), second.data(), second.size()) != 1 ||
      EVP_DigestFinal_ex(context.get(), digest.data(), &length) != 1 || length != digest.size()) {
    return std::nullopt;
  }
  return digest;
}

}  // namespace

std::optional<AuthDigestBytes> AuthDigest(common::ByteView key, common::ByteView challenge) {
  if (key.size() != kAuthKeyBytes || challenge.size() != kChallengeBytes) return std::nullopt;
  const auto inner = Sha1Of(key, challenge);
  if (!inner) return std::nullopt;
  return Sha1Of(key, *inner);
}

}  // namespace cw::app
