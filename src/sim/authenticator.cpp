#include "sim/authenticator.h"

#include <openssl/evp.h>

#include <algorithm>

namespace cw::sim {
namespace {

bool Sha1(common::ByteView first, common::ByteView second, AuthDigest& out) {
  EVP_MD_CTX* context = EVP_MD_CTX_new();
  if (context == nullptr) return false;
  unsigned int length = 0;
  const bool ok = EVP_DigestInit_ex(context, EVP_sha1(), nullptr) == 1 &&
                  EVP_DigestUpdate(context, first.data(), first.size()) == 1 &&
                  EVP_DigestUpdate(context, second.data(), second.size()) == 1 &&
                  EVP_DigestFinal_ex(context, out.data(), &length) == 1 && length == out.size();
  EVP_MD_CTX_free(context);
  return ok;
}

}  // namespace

std::optional<AuthDigest> ComputeAuthDigest(const AuthKey& key, common::ByteView challenge) {
  AuthDigest inner{};
  AuthDigest outer{};
  if (!Sha1(key, challenge, inner) || !Sha1(key, inner, outer)) return std::nullopt;
  return outer;
}

std::optional<AuthDigest> GaugeAuthResponse(const AuthKey& key, common::ByteView wire_challenge) {
  const common::Bytes challenge(wire_challenge.rbegin(), wire_challenge.rend());
  auto digest = ComputeAuthDigest(key, challenge);
  if (digest) std::reverse(digest->begin(), digest->end());
  return digest;
}

AuthKey KeyFromWire(common::ByteView wire_key) {
  AuthKey key{};
  std::copy_n(wire_key.rbegin(), std::min(key.size(), wire_key.size()), key.begin());
  return key;
}

}  // namespace cw::sim
